#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

// The remote access settings, kept in a settings file of their own ("remote.ini" in the settings folder).
namespace OxsRemote {

struct RemoteSettings {
    static constexpr quint16 kDefaultPort = 10600;

    bool enabled = false;
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = kDefaultPort;
    QString token;          // needed by every request when the address is not a loopback address
    QStringList oscSenders; // addresses OSC is taken from besides loopback ones

    // Whether only this machine can reach the address.
    bool loopbackOnly() const;
    QHostAddress hostAddress() const { return QHostAddress(address); }
};

inline constexpr char kRemoteSettingsFile[] = "remote.ini";

// A missing or unreadable file reads as the defaults; a missing token is made up (and kept on the next save).
RemoteSettings loadRemoteSettings(const QString &path);
bool saveRemoteSettings(const QString &path, const RemoteSettings &settings);

// Why the settings cannot be used, empty when they can: the address must be an IPv4 or IPv6 address, the
// port 1 to 65535, a token of at least 16 characters without blanks is needed off loopback, and every OSC
// sender must be an address.
QString checkRemoteSettings(const RemoteSettings &settings);

// 32 random hexadecimal digits.
QString newRemoteToken();

// "127.0.0.1:10600" / "[::1]:10600": where a server on these settings listens.
QString listenText(const RemoteSettings &settings);

// Reads the --remote argument, [ADDRESS:]PORT ("10600", "0.0.0.0:10600", "[::1]:10600"), into the settings'
// address and port. Returns false with the reason in *why.
bool parseListenArgument(const QString &text, RemoteSettings &settings, QString *why);

} // namespace OxsRemote
