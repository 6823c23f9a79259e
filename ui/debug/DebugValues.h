#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The console's value helpers: splitting a reply into its digits and its name, and the decimal,
// hexadecimal and dotted binary forms of a value ("0000.0000.0110.0100b": groups of four bits).
namespace DebugValues {

// The digits of a text, in order, wherever they stand, and every other character (the name).
struct Split {
    QString digits;
    QString name;
};
Split splitMessage(const QString &text);

// A decimal text as a 32-bit value (the range the scaler's variables carry); blanks around it are
// allowed. Nothing for an empty text, any other character, or a number above 4294967295.
std::optional<uint32_t> decimalValue(const QString &text);

// At least four upper-case hexadecimal digits ("0064"); more when the value needs them.
QString hexText(uint32_t value);

// "0000" to "1111" for each of "0".."9" and "A".."F", nothing for any other character, a "." after
// every character, and the last "." turned into "b". An empty text gives an empty text.
QString hextobin(const QString &hex);

// The value of a dotted binary text of one to four groups (5, 10, 15 or 20 characters), the first
// bit being the most significant; "0" for any other length.
QString bintodec(const QString &binary);

// The value of a dotted binary text of any number of whole groups ("b" at the end), or nothing.
std::optional<uint32_t> binaryValue(const QString &binary);

// One line of the reception log: the message, then its digits' value in hexadecimal and binary,
// each after a tab and a space. A message whose digits make no 32-bit value (none, or too many)
// shows alone.
QString receivedLine(const QString &message);

// The bit edits: the one-based positions of bits 15 to 0 in the last four groups of a dotted binary
// text ("xxxx.xxxx.xxxx.xxxxb").
constexpr int kBitPositions[16] = {1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 14, 16, 17, 18, 19};
// The low 16 bits of a value, bit 15 first, as "0"/"1" characters.
QString lowBits(uint32_t value);
// Sets one bit of a dotted binary text: `position` (as in kBitPositions) counts in its last four groups,
// the bits that the bit edits show. Nothing when the text is not a dotted binary of at least four groups.
std::optional<QString> setBit(const QString &binary, int position, bool one);

} // namespace DebugValues
