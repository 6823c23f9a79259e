#include "DottedQuad.h"

#include <QStringList>

bool parseDottedQuad(const QString &text, uint32_t &value) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) return false;
    uint32_t result = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3) return false;
        uint32_t octet = 0;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
            octet = octet * 10 + static_cast<uint32_t>(c.unicode() - '0');
        }
        if (octet > 255) return false;
        result = (result << 8) | octet;
    }
    value = result;
    return true;
}

QString dottedQuad(uint32_t value) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xFF)
        .arg((value >> 8) & 0xFF)
        .arg(value & 0xFF);
}
