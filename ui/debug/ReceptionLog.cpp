#include "ReceptionLog.h"

#include <algorithm>

namespace {
constexpr qsizetype kMaxMessage = 0xFFFF;
}

ReceptionLog::ReceptionLog(int maxLines) : m_maxLines(std::max(1, maxLines)) {}

void ReceptionLog::append(const QByteArray &message) {
    if (m_chunks.empty() || m_chunks.back().count >= kChunkLines) m_chunks.emplace_back();
    Chunk &chunk = m_chunks.back();
    const qsizetype length = std::min(message.size(), kMaxMessage);
    chunk.bytes.append(char(length >> 8)).append(char(length & 0xFF)).append(message.constData(), length);
    ++chunk.count;
    ++m_stored;
    ++m_appended;
    // The oldest chunk goes once the others hold maxLines without it.
    while (m_chunks.size() > 1 && m_stored - m_chunks.front().count >= m_maxLines) {
        m_stored -= m_chunks.front().count;
        m_chunks.pop_front();
    }
    // The last chunk is full: its unused capacity is given back.
    if (chunk.count == kChunkLines) chunk.bytes.squeeze();
}

void ReceptionLog::clear() {
    m_chunks.clear();
    m_stored = 0;
    m_appended = 0;
}

qsizetype ReceptionLog::size() const {
    return std::min<qsizetype>(m_stored, m_maxLines);
}

QList<QByteArray> ReceptionLog::last(qsizetype count) const {
    count = std::clamp<qsizetype>(count, 0, size());
    QList<QByteArray> out;
    out.reserve(count);
    qsizetype skip = m_stored - count;
    for (const Chunk &chunk : m_chunks) {
        if (skip >= chunk.count) {
            skip -= chunk.count;
            continue;
        }
        const char *p = chunk.bytes.constData();
        for (int i = 0; i < chunk.count; ++i) {
            const qsizetype length = qsizetype(uchar(p[0])) << 8 | uchar(p[1]);
            if (skip > 0)
                --skip;
            else
                out << QByteArray(p + 2, length);
            p += 2 + length;
        }
    }
    return out;
}

qint64 ReceptionLog::storedBytes() const {
    qint64 bytes = 0;
    for (const Chunk &chunk : m_chunks)
        bytes += chunk.bytes.capacity();
    return bytes;
}
