#include "FrameAlertPage.h"

#include "Models.h"
#include "RadioGroup.h"
#include "TransferFrame.h"
#include "Unit_OXS.h"

TFrameAlertPage::TFrameAlertPage(TForm_OXS &form) : TWindowPage(form) {}

void TFrameAlertPage::Bind() {
    TForm_OXS &f = Form;
    connect(f.RdoFrameAuto, &RadioGroup::clicked, this, &TFrameAlertPage::RdoFrameAutoClick);
    connect(f.BtnFrameDisplay, &QAbstractButton::clicked, this, &TFrameAlertPage::BtnFrameDisplayClick);
    connect(f.BtnFrameHide, &QAbstractButton::clicked, this, &TFrameAlertPage::BtnFrameHideClick);
    connect(f.BtnFrameCapture, &QAbstractButton::clicked, this, &TFrameAlertPage::BtnFrameCaptureClick);
    connect(f.BtnDeleteFrame, &QAbstractButton::clicked, this, &TFrameAlertPage::BtnDeleteFrameClick);
    connect(f.BtnTransferFrame, &QAbstractButton::clicked, this, &TFrameAlertPage::BtnTransferFrameClick);
    connect(f.CboFrameNumber, &QComboBox::activated, this, &TFrameAlertPage::CboFrameNumberChange);
    // The frame list starts at "Frame 1", the scaler's first frame, before any report.
    Reports.Known(f.CboFrameNumber);

    bindEvent(Orlan_d.OnFAAUTOchange, &TFrameAlertPage::Orlan_dFAAUTOchange);
    bindEvent(Orlan_d.OnFARECchange, &TFrameAlertPage::Orlan_dFARECchange);
    bindEvent(Orlan_d.OnFANUMBERchange, &TFrameAlertPage::Orlan_dFANUMBERchange);
    bindEvent(Orlan_d.OnFAMODEMchange, &TFrameAlertPage::Orlan_dFAMODEMchange);
    bindEvent(Orlan_d.OnFAEXECchange, &TFrameAlertPage::Orlan_dFAEXECchange);
}

void TFrameAlertPage::refuse(const QString &reason) {
    Form.ShowFrameNotAvailable(QStringLiteral("Not available (%1)").arg(reason));
}

// ---------------------------------------------------------------------------------------------------------
// Gestures

// Each pick waits for the scaler's report; without one the control shows the stored value again.
void TFrameAlertPage::RdoFrameAutoClick(int position) {
    if (position >= 0) Orlan_d.SetFAAUTO(position != 0);
    Reports.Expect(Form.RdoFrameAuto, [this] { showAuto(); });
}

void TFrameAlertPage::BtnFrameDisplayClick() {
    Orlan_d.SetFASHOW(true);
}

void TFrameAlertPage::BtnFrameHideClick() {
    Orlan_d.SetFASHOW(false);
}

// Only a live video input can be recorded; the first reason that applies is the one given.
void TFrameAlertPage::BtnFrameCaptureClick() {
    const uint32_t input = Orlan_d.ICHM();
    const bool computer = input < TOrlan_d::kInputSlots &&
                          Orlan_d.InputPRGBI(static_cast<int>(input)) == Models::kComputerInput;
    if (Orlan_d.IFRZM()) {
        refuse(QStringLiteral("Input frozen"));
    } else if (!Orlan_d.IPSIGM()) {
        refuse(QStringLiteral("No input signal"));
    } else if (computer) {
        refuse(QStringLiteral("Computer input"));
    } else {
        Orlan_d.SetFAMODEM_(kModeRecord);
        Orlan_d.SetFAEXEC(true);
    }
    Form.LblFrameNotAvailable->repaint();
}

void TFrameAlertPage::BtnDeleteFrameClick() {
    if (Orlan_d.FASHOW() || Orlan_d.FASTAT()) {
        refuse(QStringLiteral("Frame is being displayed"));
        return;
    }
    Orlan_d.SetFAMODEM_(kModeDelete);
    Orlan_d.SetFAEXEC(true);
}

// The transfer dialog is offered only while a scaler answers on the serial link (the upload's raw mode
// exists only there); this window hides while it is open. A window closed meanwhile (the program ends) stays
// hidden.
void TFrameAlertPage::BtnTransferFrameClick() {
    if (!Orlan_d.Connected()) {
        refuse(QStringLiteral("Device NOT connected"));
        return;
    }
    if (Orlan_d.ConType() != CON_RS232) {
        refuse(QStringLiteral("Upload needs the RS232 link"));
        return;
    }
    bool closed = false;
    const QMetaObject::Connection watch =
        connect(&Form, &TForm_OXS::closed, this, [&closed] { closed = true; });
    Form.hide();
    Form.RunModal(*Form.FormTransferFrame);
    disconnect(watch);
    if (!closed) Form.show();
}

void TFrameAlertPage::CboFrameNumberChange(int position) {
    if (position >= 0) Orlan_d.SetFANUMBER(static_cast<uint32_t>(position));
    Reports.Expect(Form.CboFrameNumber, [this] { showNumber(); });
}

// ---------------------------------------------------------------------------------------------------------
// Replies

void TFrameAlertPage::Orlan_dFAAUTOchange(TOrlan_d *, int32_t) {
    Reports.Show(Form.RdoFrameAuto, [this] { showAuto(); });
}

void TFrameAlertPage::showAuto() {
    Form.RdoFrameAuto->SetItemIndex(Orlan_d.FAAUTO() ? 1 : 0);
}

// Nothing can be shown, hidden or deleted before a frame is recorded.
void TFrameAlertPage::Orlan_dFARECchange(TOrlan_d *Sender, int32_t nroOcto) {
    Form.Orlan_dFARECchange(Sender, nroOcto); // the "Recorded :" row
    const bool recorded = Orlan_d.FAREC();
    Form.RdoFrameAuto->setEnabled(recorded);
    Form.BtnFrameDisplay->setEnabled(recorded);
    Form.BtnFrameHide->setEnabled(recorded);
    showDeleteAvailability();
}

void TFrameAlertPage::Orlan_dFANUMBERchange(TOrlan_d *, int32_t) {
    Reports.Show(Form.CboFrameNumber, [this] { showNumber(); });
}

void TFrameAlertPage::showNumber() {
    const uint32_t number = Orlan_d.FANUMBER();
    QComboBox *list = Form.CboFrameNumber;
    list->setCurrentIndex(number < static_cast<uint32_t>(list->count()) ? static_cast<int>(number) : -1);
}

void TFrameAlertPage::Orlan_dFAMODEMchange(TOrlan_d *, int32_t) {
    Form.RefreshFrameRecording();
    showDeleteAvailability();
}

void TFrameAlertPage::Orlan_dFAEXECchange(TOrlan_d *, int32_t) {
    Form.RefreshFrameRecording();
    showDeleteAvailability();
}

// Delete waits both for a recorded frame and for the end of a capture: the end of a capture (or of a
// deletion) enables the frame memory buttons again, but not Delete while no frame is recorded.
void TFrameAlertPage::showDeleteAvailability() {
    const bool recording = Orlan_d.FAMODEM_() == kModeRecord && Orlan_d.FAEXEC();
    Form.BtnDeleteFrame->setEnabled(Orlan_d.FAREC() && !recording);
}
