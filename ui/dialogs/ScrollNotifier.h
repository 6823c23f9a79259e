#pragma once

#include <QObject>

class QScrollBar;

// Reports the operator's gestures on a scroll bar as scroll notifications: one per step (arrow, page, thumb
// movement, key, wheel) while the gesture lasts, then one scEndScroll when it ends (mouse button or key
// released; at once for a gesture without a press, such as a wheel turn). Setting the scroll bar's value
// from code raises none.
class TScrollNotifier : public QObject {
    Q_OBJECT
  public:
    enum TScrollCode {
        scLineUp,
        scLineDown,
        scPageUp,
        scPageDown,
        scPosition,
        scTrack,
        scTop,
        scBottom,
        scEndScroll
    };
    Q_ENUM(TScrollCode)

    explicit TScrollNotifier(QScrollBar *bar);

  signals:
    void Scroll(TScrollNotifier::TScrollCode code, int position);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void action(int sliderAction);
    void endGesture();

    QScrollBar *m_bar;
    bool m_mouseHeld = false;
    bool m_keyHeld = false;
    bool m_inGesture = false;
};
