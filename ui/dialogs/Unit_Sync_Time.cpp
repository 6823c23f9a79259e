#include "Unit_Sync_Time.h"

#include "Orlan_d.h"
#include "Prompts.h"
#include "TextNumbers.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

TForm_Sync_Time::TForm_Sync_Time(TOrlan_d &driver, QWidget *parent) : QFrame(parent), m_driver(driver) {
    setupUi(this);
    setFixedSize(size());
    BtnClose->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    connect(BtnClose, &QToolButton::clicked, this, &QWidget::hide);
    auto *notifier = new TScrollNotifier(ScrollBar_Sync_Time);
    connect(notifier, &TScrollNotifier::Scroll, this, &TForm_Sync_Time::ScrollBar_Sync_TimeScroll);
    Edit_Sync_Time->installEventFilter(this);
    LblCaption->installEventFilter(this);
    hide();
}

// The scaler is told every step; the end of the gesture also closes the window.
void TForm_Sync_Time::ScrollBar_Sync_TimeScroll(TScrollNotifier::TScrollCode code, int position) {
    m_driver.SetOSYNCTIME(static_cast<uint32_t>(position));
    if (code == TScrollNotifier::scEndScroll) hide();
}

// A value outside the scroll bar's range sends the stored one again, so the scaler's reply puts the edit
// box right.
void TForm_Sync_Time::Edit_Sync_TimeKeyPress(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
    int32_t value = 0;
    if (!TextNumbers::ParseInteger(Edit_Sync_Time->text(), value)) {
        Prompts::instance().message(TextNumbers::InvalidIntegerText(Edit_Sync_Time->text()),
                                    Prompts::Icon::Error);
        return;
    }
    if (value >= ScrollBar_Sync_Time->minimum() && value <= ScrollBar_Sync_Time->maximum())
        m_driver.SetOSYNCTIME(static_cast<uint32_t>(value));
    else
        m_driver.SetOSYNCTIME(m_driver.OSYNCTIME());
}

bool TForm_Sync_Time::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Edit_Sync_Time && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        Edit_Sync_TimeKeyPress(key);
        if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    // The caption bar moves the window within the main window.
    if (watched == LblCaption) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton) {
                m_dragging = true;
                m_dragOffset = mouse->position().toPoint() + LblCaption->pos();
            }
            break;
        }
        case QEvent::MouseMove:
            if (m_dragging)
                move(
                    mapToParent(static_cast<QMouseEvent *>(event)->position().toPoint() + LblCaption->pos()) -
                    m_dragOffset);
            break;
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            break;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}
