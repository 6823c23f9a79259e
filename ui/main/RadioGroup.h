#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

// A captioned group of radio buttons built from a list of texts, filled column by column, with one
// selected position (or none).
class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int columns READ columns WRITE setColumns)
  public:
    explicit RadioGroup(QWidget *parent = nullptr);

    QStringList items() const { return m_items; }
    // Replaces the buttons; the selection is cleared. "&&" in a text shows as one ampersand.
    void setItems(const QStringList &items);
    int columns() const { return m_columns; }
    void setColumns(int columns);

    // Selected position, -1 for none.
    int ItemIndex() const;
    // Selects a position without reporting a click; a position outside the items clears the selection.
    void SetItemIndex(int index);

    QRadioButton *button(int index) const { return m_buttons.value(index); }

  signals:
    // The operator selected the button at this position: by mouse, keyboard or an accessibility action.
    // Selecting the button already selected, and SetItemIndex, report nothing.
    void clicked(int index);

  protected:
    void resizeEvent(QResizeEvent *event) override;

  private:
    void arrange();

    QStringList m_items;
    int m_columns = 1;
    QButtonGroup *m_group;
    QList<QRadioButton *> m_buttons;
    bool m_setting = false;
};
