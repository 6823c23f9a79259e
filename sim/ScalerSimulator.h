#pragma once

#include "CommandSplitter.h"
#include "FrameReceiver.h"
#include "ScalerState.h"
#include "Session.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class QTcpServer;

namespace OxsSim {

// A scaler of the Orlan family on loopback sockets and serial lines: it answers the text protocol
// like the hardware, reports its own changes, and misbehaves on request.
class ScalerSimulator : public QObject {
    Q_OBJECT
  public:
    // Delays of the scaler's own follow-up reports, in milliseconds.
    struct Timings {
        int takeMs = 300;     // input selected -> TAKEEVA back to 1
        int storeMs = 500;    // last settings change -> STORE back to 0
        int frameJobMs = 400; // frame record/delete started -> done
        int settleMs = 20;    // host pause after which a command held for a longer mnemonic is taken
    };

    static constexpr quint16 kDefaultPort = 10500;

    explicit ScalerSimulator(int model = 33, QObject *parent = nullptr);
    ~ScalerSimulator() override;

    int model() const { return m_state.model(); }
    int inputCount() const { return m_state.inputCount(); }

    // Applying fault settings also restarts the clock of the drop window.
    void setFaults(const FaultSettings &faults);
    const FaultSettings &faults() const { return m_faults.settings(); }
    void setTimings(const Timings &timings) { m_timings = timings; }
    const Timings &timings() const { return m_timings; }

    // Each returns the bound port (port 0 picks a free one), or 0 with *error set.
    quint16 startTcp(quint16 port = kDefaultPort, const QHostAddress &address = QHostAddress::LocalHost,
                     QString *error = nullptr);
    quint16 startUdp(quint16 port = kDefaultPort, const QHostAddress &address = QHostAddress::LocalHost,
                     QString *error = nullptr);
    // Creates a pseudo-terminal in raw mode; returns the path a host opens, or empty with *error set.
    QString startPty(QString *error = nullptr);
    // Serves an existing terminal device (raw, 9600 baud, 8N1).
    bool openTty(const QString &path, QString *error = nullptr);
    // Closes every transport and session.
    void stop();

    quint16 tcpPort() const { return m_tcpPort; }
    quint16 udpPort() const { return m_udpPort; }
    QString ptyPath() const { return m_ptyPath; }
    QList<Session *> sessions() const;

    ScalerState &state() { return m_state; }
    const ScalerState &state() const { return m_state; }
    quint32 value(int index) const { return m_state.value(index); }
    // Changes a variable as the scaler itself would (a new measurement, a status) and reports it to
    // every host.
    void setReported(int index, quint32 value);
    // Sends one line (line end added) to every host.
    void broadcast(const QByteArray &line);

    // Frame uploads over a serial session: how they are taken, and what the last complete one stored.
    void setUploadSettings(const UploadSettings &settings) { m_upload = settings; }
    const UploadSettings &uploadSettings() const { return m_upload; }
    // Also writes every stored field to this BMP file (none when empty).
    void setSaveFramePath(const QString &path) { m_saveFramePath = path; }
    QImage storedFrame() const { return m_storedFrame; }
    int uploadsStored() const { return m_uploadsStored; }
    int uploadsAborted() const { return m_uploadsAborted; }

    // Commands as received, oldest first ("100H", "?", "#"), including those left unanswered.
    QStringList commandLog() const { return m_log; }
    int commandCount() const { return m_commandCount; }
    void clearCommandLog();

    // Carries out one command from a session; the text protocol handler calls it.
    void handleCommand(Session &session, const SimCommand &cmd);
    // The default handler for a new session: the text protocol, or what the factory makes when one is set
    // (before the transports are started, since the UDP and serial sessions exist from the start).
    std::unique_ptr<ProtocolHandler> makeTextHandler();
    using HandlerFactory = std::function<std::unique_ptr<ProtocolHandler>()>;
    void setHandlerFactory(HandlerFactory factory) { m_handlerFactory = std::move(factory); }

  signals:
    void commandReceived(const QString &command, const QString &peer);
    void lineSent(const QByteArray &line, const QString &peer);
    void sessionOpened(OxsSim::Session *session);
    void uploadEnded(bool stored);

  private:
    void addSession(Session *session);
    void removeSession(Session *session);
    void reply(Session &session, const QList<QByteArray> &lines, bool queryAll = false);
    void pulseStore();
    void startUpload(Session &session);
    void streamTick();
    static bool listed(const QStringList &mnemonics, const QByteArray &mnemonic);

    static constexpr int kMaxLog = 10000;

    ScalerState m_state;
    FaultInjector m_faults;
    Timings m_timings;
    QTcpServer *m_tcpServer = nullptr;
    QList<QPointer<Session>> m_sessions;
    quint16 m_tcpPort = 0;
    quint16 m_udpPort = 0;
    QString m_ptyPath;
    QTimer m_takeTimer;
    QTimer m_storeTimer;
    QTimer m_frameTimer;
    QTimer m_streamTimer;
    QElapsedTimer m_streamClock;
    qint64 m_streamTicks = 0; // stream ticks carried out since the clock started
    quint32 m_streamCount = 0;
    HandlerFactory m_handlerFactory;
    UploadSettings m_upload;
    QString m_saveFramePath;
    QImage m_storedFrame;
    int m_uploadsStored = 0;
    int m_uploadsAborted = 0;
    QStringList m_log;
    int m_commandCount = 0;
};

} // namespace OxsSim
