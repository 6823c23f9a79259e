#pragma once

#include "Backup.h"
#include "ReportLog.h"
#include "Writer.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class TOrlan_d;

namespace OxsControl {

// What a restore writes, in order: the settings but the LAN module's (the input selection first, the
// format before its rate), each input's values, then the LAN module's settings, which may drop the link.
struct RestorePlan {
    QList<Assignment> writes;
    QList<bool> skipIfHeld; // per write: not written when the scaler reported that value already
    QStringList notes;      // backed-up values that are not written, and why
};

// Plans the restore of a backup on the scaler as the log says it reported itself. A value the scaler
// reported but that we never write is not refused: OTYPEM 0 ("unchanged"), ACHANM 0 (no channel), an
// output format with no place in the model's list and an output rate beyond the model's rates are kept
// as they are on the scaler, with a note; an AMODEM other than 1 (automatic) is written as 0, the value
// that selects automatic mode; a negative COLOR is written as its 32-bit pattern, as the setter does; any
// other value outside the range we write is kept with a note.
RestorePlan planRestore(const Backup &backup, const TOrlan_d &driver, const ReportLog &log);
// Whether the scaler reported the value of a planned write already (an automatic AMODEM by any code).
bool scalerHolds(const TOrlan_d &driver, const ReportLog &log, const Assignment &write);

// Drives a restore on a driver: writes the plan value by value, each answered by the scaler or given up
// after the time-out, and ends on the first loss of the link, naming what it did not write. The caller
// feeds it the driver's events and starts it once the scaler's answer to the query-all is over.
class Restore : public QObject {
    Q_OBJECT
  public:
    struct Result {
        bool linkLost = false;
        QStringList notTaken;   // written, but the scaler reported another value or nothing in time
        QStringList notWritten; // never written: the link was lost first
        bool ok() const { return !linkLost && notTaken.isEmpty(); }
    };

    Restore(TOrlan_d &driver, Backup backup, int valueTimeoutMs, QObject *parent = nullptr);

    void setStaleReports(std::function<bool()> stale) { m_writer.setStaleReports(std::move(stale)); }
    // Plans against what the log says the scaler reported and starts writing. The log must outlive the
    // restore; it goes on recording while the restore runs.
    void start(const ReportLog &log);
    const RestorePlan &plan() const { return m_plan; }

    void connectionChanged(); // OnConnected
    void changed(int index) { m_writer.changed(index); }
    void received(const QByteArray &msg) { m_writer.received(msg); }

    // One written value answered: what the scaler reports, and whether that is what was written.
    std::function<void(const Assignment &write, const QString &reported, bool asked)> progress;
    std::function<void(const Result &)> finished;

  private:
    void end(bool linkLost);

    TOrlan_d &m_driver;
    Backup m_backup;
    const ReportLog *m_log = nullptr;
    RestorePlan m_plan;
    ValueWriter m_writer;
    QTimer m_valueTimeout;
    Result m_result;
    QList<bool> m_heldAtStart; // per write: skipped for the scaler's value when the restore started
    bool m_running = false;
};

} // namespace OxsControl
