#pragma once

#include "SerialDevices.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// oxsctl ports and scan: the serial devices of this computer, and which of them has a scaler on it.
namespace OxsCtl {

// ports: one aligned line per device under a header, or "no serial device found"; with quiet only the
// name to open each device by (its stable name when it has one).
QString portsText(const QList<SerialDevices::Device> &devices, bool quiet);
// ports --json: one array of {path, stablePath, description, manufacturer, serialNumber}.
QString portsJson(const QList<SerialDevices::Device> &devices);

struct ProbeResult {
    enum class Outcome { Scaler, UnknownModel, NoAnswer, CannotOpen };

    SerialDevices::Device device;
    Outcome outcome = Outcome::NoAnswer;
    uint32_t model = 0; // the model code it answered with (Scaler, UnknownModel)
    QString reason;     // why it could not be opened (CannotOpen)

    // "Orlan Plus (model 33)", "unknown model code 7", "no answer", or the reason.
    QString text() const;
};

// scan: aligned lines (device, stable name, result), or with quiet the stable name of each scaler found.
QString scanText(const QList<ProbeResult> &results, bool quiet);
// scan --json: one array of the ports objects with "result" ("scaler", "unknown model", "no answer",
// "cannot open") and "model", "modelName" or "reason" where they apply.
QString scanJson(const QList<ProbeResult> &results);
// kExitOk when a known scaler answered on at least one device, else kExitNoScaler.
int scanExitCode(const QList<ProbeResult> &results);

// Probes every device at once with the driver's serial settings and its identity query, and nothing
// else: open, send the query, wait for a DEV answer until the time-out, close. A device that cannot be
// opened (busy, not permitted, gone) is left alone. Runs on the event loop; `finished` is called once,
// with the results in the order of the devices given.
class Scanner : public QObject {
    Q_OBJECT
  public:
    Scanner(QList<SerialDevices::Device> devices, int timeoutMs, QObject *parent = nullptr);
    ~Scanner() override;

    void start();
    // Closes every device still open; `finished` is not called afterwards.
    void stop();

    QList<ProbeResult> results() const { return m_results; }
    std::function<void(const QList<ProbeResult> &results)> finished;

  private:
    class Probe;

    void probeDone(qsizetype index, const ProbeResult &result);

    QList<ProbeResult> m_results;
    std::vector<std::unique_ptr<Probe>> m_probes;
    int m_timeoutMs;
    int m_pending = 0;
    bool m_stopped = false;
};

} // namespace OxsCtl
