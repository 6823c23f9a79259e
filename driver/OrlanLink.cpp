// The driver's link: creation and switching of the three transports, their properties and the link
// state machine that detects the scaler, keeps the link alive and notices its loss.
#include "ComPort.h"
#include "Logging.h"
#include "NetworkLinks.h"
#include "Orlan_d.h"
#include "SerialLink.h"

#include <chrono>
#include <utility>

using namespace OrlanVars;

TOrlan_d::TOrlan_d(QObject *owner) : QObject(owner), m_comPort(std::make_unique<TComPort>()) {
    m_comPort->SetReceiveMode(rmRAW);
    m_comPort->ReceiveCallBack = [this](const QByteArray &data) { SerialReceive(data); };
    createLinks();

    m_linkTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_linkTimer, &QTimer::timeout, this, &TOrlan_d::StepLink);
    m_tcpReopenTimer.setSingleShot(true);
    m_tcpReopenTimer.setInterval(kTcpReopenPauseMs);
    connect(&m_tcpReopenTimer, &QTimer::timeout, this, [this] {
        if (m_conType == CON_TCP) openTcp();
    });
    restartLinkTimer(m_pacing.firstStepMs);
}

TOrlan_d::~TOrlan_d() {
    m_linkTimer.stop();
    m_tcpReopenTimer.stop();
    m_links[CON_RS232]->Close();
    closeUdp();
    closeTcp();
}

void TOrlan_d::createLinks() {
    m_links[CON_RS232] = std::make_unique<TSerialLink>(*m_comPort);
    m_links[CON_UDP] =
        std::make_unique<TUdpLink>(m_endpoints, [this](const QByteArray &data, const QString &sender,
                                                       quint16 port) { UdpReceive(data, sender, port); });
    m_links[CON_TCP] = std::make_unique<TTcpLink>(
        m_endpoints, TTcpLink::Handlers{[this] { tcpConnected(); }, [this] { tcpError(); },
                                        [this](const QByteArray &data) { TcpReceive(data); }});
}

void TOrlan_d::ReplaceLink(tConnectionType type, std::unique_ptr<TLink> link) {
    m_links[type]->Close();
    m_links[type] = std::move(link);
}

// ---------------------------------------------------------------------------------------------------------
// Link properties

void TOrlan_d::SetConType(tConnectionType type) {
    if (type != m_conType) {
        qCDebug(lcLink) << "link type" << m_conType << "->" << type;
        setLinkState(LINK_RESET);
        closeLink(m_conType);
        m_conType = type;
        openLink(type);
    }
    raise(OnConTypechange);
}

void TOrlan_d::openLink(tConnectionType type) {
    switch (type) {
    case CON_RS232:
        m_links[CON_RS232]->Open();
        break;
    case CON_UDP:
        openUdp();
        break;
    case CON_TCP:
        openTcp();
        break;
    }
}

void TOrlan_d::closeLink(tConnectionType type) {
    switch (type) {
    case CON_RS232:
        m_links[CON_RS232]->Close();
        break;
    case CON_UDP:
        closeUdp();
        break;
    case CON_TCP:
        closeTcp();
        break;
    }
}

void TOrlan_d::SetPort(const QString &name) {
    TLink &serial = *m_links[CON_RS232];
    if (serial.IsActive()) serial.Close();
    m_port = name;
    m_comPort->SetPort(name);
    m_portOpenError.clear();
    if (name.isEmpty() || m_conType != CON_RS232) return;
    bool opened = false;
    try {
        opened = serial.Open();
    } catch (const EComError &e) {
        m_portOpenError = QString::fromLocal8Bit(e.what());
    }
    if (!opened) {
        m_port.clear();
        m_comPort->SetPort(QString());
    }
}

void TOrlan_d::SetIpLocalPort(int32_t port) {
    const bool unchanged =
        port == m_endpoints.udpLocalPort && m_links[CON_UDP]->IsActive() && m_links[CON_TCP]->IsActive();
    if (!unchanged) {
        if (m_conType == CON_UDP) closeUdp();
        m_endpoints.udpLocalPort = port;
        if (m_conType == CON_UDP) openUdp();
    }
    raise(OnIpLocalPortchange);
}

void TOrlan_d::SetIpRemotePort(int32_t port) {
    if (port != m_endpoints.remotePort) reopenForRemote([&] { m_endpoints.tcpPort = port; });
    m_endpoints.remotePort = port;
    raise(OnIpRemotePortchange);
}

void TOrlan_d::SetIpRemoteAddress(const QString &address) {
    if (address != m_endpoints.remoteAddress) reopenForRemote([&] { m_endpoints.tcpAddress = address; });
    m_endpoints.remoteAddress = address;
    raise(OnIpRemoteAddresschange);
}

// A new remote endpoint: UDP is reopened as it is, TCP is closed, given the endpoint, and opened again.
void TOrlan_d::reopenForRemote(const std::function<void()> &setTcpEndpoint) {
    if (m_conType == CON_UDP) {
        closeUdp();
        openUdp();
    }
    if (m_conType == CON_TCP) closeTcp();
    setTcpEndpoint();
    if (m_conType == CON_TCP) openTcp();
}

void TOrlan_d::SetForceConn(bool force) {
    if (force == m_forceConn) return;
    m_forceConn = force;
    if (force) {
        setLinkState(LINK_CONNECT);
        restartLinkTimer(1);
    } else {
        restartLinkTimer(1);
        setLinkState(LINK_RESET);
    }
}

void TOrlan_d::SetQuorl_s_plug_and_play(bool restart) {
    if (restart) setLinkState(LINK_RESET);
}

void TOrlan_d::SetBaudRate(uint32_t baud) {
    m_comPort->SetBaud(baud);
}

void TOrlan_d::SetRawReceive(bool raw) {
    m_comPort->SetReceiveMode(raw ? rmRAW : rmTERM);
}

void TOrlan_d::ClosePort() {
    m_links[CON_RS232]->Close();
}

// ---------------------------------------------------------------------------------------------------------
// Network links

bool TOrlan_d::openUdp() {
    TLink &udp = *m_links[CON_UDP];
    if (udp.IsActive()) return true;
    setLinkState(LINK_RESET);
    if (udp.Open()) {
        qCDebug(lcLink) << "UDP bound to port" << m_endpoints.udpLocalPort;
        return true;
    }
    qCDebug(lcLink) << "cannot bind UDP port" << m_endpoints.udpLocalPort << "-" << udp.ErrorString();
    udp.Close();
    return false;
}

void TOrlan_d::closeUdp() {
    setLinkState(LINK_RESET);
    m_links[CON_UDP]->Close();
}

bool TOrlan_d::openTcp() {
    TLink &tcp = *m_links[CON_TCP];
    if (tcp.IsActive() || m_tcpConnectPending) return true;
    m_tcpConnectPending = true;
    setLinkState(LINK_RESET);
    ++m_tcpConnectAttempts;
    if (tcp.Open()) return true;
    closeTcp();
    return false;
}

void TOrlan_d::closeTcp() {
    m_tcpConnectPending = false;
    setLinkState(LINK_RESET);
    m_links[CON_TCP]->Close();
}

void TOrlan_d::tcpConnected() {
    qCDebug(lcLink) << "TCP connected to" << m_endpoints.tcpAddress << m_endpoints.tcpPort;
    m_tcpConnectPending = false;
    if (m_pacing.probeOnOpen && m_linkState == LINK_PROBE) restartLinkTimer(1);
}

// A refused connect fails at once on a local network, so reopening at once would spin; reopen after a pause
// like the one a failing connect takes on its own.
void TOrlan_d::tcpError() {
    qCDebug(lcLink) << "TCP" << m_endpoints.tcpAddress << m_endpoints.tcpPort << "-"
                    << m_links[CON_TCP]->ErrorString() << "- retrying in" << kTcpReopenPauseMs << "ms";
    closeTcp();
    if (m_conType == CON_TCP) m_tcpReopenTimer.start();
}

// ---------------------------------------------------------------------------------------------------------
// Link state machine

void TOrlan_d::restartLinkTimer(int ms) {
    m_linkInterval = ms;
    if (m_linkTimerEnabled) m_linkTimer.start(ms);
}

void TOrlan_d::SetLinkPacing(const TLinkPacing &pacing) {
    m_pacing = pacing;
    if (m_linkState == LINK_RESET) restartLinkTimer(m_pacing.firstStepMs);
}

// Received data restarts the link timer with the wait of the state it arrives in.
int TOrlan_d::watchdogInterval() const {
    switch (m_linkState) {
    case LINK_PROBE:
        return m_pacing.probeRepeatMs;
    case LINK_QUERYALL:
        return m_pacing.queryAllMs;
    case LINK_READY:
        return m_pacing.dumpQuietMs;
    default:
        return 2000;
    }
}

// A step that sends has already moved to its next state. A send error that resets the link (a failed
// datagram closes the UDP socket) must stand, and the loss is declared at the next tick.
void TOrlan_d::sendFromStep(const std::function<void()> &send) {
    send();
    if (m_linkState == LINK_RESET) restartLinkTimer(1);
}

void TOrlan_d::SetLinkTimerEnabled(bool enabled) {
    m_linkTimerEnabled = enabled;
    if (!enabled)
        m_linkTimer.stop();
    else
        m_linkTimer.start(m_linkInterval);
}

void TOrlan_d::StepLink() {
    switch (m_linkState) {
    case LINK_RESET:
        if (m_forceConn) {
            setLinkState(LINK_CONNECT);
            restartLinkTimer(1);
            return;
        }
        if (m_connected) qCDebug(lcLink) << "scaler lost";
        m_ready = false;
        m_connected = false;
        m_reportedSinceReset.reset();
        m_values[VAR_DEV] = 0;
        raise(OnReady);
        emit readyChanged();
        raise(OnConnected);
        emit connectedChanged();
        raise(OnDEVchange);
        setLinkState(LINK_PROBE);
        // A device that answers with an invalid model code is asked again at the probing pace, not at once.
        restartLinkTimer(std::exchange(m_invalidModelReset, false) ? m_pacing.probeRepeatMs
                                                                   : m_pacing.firstProbeMs);
        return;
    case LINK_PROBE:
        restartLinkTimer(m_pacing.probeRepeatMs);
        sendFromStep([this] { SendIdentityQuery(); });
        return;
    case LINK_CONNECT:
        qCDebug(lcLink) << "scaler found, model" << m_values[VAR_DEV] << (m_forceConn ? "(forced)" : "");
        m_connected = true;
        raise(OnConnected);
        emit connectedChanged();
        setLinkState(LINK_QUERYALL);
        restartLinkTimer(m_pacing.queryAllMs);
        return;
    case LINK_QUERYALL:
        setLinkState(LINK_READY);
        restartLinkTimer(m_pacing.dumpQuietMs);
        if (m_conMode == MODE_VAR) sendFromStep([this] { SendQueryAll(); });
        return;
    case LINK_READY:
        qCDebug(lcLink) << "every value reported: ready";
        m_ready = true;
        raise(OnReady);
        emit readyChanged();
        setLinkState(LINK_POLL);
        restartLinkTimer(1);
        return;
    case LINK_POLL:
        // While the debug console is inside a command, a "?" would end that command on the scaler: it waits
        // for the hold to end, and no loss is declared for an answer to a query never sent.
        if (!m_forceConn && KeepAliveHeld()) {
            m_keepAliveDeferred = true;
            restartLinkTimer(keepAliveHoldLeftMs());
            return;
        }
        m_keepAliveDeferred = false;
        setLinkState(LINK_POLLWAIT);
        restartLinkTimer(2000);
        if (!m_forceConn) sendFromStep([this] { SendIdentityQuery(); });
        return;
    case LINK_POLLWAIT:
        setLinkState(m_forceConn ? LINK_POLL : LINK_RESET);
        restartLinkTimer(1);
        return;
    }
    setLinkState(LINK_RESET);
}

// ---------------------------------------------------------------------------------------------------------
// Keep-alive hold

int64_t TOrlan_d::now() const {
    if (m_clock) return m_clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int TOrlan_d::keepAliveHoldLeftMs() const {
    const int64_t left = m_keepAliveHoldSince + kKeepAliveHoldMaxMs - now();
    return left > 0 ? static_cast<int>(qMin<int64_t>(left, kKeepAliveHoldMaxMs)) : 0;
}

bool TOrlan_d::KeepAliveHeld() const {
    return m_keepAliveHold && keepAliveHoldLeftMs() > 0;
}

// A hold is never lengthened: holding again while held changes nothing, so a console that never lets go
// delays the keep-alive by kKeepAliveHoldMaxMs at most.
void TOrlan_d::HoldKeepAlive(bool hold) {
    const bool deferredNow = m_keepAliveDeferred && m_linkState == LINK_POLL;
    if (!hold) {
        m_keepAliveHold = false;
        m_keepAliveDeferred = false;
        if (deferredNow) restartLinkTimer(1); // the query kept back goes out at once
        return;
    }
    if (KeepAliveHeld()) return;
    // A query kept back by a hold that has run out goes out before a new hold can keep it back again.
    if (deferredNow) StepLink();
    m_keepAliveHold = true;
    m_keepAliveHoldSince = now();
}
