#include "Unit_Standby.h"

#include "Orlan_d.h"

#include <QStyle>

TForm_Standby::TForm_Standby(TOrlan_d &driver, QWidget *parent) : QDialog(parent), m_driver(driver) {
    setupUi(this);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(size());
    QFont font = Label_STANDBY->font();
    font.setPixelSize(13);
    Label_STANDBY->setFont(font);
    BitBtn3->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ScrollBar1->setProperty("Tag", 0);
    auto *notifier = new TScrollNotifier(ScrollBar1);
    connect(notifier, &TScrollNotifier::Scroll, this, &TForm_Standby::ScrollBar1Scroll);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm_Standby::BitBtn3Click);
}

QString TForm_Standby::StandbyText(uint32_t minutes) {
    if (minutes == 0) return QStringLiteral("Off");
    return QStringLiteral("%1H:%2Min").arg(minutes / 60).arg(minutes % 60);
}

void TForm_Standby::ShowStandbyTime(uint32_t minutes) {
    Label_STANDBY->setText(StandbyText(minutes));
    if (ScrollBar1->property("Tag").toInt() == 0) ScrollBar1->setValue(static_cast<int>(qMin(minutes, 255u)));
}

void TForm_Standby::ScrollBar1Scroll(TScrollNotifier::TScrollCode code, int position) {
    m_driver.SetSTBTIME(static_cast<uint32_t>(position));
    ScrollBar1->setProperty("Tag", code == TScrollNotifier::scEndScroll ? 0 : 1);
}

void TForm_Standby::BitBtn3Click() {
    close();
}
