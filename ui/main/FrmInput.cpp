#include "FrmInput.h"

TFrameInput::TFrameInput(QWidget *parent) : QWidget(parent) {
    setupUi(this);
    connect(ChkUsed, &QCheckBox::toggled, this, &TFrameInput::ChkUsedClick);
    ChkUsedClick();
}

void TFrameInput::ChkUsedClick() {
    const bool used = ChkUsed->isChecked();
    Lbl->setEnabled(used);
    ChkVCR->setEnabled(used);
    CboSignalType->setEnabled(used);
    CboStandard->setEnabled(used);
}
