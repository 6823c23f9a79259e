#include "Session.h"

#include <QNetworkDatagram>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace OxsSim {

// ---- FaultInjector

FaultSettings FaultSettings::harsh() {
    FaultSettings f;
    f.oddValues = true;
    f.resetDump = true;
    f.dumpPauseMinMs = 200;
    f.dumpPauseMaxMs = 500;
    f.splitPauseMs = 300;
    f.nulInChunk = true;
    f.streamMs = 100;
    f.streamLines = 1;
    f.byteParser = true;
    f.rawUntilCan = true;
    return f;
}

void FaultInjector::configure(const FaultSettings &settings) {
    m_settings = settings;
    m_settings.chunkMaxBytes = std::max(1, m_settings.chunkMaxBytes);
    m_settings.chunkMaxDelayMs = std::max(0, m_settings.chunkMaxDelayMs);
    m_rng.seed(settings.seed);
    m_clock.start();
}

bool FaultInjector::muted() const {
    if (m_settings.silent) return true;
    if (m_settings.dropAfterSec < 0 || !m_clock.isValid()) return false;
    const double t = double(m_clock.elapsed()) / 1000.0;
    if (t < m_settings.dropAfterSec) return false;
    return m_settings.dropForSec < 0 || t < m_settings.dropAfterSec + m_settings.dropForSec;
}

int FaultInjector::uniform(int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(m_rng);
}

QByteArray FaultInjector::garbageBefore() {
    if (!m_settings.garbage || uniform(0, 1) == 0) return {};
    // Junk starts with a character no reply starts with, so a host drops the whole line; it
    // holds no line ends and no zero bytes, so it never cuts into a real reply.
    static const char kFirst[] = "~!%&*^_abcdefghijklmnopqrstuvwxyz";
    static const char kRest[] = "~!%&*^_-=+ abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray line;
    line += kFirst[uniform(0, int(sizeof kFirst) - 2)];
    const int length = uniform(0, 15);
    for (int i = 0; i < length; ++i)
        line += kRest[uniform(0, int(sizeof kRest) - 2)];
    line += "\r\n";
    return line;
}

int FaultInjector::nextChunkSize() {
    return uniform(1, m_settings.chunkMaxBytes);
}
int FaultInjector::nextChunkDelay() {
    return uniform(0, m_settings.chunkMaxDelayMs);
}

// ---- Session

Session::Session(Transport transport, FaultInjector &faults, QObject *parent)
    : QObject(parent), m_transport(transport), m_faults(faults) {
    m_pump.setSingleShot(true);
    m_pump.setTimerType(Qt::PreciseTimer);
    connect(&m_pump, &QTimer::timeout, this, &Session::pump);
}

Session::~Session() = default;

void Session::setHandler(std::unique_ptr<ProtocolHandler> handler) {
    if (m_delivering) {
        m_nextHandler = std::move(handler);
        m_switchPending = true;
    } else {
        m_handler = std::move(handler);
    }
}

void Session::deliver(const QByteArray &data) {
    m_bytesReceived += data.size();
    if (!m_handler || data.isEmpty()) return;
    const bool outer = !m_delivering;
    m_delivering = true;
    m_handler->received(*this, data);
    if (!outer) return;
    m_delivering = false;
    if (m_switchPending) {
        m_switchPending = false;
        m_handler = std::move(m_nextHandler);
    }
}

void Session::sendLine(const QByteArray &line) {
    if (m_faults.muted() || !canSend()) return;
    QByteArray bytes = m_faults.garbageBefore();
    bytes += line;
    bytes += "\r\n";
    if (!m_faults.settings().chunked) {
        writeBytes(bytes);
        return;
    }
    if (m_queue.size() + bytes.size() > kMaxQueued) return;
    m_queue += bytes;
    if (!m_pump.isActive()) m_pump.start(0);
}

void Session::sendRaw(const QByteArray &bytes) {
    if (canSend() && !bytes.isEmpty()) writeBytes(bytes);
}

void Session::pump() {
    if (m_queue.isEmpty()) return;
    const int n = std::min(int(m_queue.size()), m_faults.nextChunkSize());
    const QByteArray piece = m_queue.left(n);
    m_queue.remove(0, n);
    if (canSend()) writeBytes(piece);
    if (!m_queue.isEmpty()) m_pump.start(m_faults.nextChunkDelay());
}

// ---- TcpSession

TcpSession::TcpSession(QTcpSocket *socket, FaultInjector &faults, QObject *parent)
    : Session(Transport::Tcp, faults, parent), m_socket(socket) {
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { deliver(m_socket->readAll()); });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { emit closed(this); });
}

QString TcpSession::peerName() const {
    return QStringLiteral("%1:%2").arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());
}

bool TcpSession::canSend() const {
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpSession::writeBytes(const QByteArray &bytes) {
    if (m_socket->bytesToWrite() + bytes.size() <= kMaxBacklog) m_socket->write(bytes);
}

// ---- UdpSession

UdpSession::UdpSession(QUdpSocket *socket, FaultInjector &faults, QObject *parent)
    : Session(Transport::Udp, faults, parent), m_socket(socket) {
    m_socket->setParent(this);
    connect(m_socket, &QUdpSocket::readyRead, this, &UdpSession::readDatagrams);
}

QString UdpSession::peerName() const {
    return m_peer.isNull() ? QString() : QStringLiteral("%1:%2").arg(m_peer.toString()).arg(m_peerPort);
}

void UdpSession::readDatagrams() {
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram(kMaxDatagram);
        if (!datagram.isValid()) // e.g. an ICMP error reported on the socket
            break;
        m_peer = datagram.senderAddress();
        m_peerPort = quint16(datagram.senderPort());
        deliver(datagram.data());
    }
}

void UdpSession::writeBytes(const QByteArray &bytes) {
    m_socket->writeDatagram(bytes, m_peer, m_peerPort);
}

// ---- FdSession

FdSession::FdSession(int fd, int keepOpen, const QString &name, FaultInjector &faults, QObject *parent)
    : Session(Transport::Serial, faults, parent), m_fd(fd), m_keepOpen(keepOpen), m_name(name) {
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_readNotifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    m_writeNotifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &FdSession::readAvailable);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &FdSession::flushPending);
    // After a hang-up the line is looked at again a little later instead of in a busy loop.
    m_retry.setSingleShot(true);
    m_retry.setInterval(200);
    connect(&m_retry, &QTimer::timeout, this, [this] { m_readNotifier->setEnabled(true); });
}

FdSession::~FdSession() {
    delete m_readNotifier;
    delete m_writeNotifier;
    ::close(m_fd);
    if (m_keepOpen >= 0) ::close(m_keepOpen);
}

void FdSession::readAvailable() {
    char buffer[4096];
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            deliver(QByteArray(buffer, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        m_readNotifier->setEnabled(false);
        m_retry.start();
        return;
    }
}

void FdSession::writeBytes(const QByteArray &bytes) {
    if (!m_pending.isEmpty()) {
        if (m_pending.size() + bytes.size() <= kMaxPending) m_pending += bytes;
        return;
    }
    m_pending = bytes;
    flushPending();
}

void FdSession::flushPending() {
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_pending.constData(), std::size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_pending.clear(); // nobody at the other end: the bytes are lost, as on an open cable
    }
    m_writeNotifier->setEnabled(false);
}

} // namespace OxsSim
