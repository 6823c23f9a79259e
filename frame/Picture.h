#pragma once

#include <QImage>
#include <QMutex>
#include <QString>

#include <cstdint>

// A colour value as the scaler and the pictures' users count it: red in bits 0 to 7, green in bits 8 to 15,
// blue in bits 16 to 23.
using TColorRef = uint32_t;

inline TColorRef ColorRefFromRgb(QRgb rgb) {
    return TColorRef(qRed(rgb)) | TColorRef(qGreen(rgb)) << 8 | TColorRef(qBlue(rgb)) << 16;
}
inline QRgb RgbFromColorRef(TColorRef c) {
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// A picture and its drawing-surface lock. Whoever draws into the image or reads it while an upload may
// read it holds the lock; the lock is taken in the order source, working frame, field, display.
class TPicture {
  public:
    TPicture() = default;
    explicit TPicture(QImage picture) : image(std::move(picture)) {}
    TPicture(const TPicture &) = delete;
    TPicture &operator=(const TPicture &) = delete;

    QMutex &Surface() const { return m_surface; }
    int Width() const { return image.width(); }
    int Height() const { return image.height(); }

    QImage image;

  private:
    mutable QMutex m_surface;
};

// Loads a Windows BMP file as a 32-bit RGB picture. On failure returns a null image and, in *error, why:
// the file is missing or not a regular file, not a BMP, cut short, without pixels, or larger than a
// picture this program takes (kMaxPicturePixels).
QImage LoadPicture(const QString &path, QString *error = nullptr);

// The largest picture LoadPicture takes, in pixels (a 32-bit copy of it fits the image reader's limit).
inline constexpr qint64 kMaxPicturePixels = 32 * 1024 * 1024;
