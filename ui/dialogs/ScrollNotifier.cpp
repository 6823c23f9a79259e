#include "ScrollNotifier.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

TScrollNotifier::TScrollNotifier(QScrollBar *bar) : QObject(bar), m_bar(bar) {
    // An adjustment, not a view's scroll bar: Right, Up and the wheel turned up all raise the value.
    bar->setInvertedControls(false);
    // Actions come only from the operator (and the auto-repeat of a held button), never from setValue, and
    // before the value changes, so sliderPosition() is the new position.
    connect(bar, &QScrollBar::actionTriggered, this, &TScrollNotifier::action);
    bar->installEventFilter(this);
    // Its menu's "Scroll here" and the like would be gestures without an end.
    bar->setContextMenuPolicy(Qt::NoContextMenu);
}

void TScrollNotifier::action(int sliderAction) {
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
    m_inGesture = true;
    emit Scroll(code, m_bar->sliderPosition());
    if (!m_mouseHeld && !m_keyHeld) endGesture();
}

// Ends the gesture in progress; a press that moved nothing started none and ends none.
void TScrollNotifier::endGesture() {
    if (!m_inGesture) return;
    m_inGesture = false;
    emit Scroll(scEndScroll, m_bar->sliderPosition());
}

bool TScrollNotifier::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_bar) return QObject::eventFilter(watched, event);
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
        // The key's release goes elsewhere now: the gesture ends here.
        m_keyHeld = false;
        if (!m_mouseHeld) endGesture();
        break;
    case QEvent::Hide:
        // A gesture cut off by the window hiding did not end by the operator's hand: no end is reported, but
        // the drag guard is lifted so that replies move the bar again.
        m_mouseHeld = m_keyHeld = m_inGesture = false;
        m_bar->setSliderDown(false);
        if (m_bar->property("Tag").isValid()) m_bar->setProperty("Tag", 0);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
