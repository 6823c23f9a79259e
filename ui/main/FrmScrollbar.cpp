#include "FrmScrollbar.h"

#include <QKeyEvent>
#include <QMouseEvent>

TFrameScrollBar::TFrameScrollBar(QWidget *parent) : QWidget(parent) {
    setupUi(this);
    ScrollBar->setProperty("Tag", 0);
    // An adjustment, not a view's scroll bar: Right, Up and the wheel turned up all raise the value.
    ScrollBar->setInvertedControls(false);
    // Actions are raised only by the operator's gestures (and the scroll bar's auto-repeat while a button is
    // held), never by setValue. They come before the value changes, so sliderPosition() is the new position.
    connect(ScrollBar, &QScrollBar::actionTriggered, this, &TFrameScrollBar::action);
    ScrollBar->installEventFilter(this);
    // Its menu's "Scroll here" and the like would be gestures without an end; the bar itself does it all.
    ScrollBar->setContextMenuPolicy(Qt::NoContextMenu);
}

void TFrameScrollBar::ScrollBarScroll(TScrollCode code) {
    ScrollBar->setProperty("Tag", code == scEndScroll ? 0 : 1);
}

void TFrameScrollBar::action(int sliderAction) {
    TScrollCode code;
    switch (sliderAction) {
    case QAbstractSlider::SliderSingleStepSub:
        code = scLineUp;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        code = scLineDown;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = scPageUp;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = scPageDown;
        break;
    case QAbstractSlider::SliderToMinimum:
        code = scTop;
        break;
    case QAbstractSlider::SliderToMaximum:
        code = scBottom;
        break;
    case QAbstractSlider::SliderMove:
        code = scTrack;
        break;
    default:
        return;
    }
    emit ScrollBarOnScroll(code, ScrollBar->sliderPosition());
    if (!m_mouseHeld && !m_keyHeld) endGesture();
}

// Ends the gesture in progress; a press that moved nothing started none and ends none.
void TFrameScrollBar::endGesture() {
    if (Tag() == 1) emit ScrollBarOnScroll(scEndScroll, ScrollBar->sliderPosition());
}

bool TFrameScrollBar::eventFilter(QObject *watched, QEvent *event) {
    if (watched != ScrollBar) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        m_mouseHeld = true;
        break;
    case QEvent::MouseButtonRelease:
        if (m_mouseHeld && static_cast<QMouseEvent *>(event)->buttons() == Qt::NoButton) {
            m_mouseHeld = false;
            if (!m_keyHeld) endGesture();
        }
        break;
    case QEvent::KeyPress:
        if (!static_cast<QKeyEvent *>(event)->isAutoRepeat()) m_keyHeld = true;
        break;
    case QEvent::KeyRelease:
        if (m_keyHeld && !static_cast<QKeyEvent *>(event)->isAutoRepeat()) {
            m_keyHeld = false;
            if (!m_mouseHeld) endGesture();
        }
        break;
    case QEvent::FocusOut:
        // The key's release goes elsewhere now.
        m_keyHeld = false;
        if (!m_mouseHeld) ScrollBar->setProperty("Tag", 0);
        break;
    case QEvent::Hide:
        // A gesture cut off by the page hiding the bar did not end by the operator's hand: nothing is
        // written, but replies may move the thumb again.
        m_mouseHeld = m_keyHeld = false;
        ScrollBar->setSliderDown(false);
        ScrollBar->setProperty("Tag", 0);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
