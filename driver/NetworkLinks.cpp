#include "NetworkLinks.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>

namespace {
constexpr qint64 kChunk = 8192;
}

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
    const QHostAddress address(m_endpoints.remoteAddress);
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
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        if (m_handlers.connected) m_handlers.connected();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_handlers.error) m_handlers.error();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &TTcpLink::readAvailable);
}

TTcpLink::~TTcpLink() {
    // Tear down without raising notifications into a driver that is being destroyed.
    m_socket->disconnect(this);
    m_socket->abort();
}

bool TTcpLink::Open() {
    if (m_endpoints.tcpPort < 0 || m_endpoints.tcpPort > 65535) return false;
    m_socket->connectToHost(m_endpoints.tcpAddress, static_cast<quint16>(m_endpoints.tcpPort));
    return true;
}

void TTcpLink::Close() {
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
