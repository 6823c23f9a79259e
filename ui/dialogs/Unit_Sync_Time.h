#pragma once

#include "ScrollNotifier.h"
#include "ui_Unit_Sync_Time.h"

#include <QFrame>

class TOrlan_d;

// "Black Delay": the output black delay on a 0 to 30 scale. A small window drawn inside the main window
// (it is the main window's child), with a caption bar and a close box of its own. The scroll bar and the
// edit box write the driver; the main window fills the edit box from the scaler's replies.
class TForm_Sync_Time : public QFrame, public Ui::TForm_Sync_Time {
    Q_OBJECT
  public:
    TForm_Sync_Time(TOrlan_d &driver, QWidget *parent);

    void ScrollBar_Sync_TimeScroll(TScrollNotifier::TScrollCode code, int position);
    // Only Enter acts.
    void Edit_Sync_TimeKeyPress(int key);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    TOrlan_d &m_driver;
    QPoint m_dragOffset; // where the caption was grabbed, while it is dragged
    bool m_dragging = false;
};
