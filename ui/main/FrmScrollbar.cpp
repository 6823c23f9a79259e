#include "FrmScrollbar.h"

TFrameScrollBar::TFrameScrollBar(QWidget *parent) : QWidget(parent) {
    setupUi(this);
}
