#pragma once

#include "ReportLog.h"
#include "SessionLog.h"
#include "Values.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>

#include <functional>
#include <list>
#include <memory>

class TOrlan_d;

// What other programs may do with the window's scaler, whatever they speak (HTTP, WebSocket, OSC): read
// the link state and the variables, write a variable and learn what the scaler reported, follow every
// change. No raw text goes to the scaler from here. Lives on the user-interface thread, beside the window,
// and watches the driver through its signals, so the window keeps every event handler.
namespace OxsRemote {

// An answer in HTTP's terms: a status code and a JSON body ({"error": "..."} unless the status is 200).
struct Reply {
    int status = 200;
    QJsonObject body;

    bool ok() const { return status == 200; }
    static Reply error(int status, const QString &message);
};

class RemoteService : public QObject {
    Q_OBJECT
  public:
    // How long a write waits for the scaler's report of the variable.
    static constexpr int kConfirmMs = 2000;

    explicit RemoteService(TOrlan_d &driver, QObject *parent = nullptr);
    ~RemoteService() override;

    // {"connected": true, "model": 33, "modelName": "Orlan Plus", "link": "TCP (127.0.0.1:10500)"}
    QJsonObject status() const;
    // Every readable variable in table order, name -> value; null for one not reported since the scaler was
    // found (and for every one while no scaler is connected).
    QJsonObject variables() const;
    // The same as compact JSON text, kept until the next report or change of the link (the most asked for).
    QByteArray variablesJson() const;
    // 200 {"name": "HPOS", "value": 128} (value null when not reported), 404 for an unknown name, 403 for a
    // variable that cannot be read.
    Reply variable(const QString &name) const;

    // Writes a variable: 200 {"name", "value"} with the value the scaler reported once it does, 504 when it
    // does not within kConfirmMs, 404 for an unknown name, 403 for a variable that cannot be written, 400
    // for a value of the wrong type or outside the writable range, 503 while no scaler is connected. In
    // the cases 404, 403, 400 and 503 nothing is sent and the answer comes at once (before set returns).
    // A number is taken for a numeric row (an integral JSON number, or a string the command line would
    // take), true/false or 0/1 for an on/off row, a dotted quad string for an address or the netmask.
    // answer is called exactly once, unless the service is destroyed first.
    using Answer = std::function<void(const Reply &)>;
    void set(const QString &name, const QJsonValue &value, Answer answer);
    // Writes in flight.
    int pendingWrites() const { return int(m_pending.size()); }

    // The backup file's text of what the scaler reported since it was found (oxsctl backup's format);
    // 503 while no scaler is ready.
    Reply backup(QByteArray *json) const;

    // Writes a backup file's text back (oxsctl restore), each value given valueTimeoutMs for its report.
    // 400 for a text that is no backup, 409 for a backup of another model, 503 while no scaler is ready or
    // while another restore runs. With dryRun nothing is written and the answer comes at once:
    // 200 {"writes": [{"name": "HPOS", "value": "120"}, ...], "notes": [...]}. Else 200 at the end:
    // {"notes": [...], "answers": [{"name", "sent", "reported", "asked": bool}, ...], "notTaken": [...],
    //  "notWritten": [...], "linkLost": bool}; values there are texts as oxsctl prints them.
    void restore(const QByteArray &json, bool dryRun, int valueTimeoutMs, Answer answer);

    // What the scaler reported since it was found.
    const OxsControl::ReportLog &session() const { return m_session.log(); }
    TOrlan_d &driver() const { return m_driver; }

  signals:
    // A variable's value changed, or was reported for the first time since the scaler was found.
    void variableChanged(const QString &name, const QJsonValue &value);
    // The scaler was found (its model code) or lost.
    void scalerConnected(int model);
    void scalerLost();

  private:
    struct PendingWrite;

    void onMessage(const QByteArray &message);
    void onReported(int index);
    void onConnectedChanged();
    void publish(const OxsControl::Target &target);
    void publishNetwork();
    void finishWrite(PendingWrite *write, const Reply &reply);
    QJsonValue currentValue(const OxsControl::Target &target) const;

    TOrlan_d &m_driver;
    OxsControl::SessionLog m_session; // first of the driver's observers: it records before the others look
    bool m_connected = false;
    QHash<QString, QJsonValue> m_published; // what variableChanged said last, per name
    mutable QByteArray m_variablesJson;     // variables() as text; empty once a report may have changed it
    std::list<std::unique_ptr<PendingWrite>> m_pending;
    struct RunningRestore;
    std::unique_ptr<RunningRestore> m_restore;
};

// The JSON value of an entry as oxsctl --json writes it: a number, true/false for an on/off row, a string
// for an address or the netmask.
QJsonValue jsonValue(const OxsControl::Entry &entry);
// "TCP (127.0.0.1:10500)", "UDP (127.0.0.1:10500)", "RS232 (COM1)".
QString linkDescription(const TOrlan_d &driver);

} // namespace OxsRemote
