#pragma once

#include "ui_FrmScrollbar.h"

#include <QWidget>

// A labelled adjustment of the Image page: a scroll bar in the scaler's units and an edit box showing the
// signed value. The scroll bar's "Tag" property is 1 while the operator is moving it.
//
// The frame reports the operator's gestures on the scroll bar as scroll notifications: one per step
// (arrow, page, thumb movement, key, wheel) while the gesture lasts, then one scEndScroll when it ends
// (mouse button or key released; at once for a gesture without a press, such as a wheel turn). Setting
// the scroll bar's value from code raises none.
class TFrameScrollBar : public QWidget, public Ui::TFrameScrollBar {
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

    explicit TFrameScrollBar(QWidget *parent = nullptr);

    // The caption of the adjustment.
    QString caption() const { return Lbl->text(); }
    void setCaption(const QString &text) { Lbl->setText(text); }
    Q_PROPERTY(QString caption READ caption WRITE setCaption)

    // The frame's own reaction to a notification: Tag := 1 while scrolling, 0 at the end of the gesture.
    void ScrollBarScroll(TScrollCode code);
    int Tag() const { return ScrollBar->property("Tag").toInt(); }

  signals:
    // A scroll notification with the scroll bar's new position. Whoever handles it runs ScrollBarScroll.
    void ScrollBarOnScroll(TFrameScrollBar::TScrollCode code, int position);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void action(int sliderAction);
    void endGesture();

    bool m_mouseHeld = false;
    bool m_keyHeld = false;
};
