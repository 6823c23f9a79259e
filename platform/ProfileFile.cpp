#include "ProfileFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <limits>

namespace {

// Text is UTF-8; a file that is not valid UTF-8 (one written on Windows in its ANSI code page) reads as
// Latin-1 so that no character is lost to replacement marks.
QString decode(const QByteArray &bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    return text;
}

} // namespace

ProfileReader::ProfileReader(const QString &path) {
    QFile file(path);
    m_exists = file.exists();
    if (!m_exists) return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_readable = false;
        return;
    }
    const QString text = decode(file.read(kMaxBytes));
    QString section;
    bool inSection = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r')) line.chop(1);
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';')) continue;
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            inSection = close > 0;
            if (inSection) section = trimmed.mid(1, close - 1).trimmed().toString();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inSection || eq < 0) continue;
        const QStringView key = line.left(eq).trimmed();
        if (!key.isEmpty()) m_entries.append({section, key.toString(), line.mid(eq + 1).toString()});
    }
}

std::optional<QString> ProfileReader::value(const QString &section, const QString &key) const {
    for (const Entry &e : m_entries)
        if (e.section.compare(section, Qt::CaseInsensitive) == 0 &&
            e.key.compare(key, Qt::CaseInsensitive) == 0)
            return e.value;
    return std::nullopt;
}

QString ProfileReader::readString(const QString &section, const QString &key, const QString &def) const {
    return value(section, key).value_or(def);
}

int ProfileReader::readInteger(const QString &section, const QString &key, int def) const {
    const std::optional<QString> text = value(section, key);
    if (!text) return def;
    return toInteger(*text).value_or(def);
}

std::optional<int> ProfileReader::toInteger(const QString &text) {
    QStringView t = QStringView(text).trimmed();
    bool negative = false;
    if (t.startsWith(u'-') || t.startsWith(u'+')) {
        negative = t.startsWith(u'-');
        t = t.mid(1);
    }
    int base = 10;
    if (t.startsWith(u'$')) {
        base = 16;
        t = t.mid(1);
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t = t.mid(2);
    }
    if (t.isEmpty() || t.startsWith(u'-') || t.startsWith(u'+')) return std::nullopt;
    bool ok = false;
    const qlonglong magnitude = t.toLongLong(&ok, base);
    if (!ok) return std::nullopt;
    const qlonglong v = negative ? -magnitude : magnitude;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(v);
}

void ProfileWriter::writeString(const QString &section, const QString &key, const QString &value) {
    QString flat = value;
    flat.replace(u'\r', u' ').replace(u'\n', u' ');
    for (Entry &e : m_entries)
        if (e.section.compare(section, Qt::CaseInsensitive) == 0 &&
            e.key.compare(key, Qt::CaseInsensitive) == 0) {
            e.value = flat;
            return;
        }
    m_entries.append({section, key, flat});
}

void ProfileWriter::writeInteger(const QString &section, const QString &key, int value) {
    writeString(section, key, QString::number(value));
}

QByteArray ProfileWriter::text() const {
    QStringList sections;
    for (const Entry &e : m_entries) {
        bool seen = false;
        for (const QString &s : sections)
            seen = seen || s.compare(e.section, Qt::CaseInsensitive) == 0;
        if (!seen) sections << e.section;
    }
    QString out;
    for (const QString &s : sections) {
        out += u'[' + s + QLatin1String("]\r\n");
        for (const Entry &e : m_entries)
            if (e.section.compare(s, Qt::CaseInsensitive) == 0)
                out += e.key + u'=' + e.value + QLatin1String("\r\n");
    }
    return out.toUtf8();
}

bool ProfileWriter::commit() const {
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = text();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
