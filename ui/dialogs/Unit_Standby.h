#pragma once

#include "ScrollNotifier.h"
#include "ui_Unit_Standby.h"

#include <QDialog>

class TOrlan_d;

// "Stand by": the delay after which the scaler goes to standby, 0 (off) to 255 minutes. The scroll bar
// writes the driver; the main window shows the scaler's replies here. The scroll bar's "Tag" is 1 while
// the operator moves it, and replies do not move it then.
class TForm_Standby : public QDialog, public Ui::TForm_Standby {
    Q_OBJECT
  public:
    TForm_Standby(TOrlan_d &driver, QWidget *parent);

    // "%dH:%dMin" for a delay in minutes, "Off" for none.
    static QString StandbyText(uint32_t minutes);
    // The scaler's delay: the label always, the scroll bar unless the operator is moving it.
    void ShowStandbyTime(uint32_t minutes);

    void ScrollBar1Scroll(TScrollNotifier::TScrollCode code, int position);
    void BitBtn3Click();

  private:
    TOrlan_d &m_driver;
};
