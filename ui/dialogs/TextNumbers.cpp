#include "TextNumbers.h"

#include "DottedQuad.h"

#include <limits>

namespace TextNumbers {

namespace {
constexpr int kQuotedMax = 40; // characters of an invalid text quoted in its message

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Digits only; false when empty or when the number passes `limit`.
bool parseDigits(QStringView digits, uint64_t limit, uint64_t &value) {
    if (digits.isEmpty()) return false;
    uint64_t v = 0;
    for (QChar c : digits) {
        if (!isAsciiDigit(c)) return false;
        v = v * 10 + static_cast<uint64_t>(c.unicode() - u'0');
        if (v > limit) return false;
    }
    value = v;
    return true;
}
} // namespace

bool ParseInteger(const QString &text, int32_t &value) {
    QStringView rest(text);
    bool negative = false;
    if (!rest.isEmpty() && (rest.front() == QLatin1Char('-') || rest.front() == QLatin1Char('+'))) {
        negative = rest.front() == QLatin1Char('-');
        rest = rest.mid(1);
    }
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int32_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int32_t>::max());
    uint64_t magnitude = 0;
    if (!parseDigits(rest, limit, magnitude)) return false;
    value =
        static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude));
    return true;
}

QString InvalidIntegerText(const QString &text) {
    QString quoted = text;
    if (quoted.size() > kQuotedMax) quoted = quoted.left(kQuotedMax) + QChar(0x2026);
    return QStringLiteral("'%1' is not a valid integer value").arg(quoted);
}

bool ParsePort(const QString &text, int32_t &value) {
    int32_t v = 0;
    if (!ParseInteger(text, v) || v < 0 || v > 65535) return false;
    value = v;
    return true;
}

bool ParseAddress(const QString &text, uint32_t &value) {
    uint32_t result = 0;
    qsizetype start = 0;
    for (int part = 0; part < 4; ++part) {
        const qsizetype dot = part < 3 ? text.indexOf(QLatin1Char('.'), start) : text.size();
        if (dot < 0) return false;
        uint64_t octet = 0;
        if (!parseDigits(QStringView(text).mid(start, dot - start), 255, octet)) return false;
        result = (result << 8) | static_cast<uint32_t>(octet);
        start = dot + 1;
    }
    value = result;
    return true;
}

bool ParseNetmask(const QString &text, uint32_t &value) {
    uint32_t mask = 0;
    if (!ParseAddress(text, mask)) return false;
    const uint32_t hostBits = ~mask;
    if ((hostBits & (hostBits + 1)) != 0) return false; // host bits must all be at the bottom
    value = mask;
    return true;
}

QString PlainAddress(const QString &text) {
    uint32_t value = 0;
    return ParseAddress(text, value) ? dottedQuad(value) : text;
}

} // namespace TextNumbers
