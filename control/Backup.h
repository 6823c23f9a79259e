#pragma once

#include "ReportLog.h"
#include "Values.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

class TOrlan_d;

// A scaler's settings as a file: what backup writes and restore reads.
namespace OxsControl {

// One value of a backup with the variable it belongs to.
struct BackupValue {
    Target target;
    Value value;
};

// The four values the scaler keeps for each input.
struct BackupInput {
    int input = 0; // 1 to the model's number of inputs
    uint32_t pena = 0, prgbi = 0, pistd = 0, pproc = 0;
};

struct Backup {
    uint32_t model = 0;
    QList<BackupValue> values; // in the order restore writes them
    QList<BackupInput> inputs; // ascending input numbers
};

// The values a backup holds for a model, in the order restore writes them: the input selection first (the
// picture values belong to the selected input), output format before its rate, standby last; then the LAN
// module's settings on a model that has one. One-shot commands, debug registers, the address and input
// selectors and the frame memory's job and transfer modes are no settings and never replayed.
QList<Target> backupTargets(uint32_t model);

// What a backup left out because the scaler never reported it.
struct BackupGaps {
    int saved = 0;      // settings in the file, each input's four values counting as one
    QStringList values; // settings not reported
    QList<int> inputs;  // inputs whose four values were not all reported
};

// The scaler's settings as the backup file's JSON text: only what the log says the scaler reported (an
// input only when all four of its values were, a value reported for all inputs counting for each). What
// was left out goes to *gaps.
QByteArray backupJson(const TOrlan_d &driver, const ReportLog &log, BackupGaps *gaps = nullptr);

// Reads a backup file's text. Every value is checked against the range a scaler may report (restore
// decides what it writes); a name that is not one of backupTargets() of the file's model is refused, so a
// file cannot carry a one-shot command. Returns false with the reason in *why.
bool parseBackup(const QByteArray &json, Backup &backup, QString *why);

// Whether the scaler reported the value and the driver holds it (then restore does not write it).
bool driverHolds(const TOrlan_d &driver, const ReportLog &log, const BackupValue &v);

// The writes that give an input its backed-up values: PCHAN := input, then each of its values that the
// scaler did not report already. Empty when it reported them all.
QList<BackupValue> inputSteps(const TOrlan_d &driver, const ReportLog &log, const BackupInput &in);

} // namespace OxsControl
