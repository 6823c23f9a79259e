#pragma once

#include <QList>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QWidget>

#include <functional>

// A status bar of fixed-width panels whose contents the owner draws. The last panel runs on to the right
// edge, so that a long text there is not cut off while the bar has room for it.
class OwnerDrawStatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit OwnerDrawStatusBar(QWidget *parent = nullptr);

    void setPanelWidths(const QList<int> &widths);
    QList<int> panelWidths() const { return m_widths; }
    int panelCount() const { return static_cast<int>(m_widths.size()); }
    // The panel's drawing rectangle, inside its border (the last one up to the bar's right edge).
    QRect panelRect(int index) const;

    std::function<void(QPainter &painter, int panel, const QRect &rect)> OnDrawPanel;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    QList<int> m_widths;
};

// Hands the drawing of every grid cell to its owner, and asks the owner for a cell's tooltip.
class OwnerDrawCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    std::function<void(QPainter &painter, int row, int column, const QRect &rect)> OnDrawCell;
    // The tooltip of a cell; the empty text for none.
    std::function<QString(int row, int column)> OnCellHint;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
};

// The window's small pictures, drawn rather than loaded.
namespace Pictures {
enum class Led { Off, On, Lit };
QPixmap led(Led kind);
// Connection state picture of the status bar.
QPixmap connection(bool connected);
} // namespace Pictures
