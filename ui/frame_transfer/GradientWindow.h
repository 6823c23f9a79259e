#pragma once

#include "Picture.h"
#include "ui_GradientWindow.h"

#include <QDialog>

#include <functional>

// The gradient generator's choices: a start and an end colour (click a panel to choose it) and a direction.
class TFormGradient : public QDialog, public Ui::TFormGradient {
    Q_OBJECT
  public:
    explicit TFormGradient(QWidget *parent = nullptr);

    // Shows the window modally; true when closed with OK.
    bool Execute();

    TColorRef StartColor() const { return m_start; }
    TColorRef EndColor() const { return m_end; }
    void SetStartColor(TColorRef color);
    void SetEndColor(TColorRef color);
    // 0 horizontal, 1 vertical.
    int Direction() const { return CmbDirection->currentIndex(); }

    void PnlStartClick();
    void PnlEndClick();

    // Shows the window modally and returns its result. Tests replace it to answer without a modal loop.
    std::function<int(QDialog &)> RunModal;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // The colour chooser starts with the colour chosen last in it; true when one was chosen.
    bool chooseColor(TColorRef &color);
    static void paintPanel(QFrame *panel, TColorRef color);

    TColorRef m_start = 0;
    TColorRef m_end = 0;
    TColorRef m_lastChosen = 0; // the chooser's own colour, black until a colour is chosen
};
