#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The pace of a text file sent to the scaler: one line per tick when its first line is short (a command
// file), one character per tick otherwise. The scroll bar's position adds to the tick interval.
class TextSender {
  public:
    enum class Pace { Line, Character };

    static constexpr int kFirstLineLimit = 10;        // a first line this long or longer: character pace
    static constexpr int kLineIntervalMs = 30;        // plus the scroll bar position
    static constexpr int kCharIntervalMs = 10;        // plus the scroll bar position
    static constexpr qint64 kMaxFileBytes = 16 << 20; // days of sending at either pace

    // Splits a file into lines at CR LF, LF or CR; a line end at the very end makes no empty last line.
    static QList<QByteArray> splitLines(const QByteArray &bytes);

    // Reads a text file. Nothing changes and false is returned when it cannot be read, is larger than
    // kMaxFileBytes, or holds a zero byte (it is no text then).
    bool load(const QString &path);
    // Takes these lines and chooses the pace from the first one (an empty file counts as line pace).
    void setLines(QList<QByteArray> lines);

    bool loadedOnce() const { return m_loadedOnce; }
    Pace pace() const { return m_pace; }
    int lineCount() const { return static_cast<int>(m_lines.size()); }
    // Tick interval for a scroll bar position.
    int interval(int scrollPosition) const;

    // One tick: the bytes to send, or nothing when the file is through (the position then goes back to
    // the start, ready for the next run).
    std::optional<QByteArray> next();

  private:
    QList<QByteArray> m_lines;
    QByteArray m_text; // every line followed by CR LF, for the character pace
    Pace m_pace = Pace::Line;
    qsizetype m_index = 0; // line pace: from 0; character pace: from 1 (one-based)
    bool m_loadedOnce = false;
};
