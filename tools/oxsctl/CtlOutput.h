#pragma once

#include "Backup.h"
#include "Values.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// The texts oxsctl prints, shared by the commands on a link of their own and those through the running
// program's remote control, so that both print the same.
namespace OxsCtl {

using Writer = std::function<void(const QString &text)>;

// status: DEV, MODEL, VERSION and LINK.
QList<OxsControl::Entry> statusEntries(uint32_t dev, uint32_t version, const QString &link);

// "oxsctl: the scaler did not report A, B\n"
QString unreportedMessage(const QStringList &names);

// set and restore: one answered value, NAME=VALUE (VALUE with --quiet), and a note on standard error when
// the scaler keeps another value than the one sent.
void reportAnswer(const QString &name, const QString &reported, const QString &sent, bool asked, bool quiet,
                  const Writer &out, const Writer &err);

// The notes of a restore plan or a backup on standard error, one line each, unless quiet.
void reportNotes(const QStringList &notes, bool quiet, const Writer &err);

// Writes a backup file whole or not at all: an old backup under that name survives a failed write.
// Returns false with the message for standard error in *why.
bool writeBackupFile(const QString &path, const QByteArray &json, QString *why);
// After a backup was written: what it left out (standard error) and the summary line (standard output).
void reportBackup(const OxsControl::BackupGaps &gaps, uint32_t model, const QString &path, bool quiet,
                  const Writer &out, const Writer &err);

// "oxsctl: FILE is a backup of an Orlan (model 32); the scaler is an Orlan Plus (model 33)\n"
QString wrongModelMessage(const QString &path, uint32_t backupModel, uint32_t scalerModel);

// The end of a restore on standard error: what the scaler did not take, and what was not written when
// the link was lost.
void reportRestoreEnd(const QStringList &notTaken, bool linkLost, const QStringList &notWritten,
                      const Writer &err);

// The time at the start of a watch line.
QString watchTime();

} // namespace OxsCtl
