#include "NetworkLinks.h"

#include "DottedQuad.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr qint64 kChunk = 8192;

// A dotted quad is read in decimal, leading zeros and all ("010.000.000.001" is 10.0.0.1); the socket layer
// would take such parts as octal and reach another host.
QHostAddress hostAddressOf(const QString &text) {
    uint32_t value = 0;
    return parseDottedQuad(text, value) ? QHostAddress(value) : QHostAddress(text);
}
} // namespace

TUdpLink::TUdpLink(const TNetEndpoints &endpoints, DatagramHandler onDatagram, QObject *parent)
    : QObject(parent), m_endpoints(endpoints), m_onDatagram(std::move(onDatagram)),
      m_socket(new QUdpSocket(this)) {
    connect(m_socket, &QUdpSocket::readyRead, this, &TUdpLink::readPending);
}

TUdpLink::~TUdpLink() = default;

bool TUdpLink::Open() {
    if (IsActive()) return true;
    const auto port = static_cast<quint16>(m_endpoints.udpLocalPort);
    if (m_endpoints.udpLocalPort < 0 || m_endpoints.udpLocalPort > 65535 ||
        !m_socket->bind(QHostAddress::AnyIPv4, port)) {
        m_error = m_socket->errorString();
        m_socket->abort();
        return false;
    }
    return true;
}

void TUdpLink::Close() {
    if (IsActive()) m_socket->abort();
}

bool TUdpLink::IsActive() const {
    return m_socket->state() == QAbstractSocket::BoundState;
}

bool TUdpLink::Send(const QByteArray &data) {
    const QHostAddress address = hostAddressOf(m_endpoints.remoteAddress);
    if (address.isNull()) {
        m_error = QStringLiteral("Invalid address: %1").arg(m_endpoints.remoteAddress);
        return false;
    }
    if (m_socket->writeDatagram(data, address, static_cast<quint16>(m_endpoints.remotePort)) < 0) {
        m_error = m_socket->errorString();
        return false;
    }
    return true;
}

void TUdpLink::readPending() {
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (m_onDatagram)
            m_onDatagram(datagram.data(), datagram.senderAddress().toString(),
                         static_cast<quint16>(datagram.senderPort()));
        if (!IsActive()) return; // a handler closed the link
    }
}

TTcpLink::TTcpLink(const TNetEndpoints &endpoints, Handlers handlers, QObject *parent)
    : QObject(parent), m_endpoints(endpoints), m_handlers(std::move(handlers)),
      m_socket(new QTcpSocket(this)) {
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        m_error = m_socket->errorString();
        if (m_handlers.error) m_handlers.error();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &TTcpLink::readAvailable);
}

TTcpLink::~TTcpLink() {
    // Tear down without raising notifications into a driver that is being destroyed.
    abandonConnect();
    m_socket->disconnect(this);
    m_socket->abort();
}

bool TTcpLink::Open() {
    if (m_endpoints.tcpPort < 0 || m_endpoints.tcpPort > 65535) return false;
    abandonConnect();
    m_socket->abort();
    ++m_attempt;
    const QHostAddress address = hostAddressOf(m_endpoints.tcpAddress);
    if (!address.isNull())
        connectTo(address);
    else
        m_lookupId = QHostInfo::lookupHost(m_endpoints.tcpAddress, this, &TTcpLink::hostFound);
    return true;
}

void TTcpLink::hostFound(const QHostInfo &info) {
    m_lookupId = -1;
    const QList<QHostAddress> addresses = info.addresses();
    if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
        failLater(QStringLiteral("host not found"));
        return;
    }
    // The first IPv4 address, as the scaler's module speaks IPv4; otherwise whatever was found.
    QHostAddress chosen = addresses.first();
    for (const QHostAddress &a : addresses)
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            chosen = a;
            break;
        }
    connectTo(chosen);
}

void TTcpLink::connectTo(const QHostAddress &address) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in = reinterpret_cast<sockaddr_in *>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<quint16>(m_endpoints.tcpPort));
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    } else {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<quint16>(m_endpoints.tcpPort));
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        length = sizeof(sockaddr_in6);
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        failLater(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_connectingFd = fd;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&storage), length) == 0) {
        connectFinished();
        return;
    }
    if (errno != EINPROGRESS) {
        const int error = errno;
        abandonConnect();
        failLater(QString::fromLocal8Bit(std::strerror(error)).toLower());
        return;
    }
    m_connectNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(m_connectNotifier, &QSocketNotifier::activated, this, &TTcpLink::connectFinished);
}

// The connect has ended one way or the other: its outcome is read once, never retried here.
void TTcpLink::connectFinished() {
    const int fd = m_connectingFd;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (m_connectNotifier) {
        m_connectNotifier->setEnabled(false);
        m_connectNotifier->deleteLater();
        m_connectNotifier = nullptr;
    }
    m_connectingFd = -1;
    if (error != 0) {
        ::close(fd);
        failLater(QString::fromLocal8Bit(std::strerror(error)).toLower());
        return;
    }
    if (!m_socket->setSocketDescriptor(fd)) {
        ::close(fd);
        failLater(m_socket->errorString());
        return;
    }
    m_error.clear();
    if (m_handlers.connected) m_handlers.connected();
}

void TTcpLink::abandonConnect() {
    ++m_attempt;
    if (m_lookupId >= 0) QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    if (m_connectNotifier) {
        m_connectNotifier->setEnabled(false);
        delete m_connectNotifier;
        m_connectNotifier = nullptr;
    }
    if (m_connectingFd >= 0) ::close(m_connectingFd);
    m_connectingFd = -1;
}

// Failures reach the driver from the event loop, never from inside the Open that started the attempt.
void TTcpLink::failLater(const QString &why) {
    m_error = why;
    QTimer::singleShot(0, this, [this, attempt = m_attempt] {
        if (attempt == m_attempt && m_handlers.error) m_handlers.error();
    });
}

void TTcpLink::Close() {
    abandonConnect();
    m_socket->abort();
}

bool TTcpLink::IsActive() const {
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TTcpLink::Send(const QByteArray &data) {
    return m_socket->write(data) == data.size();
}

void TTcpLink::readAvailable() {
    while (m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(kChunk);
        if (chunk.isEmpty()) return;
        if (m_handlers.data) m_handlers.data(chunk);
        if (!IsActive()) return;
    }
}
