#pragma once

#include "Models.h"
#include "WindowPage.h"

// The Output page: format, rate or rate locked to the input, sync type, output connector type and the grid
// test pattern, and the warning that the rate reference asked for is not in force. Every control writes one
// variable; the scaler's reply alone selects what the control shows.
class TOutputPage : public TWindowPage {
    Q_OBJECT
  public:
    explicit TOutputPage(TForm_OXS &form);
    void Bind() override;

    void CboOutputFormatChange(int position);
    void CboOutputRateChange(int position);
    void RdoOutputSyncClick(int position);
    void RdoOutputTypeClick(int position);
    void RdoTestPatternClick(int position);

    void Orlan_dOFMTMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dORATEMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dREFREQchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dREFSTAchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dOSYNCMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dOTYPEMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dOPATchange(TOrlan_d *Sender, int32_t nroOcto);

    static constexpr int kFormatCount = 10;
    // The format code a list position stands for on a model, or -1 (unknown model, position outside the
    // list).
    static int FormatCode(uint32_t dev, int position);
    // The first list position standing for a format code on a model, or -1.
    static int FormatPosition(uint32_t dev, uint32_t code);
    // The rates offered at a format: 72 and 75 Hz only on the Orlan Plus, and never at UXGA. A value
    // outside the model table is offered the long list.
    static Models::RateList RatesFor(uint32_t dev, uint32_t format);

  private:
    void showFormat();
    void showRate();
    void showSync();
    void showPattern();

    // The output type position the scaler last reported (-1: none yet).
    int m_shownType = -1;
};
