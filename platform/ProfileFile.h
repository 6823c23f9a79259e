#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

// Profile (INI) files as the program has always kept them: "[Section]" lines, then "Key=Value" lines.
// Sections and keys are found regardless of letter case; blanks around sections, keys and values are not
// part of them, values are otherwise kept as written. Each line is read as UTF-8 where it is valid UTF-8,
// else as Latin-1. Reading never fails on content (anything unexpected is skipped); writing builds the
// whole file and replaces the old one atomically, so a failed write leaves the previous file as it was.
class ProfileReader {
  public:
    // Reads the file at once. A missing file reads as an empty profile. Only a regular file is read: a FIFO,
    // a device or a folder in its place is unreadable, and is never opened in a way that could wait.
    explicit ProfileReader(const QString &path);

    bool exists() const { return m_exists; }
    // False when the file exists but could not be read.
    bool readable() const { return m_readable; }

    // The value of the first matching key of the first matching section, or nothing.
    std::optional<QString> value(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &def) const;
    // A value that does not convert to a 32-bit integer counts as absent.
    int readInteger(const QString &section, const QString &key, int def) const;

    // Decimal with optional sign, or hexadecimal written "$1F" or "0x1F"; blanks around are ignored.
    static std::optional<int> toInteger(const QString &text);

    // Bytes read at most; the rest of a larger file is ignored.
    static constexpr qint64 kMaxBytes = 1 << 20;

  private:
    struct Entry {
        QString section;
        QString key;
        QString value;
    };
    QList<Entry> m_entries;
    bool m_exists = false;
    bool m_readable = true;
};

class ProfileWriter {
  public:
    explicit ProfileWriter(QString path) : m_path(std::move(path)) {}

    // Keys are written in call order, grouped under their section in the order sections first appear.
    // Line breaks inside a value would end the line early; they are written as spaces. Blanks around a
    // value would not read back, so they are not written.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);

    // The file's text as commit() writes it (CR LF line ends, as the Windows profile functions write).
    QByteArray text() const;
    // Replaces the file with the written keys. Returns false when it cannot, or when something other than
    // a file (a FIFO, a device) stands at the path; what was there then stays.
    bool commit() const;

  private:
    struct Entry {
        QString section;
        QString key;
        QString value;
    };
    QString m_path;
    QList<Entry> m_entries;
};
