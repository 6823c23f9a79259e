#pragma once

#include "WindowPage.h"

#include <array>

class QRadioButton;

// The Audio page: which of the five audio channels goes to the output, or "Automatic" to let the scaler
// follow the selected input. A channel can be picked only in manual mode.
class TAudioPage : public TWindowPage {
    Q_OBJECT
  public:
    explicit TAudioPage(TForm_OXS &form);
    void Bind() override;

    // The operator checked a channel button (`tag` 1..5) or changed "Automatic".
    void RdoACHANMClick(int tag);
    void RdoAMODEMClick();

    void Orlan_dACHANMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dAMODEMchange(TOrlan_d *Sender, int32_t nroOcto);

    // AMODEM for manual selection; any other value is automatic.
    static constexpr uint32_t kManual = 1;

  private:
    std::array<QRadioButton *, 5> channelButtons() const;
    QObject *channels() const;
    void showChannel();
    void showMode();
    void enableChannels(bool manual);
};
