#pragma once

#include "CommandSplitter.h"
#include "ScalerSimulator.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace OxsSim {

// A link recording: UTF-8 text, one JSON object a line (JSON Lines), in time order.
//   header  {"oxsRecording": 1, "program": "oxs-remote-control 1.4.0.3", "started":
//   "2026-12-09T14:02:11.123Z",
//            "link": "TCP 127.0.0.1:10500"}            (readers ignore keys they do not know)
//   bytes   {"t": 1.234567, "dir": "out", "data": "120H"}
//            t: seconds since "started"; dir: "out" to the scaler, "in" from it; data: one character per
//            byte (code point = byte value, U+0000 to U+00FF); one line per chunk as the link handed it over
//   model   {"t": 2.5, "model": 33}                     the scaler was found
//   upload  {"t": 3.1, "dir": "out", "pictureBytes": 4096}   picture bytes written raw, not recorded
//   dropped {"t": 4.0, "notRecorded": 1234}             bytes the writer could not keep up with
//   end     {"t": 150.0, "end": "stopped"} or "size limit"; a crash leaves none and may cut the last line
// Lines that are not JSON or lack keys are skipped and counted; a first line that is not a header with
// "oxsRecording" makes the file no recording at all.
struct Recording {
    // A piece of the scaler's output, at a time in microseconds (relative to what owns it).
    struct Chunk {
        qint64 atUs = 0;
        QByteArray bytes;
    };

    QString program;
    QString link;
    int model = -1; // from the model line; -1 when the scaler was never found
    bool ended = false;
    int skippedLines = 0;
    int commandCount = 0;
    // Per command text ("120H", "?", "#"): the reply of each occurrence, in recorded order; chunk times are
    // relative to the command.
    QHash<QByteArray, QList<QList<Chunk>>> replies;
    // Output that followed no command; times are relative to the first command (or the first line).
    QList<Chunk> unsolicited;

    // Output up to this long after a command (and before the next one) is that command's reply; later output
    // came of the scaler's own accord.
    static constexpr qint64 kReplyWindowUs = 2000000;

    // Returns false with *error set when the text is not a recording.
    static bool parse(const QByteArray &text, Recording *out, QString *error);
    static bool load(const QString &path, Recording *out, QString *error);
};

// Serves a recording on the simulator's links: recorded commands get their recorded replies, the scaler's
// own recorded output plays at its times, and anything else is answered by the simulated model.
class Replayer : public QObject {
    Q_OBJECT
  public:
    // speed > 0 divides every recorded delay. fallbackModel answers what the recording does not hold.
    Replayer(Recording recording, double speed, int fallbackModel, QObject *parent = nullptr);
    // Serves the recording on the caller's simulator (a test fixture's), whose transports are started after
    // this and stopped with it; its model answers the rest.
    Replayer(Recording recording, double speed, ScalerSimulator &sim, QObject *parent = nullptr);
    ~Replayer() override;

    ScalerSimulator &simulator() { return *m_sim; }
    const Recording &recording() const { return m_recording; }
    double speed() const { return m_speed; }

    // Called once per command mnemonic that falls back to the model (and for other notes).
    std::function<void(const QString &)> onNote;
    // Mnemonics answered by the model so far.
    QSet<QByteArray> fallbackMnemonics() const { return m_fallbackSaid; }

    // Internal: a session's handler asks for the replies of a command, or hands it to the model.
    const QList<Recording::Chunk> *recordedReply(const QByteArray &text, int occurrence) const;
    void fallBack(Session &session, const SimCommand &cmd);

  private:
    Replayer(Recording recording, double speed, ScalerSimulator *sim, QObject *parent);

    Recording m_recording;
    double m_speed;
    ScalerSimulator *m_sim;
    std::unique_ptr<ScalerSimulator> m_own;
    QSet<QByteArray> m_fallbackSaid;
};

// The replay's protocol handler: one per session, so each host meets the recorded session from its start.
class ReplayHandler : public ProtocolHandler {
  public:
    explicit ReplayHandler(Replayer &replayer);
    void received(Session &session, const QByteArray &data) override;

  private:
    struct Due {
        qint64 atMs;
        QByteArray bytes;
    };
    void run(const QList<SimCommand> &commands);
    void pump();
    void write(const QByteArray &bytes);
    qint64 scaled(qint64 us) const;

    Replayer &m_replayer;
    QPointer<Session> m_session;
    CommandSplitter m_splitter;
    QHash<QByteArray, int> m_seen; // occurrences received per command text
    QElapsedTimer m_clock;         // since the session's first bytes
    QList<Due> m_replies;          // in order, each due no earlier than the one before
    int m_nextUnsolicited = 0;
    bool m_midLine = false; // the last bytes written ended inside a line
    QTimer m_pump;
    QTimer m_settle;
};

} // namespace OxsSim
