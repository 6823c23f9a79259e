#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

// The scaler models this window knows, and what differs between them: everything the window needs to
// reshape itself for a model, as data.
namespace Models {

constexpr int kModelCount = 3;
constexpr int kMaxInputs = 5;
constexpr int kMaxNameLength = 17; // input and audio names

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

bool IsKnownModel(uint32_t value);
// Row of the model table, or -1.
int ModelIndex(uint32_t value);
// Model name, or the empty text for an unknown value.
QString ModelName(uint32_t value);
// Number of inputs, or 0 for an unknown value.
int InputCount(uint32_t value);

// Which signal-type list an input row offers.
enum class SignalList { None, Two, Four, Six };

struct InputRowLayout {
    SignalList signalTypes; // None: the list is hidden and empty
    bool standards;         // the standard list is shown and filled, else hidden and emptied
    bool vcr;               // the VCR box is shown
};

enum class RateList { Short, Long };

struct ModelLayout {
    std::array<const char *, kMaxInputs> hints;
    std::array<InputRowLayout, kMaxInputs> rows; // rows beyond the model's inputs are unused
    int inputPanelHeight;
    bool outputType; // the output type choice is offered
    bool lanSetup;   // the scaler's LAN module can be set up
    RateList rates;
};

// Layout of a known model (by model index).
const ModelLayout &Layout(int modelIndex);

// The lists the window fills its controls with.
const QStringList &Standards();
const QStringList &SignalTypes(SignalList list);
// Signal type code of the first entry of a list (the entries stand for consecutive codes).
uint32_t FirstSignalCode(SignalList list);
const QStringList &OutputFormats();
const QStringList &OutputRates(RateList list);

// Width of each input button and the step between them, given the separator's left edge.
struct ButtonGeometry {
    int unit;
    int width;
};
ButtonGeometry InputButtonGeometry(int separatorLeft, int inputs);

} // namespace Models
