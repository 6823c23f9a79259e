#include "GradientWindow.h"

#include "Gradient.h"
#include "Prompts.h"

#include <QMouseEvent>

namespace {
// The chooser speaks 0xRRGGBB; the pictures keep red in the low byte.
uint32_t toRgb(TColorRef c) {
    return RgbFromColorRef(c) & 0xFFFFFFu;
}
} // namespace

TFormGradient::TFormGradient(QWidget *parent) : QDialog(parent) {
    setupUi(this);
    // A fixed border without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(size());
    SetStartColor(kGradientInitialStart);
    SetEndColor(kGradientInitialEnd);
    CmbDirection->setCurrentIndex(0);
    PnlStart->installEventFilter(this);
    PnlEnd->installEventFilter(this);
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    RunModal = [](QDialog &dialog) { return dialog.exec(); };
}

bool TFormGradient::Execute() {
    return RunModal(*this) == QDialog::Accepted;
}

void TFormGradient::paintPanel(QFrame *panel, TColorRef color) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(RgbFromColorRef(color)));
    panel->setPalette(palette);
}

void TFormGradient::SetStartColor(TColorRef color) {
    m_start = color & 0xFFFFFFu;
    paintPanel(PnlStart, m_start);
}

void TFormGradient::SetEndColor(TColorRef color) {
    m_end = color & 0xFFFFFFu;
    paintPanel(PnlEnd, m_end);
}

bool TFormGradient::chooseColor(TColorRef &color) {
    uint32_t rgb = toRgb(m_lastChosen);
    if (!Prompts::instance().chooseColor(rgb, windowTitle())) return false;
    m_lastChosen = ColorRefFromRgb(QRgb(rgb));
    color = m_lastChosen;
    return true;
}

void TFormGradient::PnlStartClick() {
    TColorRef color = m_start;
    if (chooseColor(color)) SetStartColor(color);
}

void TFormGradient::PnlEndClick() {
    TColorRef color = m_end;
    if (chooseColor(color)) SetEndColor(color);
}

bool TFormGradient::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == PnlStart) PnlStartClick();
        if (watched == PnlEnd) PnlEndClick();
    }
    return QDialog::eventFilter(watched, event);
}
