#pragma once

#include "ScrollNotifier.h"
#include "ui_FrmScrollbar.h"

#include <QWidget>

// A labelled adjustment of the Image page: a scroll bar in the scaler's units and an edit box showing the
// signed value. The operator's gestures on the scroll bar come as scroll notifications (TScrollNotifier);
// the scroll bar's "Tag" property is 1 while the operator is moving it.
class TFrameScrollBar : public QWidget, public Ui::TFrameScrollBar {
    Q_OBJECT
  public:
    using TScrollCode = TScrollNotifier::TScrollCode;

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
    void ScrollBarOnScroll(TScrollNotifier::TScrollCode code, int position);
};
