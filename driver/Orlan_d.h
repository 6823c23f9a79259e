#pragma once

#include "DeviceVariables.h"
#include "Link.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>

class TOrlan_d;
class TComPort;

using TOrlanNotifyEvent = std::function<void(TOrlan_d *Sender, int32_t nroOcto)>;

enum tConnectionType { CON_RS232 = 0, CON_UDP = 1, CON_TCP = 2 };
enum tConnectionMode { MODE_VAR = 0, MODE_RAW = 1 };

enum TLinkState {
    LINK_RESET = 0,
    LINK_PROBE = 1,
    LINK_CONNECT = 2,
    LINK_QUERYALL = 3,
    LINK_READY = 4,
    LINK_POLL = 5,
    LINK_POLLWAIT = 6,
};

// How fast the link state machine finds the scaler. The window keeps the unhurried pace below; a tool
// that wants answers at once probes as soon as the link is open and takes a short silence as the end of
// the query-all dump. Keep-alive and loss detection are the same at every pace.
struct TLinkPacing {
    // After a reset caused by an invalid model code the first identity query waits probeRepeatMs instead.
    int firstStepMs = 3000;   // creation, or a new pacing while the link is reset, to the first step
    int firstProbeMs = 2000;  // a reset to the first identity query
    int probeRepeatMs = 2000; // between identity queries while no scaler answers
    int queryAllMs = 2000;    // the scaler's answer to the query-all (silence needed first)
    int dumpQuietMs = 2000;   // silence that ends the query-all dump
    bool probeOnOpen = false; // probe as soon as a TCP connection is made

    static TLinkPacing Window() { return {}; }
    static TLinkPacing Fast() { return {1, 1, 250, 1, 150, true}; }
};

// The device driver: mirrors every device variable of the scaler, turns property writes into commands,
// parses replies into stored values and change events, and keeps the one link to the scaler alive.
// Lives on the user-interface thread; every entry point and event runs there.
class TOrlan_d : public QObject {
    Q_OBJECT
  public:
    static constexpr int kInputSlots = 6;     // per-input arrays: 0 = all inputs, 1..5
    static constexpr int kNetChunkMax = 8192; // network receive area
    // Text without a line end is trimmed to this length: the longest valid reply (a four-letter mnemonic,
    // "-" or "0x", ten digits) and its CR, so a reply that arrives a byte at a time survives.
    static constexpr int kTrimLength = 20;
    static constexpr int kDefaultIpPort = 10500;
    static constexpr int kTcpReopenPauseMs = 1000;

    explicit TOrlan_d(QObject *owner = nullptr);
    ~TOrlan_d() override;

    int32_t Tag() const { return m_tag; }
    void SetTag(int32_t tag) { m_tag = tag; }

    // ---- Device variables: getters, setters and change events, generated from the table ----
    // clang-format off
#define OXS_CTYPE_U32 uint32_t
#define OXS_CTYPE_I32 int32_t
#define OXS_CTYPE_BOOL bool
#define OXS_CTYPE_OCTET uint32_t
#define OXS_GETTER_U32(name, i) uint32_t name() const { return m_values[i]; }
#define OXS_GETTER_I32(name, i) int32_t name() const { return static_cast<int32_t>(m_values[i]); }
#define OXS_GETTER_BOOL(name, i) bool name() const { return m_values[i] != 0; }
#define OXS_GETTER_OCTET(name, i) uint32_t name() const { return 0; }
#define OXS_GETTER_PORT(name, i)
#define OXS_GETTER_NETMASK(name, i)
#define OXS_SETTER_SET(name, kind, i) void Set##name(OXS_CTYPE_##kind v) { sendCommand(i, static_cast<uint32_t>(v)); }
#define OXS_SETTER_WRITEONLY(name, kind, i) OXS_SETTER_SET(name, kind, i)
#define OXS_SETTER_LOCAL(name, kind, i) void Set##name(OXS_CTYPE_##kind v) { m_values[i] = v; }
#define OXS_SETTER_REPORT(name, kind, i)
#define OXS_SETTER_SPECIAL(name, kind, i)
#define OXS_ACCESSORS(i, name, reply, cmd, kind, access, ev) OXS_GETTER_##kind(name, i) OXS_SETTER_##access(name, kind, i)
    OXS_DEVICE_VARIABLES(OXS_ACCESSORS)
#undef OXS_ACCESSORS

#define OXS_EVENT_DECL_U32(ev) TOrlanNotifyEvent On##ev##change;
#define OXS_EVENT_DECL_I32(ev) OXS_EVENT_DECL_U32(ev)
#define OXS_EVENT_DECL_BOOL(ev) OXS_EVENT_DECL_U32(ev)
#define OXS_EVENT_DECL_NETMASK(ev) OXS_EVENT_DECL_U32(ev)
#define OXS_EVENT_DECL_OCTET(ev)
#define OXS_EVENT_DECL_PORT(ev)
#define OXS_EVENTS(i, name, reply, cmd, kind, access, ev) OXS_EVENT_DECL_##kind(ev)
    OXS_DEVICE_VARIABLES(OXS_EVENTS)
#undef OXS_EVENTS
    // clang-format on

    // ---- Device variables by index (debug console, command-line tools) ----
    // The stored value; 0 for the send-only octet rows, the host-bit count for the netmask row.
    uint32_t Value(int index) const;
    // Writes the variable as its setter would. Returns false for rows the application cannot set.
    bool SetValue(int index, uint32_t value);
    // The change event of a row, or nullptr for the rows without one.
    TOrlanNotifyEvent *ChangeEvent(int index);

    // ---- Per-input arrays ----
    uint8_t InputPENA(int index) const;
    uint32_t InputPRGBI(int index) const;
    uint32_t InputPISTD(int index) const;
    uint8_t InputPPROC(int index) const;
    void SetInputPRGBI(int index, uint32_t value);

    // ---- The scaler's network settings ----
    QString LOCAL_IP() const {
        return m_addressText[0];
    }
    QString REMOTE_IP() const {
        return m_addressText[1];
    }
    QString GATEWAY_IP() const {
        return m_addressText[2];
    }
    QString NETMASK() const {
        return m_netmask;
    }
    int32_t LOCAL_PORT() const {
        return m_localPort;
    }
    int32_t REMOTE_PORT() const {
        return m_remotePort;
    }
    void SetLOCAL_IP(const QString &address) {
        sendAddress(1, address);
    }
    void SetREMOTE_IP(const QString &address) {
        sendAddress(2, address);
    }
    void SetGATEWAY_IP(const QString &address) {
        sendAddress(3, address);
    }
    void SetNETMASK(const QString &mask);
    void SetLOCAL_PORT(int32_t port) {
        sendPort(1, port);
    }
    void SetREMOTE_PORT(int32_t port) {
        sendPort(2, port);
    }

    // ---- Link and support properties ----
    bool Connected() const {
        return m_connected;
    }
    bool Ready() const {
        return m_ready;
    }
    bool ForceConn() const {
        return m_forceConn;
    }
    void SetForceConn(bool force);
    QString Port() const {
        return m_port;
    }
    void SetPort(const QString &name);
    // Why the last Port write could not open the port (empty when it opened or did not try). A Port write
    // keeps the failure from the caller; tools that must say why read it here.
    QString PortOpenError() const {
        return m_portOpenError;
    }
    bool RS232busy() const {
        return m_rs232busy;
    }
    void SetRS232busy(bool busy) {
        m_rs232busy = busy;
    }
    void SetQuorl_s_plug_and_play(bool restart);
    tConnectionMode ConMode() const {
        return m_conMode;
    }
    void SetConMode(tConnectionMode mode) {
        m_conMode = mode;
    }
    tConnectionType ConType() const {
        return m_conType;
    }
    void SetConType(tConnectionType type); // serial open failure throws EComError
    int32_t IpLocalPort() const {
        return m_endpoints.udpLocalPort;
    }
    void SetIpLocalPort(int32_t port);
    int32_t IpRemotePort() const {
        return m_endpoints.remotePort;
    }
    void SetIpRemotePort(int32_t port);
    QString IpRemoteAddress() const {
        return m_endpoints.remoteAddress;
    }
    void SetIpRemoteAddress(const QString &address);
    QByteArray receivedString() const {
        return m_receivedString;
    }
    void SetreceivedString(const QByteArray &text) {
        m_receivedString = text;
    }
    QByteArray sentString() const {
        return m_sentString;
    }
    void SetsentString(const QByteArray &text) {
        m_sentString = text;
    }

    TOrlanNotifyEvent OnConnected;
    TOrlanNotifyEvent OnReady;
    TOrlanNotifyEvent ONRS232busy;
    TOrlanNotifyEvent OnRecString;
    TOrlanNotifyEvent OnSentString;
    TOrlanNotifyEvent OnRecData;
    TOrlanNotifyEvent OnConTypechange;
    TOrlanNotifyEvent OnIpLocalPortchange;
    TOrlanNotifyEvent OnIpRemotePortchange;
    TOrlanNotifyEvent OnIpRemoteAddresschange;

    // ---- Sending ----
    void SendText(const QByteArray &text);
    void SendIdentityQuery();
    void SendQueryAll();
    // In MODE_RAW hands over the whole receive buffer and empties it; in MODE_VAR does nothing.
    void ReadRawData(QByteArray &out);
    // What the receive buffer holds now (diagnostics and tests).
    QByteArray ReceiveBuffer() const {
        return m_rxBuffer.mid(m_rxConsumed);
    }

    // ---- Serial link operations ----
    void SetBaudRate(uint32_t baud);
    void SetRawReceive(bool raw);
    void ClosePort();
    TComPort &ComPort() {
        return *m_comPort;
    }

    // ---- Receive entry points, called by the links ----
    void SerialReceive(const QByteArray &data);
    void UdpReceive(const QByteArray &datagram, const QString &senderAddress, quint16 senderPort);
    void TcpReceive(const QByteArray &data);

    // ---- Link state machine ----
    TLinkState LinkState() const {
        return m_linkState;
    }
    int LinkTimerInterval() const {
        return m_linkInterval;
    }
    // One tick of the link timer: performs the step of the current state and restarts the timer.
    void StepLink();
    // Stops the real link timer so tests can step the state machine by hand.
    void SetLinkTimerEnabled(bool enabled);
    const TLinkPacing &LinkPacing() const {
        return m_pacing;
    }
    // Takes effect from the next step; while the link is reset the first step is rescheduled at once.
    void SetLinkPacing(const TLinkPacing &pacing);

    // Holds the keep-alive identity query while a command is partly sent (the debug console sends one
    // character at a time). The hold ends with HoldKeepAlive(false) or after kKeepAliveHoldMaxMs.
    static constexpr int kKeepAliveHoldMaxMs = 5000;
    void HoldKeepAlive(bool hold);
    bool KeepAliveHeld() const;
    // The millisecond clock that times the hold (tests); empty: a steady clock.
    void SetClock(std::function<int64_t()> msClock) {
        m_clock = std::move(msClock);
    }

    // Replaces the transport of one link type (tests).
    void ReplaceLink(tConnectionType type, std::unique_ptr<TLink> link);
    TLink &Link(tConnectionType type) {
        return *m_links[type];
    }
    bool TcpConnectPending() const {
        return m_tcpConnectPending;
    }
    // Connects started since creation (diagnostics: a refused peer is retried about once a second).
    int TcpConnectAttempts() const {
        return m_tcpConnectAttempts;
    }

  signals:
    // Beside the events, which have one handler each (the window's), for observers that must not take a
    // handler from it (the remote server). Emitted right after the event of the same moment.
    void messageMatched(const QByteArray &message); // with OnRecString, before the value is stored
    void variableReported(int index);               // after the row's value is stored, for every row
    void connectedChanged();                        // with OnConnected
    void readyChanged();                            // with OnReady
    // Every chunk the active link takes or hands over, before the driver acts on it (the link recorder):
    // bytes written to the link, and bytes it delivered as delivered (zero bytes and all).
    void linkBytesOut(const QByteArray &bytes);
    void linkBytesIn(const QByteArray &bytes);

  private:
    void raise(const TOrlanNotifyEvent &event);
    void sendCommand(int index, uint32_t value);
    void sendAndReport(const QByteArray &command);
    void sendAddress(int slot, const QString &address);
    void sendPort(int slot, int32_t port);

    void appendAndParse(const char *data, qsizetype size);
    void parseBuffer();
    void watchdog();
    int matchMessage(const char *msg, qsizetype len, uint32_t &value) const;
    void storeAndReport(int index, uint32_t value, const char *msg, qsizetype len);
    void storeDev(uint32_t value);
    void rebuildAddresses();
    static QByteArray networkChunk(const QByteArray &data);
    static QByteArray withoutZeros(const QByteArray &data);
    bool fromRemote(const QString &senderAddress, quint16 senderPort) const;

    void setLinkState(TLinkState state) {
        m_linkState = state;
        if (state != LINK_POLL) m_keepAliveDeferred = false;
    }
    void restartLinkTimer(int ms);
    int watchdogInterval() const;
    void sendFromStep(const std::function<void()> &send);
    int64_t now() const;
    int keepAliveHoldLeftMs() const;
    bool openUdp();
    void closeUdp();
    bool openTcp();
    void closeTcp();
    void reopenForRemote(const std::function<void()> &setTcpEndpoint);
    void openLink(tConnectionType type);
    void closeLink(tConnectionType type);
    void createLinks();
    void tcpConnected();
    void tcpError();

    int32_t m_tag = 0;
    std::array<uint32_t, OrlanVars::VAR_COUNT> m_values{};
    std::array<uint8_t, kInputSlots> m_inputPENA{};
    std::array<uint32_t, kInputSlots> m_inputPRGBI{};
    std::array<uint32_t, kInputSlots> m_inputPISTD{};
    std::array<uint8_t, kInputSlots> m_inputPPROC{};
    uint8_t m_octets[3][4]{};
    QString m_addressText[3];
    QString m_netmask;
    int32_t m_localPort = 0;
    int32_t m_remotePort = 0;

    QByteArray m_rxBuffer;
    qsizetype m_rxConsumed = 0; // bytes of m_rxBuffer already handled by the running parse
    bool m_parsing = false;
    int m_lastMatched = 0;
    std::bitset<OrlanVars::VAR_COUNT> m_reportedSinceReset; // rows reported since the link was last reset
    bool m_chunkReportedNew = false;                        // the chunk being parsed reported one first
    QByteArray m_receivedString;
    QByteArray m_sentString;

    bool m_connected = false;
    bool m_ready = false;
    bool m_forceConn = false;
    bool m_rs232busy = false;
    QString m_port;
    QString m_portOpenError;
    tConnectionMode m_conMode = MODE_VAR;
    tConnectionType m_conType = CON_RS232;

    TLinkState m_linkState = LINK_RESET;
    TLinkPacing m_pacing;
    int m_linkInterval = 0;
    bool m_keepAliveHold = false;
    int64_t m_keepAliveHoldSince = 0;
    bool m_keepAliveDeferred = false; // the POLL step kept its "?" back for the hold
    std::function<int64_t()> m_clock;
    bool m_linkTimerEnabled = true;
    QTimer m_linkTimer;
    QTimer m_tcpReopenTimer;
    bool m_tcpConnectPending = false;
    int m_tcpConnectAttempts = 0;
    bool m_invalidModelReset = false; // the pending reset comes from an invalid model code
    TNetEndpoints m_endpoints;        // IpLocalPort, IpRemotePort and IpRemoteAddress live here

    std::unique_ptr<TComPort> m_comPort;
    std::array<std::unique_ptr<TLink>, 3> m_links;
};
