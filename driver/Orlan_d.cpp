// Device variables, command building and the receive parser.
#include "Orlan_d.h"

#include "ComPort.h"
#include "DottedQuad.h"
#include "IntegerLiteral.h"
#include "Prompts.h"
#include "ScalerModels.h"

#include <cstring>
#include <vector>

using namespace OrlanVars;

namespace {

// Event member of every row, or nullptr where the row raises none.
#define OXS_EVPTR_U32(ev) &TOrlan_d::On##ev##change,
#define OXS_EVPTR_I32(ev) OXS_EVPTR_U32(ev)
#define OXS_EVPTR_BOOL(ev) OXS_EVPTR_U32(ev)
#define OXS_EVPTR_NETMASK(ev) OXS_EVPTR_U32(ev)
#define OXS_EVPTR_OCTET(ev) nullptr,
#define OXS_EVPTR_PORT(ev) nullptr,
#define OXS_EVPTR(i, name, reply, cmd, kind, access, ev) OXS_EVPTR_##kind(ev)
TOrlanNotifyEvent TOrlan_d::*const kChangeEvents[VAR_COUNT] = {OXS_DEVICE_VARIABLES(OXS_EVPTR)};
#undef OXS_EVPTR

// Reply mnemonics grouped by first character, each group in variable index order, so matching tries
// only the rows that can match and still in the order the format prescribes.
struct ReplyIndex {
    std::vector<int> byFirstChar[256];
    std::size_t length[VAR_COUNT];
    ReplyIndex() {
        for (const Row &row : kRows) {
            length[row.index] = std::strlen(row.reply);
            byFirstChar[static_cast<unsigned char>(row.reply[0])].push_back(row.index);
        }
    }
};
const ReplyIndex &replyIndex() {
    static const ReplyIndex index;
    return index;
}

bool isPerInput(int index) {
    return index >= VAR_PENA && index <= VAR_PPROC;
}

} // namespace

void TOrlan_d::raise(const TOrlanNotifyEvent &event) {
    if (!event) return;
    // A handler may replace itself while it runs; call a copy.
    const TOrlanNotifyEvent handler = event;
    handler(this, m_tag);
}

// ---------------------------------------------------------------------------------------------------------
// Variables by index

uint32_t TOrlan_d::Value(int index) const {
    return index >= 0 && index < VAR_COUNT ? m_values[index] : 0;
}

bool TOrlan_d::SetValue(int index, uint32_t value) {
    if (index < 0 || index >= VAR_COUNT) return false;
    switch (kRows[index].access) {
    case Access::SET:
    case Access::WRITEONLY:
        sendCommand(index, value);
        return true;
    case Access::LOCAL:
        m_values[index] = value;
        return true;
    case Access::SPECIAL:
        if (index == VAR_NETMASK) {
            sendCommand(index, value); // the netmask travels as its host-bit count
            return true;
        }
        return false;
    case Access::REPORT:
        break;
    }
    return false;
}

TOrlanNotifyEvent *TOrlan_d::ChangeEvent(int index) {
    if (index < 0 || index >= VAR_COUNT || !kChangeEvents[index]) return nullptr;
    return &(this->*kChangeEvents[index]);
}

uint8_t TOrlan_d::InputPENA(int index) const {
    return index >= 0 && index < kInputSlots ? m_inputPENA[index] : 0;
}
uint32_t TOrlan_d::InputPRGBI(int index) const {
    return index >= 0 && index < kInputSlots ? m_inputPRGBI[index] : 5;
}
uint32_t TOrlan_d::InputPISTD(int index) const {
    return index >= 0 && index < kInputSlots ? m_inputPISTD[index] : 0;
}
uint8_t TOrlan_d::InputPPROC(int index) const {
    return index >= 0 && index < kInputSlots ? m_inputPPROC[index] : 0;
}
void TOrlan_d::SetInputPRGBI(int index, uint32_t value) {
    if (index >= 0 && index < kInputSlots) m_inputPRGBI[index] = value;
}

// ---------------------------------------------------------------------------------------------------------
// Sending

void TOrlan_d::SendText(const QByteArray &text) {
    TLink &link = *m_links[m_conType];
    if (!link.IsActive()) return;
    const bool sent = link.Send(text);
    if (sent) emit linkBytesOut(text);
    if (sent || m_conType != CON_UDP) return;
    const QString error = link.ErrorString();
    closeUdp();
    Prompts::instance().message(error, Prompts::Icon::Error);
}

void TOrlan_d::sendAndReport(const QByteArray &command) {
    SendText(command);
    m_sentString = command;
    raise(OnSentString);
}

void TOrlan_d::sendCommand(int index, uint32_t value) {
    if (!m_connected) return;
    sendAndReport(QByteArray::number(value) + kRows[index].command);
}

void TOrlan_d::SendIdentityQuery() {
    sendAndReport(QByteArray(kRows[VAR_DEV].command));
}

void TOrlan_d::SendQueryAll() {
    SendText(QByteArrayLiteral("#\r\n"));
}

void TOrlan_d::sendAddress(int slot, const QString &address) {
    uint32_t value = 0;
    if (!parseDottedQuad(address, value)) return;
    sendCommand(VAR_PADIP, static_cast<uint32_t>(slot));
    sendCommand(VAR_IP4, value >> 24);
    sendCommand(VAR_IP3, (value >> 16) & 0xFF);
    sendCommand(VAR_IP2, (value >> 8) & 0xFF);
    sendCommand(VAR_IP1, value & 0xFF);
}

void TOrlan_d::sendPort(int slot, int32_t port) {
    sendCommand(VAR_PADIP, static_cast<uint32_t>(slot));
    sendCommand(VAR_PORT, static_cast<uint32_t>(port));
}

void TOrlan_d::SetNETMASK(const QString &mask) {
    uint32_t value = 0;
    if (!parseDottedQuad(mask, value)) return;
    uint32_t hostBits = ~value;
    uint32_t bitLength = 0;
    while (hostBits) {
        ++bitLength;
        hostBits >>= 1;
    }
    sendCommand(VAR_NETMASK, bitLength);
}

void TOrlan_d::ReadRawData(QByteArray &out) {
    if (m_conMode != MODE_RAW) return;
    out = m_rxBuffer.mid(m_rxConsumed);
    m_rxBuffer.clear();
    m_rxConsumed = 0;
}

// ---------------------------------------------------------------------------------------------------------
// Receiving

// A network chunk is at most kNetChunkMax bytes. A zero byte is dropped on its own: the text after it
// (the rest of the reply and every reply after it) still counts.
QByteArray TOrlan_d::networkChunk(const QByteArray &data) {
    return withoutZeros(
        QByteArray::fromRawData(data.constData(), qMin<qsizetype>(data.size(), kNetChunkMax)));
}

QByteArray TOrlan_d::withoutZeros(const QByteArray &data) {
    if (!std::memchr(data.constData(), 0, static_cast<std::size_t>(data.size()))) return data;
    QByteArray text;
    text.reserve(data.size());
    for (const char c : data)
        if (c != 0) text.append(c);
    return text;
}

void TOrlan_d::SerialReceive(const QByteArray &data) {
    if (m_conType != CON_RS232) return;
    emit linkBytesIn(data);
    if (m_conMode == MODE_VAR) {
        // As on the network links, a zero byte costs only itself (raw mode keeps every byte).
        const QByteArray text = withoutZeros(data);
        appendAndParse(text.constData(), text.size());
        return;
    }
    m_rxBuffer.append(data);
    raise(OnRecData);
}

// Only the scaler's own datagrams count: its address as written, or the same dotted quad written with
// leading zeros (the settings keep the address as the operator typed it).
bool TOrlan_d::fromRemote(const QString &senderAddress, quint16 senderPort) const {
    if (senderPort != m_endpoints.remotePort) return false;
    if (senderAddress == m_endpoints.remoteAddress) return true;
    uint32_t sender = 0, remote = 0;
    return parseDottedQuad(senderAddress, sender) && parseDottedQuad(m_endpoints.remoteAddress, remote) &&
           sender == remote;
}

void TOrlan_d::UdpReceive(const QByteArray &datagram, const QString &senderAddress, quint16 senderPort) {
    if (m_conType != CON_UDP || !fromRemote(senderAddress, senderPort)) return;
    emit linkBytesIn(datagram);
    const QByteArray chunk = networkChunk(datagram);
    appendAndParse(chunk.constData(), chunk.size());
}

void TOrlan_d::TcpReceive(const QByteArray &data) {
    if (m_conType != CON_TCP || data.isEmpty()) return;
    emit linkBytesIn(data);
    const QByteArray chunk = networkChunk(data);
    appendAndParse(chunk.constData(), chunk.size());
}

void TOrlan_d::watchdog() {
    if (m_linkState != LINK_RESET && m_linkState != LINK_CONNECT) restartLinkTimer(watchdogInterval());
}

void TOrlan_d::appendAndParse(const char *data, qsizetype size) {
    // While polling every chunk shows the scaler alive. Before that (probing, the pause before the query-all,
    // the wait for the end of its answer) only a chunk that reports a variable for the first time since the
    // link was reset holds the next step back: a scaler that repeats its live measurements more often than
    // the step's interval would otherwise never be asked who it is, or never be done answering.
    const TLinkState state = m_linkState;
    const bool polling = state == LINK_POLL || state == LINK_POLLWAIT;
    if (polling) watchdog();
    m_rxBuffer.append(data, size);
    // A handler that feeds data back in while a parse runs only appends; the running parse reaches it.
    if (m_parsing) return;
    m_chunkReportedNew = false;
    parseBuffer();
    if (!polling && m_chunkReportedNew && m_linkState == state) watchdog();
}

void TOrlan_d::parseBuffer() {
    struct Guard {
        TOrlan_d &d;
        ~Guard() {
            d.m_rxBuffer.remove(0, d.m_rxConsumed);
            d.m_rxConsumed = 0;
            d.m_parsing = false;
        }
    } guard{*this};
    m_parsing = true;
    m_rxConsumed = 0;
    for (;;) {
        const qsizetype end = m_rxBuffer.indexOf("\r\n", m_rxConsumed);
        if (end < 0) {
            if (m_rxBuffer.size() - m_rxConsumed > kTrimLength)
                m_rxConsumed = m_rxBuffer.size() - kTrimLength;
            return;
        }
        const qsizetype start = m_rxConsumed;
        m_rxConsumed = end + 2;
        const char *message = m_rxBuffer.constData() + start;
        const qsizetype length = end - start;
        uint32_t value = 0;
        const int index = matchMessage(message, length, value);
        if (index >= 0) storeAndReport(index, value, message, length);
    }
}

int TOrlan_d::matchMessage(const char *msg, qsizetype len, uint32_t &value) const {
    if (len <= 0) return -1;
    const ReplyIndex &replies = replyIndex();
    for (int index : replies.byFirstChar[static_cast<unsigned char>(msg[0])]) {
        const std::size_t mnemonicLength = replies.length[index];
        if (static_cast<std::size_t>(len) < mnemonicLength ||
            std::memcmp(msg, kRows[index].reply, mnemonicLength) != 0)
            continue;
        if (static_cast<std::size_t>(len) == mnemonicLength) {
            value = 0;
            return index;
        }
        if (parseIntegerLiteral(msg + mnemonicLength, static_cast<std::size_t>(len) - mnemonicLength, value))
            return index;
    }
    return -1;
}

void TOrlan_d::storeAndReport(int index, uint32_t value, const char *msg, qsizetype len) {
    const QByteArray message(msg, len); // msg may move once handlers run; copy it first
    m_receivedString = message;
    raise(OnRecString);
    emit messageMatched(message);

    switch (kRows[index].kind) {
    case Kind::U32:
    case Kind::I32:
        if (index == VAR_DEV) {
            storeDev(value);
            break;
        }
        m_values[index] = value;
        break;
    case Kind::BOOL:
        m_values[index] = value & 0xFF;
        break;
    case Kind::OCTET: {
        const int column = index - VAR_IP4;
        const uint32_t slot = m_values[VAR_PADIP];
        for (int s = 0; s < 3; ++s)
            if (slot == 0 || slot == static_cast<uint32_t>(s + 1))
                m_octets[s][column] = static_cast<uint8_t>(value);
        rebuildAddresses();
        break;
    }
    case Kind::PORT: {
        m_values[index] = value;
        const uint32_t slot = m_values[VAR_PADIP];
        if (slot == 0 || slot == 1) m_localPort = static_cast<int32_t>(value);
        if (slot == 0 || slot == 2) m_remotePort = static_cast<int32_t>(value);
        break;
    }
    case Kind::NETMASK: {
        m_values[index] = value;
        const int32_t hostBits = static_cast<int32_t>(value);
        const uint32_t mask = hostBits <= 0 ? 0xFFFFFFFFu : hostBits >= 32 ? 0u : ~((1u << hostBits) - 1u);
        m_netmask = dottedQuad(mask);
        break;
    }
    }
    if (isPerInput(index) && m_values[VAR_PCHAN] < kInputSlots) {
        const uint32_t slot = m_values[VAR_PCHAN];
        const uint32_t stored = m_values[index];
        switch (index) {
        case VAR_PENA:
            m_inputPENA[slot] = static_cast<uint8_t>(stored);
            break;
        case VAR_PRGBI:
            m_inputPRGBI[slot] = stored;
            break;
        case VAR_PISTD:
            m_inputPISTD[slot] = stored;
            break;
        default:
            m_inputPPROC[slot] = static_cast<uint8_t>(stored);
            break;
        }
    }

    m_lastMatched = index;
    if (!m_reportedSinceReset[std::size_t(index)]) {
        m_reportedSinceReset.set(std::size_t(index));
        m_chunkReportedNew = true;
    }
    if (kChangeEvents[index]) raise(this->*kChangeEvents[index]);
    emit variableReported(index);
}

void TOrlan_d::storeDev(uint32_t value) {
    if (!Models::IsKnownModel(value)) {
        restartLinkTimer(1);
        setLinkState(LINK_RESET);
        m_invalidModelReset = true;
    }
    if (m_linkState == LINK_PROBE) {
        restartLinkTimer(1);
        setLinkState(LINK_CONNECT);
    }
    if (m_linkState == LINK_POLLWAIT) setLinkState(LINK_POLL);
    m_values[VAR_DEV] = value;
    raise(OnDEVchange);
    if (m_lastMatched == VAR_DEV || m_rs232busy) raise(ONRS232busy);
}

void TOrlan_d::rebuildAddresses() {
    for (int s = 0; s < 3; ++s)
        m_addressText[s] = dottedQuad(uint32_t(m_octets[s][0]) << 24 | uint32_t(m_octets[s][1]) << 16 |
                                      uint32_t(m_octets[s][2]) << 8 | m_octets[s][3]);
}
