#pragma once

#include "CtlArgs.h"
#include "CtlValues.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class TOrlan_d;

namespace OxsCtl {

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
};

// Checks the names, values and escapes of the command. Returns kExitOk, or the exit code with a message
// for standard error in *why. Nothing here needs the link.
int prepareRequest(const Options &options, Request &request, QString *why);

// Opens the link the options choose on a freshly created driver. Returns kExitOk, or kExitPortFailed with
// the reason in *why. A TCP connection that is refused is not a failure here: the driver keeps retrying.
int openLink(TOrlan_d &driver, const Options &options, QString *why);

// Runs one command on the driver's events and reports the exit code through `finished`, once.
// Takes over the driver's event handlers for its lifetime.
class Runner : public QObject {
    Q_OBJECT
  public:
    using Writer = std::function<void(const QString &text)>;

    // How long send listens for replies once its text is out.
    static constexpr int kReplyWindowMs = 1000;

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
    void onTimeout();

    void printReadResults();
    void sendNext();
    void sendCurrent();
    void checkRowReply(uint32_t reported);
    void checkNetworkSetting();
    void confirm(const QString &reported, bool asked);
    bool dumpRunning() const;
    bool expectingReply() const { return m_current >= 0 && m_awaiting && m_sent; }

    void watchLine(const QString &name, const QString &value);
    void watchNetwork();

    void finish(int code);

    TOrlan_d &m_driver;
    Request m_request;
    Writer m_out;
    Writer m_err;
    QTimer m_timeout;
    QTimer m_replyWindow;
    bool m_finished = false;
    bool m_connectedOnce = false;

    // set
    int m_current = -1;      // assignment in progress
    bool m_awaiting = false; // it is not confirmed yet
    bool m_sent = false;     // its command went out

    // watch
    quint64 m_cause = 0;          // advances with every received message and link event
    quint64 m_devPrinted = ~0ull; // cause of the last DEV line (the driver raises its event twice)
    int m_shownConnected = 0;
    int m_shownReady = 0;
    QStringList m_shownNetwork;
};

} // namespace OxsCtl
