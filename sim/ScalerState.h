#pragma once

#include "CommandSplitter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace OxsSim {

// What one command did: the reply lines for the asker (without line ends) and the follow-ups the
// simulator has to time.
struct Outcome {
    QList<QByteArray> replies;
    bool settingsChanged = false; // a stored setting changed: the scaler stores (STORE pulse)
    bool inputTaken = false;      // an input was selected: TAKEEVA returns to 1 later
    bool frameJobStarted = false; // a frame memory job runs: it finishes later
    bool uploadStarted = false;   // the host is about to stream a picture into the frame memory
};

// The scaler's variables and what it does with each command. No timing and no transport here.
class ScalerState {
  public:
    static constexpr int kMaxInputs = 5;
    static constexpr int kSlots = 3; // LAN address slots: local, remote, gateway
    static constexpr int kDebugRegisters = 256;

    explicit ScalerState(int model = 33);

    static bool isKnownModel(int model);
    static int inputCountOf(int model);

    int model() const { return m_model; }
    int inputCount() const { return inputCountOf(m_model); }
    bool hasLan() const;

    // Every variable back to the model's factory values.
    void restoreDefaults();
    // Factory values that make the longest replies: ten-digit version numbers and debug registers,
    // and a negative colour, every value written unsigned ("COL4294967291").
    void useLongValues();
    // Legal values that a host never writes itself: output type 0, audio channel 0, audio mode 2, a
    // negative colour, an output rate at the end of the rate list and a format code with no list
    // position. They become the factory values too, so a picture preset keeps them.
    void useOddValues();
    // Query-all answered as after a reset: the per-input variables once for all inputs (PCHAN 0) and
    // no address slots.
    void setResetDump(bool on) { m_resetDump = on; }
    // Starts with input n (1 to the model's inputs) selected, as a scaler switched on that way.
    void startOnInput(int input);

    // Runs one host command ("?" excluded: the identity answer belongs to the simulator).
    Outcome execute(const SimCommand &cmd);
    // The reply lines of the query-all dump, in reporting order. Walking the inputs and address
    // slots leaves PCHAN and PADIP at the last ones reported, as the host's copy sees them.
    QList<QByteArray> dump();
    // Ends a pending input take (TAKEEVA back to 1); returns the lines to report.
    QList<QByteArray> finishTake();
    // Ends a pending frame memory job; returns the lines to report.
    QList<QByteArray> finishFrameJob();
    // An upload ended: with a stored picture the frame memory holds a frame.
    void finishUpload(bool stored);
    // Ends a STORE pulse; returns "STO0" style lines. beginStore() returns "STO1".
    QList<QByteArray> beginStore();
    QList<QByteArray> endStore();

    // The current value of a variable; per-input variables answer for the input PCHAN selects,
    // octets and port for the slot PADIP selects (slot 0 reads as slot 1).
    quint32 value(int index) const;
    // Stores a value as the scaler would report it (measurements, status) and returns its reply line.
    // A measurement also becomes the selected input's measurement.
    QByteArray setValue(int index, quint32 value);
    // The reply line of a variable with its current value.
    QByteArray replyLine(int index) const;

    quint32 inputValue(int index, int input) const;
    QString address(int slot) const;
    quint16 port(int slot) const;
    quint32 debugRegister(int address) const;

  private:
    struct Signal {
        quint32 present, lineDuration, lineSub, frameDuration, frameSub;
        quint32 hPol, vPol, sync, interlaced, outOfRange, family;
    };
    struct PerInput {
        quint32 enabled = 1, type = 0, standard = 0, vcr = 0;
        Signal signal{};
    };

    QByteArray line(int index, quint32 value) const;
    bool typeAllowed(int input, quint32 type) const;
    void loadMeasurements(int input);
    void updateReference();
    void appendMeasurements(QList<QByteArray> &out) const;
    void appendReference(QList<QByteArray> &out) const;
    quint32 *perInputField(int input, int index);
    const quint32 *perInputField(int input, int index) const;
    int addressedSlotFirst() const;
    int addressedSlotLast() const;

    Outcome setPerInput(int index, quint32 v);
    Outcome setOctet(int index, quint32 v);
    Outcome setPort(quint32 v);
    Outcome selectInput(quint32 v);
    Outcome restorePicture(int index, quint32 v, const int *vars, int count);
    Outcome factoryReset(quint32 v);
    Outcome setFrameExec(quint32 v);

    int m_model;
    bool m_longValues = false;
    bool m_resetDump = false;
    std::array<quint32, 88> m_v{};
    std::array<quint32, 88> m_factory{};
    std::array<PerInput, kMaxInputs + 1> m_inputs{};           // 1..5
    std::array<std::array<quint32, 4>, kSlots + 1> m_octets{}; // slots 1..3
    std::array<quint32, kSlots + 1> m_ports{};
    std::array<quint32, kDebugRegisters> m_debug{};
};

} // namespace OxsSim
