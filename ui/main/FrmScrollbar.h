#pragma once

#include "ui_FrmScrollbar.h"

#include <QWidget>

// A labelled adjustment of the Image page: a scroll bar in the scaler's units and an edit box showing the
// signed value. The scroll bar's "Tag" property is 1 while the operator is moving it.
class TFrameScrollBar : public QWidget, public Ui::TFrameScrollBar {
    Q_OBJECT
  public:
    explicit TFrameScrollBar(QWidget *parent = nullptr);

    // The caption of the adjustment.
    QString caption() const { return Lbl->text(); }
    void setCaption(const QString &text) { Lbl->setText(text); }
    Q_PROPERTY(QString caption READ caption WRITE setCaption)
};
