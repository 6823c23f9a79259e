#include "Backup.h"

#include "DeviceVariables.h"
#include "Orlan_d.h"
#include "ScalerModels.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace OxsControl {

using namespace OrlanVars;

namespace {

constexpr uint32_t kLanModel = 33;

constexpr int kSettingRows[] = {
    VAR_ICHNM, VAR_IPMODEM, VAR_HPOS,      VAR_VPOS,    VAR_HSIZ,     VAR_VSIZ,   VAR_BRGT,
    VAR_CONTR, VAR_COLOR,   VAR_HUE,       VAR_PROC,    VAR_OVER,     VAR_IASP,   VAR_OASP,
    VAR_EPD,   VAR_OFMTM,   VAR_ORATEM,    VAR_REFREQ,  VAR_OSYNCM,   VAR_OTYPEM, VAR_OSCREENM,
    VAR_OPAT,  VAR_OBLACK,  VAR_ACHANM,    VAR_AMODEM,  VAR_FANUMBER, VAR_FAAUTO, VAR_FASHOW,
    VAR_IFRZM, VAR_LOCK,    VAR_OSYNCTIME, VAR_STBTIME, VAR_STANDBY,
};
constexpr int kLanRows[] = {VAR_LANENABLE, VAR_DHCPENABLE, VAR_TCPIP};
constexpr const char *kLanSettings[] = {"LOCAL_IP", "REMOTE_IP",  "GATEWAY_IP",
                                        "NETMASK",  "LOCAL_PORT", "REMOTE_PORT"};
constexpr int kVersionRows[] = {VAR_VERI, VAR_VERK, VAR_VERS, VAR_VERV, VAR_VERUPD, VAR_OPT};
constexpr int kPerInputRows[] = {VAR_PENA, VAR_PRGBI, VAR_PISTD, VAR_PPROC};

Target rowTarget(int index) {
    return Target{TargetKind::Row, index, QLatin1String(kRows[index].property)};
}

uint32_t &inputField(BackupInput &in, int row) {
    switch (row) {
    case VAR_PENA:
        return in.pena;
    case VAR_PRGBI:
        return in.prgbi;
    case VAR_PISTD:
        return in.pistd;
    default:
        return in.pproc;
    }
}

// A JSON value as set's command line would write it: an integer, or a text for the addresses.
bool valueText(const QJsonValue &v, QString &text) {
    if (v.isString()) {
        text = v.toString();
        return true;
    }
    if (v.isBool()) {
        text = v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        return true;
    }
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || d != std::floor(d) || std::fabs(d) > 4294967295.0) return false;
    text = QString::number(static_cast<qint64>(d));
    return true;
}

bool parseNumberField(const QJsonObject &o, const char *key, int64_t min, int64_t max, int64_t &out) {
    const QJsonValue v = o.value(QLatin1String(key));
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || d != std::floor(d) || d < double(min) || d > double(max)) return false;
    out = static_cast<int64_t>(d);
    return true;
}

} // namespace

QList<Target> backupTargets(uint32_t model) {
    QList<Target> targets;
    for (int row : kSettingRows)
        targets << rowTarget(row);
    if (model == kLanModel) {
        for (int row : kLanRows)
            targets << rowTarget(row);
        for (const char *name : kLanSettings) {
            Target t;
            lookupTarget(QLatin1String(name), t);
            targets << t;
        }
    }
    return targets;
}

QByteArray backupJson(const TOrlan_d &driver, const ReportLog &log, BackupGaps *gaps) {
    BackupGaps local;
    BackupGaps &g = gaps ? *gaps : local;
    g = BackupGaps{};
    const uint32_t model = driver.Value(VAR_DEV);
    QJsonObject root;
    root.insert(QStringLiteral("model"), qint64(model));
    root.insert(QStringLiteral("modelName"), Models::ModelName(model));
    QJsonObject versions;
    for (int row : kVersionRows)
        if (log.rowReported(row))
            versions.insert(QLatin1String(kRows[row].property), qint64(driver.Value(row)));
    root.insert(QStringLiteral("versions"), versions);

    QJsonObject values;
    for (const Target &t : backupTargets(model)) {
        if (!log.reported(t)) {
            g.values << t.name;
            continue;
        }
        ++g.saved;
        const Entry e = readEntry(driver, t);
        switch (e.type) {
        case Entry::Type::Text:
            values.insert(t.name, e.text);
            break;
        case Entry::Type::Signed:
            values.insert(t.name, qint64(static_cast<int32_t>(e.number)));
            break;
        default:
            values.insert(t.name, qint64(e.number));
            break;
        }
    }
    root.insert(QStringLiteral("values"), values);

    QJsonArray inputs;
    for (int n = 1; n <= Models::InputCount(model); ++n) {
        bool all = true;
        for (int row : kPerInputRows)
            all = all && log.inputReported(row, n);
        if (!all) {
            g.inputs << n;
            continue;
        }
        ++g.saved;
        QJsonObject in;
        in.insert(QStringLiteral("input"), n);
        for (int row : kPerInputRows)
            in.insert(QLatin1String(kRows[row].property), qint64(reportedInputValue(driver, log, row, n)));
        inputs.append(in);
    }
    root.insert(QStringLiteral("inputs"), inputs);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool parseBackup(const QByteArray &json, Backup &backup, QString *why) {
    backup = Backup{};
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (!doc.isObject()) {
        *why = error.error != QJsonParseError::NoError ? error.errorString()
                                                       : QStringLiteral("not a JSON object");
        return false;
    }
    const QJsonObject root = doc.object();
    int64_t model = 0;
    if (!parseNumberField(root, "model", 0, 0xFFFFFFFF, model) || !Models::IsKnownModel(uint32_t(model))) {
        *why = QStringLiteral("no known scaler model (32, 33 or 40) in \"model\"");
        return false;
    }
    backup.model = uint32_t(model);

    const QJsonObject values = root.value(QStringLiteral("values")).toObject();
    const QList<Target> targets = backupTargets(backup.model);
    for (auto it = values.begin(); it != values.end(); ++it) {
        bool known = false;
        for (const Target &t : targets)
            known = known || t.name == it.key();
        if (!known) {
            *why =
                QStringLiteral("'%1' is no setting a backup of model %2 restores").arg(it.key()).arg(model);
            return false;
        }
    }
    for (const Target &t : targets) {
        if (!values.contains(t.name)) continue; // a value the file leaves out stays as it is
        BackupValue v{t, {}};
        QString text, reason;
        if (!valueText(values.value(t.name), text) ||
            parseReportedValue(t, text, v.value, &reason) != Problem::None) {
            *why = QStringLiteral("%1: %2").arg(t.name, reason.isEmpty() ? QStringLiteral("not a valid value")
                                                                         : reason);
            return false;
        }
        backup.values << v;
    }

    const int inputCount = Models::InputCount(backup.model);
    const QJsonArray inputs = root.value(QStringLiteral("inputs")).toArray();
    for (const QJsonValue &value : inputs) {
        const QJsonObject o = value.toObject();
        int64_t n = 0;
        if (!parseNumberField(o, "input", 1, inputCount, n)) {
            *why = QStringLiteral("inputs: an entry without an input number of 1 to %1").arg(inputCount);
            return false;
        }
        BackupInput in;
        in.input = int(n);
        for (int row : kPerInputRows) {
            QString text, reason;
            Value v;
            const QJsonValue field = o.value(QLatin1String(kRows[row].property));
            if (!valueText(field, text) ||
                parseReportedValue(rowTarget(row), text, v, &reason) != Problem::None) {
                *why = QStringLiteral("input %1: %2 is not a valid value").arg(n).arg(kRows[row].property);
                return false;
            }
            inputField(in, row) = v.number;
        }
        for (const BackupInput &other : backup.inputs)
            if (other.input == in.input) {
                *why = QStringLiteral("input %1 appears twice").arg(n);
                return false;
            }
        backup.inputs << in;
    }
    std::sort(backup.inputs.begin(), backup.inputs.end(),
              [](const BackupInput &a, const BackupInput &b) { return a.input < b.input; });
    return true;
}

bool driverHolds(const TOrlan_d &driver, const ReportLog &log, const BackupValue &v) {
    if (!log.reported(v.target)) return false;
    const Entry now = readEntry(driver, v.target);
    if (v.target.kind == TargetKind::Row) return sameRowValue(v.target.index, v.value.number, now.number);
    if (v.target.isPort()) return now.valueText() == QString::number(v.value.number);
    return now.text == v.value.text;
}

QList<BackupValue> inputSteps(const TOrlan_d &driver, const ReportLog &log, const BackupInput &in) {
    QList<BackupValue> steps;
    BackupInput copy = in;
    for (int row : kPerInputRows) {
        const uint32_t wanted = inputField(copy, row);
        if (!log.inputReported(row, in.input) ||
            !sameRowValue(row, wanted, reportedInputValue(driver, log, row, in.input))) {
            BackupValue v{rowTarget(row), {}};
            v.value.number = wanted;
            steps << v;
        }
    }
    if (steps.isEmpty()) return steps;
    BackupValue select{rowTarget(VAR_PCHAN), {}};
    select.value.number = uint32_t(in.input);
    steps.prepend(select);
    return steps;
}

} // namespace OxsControl
