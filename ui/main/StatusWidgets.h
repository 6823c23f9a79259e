#pragma once

#include <QList>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QWidget>

#include <functional>

// A status bar of fixed-width panels whose contents the owner draws.
class OwnerDrawStatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit OwnerDrawStatusBar(QWidget *parent = nullptr);

    void setPanelWidths(const QList<int> &widths);
    QList<int> panelWidths() const { return m_widths; }
    int panelCount() const { return static_cast<int>(m_widths.size()); }
    // The panel's drawing rectangle, inside its border.
    QRect panelRect(int index) const;

    std::function<void(QPainter &painter, int panel, const QRect &rect)> OnDrawPanel;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    QList<int> m_widths;
};

// Hands the drawing of every grid cell to its owner.
class OwnerDrawCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    std::function<void(QPainter &painter, int row, int column, const QRect &rect)> OnDrawCell;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

// The window's small pictures, drawn rather than loaded.
namespace Pictures {
enum class Led { Off, On, Lit };
QPixmap led(Led kind);
// Connection state picture of the status bar.
QPixmap connection(bool connected);
} // namespace Pictures
