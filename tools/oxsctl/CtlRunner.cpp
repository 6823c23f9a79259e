#include "CtlRunner.h"

#include "ComPort.h"
#include "DeviceVariables.h"
#include "Orlan_d.h"
#include "ScalerModels.h"

#include <QDateTime>

namespace OxsCtl {

using namespace OrlanVars;

namespace {

// The reply that ends a network-setting command sequence: the last octet, the port, the mask.
int finalReplyRow(const Target &target) {
    if (target.isAddress()) return VAR_IP1;
    if (target.isPort()) return VAR_PORT;
    return VAR_NETMASK;
}

QString storedNetworkSetting(const TOrlan_d &driver, const Target &target) {
    return readEntry(driver, target).valueText();
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
            if (const int code = checkReadable(target, why)) return code;
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
            if (const int code = checkSettable(a.target, why)) return code;
            if (const int code = parseValue(a.target, arg.mid(eq + 1), a.value, why)) return code;
            request.assignments << a;
        }
        break;
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

int openLink(TOrlan_d &driver, const Options &options, QString *why) {
    try {
        switch (options.link) {
        case LinkKind::Serial:
            // The driver opens the port as soon as it is named and clears the name when that fails.
            driver.SetPort(options.serialPort);
            if (driver.Port().isEmpty()) {
                *why = driver.PortOpenError().replace(QLatin1Char('\r'), QStringLiteral(": "));
                return kExitPortFailed;
            }
            return kExitOk;
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
                return kExitPortFailed;
            }
            return kExitOk;
        case LinkKind::Tcp:
            driver.SetIpRemoteAddress(options.host);
            driver.SetIpRemotePort(options.remotePort);
            driver.SetConType(CON_TCP);
            return kExitOk;
        }
    } catch (const EComError &e) {
        *why = QString::fromLocal8Bit(e.what()).replace(QLatin1Char('\r'), QStringLiteral(": "));
        return kExitPortFailed;
    }
    return kExitOk;
}

Runner::Runner(TOrlan_d &driver, Request request, Writer out, Writer err, QObject *parent)
    : QObject(parent), m_driver(driver), m_request(std::move(request)), m_out(std::move(out)),
      m_err(std::move(err)) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &Runner::onTimeout);
    m_replyWindow.setSingleShot(true);
    connect(&m_replyWindow, &QTimer::timeout, this, [this] { finish(kExitOk); });
}

Runner::~Runner() {
    m_driver.OnConnected = nullptr;
    m_driver.OnReady = nullptr;
    m_driver.OnRecString = nullptr;
    for (int i = 0; i < VAR_COUNT; ++i)
        if (TOrlanNotifyEvent *event = m_driver.ChangeEvent(i)) *event = nullptr;
}

void Runner::start() {
    m_driver.OnConnected = [this](TOrlan_d *, int32_t) { onConnected(); };
    m_driver.OnReady = [this](TOrlan_d *, int32_t) { onReady(); };
    m_driver.OnRecString = [this](TOrlan_d *, int32_t) { onRecString(); };
    for (int i = 0; i < VAR_COUNT; ++i)
        if (TOrlanNotifyEvent *event = m_driver.ChangeEvent(i))
            *event = [this, i](TOrlan_d *, int32_t) { onChange(i); };

    const Command command = m_request.options.command;
    if (command != Command::Watch || m_request.options.timeoutGiven)
        m_timeout.start(m_request.options.timeoutMs);
    if (command == Command::Watch) {
        for (const Target &t : watchedNetworkTargets())
            m_shownNetwork << storedNetworkSetting(m_driver, t);
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
    if (finished) finished(code);
}

void Runner::onTimeout() {
    switch (m_request.options.command) {
    case Command::Watch:
        finish(kExitOk);
        return;
    case Command::Set:
        if (m_connectedOnce && m_current >= 0) {
            const Request::Assignment &a = m_request.assignments[m_current];
            m_err(QStringLiteral("oxsctl: no reply from the scaler confirmed %1 within the time-out\n")
                      .arg(a.target.name));
            finish(kExitNotConfirmed);
            return;
        }
        break;
    default:
        break;
    }
    m_err(QStringLiteral("oxsctl: no scaler %1 on %2 within %3 s\n")
              .arg(m_connectedOnce ? QStringLiteral("became ready") : QStringLiteral("answered"),
                   describeLink(m_request.options))
              .arg(m_request.options.timeoutMs / 1000.0));
    finish(kExitNoScaler);
}

void Runner::onConnected() {
    const bool connected = m_driver.Connected();
    ++m_cause;
    switch (m_request.options.command) {
    case Command::Watch:
        if (int(connected) != m_shownConnected) {
            m_shownConnected = connected;
            watchLine(QStringLiteral("Connected"), QString::number(int(connected)));
        }
        return;
    case Command::Set:
        if (!connected) return;
        m_connectedOnce = true;
        if (m_current < 0 && !m_awaiting) {
            m_awaiting = true; // the first assignment is on its way
            QTimer::singleShot(0, this, &Runner::sendNext);
        } else if (m_awaiting && !m_sent) { // the link was lost before the command could go out
            QTimer::singleShot(0, this, &Runner::sendCurrent);
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
        if (connected) m_connectedOnce = true;
        return;
    }
}

void Runner::onReady() {
    const bool ready = m_driver.Ready();
    ++m_cause;
    switch (m_request.options.command) {
    case Command::Watch:
        if (int(ready) != m_shownReady) {
            m_shownReady = ready;
            watchLine(QStringLiteral("Ready"), QString::number(int(ready)));
        }
        return;
    case Command::Status:
    case Command::Get:
    case Command::Dump:
        if (ready) printReadResults();
        return;
    default:
        return;
    }
}

void Runner::printReadResults() {
    if (m_finished) return;
    const Options &o = m_request.options;
    if (o.command == Command::Status) {
        const uint32_t dev = m_driver.Value(VAR_DEV);
        const uint32_t version = m_driver.Value(VAR_VERUPD);
        m_out(QStringLiteral("DEV=%1\nMODEL=%2\nVERSION=%3.%4\nLINK=%5\n")
                  .arg(dev)
                  .arg(Models::ModelName(dev))
                  .arg(version / 100)
                  .arg(version % 100)
                  .arg(describeLink(o)));
        finish(kExitOk);
        return;
    }
    const QList<Target> targets = o.command == Command::Dump ? dumpTargets() : m_request.targets;
    QList<Entry> entries;
    for (const Target &t : targets)
        entries << readEntry(m_driver, t);
    m_out(o.json ? formatJson(entries) : formatLines(entries));
    finish(kExitOk);
}

// ---------------------------------------------------------------------------------------------------------
// set

void Runner::sendNext() {
    if (m_finished) return;
    if (m_current + 1 >= m_request.assignments.size()) {
        finish(kExitOk);
        return;
    }
    ++m_current;
    m_awaiting = true;
    m_sent = false;
    sendCurrent();
}

void Runner::sendCurrent() {
    if (m_finished || m_current < 0 || !m_awaiting || m_sent || !m_driver.Connected())
        return; // while not connected the setters send nothing; the next connection sends it
    const Request::Assignment &a = m_request.assignments[m_current];
    m_sent = true;
    switch (a.target.kind) {
    case TargetKind::LocalIp:
        m_driver.SetLOCAL_IP(a.value.text);
        break;
    case TargetKind::RemoteIp:
        m_driver.SetREMOTE_IP(a.value.text);
        break;
    case TargetKind::GatewayIp:
        m_driver.SetGATEWAY_IP(a.value.text);
        break;
    case TargetKind::Netmask:
        m_driver.SetNETMASK(a.value.text);
        break;
    case TargetKind::LocalPort:
        m_driver.SetLOCAL_PORT(static_cast<int32_t>(a.value.number));
        break;
    case TargetKind::RemotePort:
        m_driver.SetREMOTE_PORT(static_cast<int32_t>(a.value.number));
        break;
    case TargetKind::Row:
        m_driver.SetValue(a.target.index, a.value.number);
        break;
    }
}

// While the driver's query-all dump runs, a report of the variable may be the old value rather than the
// answer to the command.
bool Runner::dumpRunning() const {
    return !m_driver.Ready() && m_driver.LinkState() == LINK_READY;
}

void Runner::checkRowReply(uint32_t reported) {
    const Request::Assignment &a = m_request.assignments[m_current];
    const bool asked = sameRowValue(a.target.index, a.value.number, reported);
    if (!asked && dumpRunning()) return;
    confirm(formatRowValue(a.target.index, reported), asked);
}

void Runner::checkNetworkSetting() {
    if (m_finished || !expectingReply()) return;
    const Request::Assignment &a = m_request.assignments[m_current];
    const QString stored = storedNetworkSetting(m_driver, a.target);
    const QString askedText = a.target.isPort() ? QString::number(a.value.number) : a.value.text;
    const bool asked = stored == askedText;
    if (!asked && dumpRunning()) return;
    confirm(stored, asked);
}

void Runner::confirm(const QString &reported, bool asked) {
    const Request::Assignment &a = m_request.assignments[m_current];
    m_awaiting = false;
    m_out(a.target.name + QLatin1Char('=') + reported + QLatin1Char('\n'));
    if (!asked) {
        const QString askedText =
            a.value.text.isEmpty()
                ? (a.target.kind == TargetKind::Row ? formatRowValue(a.target.index, a.value.number)
                                                    : QString::number(a.value.number))
                : a.value.text;
        m_err(QStringLiteral("oxsctl: note: the scaler reports %1=%2, not the %3 sent\n")
                  .arg(a.target.name, reported, askedText));
    }
    QTimer::singleShot(0, this, &Runner::sendNext);
}

// ---------------------------------------------------------------------------------------------------------
// Driver events

void Runner::onChange(int index) {
    switch (m_request.options.command) {
    case Command::Watch:
        if (index == VAR_DEV) {
            if (m_devPrinted == m_cause) return;
            m_devPrinted = m_cause;
        }
        watchLine(QLatin1String(kRows[index].property),
                  index == VAR_NETMASK ? m_driver.NETMASK() : formatRowValue(index, m_driver.Value(index)));
        return;
    case Command::Set:
        if (expectingReply() && m_request.assignments[m_current].target.kind == TargetKind::Row &&
            m_request.assignments[m_current].target.index == index)
            checkRowReply(m_driver.Value(index));
        return;
    default:
        return;
    }
}

void Runner::onRecString() {
    ++m_cause;
    const QByteArray msg = m_driver.receivedString();
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
    case Command::Set: {
        if (!expectingReply()) return;
        const Target &target = m_request.assignments[m_current].target;
        if (target.kind == TargetKind::Row) {
            // The octet rows raise no change event: their reply itself confirms them.
            uint32_t reported = 0;
            if (!m_driver.ChangeEvent(target.index) && replyMatchesRow(msg, target.index, &reported))
                checkRowReply(reported);
        } else if (replyMatchesRow(msg, finalReplyRow(target))) {
            QTimer::singleShot(0, this, &Runner::checkNetworkSetting);
        }
        return;
    }
    default:
        return;
    }
}

// ---------------------------------------------------------------------------------------------------------
// watch

void Runner::watchLine(const QString &name, const QString &value) {
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    m_out(time + QLatin1Char(' ') + name + QLatin1Char('=') + value + QLatin1Char('\n'));
}

void Runner::watchNetwork() {
    const QList<Target> targets = watchedNetworkTargets();
    for (qsizetype i = 0; i < targets.size(); ++i) {
        const QString now = storedNetworkSetting(m_driver, targets[i]);
        if (now != m_shownNetwork.value(i)) {
            m_shownNetwork[i] = now;
            watchLine(targets[i].name, now);
        }
    }
}

} // namespace OxsCtl
