#include "CtlRemote.h"

#include "DeviceVariables.h"
#include "RemoteBodies.h"
#include "ScalerModels.h"
#include "Writer.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <QWebSocket>

#include <cmath>

namespace OxsCtl {

using namespace OxsControl;
using namespace OrlanVars;

namespace {

const QString kApi = QStringLiteral("/api/v1");

bool textual(const Target &t) {
    return t.isAddress() || t.kind == TargetKind::Netmask;
}

QStringList stringList(const QJsonValue &value) {
    QStringList list;
    for (const QJsonValue &v : value.toArray())
        list << v.toString();
    return list;
}

// Whether a failed request never reached the program (so a restore cannot have begun).
bool notReached(QNetworkReply::NetworkError e) {
    return e == QNetworkReply::ConnectionRefusedError || e == QNetworkReply::HostNotFoundError ||
           e == QNetworkReply::UnknownNetworkError || e == QNetworkReply::TemporaryNetworkFailureError ||
           e == QNetworkReply::NetworkSessionFailedError || e == QNetworkReply::SslHandshakeFailedError;
}

} // namespace

bool takeEnvironmentToken(Options &options, QString *why) {
    if (!options.remote || !options.token.isEmpty()) return true;
    const QString token = qEnvironmentVariable("OXS_REMOTE_TOKEN");
    for (QChar c : token)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F) {
            *why = QStringLiteral("OXS_REMOTE_TOKEN needs printable characters without blanks");
            return false;
        }
    options.token = token;
    return true;
}

int exitCodeForStatus(int httpStatus, Command command) {
    const bool restore = command == Command::Restore;
    switch (httpStatus) {
    case 200:
        return kExitOk;
    case 400:
    case 413: // a body over the program's limit: only a restore sends one that large
        return restore ? kExitBadBackup : kExitBadValue;
    case 401:
        return kExitPortFailed;
    case 403:
        return kExitWrongAccess;
    case 404:
        return kExitUnknownVariable;
    case 409:
        return restore ? kExitWrongModel : kExitFailure;
    case 503:
        return kExitNoScaler;
    case 504:
        return kExitNotConfirmed;
    default:
        return kExitFailure;
    }
}

QString linkFromRemote(const QString &description) {
    static const QRegularExpression form(QStringLiteral(R"(^(TCP|UDP|RS232) \((.*)\)$)"));
    const QRegularExpressionMatch m = form.match(description);
    if (!m.hasMatch()) return description;
    const QString kind = m.captured(1) == QLatin1String("RS232") ? QStringLiteral("serial") : m.captured(1);
    return kind + QLatin1Char(' ') + m.captured(2);
}

bool entryFromJson(const Target &target, const QJsonValue &value, Entry &entry) {
    entry = Entry{};
    entry.name = target.name;
    if (textual(target)) {
        if (!value.isString()) return false;
        entry.type = Entry::Type::Text;
        entry.text = value.toString();
        return true;
    }
    int64_t n = 0;
    if (value.isBool()) {
        n = value.toBool() ? 1 : 0;
    } else if (value.isDouble()) {
        const double d = value.toDouble();
        // A 32-bit pattern, signed (COLOR, the ports) or not.
        if (!std::isfinite(d) || d != std::floor(d) || d < -2147483648.0 || d > 4294967295.0) return false;
        n = static_cast<int64_t>(d);
    } else {
        return false;
    }
    if (target.isPort()) {
        entry.type = Entry::Type::Signed;
        entry.number = static_cast<uint32_t>(n);
        return true;
    }
    if (target.kind != TargetKind::Row) return false;
    entry = rowEntry(target.index, static_cast<uint32_t>(n));
    entry.name = target.name;
    return true;
}

QJsonValue jsonForValue(const Target &target, const Value &value) {
    if (textual(target)) return value.text;
    if (target.isPort()) return qint64(value.number);
    const Entry e = rowEntry(target.index, value.number);
    switch (e.type) {
    case Entry::Type::Boolean:
        return value.number != 0;
    case Entry::Type::Signed:
        return qint64(static_cast<int32_t>(value.number));
    default:
        return qint64(value.number);
    }
}

bool sameValue(const Target &target, const Value &sent, const Entry &reported) {
    if (textual(target)) return reported.text == sent.text;
    if (target.kind != TargetKind::Row) return reported.number == sent.number;
    return sameRowValue(target.index, sent.number, reported.number);
}

BackupGaps backupGaps(const Backup &backup) {
    BackupGaps gaps;
    gaps.saved = int(backup.values.size() + backup.inputs.size());
    for (const Target &t : backupTargets(backup.model)) {
        bool saved = false;
        for (const BackupValue &v : backup.values)
            saved = saved || v.target.name == t.name;
        if (!saved) gaps.values << t.name;
    }
    for (int n = 1; n <= Models::InputCount(backup.model); ++n) {
        bool saved = false;
        for (const BackupInput &in : backup.inputs)
            saved = saved || in.input == n;
        if (!saved) gaps.inputs << n;
    }
    return gaps;
}

// ---------------------------------------------------------------------------------------------------------

RemoteRunner::RemoteRunner(Request request, Writer out, Writer err, QObject *parent)
    : QObject(parent), m_request(std::move(request)), m_out(std::move(out)), m_err(std::move(err)) {
    // A proxy from the environment has no business between us and a program on this machine.
    const QHostAddress host(QUrl(m_request.options.remoteUrl).host());
    if (host.isLoopback() || QUrl(m_request.options.remoteUrl).host() == QLatin1String("localhost"))
        m_nam.setProxy(QNetworkProxy::NoProxy);
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(kExitOk); });
    m_readyPoll.setInterval(kReadyPollMs);
    connect(&m_readyPoll, &QTimer::timeout, this, &RemoteRunner::pollReady);
}

RemoteRunner::~RemoteRunner() {
    m_finished = true;
    abortAll();
}

void RemoteRunner::abortAll() {
    const QList<QNetworkReply *> replies = m_nam.findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies)
        reply->abort();
    if (m_socket) m_socket->abort();
}

QString RemoteRunner::program() const {
    return QStringLiteral("the OXS remote control program at %1").arg(m_request.options.remoteUrl);
}

void RemoteRunner::start() {
    m_clock.start();
    switch (m_request.options.command) {
    case Command::Status:
        waitForScaler(true, [this](const QJsonObject &status) { runStatus(status); });
        return;
    case Command::Get:
        waitForScaler(true, [this](const QJsonObject &) { getNext(0); });
        return;
    case Command::Set:
        waitForScaler(false, [this](const QJsonObject &) { setNext(0); });
        return;
    case Command::Dump:
        waitForScaler(true, [this](const QJsonObject &) { runDump(); });
        return;
    case Command::Backup:
        waitForScaler(true, [this](const QJsonObject &) { runBackup(); });
        return;
    case Command::Restore:
        waitForScaler(true, [this](const QJsonObject &status) { runRestore(status); });
        return;
    case Command::Watch:
        if (m_request.options.timeoutGiven) m_timeout.start(m_request.options.timeoutMs);
        watchStart();
        return;
    default:
        fail(kExitUsage, QStringLiteral("this command is not offered remotely"));
        return;
    }
}

void RemoteRunner::interrupt() {
    finish(m_request.options.command == Command::Watch ? kExitOk : kExitInterrupted);
}

void RemoteRunner::finish(int code) {
    if (m_finished) return;
    m_finished = true;
    m_timeout.stop();
    m_readyPoll.stop();
    abortAll();
    if (finished) finished(code);
}

void RemoteRunner::fail(int code, const QString &message) {
    if (m_finished) return;
    m_err(QStringLiteral("oxsctl: %1\n").arg(message));
    finish(code);
}

void RemoteRunner::failAnswer(const Answer &a) {
    const QString error = a.body.value(QStringLiteral("error")).toString();
    fail(exitCodeForStatus(a.status, m_request.options.command),
         error.isEmpty() ? QStringLiteral("%1 answered HTTP status %2").arg(program()).arg(a.status) : error);
}

void RemoteRunner::send(const QByteArray &verb, const QString &path, const QByteArray &body, Then then,
                        bool unlimited) {
    if (m_finished) return;
    const Options &o = m_request.options;
    QNetworkRequest request(QUrl(o.remoteUrl + path));
    // The program speaks HTTP/1.1; its answers are never redirected, and a token must not follow one.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!o.token.isEmpty()) request.setRawHeader("Authorization", "Bearer " + o.token.toLatin1());
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    const int answerMs = std::max(o.timeoutMs, kMinAnswerMs);
    // A restore takes as long as its values do; each has the whole time-out on the program's side.
    request.setTransferTimeout(unlimited ? 0 : answerMs);
    QNetworkReply *reply = m_nam.sendCustomRequest(request, verb, body);
    connect(reply, &QNetworkReply::finished, this, [this, reply, then, answerMs] {
        reply->deleteLater();
        if (m_finished) return;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            const QString why = reply->error() == QNetworkReply::OperationCanceledError
                                    ? QStringLiteral("no answer within %1 s").arg(answerMs / 1000.0)
                                    : reply->errorString();
            if (m_restoreSent && !notReached(reply->error())) {
                fail(kExitNotRestored,
                     QStringLiteral("the restore did not finish: %1 stopped answering (%2); the values it "
                                    "wrote are unknown")
                         .arg(program(), why));
                return;
            }
            fail(kExitPortFailed, QStringLiteral("no OXS remote control program answers at %1 (%2)")
                                      .arg(m_request.options.remoteUrl, why));
            return;
        }
        Answer a;
        a.status = status.toInt();
        a.raw = reply->readAll();
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(a.raw, &error);
        if (!doc.isObject()) {
            fail(kExitPortFailed, QStringLiteral("no OXS remote control program answers at %1 (HTTP status "
                                                 "%2 without a JSON answer)")
                                      .arg(m_request.options.remoteUrl)
                                      .arg(a.status));
            return;
        }
        a.body = doc.object();
        if (a.status == 401) {
            const QString hint =
                m_request.options.token.isEmpty()
                    ? QStringLiteral(" (give its access token with --token or OXS_REMOTE_TOKEN)")
                    : QString();
            fail(kExitPortFailed,
                 QStringLiteral("%1: %2%3")
                     .arg(program(), a.body.value(QStringLiteral("error")).toString(), hint));
            return;
        }
        then(a);
    });
}

void RemoteRunner::retry(std::function<void()> again, const QString &reason) {
    if (m_clock.elapsed() + kRetryMs >= m_request.options.timeoutMs) {
        fail(kExitNoScaler, QStringLiteral("%1 had no scaler %2 within %3 s")
                                .arg(program(), reason)
                                .arg(m_request.options.timeoutMs / 1000.0));
        return;
    }
    QTimer::singleShot(kRetryMs, this, [this, again] {
        if (!m_finished) again();
    });
}

void RemoteRunner::waitForScaler(bool needReady, std::function<void(const QJsonObject &)> then) {
    send("GET", kApi + QStringLiteral("/status"), {}, [this, needReady, then](const Answer &a) {
        if (a.status != 200) return failAnswer(a);
        const bool connected = a.body.value(QStringLiteral("connected")).toBool();
        if (connected && (!needReady || a.body.value(QStringLiteral("ready")).toBool())) return then(a.body);
        retry([this, needReady, then] { waitForScaler(needReady, then); },
              connected ? QStringLiteral("ready") : QStringLiteral("connected"));
    });
}

// ---------------------------------------------------------------------------------------------------------
// status, get, dump

void RemoteRunner::runStatus(const QJsonObject &status) {
    send("GET", kApi + QStringLiteral("/variables/VERUPD"), {}, [this, status](const Answer &a) {
        if (a.status != 200) return failAnswer(a);
        Target verupd;
        lookupTarget(QStringLiteral("VERUPD"), verupd);
        Entry version;
        if (!entryFromJson(verupd, a.body.value(QStringLiteral("value")), version)) {
            m_err(unreportedMessage({QStringLiteral("VERUPD")}));
            return finish(kExitNotReported);
        }
        const QList<Entry> entries =
            statusEntries(uint32_t(status.value(QStringLiteral("model")).toInteger()), version.number,
                          linkFromRemote(status.value(QStringLiteral("link")).toString()));
        m_out(m_request.options.json ? formatJson(entries) : formatLines(entries, m_request.options.quiet));
        finish(kExitOk);
    });
}

void RemoteRunner::getNext(int at) {
    const QList<Target> &targets = m_request.targets;
    if (at == targets.size()) {
        if (!m_missing.isEmpty()) {
            m_err(unreportedMessage(m_missing));
            return finish(kExitNotReported);
        }
        m_out(m_request.options.json ? formatJson(m_entries)
                                     : formatLines(m_entries, m_request.options.quiet));
        return finish(kExitOk);
    }
    const Target &t = targets[at];
    send("GET", kApi + QStringLiteral("/variables/") + t.name, {}, [this, at, t](const Answer &a) {
        if (a.status != 200) return failAnswer(a);
        Entry e;
        if (entryFromJson(t, a.body.value(QStringLiteral("value")), e))
            m_entries << e;
        else if (!m_missing.contains(t.name))
            m_missing << t.name;
        getNext(at + 1);
    });
}

void RemoteRunner::runDump() {
    send("GET", kApi + QStringLiteral("/variables"), {}, [this](const Answer &a) {
        if (a.status != 200) return failAnswer(a);
        // Only what the scaler reported (null is what it did not), in table order.
        QList<Entry> entries;
        for (const Target &t : dumpTargets()) {
            Entry e;
            if (entryFromJson(t, a.body.value(t.name), e)) entries << e;
        }
        m_out(m_request.options.json ? formatJson(entries) : formatLines(entries, m_request.options.quiet));
        finish(kExitOk);
    });
}

// ---------------------------------------------------------------------------------------------------------
// set

void RemoteRunner::setNext(int at) {
    if (at == m_request.assignments.size()) return finish(kExitOk);
    const Request::Assignment &item = m_request.assignments[at];
    const QByteArray body =
        QJsonDocument(QJsonObject{{QStringLiteral("value"), jsonForValue(item.target, item.value)}})
            .toJson(QJsonDocument::Compact);
    send("PUT", kApi + QStringLiteral("/variables/") + item.target.name, body, [this, at](const Answer &a) {
        const Request::Assignment &item = m_request.assignments[at];
        if (a.status == 503) {
            // Not sent, or the link was lost before the scaler answered: the value goes out again once
            // the program's scaler is back, as a link of our own would send it.
            retry([this, at] { setNext(at); }, QStringLiteral("connected"));
            return;
        }
        if (a.status == 504) {
            fail(kExitNotConfirmed,
                 QStringLiteral("no reply from the scaler confirmed %1 within the time-out")
                     .arg(item.target.name));
            return;
        }
        if (a.status != 200) return failAnswer(a);
        Entry reported;
        if (!entryFromJson(item.target, a.body.value(QStringLiteral("value")), reported)) {
            fail(kExitFailure,
                 QStringLiteral("%1 answered %2 without a value").arg(program(), item.target.name));
            return;
        }
        reportAnswer(item.target.name, reported.valueText(),
                     assignedText(OxsControl::Assignment{item.target, item.value, {}}),
                     sameValue(item.target, item.value, reported), m_request.options.quiet, m_out, m_err);
        setNext(at + 1);
    });
}

// ---------------------------------------------------------------------------------------------------------
// backup and restore

void RemoteRunner::runBackup() {
    send("GET", kApi + QStringLiteral("/backup"), {}, [this](const Answer &a) {
        if (a.status == 503) {
            retry([this] { runBackup(); }, QStringLiteral("ready"));
            return;
        }
        if (a.status != 200) return failAnswer(a);
        Backup backup;
        QString why;
        if (!parseBackup(a.raw, backup, &why)) {
            fail(kExitFailure, QStringLiteral("%1 sent no valid backup: %2").arg(program(), why));
            return;
        }
        const QString &path = m_request.options.arguments.value(0);
        if (!writeBackupFile(path, a.raw, &why)) {
            m_err(why);
            return finish(kExitBadBackup);
        }
        reportBackup(backupGaps(backup), backup.model, path, m_request.options.quiet, m_out, m_err);
        finish(kExitOk);
    });
}

void RemoteRunner::runRestore(const QJsonObject &status) {
    const Options &o = m_request.options;
    const uint32_t dev = uint32_t(status.value(QStringLiteral("model")).toInteger());
    // Refused here with the message of a restore on a link; nothing goes out.
    if (dev != m_request.backup.model) {
        m_err(wrongModelMessage(o.arguments.value(0), m_request.backup.model, dev));
        return finish(kExitWrongModel);
    }
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("timeoutMs"), QString::number(o.timeoutMs));
    if (o.dryRun) query.addQueryItem(QStringLiteral("dryRun"), QStringLiteral("1"));
    m_restoreSent = !o.dryRun;
    send(
        "POST", kApi + QStringLiteral("/restore?") + query.toString(QUrl::FullyEncoded), m_request.backupText,
        [this](const Answer &a) {
            const Options &o = m_request.options;
            if (a.status == 503) {
                // No scaler ready, or another restore running: nothing was written.
                m_restoreSent = false;
                retry([this] { waitForScaler(true, [this](const QJsonObject &s) { runRestore(s); }); },
                      QStringLiteral("ready for a restore"));
                return;
            }
            if (a.status == 400) {
                fail(kExitBadBackup,
                     QStringLiteral("%1 is no valid backup: %2")
                         .arg(o.arguments.value(0), a.body.value(QStringLiteral("error")).toString()));
                return;
            }
            if (a.status != 200) return failAnswer(a);
            restoreAnswered(a.body);
        },
        !o.dryRun);
}

void RemoteRunner::restoreAnswered(const QJsonObject &body) {
    const Options &o = m_request.options;
    reportNotes(stringList(body.value(QStringLiteral("notes"))), o.quiet, m_err);
    if (o.dryRun) {
        QList<Entry> entries;
        for (const QJsonValue &w : body.value(QStringLiteral("writes")).toArray()) {
            const QJsonObject write = w.toObject();
            entries << Entry{write.value(QStringLiteral("name")).toString(), Entry::Type::Text, 0,
                             write.value(QStringLiteral("value")).toString()};
        }
        m_out(formatLines(entries, o.quiet));
        return finish(kExitOk);
    }
    int input = 0; // the input the last PCHAN answered selected: the per-input values that follow are its
    for (const QJsonValue &v : body.value(QStringLiteral("answers")).toArray()) {
        const QJsonObject answer = v.toObject();
        const QString name = answer.value(QStringLiteral("name")).toString();
        if (name == QLatin1String("PCHAN"))
            input = answer.value(QStringLiteral("reported")).toString().toInt();
        // The value written, when the program says; else the backup's own.
        QString sent = answer.value(QStringLiteral("sent")).toString();
        for (const BackupValue &b : m_request.backup.values)
            if (sent.isEmpty() && b.target.name == name)
                sent = assignedText(OxsControl::Assignment{b.target, b.value, {}});
        for (const BackupInput &in : m_request.backup.inputs) {
            if (!sent.isEmpty() || in.input != input) continue;
            const std::pair<int, uint32_t> rows[] = {
                {VAR_PENA, in.pena}, {VAR_PRGBI, in.prgbi}, {VAR_PISTD, in.pistd}, {VAR_PPROC, in.pproc}};
            for (const auto &[row, value] : rows)
                if (name == QLatin1String(kRows[row].property)) sent = formatRowValue(row, value);
        }
        reportAnswer(name, answer.value(QStringLiteral("reported")).toString(),
                     sent.isEmpty() ? QStringLiteral("value") : sent,
                     answer.value(QStringLiteral("asked")).toBool(), o.quiet, m_out, m_err);
    }
    const QStringList notTaken = stringList(body.value(QStringLiteral("notTaken")));
    const bool linkLost = body.value(QStringLiteral("linkLost")).toBool();
    reportRestoreEnd(notTaken, linkLost, stringList(body.value(QStringLiteral("notWritten"))), m_err);
    finish(linkLost || !notTaken.isEmpty() ? kExitNotRestored : kExitOk);
}

// ---------------------------------------------------------------------------------------------------------
// watch

// The status first: a missing program or a refused token gets its clear message before the WebSocket.
void RemoteRunner::watchStart() {
    send("GET", kApi + QStringLiteral("/status"), {}, [this](const Answer &a) {
        if (a.status != 200) return failAnswer(a);
        QUrl url(m_request.options.remoteUrl + kApi + QStringLiteral("/events"));
        url.setScheme(url.scheme() == QLatin1String("https") ? QStringLiteral("wss") : QStringLiteral("ws"));
        QNetworkRequest request(url);
        if (!m_request.options.token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + m_request.options.token.toLatin1());
        m_socket = std::make_unique<QWebSocket>();
        m_socket->setProxy(m_nam.proxy());
        m_socket->setMaxAllowedIncomingMessageSize(quint64(OxsRemote::kMaxBodyBytes));
        connect(m_socket.get(), &QWebSocket::connected, this, &RemoteRunner::watchSnapshot);
        connect(m_socket.get(), &QWebSocket::textMessageReceived, this, &RemoteRunner::watchMessage);
        connect(m_socket.get(), &QWebSocket::connected, this, [this] { m_subscribed = true; });
        connect(m_socket.get(), &QWebSocket::disconnected, this, [this] {
            if (m_finished) return;
            const QString why = m_socket->errorString();
            if (m_subscribed)
                fail(kExitPortFailed, QStringLiteral("%1 closed the connection").arg(program()));
            else
                fail(kExitPortFailed, QStringLiteral("no OXS remote control program answers at %1 (%2)")
                                          .arg(m_request.options.remoteUrl, why));
        });
        m_socket->open(request);
    });
}

// Once subscribed: the link state and every value reported so far, then the changes as they come. A
// change that arrives before the snapshot is newer than the snapshot's value of that name.
void RemoteRunner::watchSnapshot() {
    send("GET", kApi + QStringLiteral("/status"), {}, [this](const Answer &status) {
        if (status.status != 200) return failAnswer(status);
        const bool connected = status.body.value(QStringLiteral("connected")).toBool();
        if (connected && !m_shownConnected) watchLink(true, false);
        send("GET", kApi + QStringLiteral("/variables"), {}, [this, status, connected](const Answer &a) {
            if (a.status != 200) return failAnswer(a);
            for (const Target &t : dumpTargets()) {
                Entry e;
                if (!m_shown.contains(t.name) && entryFromJson(t, a.body.value(t.name), e)) watchShow(e);
            }
            if (connected && status.body.value(QStringLiteral("ready")).toBool())
                watchLink(true, true);
            else if (connected)
                m_readyPoll.start();
        });
    });
}

void RemoteRunner::watchMessage(const QString &text) {
    if (m_finished) return;
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString event = message.value(QStringLiteral("event")).toString();
    if (event == QLatin1String("connected")) {
        watchLink(true, false);
        m_readyPoll.start();
        return;
    }
    if (event == QLatin1String("lost")) {
        m_readyPoll.stop();
        watchLink(false, false);
        return;
    }
    Target t;
    Entry e;
    if (lookupTarget(message.value(QStringLiteral("name")).toString(), t) &&
        entryFromJson(t, message.value(QStringLiteral("value")), e))
        watchShow(e);
}

void RemoteRunner::watchShow(const Entry &entry) {
    const QString value = entry.valueText();
    auto it = m_shown.find(entry.name);
    if (it != m_shown.end() && *it == value) return;
    m_shown.insert(entry.name, value);
    m_out(formatWatchLine(watchTime(), entry, m_request.options.json));
}

// Connected=0|1 and Ready=0|1 as the link's own watch prints them; the loss of a scaler also reads DEV=0.
void RemoteRunner::watchLink(bool connected, bool ready) {
    if (int(connected) != m_shownConnected) {
        m_shownConnected = connected;
        watchShow(Entry{QStringLiteral("Connected"), Entry::Type::Boolean, uint32_t(connected), {}});
    }
    if (!connected && m_shown.value(QStringLiteral("DEV"), QStringLiteral("0")) != QLatin1String("0"))
        watchShow(rowEntry(VAR_DEV, 0));
    if (int(ready) != m_shownReady) {
        m_shownReady = ready;
        watchShow(Entry{QStringLiteral("Ready"), Entry::Type::Boolean, uint32_t(ready), {}});
    }
}

void RemoteRunner::pollReady() {
    if (m_polling) return; // one question at a time
    m_polling = true;
    send("GET", kApi + QStringLiteral("/status"), {}, [this](const Answer &a) {
        m_polling = false;
        if (a.status != 200) return failAnswer(a);
        const bool connected = a.body.value(QStringLiteral("connected")).toBool();
        const bool ready = a.body.value(QStringLiteral("ready")).toBool();
        if (!connected || ready) m_readyPoll.stop();
        if (connected && ready) watchLink(true, true);
    });
}

} // namespace OxsCtl
