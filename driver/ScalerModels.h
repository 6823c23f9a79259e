#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The three scaler models, told apart by the model code the scaler reports (device variable DEV). The row
// position is the model index every per-model lookup uses. Header-only so the simulator shares it too.
namespace Models {

constexpr int kModelCount = 3;

struct Model {
    uint32_t dev;     // the scaler's model code
    const char *name; // also the name of its input names file and of that file's section
    int inputs;
};

inline constexpr std::array<Model, kModelCount> kModels{{
    {32, "Orlan", 3},
    {33, "Orlan Plus", 5},
    {40, "Orlan C", 2},
}};

// Row of the model table, or -1.
constexpr int ModelIndex(uint32_t value) {
    for (int i = 0; i < kModelCount; ++i)
        if (kModels[static_cast<std::size_t>(i)].dev == value) return i;
    return -1;
}

constexpr bool IsKnownModel(uint32_t value) {
    return ModelIndex(value) >= 0;
}

// Number of inputs, or 0 for an unknown value.
constexpr int InputCount(uint32_t value) {
    const int i = ModelIndex(value);
    return i < 0 ? 0 : kModels[static_cast<std::size_t>(i)].inputs;
}

// Model name, or the empty text for an unknown value.
inline QString ModelName(uint32_t value) {
    const int i = ModelIndex(value);
    return i < 0 ? QString() : QString::fromLatin1(kModels[static_cast<std::size_t>(i)].name);
}

} // namespace Models
