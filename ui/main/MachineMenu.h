#pragma once

#include "WindowPage.h"

struct TLanSettings;

// The scaler's identity and versions in the About box, the update notice when the scaler's VERV is not the
// one this program expects, the standby timer display, and "OXS LAN Setup", which sends the settings of
// the scaler's LAN module.
class TMachineMenu : public TWindowPage {
    Q_OBJECT
  public:
    explicit TMachineMenu(TForm_OXS &form);
    void Bind() override;

    // The VERV this program is made for.
    static constexpr uint32_t kExpectedVERV = 8;
    // The update notice for a VERV, or empty when it is the expected one.
    static QString UpdateNotice(uint32_t verv);
    // Sends the LAN module's settings in the scaler's order: with the module on, the link type, the six
    // values, then store and enable; with it off, only the disable. Addresses go out written plainly.
    static void SendLanSettings(TOrlan_d &driver, const TLanSettings &settings);

    void MenuAboutMachineClick();
    void MenuMachineLANSetupClick();

    void Orlan_dVERIchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dVERKchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dVERSchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dVERVchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dVERUPDchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dOPTchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dSTBTIMEchange(TOrlan_d *Sender, int32_t nroOcto);
};
