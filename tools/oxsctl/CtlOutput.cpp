#include "CtlOutput.h"

#include "ScalerModels.h"

#include <QDateTime>
#include <QSaveFile>

namespace OxsCtl {

using namespace OxsControl;

QList<Entry> statusEntries(uint32_t dev, uint32_t version, const QString &link) {
    return {{QStringLiteral("DEV"), Entry::Type::Number, dev, {}},
            {QStringLiteral("MODEL"), Entry::Type::Text, 0, Models::ModelName(dev)},
            {QStringLiteral("VERSION"), Entry::Type::Text, 0,
             QStringLiteral("%1.%2").arg(version / 100).arg(version % 100)},
            {QStringLiteral("LINK"), Entry::Type::Text, 0, link}};
}

QString unreportedMessage(const QStringList &names) {
    return QStringLiteral("oxsctl: the scaler did not report %1\n").arg(names.join(QStringLiteral(", ")));
}

void reportAnswer(const QString &name, const QString &reported, const QString &sent, bool asked, bool quiet,
                  const Writer &out, const Writer &err) {
    out((quiet ? QString() : name + QLatin1Char('=')) + reported + QLatin1Char('\n'));
    if (!asked && !quiet)
        err(QStringLiteral("oxsctl: note: the scaler reports %1=%2, not the %3 sent\n")
                .arg(name, reported, sent));
}

void reportNotes(const QStringList &notes, bool quiet, const Writer &err) {
    if (quiet) return;
    for (const QString &note : notes)
        err(QStringLiteral("oxsctl: note: %1\n").arg(note));
}

bool writeBackupFile(const QString &path, const QByteArray &json, QString *why) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) < 0 || !file.commit()) {
        *why = QStringLiteral("oxsctl: cannot write %1: %2\n").arg(path, file.errorString());
        return false;
    }
    return true;
}

void reportBackup(const BackupGaps &gaps, uint32_t model, const QString &path, bool quiet, const Writer &out,
                  const Writer &err) {
    if (quiet) return;
    QStringList left = gaps.values;
    for (int in : gaps.inputs)
        left << QStringLiteral("input %1").arg(in);
    if (!left.isEmpty())
        err(QStringLiteral("oxsctl: note: the scaler did not report %1; the backup leaves them out\n")
                .arg(left.join(QStringLiteral(", "))));
    out(QStringLiteral("%1 settings of the %2 written to %3\n")
            .arg(gaps.saved)
            .arg(Models::ModelName(model), path));
}

QString wrongModelMessage(const QString &path, uint32_t backupModel, uint32_t scalerModel) {
    return QStringLiteral("oxsctl: %1 is a backup of an %2 (model %3); the scaler is an %4 (model %5)\n")
        .arg(path, Models::ModelName(backupModel))
        .arg(backupModel)
        .arg(Models::ModelName(scalerModel))
        .arg(scalerModel);
}

void reportRestoreEnd(const QStringList &notTaken, bool linkLost, const QStringList &notWritten,
                      const Writer &err) {
    if (!notTaken.isEmpty())
        err(QStringLiteral("oxsctl: the scaler did not take %1\n").arg(notTaken.join(QStringLiteral(", "))));
    if (linkLost)
        err(QStringLiteral("oxsctl: the link to the scaler was lost during the restore; not written: %1\n")
                .arg(notWritten.isEmpty() ? QStringLiteral("nothing")
                                          : notWritten.join(QStringLiteral(", "))));
}

QString watchTime() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

} // namespace OxsCtl
