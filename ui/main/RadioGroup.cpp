#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyleOptionGroupBox>

RadioGroup::RadioGroup(QWidget *parent) : QGroupBox(parent), m_group(new QButtonGroup(this)) {
    // The checked state, not the click: the keyboard and the accessibility Toggle action change it too.
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !m_setting) emit clicked(id);
    });
}

void RadioGroup::setItems(const QStringList &items) {
    qDeleteAll(m_buttons);
    m_buttons.clear();
    m_items = items;
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        m_group->addButton(button, i);
        m_buttons << button;
        button->show();
    }
    arrange();
}

void RadioGroup::setColumns(int columns) {
    m_columns = qMax(1, columns);
    arrange();
}

int RadioGroup::ItemIndex() const {
    return m_group->checkedId();
}

void RadioGroup::SetItemIndex(int index) {
    const QScopedValueRollback<bool> setting(m_setting, true);
    if (index >= 0 && index < m_buttons.size()) {
        m_buttons[index]->setChecked(true);
        return;
    }
    if (QAbstractButton *checked = m_group->checkedButton()) {
        m_group->setExclusive(false);
        checked->setChecked(false);
        m_group->setExclusive(true);
    }
}

void RadioGroup::resizeEvent(QResizeEvent *event) {
    QGroupBox::resizeEvent(event);
    arrange();
}

// Buttons fill the columns top to bottom, evenly spread over the space under the caption.
void RadioGroup::arrange() {
    if (m_buttons.isEmpty()) return;
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect area = style()
                           ->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this)
                           .adjusted(6, 1, -2, -1);
    const int perColumn = (static_cast<int>(m_buttons.size()) + m_columns - 1) / m_columns;
    const int columnWidth = area.width() / m_columns;
    const int rowHeight = area.height() / perColumn;
    for (int i = 0; i < m_buttons.size(); ++i) {
        const int column = i / perColumn;
        const int row = i % perColumn;
        const int height = qMin(rowHeight, m_buttons[i]->sizeHint().height());
        const int y = area.top() + row * rowHeight + (rowHeight - height) / 2;
        m_buttons[i]->setGeometry(area.left() + column * columnWidth, y, columnWidth - 2, height);
    }
}
