#pragma once

#include "ui_FrmInput.h"

#include <QWidget>

// One row of the Input page: the input's name, its "Used" and "VCR" boxes, its signal type and standard.
class TFrameInput : public QWidget, public Ui::TFrameInput {
    Q_OBJECT
  public:
    explicit TFrameInput(QWidget *parent = nullptr);

    int Tag = 0; // input number 1..5

    // Whenever "Used" changes, by the operator or by the program, the rest of the row follows it.
    void ChkUsedClick();
};
