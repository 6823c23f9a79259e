#include "WatchList.h"

namespace {
const QString kDev = QStringLiteral("DEV");
}

WatchList::WatchList(QStringList replies)
    : m_replies(std::move(replies)), m_checked(m_replies.size(), true), m_watch(m_replies) {}

bool WatchList::shows(const QString &name) const {
    if (!m_devBlock.isEmpty() && name == m_devBlock) return false;
    if (m_count > kSlots) return true;
    for (const QString &s : m_slots)
        if (!s.isEmpty() && name == s) return true;
    return false;
}

void WatchList::check(int line, bool checked) {
    m_checked[line] = checked;
    m_watch[line] = checked ? m_replies.at(line) : QString();
    if (m_replies.at(line) == kDev) m_devBlock = checked ? QString() : kDev;
}

void WatchList::setChecked(int line, bool checked) {
    if (line < 0 || line >= size()) return;
    check(line, checked);
    var_retirer_reception();
}

void WatchList::setDisableAll(bool down) {
    m_disableAllDown = down;
    if (down) {
        m_checked.fill(false);
        m_watch.fill(QString());
        m_desactiverEnabled = true;
    } else {
        checkedlisttouttrue();
    }
    var_retirer_reception();
}

bool WatchList::toggle(const QString &reply) {
    const int line = find(reply);
    if (line < 0) return false;
    check(line, !m_checked.at(line));
    var_retirer_reception();
    return true;
}

void WatchList::checkedlisttouttrue() {
    for (int i = 0; i < size(); ++i) {
        if (m_replies.at(i) != kDev) m_checked[i] = true;
        m_watch[i] = m_replies.at(i);
    }
}

void WatchList::var_retirer_reception() {
    m_count = 0;
    m_slots.fill(QString());
    for (const QString &entry : m_watch) {
        if (entry.isEmpty()) continue;
        if (m_count < kSlots) m_slots[static_cast<std::size_t>(m_count)] = entry;
        ++m_count;
        m_desactiverEnabled = true;
        m_disableAllCaption = QStringLiteral("Disable all %1 / %2").arg(m_count).arg(kSlots);
    }
    if (m_count > kSlots) {
        // A sixth line is more than the slots hold: everything is shown again. The count keeps its value.
        checkedlisttouttrue();
        m_slots.fill(QString());
        m_desactiverEnabled = false;
        m_disableAllDown = false;
        m_disableAllCaption = QStringLiteral("Disable all");
    }
}
