#include "InputPage.h"

#include "FrmInput.h"
#include "HintBubble.h"
#include "Unit_OXS.h"

#include <QButtonGroup>
#include <QCursor>
#include <QToolButton>

TInputPage::TInputPage(TForm_OXS &form) : TWindowPage(form), m_bubble(new THintBubble(&form)) {
    m_shownSlots.fill(-1);
}

std::array<TFrameInput *, Models::kMaxInputs> TInputPage::rows() const {
    return {Form.FrameInput1, Form.FrameInput2, Form.FrameInput3, Form.FrameInput4, Form.FrameInput5};
}

TFrameInput *TInputPage::row(int input) const {
    return rows()[static_cast<std::size_t>(input - 1)];
}

std::array<QToolButton *, Models::kMaxInputs> TInputPage::buttons() const {
    return {Form.BtnInput1, Form.BtnInput2, Form.BtnInput3, Form.BtnInput4, Form.BtnInput5};
}

void TInputPage::Bind() {
    for (int n = 1; n <= Models::kMaxInputs; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        connect(buttons()[i], &QToolButton::clicked, this, [this, n] { BtnInputClick(n); });
        TFrameInput *row = rows()[i];
        Reports.WriteOnToggle(row->ChkUsed, [this, n](bool) { ChkUsedChange(n); });
        Reports.WriteOnToggle(row->ChkVCR, [this, n](bool) { ChkVCRChange(n); });
        connect(row->CboSignalType, &QComboBox::activated, this, [this, n] { CboSignalTypeChange(n); });
        connect(row->CboStandard, &QComboBox::activated, this, [this, n] { CboStandardChange(n); });
    }
    connect(Form.BtnBlack, &QToolButton::clicked, this, &TInputPage::BtnBlackClick);
    connect(Form.BtnFreeze, &QToolButton::clicked, this, &TInputPage::BtnFreezeClick);
    connect(Form.RdoIPMODEM, &RadioGroup::clicked, this, &TInputPage::RdoIPMODEMClick);

    bindEvent(Orlan_d.OnOBLACKchange, &TInputPage::Orlan_dOBLACKchange);
    bindEvent(Orlan_d.OnIFRZMchange, &TInputPage::Orlan_dIFRZMchange);
    bindEvent(Orlan_d.OnPENAchange, &TInputPage::Orlan_dPENAchange);
    bindEvent(Orlan_d.OnPRGBIchange, &TInputPage::Orlan_dPRGBIchange);
    bindEvent(Orlan_d.OnIPSIGMchange, &TInputPage::Orlan_dPRGBIchange);
    bindEvent(Orlan_d.OnIOORMchange, &TInputPage::Orlan_dPRGBIchange);
    bindEvent(Orlan_d.OnPISTDchange, &TInputPage::Orlan_dPISTDchange);
    bindEvent(Orlan_d.OnPPROCchange, &TInputPage::Orlan_dPPROCchange);
    bindEvent(Orlan_d.OnIPMODEMchange, &TInputPage::Orlan_dIPMODEMchange);
    bindEvent(Orlan_d.OnTAKEEVAchange, &TInputPage::Orlan_dTAKEEVAchange);
}

Models::SignalList TInputPage::signalList(int input) const {
    const int model = Models::ModelIndex(Orlan_d.DEV());
    if (model < 0 || input < 1 || input > Models::kMaxInputs) return Models::SignalList::None;
    return Models::Layout(model).rows[static_cast<std::size_t>(input - 1)].signalTypes;
}

// ---------------------------------------------------------------------------------------------------------
// Operator gestures

// The buttons keep showing the scaler's input: the click only asks for the new one.
void TInputPage::BtnInputClick(int input) {
    if (!Orlan_d.TAKEEVA())
        m_bubble->ShowAt(QStringLiteral("Please Wait"), QCursor::pos());
    else if (Orlan_d.InputPRGBI(input) == Models::kComputerInput && Orlan_d.OTYPEM() == 2)
        m_bubble->ShowAt(QStringLiteral("Not available (%1)").arg(QStringLiteral("DVI-only output selected")),
                         QCursor::pos());
    Orlan_d.SetICHNM(static_cast<uint32_t>(input));
    const uint32_t active = Orlan_d.ICHM();
    if (active < 1 || active > static_cast<uint32_t>(Models::kMaxInputs)) {
        // No input is active: the clicked button must not stay down on its own.
        QButtonGroup *group = Form.BtnInput1->group();
        if (group) group->setExclusive(false);
        for (QToolButton *b : buttons())
            b->setChecked(false);
        if (group) group->setExclusive(true);
    }
    Form.Orlan_dICHMchange(&Orlan_d, Orlan_d.Tag());
}

void TInputPage::BtnBlackClick() {
    Orlan_d.SetOBLACK(!Orlan_d.OBLACK());
    showToggle(Form.BtnBlack, Orlan_d.OBLACK());
}

void TInputPage::BtnFreezeClick() {
    Orlan_d.SetIFRZM(!Orlan_d.IFRZM());
    showToggle(Form.BtnFreeze, Orlan_d.IFRZM());
}

// Each pick waits for the scaler's report; without one the control shows the stored value again.
void TInputPage::ChkUsedChange(int input) {
    QCheckBox *box = row(input)->ChkUsed;
    Orlan_d.SetPCHAN(static_cast<uint32_t>(input));
    Orlan_d.SetPENA(box->isChecked());
    Reports.Expect(box, [this, input] { showUsed(input); });
}

void TInputPage::ChkVCRChange(int input) {
    QCheckBox *box = row(input)->ChkVCR;
    Orlan_d.SetPCHAN(static_cast<uint32_t>(input));
    Orlan_d.SetPPROC(box->isChecked());
    Reports.Expect(box, [this, input] { showVCR(input); });
}

// An input without a choice of signal type sends PCHAN only.
void TInputPage::CboSignalTypeChange(int input) {
    QComboBox *types = row(input)->CboSignalType;
    const int position = types->currentIndex();
    Orlan_d.SetPCHAN(static_cast<uint32_t>(input));
    const Models::SignalList list = signalList(input);
    if (list != Models::SignalList::None && position >= 0)
        Orlan_d.SetPRGBI(Models::SignalCode(list, position));
    Reports.Expect(types, [this, input] { showSignalType(input, Orlan_d.InputPRGBI(input)); });
}

void TInputPage::CboStandardChange(int input) {
    QComboBox *standards = row(input)->CboStandard;
    const int position = standards->currentIndex();
    Orlan_d.SetPCHAN(static_cast<uint32_t>(input));
    if (position >= 0) Orlan_d.SetPISTD(static_cast<uint32_t>(position));
    Reports.Expect(standards, [this, input] { showStandard(input); });
}

void TInputPage::RdoIPMODEMClick(int position) {
    if (position >= 0) Orlan_d.SetIPMODEM(static_cast<uint32_t>(position));
    Reports.Expect(Form.RdoIPMODEM, [this] { showPriority(); });
}

// ---------------------------------------------------------------------------------------------------------
// The scaler's replies

void TInputPage::showToggle(QToolButton *button, bool down) {
    button->setChecked(down);
    QFont font = button->font();
    font.setBold(down);
    button->setFont(font);
}

void TInputPage::Orlan_dOBLACKchange(TOrlan_d *, int32_t) {
    showToggle(Form.BtnBlack, Orlan_d.OBLACK());
}

void TInputPage::Orlan_dIFRZMchange(TOrlan_d *, int32_t) {
    showToggle(Form.BtnFreeze, Orlan_d.IFRZM());
}

template <class Show> void TInputPage::forReportedInputs(Show show) {
    const uint32_t channel = Orlan_d.PCHAN();
    if (channel == 0) {
        const int count = Models::InputCount(Orlan_d.DEV());
        for (int n = 1; n <= count; ++n)
            show(n, 0);
    } else if (channel <= static_cast<uint32_t>(Models::kMaxInputs)) {
        show(static_cast<int>(channel), static_cast<int>(channel));
    }
    // PCHAN above 5 files the value under no input: no row shows it.
}

void TInputPage::refreshViews() {
    Form.RefreshStatusGrid();
    Form.RefreshPageAvailability();
}

// The slot a row's value was last reported under: its own input's, or 0 when the report was for every input.
std::size_t TInputPage::slotIndex(Slot which, int input) {
    return static_cast<std::size_t>(which) * Models::kMaxInputs + static_cast<std::size_t>(input - 1);
}

int TInputPage::shownSlot(Slot which, int input) const {
    const int slot = m_shownSlots[slotIndex(which, input)];
    return slot < 0 ? input : slot;
}

void TInputPage::showUsed(int input) {
    const bool used = Orlan_d.InputPENA(shownSlot(Slot::Used, input)) != 0;
    row(input)->ChkUsed->setChecked(used);
    buttons()[static_cast<std::size_t>(input - 1)]->setEnabled(used);
}

void TInputPage::showVCR(int input) {
    row(input)->ChkVCR->setChecked(Orlan_d.InputPPROC(shownSlot(Slot::VCR, input)) != 0);
}

void TInputPage::showStandard(int input) {
    QComboBox *list = row(input)->CboStandard;
    const uint32_t standard = Orlan_d.InputPISTD(shownSlot(Slot::Standard, input));
    list->setCurrentIndex(standard < static_cast<uint32_t>(list->count()) ? static_cast<int>(standard) : -1);
}

void TInputPage::showPriority() {
    const uint32_t mode = Orlan_d.IPMODEM();
    Form.RdoIPMODEM->SetItemIndex(mode < 3 ? static_cast<int>(mode) : -1);
}

void TInputPage::Orlan_dPENAchange(TOrlan_d *, int32_t) {
    forReportedInputs([this](int input, int slot) {
        m_shownSlots[slotIndex(Slot::Used, input)] = slot;
        Reports.Show(row(input)->ChkUsed, [this, input] { showUsed(input); });
    });
    refreshViews();
}

void TInputPage::Orlan_dPISTDchange(TOrlan_d *, int32_t) {
    forReportedInputs([this](int input, int slot) {
        m_shownSlots[slotIndex(Slot::Standard, input)] = slot;
        Reports.Show(row(input)->CboStandard, [this, input] { showStandard(input); });
    });
    refreshViews();
}

void TInputPage::Orlan_dPPROCchange(TOrlan_d *, int32_t) {
    forReportedInputs([this](int input, int slot) {
        m_shownSlots[slotIndex(Slot::VCR, input)] = slot;
        Reports.Show(row(input)->ChkVCR, [this, input] { showVCR(input); });
    });
    refreshViews();
}

// Selects the code's position in the input's list (a code the list lacks clears it) and offers the standard
// only to composite and Y/C signals.
void TInputPage::showSignalType(int input, uint32_t code) {
    TFrameInput *r = row(input);
    const int position = Models::SignalPosition(signalList(input), code);
    if (position < r->CboSignalType->count()) r->CboSignalType->setCurrentIndex(position);
    r->CboStandard->setVisible(code <= 1 && r->CboStandard->count() > 0);
}

void TInputPage::Orlan_dPRGBIchange(TOrlan_d *, int32_t) {
    const uint32_t channel = Orlan_d.PCHAN();
    const int model = Models::ModelIndex(Orlan_d.DEV());
    if (channel == 0 && model >= 0) {
        // Every input reset: the scaler's defaults, kept here without asking it.
        const auto &defaults = Models::DefaultSignalTypes(model);
        const int count = Models::InputCount(Orlan_d.DEV());
        for (int n = 1; n <= count; ++n) {
            const uint32_t code = defaults[static_cast<std::size_t>(n - 1)];
            Orlan_d.SetInputPRGBI(n, code);
            Reports.Show(row(n)->CboSignalType, [this, n, code] { showSignalType(n, code); });
        }
    } else if (channel >= 1 && channel <= static_cast<uint32_t>(Models::kMaxInputs)) {
        const int input = static_cast<int>(channel);
        Reports.Show(row(input)->CboSignalType,
                     [this, input] { showSignalType(input, Orlan_d.InputPRGBI(input)); });
    }
    refreshViews();
}

void TInputPage::Orlan_dIPMODEMchange(TOrlan_d *, int32_t) {
    Reports.Show(Form.RdoIPMODEM, [this] { showPriority(); });
}

void TInputPage::Orlan_dTAKEEVAchange(TOrlan_d *, int32_t) {
    if (Orlan_d.TAKEEVA()) m_bubble->hide();
}
