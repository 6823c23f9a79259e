#include "Gradient.h"

#include "PictureFitting.h"

#include <algorithm>
#include <cmath>

namespace {

// Fills [x0, x1) x [y0, y1), clipped to the surface.
void fillRect(QImage &surface, int x0, int y0, int x1, int y1, QRgb colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, surface.width());
    y1 = std::min(y1, surface.height());
    if (x0 >= x1 || y0 >= y1) return;
    for (int y = y0; y < y1; ++y)
        std::fill_n(reinterpret_cast<QRgb *>(surface.scanLine(y)) + x0, x1 - x0, colour);
}

} // namespace

void FillGradient(QImage &surface, const QRect &rect, int direction, int borderWidth, TColorRef startColor,
                  TColorRef endColor, TColorRef borderColor) {
    if (surface.isNull()) return;
    if (surface.format() != QImage::Format_RGB32 && surface.format() != QImage::Format_ARGB32)
        surface = surface.convertToFormat(QImage::Format_RGB32);
    // QRect's right() and bottom() are inclusive; the gradient's rectangle ends one past them.
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();

    if (direction == GRADIENT_HORIZONTAL || direction == GRADIENT_VERTICAL) {
        const int first = direction == GRADIENT_HORIZONTAL ? left : top;
        const int last = direction == GRADIENT_HORIZONTAL ? right : bottom;
        const int extent = last - first;
        double start[3];
        double step[3];
        for (int c = 0; c < 3; ++c) {
            start[c] = double((startColor >> (8 * c)) & 0xFF);
            const double end = double((endColor >> (8 * c)) & 0xFF);
            step[c] = extent > 0 ? (end - start[c]) / extent : 0.0;
        }
        for (int p = first; p <= last; ++p) {
            int channel[3];
            for (int c = 0; c < 3; ++c)
                // std::nearbyint rounds halves to the even neighbour in the default rounding mode.
                channel[c] = std::clamp(int(std::nearbyint(start[c] + (p - first) * step[c])), 0, 255);
            const QRgb colour = qRgb(channel[0], channel[1], channel[2]);
            if (direction == GRADIENT_HORIZONTAL)
                fillRect(surface, p, top, p + 1, bottom, colour);
            else
                fillRect(surface, left, p, right, p + 1, colour);
        }
    }

    const QRgb border = RgbFromColorRef(borderColor);
    for (int k = 0; k < std::clamp(borderWidth, 0, 255); ++k) {
        const int l = left + k, t = top + k, r = right - k, b = bottom - k;
        if (l >= r || t >= b) break;
        fillRect(surface, l, t, r, t + 1, border);
        fillRect(surface, l, b - 1, r, b, border);
        fillRect(surface, l, t, l + 1, b, border);
        fillRect(surface, r - 1, t, r, b, border);
    }
}

QImage GradientPicture(int direction, TColorRef startColor, TColorRef endColor) {
    QImage picture(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    picture.fill(Qt::black);
    FillGradient(picture, QRect(0, 0, kFrameWidth, kFrameHeight), direction, 0, startColor, endColor, 0);
    return picture;
}
