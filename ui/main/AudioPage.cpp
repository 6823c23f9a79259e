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
        connect(button, &QAbstractButton::clicked, this,
                [this, button] { RdoACHANMClick(button->property("Tag").toInt()); });
    connect(Form.RdoAMODEM, &QAbstractButton::clicked, this, &TAudioPage::RdoAMODEMClick);

    bindEvent(Orlan_d.OnACHANMchange, &TAudioPage::Orlan_dACHANMchange);
    bindEvent(Orlan_d.OnAMODEMchange, &TAudioPage::Orlan_dAMODEMchange);
}

void TAudioPage::RdoACHANMClick(int tag) {
    if (tag >= 1 && tag <= Models::kMaxInputs) Orlan_d.SetACHANM(static_cast<uint32_t>(tag));
}

void TAudioPage::RdoAMODEMClick() {
    Orlan_d.SetAMODEM(Orlan_d.AMODEM() == kManual ? 0 : kManual);
}

// Channel 0, or one beyond the five buttons, checks none of them.
void TAudioPage::Orlan_dACHANMchange(TOrlan_d *, int32_t) {
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
    const bool manual = Orlan_d.AMODEM() == kManual;
    Form.RdoAMODEM->setChecked(!manual);
    const int inputs = Models::InputCount(Orlan_d.DEV());
    const auto buttons = channelButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (!manual || static_cast<int>(i) < inputs) buttons[i]->setEnabled(manual);
}
