#include "DebugValues.h"

namespace DebugValues {

namespace {
constexpr int kGroup = 5; // four bits and the "." (or the final "b")

bool isDottedBinary(const QString &binary) {
    if (binary.isEmpty() || binary.size() % kGroup != 0 || !binary.endsWith(u'b')) return false;
    for (int i = 0; i < binary.size(); ++i) {
        const QChar c = binary.at(i);
        if ((i + 1) % kGroup == 0) {
            if (c != (i + 1 == binary.size() ? u'b' : u'.')) return false;
        } else if (c != u'0' && c != u'1') {
            return false;
        }
    }
    return true;
}
} // namespace

Split splitMessage(const QString &text) {
    Split s;
    for (const QChar c : text)
        (c >= u'0' && c <= u'9' ? s.digits : s.name) += c;
    return s;
}

std::optional<uint32_t> decimalValue(const QString &text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    uint64_t v = 0;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9') return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c.unicode() - u'0');
        if (v > UINT32_MAX) return std::nullopt; // also stops the sum before it could wrap
    }
    return static_cast<uint32_t>(v);
}

QString hexText(uint32_t value) {
    return QString::number(value, 16).toUpper().rightJustified(4, u'0');
}

QString hextobin(const QString &hex) {
    QString out;
    for (const QChar c : hex) {
        int nibble = -1;
        if (c >= u'0' && c <= u'9')
            nibble = c.unicode() - u'0';
        else if (c >= u'A' && c <= u'F')
            nibble = c.unicode() - u'A' + 10;
        if (nibble >= 0)
            for (int bit = 3; bit >= 0; --bit)
                out += (nibble >> bit) & 1 ? u'1' : u'0';
        out += u'.';
    }
    if (!out.isEmpty()) out[out.size() - 1] = u'b';
    return out;
}

QString bintodec(const QString &binary) {
    const int n = static_cast<int>(binary.size());
    if (n != 5 && n != 10 && n != 15 && n != 20) return QStringLiteral("0");
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        if ((i + 1) % kGroup != 0) v = v * 2 + (binary.at(i) == u'1' ? 1 : 0);
    return QString::number(v);
}

std::optional<uint32_t> binaryValue(const QString &binary) {
    if (!isDottedBinary(binary) || binary.size() > 8 * kGroup) return std::nullopt;
    uint32_t v = 0;
    for (int i = 0; i < binary.size(); ++i)
        if ((i + 1) % kGroup != 0) v = v * 2 + (binary.at(i) == u'1' ? 1 : 0);
    return v;
}

QString receivedLine(const QString &message) {
    const std::optional<uint32_t> v = decimalValue(splitMessage(message).digits);
    if (!v) return message;
    const QString hex = hexText(*v);
    return message + QLatin1String("\t ") + hex + QLatin1String("h\t ") + hextobin(hex);
}

QString lowBits(uint32_t value) {
    QString bits;
    for (int bit = 15; bit >= 0; --bit)
        bits += (value >> bit) & 1 ? u'1' : u'0';
    return bits;
}

std::optional<QString> setBit(const QString &binary, int position, bool one) {
    constexpr int kLowGroups = 4 * kGroup;
    if (!isDottedBinary(binary) || binary.size() < kLowGroups) return std::nullopt;
    if (position < 1 || position >= kLowGroups || position % kGroup == 0) return std::nullopt;
    QString out = binary;
    const qsizetype at = binary.size() - kLowGroups + position - 1;
    out[at] = one ? u'1' : u'0';
    return out;
}

} // namespace DebugValues
