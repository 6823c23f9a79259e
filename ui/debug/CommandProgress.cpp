#include "CommandProgress.h"

#include <algorithm>

CommandProgress::CommandProgress(QStringList mnemonics) {
    for (const QString &m : mnemonics)
        if (!m.isEmpty()) m_mnemonics << m.toLatin1();
}

bool CommandProgress::feed(const QByteArray &bytes) {
    for (const char c : bytes)
        feed(c);
    return m_partial;
}

void CommandProgress::reset() {
    endCommand();
}

void CommandProgress::endCommand() {
    m_letters.clear();
    m_partial = false;
}

void CommandProgress::feed(char c) {
    const auto u = static_cast<unsigned char>(c);
    // Line ends, blanks and other control bytes are no part of a command: whatever was begun is over.
    if (u <= 32 || u == 127) {
        endCommand();
        return;
    }
    // A digit (or the sign of a value) begins a value, also right after a mnemonic that a longer one
    // begins with ("Q" before "QP"): that command is over and the next one starts.
    if ((c >= '0' && c <= '9') || (c == '-' && m_letters.isEmpty())) {
        m_letters.clear();
        m_partial = true;
        return;
    }
    m_letters += c;
    // Whole when no longer mnemonic can follow; letters that begin no mnemonic make no command either.
    const bool longer = std::any_of(m_mnemonics.cbegin(), m_mnemonics.cend(), [this](const QByteArray &m) {
        return m.size() > m_letters.size() && m.startsWith(m_letters);
    });
    if (longer)
        m_partial = true;
    else
        endCommand();
}
