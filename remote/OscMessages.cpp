#include "OscMessages.h"

#include <lo/lo_lowlevel.h>

#include <QtEndian>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace OxsRemote {

namespace {

constexpr char kBundleTag[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
constexpr int64_t kExactIntegerLimit = int64_t(1) << 53; // every integer up to it is exact as a double
constexpr double kExactDoubleLimit = double(kExactIntegerLimit);

// A variable's name as an address may carry it: letters, digits and '_' (no OSC pattern characters).
bool plausibleName(const QByteArray &name) {
    if (name.isEmpty() || name.size() > 64) return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

struct MessageFree {
    void operator()(lo_message m) const { lo_message_free(m); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageFree>;

// The value of a set's one argument, or the refusal.
void readSetValue(lo_message message, OscRequest &request) {
    const int argc = lo_message_get_argc(message);
    if (argc != 1) {
        request.refusal = QStringLiteral("/oxs/set/%1 needs one argument (a number, T/F or a text), not %2")
                              .arg(request.name)
                              .arg(argc);
        return;
    }
    const char type = lo_message_get_types(message)[0];
    const lo_arg *arg = lo_message_get_argv(message)[0];
    const auto number = [&](double v) {
        if (std::isfinite(v) && std::trunc(v) == v && std::fabs(v) <= kExactDoubleLimit)
            request.value = v;
        else
            request.refusal = QStringLiteral("%1 needs a whole number, not %2").arg(request.name).arg(v);
    };
    switch (type) {
    case LO_INT32:
        request.value = double(arg->i);
        break;
    case LO_INT64:
        // Beyond 2^53 a double would round it; as text it stays exact for the range check's message.
        if (arg->h >= -kExactIntegerLimit && arg->h <= kExactIntegerLimit)
            request.value = double(arg->h);
        else
            request.value = QString::number(qint64(arg->h));
        break;
    case LO_FLOAT:
        number(double(arg->f));
        break;
    case LO_DOUBLE:
        number(arg->d);
        break;
    case LO_STRING:
    case LO_SYMBOL:
        request.value = QString::fromUtf8(&arg->s);
        break;
    case LO_TRUE:
        request.value = true;
        break;
    case LO_FALSE:
        request.value = false;
        break;
    default:
        request.refusal = QStringLiteral("%1 takes a value of type i, h, f, d, s, T or F, not %2")
                              .arg(request.name, QString(QChar::fromLatin1(type)));
    }
}

bool readMessage(const char *data, qsizetype size, OscRequest &request, QString *why) {
    if (size < 4 || data[0] != '/') {
        *why = QStringLiteral("not an OSC message");
        return false;
    }
    // liblo takes a writable buffer; it gets a copy of its own.
    QByteArray bytes(data, size);
    int result = 0;
    const Message message(lo_message_deserialise(bytes.data(), size_t(size), &result));
    if (!message) {
        *why = QStringLiteral("a malformed OSC message (liblo error %1)").arg(result);
        return false;
    }
    const qsizetype pathLength = qstrnlen(bytes.constData(), size_t(size));
    const QByteArray path(bytes.constData(), pathLength);

    static const QByteArray getPrefix("/oxs/get/"), setPrefix("/oxs/set/");
    if (path == "/oxs/subscribe") {
        request.kind = OscRequest::Kind::Subscribe;
    } else if (path == "/oxs/unsubscribe") {
        request.kind = OscRequest::Kind::Unsubscribe;
    } else if ((path.startsWith(getPrefix) || path.startsWith(setPrefix)) &&
               plausibleName(path.mid(getPrefix.size()))) {
        request.name = QString::fromLatin1(path.mid(getPrefix.size()));
        if (path.startsWith(getPrefix)) {
            request.kind = OscRequest::Kind::Get;
        } else {
            request.kind = OscRequest::Kind::Set;
            readSetValue(message.get(), request);
        }
    } else {
        *why = QStringLiteral("no such address: %1").arg(QString::fromUtf8(path.left(80)));
        return false;
    }
    return true;
}

// Appends a reason to the reasons so far.
void addReason(QString *why, const QString &reason) {
    if (!why->isEmpty()) *why += QStringLiteral("; ");
    *why += reason;
}

bool readBundle(const QByteArray &packet, QList<OscRequest> &requests, QString *why) {
    if (packet.size() < 16) {
        *why = QStringLiteral("a bundle without its time tag");
        return false;
    }
    // Time tags are not kept: only a bundle meant for at once is carried out.
    const quint64 timeTag = qFromBigEndian<quint64>(packet.constData() + 8);
    if (timeTag != 1) {
        *why = QStringLiteral("a bundle timed for later");
        return false;
    }
    QString reasons;
    int messages = 0;
    qsizetype pos = 16;
    while (pos < packet.size()) {
        if (packet.size() - pos < 4) {
            addReason(&reasons, QStringLiteral("a bundle element without its size"));
            break;
        }
        const qint32 length = qFromBigEndian<qint32>(packet.constData() + pos);
        pos += 4;
        if (length <= 0 || length % 4 != 0 || length > packet.size() - pos) {
            addReason(&reasons, QStringLiteral("a bundle element of a wrong size"));
            break;
        }
        const char *element = packet.constData() + pos;
        pos += length;
        if (++messages > kMaxOscBundleMessages) {
            addReason(&reasons,
                      QStringLiteral("more than %1 messages in a bundle").arg(kMaxOscBundleMessages));
            break;
        }
        if (element[0] == '#') {
            addReason(&reasons, QStringLiteral("a bundle in a bundle"));
            continue;
        }
        OscRequest request;
        QString reason;
        if (readMessage(element, length, request, &reason))
            requests.append(request);
        else
            addReason(&reasons, reason);
    }
    if (messages == 0) addReason(&reasons, QStringLiteral("an empty bundle"));
    *why = reasons;
    return !requests.isEmpty();
}

QByteArray serialise(const QByteArray &path, const std::function<void(lo_message)> &addArguments) {
    const Message message(lo_message_new());
    if (!message) return {};
    addArguments(message.get());
    size_t size = 0;
    void *data = lo_message_serialise(message.get(), path.constData(), nullptr, &size);
    if (!data) return {};
    QByteArray out(static_cast<const char *>(data), qsizetype(size));
    std::free(data);
    return out;
}

} // namespace

bool readOscPacket(const QByteArray &packet, QList<OscRequest> &requests, QString *why) {
    why->clear();
    if (packet.size() > kMaxOscPacketBytes) {
        *why = QStringLiteral("a datagram larger than %1 bytes").arg(kMaxOscPacketBytes);
        return false;
    }
    if (packet.size() >= 8 && std::memcmp(packet.constData(), kBundleTag, 8) == 0)
        return readBundle(packet, requests, why);
    OscRequest request;
    if (!readMessage(packet.constData(), packet.size(), request, why)) return false;
    requests.append(request);
    return true;
}

QByteArray oscValueMessage(const QString &name, const QJsonValue &value) {
    return serialise("/oxs/value/" + name.toUtf8(), [&](lo_message m) {
        if (value.isBool()) {
            lo_message_add_int32(m, value.toBool() ? 1 : 0);
        } else if (value.isDouble()) {
            const double v = value.toDouble();
            if (std::trunc(v) == v && v >= -2147483648.0 && v <= 2147483647.0)
                lo_message_add_int32(m, int32_t(v));
            else if (std::trunc(v) == v && std::fabs(v) < 9223372036854775808.0)
                lo_message_add_int64(m, int64_t(v));
            else
                lo_message_add_double(m, v);
        } else if (value.isString()) {
            lo_message_add_string(m, value.toString().toUtf8().constData());
        } else {
            lo_message_add_nil(m);
        }
    });
}

QByteArray oscErrorMessage(const QString &name, const QString &error) {
    return serialise("/oxs/error/" + name.toUtf8(),
                     [&](lo_message m) { lo_message_add_string(m, error.toUtf8().constData()); });
}

bool oscSenderAllowed(const QHostAddress &sender, const QList<QHostAddress> &allowed, bool trustLoopback) {
    const auto plain = [](const QHostAddress &a) {
        bool isV4 = false;
        const quint32 v4 = a.toIPv4Address(&isV4);
        return isV4 ? QHostAddress(v4) : a;
    };
    const QHostAddress from = plain(sender);
    if (from.isNull()) return false;
    if (trustLoopback && from.isLoopback()) return true;
    for (const QHostAddress &a : allowed)
        if (plain(a).isEqual(from)) return true;
    return false;
}

} // namespace OxsRemote
