#pragma once

#include <QString>

#include <optional>

// The command being composed in the console, one typed character at a time. Enter hands the command
// over for sending; Backspace takes back the last character together with any spaces before it.
class CommandBuffer {
  public:
    static constexpr QChar kEnter = QChar(13);
    static constexpr QChar kBackspace = QChar(8);

    // One typed character. Returns the command to send when it is Enter and the command is not empty
    // (the buffer is then empty). Control characters other than Enter and Backspace (the editing
    // shortcuts of the memo, Escape, Tab) are not part of a command and are ignored.
    std::optional<QString> type(QChar c);

    void append(const QString &text) { m_text += text; }
    void setText(const QString &text) { m_text = text; }
    void clear() { m_text.clear(); }
    QString text() const { return m_text; }

  private:
    QString m_text;
};
