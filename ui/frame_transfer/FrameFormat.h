#pragma once

#include "PictureFitting.h"
#include "ui_FrameFormat.h"

#include <QDialog>

#include <functional>

class QLabel;
class QRadioButton;

// The fit choice: asks how a picture that is not 720 x 576 becomes the frame (crop or shrink a large one,
// centre or zoom a small one). The question and its answers come from the picture fitting logic.
class TFormFrameFormat : public QDialog, public Ui::TFormFrameFormat {
    Q_OBJECT
  public:
    explicit TFormFrameFormat(QWidget *parent = nullptr);

    // The fit mode for a source of this size; shows the window modally unless it is exactly 720 x 576.
    TFitMode ChooseFitMode(int width, int height);

    // The texts the two choices show (the radio buttons draw them wrapped).
    QString ChoiceText(int choice) const;

    // Shows the window modally and returns its result. Tests replace it to answer without a modal loop.
    std::function<int(QDialog &)> RunModal;

  private:
    void setChoiceText(QRadioButton *button, QLabel *label, const QString &text);

    QLabel *m_text1;
    QLabel *m_text2;
};
