#include "RemoteSettings.h"

#include "ProfileFile.h"

#include <QRandomGenerator>

namespace OxsRemote {

namespace {
const QString kSection = QStringLiteral("Remote");
constexpr int kMinTokenLength = 16;
} // namespace

bool RemoteSettings::loopbackOnly() const {
    const QHostAddress a(address);
    return !a.isNull() && a.isLoopback();
}

RemoteSettings loadRemoteSettings(const QString &path) {
    const ProfileReader profile(path);
    RemoteSettings s;
    s.enabled = profile.readInteger(kSection, QStringLiteral("Enabled"), 0) != 0;
    s.address = profile.readString(kSection, QStringLiteral("Address"), s.address);
    const int port = profile.readInteger(kSection, QStringLiteral("Port"), s.port);
    if (port > 0 && port <= 65535) s.port = static_cast<quint16>(port);
    s.token = profile.readString(kSection, QStringLiteral("Token"), QString());
    if (s.token.isEmpty()) s.token = newRemoteToken();
    s.oscSenders = profile.readString(kSection, QStringLiteral("OscSenders"), QString())
                       .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &sender : s.oscSenders)
        sender = sender.trimmed();
    s.oscSenders.removeAll(QString());
    return s;
}

bool saveRemoteSettings(const QString &path, const RemoteSettings &s) {
    ProfileWriter profile(path);
    profile.writeInteger(kSection, QStringLiteral("Enabled"), s.enabled ? 1 : 0);
    profile.writeString(kSection, QStringLiteral("Address"), s.address);
    profile.writeInteger(kSection, QStringLiteral("Port"), s.port);
    profile.writeString(kSection, QStringLiteral("Token"), s.token);
    profile.writeString(kSection, QStringLiteral("OscSenders"), s.oscSenders.join(QLatin1Char(',')));
    return profile.commit();
}

QString checkRemoteSettings(const RemoteSettings &s) {
    const QHostAddress address(s.address);
    if (address.isNull()) return QStringLiteral("'%1' is not an address such as 127.0.0.1").arg(s.address);
    if (s.port == 0) return QStringLiteral("The port must be a number from 1 to 65535");
    if (!s.loopbackOnly()) {
        if (s.token.size() < kMinTokenLength)
            return QStringLiteral("The access token needs at least %1 characters").arg(kMinTokenLength);
        for (const QChar c : s.token)
            if (c.isSpace() || c.unicode() < 0x21 || c.unicode() > 0x7E)
                return QStringLiteral("The access token may hold only printable characters without blanks");
    }
    for (const QString &sender : s.oscSenders)
        if (QHostAddress(sender).isNull())
            return QStringLiteral("OSC sender '%1' is not an address").arg(sender);
    return QString();
}

QString newRemoteToken() {
    QString token;
    for (int i = 0; i < 4; ++i)
        token += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    return token;
}

QString listenText(const RemoteSettings &s) {
    const QHostAddress a(s.address);
    const QString host =
        a.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + a.toString() + u']' : s.address;
    return host + u':' + QString::number(s.port);
}

bool parseListenArgument(const QString &text, RemoteSettings &settings, QString *why) {
    QString address = settings.address;
    QString port = text;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        address = text.left(colon);
        port = text.mid(colon + 1);
        if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
            address = address.mid(1, address.size() - 2);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number == 0 || number > 65535) {
        *why = QStringLiteral("'%1' is no port; --remote takes [ADDRESS:]PORT, e.g. 10600 or 0.0.0.0:10600")
                   .arg(text);
        return false;
    }
    if (QHostAddress(address).isNull()) {
        *why = QStringLiteral("'%1' is no IP address; --remote takes [ADDRESS:]PORT").arg(address);
        return false;
    }
    settings.address = address;
    settings.port = static_cast<quint16>(number);
    return true;
}

} // namespace OxsRemote
