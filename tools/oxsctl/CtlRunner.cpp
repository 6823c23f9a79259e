#include "CtlRunner.h"

#include "ComPort.h"
#include "CtlOutput.h"
#include "DeviceVariables.h"
#include "Orlan_d.h"
#include "ScalerModels.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <unistd.h>

namespace OxsCtl {

using namespace OrlanVars;

namespace {

// Rows the scaler reports more than once in its report of every variable (once per input or per address
// slot): the last report holds the value only when the report is over.
bool reportedOnce(const Target &target) {
    if (target.kind == TargetKind::Netmask) return true;
    if (target.kind != TargetKind::Row) return false;
    switch (target.index) {
    case VAR_PCHAN:
    case VAR_PENA:
    case VAR_PRGBI:
    case VAR_PISTD:
    case VAR_PPROC:
    case VAR_PADIP:
        return false;
    default:
        return true;
    }
}

int awaitedRow(const Target &target) {
    return target.kind == TargetKind::Netmask ? int(VAR_NETMASK) : target.index;
}

QList<Target> watchedNetworkTargets() {
    QList<Target> targets;
    for (const char *name : {"LOCAL_IP", "REMOTE_IP", "GATEWAY_IP", "LOCAL_PORT", "REMOTE_PORT"}) {
        Target t;
        lookupTarget(QLatin1String(name), t);
        targets << t;
    }
    return targets;
}

int exitCodeOf(Problem p) {
    switch (p) {
    case Problem::None:
        return kExitOk;
    case Problem::WrongAccess:
        return kExitWrongAccess;
    case Problem::BadValue:
        break;
    }
    return kExitBadValue;
}

} // namespace

int prepareRequest(const Options &options, Request &request, QString *why) {
    request = Request{};
    request.options = options;
    switch (options.command) {
    case Command::Get:
        for (const QString &name : options.arguments) {
            Target target;
            if (!lookupTarget(name, target)) {
                *why = QStringLiteral("unknown variable '%1'").arg(name);
                return kExitUnknownVariable;
            }
            if (const int code = exitCodeOf(checkReadable(target, why))) return code;
            // One JSON object has each name once.
            bool twice = false;
            for (const Target &t : request.targets)
                twice = twice || t.name == target.name;
            if (twice && options.json) continue;
            request.targets << target;
        }
        break;
    case Command::Set:
        for (const QString &arg : options.arguments) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            const QString name = arg.left(eq);
            Request::Assignment a;
            if (!lookupTarget(name, a.target)) {
                *why = QStringLiteral("unknown variable '%1'").arg(name);
                return kExitUnknownVariable;
            }
            if (const int code = exitCodeOf(checkSettable(a.target, why))) return code;
            if (const int code = exitCodeOf(parseValue(a.target, arg.mid(eq + 1), a.value, why))) return code;
            request.assignments << a;
        }
        break;
    case Command::Upload:
        return prepareField(options, request.field, why);
    case Command::Restore: {
        const QString &path = options.arguments.value(0);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *why = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            return kExitBadBackup;
        }
        QString reason;
        request.backupText = file.readAll();
        if (!parseBackup(request.backupText, request.backup, &reason)) {
            *why = QStringLiteral("%1 is no valid backup: %2").arg(path, reason);
            return kExitBadBackup;
        }
        break;
    }
    case Command::Send:
        if (!unescape(options.arguments.value(0), request.text, why)) return kExitUsage;
        if (request.text.isEmpty()) {
            *why = QStringLiteral("send needs a text that is not empty");
            return kExitUsage;
        }
        break;
    default:
        break;
    }
    return kExitOk;
}

TLinkPacing linkPacing(const Options &options) {
    if (options.paced) return TLinkPacing::Window();
    TLinkPacing pacing = TLinkPacing::Fast();
    // The driver's Ready then means the quiet time after the answer to the query-all; the Runner ends that
    // answer sooner, once every variable of the model was reported.
    pacing.dumpQuietMs = TLinkPacing::Window().dumpQuietMs;
    if (options.command == Command::Set || options.command == Command::Send ||
        options.command == Command::Upload)
        pacing.queryAllMs = TLinkPacing::Window().queryAllMs;
    return pacing;
}

QString serialOpenFailure(const QString &portName, const QString &systemText) {
    QString path = TComPort::ResolvePortName(portName);
    // The port component takes a relative name relative to the working folder.
    if (!path.isEmpty() && !path.startsWith(QLatin1Char('/'))) path = QFileInfo(path).absoluteFilePath();
    QString text = QStringLiteral("cannot open %1").arg(portName);
    if (path != portName) text += QStringLiteral(" (%1)").arg(path);
    text += QStringLiteral(": %1").arg(systemText);

    const bool denied = systemText.contains(QLatin1String("permission"), Qt::CaseInsensitive) ||
                        (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES);
    if (denied) {
        QString group = QFileInfo(path).group();
        if (group.isEmpty() || group == QLatin1String("root")) group = QStringLiteral("dialout");
        return text + QStringLiteral("\n    to use %1, add your user to its group %2 "
                                     "(sudo usermod -aG %2 \"$USER\") and log in again")
                          .arg(path, group);
    }
    static const QRegularExpression comName(QStringLiteral(R"(^(?:\\\\\.\\)?COM([0-9]+)$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch com = comName.match(portName);
    if (com.hasMatch() && path != portName)
        text += QStringLiteral("\n    %1 stands for %2; set OXS_COM%3 to use another device")
                    .arg(portName, path, com.captured(1));
    return text;
}

int openLink(TOrlan_d &driver, const Options &options, QString *why) {
    const int code = [&] {
        try {
            switch (options.link) {
            case LinkKind::Serial:
                // The driver opens the port as soon as it is named and clears the name when that fails.
                driver.SetPort(options.serialPort);
                if (driver.Port().isEmpty()) {
                    const QString error = driver.PortOpenError();
                    *why = serialOpenFailure(options.serialPort, error.contains(QLatin1Char('\r'))
                                                                     ? error.section(QLatin1Char('\r'), 1)
                                                                     : error);
                    return int(kExitPortFailed);
                }
                return int(kExitOk);
            case LinkKind::Udp:
                // Every address first, so the socket is bound once, to the right port.
                driver.SetIpLocalPort(options.localPort);
                driver.SetIpRemoteAddress(options.host);
                driver.SetIpRemotePort(options.remotePort);
                driver.SetConType(CON_UDP);
                if (!driver.Link(CON_UDP).IsActive()) {
                    *why = QStringLiteral("cannot bind UDP port %1: %2 (another port: --local-port)")
                               .arg(options.localPort)
                               .arg(driver.Link(CON_UDP).ErrorString());
                    return int(kExitPortFailed);
                }
                return int(kExitOk);
            case LinkKind::Tcp:
                driver.SetIpRemoteAddress(options.host);
                driver.SetIpRemotePort(options.remotePort);
                driver.SetConType(CON_TCP);
                return int(kExitOk);
            }
        } catch (const EComError &e) {
            *why = QString::fromLocal8Bit(e.what()).replace(QLatin1Char('\r'), QStringLiteral(": "));
            return int(kExitPortFailed);
        }
        return int(kExitOk);
    }();
    // The link is reset now, so a new pace takes effect at once. --paced leaves the driver exactly as the
    // window has it: its first step 3 s after creation.
    if (code == kExitOk && !options.paced) driver.SetLinkPacing(linkPacing(options));
    return code;
}

Runner::Runner(TOrlan_d &driver, Request request, Writer out, Writer err, QObject *parent)
    : QObject(parent), m_driver(driver), m_request(std::move(request)), m_out(std::move(out)),
      m_err(std::move(err)), m_dump(driver), m_writer(driver) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &Runner::onTimeout);
    m_replyWindow.setSingleShot(true);
    connect(&m_replyWindow, &QTimer::timeout, this, [this] { finish(kExitOk); });
    connect(&m_connectCheck, &QTimer::timeout, this, &Runner::checkConnect);
    m_dump.ended = [this] { onDumpEnded(); };
    m_writer.setStaleReports([this] { return m_dump.running(); });
    m_writer.answered = [this](const OxsControl::Assignment &a, const QString &reported, bool asked) {
        onAnswered(a, reported, asked);
    };
    m_writer.done = [this] { finish(kExitOk); };
}

Runner::~Runner() {
    m_driver.OnConnected = nullptr;
    m_driver.OnReady = nullptr;
    m_driver.OnRecString = nullptr;
    m_driver.OnSentString = nullptr;
    for (int i = 0; i < VAR_COUNT; ++i)
        if (TOrlanNotifyEvent *event = m_driver.ChangeEvent(i)) *event = nullptr;
}

void Runner::start() {
    m_driver.OnConnected = [this](TOrlan_d *, int32_t) { onConnected(); };
    m_driver.OnReady = [this](TOrlan_d *, int32_t) { onReady(); };
    m_driver.OnRecString = [this](TOrlan_d *, int32_t) { onRecString(); };
    m_driver.OnSentString = [this](TOrlan_d *, int32_t) { onSentString(); };
    for (int i = 0; i < VAR_COUNT; ++i)
        if (TOrlanNotifyEvent *event = m_driver.ChangeEvent(i))
            *event = [this, i](TOrlan_d *, int32_t) { onChange(i); };

    m_clock.start();
    const Options &o = m_request.options;
    if (o.command != Command::Watch || o.timeoutGiven) m_timeout.start(o.timeoutMs);
    if (m_driver.ConType() == CON_TCP) m_connectCheck.start(kConnectCheckMs);

    // What completes a read: status needs the version, get its variables, each reported in the answer to the
    // request for every variable (what the driver held before is no answer); the rest of the answer is not
    // waited for. --paced, dump and the variables reported more than once wait for its end.
    m_waitDumpEnd = o.paced || o.command == Command::Dump || o.command == Command::Backup ||
                    o.command == Command::Restore;
    if (o.command == Command::Status) m_awaitedRows << VAR_VERUPD;
    for (const Target &t : m_request.targets) {
        if (reportedOnce(t))
            m_awaitedRows << awaitedRow(t);
        else
            m_waitDumpEnd = true;
    }

    if (o.command == Command::Watch) {
        m_shownRows.assign(VAR_COUNT, std::nullopt);
        for (int i = 0; i < watchedNetworkTargets().size(); ++i)
            m_shownNetwork << QString();
    }
    // A driver that is already connected raises nothing new; take its state as it is.
    QTimer::singleShot(0, this, [this] {
        if (m_driver.Connected()) onConnected();
        if (m_driver.Ready()) onReady();
    });
}

void Runner::interrupt() {
    finish(m_request.options.command == Command::Watch ? kExitOk : kExitInterrupted);
}

void Runner::finish(int code) {
    if (m_finished) return;
    m_finished = true;
    m_timeout.stop();
    m_replyWindow.stop();
    m_connectCheck.stop();
    m_writer.stop();
    if (finished) finished(code);
}

void Runner::onTimeout() {
    const Options &o = m_request.options;
    switch (o.command) {
    case Command::Watch:
        finish(kExitOk);
        return;
    case Command::Set:
        if (m_connectedOnce && m_writer.pending()) {
            m_err(QStringLiteral("oxsctl: no reply from the scaler confirmed %1 within the time-out\n")
                      .arg(m_writer.pending()->target.name));
            finish(kExitNotConfirmed);
            return;
        }
        break;
    default:
        break;
    }
    if (!m_connectedOnce && m_invalidModel >= 0) {
        m_err(
            QStringLiteral("oxsctl: the device on %1 answered model code %2, which is no Orlan model (32, 33 "
                           "or 40)\n")
                .arg(describeLink(o))
                .arg(m_invalidModel));
        finish(kExitNoScaler);
        return;
    }
    const bool couldAnswer = m_firstProbeMs >= 0 && m_clock.elapsed() - m_firstProbeMs >= kAnswerTimeMs;
    if (!m_connectedOnce && !couldAnswer) {
        QString reason;
        if (m_driver.ConType() == CON_TCP && !m_linkSeenOpen && !m_driver.Link(CON_TCP).IsActive())
            reason = QStringLiteral("the TCP connection was not made yet");
        else if (m_firstProbeMs >= 0)
            reason = QStringLiteral("the identity query went out only %1 ms before")
                         .arg(m_clock.elapsed() - m_firstProbeMs);
        else if (o.paced)
            reason = QStringLiteral("with --paced the first identity query goes out about 5 s after start");
        else
            reason = QStringLiteral("no identity query had gone out yet");
        m_err(QStringLiteral("oxsctl: the time-out of %1 s ended before a scaler could answer on %2: %3\n")
                  .arg(o.timeoutMs / 1000.0)
                  .arg(describeLink(o), reason));
        finish(kExitNoScaler);
        return;
    }
    m_err(QStringLiteral("oxsctl: no scaler %1 on %2 within %3 s\n")
              .arg(m_connectedOnce ? QStringLiteral("became ready") : QStringLiteral("answered"),
                   describeLink(o))
              .arg(o.timeoutMs / 1000.0));
    finish(kExitNoScaler);
}

// A TCP connect that fails before any connection was made ends the command: the reason (refused, host
// not found, network unreachable) does not go away by retrying within the time-out.
void Runner::checkConnect() {
    TLink &tcp = m_driver.Link(CON_TCP);
    if (m_linkSeenOpen || tcp.IsActive()) {
        m_linkSeenOpen = true;
        m_connectCheck.stop();
        return;
    }
    if (m_driver.TcpConnectAttempts() == 0 || tcp.ErrorString().isEmpty()) return;
    m_connectCheck.stop();
    m_err(QStringLiteral("oxsctl: cannot connect to %1: %2\n")
              .arg(describeLink(m_request.options), tcp.ErrorString()));
    finish(kExitPortFailed);
}

void Runner::onSentString() {
    if (m_firstProbeMs < 0 && m_driver.sentString() == QByteArray("?") &&
        m_driver.Link(m_driver.ConType()).IsActive())
        m_firstProbeMs = m_clock.elapsed();
}

void Runner::onConnected() {
    const bool connected = m_driver.Connected();
    if (connected) {
        m_linkSeenOpen = true;
    } else {
        // Declared down (also before any scaler answered): what was reported belongs to the old connection.
        m_session.clear();
        m_dump.reset();
    }
    switch (m_request.options.command) {
    case Command::Watch:
        if (connected) m_connectedOnce = true;
        if (int(connected) != m_shownConnected) {
            m_shownConnected = connected;
            watchLine(Entry{QStringLiteral("Connected"), Entry::Type::Boolean, uint32_t(connected), {}});
        }
        return;
    case Command::Restore:
        if (connected) m_connectedOnce = true;
        if (m_restore) m_restore->connectionChanged();
        return;
    case Command::Set:
        if (!connected) return;
        m_connectedOnce = true;
        if (!m_writing) {
            m_writing = true;
            QList<OxsControl::Assignment> items;
            for (const Request::Assignment &a : m_request.assignments)
                items << OxsControl::Assignment{a.target, a.value, {}};
            m_writer.write(items);
        } else {
            m_writer.connectionChanged();
        }
        return;
    case Command::Send:
        if (!connected || m_connectedOnce) return;
        m_connectedOnce = true;
        // Replies before the driver's own query-all (2 s after the last data) answer this text only.
        m_timeout.stop();
        m_driver.SendText(m_request.text);
        m_replyWindow.start(kReplyWindowMs);
        return;
    default:
        if (!connected) return;
        m_connectedOnce = true;
        if (readComplete()) printReadResults();
        return;
    }
}

void Runner::onReady() {
    const bool ready = m_driver.Ready();
    if (m_request.options.command == Command::Watch) {
        if (int(ready) != m_shownReady) {
            m_shownReady = ready;
            watchLine(Entry{QStringLiteral("Ready"), Entry::Type::Boolean, uint32_t(ready), {}});
        }
        return;
    }
    if (!ready) return;
    m_dump.readyChanged();
    if (m_request.options.paced) onDumpEnded();
}

// The scaler's answer to the request for every variable is over (with --paced: the driver is Ready).
void Runner::onDumpEnded() {
    if (m_finished || (m_request.options.paced && !m_driver.Ready())) return;
    switch (m_request.options.command) {
    case Command::Status:
    case Command::Get:
        if (!failUnreported(m_request.targets)) printReadResults();
        return;
    case Command::Dump:
        printReadResults();
        return;
    case Command::Backup:
        writeBackup();
        return;
    case Command::Restore:
        if (!m_planned) planRestore();
        return;
    default:
        return;
    }
}

// DEV is the connected scaler's answer to the identity query; every other row counts once reported in the
// answer to the request for every variable.
bool Runner::readComplete() const {
    if (m_waitDumpEnd || !m_driver.Connected()) return false;
    for (int row : m_awaitedRows)
        if (row != VAR_DEV && !m_dump.log().rowReported(row)) return false;
    return true;
}

// Names every asked variable the scaler did not report (then fails), or returns false.
bool Runner::failUnreported(const QList<Target> &targets) {
    QStringList missing;
    if (m_request.options.command == Command::Status && !m_session.rowReported(VAR_VERUPD))
        missing << QStringLiteral("VERUPD");
    for (const Target &t : targets)
        if (!(t.kind == TargetKind::Row && t.index == VAR_DEV) && !m_session.reported(t) &&
            !missing.contains(t.name))
            missing << t.name;
    if (missing.isEmpty()) return false;
    m_err(unreportedMessage(missing));
    finish(kExitNotReported);
    return true;
}

void Runner::printReadResults() {
    if (m_finished) return;
    const Options &o = m_request.options;
    QList<Entry> entries;
    if (o.command == Command::Status) {
        entries = statusEntries(m_driver.Value(VAR_DEV), m_driver.Value(VAR_VERUPD), describeLink(o));
    } else if (o.command == Command::Dump) {
        // Only what the scaler reported: the rest would be the driver's initial values.
        for (const Target &t : dumpTargets())
            if (m_session.reported(t) || (t.kind == TargetKind::Row && t.index == VAR_DEV))
                entries << readEntry(m_driver, t);
    } else {
        for (const Target &t : m_request.targets)
            entries << readEntry(m_driver, t);
    }
    m_out(o.json ? formatJson(entries) : formatLines(entries, o.quiet));
    finish(kExitOk);
}

// ---------------------------------------------------------------------------------------------------------
// backup and restore

void Runner::writeBackup() {
    if (m_finished) return;
    const QString &path = m_request.options.arguments.value(0);
    BackupGaps gaps;
    const QByteArray json = backupJson(m_driver, m_session, &gaps);
    QString why;
    if (!writeBackupFile(path, json, &why)) {
        m_err(why);
        finish(kExitBadBackup);
        return;
    }
    reportBackup(gaps, m_driver.Value(VAR_DEV), path, m_request.options.quiet, m_out, m_err);
    finish(kExitOk);
}

void Runner::planRestore() {
    if (m_finished) return;
    m_planned = true;
    const Backup &b = m_request.backup;
    const uint32_t dev = m_driver.Value(VAR_DEV);
    if (dev != b.model) {
        m_err(wrongModelMessage(m_request.options.arguments.value(0), b.model, dev));
        finish(kExitWrongModel);
        return;
    }
    if (m_request.options.dryRun) {
        dryRun();
        return;
    }
    // Each value has the whole time-out for its reply from here on.
    m_timeout.stop();
    m_restore = std::make_unique<Restore>(m_driver, b, m_request.options.timeoutMs);
    m_restore->setStaleReports([this] { return m_dump.running(); });
    m_restore->progress = [this](const OxsControl::Assignment &a, const QString &reported, bool asked) {
        onAnswered(a, reported, asked);
    };
    m_restore->finished = [this](const Restore::Result &r) { restoreFinished(r); };
    m_restore->start(m_session);
    reportNotes(m_restore->plan().notes, m_request.options.quiet, m_err);
}

void Runner::dryRun() {
    const RestorePlan plan = OxsControl::planRestore(m_request.backup, m_driver, m_session);
    QList<Entry> entries;
    for (qsizetype i = 0; i < plan.writes.size(); ++i) {
        const OxsControl::Assignment &a = plan.writes[i];
        if (plan.skipIfHeld[i] && scalerHolds(m_driver, m_session, a)) continue;
        if (a.target.kind == TargetKind::Row)
            entries << rowEntry(a.target.index, a.value.number);
        else
            entries << Entry{a.target.name, Entry::Type::Text, 0, assignedText(a)};
        entries.last().name = a.target.name;
    }
    reportNotes(plan.notes, m_request.options.quiet, m_err);
    m_out(formatLines(entries, m_request.options.quiet));
    finish(kExitOk);
}

void Runner::restoreFinished(const Restore::Result &r) {
    reportRestoreEnd(r.notTaken, r.linkLost, r.notWritten, m_err);
    finish(r.ok() ? kExitOk : kExitNotRestored);
}

// ---------------------------------------------------------------------------------------------------------
// set

void Runner::onAnswered(const OxsControl::Assignment &a, const QString &reported, bool asked) {
    reportAnswer(a.target.name, reported, assignedText(a), asked, m_request.options.quiet, m_out, m_err);
}

// ---------------------------------------------------------------------------------------------------------
// Driver events

void Runner::onChange(int index) {
    switch (m_request.options.command) {
    case Command::Watch: {
        // DEV reads 0 after every reset of the link; only a loss of a scaler found before is news.
        if (index == VAR_DEV && m_driver.Value(VAR_DEV) == 0 && !m_connectedOnce) return;
        // Only changes: the driver raises an event for every report, the keep-alive DEV included.
        const Entry e = index == VAR_NETMASK
                            ? Entry{QStringLiteral("NETMASK"), Entry::Type::Text, 0, m_driver.NETMASK()}
                            : rowEntry(index, m_driver.Value(index));
        std::optional<QString> &shown = m_shownRows[std::size_t(index)];
        if (shown == e.valueText()) return;
        shown = e.valueText();
        watchLine(e);
        return;
    }
    case Command::Status:
    case Command::Get:
        if (!m_dump.running()) return;
        if (readComplete()) printReadResults();
        return;
    case Command::Set:
        m_writer.changed(index);
        return;
    case Command::Restore:
        if (m_restore) m_restore->changed(index);
        return;
    default:
        return;
    }
}

void Runner::onRecString() {
    m_linkSeenOpen = true;
    const QByteArray msg = m_driver.receivedString();
    m_session.record(m_driver, msg);
    m_dump.received(msg);

    uint32_t value = 0;
    if (matchReplyRow(msg, &value) == VAR_DEV && !Models::IsKnownModel(value)) m_invalidModel = value;

    switch (m_request.options.command) {
    case Command::Send:
        if (m_replyWindow.isActive()) m_out(printable(msg) + QLatin1Char('\n'));
        return;
    case Command::Watch:
        for (int i = VAR_IP4; i <= VAR_PORT; ++i) {
            if (replyMatchesRow(msg, i)) {
                // The store follows this event; look once the parser is done.
                QTimer::singleShot(0, this, &Runner::watchNetwork);
                return;
            }
        }
        return;
    case Command::Set:
        m_writer.received(msg);
        return;
    case Command::Restore:
        if (m_restore) m_restore->received(msg);
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------------------------------------------------
// watch

void Runner::watchLine(const Entry &entry) {
    m_out(formatWatchLine(watchTime(), entry, m_request.options.json));
}

// Only the addresses and ports the scaler reported: the octets of one slot leave the others as they were.
void Runner::watchNetwork() {
    const QList<Target> targets = watchedNetworkTargets();
    for (qsizetype i = 0; i < targets.size(); ++i) {
        if (!m_session.reported(targets[i])) continue;
        const QString now = readEntry(m_driver, targets[i]).valueText();
        if (now != m_shownNetwork.value(i)) {
            m_shownNetwork[i] = now;
            watchLine(readEntry(m_driver, targets[i]));
        }
    }
}

} // namespace OxsCtl
