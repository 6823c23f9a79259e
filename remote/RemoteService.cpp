#include "RemoteService.h"

#include "Backup.h"
#include "DeviceVariables.h"
#include "Orlan_d.h"
#include "Restore.h"
#include "ScalerModels.h"
#include "Writer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <cmath>
#include <vector>

namespace OxsRemote {

using namespace OxsControl;
using namespace OrlanVars;

namespace {

// The readable targets in table order, and which of them a row's report may change.
struct TargetTable {
    QList<Target> targets;
    std::vector<int> rowTarget; // per row: position in targets, or -1

    TargetTable() : rowTarget(VAR_COUNT, -1) {
        QString why;
        for (const Target &t : dumpTargets())
            if (checkReadable(t, &why) == Problem::None) targets << t;
        for (int i = 0; i < targets.size(); ++i)
            if (targets[i].kind == TargetKind::Row) rowTarget[std::size_t(targets[i].index)] = i;
    }
};

const TargetTable &targetTable() {
    static const TargetTable table;
    return table;
}

// Rows whose reports make up the address, port and netmask settings.
bool isNetworkRow(int index) {
    const Kind kind = kRows[index].kind;
    return kind == Kind::OCTET || kind == Kind::PORT || kind == Kind::NETMASK;
}

bool sameTarget(const Target &a, const Target &b) {
    return a.kind == b.kind && (a.kind != TargetKind::Row || a.index == b.index);
}

// The text the command line would take for a JSON value, or false when its type cannot be one.
bool valueText(const Target &target, const QJsonValue &value, QString &text) {
    const bool textual = target.isAddress() || target.kind == TargetKind::Netmask;
    if (value.isString()) {
        text = value.toString();
        return true;
    }
    if (textual) return false;
    if (value.isBool()) {
        if (target.kind != TargetKind::Row || kRows[target.index].kind != Kind::BOOL) return false;
        text = value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        return true;
    }
    if (value.isDouble()) {
        const double d = value.toDouble();
        // Beyond 2^53 a JSON number is not exact; the range check refuses what is left.
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9007199254740992.0)
            text = QString::number(static_cast<qint64>(d));
        else
            text = QString::number(d, 'g', 17);
        return true;
    }
    return false;
}

QString typeName(const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 17);
    default:
        return QStringLiteral("null");
    }
}

// A reported value's text (as the writer hands it over) as JSON of the target's type.
QJsonValue jsonFromText(const Target &target, const QString &text) {
    if (target.isAddress() || target.kind == TargetKind::Netmask) return text;
    if (target.kind == TargetKind::Row && kRows[target.index].kind == Kind::BOOL)
        return text != QLatin1String("0");
    return QJsonValue(text.toLongLong());
}

QJsonArray stringArray(const QStringList &list) {
    QJsonArray a;
    for (const QString &s : list)
        a.append(s);
    return a;
}

} // namespace

Reply Reply::error(int status, const QString &message) {
    return {status, QJsonObject{{QStringLiteral("error"), message}}};
}

QJsonValue jsonValue(const Entry &entry) {
    switch (entry.type) {
    case Entry::Type::Boolean:
        return entry.number != 0;
    case Entry::Type::Text:
        return entry.text;
    case Entry::Type::Signed:
        return QJsonValue(static_cast<qint64>(static_cast<int32_t>(entry.number)));
    case Entry::Type::Number:
        break;
    }
    return QJsonValue(static_cast<qint64>(entry.number));
}

QString linkDescription(const TOrlan_d &driver) {
    const QString endpoint = driver.IpRemoteAddress() + u':' + QString::number(driver.IpRemotePort());
    switch (driver.ConType()) {
    case CON_UDP:
        return QStringLiteral("UDP (%1)").arg(endpoint);
    case CON_TCP:
        return QStringLiteral("TCP (%1)").arg(endpoint);
    case CON_RS232:
        break;
    }
    return QStringLiteral("RS232 (%1)").arg(driver.Port());
}

// One write in flight: its writer, its time limit and whom to answer.
struct RemoteService::PendingWrite {
    explicit PendingWrite(TOrlan_d &driver) : writer(driver) {}
    Assignment assignment;
    ValueWriter writer;
    QTimer timeout;
    Answer answer;
    bool started = false;
    bool done = false;
};

// The restore that runs, and the answers collected for its reply.
struct RemoteService::RunningRestore {
    std::unique_ptr<Restore> restore;
    Answer answer;
    QJsonArray answers;
};

RemoteService::RemoteService(TOrlan_d &driver, QObject *parent)
    : QObject(parent), m_driver(driver), m_session(driver) {
    connect(&driver, &TOrlan_d::messageMatched, this, &RemoteService::onMessage);
    connect(&driver, &TOrlan_d::variableReported, this, &RemoteService::onReported);
    connect(&driver, &TOrlan_d::connectedChanged, this, &RemoteService::onConnectedChanged);
    m_connected = driver.Connected();
}

RemoteService::~RemoteService() = default;

QJsonObject RemoteService::status() const {
    const uint32_t model = m_driver.Connected() ? m_driver.Value(VAR_DEV) : 0;
    QJsonObject o{{QStringLiteral("connected"), m_driver.Connected()},
                  {QStringLiteral("ready"), m_driver.Ready()},
                  {QStringLiteral("link"), linkDescription(m_driver)}};
    o.insert(QStringLiteral("model"), m_driver.Connected() ? QJsonValue(qint64(model)) : QJsonValue());
    o.insert(QStringLiteral("modelName"),
             m_driver.Connected() ? QJsonValue(Models::ModelName(model)) : QJsonValue());
    return o;
}

QJsonValue RemoteService::currentValue(const Target &target) const {
    if (!m_driver.Connected()) return QJsonValue();
    const bool model = target.kind == TargetKind::Row && target.index == VAR_DEV;
    if (!model && !m_session.log().reported(target)) return QJsonValue();
    return jsonValue(readEntry(m_driver, target));
}

QJsonObject RemoteService::variables() const {
    QJsonObject o;
    for (const Target &t : targetTable().targets)
        o.insert(t.name, currentValue(t));
    return o;
}

QByteArray RemoteService::variablesJson() const {
    if (m_variablesJson.isEmpty())
        m_variablesJson = QJsonDocument(variables()).toJson(QJsonDocument::Compact);
    return m_variablesJson;
}

Reply RemoteService::variable(const QString &name) const {
    Target t;
    if (!lookupTarget(name, t)) return Reply::error(404, QStringLiteral("unknown variable '%1'").arg(name));
    QString why;
    if (checkReadable(t, &why) != Problem::None) return Reply::error(403, why);
    return {200, QJsonObject{{QStringLiteral("name"), t.name}, {QStringLiteral("value"), currentValue(t)}}};
}

void RemoteService::set(const QString &name, const QJsonValue &value, Answer answer) {
    Target t;
    if (!lookupTarget(name, t))
        return answer(Reply::error(404, QStringLiteral("unknown variable '%1'").arg(name)));
    QString why;
    if (checkSettable(t, &why) != Problem::None) return answer(Reply::error(403, why));
    QString text;
    Value checked;
    if (!valueText(t, value, text)) {
        // The same message the command line gives, with the JSON value in place of the text.
        parseValue(t, QStringLiteral("x"), checked, &why);
        return answer(Reply::error(400, why.replace(QStringLiteral("'x'"), typeName(value))));
    }
    if (parseValue(t, text, checked, &why) != Problem::None) return answer(Reply::error(400, why));
    if (!m_driver.Connected()) return answer(Reply::error(503, QStringLiteral("no scaler is connected")));

    auto write = std::make_unique<PendingWrite>(m_driver);
    PendingWrite *w = write.get();
    w->assignment = Assignment{t, checked, {}};
    w->answer = std::move(answer);
    w->timeout.setSingleShot(true);
    w->timeout.setInterval(kConfirmMs);
    connect(&w->timeout, &QTimer::timeout, this, [this, w] {
        finishWrite(w, Reply::error(
                           504, QStringLiteral("%1=%2 was sent, but the scaler did not report %1 within %3 s")
                                    .arg(w->assignment.target.name, assignedText(w->assignment))
                                    .arg(kConfirmMs / 1000)));
    });
    w->writer.answered = [this, w](const Assignment &a, const QString &reported, bool) {
        finishWrite(w, {200, QJsonObject{{QStringLiteral("name"), a.target.name},
                                         {QStringLiteral("value"), jsonFromText(a.target, reported)}}});
    };
    w->timeout.start();
    // A second write of the same variable waits for the first one's answer: that report answers the first.
    bool busy = false;
    for (const auto &p : m_pending)
        busy = busy || (!p->done && sameTarget(p->assignment.target, t));
    m_pending.push_back(std::move(write));
    if (!busy) {
        w->started = true;
        w->writer.write({w->assignment});
    }
}

void RemoteService::finishWrite(PendingWrite *w, const Reply &reply) {
    if (w->done) return;
    w->done = true;
    w->timeout.stop();
    w->writer.stop();
    const Answer answer = std::move(w->answer);
    // The next write of the same variable goes out now.
    for (const auto &p : m_pending)
        if (!p->done && !p->started && sameTarget(p->assignment.target, w->assignment.target)) {
            p->started = true;
            p->writer.write({p->assignment});
            break;
        }
    // The writer may be on the stack below: the finished entries go once control is back in the loop.
    QTimer::singleShot(0, this, [this] { m_pending.remove_if([](const auto &p) { return p->done; }); });
    if (answer) answer(reply);
}

Reply RemoteService::backup(QByteArray *json) const {
    if (!m_driver.Connected() || !m_driver.Ready())
        return Reply::error(503, QStringLiteral("no scaler is connected and ready"));
    *json = backupJson(m_driver, m_session.log());
    return {};
}

void RemoteService::restore(const QByteArray &json, bool dryRun, int valueTimeoutMs, Answer answer) {
    Backup b;
    QString why;
    if (!parseBackup(json, b, &why)) return answer(Reply::error(400, why));
    if (!m_driver.Connected() || !m_driver.Ready())
        return answer(Reply::error(503, QStringLiteral("no scaler is connected and ready")));
    if (m_restore) return answer(Reply::error(503, QStringLiteral("another restore is running")));
    const uint32_t dev = m_driver.Value(VAR_DEV);
    if (dev != b.model)
        return answer(Reply::error(
            409, QStringLiteral("the backup is of an %1 (model %2); the scaler is an %3 (model %4)")
                     .arg(Models::ModelName(b.model))
                     .arg(b.model)
                     .arg(Models::ModelName(dev))
                     .arg(dev)));
    if (dryRun) {
        const RestorePlan plan = planRestore(b, m_driver, m_session.log());
        QJsonArray writes;
        for (qsizetype i = 0; i < plan.writes.size(); ++i) {
            const Assignment &a = plan.writes[i];
            if (plan.skipIfHeld[i] && scalerHolds(m_driver, m_session.log(), a)) continue;
            writes.append(QJsonObject{{QStringLiteral("name"), a.target.name},
                                      {QStringLiteral("value"), assignedText(a)}});
        }
        return answer({200, QJsonObject{{QStringLiteral("writes"), writes},
                                        {QStringLiteral("notes"), stringArray(plan.notes)}}});
    }
    m_restore = std::make_unique<RunningRestore>();
    m_restore->answer = std::move(answer);
    m_restore->restore = std::make_unique<Restore>(m_driver, b, valueTimeoutMs);
    Restore &r = *m_restore->restore;
    r.progress = [this](const Assignment &a, const QString &reported, bool asked) {
        m_restore->answers.append(QJsonObject{{QStringLiteral("name"), a.target.name},
                                              {QStringLiteral("sent"), assignedText(a)},
                                              {QStringLiteral("reported"), reported},
                                              {QStringLiteral("asked"), asked}});
    };
    r.finished = [this](const Restore::Result &result) {
        const QJsonObject body{{QStringLiteral("notes"), stringArray(m_restore->restore->plan().notes)},
                               {QStringLiteral("answers"), m_restore->answers},
                               {QStringLiteral("notTaken"), stringArray(result.notTaken)},
                               {QStringLiteral("notWritten"), stringArray(result.notWritten)},
                               {QStringLiteral("linkLost"), result.linkLost}};
        const Answer done = std::move(m_restore->answer);
        // The restore is on the stack below: it goes once control is back in the event loop.
        std::shared_ptr<RunningRestore> ended(m_restore.release());
        QTimer::singleShot(0, this, [ended] {});
        if (done) done({200, body});
    };
    r.start(m_session.log());
}

void RemoteService::onMessage(const QByteArray &message) {
    for (const auto &p : m_pending)
        if (p->started && !p->done) p->writer.received(message);
    if (m_restore) m_restore->restore->received(message);
}

void RemoteService::onReported(int index) {
    m_variablesJson.clear();
    for (const auto &p : m_pending)
        if (p->started && !p->done) p->writer.changed(index);
    if (m_restore) m_restore->restore->changed(index);
    if (!m_connected) return; // the identity answer comes before the scaler counts as found
    if (isNetworkRow(index)) {
        publishNetwork();
        return;
    }
    const int at = targetTable().rowTarget[std::size_t(index)];
    if (at >= 0) publish(targetTable().targets[at]);
}

void RemoteService::publish(const Target &target) {
    const QJsonValue value = currentValue(target);
    if (value.isNull()) return;
    auto it = m_published.find(target.name);
    if (it != m_published.end() && *it == value) return;
    m_published.insert(target.name, value);
    emit variableChanged(target.name, value);
}

void RemoteService::publishNetwork() {
    for (const Target &t : targetTable().targets)
        if (t.kind != TargetKind::Row) publish(t);
}

void RemoteService::onConnectedChanged() {
    m_variablesJson.clear();
    const bool connected = m_driver.Connected();
    if (connected == m_connected) return;
    m_connected = connected;
    for (const auto &p : m_pending)
        if (p->started && !p->done) p->writer.connectionChanged();
    if (m_restore) m_restore->restore->connectionChanged();
    if (connected) {
        emit scalerConnected(int(m_driver.Value(VAR_DEV)));
        return;
    }
    // What was reported belongs to the old connection.
    m_published.clear();
    for (const auto &p : m_pending)
        finishWrite(p.get(), Reply::error(503, QStringLiteral("the link to the scaler was lost")));
    emit scalerLost();
}

} // namespace OxsRemote
