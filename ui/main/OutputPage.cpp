#include "OutputPage.h"

#include "RadioGroup.h"
#include "Unit_OXS.h"

#include <algorithm>

namespace {

// Format code of each list position, by model index. Every model lists the same ten texts; UXGA is code 4
// on the Orlan and the Orlan C and code 5 on the Orlan Plus.
constexpr std::array<std::array<uint32_t, TOutputPage::kFormatCount>, Models::kModelCount> kFormatCodes{{
    {10, 0, 1, 2, 3, 4, 6, 7, 8, 9}, // Orlan
    {10, 0, 1, 2, 3, 5, 6, 7, 8, 9}, // Orlan Plus
    {10, 0, 1, 2, 3, 4, 6, 7, 8, 9}, // Orlan C
}};

constexpr uint32_t kUxgaCodes[] = {4, 5};

// Output type positions stand for OTYPEM 1 (computer), 2 (DVI) and 3 (both).
constexpr uint32_t kFirstOutputType = 1;

// The position a reported value selects in a choice of `count` positions; -1 (none) outside it.
int positionOf(uint32_t value, int count) {
    return value < static_cast<uint32_t>(count) ? static_cast<int>(value) : -1;
}

} // namespace

TOutputPage::TOutputPage(TForm_OXS &form) : TWindowPage(form) {}

void TOutputPage::Bind() {
    TForm_OXS &f = Form;
    connect(f.CboOutputFormat, &QComboBox::activated, this, &TOutputPage::CboOutputFormatChange);
    connect(f.CboOutputRate, &QComboBox::activated, this, &TOutputPage::CboOutputRateChange);
    connect(f.RdoOutputSync, &RadioGroup::clicked, this, &TOutputPage::RdoOutputSyncClick);
    connect(f.RdoOutputType, &RadioGroup::clicked, this, &TOutputPage::RdoOutputTypeClick);
    connect(f.RdoTestPattern, &RadioGroup::clicked, this, &TOutputPage::RdoTestPatternClick);

    bindEvent(Orlan_d.OnOFMTMchange, &TOutputPage::Orlan_dOFMTMchange);
    bindEvent(Orlan_d.OnORATEMchange, &TOutputPage::Orlan_dORATEMchange);
    bindEvent(Orlan_d.OnREFREQchange, &TOutputPage::Orlan_dREFREQchange);
    bindEvent(Orlan_d.OnREFSTAchange, &TOutputPage::Orlan_dREFSTAchange);
    bindEvent(Orlan_d.OnOSYNCMchange, &TOutputPage::Orlan_dOSYNCMchange);
    bindEvent(Orlan_d.OnOTYPEMchange, &TOutputPage::Orlan_dOTYPEMchange);
    bindEvent(Orlan_d.OnOPATchange, &TOutputPage::Orlan_dOPATchange);
}

int TOutputPage::FormatCode(uint32_t dev, int position) {
    const int model = Models::ModelIndex(dev);
    if (model < 0 || position < 0 || position >= kFormatCount) return -1;
    return static_cast<int>(
        kFormatCodes[static_cast<std::size_t>(model)][static_cast<std::size_t>(position)]);
}

int TOutputPage::FormatPosition(uint32_t dev, uint32_t code) {
    const int model = Models::ModelIndex(dev);
    if (model < 0) return -1;
    const auto &codes = kFormatCodes[static_cast<std::size_t>(model)];
    for (int position = 0; position < kFormatCount; ++position)
        if (codes[static_cast<std::size_t>(position)] == code) return position;
    return -1;
}

Models::RateList TOutputPage::RatesFor(uint32_t dev, uint32_t format) {
    const bool uxga = std::find(std::begin(kUxgaCodes), std::end(kUxgaCodes), format) != std::end(kUxgaCodes);
    const int model = Models::ModelIndex(dev);
    if (uxga) return Models::RateList::Short;
    return model < 0 ? Models::RateList::Long : Models::Layout(model).rates;
}

// ---------------------------------------------------------------------------------------------------------
// Gestures

// Each pick waits for the scaler's report; without one the control shows the stored value again.
void TOutputPage::CboOutputFormatChange(int position) {
    const int code = FormatCode(Orlan_d.DEV(), position);
    if (code >= 0) Orlan_d.SetOFMTM(static_cast<uint32_t>(code));
    Reports.Expect(Form.CboOutputFormat, [this] { showFormat(); });
}

// The last item locks the rate to the input; any other turns the lock off first, then sets the rate.
void TOutputPage::CboOutputRateChange(int position) {
    const int count = Form.CboOutputRate->count();
    if (position < 0 || position >= count) return;
    if (position == count - 1) {
        Orlan_d.SetREFREQ(1);
    } else {
        Orlan_d.SetREFREQ(0);
        Orlan_d.SetORATEM(static_cast<uint32_t>(position));
    }
    Reports.Expect(Form.CboOutputRate, [this] { Form.RefreshOutputRate(); });
}

void TOutputPage::RdoOutputSyncClick(int position) {
    if (position >= 0) Orlan_d.SetOSYNCM(static_cast<uint32_t>(position));
    Reports.Expect(Form.RdoOutputSync, [this] { showSync(); });
}

void TOutputPage::RdoOutputTypeClick(int position) {
    if (position >= 0) Orlan_d.SetOTYPEM(static_cast<uint32_t>(position) + kFirstOutputType);
    Reports.Expect(Form.RdoOutputType, [this] { Form.RdoOutputType->SetItemIndex(m_shownType); });
}

void TOutputPage::RdoTestPatternClick(int position) {
    if (position >= 0) Orlan_d.SetOPAT(position != 0);
    Reports.Expect(Form.RdoTestPattern, [this] { showPattern(); });
}

// ---------------------------------------------------------------------------------------------------------
// Replies

void TOutputPage::Orlan_dOFMTMchange(TOrlan_d *, int32_t) {
    // The rates depend on the format: a pending rate pick is answered by the refilled list too.
    Reports.Show({Form.CboOutputFormat, Form.CboOutputRate}, [this] {
        showFormat();
        // The refilled list selects nothing until the rate is shown again.
        QComboBox *rates = Form.CboOutputRate;
        rates->clear();
        rates->addItems(Models::OutputRates(RatesFor(Orlan_d.DEV(), Orlan_d.OFMTM())));
        rates->setCurrentIndex(-1);
        showRate();
    });
}

// A format the model's list does not hold is shown as none rather than as the one before.
void TOutputPage::showFormat() {
    const uint32_t dev = Orlan_d.DEV();
    if (Models::IsKnownModel(dev))
        Form.CboOutputFormat->setCurrentIndex(FormatPosition(dev, Orlan_d.OFMTM()));
}

void TOutputPage::Orlan_dORATEMchange(TOrlan_d *, int32_t) {
    Reports.Show(Form.CboOutputRate, [this] { showRate(); });
}

void TOutputPage::Orlan_dREFREQchange(TOrlan_d *, int32_t) {
    Reports.Show(Form.CboOutputRate, [this] { showRate(); });
}

void TOutputPage::showRate() {
    Form.RefreshOutputRate();
    Form.RefreshStatusGrid();
}

void TOutputPage::Orlan_dREFSTAchange(TOrlan_d *, int32_t) {
    const uint32_t reference = Orlan_d.REFSTA();
    Form.StaticText_REFREQM->setText(Form.SourceName(reference <= 5 ? static_cast<int>(reference) : -1));
    Form.RefreshReferenceLabel();
}

void TOutputPage::Orlan_dOSYNCMchange(TOrlan_d *, int32_t) {
    Form.RefreshStatusGrid();
    Reports.Show(Form.RdoOutputSync, [this] { showSync(); });
}

void TOutputPage::showSync() {
    RadioGroup *sync = Form.RdoOutputSync;
    sync->SetItemIndex(positionOf(Orlan_d.OSYNCM(), static_cast<int>(sync->items().size())));
}

// 0 is no output type ("unchanged"): the type last reported stays shown, and an operator's pick that the
// scaler answers with 0 is not shown as if it were in force.
void TOutputPage::Orlan_dOTYPEMchange(TOrlan_d *, int32_t) {
    const uint32_t type = Orlan_d.OTYPEM();
    RadioGroup *types = Form.RdoOutputType;
    if (type != 0) m_shownType = positionOf(type - kFirstOutputType, static_cast<int>(types->items().size()));
    Reports.Show(types, [this, types] { types->SetItemIndex(m_shownType); });
}

void TOutputPage::Orlan_dOPATchange(TOrlan_d *, int32_t) {
    Reports.Show(Form.RdoTestPattern, [this] { showPattern(); });
}

void TOutputPage::showPattern() {
    Form.RdoTestPattern->SetItemIndex(Orlan_d.OPAT() ? 1 : 0);
}
