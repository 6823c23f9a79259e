// libFuzzer target for the backup-file reader: any bytes as the text of a backup file. A refusal must say
// why; a file it accepts must name a known model, hold only settings a backup of that model restores, each
// once, and list each of the model's inputs at most once, in ascending order.

#include "Backup.h"
#include "ScalerModels.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray json(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    OxsControl::Backup backup;
    QString why;
    if (!OxsControl::parseBackup(json, backup, &why)) {
        check(!why.isEmpty());
        return 0;
    }
    check(Models::IsKnownModel(backup.model));
    QSet<QString> restorable;
    for (const OxsControl::Target &t : OxsControl::backupTargets(backup.model))
        restorable.insert(t.name);
    QSet<QString> seen;
    for (const OxsControl::BackupValue &v : backup.values) {
        check(restorable.contains(v.target.name));
        check(!seen.contains(v.target.name));
        seen.insert(v.target.name);
    }
    int previous = 0;
    for (const OxsControl::BackupInput &in : backup.inputs) {
        check(in.input > previous && in.input <= Models::InputCount(backup.model));
        previous = in.input;
    }
    return 0;
}
