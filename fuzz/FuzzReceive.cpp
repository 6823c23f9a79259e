// libFuzzer target for the driver's receive path: bytes arrive through the serial, UDP and TCP entry
// points, in text and raw mode, while the event handlers read the driver and call back into it (set
// values, switch the mode, feed more data, step the link) the way the window and oxsctl do.
//
// Input: the first byte picks the link and the starting state, the rest is the received data. A 0xFF
// byte followed by an operation byte acts instead of being received; see operate(). Text without 0xFF
// (a recorded dump) is received as it stands, in chunks whose size the first byte sets.

#include "Link.h"
#include "Orlan_d.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

// A transport that is always open and drops what is sent.
class NullLink : public TLink {
  public:
    bool Open() override { return true; }
    void Close() override {}
    bool IsActive() const override { return true; }
    bool Send(const QByteArray &) override { return true; }
};

constexpr uint8_t kEscape = 0xFF;
constexpr int kMaxDepth = 4;     // handlers that feed data back nest at most this deep
constexpr int kMaxFeedBack = 64; // and do so this often per input: a running parse takes what they append
const QString kScaler = QStringLiteral("192.168.0.10");

class Harness {
  public:
    explicit Harness(uint8_t config) {
        for (tConnectionType t : {CON_RS232, CON_UDP, CON_TCP})
            m_driver.ReplaceLink(t, std::make_unique<NullLink>());
        m_driver.SetLinkTimerEnabled(false);
        m_driver.SetIpRemoteAddress(kScaler);
        m_driver.SetConType(static_cast<tConnectionType>(config % 3));
        if (config & 0x04) m_driver.SetConMode(MODE_RAW);
        if (config & 0x08) m_driver.SetForceConn(true);
        m_chunk = 1 + (config >> 4) * 7;
        installHandlers();
    }

    void run(const uint8_t *data, size_t size) {
        size_t start = 0;
        for (size_t i = 0; i < size; ++i) {
            if (data[i] != kEscape) continue;
            receive(data + start, i - start);
            if (i + 1 < size) operate(data[i + 1]);
            start = i + 2;
            ++i;
        }
        if (start < size) receive(data + start, size - start);
    }

  private:
    void receive(const uint8_t *data, size_t size) {
        for (size_t at = 0; at < size; at += m_chunk) {
            const size_t n = std::min(m_chunk, size - at);
            deliver(QByteArray(reinterpret_cast<const char *>(data + at), static_cast<qsizetype>(n)));
        }
    }

    void deliver(const QByteArray &bytes) {
        switch (m_driver.ConType()) {
        case CON_RS232:
            m_driver.SerialReceive(bytes);
            break;
        case CON_UDP:
            m_driver.UdpReceive(bytes, kScaler, quint16(m_driver.IpRemotePort()));
            break;
        case CON_TCP:
            m_driver.TcpReceive(bytes);
            break;
        }
    }

    void operate(uint8_t op) {
        const uint8_t arg = op >> 4;
        switch (op & 0x0F) {
        case 0:
            m_driver.SetConMode(m_driver.ConMode() == MODE_RAW ? MODE_VAR : MODE_RAW);
            break;
        case 1: {
            QByteArray raw;
            m_driver.ReadRawData(raw);
            break;
        }
        case 2:
            m_driver.SetConType(static_cast<tConnectionType>(arg % 3));
            break;
        case 3:
            m_driver.StepLink();
            break;
        case 4: // a datagram from someone else: ignored
            m_driver.UdpReceive(QByteArray("HP1\r\n"), QStringLiteral("10.0.0.1"), 10500);
            break;
        case 5:
            m_driver.SetForceConn(!m_driver.ForceConn());
            break;
        case 6:
            m_chunk = 1 + size_t(arg) * 3;
            break;
        case 7:
            m_handlersCallBack = !m_handlersCallBack;
            break;
        case 8:
            m_driver.SetValue(OrlanVars::VAR_PCHAN, arg);
            m_driver.SetValue(OrlanVars::VAR_PADIP, arg);
            break;
        case 9:
            m_driver.SetRS232busy(arg & 1);
            break;
        default:
            deliver(QByteArray(1, char(op)));
            break;
        }
    }

    void installHandlers() {
        m_driver.OnRecString = [this](TOrlan_d *d, int32_t) {
            const QByteArray msg = d->receivedString();
            if (!m_handlersCallBack || msg.isEmpty()) return;
            // A message ending in some digits makes the handler switch to raw mode or answer with data.
            switch (uint8_t(msg.back()) % 8) {
            case 1:
                d->SetConMode(MODE_RAW);
                break;
            case 3:
                feedBack(QByteArray("DEV33\r\nPCH2\r\nPEN1\r\n"));
                break;
            case 5:
                d->SendText(msg);
                break;
            default:
                break;
            }
        };
        m_driver.OnRecData = [this](TOrlan_d *d, int32_t) {
            QByteArray raw;
            d->ReadRawData(raw);
            if (m_handlersCallBack && raw.contains('\r')) {
                d->SetConMode(MODE_VAR);
                feedBack(raw);
            }
        };
        for (int i = 0; i < OrlanVars::VAR_COUNT; ++i) {
            if (TOrlanNotifyEvent *event = m_driver.ChangeEvent(i))
                *event = [this, i](TOrlan_d *d, int32_t) { onChange(d, i); };
        }
        m_driver.OnConnected = [](TOrlan_d *d, int32_t) { (void)d->Connected(); };
        m_driver.OnReady = [](TOrlan_d *d, int32_t) { (void)d->Ready(); };
        m_driver.ONRS232busy = [](TOrlan_d *d, int32_t) { d->SetRS232busy(false); };
    }

    void onChange(TOrlan_d *d, int index) {
        const uint32_t value = d->Value(index);
        // What the window reads in its handlers: the per-input arrays (also out of range), the addresses.
        for (int in = -1; in <= TOrlan_d::kInputSlots; ++in)
            m_sink += d->InputPENA(in) + d->InputPRGBI(in) + d->InputPISTD(in) + d->InputPPROC(in);
        m_sink += uint32_t(d->LOCAL_IP().size() + d->REMOTE_IP().size() + d->GATEWAY_IP().size() +
                           d->NETMASK().size() + d->LOCAL_PORT() + d->REMOTE_PORT());
        if (!m_handlersCallBack) return;
        switch (value % 7) {
        case 1: // a control set by the event writes back
            d->SetValue(index, value + 1);
            break;
        case 2:
            d->SetInputPRGBI(int(value % 9) - 1, value);
            break;
        case 4:
            feedBack(QByteArray::number(value) + "HP\r\nCH" + QByteArray::number(value));
            break;
        case 6:
            d->SetLOCAL_IP(d->REMOTE_IP());
            d->SetNETMASK(d->NETMASK());
            break;
        default:
            break;
        }
    }

    void feedBack(const QByteArray &bytes) {
        if (m_depth >= kMaxDepth || m_feedBacks >= kMaxFeedBack) return;
        ++m_depth;
        ++m_feedBacks;
        deliver(bytes);
        --m_depth;
    }

    TOrlan_d m_driver;
    size_t m_chunk = 1;
    bool m_handlersCallBack = true;
    int m_depth = 0;
    int m_feedBacks = 0;
    uint32_t m_sink = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    Harness harness(data[0]);
    harness.run(data + 1, size - 1);
    return 0;
}
