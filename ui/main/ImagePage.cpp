#include "ImagePage.h"

#include "Prompts.h"
#include "SettingsFiles.h"
#include "Unit_OXS.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

using namespace OrlanVars;

TImagePage::TImagePage(TForm_OXS &form) : TWindowPage(form) {}

void TImagePage::Bind() {
    TForm_OXS &f = Form;
    m_sliders = {{
        {VAR_HPOS, f.FrameScrollHPos, &TImagePage::FrameScrollHPosScrollBarScroll,
         &TImagePage::FrameScrollHPosEdtEnter, &TImagePage::Orlan_dHPOSchange},
        {VAR_HSIZ, f.FrameScrollHSize, &TImagePage::FrameScrollHSizeScrollBarScroll,
         &TImagePage::FrameScrollHSizeEdtEnter, &TImagePage::Orlan_dHSIZchange},
        {VAR_VPOS, f.FrameScrollVPos, &TImagePage::FrameScrollVPosScrollBarScroll,
         &TImagePage::FrameScrollVPosEdtEnter, &TImagePage::Orlan_dVPOSchange},
        {VAR_VSIZ, f.FrameScrollVSize, &TImagePage::FrameScrollVSizeScrollBarScroll,
         &TImagePage::FrameScrollVSizeEdtEnter, &TImagePage::Orlan_dVSIZchange},
        {VAR_BRGT, f.FrameScrollBrightness, &TImagePage::FrameScrollBrightnessScrollBarScroll,
         &TImagePage::FrameScrollBrightnessEdtEnter, &TImagePage::Orlan_dBRGTchange},
        {VAR_CONTR, f.FrameScrollContrast, &TImagePage::FrameScrollContrastScrollBarScroll,
         &TImagePage::FrameScrollContrastEdtEnter, &TImagePage::Orlan_dCONTRchange},
        {VAR_COLOR, f.FrameScrollColor, &TImagePage::FrameScrollColorScrollBarScroll,
         &TImagePage::FrameScrollColorEdtEnter, &TImagePage::Orlan_dCOLORchange},
        {VAR_HUE, f.FrameScrollHue, &TImagePage::FrameScrollHueScrollBarScroll,
         &TImagePage::FrameScrollHueEdtEnter, &TImagePage::Orlan_dHUEchange},
    }};
    m_lists = {{
        {VAR_IASP, f.CboInputAspectRatio, &TImagePage::CboInputAspectRatioChange,
         &TImagePage::Orlan_dIASPchange},
        {VAR_OASP, f.CboOutputAspectRatio, &TImagePage::CboOutputAspectRatioChange,
         &TImagePage::Orlan_dOASPchange},
        {VAR_OVER, f.CboUnderOverscan, &TImagePage::CboUnderOverscanChange, &TImagePage::Orlan_dOVERchange},
        {VAR_PROC, f.CboProcessing, &TImagePage::CboProcessingChange, &TImagePage::Orlan_dPROCchange},
    }};

    // Only the operator's gestures write: scroll notifications, Enter, a pick in a list
    // (QComboBox::activated, also for the item already shown: the input aspect list writes on a click too), a
    // button click.
    for (const Slider &s : m_sliders) {
        const ScrollHandler scroll = s.scroll;
        connect(s.frame, &TFrameScrollBar::ScrollBarOnScroll, this,
                [this, scroll](TScrollCode code, int position) { (this->*scroll)(code, position); });
        connect(s.frame->Edt, &QLineEdit::returnPressed, this, s.enter);
        bindEvent(*Orlan_d.ChangeEvent(s.var), s.change);
    }
    for (const List &l : m_lists) {
        connect(l.list, &QComboBox::activated, this, l.pick);
        bindEvent(*Orlan_d.ChangeEvent(l.var), l.change);
        // A list shows what the scaler reported, and it has reported nothing yet.
        l.list->setCurrentIndex(-1);
    }
    connect(f.BtnCenter, &QPushButton::clicked, this, &TImagePage::BtnCenterClick);
    connect(f.BtnPicturePreset, &QPushButton::clicked, this, &TImagePage::BtnPicturePresetClick);
}

const TImagePage::Slider &TImagePage::slider(int var) const {
    return *std::find_if(m_sliders.begin(), m_sliders.end(), [var](const Slider &s) { return s.var == var; });
}

const TImagePage::List &TImagePage::list(int var) const {
    return *std::find_if(m_lists.begin(), m_lists.end(), [var](const List &l) { return l.var == var; });
}

// ---------------------------------------------------------------------------------------------------------
// Adjustments

void TImagePage::sliderScroll(int var, TScrollCode code, int position) {
    Orlan_d.SetValue(var, static_cast<uint32_t>(position));
    slider(var).frame->ScrollBarScroll(code);
}

void TImagePage::sliderEnter(int var) {
    const QString text = slider(var).frame->Edt->text();
    bool ok = false;
    const qlonglong shown = text.trimmed().toLongLong(&ok);
    if (!ok) {
        Prompts::instance().message(
            QStringLiteral("\"%1\" is not a whole number. Enter a value from %2 to %3.")
                .arg(text)
                .arg(kShownMin)
                .arg(kShownMax),
            Prompts::Icon::Error, QString::fromLatin1(SettingsFiles::kApplicationTitle));
        return;
    }
    // Out of range: the stored value again, so that the scaler's reply puts it back into the edit box.
    if (shown > kShownMax || shown < kShownMin)
        Orlan_d.SetValue(var, Orlan_d.Value(var));
    else
        Orlan_d.SetValue(var,
                         static_cast<uint32_t>(Form.Conversion.PositionAffichage(static_cast<int>(shown))));
}

void TImagePage::showSlider(int var) {
    TFrameScrollBar &frame = *slider(var).frame;
    const uint32_t raw = Orlan_d.Value(var);
    const qint64 value = kRows[var].kind == Kind::I32 ? static_cast<qint64>(static_cast<int32_t>(raw)) : raw;
    QString text;
    Form.Conversion.PositionDriver(value, text);
    frame.Edt->setText(text);
    // The guard: never move the thumb the operator is holding.
    if (frame.Tag() == 0) {
        QScrollBar &bar = *frame.ScrollBar;
        bar.setValue(static_cast<int>(std::clamp<qint64>(value, bar.minimum(), bar.maximum())));
    }
}

void TImagePage::FrameScrollHPosScrollBarScroll(TScrollCode code, int position) {
    sliderScroll(VAR_HPOS, code, position);
}
void TImagePage::FrameScrollHSizeScrollBarScroll(TScrollCode code, int position) {
    sliderScroll(VAR_HSIZ, code, position);
}
void TImagePage::FrameScrollVPosScrollBarScroll(TScrollCode code, int position) {
    sliderScroll(VAR_VPOS, code, position);
}
void TImagePage::FrameScrollVSizeScrollBarScroll(TScrollCode code, int position) {
    sliderScroll(VAR_VSIZ, code, position);
}
void TImagePage::FrameScrollBrightnessScrollBarScroll(TScrollCode code, int position) {
    sliderScroll(VAR_BRGT, code, position);
}
void TImagePage::FrameScrollContrastScrollBarScroll(TScrollCode code, int position) {
    sliderScroll(VAR_CONTR, code, position);
}
void TImagePage::FrameScrollColorScrollBarScroll(TScrollCode code, int position) {
    sliderScroll(VAR_COLOR, code, position);
}
void TImagePage::FrameScrollHueScrollBarScroll(TScrollCode code, int position) {
    sliderScroll(VAR_HUE, code, position);
}

void TImagePage::FrameScrollHPosEdtEnter() {
    sliderEnter(VAR_HPOS);
}
void TImagePage::FrameScrollHSizeEdtEnter() {
    sliderEnter(VAR_HSIZ);
}
void TImagePage::FrameScrollVPosEdtEnter() {
    sliderEnter(VAR_VPOS);
}
void TImagePage::FrameScrollVSizeEdtEnter() {
    sliderEnter(VAR_VSIZ);
}
void TImagePage::FrameScrollBrightnessEdtEnter() {
    sliderEnter(VAR_BRGT);
}
void TImagePage::FrameScrollContrastEdtEnter() {
    sliderEnter(VAR_CONTR);
}
void TImagePage::FrameScrollColorEdtEnter() {
    sliderEnter(VAR_COLOR);
}
void TImagePage::FrameScrollHueEdtEnter() {
    sliderEnter(VAR_HUE);
}

void TImagePage::Orlan_dHPOSchange(TOrlan_d *, int32_t) {
    showSlider(VAR_HPOS);
}
void TImagePage::Orlan_dHSIZchange(TOrlan_d *, int32_t) {
    showSlider(VAR_HSIZ);
}
void TImagePage::Orlan_dVPOSchange(TOrlan_d *, int32_t) {
    showSlider(VAR_VPOS);
}
void TImagePage::Orlan_dVSIZchange(TOrlan_d *, int32_t) {
    showSlider(VAR_VSIZ);
}
void TImagePage::Orlan_dBRGTchange(TOrlan_d *, int32_t) {
    showSlider(VAR_BRGT);
}
void TImagePage::Orlan_dCONTRchange(TOrlan_d *, int32_t) {
    showSlider(VAR_CONTR);
}
void TImagePage::Orlan_dCOLORchange(TOrlan_d *, int32_t) {
    showSlider(VAR_COLOR);
}
void TImagePage::Orlan_dHUEchange(TOrlan_d *, int32_t) {
    showSlider(VAR_HUE);
}

// ---------------------------------------------------------------------------------------------------------
// Lists and one-shot commands

// The pick waits for the scaler's report; without one the list shows the stored value again (or nothing
// when the scaler has reported none yet).
void TImagePage::listPick(int var, int index) {
    if (index >= 0) Orlan_d.SetValue(var, static_cast<uint32_t>(index));
    Reports.Expect(list(var).list, [this, var] { selectStored(var); });
}

void TImagePage::showList(int var) {
    Reports.Show(list(var).list, [this, var] { selectStored(var); });
}

// The reported value selects its position; a value outside the list selects nothing. Under/overscan is a
// Boolean: any non-zero value is True, "Overscan".
void TImagePage::selectStored(int var) {
    QComboBox &box = *list(var).list;
    uint32_t value = Orlan_d.Value(var);
    if (kRows[var].kind == Kind::BOOL) value = value != 0;
    box.setCurrentIndex(value < static_cast<uint32_t>(box.count()) ? static_cast<int>(value) : -1);
}

void TImagePage::CboInputAspectRatioChange(int index) {
    listPick(VAR_IASP, index);
}
void TImagePage::CboOutputAspectRatioChange(int index) {
    listPick(VAR_OASP, index);
}
void TImagePage::CboUnderOverscanChange(int index) {
    listPick(VAR_OVER, index);
}
void TImagePage::CboProcessingChange(int index) {
    listPick(VAR_PROC, index);
}

void TImagePage::Orlan_dIASPchange(TOrlan_d *, int32_t) {
    showList(VAR_IASP);
}
void TImagePage::Orlan_dOASPchange(TOrlan_d *, int32_t) {
    showList(VAR_OASP);
}
void TImagePage::Orlan_dOVERchange(TOrlan_d *, int32_t) {
    showList(VAR_OVER);
}
void TImagePage::Orlan_dPROCchange(TOrlan_d *, int32_t) {
    showList(VAR_PROC);
}

void TImagePage::BtnCenterClick() {
    Orlan_d.SetAUTOCAD(true);
}

void TImagePage::BtnPicturePresetClick() {
    Orlan_d.SetPRESETM(true);
}
