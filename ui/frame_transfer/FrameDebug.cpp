#include "FrameDebug.h"

#include <QHeaderView>
#include <QLocale>
#include <QScreen>
#include <QTime>

namespace {
constexpr int kLabelColumn = 75;
constexpr int kValueColumn = 125;
constexpr int kCellPadding = 10;

// The system's long time format without its time zone: the value is a duration.
QString longTimeFormat() {
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}
} // namespace

TFormFrameDebug::TFormFrameDebug(QWidget *parent) : QWidget(parent) {
    setupUi(this);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    GrdStatus->setColumnCount(2);
    GrdStatus->setRowCount(RowCount);
    GrdStatus->horizontalHeader()->hide();
    GrdStatus->verticalHeader()->hide();
    GrdStatus->verticalHeader()->setMinimumSectionSize(1);
    GrdStatus->verticalHeader()->setDefaultSectionSize(20);
    GrdStatus->horizontalHeader()->setMinimumSectionSize(1);
    const char *labels[RowCount] = {"Elapsed time :", "Progress", "Speed :", "Width :", "Height :"};
    int labelWidth = kLabelColumn;
    for (int row = 0; row < RowCount; ++row) {
        const QString label = QString::fromLatin1(labels[row]);
        GrdStatus->setItem(row, 0, new QTableWidgetItem(label));
        GrdStatus->setItem(row, 1, new QTableWidgetItem);
        labelWidth = qMax(labelWidth, GrdStatus->fontMetrics().horizontalAdvance(label) + kCellPadding);
    }
    // A font wider than the one the sizes are made for widens the label column and the window with it.
    GrdStatus->setColumnWidth(0, labelWidth);
    GrdStatus->setColumnWidth(1, kValueColumn);
    const int grow = labelWidth - kLabelColumn;
    GrdStatus->resize(GrdStatus->width() + grow, GrdStatus->height());
    GrpStatus->resize(GrpStatus->width() + grow, GrpStatus->height());
    setFixedSize(width() + grow, height());
    GrdStatus->setCurrentItem(nullptr);
}

void TFormFrameDebug::setValue(int row, const QString &text) {
    GrdStatus->item(row, 1)->setText(text);
}

QString TFormFrameDebug::Label(int row) const {
    return GrdStatus->item(row, 0)->text();
}

QString TFormFrameDebug::Value(int row) const {
    return GrdStatus->item(row, 1)->text();
}

void TFormFrameDebug::SetElapsed(qint64 milliseconds) {
    const QTime time = QTime(0, 0).addMSecs(int(milliseconds % (24 * 3600 * 1000)));
    setValue(RowElapsed, QLocale::system().toString(time, longTimeFormat()));
}

void TFormFrameDebug::SetProgress(int sent, int total) {
    setValue(RowProgress, QStringLiteral("%1/%2 pixels").arg(sent).arg(total));
}

void TFormFrameDebug::SetSpeed(int bytesPerSecond) {
    setValue(RowSpeed, QStringLiteral("%1 Bytes/s").arg(bytesPerSecond));
}

void TFormFrameDebug::SetSourceWidth(int width) {
    setValue(RowWidth, QStringLiteral("%1 pixels").arg(width));
}

void TFormFrameDebug::SetSourceHeight(int height) {
    setValue(RowHeight, QStringLiteral("%1 lines").arg(height));
}

void TFormFrameDebug::showEvent(QShowEvent *event) {
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->geometry();
        move(area.left() + area.width() - frameGeometry().width(), area.top());
    }
    QWidget::showEvent(event);
}
