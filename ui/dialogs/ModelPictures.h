#pragma once

#include <QPixmap>

// The About box's pictures of the three scaler models, in model table order: a screen showing colour bars
// above the scaler's front panel, with one lamp per input, a LAN socket on the Orlan Plus, and the model's
// name. Drawn at 65 x 73 on a transparent background.
namespace ModelPictures {

constexpr int kWidth = 65;
constexpr int kHeight = 73;

QPixmap Picture(int modelIndex);

} // namespace ModelPictures
