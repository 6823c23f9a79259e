#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

class TOrlan_d;

// What a device variable's value may be and how it is written out: names, the range a scaler may report
// and the range we write, parsing, text and JSON forms. No widgets: oxsctl, the window and a remote server
// share it.
namespace OxsControl {

// Why a name or value is refused.
enum class Problem { None, WrongAccess, BadValue };

// What a name on the command line refers to: a row of the device variable table, or one of the LAN
// module's network settings, which the driver keeps as strings and ports assembled from several replies.
enum class TargetKind { Row, LocalIp, RemoteIp, GatewayIp, Netmask, LocalPort, RemotePort };

struct Target {
    TargetKind kind = TargetKind::Row;
    int index = -1; // variable index for TargetKind::Row
    QString name;   // canonical spelling

    bool isAddress() const {
        return kind == TargetKind::LocalIp || kind == TargetKind::RemoteIp || kind == TargetKind::GatewayIp;
    }
    bool isPort() const { return kind == TargetKind::LocalPort || kind == TargetKind::RemotePort; }
};

// A checked value, ready for the driver: a 32-bit pattern for rows and ports, a canonical dotted quad for
// the addresses and the netmask.
struct Value {
    uint32_t number = 0;
    QString text;
};

// Looks a name up, ignoring letter case. Returns false when there is no such variable.
bool lookupTarget(const QString &name, Target &target);

// A range of values of a row.
struct ValueRange {
    int64_t min = 0;
    int64_t max = 0;

    bool contains(int64_t v) const { return v >= min && v <= max; }
};
// The values we write to a settable row (set checks them): its range in the table of ranges, else the
// whole range of its kind (0..4294967295 unsigned, the signed 32-bit range for the signed kind, 0..1
// on/off, 0..255 octets).
ValueRange writeRange(int index);
// The values a scaler may report for a row: the whole range of its kind (COLOR is signed; an on/off row
// keeps the low 8 bits of what it reports). A backup may hold any of them.
ValueRange reportRange(int index);
// The ranges of every settable variable, grouped, for the manual.
QString rangesText();

// Each returns Problem::None, or the problem with a message in *why.
Problem checkReadable(const Target &target, QString *why);
Problem checkSettable(const Target &target, QString *why);
// A value to write: checked against the write range.
Problem parseValue(const Target &target, const QString &text, Value &value, QString *why);
// A value the scaler reported (a backup's): checked against the report range only.
Problem parseReportedValue(const Target &target, const QString &text, Value &value, QString *why);

// A number as the command line writes it: decimal, or hexadecimal after "0x", "0X" or "$"; a leading "-"
// only when allowNegative. Magnitudes above 0xFFFFFFFF are refused.
bool parseNumber(const QString &text, bool allowNegative, int64_t &value);

// A stored row value as text: unsigned decimal, signed for COLOR, 0/1 for the on/off rows.
QString formatRowValue(int index, uint32_t value);
// Whether a reply reports the value that was asked: on/off rows compare as on/off.
bool sameRowValue(int index, uint32_t asked, uint32_t reported);

// True when msg is a reply for the row (its reply mnemonic followed by nothing or an integer literal), and
// no row earlier in the table claims it first; sets *value to the number it carries.
bool replyMatchesRow(const QByteArray &msg, int index, uint32_t *value = nullptr);
// The row a message reports as the driver's parser matches it (the first in table order), or -1.
int matchReplyRow(const QByteArray &msg, uint32_t *value = nullptr);

// One line of get or dump output.
struct Entry {
    enum class Type { Number, Signed, Boolean, Text };
    QString name;
    Type type = Type::Number;
    uint32_t number = 0;
    QString text;

    QString valueText() const;
};

// The current value of a readable target as the driver holds it.
Entry readEntry(const TOrlan_d &driver, const Target &target);
// Every variable in table order; the address and port rows give way to LOCAL_IP ... REMOTE_PORT.
QList<Target> dumpTargets();

QString formatLines(const QList<Entry> &entries, bool valuesOnly = false); // NAME=VALUE (or VALUE) lines
QString formatJson(const QList<Entry> &entries); // one JSON object, in the order given
// One watch line: TIME NAME=VALUE, or with json one JSON object {"time", "name", "value"} on one line.
QString formatWatchLine(const QString &time, const Entry &entry, bool json);
// A row's stored value as an entry of its type.
Entry rowEntry(int index, uint32_t value);

// C-style escapes: \r \n \t \0 \a \b \f \v \\ \" \' \? \xHH and \NNN (octal). Returns false with a
// message in *why on a malformed escape.
bool unescape(const QString &text, QByteArray &bytes, QString *why);
// A received message for printing: control and non-ASCII bytes as \xHH.
QString printable(const QByteArray &bytes);

} // namespace OxsControl
