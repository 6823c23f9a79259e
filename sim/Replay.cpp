#include "Replay.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace OxsSim {

namespace {

// The bytes of a "data" string: one character per byte. False when a character is above U+00FF.
bool bytesOf(const QString &text, QByteArray *out) {
    for (const QChar c : text)
        if (c.unicode() > 0xFF) return false;
    *out = text.toLatin1();
    return true;
}

// Assigns the recorded output to the commands it answers.
class Attribution {
  public:
    explicit Attribution(Recording &rec) : m_rec(rec), m_splitter(CommandSplitter::deviceMnemonics()) {}

    void hostBytes(qint64 us, const QByteArray &bytes) {
        take(m_splitter.feed(bytes), us);
        m_heldSinceUs = us;
    }

    void scalerBytes(qint64 us, const QByteArray &bytes) {
        // The scaler answered, so a command held back for a longer mnemonic was complete.
        if (m_splitter.waitingForLonger()) take(m_splitter.flush(), m_heldSinceUs);
        // The rest of a line cut short goes where its start went, even when a command came in between.
        if (!m_midLine) {
            m_target = m_current;
            m_targetIndex = m_currentIndex;
            m_targetUs = m_commandUs;
            if (!m_target.isEmpty() && us - m_targetUs > Recording::kReplyWindowUs) m_target.clear();
        }
        if (!m_target.isEmpty())
            m_rec.replies[m_target][m_targetIndex].append({us - m_targetUs, bytes});
        else
            m_unsolicited.append({us, bytes});
        qsizetype end = bytes.size();
        while (end > 0 && bytes[end - 1] == '\0')
            --end;
        if (end > 0) m_midLine = bytes[end - 1] != '\n';
    }

    void finish(qint64 firstLineUs) {
        if (m_splitter.waitingForLonger()) take(m_splitter.flush(), m_heldSinceUs);
        const qint64 base = m_firstCommandUs >= 0 ? m_firstCommandUs : firstLineUs;
        for (Recording::Chunk &c : m_unsolicited)
            c.atUs = std::max<qint64>(0, c.atUs - base);
        m_rec.unsolicited = m_unsolicited;
    }

  private:
    void take(const QList<SimCommand> &commands, qint64 us) {
        for (const SimCommand &cmd : commands) {
            // Several commands in one chunk: the output that follows belongs to the last of them.
            m_current = cmd.text();
            QList<QList<Recording::Chunk>> &occurrences = m_rec.replies[m_current];
            occurrences.emplaceBack();
            m_currentIndex = int(occurrences.size()) - 1;
            m_commandUs = us;
            if (m_firstCommandUs < 0) m_firstCommandUs = us;
            ++m_rec.commandCount;
        }
    }

    Recording &m_rec;
    CommandSplitter m_splitter;
    QByteArray m_current; // the latest command
    int m_currentIndex = 0;
    qint64 m_commandUs = 0;
    QByteArray m_target; // where the latest output went (empty: unsolicited)
    int m_targetIndex = 0;
    qint64 m_targetUs = 0;
    bool m_midLine = false;
    qint64 m_firstCommandUs = -1;
    qint64 m_heldSinceUs = 0;
    QList<Recording::Chunk> m_unsolicited;
};

} // namespace

bool Recording::parse(const QByteArray &text, Recording *out, QString *error) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QByteArray &line : lines)
        if (line.endsWith('\r')) line.chop(1);

    const QJsonDocument head = lines.isEmpty() ? QJsonDocument() : QJsonDocument::fromJson(lines.first());
    if (!head.isObject() || !head.object().contains(QLatin1String("oxsRecording"))) {
        if (error)
            *error = lines.isEmpty() ? QStringLiteral("the file is empty")
                                     : QStringLiteral("the first line is not a recording header "
                                                      "(a JSON object with \"oxsRecording\")");
        return false;
    }
    Recording rec;
    rec.program = head.object().value(QLatin1String("program")).toString();
    rec.link = head.object().value(QLatin1String("link")).toString();

    Attribution attribution(rec);
    qint64 lastUs = 0;
    qint64 firstLineUs = -1;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QJsonDocument doc = QJsonDocument::fromJson(lines[i]);
        const QJsonObject o = doc.object();
        const QJsonValue t = o.value(QLatin1String("t"));
        if (!doc.isObject() || !t.isDouble() || !std::isfinite(t.toDouble())) {
            ++rec.skippedLines;
            continue;
        }
        // Microseconds; a time running backwards is taken as the time before it, so the order stays.
        const double seconds = std::clamp(t.toDouble(), 0.0, 1e9);
        const qint64 us = std::max(lastUs, qint64(std::llround(seconds * 1e6)));
        const QString dir = o.value(QLatin1String("dir")).toString();
        const QJsonValue data = o.value(QLatin1String("data"));
        QByteArray bytes;
        bool known = true;
        if ((dir == QLatin1String("out") || dir == QLatin1String("in")) && data.isString()) {
            if (!bytesOf(data.toString(), &bytes)) {
                known = false;
            } else if (dir == QLatin1String("out")) {
                attribution.hostBytes(us, bytes);
            } else {
                attribution.scalerBytes(us, bytes);
            }
        } else if (o.value(QLatin1String("model")).isDouble()) {
            rec.model = o.value(QLatin1String("model")).toInt(-1);
        } else if (o.value(QLatin1String("end")).isString()) {
            rec.ended = true;
        } else if (!o.value(QLatin1String("pictureBytes")).isDouble() &&
                   !o.value(QLatin1String("notRecorded")).isDouble()) {
            known = false;
        }
        if (!known) {
            ++rec.skippedLines;
            continue;
        }
        lastUs = us;
        if (firstLineUs < 0) firstLineUs = us;
    }
    attribution.finish(std::max<qint64>(0, firstLineUs));
    *out = std::move(rec);
    return true;
}

bool Recording::load(const QString &path, Recording *out, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    return parse(file.readAll(), out, error);
}

// ---- Replayer

Replayer::Replayer(Recording recording, double speed, int fallbackModel, QObject *parent)
    : Replayer(std::move(recording), speed, nullptr, parent) {
    m_own = std::make_unique<ScalerSimulator>(fallbackModel);
    m_sim = m_own.get();
    m_sim->setHandlerFactory([this] { return std::make_unique<ReplayHandler>(*this); });
}

Replayer::Replayer(Recording recording, double speed, ScalerSimulator &sim, QObject *parent)
    : Replayer(std::move(recording), speed, &sim, parent) {
    m_sim->setHandlerFactory([this] { return std::make_unique<ReplayHandler>(*this); });
}

Replayer::Replayer(Recording recording, double speed, ScalerSimulator *sim, QObject *parent)
    : QObject(parent), m_recording(std::move(recording)), m_speed(speed > 0 ? speed : 1.0), m_sim(sim) {}

Replayer::~Replayer() {
    // A simulator of the caller's outlives us: its sessions (whose handlers refer to us) close, and new ones
    // get the text protocol again.
    if (!m_own) {
        m_sim->stop();
        m_sim->setHandlerFactory({});
    }
}

const QList<Recording::Chunk> *Replayer::recordedReply(const QByteArray &text, int occurrence) const {
    const auto it = m_recording.replies.constFind(text);
    if (it == m_recording.replies.constEnd() || it->isEmpty()) return nullptr;
    // Past the last recorded occurrence the last one is given again.
    return &it->at(std::min(occurrence, int(it->size()) - 1));
}

void Replayer::fallBack(Session &session, const SimCommand &cmd) {
    if (!m_fallbackSaid.contains(cmd.mnemonic)) {
        m_fallbackSaid.insert(cmd.mnemonic);
        if (onNote)
            onNote(QStringLiteral("the recording holds no '%1' command like '%2': model %3 answers it")
                       .arg(QString::fromLatin1(cmd.mnemonic), QString::fromLatin1(cmd.text()))
                       .arg(m_sim->model()));
    }
    m_sim->handleCommand(session, cmd);
}

// ---- ReplayHandler

ReplayHandler::ReplayHandler(Replayer &replayer)
    : m_replayer(replayer), m_splitter(CommandSplitter::deviceMnemonics()) {
    m_pump.setSingleShot(true);
    m_pump.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_pump, &QTimer::timeout, &m_pump, [this] { pump(); });
    m_settle.setSingleShot(true);
    m_settle.setInterval(replayer.simulator().timings().settleMs);
    QObject::connect(&m_settle, &QTimer::timeout, &m_settle, [this] { run(m_splitter.flush()); });
}

qint64 ReplayHandler::scaled(qint64 us) const {
    return qint64(double(us) / 1000.0 / m_replayer.speed());
}

void ReplayHandler::received(Session &session, const QByteArray &data) {
    if (!m_session) {
        // The recorded session starts with this host's first bytes.
        m_session = &session;
        m_clock.start();
    }
    run(m_splitter.feed(data));
    if (m_splitter.waitingForLonger()) m_settle.start();
    pump();
}

void ReplayHandler::run(const QList<SimCommand> &commands) {
    if (!m_session) return;
    for (const SimCommand &cmd : commands) {
        const QByteArray text = cmd.text();
        const QList<Recording::Chunk> *reply = m_replayer.recordedReply(text, m_seen[text]++);
        if (!reply) {
            m_replayer.fallBack(*m_session, cmd);
            continue;
        }
        const qint64 now = m_clock.elapsed();
        for (const Recording::Chunk &chunk : *reply) {
            qint64 at = now + scaled(chunk.atUs);
            // Replies go out in the order asked, as the scaler's output queue sends them.
            if (!m_replies.isEmpty()) at = std::max(at, m_replies.last().atMs);
            m_replies.append({at, chunk.bytes});
        }
    }
    pump();
}

void ReplayHandler::pump() {
    if (!m_session) return;
    const QList<Recording::Chunk> &unsolicited = m_replayer.recording().unsolicited;
    const qint64 now = m_clock.elapsed();
    for (;;) {
        if (!m_replies.isEmpty() && m_replies.first().atMs <= now) {
            write(m_replies.takeFirst().bytes);
            continue;
        }
        // The scaler's own output never cuts into the middle of a reply's line.
        const bool replyMidLine = m_midLine && !m_replies.isEmpty();
        if (m_nextUnsolicited < unsolicited.size() && !replyMidLine &&
            scaled(unsolicited[m_nextUnsolicited].atUs) <= now) {
            write(unsolicited[m_nextUnsolicited++].bytes);
            continue;
        }
        break;
    }
    qint64 next = -1;
    if (!m_replies.isEmpty()) next = m_replies.first().atMs;
    if (m_nextUnsolicited < unsolicited.size() && !(m_midLine && !m_replies.isEmpty())) {
        const qint64 at = scaled(unsolicited[m_nextUnsolicited].atUs);
        next = next < 0 ? at : std::min(next, at);
    }
    if (next >= 0)
        m_pump.start(int(std::clamp<qint64>(next - now, 0, 24 * 3600 * 1000)));
    else
        m_pump.stop();
}

void ReplayHandler::write(const QByteArray &bytes) {
    if (!m_session || !m_session->canSend()) return;
    m_session->sendRaw(bytes);
    qsizetype end = bytes.size();
    while (end > 0 && bytes[end - 1] == '\0')
        --end;
    if (end > 0) m_midLine = bytes[end - 1] != '\n';
}

} // namespace OxsSim
