#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <random>

class QSocketNotifier;
class QTcpSocket;
class QUdpSocket;

namespace OxsSim {

// Misbehaviour on demand, for tests and demonstrations.
struct FaultSettings {
    bool silent = false;      // read everything, answer nothing
    int modelCode = -1;       // answer the identity query with this code; -1: the real model
    double dropAfterSec = -1; // stop answering this long after the settings were applied; < 0: never
    double dropForSec = -1;   // ... for this long, then answer again; < 0: for good
    bool chunked = false;     // cut replies into small pieces sent with small pauses
    bool garbage = false;     // put junk lines between replies
    quint32 seed = 1;         // for the chunking and the junk
    int chunkMaxBytes = 8;    // pieces are 1 to this many bytes
    int chunkMaxDelayMs = 4;  // pauses are 0 to this many milliseconds

    // Behaviours of a real scaler that the window and the tools must survive.
    bool oddValues = false;        // holds and reports legal values the window never writes: OTYPEM 0,
                                   //   ACHANM 0, AMODEM 2, a negative COLOR, ORATEM at the end of the rate
                                   //   list, an OFMTM with no list position
    bool resetDump = false;        // query-all answered as after a reset: one report for all inputs
                                   //   (PCHAN 0, then PENA, PRGBI, ...) and no address octets
    int dumpPauseMinMs = 0;        // one pause of a random length in [min, max] ms inside each query-all
    int dumpPauseMaxMs = 0;        //   answer (0: none)
    int splitPauseMs = 0;          // a reply split mid-line, its rest sent this many ms later (0: never):
                                   //   one reply of every query-all answer and every 10th other reply
    bool nulInChunk = false;       // a NUL byte inside network chunks, between lines or before a line
    int streamMs = 0;              // live reports: every streamMs ms, streamLines measurement lines of the
    int streamLines = 1;           //   selected input whose value changes; 0: off
    QStringList ignoreCommands;    // command mnemonics the scaler ignores: applies nothing, answers nothing
    QStringList loseReplyCommands; // command mnemonics it applies but whose reply is lost
    bool byteParser = false;       // parses byte by byte: a "?" inside a command ends it there (the digits
                                   //   so far are dropped), a blank inside a command makes it no command
    bool rawUntilCan = false;      // once raw receive has started, everything is picture data until ESC CAN

    // Every behaviour above that keeps a session usable (not ignore or lose, not a bad model code).
    static FaultSettings harsh();
};

// Shared by all sessions of one simulator: the settings, their clock and the random source.
class FaultInjector {
  public:
    void configure(const FaultSettings &settings);
    const FaultSettings &settings() const { return m_settings; }

    // True while nothing is to be answered (silent, or inside the drop window).
    bool muted() const;
    // A junk line to put before the next reply, or empty.
    QByteArray garbageBefore();
    int nextChunkSize();
    int nextChunkDelay();
    // A random whole number in [lo, hi], from the seeded source.
    int uniform(int lo, int hi);

  private:
    FaultSettings m_settings;
    QElapsedTimer m_clock;
    std::mt19937 m_rng{1};
};

class Session;

// Interprets what arrives on a session. The text command protocol is the default; a different
// protocol (such as a raw upload) takes a session over by installing its own handler.
class ProtocolHandler {
  public:
    virtual ~ProtocolHandler() = default;
    virtual void received(Session &session, const QByteArray &data) = 0;
};

// One conversation with a host over one transport.
class Session : public QObject {
    Q_OBJECT
  public:
    enum class Transport { Tcp, Udp, Serial };

    Session(Transport transport, FaultInjector &faults, QObject *parent = nullptr);
    ~Session() override;

    Transport transport() const { return m_transport; }
    virtual QString peerName() const = 0;
    // False while there is nobody to send to (a UDP endpoint before the first datagram).
    virtual bool canSend() const { return true; }

    // Replaces the handler. Called from inside the current handler, the switch happens once it returns.
    void setHandler(std::unique_ptr<ProtocolHandler> handler);
    ProtocolHandler *handler() const { return m_handler.get(); }

    // Sends one line (the line end is added) through the fault settings.
    void sendLine(const QByteArray &line);
    // Sends several lines as one piece of output through the fault settings.
    void sendLines(const QList<QByteArray> &lines);
    // Sends the answer to a host command: with the fault settings one of its lines may be split, and the
    // answer to the query-all may pause in between.
    void sendReply(const QList<QByteArray> &lines, bool queryAll);
    // Sends bytes exactly as given, past the fault settings and any queued pieces.
    void sendRaw(const QByteArray &bytes);

    qint64 bytesReceived() const { return m_bytesReceived; }

  signals:
    void closed(OxsSim::Session *session);

  protected:
    // Hands incoming bytes to the handler; the transports call it.
    void deliver(const QByteArray &data);
    virtual void writeBytes(const QByteArray &bytes) = 0;

  private:
    struct Segment {
        QByteArray bytes;
        int pauseMs = 0; // waited before the bytes go out
    };
    // Queues text output behind what is queued already, after a pause of pauseMs.
    void enqueue(const QByteArray &bytes, int pauseMs);
    void pump();
    // Writes text output, with a NUL at a line boundary when the settings ask for one.
    void writeText(const QByteArray &bytes);
    QByteArray framed(const QByteArray &line);

    // A host that never reads cannot make us hold more than this.
    static constexpr int kMaxQueued = 64 * 1024;

    Transport m_transport;
    FaultInjector &m_faults;
    std::unique_ptr<ProtocolHandler> m_handler;
    std::unique_ptr<ProtocolHandler> m_nextHandler;
    bool m_delivering = false;
    bool m_switchPending = false;
    QList<Segment> m_queue;
    qsizetype m_queuedBytes = 0;
    QTimer m_pump;
    bool m_midLine = false; // the text written last ended inside a line
    int m_replies = 0;      // answers to commands other than the query-all
    qint64 m_bytesReceived = 0;
};

class TcpSession : public Session {
    Q_OBJECT
  public:
    TcpSession(QTcpSocket *socket, FaultInjector &faults, QObject *parent = nullptr);
    QString peerName() const override;
    bool canSend() const override;

  protected:
    void writeBytes(const QByteArray &bytes) override;

  private:
    static constexpr qint64 kMaxBacklog = 256 * 1024;
    QTcpSocket *m_socket;
};

// The UDP endpoint: one session whose peer is the sender of the latest datagram.
class UdpSession : public Session {
    Q_OBJECT
  public:
    UdpSession(QUdpSocket *socket, FaultInjector &faults, QObject *parent = nullptr);
    QString peerName() const override;
    bool canSend() const override { return !m_peer.isNull(); }

  protected:
    void writeBytes(const QByteArray &bytes) override;

  private:
    void readDatagrams();

    static constexpr qint64 kMaxDatagram = 8192;
    QUdpSocket *m_socket;
    QHostAddress m_peer;
    quint16 m_peerPort = 0;
};

// A serial line: the master side of a pseudo-terminal, or a terminal device.
class FdSession : public Session {
    Q_OBJECT
  public:
    // Takes ownership of fd and of keepOpen (closed with the session; -1 for none).
    FdSession(int fd, int keepOpen, const QString &name, FaultInjector &faults, QObject *parent = nullptr);
    ~FdSession() override;
    QString peerName() const override { return m_name; }
    // Only once a host has written: reports must not pile up in a line nobody has opened yet.
    bool canSend() const override { return bytesReceived() > 0; }

  protected:
    void writeBytes(const QByteArray &bytes) override;

  private:
    void readAvailable();
    void flushPending();

    static constexpr int kMaxPending = 64 * 1024;
    int m_fd;
    int m_keepOpen;
    QString m_name;
    QSocketNotifier *m_readNotifier;
    QSocketNotifier *m_writeNotifier;
    QByteArray m_pending;
    QTimer m_retry;
};

} // namespace OxsSim
