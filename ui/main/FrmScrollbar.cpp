#include "FrmScrollbar.h"

TFrameScrollBar::TFrameScrollBar(QWidget *parent) : QWidget(parent) {
    setupUi(this);
    ScrollBar->setProperty("Tag", 0);
    auto *notifier = new TScrollNotifier(ScrollBar);
    connect(notifier, &TScrollNotifier::Scroll, this, &TFrameScrollBar::ScrollBarOnScroll);
}

void TFrameScrollBar::ScrollBarScroll(TScrollCode code) {
    ScrollBar->setProperty("Tag", code == TScrollNotifier::scEndScroll ? 0 : 1);
}
