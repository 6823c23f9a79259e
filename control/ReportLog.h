#pragma once

#include "DeviceVariables.h"
#include "Values.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>

class TOrlan_d;

namespace OxsControl {

// Which of the scaler's values were reported since clear(): rows, each input's per-input values, each
// address slot's octets and the two ports. What the driver holds for anything else is its initial value,
// never the scaler's. Fed with every matched message before the driver stores it (from the driver's
// OnRecString), while PCHAN and PADIP still select what the message refers to.
class ReportLog {
  public:
    static constexpr int kInputs = 5;
    static constexpr int kSlots = 3; // address slots: local, remote, gateway

    ReportLog() { clear(); }
    void clear();

    // Records one matched message. Returns true when it reported something for the first time.
    bool record(const TOrlan_d &driver, const QByteArray &message);

    bool rowReported(int index) const { return index >= 0 && index < OrlanVars::VAR_COUNT && m_rows[index]; }
    // The driver's per-input slot that holds an input's last reported value of PENA, PRGBI, PISTD or PPROC:
    // 0 after a report for all inputs (PCHAN 0), else the input; -1 when none was reported for it.
    int inputSlot(int row, int input) const;
    bool inputReported(int row, int input) const { return inputSlot(row, input) >= 0; }
    // Slot 1 to 3: all four octets of the address were reported.
    bool addressReported(int slot) const;
    // Slot 1 (local) or 2 (remote).
    bool portReported(int slot) const;
    // Whether what the driver holds for the target came from the scaler.
    bool reported(const Target &target) const;

  private:
    static int perInputIndex(int row);

    std::bitset<OrlanVars::VAR_COUNT> m_rows;
    std::array<std::array<int8_t, kInputs + 1>, 4> m_inputSlot{}; // per per-input row, per input 1..5
    std::array<uint8_t, kSlots> m_octets{};                       // bit per octet column
    std::array<bool, 2> m_ports{};
};

// The value of a per-input row for one input as the scaler last reported it (slot 0 after PCHAN 0).
uint32_t reportedInputValue(const TOrlan_d &driver, const ReportLog &log, int row, int input);
// The driver's stored per-input value of one slot.
uint32_t inputValue(const TOrlan_d &driver, int row, int slot);

// What a model's answer to the query-all reports: every row the scaler reports or we set but the model code
// (the identity query's answer) and the "$" and "#" markers; PENA, PRGBI, PISTD and PPROC of each of the
// model's inputs; with a LAN module (OPT bit value 2) its settings, the three addresses and the two ports.
// Returns the names of what the log lacks, empty when the answer is complete.
QStringList dumpMissing(const ReportLog &log, uint32_t model, bool lanModule);

// Decides when the scaler's answer to the query-all is over: once it reported every value of the model's
// answer, or after kQuietMs in which it reported nothing for the first time (live reports that repeat a
// measurement do not hold the end back), or when the driver turns Ready. Fed by the caller with the
// driver's events.
class DumpWatch : public QObject {
    Q_OBJECT
  public:
    static constexpr int kQuietMs = 2000;

    explicit DumpWatch(const TOrlan_d &driver, QObject *parent = nullptr);

    // The link was lost or found: no answer is running, the next one starts from nothing.
    void reset();
    // Every matched message (OnRecString). The first one after the query-all went out starts the watch.
    void received(const QByteArray &message);
    // OnReady: a driver that turns Ready has seen the quiet time.
    void readyChanged();

    bool running() const { return m_state == State::Running; }
    bool over() const { return m_state == State::Over; }
    // Whether it ended with every value of the model's answer reported.
    bool complete() const { return m_complete; }
    // What was reported since the query-all went out.
    const ReportLog &log() const { return m_log; }

    // Raised once per answer, when it is over.
    std::function<void()> ended;

  private:
    enum class State { Idle, Running, Over };
    void begin();
    void check();
    void finish();

    const TOrlan_d &m_driver;
    ReportLog m_log;
    State m_state = State::Idle;
    bool m_complete = false;
    bool m_checkPending = false;
    QTimer m_quiet;
};

} // namespace OxsControl
