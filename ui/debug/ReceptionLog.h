#pragma once

#include <QByteArray>
#include <QList>

#include <deque>

// The messages the console has shown, the last `maxLines` of them, kept as compact bytes: a day of live
// reports costs a few megabytes, and the window renders them only while it is shown.
class ReceptionLog {
  public:
    explicit ReceptionLog(int maxLines);

    void append(const QByteArray &message);
    void clear();

    int maxLines() const { return m_maxLines; }
    // Messages kept (at most maxLines).
    qsizetype size() const;
    // Messages appended since creation or the last clear, also those that have gone since.
    qint64 appended() const { return m_appended; }
    // The last `count` messages kept, oldest first.
    QList<QByteArray> last(qsizetype count) const;
    // Bytes held by the messages (their storage, without the container's own bookkeeping).
    qint64 storedBytes() const;

  private:
    // Messages one after the other, each after its length in two bytes (longer ones are cut: the
    // driver's messages are far shorter).
    struct Chunk {
        QByteArray bytes;
        int count = 0;
    };
    static constexpr int kChunkLines = 1024;

    int m_maxLines;
    std::deque<Chunk> m_chunks;
    qsizetype m_stored = 0; // messages in the chunks, possibly a chunk more than maxLines
    qint64 m_appended = 0;
};
