#include "Values.h"

#include "DeviceVariables.h"
#include "DottedQuad.h"
#include "IntegerLiteral.h"
#include "Orlan_d.h"

#include <limits>

namespace OxsControl {

using namespace OrlanVars;

namespace {

struct NetworkName {
    const char *name;
    TargetKind kind;
};
constexpr NetworkName kNetworkNames[] = {
    {"LOCAL_IP", TargetKind::LocalIp},     {"REMOTE_IP", TargetKind::RemoteIp},
    {"GATEWAY_IP", TargetKind::GatewayIp}, {"NETMASK", TargetKind::Netmask},
    {"LOCAL_PORT", TargetKind::LocalPort}, {"REMOTE_PORT", TargetKind::RemotePort},
};

// The ranges we write where one is known: the picture adjustments and the
// standby time on their 0..255 scroll bars, the black delay on its 0..30 scale, inputs and audio channels
// 1..5, list positions and codes of the window's pages, lock bits, frame memory modes and numbers, address
// slots. Settable rows not listed take the whole range of their kind.
struct RangeRow {
    int index;
    int64_t min;
    int64_t max;
};
constexpr RangeRow kRanges[] = {
    {VAR_ICHNM, 1, 5},   {VAR_IPMODEM, 0, 2},   {VAR_HPOS, 0, 255},   {VAR_VPOS, 0, 255},
    {VAR_HSIZ, 0, 255},  {VAR_VSIZ, 0, 255},    {VAR_BRGT, 0, 255},   {VAR_CONTR, 0, 255},
    {VAR_COLOR, 0, 255}, {VAR_HUE, 0, 255},     {VAR_PROC, 0, 7},     {VAR_IASP, 0, 2},
    {VAR_OFMTM, 0, 10},  {VAR_ORATEM, 0, 3},    {VAR_OSYNCM, 0, 2},   {VAR_OASP, 0, 2},
    {VAR_ACHANM, 1, 5},  {VAR_AMODEM, 0, 1},    {VAR_REFREQ, 0, 1},   {VAR_PCHAN, 0, 5},
    {VAR_PRGBI, 0, 7},   {VAR_PISTD, 0, 4},     {VAR_LOCK, 0, 3},     {VAR_OSYNCTIME, 0, 30},
    {VAR_OTYPEM, 1, 3},  {VAR_STBTIME, 0, 255}, {VAR_FAMODEM_, 1, 3}, {VAR_FANUMBER, 0, 9},
    {VAR_PADIP, 0, 3},
};

constexpr int64_t kPortMax = 65535;

Target networkTarget(TargetKind kind) {
    for (const NetworkName &n : kNetworkNames)
        if (n.kind == kind) return Target{kind, -1, QLatin1String(n.name)};
    return {};
}

bool parseNumberEx(const QString &text, bool allowNegative, int64_t &value, bool &hex) {
    qsizetype pos = 0;
    bool negative = false;
    if (allowNegative && text.startsWith(QLatin1Char('-'))) {
        negative = true;
        pos = 1;
    }
    hex = false;
    if (text.mid(pos, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        hex = true;
        pos += 2;
    } else if (text.mid(pos, 1) == QLatin1String("$")) {
        hex = true;
        pos += 1;
    }
    if (pos >= text.size()) return false;
    const int base = hex ? 16 : 10;
    int64_t v = 0;
    for (; pos < text.size(); ++pos) {
        const QChar ch = text[pos];
        int digit = -1;
        if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
            digit = ch.unicode() - '0';
        else if (hex && ch.toLower() >= QLatin1Char('a') && ch.toLower() <= QLatin1Char('f'))
            digit = ch.toLower().unicode() - 'a' + 10;
        if (digit < 0) return false;
        v = v * base + digit;
        if (v > int64_t(std::numeric_limits<uint32_t>::max())) return false;
    }
    value = negative ? -v : v;
    return true;
}

bool matchesReply(const QByteArray &msg, int index, uint32_t &value) {
    const QByteArray reply(kRows[index].reply);
    if (!msg.startsWith(reply)) return false;
    if (msg.size() == reply.size()) {
        value = 0;
        return true;
    }
    const QByteArray rest = msg.mid(reply.size());
    return parseIntegerLiteral(rest.constData(), static_cast<std::size_t>(rest.size()), value);
}

QString jsonString(const QString &text) {
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QString jsonValue(const Entry &e) {
    switch (e.type) {
    case Entry::Type::Boolean:
        return e.number ? QStringLiteral("true") : QStringLiteral("false");
    case Entry::Type::Text:
        return jsonString(e.text);
    case Entry::Type::Number:
    case Entry::Type::Signed:
        break;
    }
    return e.valueText();
}

} // namespace

bool lookupTarget(const QString &name, Target &target) {
    for (const NetworkName &n : kNetworkNames) {
        if (name.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0) {
            target = networkTarget(n.kind);
            return true;
        }
    }
    for (const Row &row : kRows) {
        if (name.compare(QLatin1String(row.property), Qt::CaseInsensitive) == 0) {
            target = Target{TargetKind::Row, row.index, QLatin1String(row.property)};
            return true;
        }
    }
    return false;
}

Problem checkReadable(const Target &target, QString *why) {
    if (target.kind != TargetKind::Row) return Problem::None;
    if (target.index == VAR_PORT) {
        *why = QStringLiteral("PORT is read as LOCAL_PORT or REMOTE_PORT");
        return Problem::WrongAccess;
    }
    if (kRows[target.index].access == Access::WRITEONLY) {
        *why =
            QStringLiteral("%1 is write-only; the address it sets reads as LOCAL_IP, REMOTE_IP or GATEWAY_IP")
                .arg(target.name);
        return Problem::WrongAccess;
    }
    return Problem::None;
}

Problem checkSettable(const Target &target, QString *why) {
    if (target.kind != TargetKind::Row) return Problem::None;
    switch (kRows[target.index].access) {
    case Access::SET:
    case Access::WRITEONLY:
        return Problem::None;
    case Access::REPORT:
        *why = QStringLiteral("%1 is reported by the scaler and cannot be set").arg(target.name);
        break;
    case Access::LOCAL:
        *why = QStringLiteral("%1 is the model code the scaler reports and cannot be set").arg(target.name);
        break;
    case Access::SPECIAL:
        *why = QStringLiteral("%1 cannot be set; use LOCAL_PORT or REMOTE_PORT").arg(target.name);
        break;
    }
    return Problem::WrongAccess;
}

bool parseNumber(const QString &text, bool allowNegative, int64_t &value) {
    bool hex = false;
    return parseNumberEx(text, allowNegative, value, hex);
}

namespace {

Problem parseInRange(const Target &target, const QString &text, Value &value, QString *why, bool reported) {
    const auto fail = [&](const QString &expected) {
        *why = QStringLiteral("%1 needs %2, not '%3'").arg(target.name, expected, text);
        return Problem::BadValue;
    };
    int64_t n = 0;
    bool hex = false;
    if (target.isAddress() || target.kind == TargetKind::Netmask) {
        uint32_t quad = 0;
        if (!parseDottedQuad(text, quad)) return fail(QStringLiteral("a dotted quad such as 192.168.0.10"));
        // The scaler carries the mask as a number of host bits, so only contiguous masks exist.
        const uint32_t hostBits = ~quad;
        if (target.kind == TargetKind::Netmask && (hostBits & (hostBits + 1)) != 0)
            return fail(QStringLiteral("a netmask of contiguous bits such as 255.255.255.0"));
        value.number = quad;
        value.text = dottedQuad(quad);
        return Problem::None;
    }
    if (target.isPort()) {
        if (!parseNumberEx(text, false, n, hex) || n > kPortMax)
            return fail(QStringLiteral("a port from 0 to 65535"));
        value.number = static_cast<uint32_t>(n);
        return Problem::None;
    }
    const Kind kind = kRows[target.index].kind;
    const ValueRange range = reported ? reportRange(target.index) : writeRange(target.index);
    const QString expected = kind == Kind::BOOL && !reported
                                 ? QStringLiteral("0, 1, true or false")
                                 : QStringLiteral("a number from %1 to %2").arg(range.min).arg(range.max);
    if (kind == Kind::BOOL && text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        n = 1;
    else if (kind == Kind::BOOL && text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        n = 0;
    else if (!parseNumberEx(text, range.min < 0, n, hex))
        return fail(expected);
    // A hexadecimal number for a signed row is its 32-bit pattern.
    if (kind == Kind::I32 && hex && n > std::numeric_limits<int32_t>::max()) n -= int64_t(1) << 32;
    if (!range.contains(n)) return fail(expected);
    value.number = static_cast<uint32_t>(n);
    return Problem::None;
}

} // namespace

Problem parseValue(const Target &target, const QString &text, Value &value, QString *why) {
    return parseInRange(target, text, value, why, false);
}

Problem parseReportedValue(const Target &target, const QString &text, Value &value, QString *why) {
    return parseInRange(target, text, value, why, true);
}

namespace {
// The whole range of a row's kind; on/off rows are written as 0 or 1 but reported as any octet.
ValueRange kindRange(int index, bool reported) {
    switch (kRows[index].kind) {
    case Kind::BOOL:
        return {0, reported ? 255 : 1};
    case Kind::OCTET:
        return {0, 255};
    case Kind::I32:
        return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    case Kind::PORT:
        return {0, kPortMax};
    case Kind::U32:
    case Kind::NETMASK:
        break;
    }
    return {0, std::numeric_limits<uint32_t>::max()};
}
} // namespace

ValueRange reportRange(int index) {
    return kindRange(index, true);
}

ValueRange writeRange(int index) {
    for (const RangeRow &r : kRanges)
        if (r.index == index) return {r.min, r.max};
    return kindRange(index, false);
}

QString rangesText() {
    struct Group {
        QString label;
        QStringList names;
    };
    QList<Group> groups;
    const auto add = [&groups](const QString &label, const QString &name) {
        for (Group &g : groups) {
            if (g.label == label) {
                g.names << name;
                return;
            }
        }
        groups.append({label, {name}});
    };
    for (const Row &row : kRows) {
        if (row.access != Access::SET && row.access != Access::WRITEONLY) continue;
        const ValueRange r = writeRange(row.index);
        add(r.min == 0 && r.max == 1 ? QStringLiteral("0 or 1")
                                     : QStringLiteral("%1 to %2").arg(r.min).arg(r.max),
            QLatin1String(row.property));
    }
    for (const char *name : {"LOCAL_PORT", "REMOTE_PORT"})
        add(QStringLiteral("0 to %1").arg(kPortMax), QLatin1String(name));
    for (const char *name : {"LOCAL_IP", "REMOTE_IP", "GATEWAY_IP", "NETMASK"})
        add(QStringLiteral("dotted quad"), QLatin1String(name));

    constexpr int kLabelWidth = 18;
    constexpr int kLineWidth = 78;
    QString out;
    for (const Group &g : groups) {
        QString line = QStringLiteral("    ") + g.label.leftJustified(kLabelWidth - 1) + QLatin1Char(' ');
        const int indent = static_cast<int>(line.size());
        bool first = true;
        for (const QString &name : g.names) {
            if (!first && line.size() + 1 + name.size() > kLineWidth) {
                out += line + QLatin1Char('\n');
                line = QString(indent, QLatin1Char(' ')) + name;
            } else {
                line += (first ? QString() : QStringLiteral(" ")) + name;
            }
            first = false;
        }
        out += line + QLatin1Char('\n');
    }
    return out;
}

QString formatRowValue(int index, uint32_t value) {
    if (index >= 0 && index < VAR_COUNT && kRows[index].kind == Kind::I32)
        return QString::number(static_cast<int32_t>(value));
    return QString::number(value);
}

bool sameRowValue(int index, uint32_t asked, uint32_t reported) {
    if (index >= 0 && index < VAR_COUNT && kRows[index].kind == Kind::BOOL)
        return (asked != 0) == (reported != 0);
    return asked == reported;
}

bool replyMatchesRow(const QByteArray &msg, int index, uint32_t *value) {
    if (index < 0 || index >= VAR_COUNT) return false;
    uint32_t v = 0;
    for (int i = 0; i < index; ++i)
        if (matchesReply(msg, i, v)) return false;
    if (!matchesReply(msg, index, v)) return false;
    if (value) *value = v;
    return true;
}

int matchReplyRow(const QByteArray &msg, uint32_t *value) {
    uint32_t v = 0;
    for (int i = 0; i < VAR_COUNT; ++i) {
        if (matchesReply(msg, i, v)) {
            if (value) *value = v;
            return i;
        }
    }
    return -1;
}

QString Entry::valueText() const {
    switch (type) {
    case Type::Signed:
        return QString::number(static_cast<int32_t>(number));
    case Type::Text:
        return text;
    case Type::Number:
    case Type::Boolean:
        break;
    }
    return QString::number(number);
}

Entry readEntry(const TOrlan_d &driver, const Target &target) {
    Entry e;
    e.name = target.name;
    switch (target.kind) {
    case TargetKind::LocalIp:
        e.type = Entry::Type::Text;
        e.text = driver.LOCAL_IP();
        return e;
    case TargetKind::RemoteIp:
        e.type = Entry::Type::Text;
        e.text = driver.REMOTE_IP();
        return e;
    case TargetKind::GatewayIp:
        e.type = Entry::Type::Text;
        e.text = driver.GATEWAY_IP();
        return e;
    case TargetKind::Netmask:
        e.type = Entry::Type::Text;
        e.text = driver.NETMASK();
        return e;
    case TargetKind::LocalPort:
        e.type = Entry::Type::Signed;
        e.number = static_cast<uint32_t>(driver.LOCAL_PORT());
        return e;
    case TargetKind::RemotePort:
        e.type = Entry::Type::Signed;
        e.number = static_cast<uint32_t>(driver.REMOTE_PORT());
        return e;
    case TargetKind::Row:
        break;
    }
    return rowEntry(target.index, driver.Value(target.index));
}

Entry rowEntry(int index, uint32_t value) {
    Entry e;
    e.name = QLatin1String(kRows[index].property);
    const Kind kind = kRows[index].kind;
    e.type = kind == Kind::BOOL  ? Entry::Type::Boolean
             : kind == Kind::I32 ? Entry::Type::Signed
                                 : Entry::Type::Number;
    e.number = value;
    return e;
}

QList<Target> dumpTargets() {
    QList<Target> targets;
    for (const Row &row : kRows) {
        if (row.index == VAR_IP4) {
            for (TargetKind k : {TargetKind::LocalIp, TargetKind::RemoteIp, TargetKind::GatewayIp,
                                 TargetKind::LocalPort, TargetKind::RemotePort})
                targets << networkTarget(k);
        } else if (row.index == VAR_NETMASK) {
            targets << networkTarget(TargetKind::Netmask);
        } else if (row.kind != Kind::OCTET && row.kind != Kind::PORT) {
            targets << Target{TargetKind::Row, row.index, QLatin1String(row.property)};
        }
    }
    return targets;
}

QString formatLines(const QList<Entry> &entries, bool valuesOnly) {
    QString out;
    for (const Entry &e : entries)
        out += (valuesOnly ? QString() : e.name + QLatin1Char('=')) + e.valueText() + QLatin1Char('\n');
    return out;
}

QString formatJson(const QList<Entry> &entries) {
    QString out = QStringLiteral("{");
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        out += i ? QStringLiteral(",\n  ") : QStringLiteral("\n  ");
        out += jsonString(e.name) + QStringLiteral(": ") + jsonValue(e);
    }
    return out + (entries.isEmpty() ? QStringLiteral("}\n") : QStringLiteral("\n}\n"));
}

QString formatWatchLine(const QString &time, const Entry &entry, bool json) {
    if (!json)
        return time + QLatin1Char(' ') + entry.name + QLatin1Char('=') + entry.valueText() +
               QLatin1Char('\n');
    return QStringLiteral("{\"time\": %1, \"name\": %2, \"value\": %3}\n")
        .arg(jsonString(time), jsonString(entry.name), jsonValue(entry));
}

bool unescape(const QString &text, QByteArray &bytes, QString *why) {
    const QByteArray in = text.toUtf8();
    QByteArray out;
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    const auto hexValue = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= in.size()) {
            *why = QStringLiteral("the text ends with a lone backslash");
            return false;
        }
        const char e = in[i];
        switch (e) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'a':
            out += '\a';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'v':
            out += '\v';
            break;
        case '\\':
        case '"':
        case '\'':
        case '?':
            out += e;
            break;
        case 'x': {
            int v = 0;
            int digits = 0;
            while (digits < 2 && i + 1 < in.size() && hexValue(in[i + 1]) >= 0) {
                v = v * 16 + hexValue(in[++i]);
                ++digits;
            }
            if (digits == 0) {
                *why = QStringLiteral("\\x needs one or two hexadecimal digits");
                return false;
            }
            out += static_cast<char>(v);
            break;
        }
        default:
            if (!isOctal(e)) {
                *why = QStringLiteral("unknown escape '\\%1'").arg(QLatin1Char(e));
                return false;
            }
            int v = e - '0';
            for (int digits = 1; digits < 3 && i + 1 < in.size() && isOctal(in[i + 1]); ++digits)
                v = v * 8 + (in[++i] - '0');
            if (v > 0xFF) {
                *why = QStringLiteral("octal escape above \\377");
                return false;
            }
            out += static_cast<char>(v);
            break;
        }
    }
    bytes = out;
    return true;
}

QString printable(const QByteArray &bytes) {
    QString out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\\')
            out += QStringLiteral("\\\\");
        else if (u >= 0x20 && u < 0x7F)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace OxsControl
