#pragma once

#include <QByteArrayView>
#include <QString>

class QFile;

// Reading the small text files people edit by hand.
namespace TextFiles {

// Opens a regular file for reading. Anything else (a FIFO, a device, a folder) is refused without being
// opened in a way that could wait for a writer or a device.
bool openRegularFile(QFile &file, const QString &path);

// A line is UTF-8 where it is valid UTF-8, else Latin-1 (a line typed on Windows in its ANSI code page), so
// one foreign byte costs no other line its characters.
QString decodeLine(QByteArrayView bytes);

} // namespace TextFiles
