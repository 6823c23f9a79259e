#include "AudioPage.h"

#include "Models.h"
#include "Unit_OXS.h"

#include <QRadioButton>

TAudioPage::TAudioPage(TForm_OXS &form) : TWindowPage(form) {}

std::array<QRadioButton *, 5> TAudioPage::channelButtons() const {
    return {Form.RdoACHANM1, Form.RdoACHANM2, Form.RdoACHANM3, Form.RdoACHANM4, Form.RdoACHANM5};
}

void TAudioPage::Bind() {
    for (QRadioButton *button : channelButtons())
        Reports.WriteOnToggle(button,
                              [this, button](bool) { RdoACHANMClick(button->property("Tag").toInt()); });
    Reports.WriteOnToggle(Form.RdoAMODEM, [this](bool) { RdoAMODEMClick(); });

    bindEvent(Orlan_d.OnACHANMchange, &TAudioPage::Orlan_dACHANMchange);
    bindEvent(Orlan_d.OnAMODEMchange, &TAudioPage::Orlan_dAMODEMchange);
}

// The five channel buttons answer one variable: one wait for all of them.
QObject *TAudioPage::channels() const {
    return Form.RdoACHANM1->parentWidget();
}

// Each pick waits for the scaler's report; without one the page shows the stored value again.
void TAudioPage::RdoACHANMClick(int tag) {
    if (tag >= 1 && tag <= Models::kMaxInputs) Orlan_d.SetACHANM(static_cast<uint32_t>(tag));
    Reports.Expect(channels(), [this] { showChannel(); });
}

// The box's new state is what goes out (checked: automatic), so that the box and the command agree even
// when the scaler has not yet answered an earlier click. Meanwhile the channel buttons follow the box: a
// channel can be picked only in manual mode.
void TAudioPage::RdoAMODEMClick() {
    const bool automatic = Form.RdoAMODEM->isChecked();
    Orlan_d.SetAMODEM(automatic ? 0 : kManual);
    enableChannels(!automatic);
    Reports.Expect(Form.RdoAMODEM, [this] { showMode(); });
}

void TAudioPage::Orlan_dACHANMchange(TOrlan_d *, int32_t) {
    Reports.Show(channels(), [this] { showChannel(); });
}

// Channel 0, or one beyond the five buttons, checks none of them.
void TAudioPage::showChannel() {
    const uint32_t channel = Orlan_d.ACHANM();
    const auto buttons = channelButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        QRadioButton *button = buttons[i];
        const bool checked = channel == i + 1;
        if (button->isChecked() == checked) continue;
        // The buttons are exclusive: the one checked can only be cleared with the exclusion lifted.
        button->setAutoExclusive(false);
        button->setChecked(checked);
        button->setAutoExclusive(true);
    }
}

void TAudioPage::Orlan_dAMODEMchange(TOrlan_d *, int32_t) {
    Reports.Show(Form.RdoAMODEM, [this] { showMode(); });
}

// "Automatic" is checked exactly when the channel buttons are disabled.
void TAudioPage::showMode() {
    const bool manual = Orlan_d.AMODEM() == kManual;
    Form.RdoAMODEM->setChecked(!manual);
    enableChannels(manual);
}

void TAudioPage::enableChannels(bool manual) {
    const int inputs = Models::InputCount(Orlan_d.DEV());
    const auto buttons = channelButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (!manual || static_cast<int>(i) < inputs) buttons[i]->setEnabled(manual);
}
