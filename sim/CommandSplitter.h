#pragma once

#include <QByteArray>
#include <QList>

namespace OxsSim {

// One host command: optional decimal value followed by a command mnemonic ("100H", "?", "#").
struct SimCommand {
    bool hasValue = false;
    quint32 value = 0;
    QByteArray mnemonic;

    QByteArray text() const;
};

// Cuts the host's byte stream into commands. Host commands carry no terminator, so a command ends
// where the longest known mnemonic after its digits ends. Bytes that cannot start or continue a
// command are dropped one at a time until the stream makes sense again; the held-back tail never
// exceeds one command's length.
class CommandSplitter {
  public:
    // The longest value the host can send: 4294967295.
    static constexpr int kMaxDigits = 10;

    explicit CommandSplitter(QList<QByteArray> mnemonics);

    // The command mnemonics of every device variable (including "?" and "#").
    static QList<QByteArray> deviceMnemonics();

    // Parses as a scaler does, byte by byte: a "?" that arrives inside a command ends it there (what came
    // before is dropped and the "?" is taken), and a blank inside a command makes the whole command, up to
    // the end of its mnemonic, no command at all.
    void setByteParser(bool on) { m_byteParser = on; }

    // Appends bytes and returns the commands completed by them, in order.
    QList<SimCommand> feed(const QByteArray &bytes);
    // Settles a command held back because its mnemonic could still grow into a longer one; call it
    // when the host has paused. Incomplete commands stay held.
    QList<SimCommand> flush();
    // True while a complete command is held back for a possibly longer mnemonic.
    bool waitingForLonger() const { return m_waitingForLonger; }

    int pendingBytes() const { return int(m_buffer.size()); }
    qint64 discardedBytes() const { return m_discarded; }
    int maxPendingBytes() const { return kMaxDigits + m_longest; }

  private:
    QList<SimCommand> parse(bool settle);
    QList<SimCommand> feedByteWise(const QByteArray &bytes);
    void takeParsed(QList<SimCommand> &out, QList<SimCommand> parsed);

    QList<QByteArray> m_mnemonics; // longest first
    int m_longest = 0;
    QByteArray m_buffer;
    qint64 m_discarded = 0;
    bool m_waitingForLonger = false;
    bool m_byteParser = false;
    bool m_spoiled = false; // a blank arrived inside the command being received
};

} // namespace OxsSim
