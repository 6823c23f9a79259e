#pragma once

#include "WindowPage.h"

// The Frame Alert page: the scaler's frame memory, a still picture shown instead of the live input on sync
// loss or on demand. Capture and delete are refused with a short notice when they cannot work; the buttons
// that would disturb a capture in progress are disabled until it ends.
class TFrameAlertPage : public TWindowPage {
    Q_OBJECT
  public:
    explicit TFrameAlertPage(TForm_OXS &form);
    void Bind() override;

    void RdoFrameAutoClick(int position);
    void BtnFrameDisplayClick();
    void BtnFrameHideClick();
    void BtnFrameCaptureClick();
    void BtnDeleteFrameClick();
    void BtnTransferFrameClick();
    void CboFrameNumberChange(int position);

    void Orlan_dFAAUTOchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dFARECchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dFANUMBERchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dFAMODEMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dFAEXECchange(TOrlan_d *Sender, int32_t nroOcto);

    // Frame memory modes carried out when FAEXEC is written true.
    static constexpr uint32_t kModeRecord = 1;
    static constexpr uint32_t kModeDelete = 3;

  private:
    void refuse(const QString &reason);
    void showAuto();
    void showNumber();
    void showDeleteAvailability();
};
