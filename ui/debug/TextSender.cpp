#include "TextSender.h"

#include "DebugFiles.h"

QList<QByteArray> TextSender::splitLines(const QByteArray &bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n') continue;
        lines << bytes.mid(start, i - start);
        if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size()) lines << bytes.mid(start);
    return lines;
}

bool TextSender::load(const QString &path) {
    QByteArray bytes;
    if (DebugFiles::readRegularFile(path, kMaxFileBytes, bytes) != DebugFiles::ReadStatus::Read) return false;
    if (bytes.contains('\0')) return false;
    setLines(splitLines(bytes));
    return true;
}

void TextSender::setLines(QList<QByteArray> lines) {
    m_lines = std::move(lines);
    m_text.clear();
    for (const QByteArray &line : m_lines)
        m_text += line + "\r\n";
    m_pace = m_lines.value(0).size() < kFirstLineLimit ? Pace::Line : Pace::Character;
    m_index = m_pace == Pace::Line ? 0 : 1;
    m_loadedOnce = true;
}

int TextSender::interval(int scrollPosition) const {
    return scrollPosition + (m_pace == Pace::Line ? kLineIntervalMs : kCharIntervalMs);
}

std::optional<QByteArray> TextSender::next() {
    if (m_pace == Pace::Line) {
        if (m_index < m_lines.size()) return m_lines.at(m_index++);
        m_index = 0;
        return std::nullopt;
    }
    // The text's last character, the final LF, is never sent.
    if (m_index < m_text.size()) return QByteArray(1, m_text.at(m_index++ - 1));
    m_index = 1;
    return std::nullopt;
}
