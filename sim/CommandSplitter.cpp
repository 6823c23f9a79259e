#include "CommandSplitter.h"

#include "DeviceVariables.h"

#include <algorithm>

namespace OxsSim {

QByteArray SimCommand::text() const {
    return hasValue ? QByteArray::number(value) + mnemonic : mnemonic;
}

CommandSplitter::CommandSplitter(QList<QByteArray> mnemonics) : m_mnemonics(std::move(mnemonics)) {
    m_mnemonics.removeAll(QByteArray());
    std::stable_sort(m_mnemonics.begin(), m_mnemonics.end(),
                     [](const QByteArray &a, const QByteArray &b) { return a.size() > b.size(); });
    m_mnemonics.erase(std::unique(m_mnemonics.begin(), m_mnemonics.end()), m_mnemonics.end());
    for (const QByteArray &m : m_mnemonics)
        m_longest = std::max(m_longest, int(m.size()));
}

QList<QByteArray> CommandSplitter::deviceMnemonics() {
    QList<QByteArray> list;
    for (const OrlanVars::Row &row : OrlanVars::kRows)
        list.append(QByteArray(row.command));
    return list;
}

QList<SimCommand> CommandSplitter::feed(const QByteArray &bytes) {
    if (m_byteParser) return feedByteWise(bytes);
    m_buffer.append(bytes);
    return parse(false);
}

QList<SimCommand> CommandSplitter::flush() {
    QList<SimCommand> out;
    takeParsed(out, parse(true));
    return out;
}

// The first command completed after a blank is the spoiled one: it is dropped.
void CommandSplitter::takeParsed(QList<SimCommand> &out, QList<SimCommand> parsed) {
    if (m_spoiled && !parsed.isEmpty()) {
        m_discarded += parsed.first().text().size();
        parsed.removeFirst();
        m_spoiled = false;
    }
    out += parsed;
}

QList<SimCommand> CommandSplitter::feedByteWise(const QByteArray &bytes) {
    QList<SimCommand> out;
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype at = from;
        while (at < bytes.size() && bytes[at] != '?' && bytes[at] != ' ')
            ++at;
        m_buffer.append(bytes.constData() + from, at - from);
        takeParsed(out, parse(false));
        if (at == bytes.size()) break;
        if (bytes[at] == '?') {
            // A command held for a longer mnemonic is complete: it stands. Anything else is cut short.
            if (m_waitingForLonger) takeParsed(out, parse(true));
            m_discarded += m_buffer.size();
            m_buffer.clear();
            m_spoiled = false;
            SimCommand query;
            query.mnemonic = "?";
            out.append(query);
        } else if (!m_buffer.isEmpty()) { // a blank inside a command; between commands it is only dropped
            m_spoiled = true;
            ++m_discarded;
        } else {
            ++m_discarded;
        }
        from = at + 1;
    }
    return out;
}

QList<SimCommand> CommandSplitter::parse(bool settle) {
    QList<SimCommand> out;
    m_waitingForLonger = false;
    const qsizetype size = m_buffer.size();
    qsizetype pos = 0;
    auto dropOne = [&] {
        ++pos;
        ++m_discarded;
    };

    while (pos < size) {
        qsizetype at = pos;
        while (at < size && at - pos <= kMaxDigits && m_buffer[at] >= '0' && m_buffer[at] <= '9')
            ++at;
        const qsizetype digits = at - pos;
        if (digits > kMaxDigits) { // no value is that long: the first digit is noise
            dropOne();
            continue;
        }
        if (at == size) // digits (or nothing) so far: wait for the mnemonic
            break;

        const QByteArrayView rest(m_buffer.constData() + at, size - at);
        const QByteArray *best = nullptr;
        bool couldGrow = false;
        for (const QByteArray &m : m_mnemonics) {
            if (m.size() > rest.size()) {
                if (!best && QByteArrayView(m).startsWith(rest)) couldGrow = true;
            } else if (!best && rest.startsWith(m)) {
                best = &m;
            }
        }
        if (couldGrow) {
            // More bytes may turn this into a longer mnemonic. A complete shorter match is taken
            // only when the caller says the host has paused.
            if (!best || !settle) {
                m_waitingForLonger = best != nullptr;
                break;
            }
        }
        if (!best) {
            dropOne();
            continue;
        }

        SimCommand cmd;
        cmd.mnemonic = *best;
        cmd.hasValue = digits > 0;
        const quint64 value = digits > 0 ? m_buffer.mid(pos, digits).toULongLong() : 0;
        pos = at + best->size();
        if (value > 0xFFFFFFFFull) { // a garbled number, not something the host can send
            m_discarded += digits + best->size();
            continue;
        }
        cmd.value = quint32(value);
        out.append(cmd);
    }
    m_buffer.remove(0, pos);
    return out;
}

} // namespace OxsSim
