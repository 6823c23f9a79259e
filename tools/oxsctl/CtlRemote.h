#pragma once

#include "CtlOutput.h"
#include "CtlRunner.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QNetworkReply;
class QWebSocket;

// oxsctl --remote: the commands through the running program's remote control (HTTP and its WebSocket)
// instead of a link of our own, with the output and exit codes of the commands on a link.
namespace OxsCtl {

// Takes the token from OXS_REMOTE_TOKEN when --remote was given without --token. Returns false with the
// reason in *why for a token that cannot go into a header.
bool takeEnvironmentToken(Options &options, QString *why);

// The exit code for an error status the program answered a command with.
int exitCodeForStatus(int httpStatus, Command command);

// The program's link description as status prints a link: "TCP (127.0.0.1:10500)" -> "TCP 127.0.0.1:10500",
// "RS232 (COM1)" -> "serial COM1"; anything else as it is.
QString linkFromRemote(const QString &description);

// A value as the program sends it (a number, true/false for an on/off row, a string for an address or the
// netmask) as the entry get prints. False for null (not reported) or a value the variable cannot hold.
bool entryFromJson(const OxsControl::Target &target, const QJsonValue &value, OxsControl::Entry &entry);
// The JSON value a write of a checked value sends.
QJsonValue jsonForValue(const OxsControl::Target &target, const OxsControl::Value &value);
// Whether the program's answer to a write reports the value written (on/off rows compare as on/off).
bool sameValue(const OxsControl::Target &target, const OxsControl::Value &sent,
               const OxsControl::Entry &reported);

// What a backup file leaves out of the settings of its model, as backup reports it.
OxsControl::BackupGaps backupGaps(const OxsControl::Backup &backup);

// Runs one prepared command through the program at request.options.remoteUrl and reports the exit code
// through `finished`, once. Everything runs on the event loop.
class RemoteRunner : public QObject {
    Q_OBJECT
  public:
    // How often a program without a connected (and ready) scaler is asked again, within the time-out.
    static constexpr int kRetryMs = 250;
    // watch: how often the program is asked whether its scaler became ready.
    static constexpr int kReadyPollMs = 500;
    // The shortest wait for an answer to a request.
    static constexpr int kMinAnswerMs = 5000;

    RemoteRunner(Request request, Writer out, Writer err, QObject *parent = nullptr);
    ~RemoteRunner() override;

    void start();
    // SIGINT or SIGTERM: watch ends normally, every other command as interrupted.
    void interrupt();

    std::function<void(int exitCode)> finished;

  private:
    struct Answer {
        int status = 0;
        QJsonObject body;
        QByteArray raw;
    };
    using Then = std::function<void(const Answer &)>;

    // Sends a request; `then` gets every answer of the program (errors included). A failed connection,
    // an answer that is no JSON and a refused token end the command here.
    void send(const QByteArray &verb, const QString &path, const QByteArray &body, Then then,
              bool unlimited = false);
    // Asks for the program's status until its scaler is connected (and with needReady, ready), within
    // the time-out.
    void waitForScaler(bool needReady, std::function<void(const QJsonObject &status)> then);
    // Runs `again` after kRetryMs, or ends the command with status 4 when the time-out is over by then.
    void retry(std::function<void()> again, const QString &reason);
    // Ends the command with the exit code and message of an error answer.
    void failAnswer(const Answer &answer);
    void fail(int code, const QString &message);
    void finish(int code);
    void abortAll();
    QString program() const;

    void runStatus(const QJsonObject &status);
    void getNext(int at);
    void setNext(int at);
    void runDump();
    void runBackup();
    void runRestore(const QJsonObject &status);
    void restoreAnswered(const QJsonObject &body);

    void watchStart();
    void watchSnapshot();
    void watchMessage(const QString &text);
    void watchShow(const OxsControl::Entry &entry);
    void watchLink(bool connected, bool ready);
    void pollReady();

    Request m_request;
    Writer m_out;
    Writer m_err;
    QNetworkAccessManager m_nam;
    QElapsedTimer m_clock;
    QTimer m_timeout;
    QTimer m_readyPoll;
    std::unique_ptr<QWebSocket> m_socket;
    bool m_subscribed = false; // the WebSocket was open
    bool m_polling = false;    // watch: a status question about Ready is out
    bool m_finished = false;
    bool m_restoreSent = false;

    // get
    QList<OxsControl::Entry> m_entries;
    QStringList m_missing;

    // watch: what was printed last per name, so that only changes are printed
    QHash<QString, QString> m_shown;
    int m_shownConnected = 0;
    int m_shownReady = 0;
};

} // namespace OxsCtl
