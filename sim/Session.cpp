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

QByteArray Session::framed(const QByteArray &line) {
    QByteArray bytes = m_faults.garbageBefore();
    bytes += line;
    bytes += "\r\n";
    return bytes;
}

void Session::sendLine(const QByteArray &line) {
    if (m_faults.muted() || !canSend()) return;
    enqueue(framed(line), 0);
}

void Session::sendLines(const QList<QByteArray> &lines) {
    if (m_faults.muted() || !canSend() || lines.isEmpty()) return;
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += framed(line);
    enqueue(bytes, 0);
}

void Session::sendReply(const QList<QByteArray> &lines, bool queryAll) {
    if (m_faults.muted() || !canSend() || lines.isEmpty()) return;
    const FaultSettings &f = m_faults.settings();
    const int n = int(lines.size());
    int splitAt = -1;
    int pauseAt = -1;
    int pauseMs = 0;
    if (queryAll) {
        if (f.splitPauseMs > 0) splitAt = m_faults.uniform(0, n - 1);
        // A maximum below the minimum means the minimum.
        const int lo = std::max(0, f.dumpPauseMinMs);
        const int hi = std::max(lo, f.dumpPauseMaxMs);
        if (hi > 0 && n >= 2) {
            pauseAt = m_faults.uniform(1, n - 1);
            pauseMs = m_faults.uniform(lo, hi);
        }
    } else if (f.splitPauseMs > 0 && ++m_replies % 10 == 0) {
        splitAt = 0;
    }

    QByteArray bytes;
    int pending = 0; // the pause before bytes
    for (int i = 0; i < n; ++i) {
        if (i == pauseAt && pauseMs > 0) { // between two lines
            enqueue(bytes, pending);
            bytes.clear();
            pending = pauseMs;
        }
        const QByteArray line = framed(lines[i]);
        const QByteArray &text = lines[i];
        if (i == splitAt && text.size() >= 2) {
            // Cut inside the reply's own text, never before or after it: the host sees half a line.
            const qsizetype cut = line.size() - 2 - text.size() + text.size() / 2;
            bytes += line.left(cut);
            enqueue(bytes, pending);
            bytes = line.mid(cut);
            pending = f.splitPauseMs;
        } else {
            bytes += line;
        }
    }
    enqueue(bytes, pending);
}

void Session::sendRaw(const QByteArray &bytes) {
    if (canSend() && !bytes.isEmpty()) writeBytes(bytes);
}

void Session::enqueue(const QByteArray &bytes, int pauseMs) {
    if (bytes.isEmpty() && pauseMs <= 0) return;
    if (m_queue.isEmpty() && pauseMs <= 0 && !m_faults.settings().chunked) {
        writeText(bytes);
        return;
    }
    if (m_queuedBytes + bytes.size() > kMaxQueued) return;
    m_queuedBytes += bytes.size();
    if (pauseMs <= 0 && !m_queue.isEmpty())
        m_queue.last().bytes += bytes;
    else
        m_queue.append({bytes, pauseMs});
    if (!m_pump.isActive()) m_pump.start(0);
}

void Session::pump() {
    while (!m_queue.isEmpty()) {
        Segment &front = m_queue.first();
        if (front.pauseMs > 0) {
            m_pump.start(front.pauseMs);
            front.pauseMs = 0;
            return;
        }
        if (m_faults.settings().chunked && !front.bytes.isEmpty()) {
            const int n = std::min(int(front.bytes.size()), m_faults.nextChunkSize());
            const QByteArray piece = front.bytes.left(n);
            front.bytes.remove(0, n);
            m_queuedBytes -= n;
            if (front.bytes.isEmpty()) m_queue.removeFirst();
            if (canSend()) writeText(piece);
            if (!m_queue.isEmpty()) m_pump.start(m_faults.nextChunkDelay());
            return;
        }
        const QByteArray bytes = front.bytes;
        m_queuedBytes -= bytes.size();
        m_queue.removeFirst();
        if (canSend() && !bytes.isEmpty()) writeText(bytes);
    }
}

void Session::writeText(const QByteArray &bytes) {
    if (bytes.isEmpty()) return;
    const bool startsMidLine = m_midLine;
    m_midLine = !bytes.endsWith('\n');
    if (!m_faults.settings().nulInChunk || m_transport == Transport::Serial) {
        writeBytes(bytes);
        return;
    }
    // A NUL between two lines of the chunk, else before its first line, else after its last one; never
    // inside the text of a line.
    qsizetype at = -1;
    const qsizetype firstEnd = bytes.indexOf("\r\n");
    if (firstEnd >= 0 && firstEnd + 2 < bytes.size())
        at = firstEnd + 2;
    else if (!startsMidLine)
        at = 0;
    else if (!m_midLine)
        at = bytes.size();
    if (at < 0) {
        writeBytes(bytes);
        return;
    }
    QByteArray withNul = bytes;
    withNul.insert(at, '\0');
    writeBytes(withNul);
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
