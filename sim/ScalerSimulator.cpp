#include "ScalerSimulator.h"

#include "DeviceVariables.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace OxsSim {

namespace {

// Reads the host's text commands and hands them to the simulator.
class TextProtocolHandler : public ProtocolHandler {
  public:
    TextProtocolHandler(ScalerSimulator &sim, int settleMs)
        : m_sim(sim), m_splitter(CommandSplitter::deviceMnemonics()) {
        m_settle.setSingleShot(true);
        m_settle.setInterval(settleMs);
        QObject::connect(&m_settle, &QTimer::timeout, &m_settle, [this] {
            if (m_session) run(*m_session, m_splitter.flush());
        });
    }

    void received(Session &session, const QByteArray &data) override {
        m_session = &session;
        m_splitter.setByteParser(m_sim.faults().byteParser);
        run(session, m_splitter.feed(data));
    }

  private:
    void run(Session &session, const QList<SimCommand> &commands) {
        for (const SimCommand &cmd : commands)
            m_sim.handleCommand(session, cmd);
        if (m_splitter.waitingForLonger()) m_settle.start();
    }

    ScalerSimulator &m_sim;
    CommandSplitter m_splitter;
    QTimer m_settle;
    Session *m_session = nullptr; // the owner of this handler
};

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool makeRaw(int fd, QString *error) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        if (error) *error = errnoText();
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        if (error) *error = errnoText();
        return false;
    }
    return true;
}

} // namespace

ScalerSimulator::ScalerSimulator(int model, QObject *parent) : QObject(parent), m_state(model) {
    m_faults.configure(FaultSettings{});
    for (QTimer *t : {&m_takeTimer, &m_storeTimer, &m_frameTimer})
        t->setSingleShot(true);
    connect(&m_takeTimer, &QTimer::timeout, this, [this] {
        for (const QByteArray &line : m_state.finishTake())
            broadcast(line);
    });
    connect(&m_storeTimer, &QTimer::timeout, this, [this] {
        for (const QByteArray &line : m_state.endStore())
            broadcast(line);
    });
    connect(&m_frameTimer, &QTimer::timeout, this, [this] {
        for (const QByteArray &line : m_state.finishFrameJob())
            broadcast(line);
    });
    m_streamTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_streamTimer, &QTimer::timeout, this, &ScalerSimulator::streamTick);
}

ScalerSimulator::~ScalerSimulator() {
    stop();
}

void ScalerSimulator::setFaults(const FaultSettings &faults) {
    const bool oddBefore = m_faults.settings().oddValues;
    m_faults.configure(faults);
    if (faults.oddValues && !oddBefore) m_state.useOddValues();
    m_state.setResetDump(faults.resetDump);
    m_streamTimer.stop();
    if (faults.streamMs > 0 && faults.streamLines > 0) {
        m_streamTicks = 0;
        m_streamClock.start();
        m_streamTimer.start(faults.streamMs);
    }
}

// Live measurements: the selected input's line and frame durations in turn, each moving by one unit.
// The count of lines follows the clock, not the timer's ticks, so a late tick is made up for and the
// rate stays exact.
void ScalerSimulator::streamTick() {
    const FaultSettings &f = m_faults.settings();
    if (f.streamMs <= 0 || f.streamLines <= 0) return;
    const qint64 due = m_streamClock.elapsed() / f.streamMs;
    // After a stall (a stopped process) at most a second's worth is made up for.
    const qint64 behind = std::min<qint64>(due - m_streamTicks, std::max(1, 1000 / f.streamMs));
    m_streamTicks = due;
    if (behind <= 0) return;
    const qint64 count = behind * f.streamLines;
    QList<QByteArray> lines;
    lines.reserve(qsizetype(count));
    for (qint64 i = 0; i < count; ++i) {
        const int index = (m_streamCount++ % 2) ? OrlanVars::VAR_IFDM : OrlanVars::VAR_ILDM;
        lines << m_state.setValue(index, m_state.value(index) ^ 1u);
    }
    if (m_faults.muted()) return;
    for (Session *s : sessions()) {
        // A session in raw receive takes no text.
        if (!s->canSend() || dynamic_cast<FrameReceiver *>(s->handler())) continue;
        s->sendLines(lines);
        for (const QByteArray &line : lines)
            emit lineSent(line, s->peerName());
    }
}

bool ScalerSimulator::listed(const QStringList &mnemonics, const QByteArray &mnemonic) {
    for (const QString &m : mnemonics)
        if (m.toLatin1() == mnemonic) return true;
    return false;
}

quint16 ScalerSimulator::startTcp(quint16 port, const QHostAddress &address, QString *error) {
    if (m_tcpServer) {
        if (error) *error = QStringLiteral("TCP is already started");
        return 0;
    }
    auto *server = new QTcpServer(this);
    if (!server->listen(address, port)) {
        if (error) *error = server->errorString();
        delete server;
        return 0;
    }
    m_tcpServer = server;
    m_tcpPort = server->serverPort();
    connect(server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_tcpServer->nextPendingConnection())
            addSession(new TcpSession(socket, m_faults, this));
    });
    return m_tcpPort;
}

quint16 ScalerSimulator::startUdp(quint16 port, const QHostAddress &address, QString *error) {
    if (m_udpPort) {
        if (error) *error = QStringLiteral("UDP is already started");
        return 0;
    }
    auto *socket = new QUdpSocket(this);
    // No address sharing: a second simulator on the same port must fail, not steal datagrams.
    if (!socket->bind(address, port, QAbstractSocket::DontShareAddress)) {
        if (error) *error = socket->errorString();
        delete socket;
        return 0;
    }
    m_udpPort = socket->localPort();
    addSession(new UdpSession(socket, m_faults, this));
    return m_udpPort;
}

QString ScalerSimulator::startPty(QString *error) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error) *error = errnoText();
        return {};
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    if (!makeRaw(slave, error)) {
        ::close(master);
        ::close(slave);
        return {};
    }
    m_ptyPath = QString::fromLocal8Bit(name);
    // Holding the slave open keeps the master readable while no host has the line open.
    addSession(new FdSession(master, slave, m_ptyPath, m_faults, this));
    return m_ptyPath;
}

bool ScalerSimulator::openTty(const QString &path, QString *error) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errnoText();
        return false;
    }
    if (!::isatty(fd)) {
        if (error) *error = QStringLiteral("not a terminal");
        ::close(fd);
        return false;
    }
    if (!makeRaw(fd, error)) {
        ::close(fd);
        return false;
    }
    addSession(new FdSession(fd, -1, path, m_faults, this));
    return true;
}

void ScalerSimulator::stop() {
    m_takeTimer.stop();
    m_storeTimer.stop();
    m_frameTimer.stop();
    m_streamTimer.stop();
    delete m_tcpServer;
    m_tcpServer = nullptr;
    const auto sessions = m_sessions;
    m_sessions.clear();
    for (const QPointer<Session> &s : sessions)
        delete s.data();
    m_tcpPort = 0;
    m_udpPort = 0;
    m_ptyPath.clear();
}

QList<Session *> ScalerSimulator::sessions() const {
    QList<Session *> list;
    for (const QPointer<Session> &s : m_sessions)
        if (s) list.append(s.data());
    return list;
}

void ScalerSimulator::addSession(Session *session) {
    session->setHandler(makeTextHandler());
    connect(session, &Session::closed, this, &ScalerSimulator::removeSession);
    m_sessions.append(session);
    emit sessionOpened(session);
}

void ScalerSimulator::removeSession(Session *session) {
    m_sessions.removeAll(QPointer<Session>(session));
    session->deleteLater();
}

std::unique_ptr<ProtocolHandler> ScalerSimulator::makeTextHandler() {
    if (m_handlerFactory) return m_handlerFactory();
    return std::make_unique<TextProtocolHandler>(*this, m_timings.settleMs);
}

void ScalerSimulator::clearCommandLog() {
    m_log.clear();
    m_commandCount = 0;
}

void ScalerSimulator::handleCommand(Session &session, const SimCommand &cmd) {
    const QString text = QString::fromLatin1(cmd.text());
    ++m_commandCount;
    m_log.append(text);
    if (m_log.size() > kMaxLog) m_log.removeFirst();
    emit commandReceived(text, session.peerName());

    // Silent or unplugged: the command never reaches the scaler.
    if (m_faults.muted()) return;
    const FaultSettings &f = m_faults.settings();
    if (listed(f.ignoreCommands, cmd.mnemonic)) return;
    const bool lose = listed(f.loseReplyCommands, cmd.mnemonic);

    if (cmd.mnemonic == "?") {
        const int code = f.modelCode >= 0 ? f.modelCode : model();
        if (!lose)
            reply(session,
                  {QByteArray(OrlanVars::kRows[OrlanVars::VAR_DEV].reply) + QByteArray::number(code)});
        return;
    }
    const Outcome outcome = m_state.execute(cmd);
    if (!lose) reply(session, outcome.replies, cmd.mnemonic == "#");
    if (outcome.inputTaken) m_takeTimer.start(m_timings.takeMs);
    if (outcome.frameJobStarted) m_frameTimer.start(m_timings.frameJobMs);
    if (outcome.uploadStarted && session.transport() == Session::Transport::Serial) startUpload(session);
    if (outcome.settingsChanged) pulseStore();
}

void ScalerSimulator::reply(Session &session, const QList<QByteArray> &lines, bool queryAll) {
    if (m_faults.muted()) return;
    session.sendReply(lines, queryAll);
    for (const QByteArray &line : lines)
        emit lineSent(line, session.peerName());
}

// The raw phase takes the session over once the command that started it has been handled.
void ScalerSimulator::startUpload(Session &session) {
    QPointer<Session> target(&session);
    auto backToText = [this, target] {
        if (target) target->setHandler(makeTextHandler());
    };
    auto finished = [this](const QImage &field) {
        m_state.finishUpload(!field.isNull());
        if (field.isNull()) {
            ++m_uploadsAborted;
        } else {
            m_storedFrame = field;
            ++m_uploadsStored;
            if (!m_saveFramePath.isEmpty()) field.save(m_saveFramePath, "BMP");
        }
        emit uploadEnded(!field.isNull());
    };
    UploadSettings settings = m_upload;
    settings.rawUntilCan = m_faults.settings().rawUntilCan;
    QTimer::singleShot(0, &session, [target, settings, backToText, finished] {
        if (target)
            target->setHandler(std::make_unique<FrameReceiver>(*target, settings, backToText, finished));
    });
}

void ScalerSimulator::pulseStore() {
    // One STORE pulse covers a burst of changes: it ends storeMs after the last one.
    if (!m_state.value(OrlanVars::VAR_STORE))
        for (const QByteArray &line : m_state.beginStore())
            broadcast(line);
    m_storeTimer.start(m_timings.storeMs);
}

void ScalerSimulator::setReported(int index, quint32 value) {
    const QByteArray line = m_state.setValue(index, value);
    if (!line.isEmpty()) broadcast(line);
}

void ScalerSimulator::broadcast(const QByteArray &line) {
    if (m_faults.muted()) return;
    for (Session *s : sessions()) {
        if (!s->canSend()) continue;
        s->sendLine(line);
        emit lineSent(line, s->peerName());
    }
}

} // namespace OxsSim
