#include "ProfileFile.h"

#include "Logging.h"
#include "TextFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>

ProfileReader::ProfileReader(const QString &path) {
    m_exists = QFileInfo::exists(path);
    if (!m_exists) return;
    QFile file;
    if (!TextFiles::openRegularFile(file, path)) {
        qCDebug(lcSettings) << "cannot read" << path << "- not a readable regular file";
        m_readable = false;
        return;
    }
    qCDebug(lcSettings) << "reading" << path;
    QByteArray bytes = file.read(kMaxBytes);
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3); // the mark some editors put before UTF-8 text
    QString section;
    bool inSection = false;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) end = bytes.size();
        const QString line = TextFiles::decodeLine(QByteArrayView(bytes).sliced(start, end - start));
        start = end + 1;
        // Blanks around sections, keys and values are not part of them, as for every profile reader.
        const QStringView trimmed = QStringView(line).trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';')) continue;
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            inSection = close > 0;
            if (inSection) section = trimmed.mid(1, close - 1).trimmed().toString();
            continue;
        }
        const qsizetype eq = trimmed.indexOf(u'=');
        if (!inSection || eq < 0) continue;
        const QStringView key = trimmed.left(eq).trimmed();
        if (!key.isEmpty())
            m_entries.append({section, key.toString(), trimmed.mid(eq + 1).trimmed().toString()});
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
    const QString s = section.trimmed();
    const QString k = key.trimmed();
    const QString flat = QString(value).replace(u'\r', u' ').replace(u'\n', u' ').trimmed();
    for (Entry &e : m_entries)
        if (e.section.compare(s, Qt::CaseInsensitive) == 0 && e.key.compare(k, Qt::CaseInsensitive) == 0) {
            e.value = flat;
            return;
        }
    m_entries.append({s, k, flat});
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
    // Something other than a file in its place (a FIFO, a device) was put there on purpose: leave it.
    const QFileInfo target(m_path);
    if (target.exists() && !target.isFile()) {
        qCDebug(lcSettings) << "not replacing" << m_path << "- it is not a regular file";
        return false;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCDebug(lcSettings) << "cannot write" << m_path << "-" << file.errorString();
        return false;
    }
    const QByteArray bytes = text();
    if (file.write(bytes) != bytes.size()) {
        qCDebug(lcSettings) << "cannot write" << m_path << "-" << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qCDebug(lcSettings) << "cannot write" << m_path << "-" << file.errorString();
        return false;
    }
    qCDebug(lcSettings) << "wrote" << m_path;
    return true;
}
