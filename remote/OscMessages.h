#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonValue>
#include <QList>
#include <QString>

// The OSC messages of the remote control, read and written without a socket:
//   /oxs/set/NAME <value>   /oxs/get/NAME   /oxs/subscribe   /oxs/unsubscribe      (from clients)
//   /oxs/value/NAME <value> /oxs/error/NAME s "why"                                (to clients)
namespace OxsRemote {

// The largest datagram taken.
inline constexpr qsizetype kMaxOscPacketBytes = 64 * 1024;
// The most messages a bundle may hold.
inline constexpr int kMaxOscBundleMessages = 32;

struct OscRequest {
    enum class Kind { Set, Get, Subscribe, Unsubscribe };
    Kind kind = Kind::Get;
    QString name;     // Set, Get: the variable as the address spells it
    QJsonValue value; // Set: the value, as a JSON client would send it
    // Set: why the arguments give no value (answered as an error; nothing is written).
    QString refusal;
};

// Reads one datagram: a message, or a bundle timed "immediately" that holds messages only. Returns false
// with the reason in *why when nothing in it is taken: malformed, too large, an address we do not serve,
// a bundle timed for later or nested. Messages of a bundle that are not taken are skipped; their reasons
// go to *why as well.
bool readOscPacket(const QByteArray &packet, QList<OscRequest> &requests, QString *why);

// /oxs/value/NAME with the value as one argument: i for an integral number that fits 32 bits, h for a
// larger one, d for any other number, i 0/1 for true/false, s for a text, N for null.
QByteArray oscValueMessage(const QString &name, const QJsonValue &value);
// /oxs/error/NAME s "why".
QByteArray oscErrorMessage(const QString &name, const QString &error);

// Whether a datagram from sender is taken: loopback senders (when trustLoopback) and the listed
// addresses; an IPv4 address mapped into IPv6 counts as the IPv4 address.
bool oscSenderAllowed(const QHostAddress &sender, const QList<QHostAddress> &allowed,
                      bool trustLoopback = true);

} // namespace OxsRemote
