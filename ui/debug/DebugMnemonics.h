#pragma once

#include <QString>
#include <QStringList>

// The console's own list of the scaler's variables: command mnemonic, reply mnemonic and a short French
// description per line. It differs in places from the driver's tables; the console sends and matches the
// mnemonics exactly as listed here.
namespace DebugMnemonics {

constexpr int kLines = 88;
constexpr int kCommandWidth = 14;
constexpr int kReplyWidth = 8;

// The lines of the mnemonic list box: the command mnemonic padded to 14 characters, the reply mnemonic
// padded to 8, then the description.
QStringList lines();

// One entry of the mnemonic table, taken from a line: its first and second word.
struct Entry {
    QString command;
    QString reply;
};
Entry entryOf(const QString &line);

} // namespace DebugMnemonics
