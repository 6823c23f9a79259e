#include "Picture.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

namespace {

// What the BMP headers promise: the picture's size and how long the file must be to hold all of it.
struct BmpLayout {
    qint64 width = 0;
    qint64 height = 0;
    qint64 requiredBytes = 0; // 0 when the headers give no way to tell (compressed data of unknown size)
};

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };

QString readLayout(const QByteArray &head, BmpLayout &layout) {
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(head.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(head.constData() + at); };
    const auto i32 = [&](int at) { return qFromLittleEndian<qint32>(head.constData() + at); };
    if (head.size() < 26 || !head.startsWith("BM")) return QStringLiteral("not a Windows BMP picture");
    const qint64 dataOffset = u32(10);
    const quint32 dibSize = u32(14);
    quint16 bitsPerPixel = 0;
    quint32 compression = kBiRgb;
    qint64 imageBytes = 0;
    if (dibSize == 12) {
        layout.width = u16(18);
        layout.height = u16(20);
        bitsPerPixel = u16(24);
    } else if (dibSize >= 40 && head.size() >= 38) {
        layout.width = i32(18);
        layout.height = i32(22);
        if (layout.height < 0) layout.height = -layout.height; // top-down rows
        bitsPerPixel = u16(28);
        compression = u32(30);
        imageBytes = u32(34);
    } else {
        return QStringLiteral("not a Windows BMP picture (unknown header)");
    }
    if (layout.width <= 0 || layout.height <= 0) return QStringLiteral("the picture has no pixels");
    if (layout.width * layout.height > kMaxPicturePixels)
        return QStringLiteral("the picture is too large (%1 x %2 pixels, at most %3 million)")
            .arg(layout.width)
            .arg(layout.height)
            .arg(kMaxPicturePixels / (1024 * 1024));
    if (compression == kBiRgb || compression == kBiBitfields || compression == kBiAlphaBitfields) {
        const qint64 stride = (layout.width * bitsPerPixel + 31) / 32 * 4;
        layout.requiredBytes = dataOffset + stride * layout.height;
    } else if ((compression == kBiRle8 || compression == kBiRle4) && imageBytes > 0) {
        layout.requiredBytes = dataOffset + imageBytes;
    }
    return {};
}

void setError(QString *error, const QString &text) {
    if (error) *error = text;
}

} // namespace

QImage LoadPicture(const QString &path, QString *error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        setError(error, QStringLiteral("%1: no such file").arg(path));
        return {};
    }
    // A pipe or a device would block the read or never end.
    if (!info.isFile()) {
        setError(error, QStringLiteral("%1: not a regular file").arg(path));
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
        return {};
    }
    BmpLayout layout;
    if (const QString why = readLayout(file.peek(64), layout); !why.isEmpty()) {
        setError(error, QStringLiteral("%1: %2").arg(path, why));
        return {};
    }
    // The image reader fills what a cut-short file lacks with whatever it likes and reports success.
    if (layout.requiredBytes > file.size()) {
        setError(error, QStringLiteral("%1: the file is cut short (%2 of %3 bytes)")
                            .arg(path)
                            .arg(file.size())
                            .arg(layout.requiredBytes));
        return {};
    }
    QImageReader reader(&file, "bmp");
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) {
        setError(error, QStringLiteral("%1: cannot read the picture (%2)").arg(path, reader.errorString()));
        return {};
    }
    QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull()) setError(error, QStringLiteral("%1: not enough memory for the picture").arg(path));
    return rgb;
}
