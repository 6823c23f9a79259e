#pragma once

#include <QByteArray>
#include <QStringList>

// Follows what the console has sent byte by byte and tells whether a command is partly sent: a decimal
// value followed by a command mnemonic is whole once the mnemonic's last letter has gone out. The scaler
// must then get nothing else in between (a keep-alive query in the middle of "100H" ends the command).
class CommandProgress {
  public:
    explicit CommandProgress(QStringList mnemonics);

    // Follows the bytes sent; returns whether a command is partly sent afterwards.
    bool feed(const QByteArray &bytes);
    bool partial() const { return m_partial; }
    // Nothing more of the current command will follow (the sender stopped).
    void reset();

  private:
    void feed(char c);
    void endCommand();

    QList<QByteArray> m_mnemonics;
    QByteArray m_letters; // mnemonic letters after the value so far
    bool m_partial = false;
};
