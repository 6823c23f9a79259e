#include "CtlPorts.h"

#include "ComPort.h"
#include "CtlArgs.h"
#include "DeviceVariables.h"
#include "ScalerModels.h"
#include "Values.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>

namespace OxsCtl {

using SerialDevices::Device;

namespace {

// What is kept of a line that never ends: far more than any answer of the scaler.
constexpr qsizetype kMaxLineBytes = 4096;

QString orDash(const QString &text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QString stableOrDash(const Device &d) {
    return d.stablePath.isEmpty() || d.stablePath == d.path ? QStringLiteral("-") : d.stablePath;
}

QString openName(const Device &d) {
    return d.stablePath.isEmpty() ? d.path : d.stablePath;
}

// Rows of cells, each column as wide as its widest cell; the last column is not padded.
QString alignedRows(const QList<QStringList> &rows) {
    QList<qsizetype> widths;
    for (const QStringList &row : rows)
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (widths.size() <= c) widths << 0;
            widths[c] = std::max(widths[c], row[c].size());
        }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        text += line + QLatin1Char('\n');
    }
    return text;
}

QJsonObject deviceJson(const Device &d) {
    return {{QStringLiteral("path"), d.path},
            {QStringLiteral("stablePath"), d.stablePath},
            {QStringLiteral("description"), d.description},
            {QStringLiteral("manufacturer"), d.manufacturer},
            {QStringLiteral("serialNumber"), d.serialNumber}};
}

QString arrayText(const QJsonArray &array) {
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

const QString kNoDevice = QStringLiteral("no serial device found\n");

} // namespace

QString portsText(const QList<Device> &devices, bool quiet) {
    if (quiet) {
        QString text;
        for (const Device &d : devices)
            text += openName(d) + QLatin1Char('\n');
        return text;
    }
    if (devices.isEmpty()) return kNoDevice;
    QList<QStringList> rows{{QStringLiteral("DEVICE"), QStringLiteral("STABLE NAME"),
                             QStringLiteral("SERIAL"), QStringLiteral("DESCRIPTION")}};
    for (const Device &d : devices)
        rows << QStringList{d.path, stableOrDash(d), orDash(d.serialNumber), orDash(d.description)};
    return alignedRows(rows);
}

QString portsJson(const QList<Device> &devices) {
    QJsonArray array;
    for (const Device &d : devices)
        array << deviceJson(d);
    return arrayText(array);
}

QString ProbeResult::text() const {
    switch (outcome) {
    case Outcome::Scaler:
        return QStringLiteral("%1 (model %2)").arg(Models::ModelName(model)).arg(model);
    case Outcome::UnknownModel:
        return QStringLiteral("unknown model code %1").arg(model);
    case Outcome::NoAnswer:
        break;
    case Outcome::CannotOpen:
        return reason;
    }
    return QStringLiteral("no answer");
}

QString scanText(const QList<ProbeResult> &results, bool quiet) {
    if (quiet) {
        QString text;
        for (const ProbeResult &r : results)
            if (r.outcome == ProbeResult::Outcome::Scaler) text += openName(r.device) + QLatin1Char('\n');
        return text;
    }
    if (results.isEmpty()) return kNoDevice;
    QList<QStringList> rows{
        {QStringLiteral("DEVICE"), QStringLiteral("STABLE NAME"), QStringLiteral("RESULT")}};
    for (const ProbeResult &r : results)
        rows << QStringList{r.device.path, stableOrDash(r.device), r.text()};
    return alignedRows(rows);
}

QString scanJson(const QList<ProbeResult> &results) {
    QJsonArray array;
    for (const ProbeResult &r : results) {
        QJsonObject o = deviceJson(r.device);
        switch (r.outcome) {
        case ProbeResult::Outcome::Scaler:
            o.insert(QStringLiteral("result"), QStringLiteral("scaler"));
            o.insert(QStringLiteral("model"), qint64(r.model));
            o.insert(QStringLiteral("modelName"), Models::ModelName(r.model));
            break;
        case ProbeResult::Outcome::UnknownModel:
            o.insert(QStringLiteral("result"), QStringLiteral("unknown model"));
            o.insert(QStringLiteral("model"), qint64(r.model));
            break;
        case ProbeResult::Outcome::NoAnswer:
            o.insert(QStringLiteral("result"), QStringLiteral("no answer"));
            break;
        case ProbeResult::Outcome::CannotOpen:
            o.insert(QStringLiteral("result"), QStringLiteral("cannot open"));
            o.insert(QStringLiteral("reason"), r.reason);
            break;
        }
        array << o;
    }
    return arrayText(array);
}

int scanExitCode(const QList<ProbeResult> &results) {
    const bool found = std::any_of(results.begin(), results.end(), [](const ProbeResult &r) {
        return r.outcome == ProbeResult::Outcome::Scaler;
    });
    return found ? kExitOk : kExitNoScaler;
}

// ---------------------------------------------------------------------------------------------------------
// One device: the driver's port component with its settings (9600 8N1, no flow control), raw receive.

class Scanner::Probe {
  public:
    Probe(const Device &device, int timeoutMs, std::function<void(const ProbeResult &)> done)
        : m_result{device, ProbeResult::Outcome::NoAnswer, 0, {}}, m_done(std::move(done)) {
        m_timer.setSingleShot(true);
        m_timer.setInterval(timeoutMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { finishLater(ProbeResult::Outcome::NoAnswer); });
        m_port.SetReceiveMode(rmRAW);
        m_port.ReceiveCallBack = [this](const QByteArray &data) { received(data); };
        m_port.OnError = [this](TComPort *) {
            m_result.reason = SerialDevices::openFailureReason(
                m_result.device.path, QStringLiteral("the device failed while it was being asked"));
            finishLater(ProbeResult::Outcome::CannotOpen);
        };
    }

    ~Probe() {
        m_timer.stop();
        m_port.ReceiveCallBack = nullptr;
        m_port.OnError = nullptr;
        m_port.Close();
    }

    void start() {
        m_port.SetPort(m_result.device.path);
        try {
            m_port.Open();
        } catch (const EComError &e) {
            // "TCOMPORT : cannot open PORT\rSYSTEM TEXT"
            const QString text = QString::fromLocal8Bit(e.what());
            m_result.reason =
                SerialDevices::openFailureReason(m_result.device.path, text.section(QLatin1Char('\r'), 1));
            finishLater(ProbeResult::Outcome::CannotOpen);
            return;
        }
        m_timer.start();
        // The driver's identity query, framed as the driver sends it.
        m_port.Write(QByteArray(OrlanVars::kRows[OrlanVars::VAR_DEV].command));
    }

    void stop() {
        m_ended = true;
        m_timer.stop();
        m_port.Close();
    }

  private:
    void received(const QByteArray &data) {
        if (m_ended) return;
        // As the driver: zero bytes are dropped, lines end with CR LF.
        for (char c : data)
            if (c != '\0') m_line.append(c);
        for (;;) {
            const qsizetype end = m_line.indexOf("\r\n");
            if (end < 0) break;
            const QByteArray message = m_line.left(end);
            m_line.remove(0, end + 2);
            uint32_t value = 0;
            if (OxsControl::matchReplyRow(message, &value) == OrlanVars::VAR_DEV) {
                m_result.model = value;
                // Closing inside the port's own receive event is left to the event loop.
                finishLater(Models::IsKnownModel(value) ? ProbeResult::Outcome::Scaler
                                                        : ProbeResult::Outcome::UnknownModel);
                return;
            }
        }
        if (m_line.size() > kMaxLineBytes) m_line.remove(0, m_line.size() - kMaxLineBytes);
    }

    void finishLater(ProbeResult::Outcome outcome) {
        if (m_ended) return;
        m_ended = true;
        m_timer.stop();
        m_result.outcome = outcome;
        QTimer::singleShot(0, &m_port, [this] { close(); });
    }

    void close() {
        m_port.Close();
        m_done(m_result);
    }

    ProbeResult m_result;
    std::function<void(const ProbeResult &)> m_done;
    TComPort m_port;
    QTimer m_timer;
    QByteArray m_line;
    bool m_ended = false;
};

Scanner::Scanner(QList<Device> devices, int timeoutMs, QObject *parent)
    : QObject(parent), m_timeoutMs(timeoutMs) {
    for (const Device &d : devices)
        m_results << ProbeResult{d, ProbeResult::Outcome::NoAnswer, 0, {}};
}

Scanner::~Scanner() = default;

void Scanner::start() {
    m_pending = int(m_results.size());
    if (m_pending == 0) {
        QTimer::singleShot(0, this, [this] {
            if (!m_stopped && finished) finished(m_results);
        });
        return;
    }
    for (qsizetype i = 0; i < m_results.size(); ++i)
        m_probes.push_back(std::make_unique<Probe>(m_results[i].device, m_timeoutMs,
                                                   [this, i](const ProbeResult &r) { probeDone(i, r); }));
    for (const auto &probe : m_probes)
        probe->start();
}

void Scanner::stop() {
    m_stopped = true;
    for (const auto &probe : m_probes)
        probe->stop();
}

void Scanner::probeDone(qsizetype index, const ProbeResult &result) {
    m_results[index] = result;
    if (--m_pending > 0 || m_stopped) return;
    if (finished) finished(m_results);
}

} // namespace OxsCtl
