#include "IntegerLiteral.h"

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

bool parseIntegerLiteral(const char *text, std::size_t length, uint32_t &value) {
    std::size_t i = 0;
    while (i < length && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < length && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < length && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == length) return false;
    // Accumulating modulo 2^32 keeps exactly the low 32 bits, whatever the number's length.
    uint32_t result = 0;
    for (; i < length; ++i) {
        const int digit =
            base == 16 ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) return false;
        result = result * base + static_cast<uint32_t>(digit);
    }
    value = negative ? 0u - result : result;
    return true;
}
