#pragma once

#include <cstddef>
#include <cstdint>

// Parses a complete integer literal as the scaler's replies carry it: optional leading spaces, an optional
// "+" or "-", then decimal digits or a hexadecimal number introduced by "$", "x", "X", "0x" or "0X".
// Nothing may follow the number. The result is the low 32 bits of the number (a negative number gives
// its two's complement). Returns false when the text is not such a literal.
bool parseIntegerLiteral(const char *text, std::size_t length, uint32_t &value);
