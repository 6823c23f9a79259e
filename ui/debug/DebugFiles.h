#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

// The console's files: its button file (Debug.ini, "name=value" lines) and the text files it sends.
namespace DebugFiles {

enum class ReadStatus { Missing, Unreadable, TooLarge, Read };

// Reads a whole regular file of at most `maxBytes`. Anything else at the path (a folder, a FIFO, a
// device) is unreadable, and is never opened in a way that could wait.
ReadStatus readRegularFile(const QString &path, qint64 maxBytes, QByteArray &bytes);

// ---- Debug.ini ----

constexpr int kButtons = 26;
// A button file is a few kilobytes; of a larger one only this much is read.
constexpr qint64 kMaxButtonFileBytes = 1 << 20;
// Longer descriptions and commands are cut to this many characters.
constexpr int kMaxValueLength = 4096;

struct Button {
    QString caption; // the description
    QString command; // the command string
};
using Buttons = std::array<Button, kButtons>;

struct ButtonFile {
    ReadStatus status = ReadStatus::Missing;
    Buttons buttons; // meaningful when status is Read
};

// "descN" and "adonN" for N = 1 to 26; a missing name gives an empty text. Names are found whatever
// their letter case and blanks around them; values are kept as written.
ButtonFile readButtonFile(const QString &path);
// The 52 lines "descN=..." and "adonN=...", CR LF ended; line breaks inside a value become spaces.
QByteArray buttonFileText(const Buttons &buttons);
// Replaces the file atomically. False when it cannot, or when something other than a file stands there.
bool writeButtonFile(const QString &path, const Buttons &buttons);

} // namespace DebugFiles
