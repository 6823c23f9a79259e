#pragma once

#include "ScalerModels.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

// What differs between the scaler models in this window: everything it needs to reshape itself for a
// model, as data. The model table itself is the driver's (ScalerModels.h).
namespace Models {

constexpr int kMaxInputs = 5;
constexpr int kMaxNameLength = 17;     // input and audio names
constexpr uint32_t kComputerInput = 7; // signal type of a computer input

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
// The code a position of a list stands for, and back: the last position holding the code, -1 when the
// list has none. An input without a list (None) counts as position 0.
uint32_t SignalCode(SignalList list, int position);
int SignalPosition(SignalList list, uint32_t code);
// The signal types a model's inputs have after the scaler reports them all reset (inputs 1..5).
const std::array<uint32_t, kMaxInputs> &DefaultSignalTypes(int modelIndex);
const QStringList &OutputFormats();
const QStringList &OutputRates(RateList list);

// Width of each input button and the step between them, given the separator's left edge.
struct ButtonGeometry {
    int unit;
    int width;
};
ButtonGeometry InputButtonGeometry(int separatorLeft, int inputs);

} // namespace Models
