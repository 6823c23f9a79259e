#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class QThread;
class TOrlan_d;

// Records every byte exchanged on a driver's link to a file, with its time and direction, so that a
// session with a real scaler can be attached to a bug report and replayed.
//
// The file is UTF-8 text, one JSON object per line (JSON Lines), in time order:
//   {"oxsRecording": 1, "program": "oxs-remote-control 1.4.0.3", "started": "2026-12-09T14:02:11.123Z",
//    "link": "TCP 127.0.0.1:10500"}                       the header, first line (one line in the file)
//   {"t": 1.234567, "dir": "out", "data": "120H"}          bytes on the link: t in seconds since "started"
//                                                          (microseconds), "out" to the scaler, "in" from
//                                                          it; one character per byte (code point = byte
//                                                          value, U+0000 to U+00FF, JSON escapes for
//                                                          control bytes); one line per chunk as the link
//                                                          handed it over
//   {"t": 2.5, "model": 33}                                the scaler was found (DEV reported, connected)
//   {"t": 3.1, "dir": "out", "pictureBytes": 4096}         picture bytes of a frame upload, counted only
//                                                          (control bytes such as ESC CAN are data lines)
//   {"t": 4.0, "notRecorded": 1234}                        bytes of both directions dropped since the last
//                                                          line because the writer fell behind
//   {"t": 150.0, "end": "stopped"}                         the end; "size limit" when the file reached its
//                                                          cap; a crash leaves no end line
// Readers ignore keys they do not know, skip lines that are not JSON or lack keys, and accept a missing
// end line or a last line cut off; a file whose first line is not a header with "oxsRecording" is not a
// recording.
//
// The user-interface thread only appends to a bounded queue; a writer thread formats and writes, and
// flushes the file at least every kFlushMs so that a crash loses at most the last second.
class LinkRecorder : public QObject {
    Q_OBJECT
  public:
    static constexpr qint64 kDefaultFileLimit = 64LL * 1024 * 1024;
    static constexpr qint64 kDefaultQueueLimit = 4LL * 1024 * 1024;
    static constexpr int kFlushMs = 250;

    explicit LinkRecorder(TOrlan_d &driver, QObject *parent = nullptr);
    ~LinkRecorder() override; // stops the recording

    // The writer's name and version for the header, e.g. "oxs-remote-control 1.4.0.3".
    void SetProgram(const QString &program) { m_program = program; }
    // The file's cap in bytes, end line included; takes effect at the next Start.
    void SetFileLimit(qint64 bytes) { m_fileLimit = bytes; }
    qint64 FileLimit() const { return m_fileLimit; }
    // Bytes the queue may hold before data is dropped and counted; takes effect at the next Start.
    void SetQueueLimit(qint64 bytes) { m_queueLimit = bytes; }

    // Creates (replaces) the file and writes the header. False with `error` set when it cannot be written.
    bool Start(const QString &path, QString *error = nullptr);
    // Writes the end line and closes the file. Does nothing when not recording.
    void Stop();
    bool IsRecording() const { return m_recording; }
    QString FileName() const { return m_path; }

    // The link as the header describes it, e.g. "TCP 127.0.0.1:10500" or "RS232 COM1".
    static QString LinkDescription(const TOrlan_d &driver);
    // One byte per character, as a JSON string with its quotes.
    static QByteArray JsonBytes(const QByteArray &bytes);

    // Holds the writer thread until ReleaseWriter (tests: fill the queue while nothing is taken from it).
    void HoldWriter();
    void ReleaseWriter();

  signals:
    // The recording ended: on Stop, or when the file reached its cap ("size limit") or could not be
    // written; `reason` is the end line's text or the write error.
    void stopped(const QString &reason);

  private:
    enum class Kind { Data, Model, PictureBytes, NotRecorded, End };
    struct Entry {
        Kind kind;
        bool out = false;
        qint64 micros = 0;
        qint64 count = 0; // model, picture or dropped byte count
        QByteArray data;
    };

    void linkOut(const QByteArray &bytes);
    void linkIn(const QByteArray &bytes);
    void connectedChanged();
    void push(Entry entry, qint64 droppableBytes);
    qint64 nowMicros() const;
    void writerLoop();
    void finish(const QString &reason);

    TOrlan_d &m_driver;
    QString m_program;
    qint64 m_fileLimit = kDefaultFileLimit;
    qint64 m_queueLimit = kDefaultQueueLimit;
    QString m_path;
    bool m_recording = false;
    bool m_wasConnected = false;
    QElapsedTimer m_clock;
    QList<QMetaObject::Connection> m_connections;

    // Shared with the writer thread, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Entry> m_queue;
    qint64 m_queued = 0;  // bytes the queue holds (data plus a line's overhead per entry)
    qint64 m_dropped = 0; // bytes dropped since the last queued entry
    bool m_stopping = false;
    bool m_held = false;
    std::atomic<bool> m_writerDone{false}; // the writer closed the file on its own (cap or error)
    QString m_writerReason;

    std::unique_ptr<QThread> m_thread;
    struct File;
    std::unique_ptr<File> m_file;
};
