#include "StatusWidgets.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QToolTip>

OwnerDrawStatusBar::OwnerDrawStatusBar(QWidget *parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

void OwnerDrawStatusBar::setPanelWidths(const QList<int> &widths) {
    m_widths = widths;
    update();
}

QRect OwnerDrawStatusBar::panelRect(int index) const {
    int left = 0;
    for (int i = 0; i < index && i < m_widths.size(); ++i)
        left += m_widths[i];
    int width = index < m_widths.size() ? m_widths[index] : 0;
    if (index == panelCount() - 1) width = qMax(width, this->width() - left);
    return QRect(left + 1, 2, width - 3, height() - 3);
}

void OwnerDrawStatusBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const QPalette &pal = palette();
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(0, 0, width(), 0);
    for (int i = 0; i < panelCount(); ++i) {
        const QRect r = panelRect(i).adjusted(-1, -1, 1, 1);
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        if (OnDrawPanel) {
            p.save();
            p.setClipRect(panelRect(i));
            p.setFont(font());
            p.setPen(pal.color(QPalette::WindowText));
            OnDrawPanel(p, i, panelRect(i));
            p.restore();
        }
    }
}

void OwnerDrawCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const {
    if (!OnDrawCell) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->save();
    painter->setClipRect(option.rect);
    OnDrawCell(*painter, index.row(), index.column(), option.rect);
    painter->restore();
}

bool OwnerDrawCellDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                      const QStyleOptionViewItem &option, const QModelIndex &index) {
    if (!OnCellHint || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString hint = OnCellHint(index.row(), index.column());
    if (hint.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return false;
    }
    QToolTip::showText(event->globalPos(), hint, view->viewport(), option.rect);
    return true;
}

namespace Pictures {

QPixmap led(Led kind) {
    constexpr int size = 11;
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QColor core;
    QColor rim;
    switch (kind) {
    case Led::Off:
        core = QColor(0x70, 0x78, 0x70);
        rim = QColor(0x38, 0x3c, 0x38);
        break;
    case Led::On:
        core = QColor(0x40, 0xff, 0x40);
        rim = QColor(0x00, 0x80, 0x00);
        break;
    case Led::Lit:
        core = QColor(0xff, 0x50, 0x30);
        rim = QColor(0xa0, 0x10, 0x00);
        break;
    }
    QRadialGradient g(QPointF(size * 0.38, size * 0.35), size * 0.6);
    g.setColorAt(0, core.lighter(150));
    g.setColorAt(0.6, core);
    g.setColorAt(1, rim);
    p.setBrush(g);
    p.setPen(QPen(rim.darker(130), 1));
    p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    return pm;
}

// A plug and its socket: pushed together (green) when connected, apart (red) when not.
QPixmap connection(bool connected) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QColor body = connected ? QColor(0x00, 0x90, 0x00) : QColor(0xc0, 0x10, 0x10);
    const QColor edge = body.darker(160);
    const int shift = connected ? 0 : 2;
    p.setPen(edge);
    p.drawLine(0, 8, 2 - shift, 8); // cable
    p.setBrush(body);
    p.drawRect(3 - shift, 5, 4, 6);         // plug
    p.drawLine(8 - shift, 6, 9 - shift, 6); // pins
    p.drawLine(8 - shift, 10, 9 - shift, 10);
    p.drawRect(10 + shift / 2, 3, 3, 10); // socket
    p.drawLine(14 + shift / 2, 8, 15, 8); // wall cable
    return pm;
}

} // namespace Pictures
