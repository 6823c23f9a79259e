#include "CommandBuffer.h"

std::optional<QString> CommandBuffer::type(QChar c) {
    if (c == kEnter) {
        if (m_text.isEmpty()) return std::nullopt;
        const QString command = m_text;
        m_text.clear();
        return command;
    }
    if (c != kBackspace && (c.unicode() < 32 || c.unicode() == 127)) return std::nullopt;
    m_text += c;
    if (c == kBackspace) {
        // The character before the Backspace becomes a zero, then the Backspace, that zero and any blanks
        // or control characters before them go. A Backspace on an empty command leaves it empty.
        if (m_text.size() >= 2) m_text[m_text.size() - 2] = QChar(0);
        while (!m_text.isEmpty() && m_text.back().unicode() <= 32)
            m_text.chop(1);
    }
    return std::nullopt;
}
