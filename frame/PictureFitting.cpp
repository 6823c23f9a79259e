#include "PictureFitting.h"

#include <QMutexLocker>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr std::array<const char *, 6> kModeNames = {"", "exact", "shrink", "crop", "center", "zoom"};

// The picture as 32-bit RGB, without copying when it already is.
QImage asRgb32(const QImage &picture) {
    return picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
}

} // namespace

QString FitModeName(int mode) {
    return mode > 0 && mode < int(kModeNames.size()) ? QLatin1String(kModeNames[std::size_t(mode)])
                                                     : QString();
}

TFitMode FitModeFromName(const QString &name) {
    for (int mode = FIT_EXACT; mode <= FIT_ZOOM; ++mode)
        if (name.compare(QLatin1String(kModeNames[std::size_t(mode)]), Qt::CaseInsensitive) == 0)
            return TFitMode(mode);
    return FIT_CANCELLED;
}

TFitChoice FitChoiceFor(int width, int height) {
    TFitChoice choice;
    if (width > kFrameWidth || height > kFrameHeight) {
        choice.question = TFitChoice::Question::TooLarge;
        choice.label = QStringLiteral("Picture is too large to fit.\r\nWhat would you prefer ?");
        choice.first = QStringLiteral("Crop (right and bottom side of the picture will not be displayed)");
        choice.second =
            QStringLiteral("Shrink (picture will fit but loss of quality and aspect ratio is possible)");
        choice.firstMode = FIT_CROP;
        choice.secondMode = FIT_SHRINK;
    } else if (width < kFrameWidth || height < kFrameHeight) {
        choice.question = TFitChoice::Question::TooSmall;
        choice.label = QStringLiteral("Picture is too small to fit.\r\nWhat would you prefer ?");
        choice.first = QStringLiteral("Center (picture will be centered and surrounded with black)");
        choice.second =
            QStringLiteral("Zoom (picture will fit but loss of quality and aspect ratio is possible)");
        choice.firstMode = FIT_CENTER;
        choice.secondMode = FIT_ZOOM;
    }
    return choice;
}

TFitMode ChooseFitMode(int width, int height, const std::function<TFitAnswer(const TFitChoice &)> &ask) {
    const TFitChoice choice = FitChoiceFor(width, height);
    if (choice.question == TFitChoice::Question::None) return FIT_EXACT;
    switch (ask ? ask(choice) : TFitAnswer::Cancel) {
    case TFitAnswer::First:
        return choice.firstMode;
    case TFitAnswer::Second:
        return choice.secondMode;
    case TFitAnswer::Cancel:
        break;
    }
    return FIT_CANCELLED;
}

QImage ScaleNearest(const QImage &source, int width, int height) {
    QImage target(width, height, QImage::Format_RGB32);
    if (target.isNull()) return target;
    const QImage from = asRgb32(source);
    if (from.isNull()) {
        target.fill(Qt::black);
        return target;
    }
    const qint64 sw = from.width();
    const qint64 sh = from.height();
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        columns[std::size_t(x)] = int(x * sw / width);
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(from.constScanLine(int(y * sh / height)));
        auto *out = reinterpret_cast<QRgb *>(target.scanLine(y));
        for (int x = 0; x < width; ++x)
            out[x] = in[columns[std::size_t(x)]];
    }
    return target;
}

void CopyPicture(const QImage &source, QImage &target, int x, int y) {
    const QImage from = asRgb32(source);
    if (from.isNull() || target.isNull()) return;
    if (target.format() != QImage::Format_RGB32) target = target.convertToFormat(QImage::Format_RGB32);
    const int left = std::max(0, x);
    const int top = std::max(0, y);
    const int right = int(std::min<qint64>(target.width(), qint64(x) + from.width()));
    const int bottom = int(std::min<qint64>(target.height(), qint64(y) + from.height()));
    if (left >= right || top >= bottom) return;
    for (int row = top; row < bottom; ++row) {
        const auto *in = reinterpret_cast<const QRgb *>(from.constScanLine(row - y)) + (left - x);
        auto *out = reinterpret_cast<QRgb *>(target.scanLine(row)) + left;
        std::memcpy(out, in, std::size_t(right - left) * sizeof(QRgb));
    }
}

bool FitPicture(int mode, const QImage &source, QImage &working) {
    switch (mode) {
    case FIT_EXACT:
    case FIT_SHRINK:
    case FIT_ZOOM:
        working = ScaleNearest(source, kFrameWidth, kFrameHeight);
        return true;
    case FIT_CROP:
        // A source larger in one side only leaves part of the frame uncovered: black, not the last picture.
        working = QImage(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
        working.fill(Qt::black);
        CopyPicture(source, working, 0, 0);
        return true;
    case FIT_CENTER:
        working = QImage(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
        working.fill(Qt::black);
        // "div" truncates towards zero, as C++ division does.
        CopyPicture(source, working, (kFrameWidth - source.width()) / 2,
                    (kFrameHeight - source.height()) / 2);
        return true;
    default:
        return false;
    }
}

TFramePictures::TFramePictures() {
    Working.image = QImage(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    Working.image.fill(Qt::black);
    Field.image = QImage(kFrameWidth, kFieldHeight, QImage::Format_RGB32);
    Field.image.fill(Qt::black);
    Display.image = QImage(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    Display.image.fill(Qt::black);
}

bool TFramePictures::ProcessPicture(int mode, const Observer &observer) {
    if (mode < FIT_EXACT || mode > FIT_ZOOM) return false;
    if (observer.processingStarted) observer.processingStarted();
    QMutexLocker source(&Source.Surface());
    QMutexLocker working(&Working.Surface());
    QMutexLocker field(&Field.Surface());
    QMutexLocker display(&Display.Surface());
    if (observer.progress) observer.progress(0, kFrameWidth * kFrameHeight, 0);
    if (observer.status) observer.status(1, QStringLiteral("Processing picture..."));

    FitPicture(mode, Source.image, Working.image);
    if (observer.status) observer.status(1, QStringLiteral("Updating..."));
    Field.image = ScaleNearest(Working.image, kFrameWidth, kFieldHeight);
    Display.image = ScaleNearest(Field.image, kFrameWidth, kFrameHeight);

    if (observer.sourceSize) observer.sourceSize(Source.image.width(), Source.image.height());
    if (observer.status) observer.status(0, QStringLiteral("Idle"));
    // The locks are released in the order they were taken.
    source.unlock();
    working.unlock();
    field.unlock();
    display.unlock();
    return true;
}
