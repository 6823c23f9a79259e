#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Writes a whole test file; a test cannot go on without it.
inline void writeTestFile(const QString &path, const QByteArray &content) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

// The whole file, or "<missing>" when it cannot be read.
inline QByteArray readTestFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
