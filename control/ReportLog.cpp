#include "ReportLog.h"

#include "Orlan_d.h"
#include "ScalerModels.h"

namespace OxsControl {

using namespace OrlanVars;

namespace {

constexpr int kPerInputRows[] = {VAR_PENA, VAR_PRGBI, VAR_PISTD, VAR_PPROC};
constexpr uint32_t kLanOption = 2; // OPT bit value: the LAN module is installed
constexpr uint8_t kAllOctets = 0x0F;

bool isLanRow(int index) {
    return (index >= VAR_LANENABLE && index <= VAR_PADIP) || index == VAR_NETMASK ||
           index == VAR_DHCPENABLE || index == VAR_TCPIP;
}

// Rows that are reported once per input or per address slot, or never as a row of their own.
bool inDumpAsRow(int index) {
    switch (index) {
    case VAR_DEV:
    case VAR_DOLLARS:
    case VAR_queryall:
    case VAR_PENA:
    case VAR_PRGBI:
    case VAR_PISTD:
    case VAR_PPROC:
        return false;
    default:
        return kRows[index].kind != Kind::OCTET && kRows[index].kind != Kind::PORT;
    }
}

const char *const kAddressNames[] = {"LOCAL_IP", "REMOTE_IP", "GATEWAY_IP"};
const char *const kPortNames[] = {"LOCAL_PORT", "REMOTE_PORT"};

} // namespace

void ReportLog::clear() {
    m_rows.reset();
    for (auto &row : m_inputSlot)
        row.fill(-1);
    m_octets.fill(0);
    m_ports.fill(false);
}

int ReportLog::perInputIndex(int row) {
    for (int i = 0; i < 4; ++i)
        if (kPerInputRows[i] == row) return i;
    return -1;
}

bool ReportLog::record(const TOrlan_d &driver, const QByteArray &message) {
    const int index = matchReplyRow(message);
    if (index < 0) return false;
    bool fresh = !m_rows[index];
    m_rows[index] = true;

    if (const int p = perInputIndex(index); p >= 0) {
        // The driver stores the value in the slot PCHAN selects; slot 0 stands for every input.
        const uint32_t pchan = driver.Value(VAR_PCHAN);
        for (int in = 1; in <= kInputs; ++in) {
            if (pchan != 0 && pchan != uint32_t(in)) continue;
            int8_t &slot = m_inputSlot[std::size_t(p)][std::size_t(in)];
            fresh = fresh || slot < 0;
            slot = static_cast<int8_t>(pchan);
        }
    } else if (kRows[index].kind == Kind::OCTET) {
        const uint32_t padip = driver.Value(VAR_PADIP);
        const auto bit = static_cast<uint8_t>(1u << (index - VAR_IP4));
        for (int s = 1; s <= kSlots; ++s) {
            if (padip != 0 && padip != uint32_t(s)) continue;
            uint8_t &octets = m_octets[std::size_t(s - 1)];
            fresh = fresh || !(octets & bit);
            octets |= bit;
        }
    } else if (kRows[index].kind == Kind::PORT) {
        const uint32_t padip = driver.Value(VAR_PADIP);
        for (int s = 1; s <= 2; ++s) {
            if (padip != 0 && padip != uint32_t(s)) continue;
            fresh = fresh || !m_ports[std::size_t(s - 1)];
            m_ports[std::size_t(s - 1)] = true;
        }
    }
    return fresh;
}

int ReportLog::inputSlot(int row, int input) const {
    const int p = perInputIndex(row);
    if (p < 0 || input < 1 || input > kInputs) return -1;
    return m_inputSlot[std::size_t(p)][std::size_t(input)];
}

bool ReportLog::addressReported(int slot) const {
    return slot >= 1 && slot <= kSlots && m_octets[std::size_t(slot - 1)] == kAllOctets;
}

bool ReportLog::portReported(int slot) const {
    return slot >= 1 && slot <= 2 && m_ports[std::size_t(slot - 1)];
}

bool ReportLog::reported(const Target &target) const {
    switch (target.kind) {
    case TargetKind::LocalIp:
        return addressReported(1);
    case TargetKind::RemoteIp:
        return addressReported(2);
    case TargetKind::GatewayIp:
        return addressReported(3);
    case TargetKind::Netmask:
        return rowReported(VAR_NETMASK);
    case TargetKind::LocalPort:
        return portReported(1);
    case TargetKind::RemotePort:
        return portReported(2);
    case TargetKind::Row:
        break;
    }
    return rowReported(target.index);
}

uint32_t inputValue(const TOrlan_d &driver, int row, int slot) {
    switch (row) {
    case VAR_PENA:
        return driver.InputPENA(slot);
    case VAR_PRGBI:
        return driver.InputPRGBI(slot);
    case VAR_PISTD:
        return driver.InputPISTD(slot);
    default:
        return driver.InputPPROC(slot);
    }
}

uint32_t reportedInputValue(const TOrlan_d &driver, const ReportLog &log, int row, int input) {
    const int slot = log.inputSlot(row, input);
    return inputValue(driver, row, slot < 0 ? input : slot);
}

QStringList dumpMissing(const ReportLog &log, uint32_t model, bool lanModule) {
    QStringList missing;
    for (const Row &row : kRows) {
        if (!inDumpAsRow(row.index) || (isLanRow(row.index) && !lanModule)) continue;
        if (!log.rowReported(row.index)) missing << QLatin1String(row.property);
    }
    for (int in = 1; in <= Models::InputCount(model); ++in)
        for (int row : kPerInputRows)
            if (!log.inputReported(row, in))
                missing << QStringLiteral("%1 of input %2").arg(QLatin1String(kRows[row].property)).arg(in);
    if (lanModule) {
        for (int s = 1; s <= ReportLog::kSlots; ++s)
            if (!log.addressReported(s)) missing << QLatin1String(kAddressNames[s - 1]);
        for (int s = 1; s <= 2; ++s)
            if (!log.portReported(s)) missing << QLatin1String(kPortNames[s - 1]);
    }
    return missing;
}

// ---------------------------------------------------------------------------------------------------------

DumpWatch::DumpWatch(const TOrlan_d &driver, QObject *parent) : QObject(parent), m_driver(driver) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, &DumpWatch::finish);
}

void DumpWatch::reset() {
    m_state = State::Idle;
    m_complete = false;
    m_log.clear();
    m_quiet.stop();
}

void DumpWatch::begin() {
    m_state = State::Running;
    m_complete = false;
    m_log.clear();
    m_quiet.start();
}

// The driver is in LINK_READY from the moment its query-all goes out until it turns Ready.
void DumpWatch::received(const QByteArray &message) {
    if (m_state == State::Idle && m_driver.LinkState() == LINK_READY && !m_driver.Ready()) begin();
    if (m_state != State::Running) return;
    if (!m_log.record(m_driver, message)) return;
    m_quiet.start();
    // Complete once the driver has stored this message and the rest of its chunk.
    if (!m_checkPending) {
        m_checkPending = true;
        QTimer::singleShot(0, this, &DumpWatch::check);
    }
}

void DumpWatch::check() {
    m_checkPending = false;
    if (m_state != State::Running) return;
    const uint32_t model = m_driver.Value(VAR_DEV);
    if (!Models::IsKnownModel(model)) return;
    if (!dumpMissing(m_log, model, m_driver.Value(VAR_OPT) & kLanOption).isEmpty()) return;
    m_complete = true;
    finish();
}

void DumpWatch::readyChanged() {
    if (!m_driver.Ready()) return;
    if (m_state == State::Idle) m_state = State::Running; // an answer that reported nothing at all
    finish();
}

void DumpWatch::finish() {
    if (m_state != State::Running) return;
    m_state = State::Over;
    m_quiet.stop();
    if (ended) ended();
}

} // namespace OxsControl
