#pragma once

#include "Picture.h"

#include <QImage>
#include <QRect>

// The gradient generator's initial colours: black to red 200, green 128, blue 200.
inline constexpr TColorRef kGradientInitialStart = 0;
inline constexpr TColorRef kGradientInitialEnd = 200 | 128 << 8 | 200 << 16;

// Directions of FillGradient.
enum TGradientDirection { GRADIENT_HORIZONTAL = 0, GRADIENT_VERTICAL = 1 };

// Draws a linear two-colour gradient over the rectangle from (left, top) to (right, bottom), then a border
// of `borderWidth` one-pixel outlines inside it. Each red, green and blue channel runs from the start colour
// to the end colour in (end - start) / extent steps, extent being right - left (horizontal) or bottom - top
// (vertical); position p from the rectangle's start has start + p * step, rounded half to even. The last
// position (right, or bottom) is included and reaches the end colour; parts outside the surface are
// clipped. Any other direction draws only the border.
void FillGradient(QImage &surface, const QRect &rect, int direction, int borderWidth, TColorRef startColor,
                  TColorRef endColor, TColorRef borderColor);

// The gradient generator's picture: 720 x 576, 32-bit RGB, gradient over the whole of it without border.
QImage GradientPicture(int direction, TColorRef startColor, TColorRef endColor);
