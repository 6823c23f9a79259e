#include "DebugFiles.h"

#include "TextFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace DebugFiles {

ReadStatus readRegularFile(const QString &path, qint64 maxBytes, QByteArray &bytes) {
    bytes.clear();
    if (!QFileInfo::exists(path)) return ReadStatus::Missing;
    QFile file;
    if (!TextFiles::openRegularFile(file, path)) return ReadStatus::Unreadable;
    bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        bytes.clear();
        return ReadStatus::Unreadable;
    }
    if (bytes.size() > maxBytes) {
        bytes.truncate(maxBytes);
        return ReadStatus::TooLarge;
    }
    return ReadStatus::Read;
}

ButtonFile readButtonFile(const QString &path) {
    ButtonFile result;
    QByteArray bytes;
    result.status = readRegularFile(path, kMaxButtonFileBytes, bytes);
    if (result.status == ReadStatus::TooLarge) result.status = ReadStatus::Read; // its beginning counts
    if (result.status != ReadStatus::Read) return result;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);

    std::array<bool, kButtons> haveCaption{}, haveCommand{};
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) end = bytes.size();
        QByteArrayView raw = QByteArrayView(bytes).sliced(start, end - start);
        start = end + 1;
        if (raw.endsWith('\r')) raw.chop(1);
        const qsizetype eq = raw.indexOf('=');
        if (eq <= 0) continue;
        const QByteArray name = raw.first(eq).trimmed().toByteArray().toLower();
        bool *have = nullptr;
        QString *target = nullptr;
        bool ok = false;
        if (name.startsWith("desc") || name.startsWith("adon")) {
            const int n = name.mid(4).toInt(&ok);
            // "desc01" is not "desc1": only the names the program writes count.
            if (!ok || n < 1 || n > kButtons || name.mid(4) != QByteArray::number(n)) continue;
            Button &b = result.buttons[static_cast<std::size_t>(n - 1)];
            const bool caption = name.startsWith("desc");
            have = &(caption ? haveCaption : haveCommand)[static_cast<std::size_t>(n - 1)];
            target = caption ? &b.caption : &b.command;
        }
        if (!target || *have) continue; // the first line with a name counts
        *have = true;
        *target = TextFiles::decodeLine(raw.sliced(eq + 1)).left(kMaxValueLength);
    }
    return result;
}

QByteArray buttonFileText(const Buttons &buttons) {
    auto flat = [](QString v) { return v.replace(u'\r', u' ').replace(u'\n', u' '); };
    QString out;
    for (int i = 0; i < kButtons; ++i) {
        const Button &b = buttons[static_cast<std::size_t>(i)];
        const QString n = QString::number(i + 1);
        out += QLatin1String("desc") + n + u'=' + flat(b.caption) + QLatin1String("\r\n");
        out += QLatin1String("adon") + n + u'=' + flat(b.command) + QLatin1String("\r\n");
    }
    return out.toUtf8();
}

bool writeButtonFile(const QString &path, const Buttons &buttons) {
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = buttonFileText(buttons);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace DebugFiles
