#pragma once

#include "CtlRunner.h"
#include "Picture.h"
#include "ThreadFrame.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class TOrlan_d;

namespace OxsCtl {

// The exit code for an upload's result (1 stored, 2 aborted by the scaler, 3 by the operator, 4 time-out).
int uploadExitCode(int transferResult);

// Runs the upload command: waits for the scaler, sends the prepared field with the upload worker and
// reports the result through `finished`, once. Takes over the driver's OnConnected for its lifetime.
class UploadRunner : public QObject {
    Q_OBJECT
  public:
    using Writer = std::function<void(const QString &text)>;

    // How often the worker is looked at, and the progress line refreshed.
    static constexpr int kWatchMs = 100;

    // `progress` receives the progress line (without line end) while the upload runs; empty: none.
    UploadRunner(TOrlan_d &driver, Request request, Writer out, Writer err, Writer progress = {},
                 QObject *parent = nullptr);
    // Aborts an upload still running and waits until the line is back to the text protocol.
    ~UploadRunner() override;

    // The worker's waits (tests shorten them).
    void setTiming(const TFrameTiming &timing) { m_timing = timing; }
    void start();
    // SIGINT or SIGTERM: an upload under way is aborted; the command ends once the line is back to normal.
    void interrupt();

    std::function<void(int exitCode)> finished;

  private:
    void beginUpload();
    void watch();
    void finish(int code);

    TOrlan_d &m_driver;
    Request m_request;
    Writer m_out;
    Writer m_err;
    Writer m_progress;
    TFrameTiming m_timing;
    TPicture m_field;
    std::unique_ptr<TThreadFrame> m_worker;
    QTimer m_timeout;
    QTimer m_watch;
    QElapsedTimer m_clock;
    QString m_lastProgress;
    bool m_interrupted = false;
    bool m_finished = false;
};

} // namespace OxsCtl
