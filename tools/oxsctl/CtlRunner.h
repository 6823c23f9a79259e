#pragma once

#include "Backup.h"
#include "CtlArgs.h"
#include "ReportLog.h"
#include "Restore.h"
#include "Values.h"
#include "Writer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TOrlan_d;
struct TLinkPacing;

namespace OxsCtl {

using namespace OxsControl;

// A command checked against the variable table, ready to run.
struct Request {
    struct Assignment {
        Target target;
        Value value;
    };

    Options options;
    QList<Target> targets;         // get
    QList<Assignment> assignments; // set, in the order given
    QByteArray text;               // send, escapes resolved
    QImage field;                  // upload: the 720 x 288 field to send
    Backup backup;                 // restore: the file's settings
    QByteArray backupText;         // restore: the file as read
};

// Loads the upload's picture and fits it into the field. Returns kExitOk, kExitBadPicture when the file
// cannot be read, or kExitUsage when its size needs a --fit that was not given; the reason in *why.
int prepareField(const Options &options, QImage &field, QString *why);

// Checks the names, values and escapes of the command. Returns kExitOk, or the exit code with a message
// for standard error in *why. Nothing here needs the link.
int prepareRequest(const Options &options, Request &request, QString *why);

// How fast the driver looks for the scaler. Quick unless --paced; set, send and upload need no report of
// every variable, so they leave the request for it at the window's pause, by which time set and send are done
// and an upload has the line in raw mode.
TLinkPacing linkPacing(const Options &options);

// Opens the link the options choose on a freshly created driver and sets its pace. Returns kExitOk, or
// kExitPortFailed with the reason in *why. A TCP connect runs on from here; the Runner reports its failure.
int openLink(TOrlan_d &driver, const Options &options, QString *why);

// Why a serial port cannot be opened: the name, the device path it stands for, the system's reason and,
// when access is denied, how to get it.
QString serialOpenFailure(const QString &portName, const QString &systemText);

// Runs one command on the driver's events and reports the exit code through `finished`, once.
// Takes over the driver's event handlers for its lifetime.
class Runner : public QObject {
    Q_OBJECT
  public:
    using Writer = std::function<void(const QString &text)>;

    // How long send listens for replies once its text is out.
    static constexpr int kReplyWindowMs = 1000;
    // An identity query that went out at least this long before the time-out could have been answered.
    static constexpr int kAnswerTimeMs = 250;
    // How often a TCP connect that has not succeeded yet is checked for a failure.
    static constexpr int kConnectCheckMs = 20;

    Runner(TOrlan_d &driver, Request request, Writer out, Writer err, QObject *parent = nullptr);
    ~Runner() override;

    void start();
    // SIGINT or SIGTERM: watch ends normally, every other command as interrupted.
    void interrupt();

    std::function<void(int exitCode)> finished;

  private:
    void onConnected();
    void onReady();
    void onChange(int index);
    void onRecString();
    void onSentString();
    void onTimeout();
    void checkConnect();
    void onDumpEnded();

    bool readComplete() const;
    void printReadResults();
    bool failUnreported(const QList<Target> &targets);
    void onAnswered(const OxsControl::Assignment &a, const QString &reported, bool asked);
    void writeBackup();
    void planRestore();
    void dryRun();
    void restoreFinished(const Restore::Result &result);

    void watchLine(const Entry &entry);
    void watchNetwork();

    void finish(int code);

    TOrlan_d &m_driver;
    Request m_request;
    Writer m_out;
    Writer m_err;
    QTimer m_timeout;
    QTimer m_replyWindow;
    QTimer m_connectCheck;
    QElapsedTimer m_clock;
    qint64 m_firstProbeMs = -1; // first identity query on an open link, from start
    bool m_linkSeenOpen = false;
    bool m_finished = false;
    bool m_connectedOnce = false;
    int64_t m_invalidModel = -1; // the last model code a device answered with that is no Orlan's

    ReportLog m_session;        // what the scaler reported since it was found
    DumpWatch m_dump;           // its answer to the request for every variable
    QList<int> m_awaitedRows;   // the rows whose reports in that answer complete the command
    bool m_waitDumpEnd = false; // only the end of that answer completes it

    // set
    ValueWriter m_writer;
    bool m_writing = false;

    // restore
    std::unique_ptr<Restore> m_restore;
    bool m_planned = false;

    // watch: what was printed last, so that only changes are printed
    std::vector<std::optional<QString>> m_shownRows; // per row; empty before the first report
    int m_shownConnected = 0;
    int m_shownReady = 0;
    QStringList m_shownNetwork;
};

} // namespace OxsCtl
