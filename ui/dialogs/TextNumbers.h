#pragma once

#include <QString>

#include <cstdint>

// Numbers and addresses as the operator types them into the settings dialogs.
namespace TextNumbers {

// A whole decimal integer: an optional sign and ASCII digits, nothing before or after, within 32 bits.
bool ParseInteger(const QString &text, int32_t &value);

// The message shown for a text that is not a whole integer (long texts are cut short in it).
QString InvalidIntegerText(const QString &text);

// A port number: a whole integer from 0 to 65535.
bool ParsePort(const QString &text, int32_t &value);

// An IPv4 address as the dialogs accept it: the text is split at its first three dots into four parts (the
// fourth is everything after the third dot); each part must be ASCII digits, leading zeros allowed, worth 0
// to 255. The value has the first part in its top byte.
bool ParseAddress(const QString &text, uint32_t &value);

// A netmask: an address whose set bits are all at the top, as the scaler stores only their count.
bool ParseNetmask(const QString &text, uint32_t &value);

// An accepted address written plainly ("010.0.0.001" becomes "10.0.0.1"); other texts are returned as they
// are.
QString PlainAddress(const QString &text);

} // namespace TextNumbers
