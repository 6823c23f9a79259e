#include "Restore.h"

#include "DeviceVariables.h"
#include "Orlan_d.h"
#include "ScalerModels.h"

#include <algorithm>

namespace OxsControl {

using namespace OrlanVars;

namespace {

constexpr uint32_t kOutputTypeUnchanged = 0;
constexpr uint32_t kAudioManual = 1;
constexpr uint32_t kAudioAutomatic = 0;

// Output format codes of the model's list, in list order; the rates its longest rate list offers before
// "Follow Input".
bool formatListed(uint32_t model, uint32_t code) {
    static constexpr uint32_t k32[] = {10, 0, 1, 2, 3, 4, 6, 7, 8, 9};
    static constexpr uint32_t k33[] = {10, 0, 1, 2, 3, 5, 6, 7, 8, 9};
    const auto *list = model == 33 ? k33 : k32;
    return std::find(list, list + 10, code) != list + 10;
}
uint32_t rateCount(uint32_t model) {
    return model == 33 ? 4 : 2;
}

bool isLan(const Target &t) {
    if (t.kind != TargetKind::Row) return true;
    return t.index == VAR_LANENABLE || t.index == VAR_DHCPENABLE || t.index == VAR_TCPIP;
}

// The value restore writes for a backed-up one, or false with the reason it is kept as it is.
bool writable(uint32_t model, const BackupValue &v, Value &out, QString &why) {
    out = v.value;
    if (v.target.kind != TargetKind::Row) return true;
    const int index = v.target.index;
    const uint32_t n = v.value.number;
    switch (index) {
    case VAR_OTYPEM:
        if (n == kOutputTypeUnchanged) {
            why = QStringLiteral("OTYPEM 0 means \"unchanged\"");
            return false;
        }
        break;
    case VAR_ACHANM:
        if (n == 0) {
            why = QStringLiteral("ACHANM 0 selects no audio channel");
            return false;
        }
        break;
    case VAR_AMODEM:
        // Any value but manual means automatic; we select it with 0.
        if (n != kAudioManual) out.number = kAudioAutomatic;
        return true;
    case VAR_COLOR:
        return true; // signed: the setter sends its 32-bit pattern
    case VAR_OFMTM:
        if (!formatListed(model, n)) {
            why = QStringLiteral("OFMTM %1 has no place in the %2's format list")
                      .arg(n)
                      .arg(Models::ModelName(model));
            return false;
        }
        break;
    case VAR_ORATEM:
        if (n >= rateCount(model)) {
            why = QStringLiteral("ORATEM %1 is beyond the %2's output rates")
                      .arg(n)
                      .arg(Models::ModelName(model));
            return false;
        }
        break;
    default:
        break;
    }
    if (kRows[index].kind == Kind::BOOL) {
        out.number = n != 0;
        return true;
    }
    const ValueRange range = writeRange(index);
    if (!range.contains(int64_t(n))) {
        why = QStringLiteral("%1 %2 is outside the values we write (%3 to %4)")
                  .arg(v.target.name, formatRowValue(index, n))
                  .arg(range.min)
                  .arg(range.max);
        return false;
    }
    return true;
}

} // namespace

// AMODEM compares by meaning: manual, or automatic whatever the code.
bool scalerHolds(const TOrlan_d &driver, const ReportLog &log, const Assignment &a) {
    if (a.target.kind == TargetKind::Row && a.target.index == VAR_AMODEM)
        return log.rowReported(VAR_AMODEM) &&
               (driver.Value(VAR_AMODEM) == kAudioManual) == (a.value.number == kAudioManual);
    return driverHolds(driver, log, BackupValue{a.target, a.value});
}

RestorePlan planRestore(const Backup &backup, const TOrlan_d &driver, const ReportLog &log) {
    RestorePlan plan;
    QList<Assignment> lan;
    for (const BackupValue &v : backup.values) {
        Assignment a{v.target, {}, {}};
        QString why;
        if (!writable(backup.model, v, a.value, why)) {
            plan.notes << QStringLiteral("%1: kept as the scaler has it").arg(why);
            continue;
        }
        if (isLan(v.target)) {
            lan << a;
        } else {
            plan.writes << a;
            plan.skipIfHeld << true;
        }
    }
    for (const BackupInput &in : backup.inputs) {
        for (const BackupValue &v : inputSteps(driver, log, in)) {
            Assignment a{v.target, v.value, {}};
            if (v.target.index != VAR_PCHAN)
                a.label = QStringLiteral("%1 of input %2").arg(v.target.name).arg(in.input);
            plan.writes << a;
            plan.skipIfHeld << false;
        }
    }
    for (const Assignment &a : lan) {
        plan.writes << a;
        plan.skipIfHeld << true;
    }
    return plan;
}

Restore::Restore(TOrlan_d &driver, Backup backup, int valueTimeoutMs, QObject *parent)
    : QObject(parent), m_driver(driver), m_backup(std::move(backup)), m_writer(driver) {
    m_valueTimeout.setSingleShot(true);
    m_valueTimeout.setInterval(valueTimeoutMs);
    connect(&m_valueTimeout, &QTimer::timeout, this, [this] {
        // No answer: note it and go on with the next value.
        if (const Assignment *a = m_writer.pending()) {
            if (!m_result.notTaken.contains(a->shownName())) m_result.notTaken << a->shownName();
            m_writer.skipPending();
        }
    });
    m_writer.skipIf = [this](int i, const Assignment &a) {
        return m_plan.skipIfHeld.value(i) && scalerHolds(m_driver, *m_log, a);
    };
    m_writer.sending = [this](const Assignment &) { m_valueTimeout.start(); };
    m_writer.answered = [this](const Assignment &a, const QString &reported, bool asked) {
        m_valueTimeout.stop();
        bool same = asked;
        // Automatic audio is confirmed by any automatic code.
        if (!asked && a.target.kind == TargetKind::Row && a.target.index == VAR_AMODEM)
            same = (a.value.number == kAudioManual) == (reported == QString::number(kAudioManual));
        if (!same && !m_result.notTaken.contains(a.shownName())) m_result.notTaken << a.shownName();
        if (progress) progress(a, reported, same);
    };
    m_writer.done = [this] { end(false); };
}

void Restore::start(const ReportLog &log) {
    m_log = &log;
    m_plan = planRestore(m_backup, m_driver, log);
    m_heldAtStart.clear();
    for (qsizetype i = 0; i < m_plan.writes.size(); ++i)
        m_heldAtStart << (m_plan.skipIfHeld[i] && scalerHolds(m_driver, log, m_plan.writes[i]));
    m_running = true;
    m_writer.write(m_plan.writes);
}

void Restore::connectionChanged() {
    if (!m_running) return;
    if (!m_driver.Connected()) {
        end(true);
        return;
    }
    m_writer.connectionChanged();
}

void Restore::end(bool linkLost) {
    if (!m_running) return;
    m_running = false;
    m_valueTimeout.stop();
    m_writer.stop();
    m_result.linkLost = linkLost;
    if (linkLost) {
        // What the scaler held already when the restore started would have been skipped: it is no loss. The
        // first one left was chosen after that check, so it counts whatever it held.
        const QList<Assignment> left = m_writer.unanswered();
        const qsizetype first = m_plan.writes.size() - left.size();
        for (qsizetype i = 0; i < left.size(); ++i) {
            const Assignment &a = left[i];
            if (m_heldAtStart.value(first + i) && i > 0) continue;
            if (!a.label.isEmpty() || a.target.kind != TargetKind::Row || a.target.index != VAR_PCHAN)
                if (!m_result.notWritten.contains(a.shownName())) m_result.notWritten << a.shownName();
        }
    }
    if (finished) finished(m_result);
}

} // namespace OxsControl
