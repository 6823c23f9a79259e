#include "OscServer.h"

#include "RemoteService.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QPointer>
#include <QUdpSocket>

// Off by default like the other oxs.* categories: QT_LOGGING_RULES="oxs.*.debug=true".
Q_LOGGING_CATEGORY(lcOsc, "oxs.remote.osc", QtWarningMsg)

namespace OxsRemote {

namespace {

// Subscribers and the address they sent from compare as plain IPv4 when mapped into IPv6.
QHostAddress plainAddress(const QHostAddress &a) {
    bool isV4 = false;
    const quint32 v4 = a.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : a;
}

QString peerText(const QHostAddress &address, quint16 port) {
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

} // namespace

OscServer::OscServer(RemoteService &service, QObject *parent) : QObject(parent), m_service(service) {
    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    m_clock = [steady] { return steady->elapsed(); };
    m_expiry.setInterval(30 * 1000);
    connect(&m_expiry, &QTimer::timeout, this, &OscServer::expireIdle);
    connect(&m_service, &RemoteService::variableChanged, this, &OscServer::publish);
}

OscServer::~OscServer() = default;

bool OscServer::listen(const QHostAddress &address, quint16 port, const QList<QHostAddress> &allowedSenders,
                       QString *why) {
    close();
    auto *socket = new QUdpSocket(this);
    // Not shared: a second program on the port would take a share of the datagrams.
    if (!socket->bind(address, port, QAbstractSocket::DontShareAddress)) {
        if (why) *why = socket->errorString();
        delete socket;
        return false;
    }
    m_socket = socket;
    m_allowed = allowedSenders;
    connect(m_socket, &QUdpSocket::readyRead, this, &OscServer::readDatagrams);
    m_expiry.start();
    return true;
}

void OscServer::close() {
    m_expiry.stop();
    if (m_socket) {
        m_socket->close();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    if (!m_subscribers.isEmpty()) {
        m_subscribers.clear();
        emit clientsChanged();
    }
}

bool OscServer::isListening() const {
    return m_socket && m_socket->state() == QAbstractSocket::BoundState;
}

quint16 OscServer::port() const {
    return m_socket ? m_socket->localPort() : 0;
}

void OscServer::readDatagrams() {
    if (!m_socket) return;
    // A bounded round: a flood of datagrams leaves the window its turns (the socket signals again).
    for (int n = 0; n < kDatagramsPerRound && m_socket && m_socket->hasPendingDatagrams(); ++n) {
        // Sized first, so that each datagram costs only its own size to read.
        const qint64 size = m_socket->pendingDatagramSize();
        const QNetworkDatagram datagram = m_socket->receiveDatagram(
            size >= 0 && size <= kMaxOscPacketBytes ? size : kMaxOscPacketBytes + 1);
        const QHostAddress sender = datagram.senderAddress();
        const quint16 senderPort = quint16(datagram.senderPort());
        if (!oscSenderAllowed(sender, m_allowed, m_trustLoopback)) {
            qCDebug(lcOsc) << "dropped a datagram from" << peerText(sender, senderPort)
                           << "(sender not allowed)";
            continue;
        }
        QList<OscRequest> requests;
        QString why;
        const bool taken = readOscPacket(datagram.data(), requests, &why);
        if (!why.isEmpty())
            qCDebug(lcOsc) << "from" << peerText(sender, senderPort) << (taken ? "skipped:" : "dropped:")
                           << why;
        if (!taken) continue;
        heardFrom(sender, senderPort);
        for (const OscRequest &request : requests)
            handle(sender, senderPort, request);
    }
}

void OscServer::handle(const QHostAddress &sender, quint16 senderPort, const OscRequest &request) {
    switch (request.kind) {
    case OscRequest::Kind::Subscribe:
        subscribe(sender, senderPort);
        return;
    case OscRequest::Kind::Unsubscribe:
        unsubscribe(sender, senderPort);
        return;
    case OscRequest::Kind::Get: {
        const Reply reply = m_service.variable(request.name);
        answer(sender, senderPort, request.name, reply.body, reply.status);
        return;
    }
    case OscRequest::Kind::Set:
        break;
    }
    if (!request.refusal.isEmpty()) {
        send(sender, senderPort, oscErrorMessage(request.name, request.refusal));
        return;
    }
    if (m_pendingSets >= kMaxPendingSets) {
        send(sender, senderPort,
             oscErrorMessage(
                 request.name,
                 QStringLiteral("%1 writes are already waiting for the scaler").arg(kMaxPendingSets)));
        return;
    }
    ++m_pendingSets;
    const QPointer<OscServer> self(this);
    const QString name = request.name;
    m_service.set(name, request.value, [self, sender, senderPort, name](const Reply &reply) {
        if (!self) return;
        --self->m_pendingSets;
        self->answer(sender, senderPort, name, reply.body, reply.status);
    });
}

void OscServer::answer(const QHostAddress &to, quint16 port, const QString &name, const QJsonObject &body,
                       int status) {
    if (status == 200) {
        // The canonical spelling, so that every value of a variable arrives at one address.
        const QString canonical = body.value(QLatin1String("name")).toString();
        send(to, port,
             oscValueMessage(canonical.isEmpty() ? name : canonical, body.value(QLatin1String("value"))));
    } else {
        send(to, port, oscErrorMessage(name, body.value(QLatin1String("error")).toString()));
    }
}

void OscServer::send(const QHostAddress &to, quint16 port, const QByteArray &packet) {
    if (!m_socket || packet.isEmpty()) return;
    if (m_socket->writeDatagram(packet, to, port) < 0)
        qCDebug(lcOsc) << "could not answer" << peerText(to, port) << m_socket->errorString();
}

int OscServer::findSubscriber(const QHostAddress &address, quint16 port) const {
    const QHostAddress plain = plainAddress(address);
    for (int i = 0; i < m_subscribers.size(); ++i)
        if (m_subscribers[i].port == port && plainAddress(m_subscribers[i].address).isEqual(plain)) return i;
    return -1;
}

void OscServer::heardFrom(const QHostAddress &sender, quint16 senderPort) {
    const int i = findSubscriber(sender, senderPort);
    if (i >= 0) m_subscribers[i].lastHeardMs = m_clock();
}

void OscServer::subscribe(const QHostAddress &sender, quint16 senderPort) {
    if (findSubscriber(sender, senderPort) >= 0) return; // heardFrom renewed it
    expireIdle();
    if (m_subscribers.size() >= kMaxSubscribers) {
        send(sender, senderPort,
             oscErrorMessage(
                 QStringLiteral("subscribe"),
                 QStringLiteral("%1 subscribers already; no more are taken").arg(kMaxSubscribers)));
        return;
    }
    m_subscribers.append({sender, senderPort, m_clock()});
    qCDebug(lcOsc) << "subscribed" << peerText(sender, senderPort);
    emit clientsChanged();
}

void OscServer::unsubscribe(const QHostAddress &sender, quint16 senderPort) {
    const int i = findSubscriber(sender, senderPort);
    if (i < 0) return;
    m_subscribers.removeAt(i);
    emit clientsChanged();
}

void OscServer::expireIdle() {
    const qint64 now = m_clock();
    const auto before = m_subscribers.size();
    m_subscribers.removeIf([now](const Subscriber &s) { return now - s.lastHeardMs >= kSubscriptionMs; });
    if (m_subscribers.size() != before) emit clientsChanged();
}

void OscServer::publish(const QString &name, const QJsonValue &value) {
    if (m_subscribers.isEmpty() || !m_socket) return;
    expireIdle();
    const QByteArray packet = oscValueMessage(name, value);
    for (const Subscriber &s : std::as_const(m_subscribers))
        send(s.address, s.port, packet);
}

} // namespace OxsRemote
