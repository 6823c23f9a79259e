#include "ScalerSettingsMenu.h"

#include "DeviceVariables.h"
#include "Orlan_d.h"
#include "ProfileFile.h"
#include "Prompts.h"
#include "ScalerModels.h"
#include "Unit_OXS.h"
#include "Values.h"
#include "Writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

using namespace OxsControl;
using namespace OrlanVars;

namespace {

const QString kIniName = QStringLiteral("Scaler settings.ini");
const QString kSection = QStringLiteral("Scaler settings");
const QString kFolderKey = QStringLiteral("Folder");
const QString kFilter = QStringLiteral("Scaler settings (*.json);;All files (*)");
const QString kSaveTitle = QStringLiteral("Save scaler settings");
const QString kLoadTitle = QStringLiteral("Load scaler settings");

QString modelText(uint32_t model) {
    const QString name = Models::ModelName(model);
    return name.isEmpty() ? QStringLiteral("model %1").arg(model)
                          : QStringLiteral("%1 (model %2)").arg(name).arg(model);
}

QString settingsCount(int n) {
    return n == 1 ? QStringLiteral("1 setting") : QStringLiteral("%1 settings").arg(n);
}

QString fileName(const QString &path) {
    return QFileInfo(path).fileName();
}

// The input selector written before an input's own values: no setting of its own.
bool isInputSelector(const Assignment &a) {
    return a.label.isEmpty() && a.target.kind == TargetKind::Row && a.target.index == VAR_PCHAN;
}

bool readSettingsFile(const QString &path, QByteArray &json, QString *why) {
    const QFileInfo info(path);
    if (!info.exists()) {
        *why = QStringLiteral("%1 does not exist.").arg(path);
        return false;
    }
    // Only a regular file: a FIFO or a device in its place could block the window.
    if (!info.isFile()) {
        *why = QStringLiteral("%1 is not a file.").arg(path);
        return false;
    }
    if (info.size() > TScalerSettingsMenu::kMaxFileBytes) {
        *why = QStringLiteral("%1 is too large to be a scaler settings file.").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("%1 cannot be read: %2.").arg(path, file.errorString());
        return false;
    }
    json = file.read(TScalerSettingsMenu::kMaxFileBytes + 1);
    if (json.size() > TScalerSettingsMenu::kMaxFileBytes) {
        *why = QStringLiteral("%1 is too large to be a scaler settings file.").arg(path);
        return false;
    }
    return true;
}

} // namespace

TScalerSettingsMenu::TScalerSettingsMenu(TForm_OXS &form, const QString &settingsDir)
    : m_form(form), m_driver(*form.Orlan_d), m_session(*form.Orlan_d),
      m_iniPath(QDir(settingsDir).filePath(kIniName)) {
    m_lastFolder = ProfileReader(m_iniPath).readString(kSection, kFolderKey, QString());
    connect(m_form.MenuFileSaveScalerSettings, &QAction::triggered, this,
            &TScalerSettingsMenu::MenuFileSaveScalerSettingsClick);
    connect(m_form.MenuFileLoadScalerSettings, &QAction::triggered, this,
            &TScalerSettingsMenu::MenuFileLoadScalerSettingsClick);

    // The session log was connected first, so it has recorded a message before the restore sees it.
    connect(&m_driver, &TOrlan_d::messageMatched, this, [this](const QByteArray &message) {
        if (m_restore) m_restore->received(message);
    });
    connect(&m_driver, &TOrlan_d::variableReported, this, [this](int index) {
        if (m_restore) m_restore->changed(index);
        schedulePreview();
    });
    connect(&m_driver, &TOrlan_d::connectedChanged, this, [this] {
        if (m_restore) m_restore->connectionChanged();
        updateActions();
        schedulePreview();
    });
    connect(&m_driver, &TOrlan_d::readyChanged, this, [this] {
        updateActions();
        schedulePreview();
    });
    updateActions();
}

TScalerSettingsMenu::~TScalerSettingsMenu() {
    m_restore.reset();
    delete m_dialog.data();
}

bool TScalerSettingsMenu::scalerReady() const {
    return m_driver.Connected() && m_driver.Ready();
}

void TScalerSettingsMenu::updateActions() {
    const bool ready = scalerReady();
    m_form.MenuFileSaveScalerSettings->setEnabled(ready);
    m_form.MenuFileLoadScalerSettings->setEnabled(ready && !m_restore);
}

void TScalerSettingsMenu::rememberFolder(const QString &filePath) {
    const QString folder = QFileInfo(filePath).absolutePath();
    if (folder == m_lastFolder) return;
    m_lastFolder = folder;
    ProfileWriter writer(m_iniPath);
    writer.writeString(kSection, kFolderKey, folder);
    // Only a convenience: a settings folder that cannot be written costs the remembered folder, nothing more.
    (void)writer.commit();
}

void TScalerSettingsMenu::MenuFileSaveScalerSettingsClick() {
    Prompts &prompts = Prompts::instance();
    if (!scalerReady()) {
        prompts.message(QStringLiteral("No scaler is connected and ready: there is nothing to save."),
                        Prompts::Icon::Warning, kSaveTitle);
        return;
    }
    const uint32_t model = m_driver.Value(VAR_DEV);
    const QString folder = m_lastFolder.isEmpty() ? QDir::homePath() : m_lastFolder;
    const QString suggested = QDir(folder).filePath(
        QStringLiteral("%1 settings.json")
            .arg(Models::ModelName(model).isEmpty() ? QStringLiteral("Scaler") : Models::ModelName(model)));
    QString path = prompts.saveFileName(kSaveTitle, kFilter, suggested);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".json");
    // The file dialog let the event loop run: the scaler may have gone meanwhile.
    if (!scalerReady()) {
        prompts.message(QStringLiteral("The link to the scaler was lost: nothing was saved."),
                        Prompts::Icon::Warning, kSaveTitle);
        return;
    }
    BackupGaps gaps;
    const QByteArray json = backupJson(m_driver, m_session.log(), &gaps);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        prompts.message(
            QStringLiteral("%1 could not be written: %2. Nothing was saved.").arg(path, file.errorString()),
            Prompts::Icon::Error, kSaveTitle);
        return;
    }
    rememberFolder(path);
    QString text =
        QStringLiteral("%1 of the %2 saved to %3.").arg(settingsCount(gaps.saved), modelText(model), path);
    QStringList left = gaps.values;
    for (int in : gaps.inputs)
        left << QStringLiteral("input %1").arg(in);
    if (!left.isEmpty())
        text += QStringLiteral("\n\nThe scaler did not report %1; the file leaves them out.")
                    .arg(left.join(QStringLiteral(", ")));
    prompts.message(text, left.isEmpty() ? Prompts::Icon::Information : Prompts::Icon::Warning, kSaveTitle);
}

void TScalerSettingsMenu::MenuFileLoadScalerSettingsClick() {
    Prompts &prompts = Prompts::instance();
    if (m_restore) {
        // One restore at a time: show the one that runs.
        m_dialog->show();
        m_dialog->raise();
        return;
    }
    if (!scalerReady()) {
        prompts.message(QStringLiteral("No scaler is connected and ready: there is nothing to load to."),
                        Prompts::Icon::Warning, kLoadTitle);
        return;
    }
    const QString path = prompts.openFileName(kLoadTitle, kFilter, m_lastFolder);
    if (path.isEmpty()) return;
    QByteArray json;
    QString why;
    if (!readSettingsFile(path, json, &why)) {
        prompts.message(QStringLiteral("%1 Nothing was written.").arg(why), Prompts::Icon::Error, kLoadTitle);
        return;
    }
    rememberFolder(path);
    Backup backup;
    if (!parseBackup(json, backup, &why)) {
        prompts.message(
            QStringLiteral("%1 is no scaler settings file: %2. Nothing was written.").arg(path, why),
            Prompts::Icon::Error, kLoadTitle);
        return;
    }
    m_backup = std::move(backup);
    m_filePath = path;
    if (!scalerReady()) {
        prompts.message(QStringLiteral("The link to the scaler was lost: nothing was written."),
                        Prompts::Icon::Warning, kLoadTitle);
        return;
    }
    if (const QString mismatch = modelMismatch(); !mismatch.isEmpty()) {
        prompts.message(mismatch + QStringLiteral(" Nothing was written."), Prompts::Icon::Error, kLoadTitle);
        return;
    }
    if (!m_dialog) {
        m_dialog = new TScalerSettingsDlg(&m_form);
        connect(m_dialog, &TScalerSettingsDlg::writeRequested, this, &TScalerSettingsMenu::write);
        connect(m_dialog, &TScalerSettingsDlg::cancelled, this, [this] { m_previewing = false; });
    }
    m_previewing = true;
    showPreview();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

QString TScalerSettingsMenu::modelMismatch() const {
    const uint32_t dev = m_driver.Value(VAR_DEV);
    if (dev == m_backup.model) return {};
    return QStringLiteral("%1 holds the settings of an %2; the scaler connected is an %3.")
        .arg(fileName(m_filePath), modelText(m_backup.model), modelText(dev));
}

// The values a restore would write now, each with what the scaler reported for it.
QList<TScalerSettingsDlg::Change> TScalerSettingsMenu::changes(QStringList *notes) const {
    const ReportLog &log = m_session.log();
    const RestorePlan plan = planRestore(m_backup, m_driver, log);
    if (notes) *notes = plan.notes;
    QList<TScalerSettingsDlg::Change> list;
    int input = 0;
    const QString unreported = QStringLiteral("not reported");
    for (qsizetype i = 0; i < plan.writes.size(); ++i) {
        const Assignment &a = plan.writes[i];
        if (isInputSelector(a)) {
            input = int(a.value.number);
            continue;
        }
        if (plan.skipIfHeld.value(i) && scalerHolds(m_driver, log, a)) continue;
        QString current = unreported;
        if (a.target.kind != TargetKind::Row) {
            if (log.reported(a.target)) current = readEntry(m_driver, a.target).valueText();
        } else if (!a.label.isEmpty()) {
            if (log.inputReported(a.target.index, input))
                current =
                    formatRowValue(a.target.index, reportedInputValue(m_driver, log, a.target.index, input));
        } else if (log.rowReported(a.target.index)) {
            current = formatRowValue(a.target.index, m_driver.Value(a.target.index));
        }
        list << TScalerSettingsDlg::Change{a.shownName(), current, assignedText(a)};
    }
    return list;
}

void TScalerSettingsMenu::showPreview() {
    m_previewPending = false;
    if (!m_dialog || !m_previewing || m_restore) return;
    const QString heading =
        QStringLiteral("Loading %1 would change these settings of the %2. Nothing is written until you "
                       "choose \"Write to the scaler\".")
            .arg(fileName(m_filePath), modelText(m_backup.model));
    if (!scalerReady()) {
        // Keep the last list in sight; nothing can be written until the scaler is back and has reported.
        QList<TScalerSettingsDlg::Change> shown;
        for (const QStringList &row : m_dialog->Rows())
            shown << TScalerSettingsDlg::Change{row.value(0), row.value(1), row.value(2)};
        m_dialog->ShowPreview(heading, shown, {},
                              m_driver.Connected()
                                  ? QStringLiteral("Waiting for the scaler's report; nothing was written.")
                                  : QStringLiteral("The link to the scaler is lost; nothing was written."));
        return;
    }
    // The scaler found again may be another one.
    if (const QString mismatch = modelMismatch(); !mismatch.isEmpty()) {
        m_dialog->ShowPreview({}, {}, {}, mismatch + QStringLiteral(" Nothing was written."));
        return;
    }
    QStringList notes;
    const QList<TScalerSettingsDlg::Change> list = changes(&notes);
    if (list.isEmpty()) {
        m_dialog->ShowPreview(
            {}, {}, notes,
            QStringLiteral("The scaler already holds every setting of %1: there is nothing to write.")
                .arg(fileName(m_filePath)));
        return;
    }
    m_dialog->ShowPreview(heading, list, notes);
}

void TScalerSettingsMenu::schedulePreview() {
    // Reports come in bursts: one refresh after the burst.
    if (!m_previewing || m_restore || m_previewPending || !m_dialog || !m_dialog->isVisible()) return;
    m_previewPending = true;
    QTimer::singleShot(0, this, &TScalerSettingsMenu::showPreview);
}

void TScalerSettingsMenu::write() {
    if (m_restore || !m_previewing) return;
    showPreview(); // what is written is what the list shows at this moment
    if (!scalerReady() || !modelMismatch().isEmpty() || !m_dialog->WriteButton()->isEnabled()) return;
    m_previewing = false;
    m_written = 0;
    m_restore = std::make_unique<Restore>(m_driver, m_backup, m_valueTimeoutMs);
    m_restore->progress = [this](const Assignment &a, const QString &reported, bool asked) {
        onAnswered(a, reported, asked);
    };
    m_restore->finished = [this](const Restore::Result &r) { onFinished(r); };
    m_dialog->StartProgress(
        QStringLiteral("Writing %1 to the %2:").arg(fileName(m_filePath), modelText(m_backup.model)));
    updateActions();
    m_restore->start(m_session.log());
}

void TScalerSettingsMenu::onAnswered(const Assignment &a, const QString &reported, bool asked) {
    if (isInputSelector(a)) return;
    if (asked) ++m_written;
    m_dialog->SetOutcome(a.shownName(),
                         asked ? TScalerSettingsDlg::Outcome::Taken : TScalerSettingsDlg::Outcome::NotTaken,
                         reported);
}

void TScalerSettingsMenu::onFinished(const Restore::Result &r) {
    for (const QString &name : r.notTaken)
        m_dialog->SetOutcome(name, TScalerSettingsDlg::Outcome::NotTaken);
    // The restore also names the values it would have skipped because the scaler held them already; only
    // the ones the list showed as needing a write were really left unwritten.
    QStringList listed;
    for (const QStringList &row : m_dialog->Rows())
        listed << row.value(0);
    QStringList notWritten;
    for (const QString &name : r.notWritten)
        if (listed.contains(name)) notWritten << name;
    for (const QString &name : notWritten)
        m_dialog->SetOutcome(name, TScalerSettingsDlg::Outcome::NotWritten);

    QStringList lines;
    QString written =
        QStringLiteral("%1 of %2 written to the scaler").arg(settingsCount(m_written), fileName(m_filePath));
    lines << (r.ok() ? written + QLatin1Char('.')
                     : written + QStringLiteral("; the settings were not all restored."));
    if (!r.notTaken.isEmpty())
        lines << QStringLiteral("The scaler did not take %1.").arg(r.notTaken.join(QStringLiteral(", ")));
    if (r.linkLost)
        lines << QStringLiteral("The link to the scaler was lost while writing; not written: %1.")
                     .arg(notWritten.isEmpty() ? QStringLiteral("nothing")
                                               : notWritten.join(QStringLiteral(", ")));
    const QString summary = lines.join(QLatin1Char('\n'));
    m_dialog->Finish(summary, r.ok());

    // The restore is on the stack below: it goes once control is back in the event loop.
    m_restore.release()->deleteLater();
    updateActions();
    // Told once the restore is off the stack, so that a modal box does not run inside its callback.
    const bool ok = r.ok();
    QTimer::singleShot(0, this, [summary, ok] {
        Prompts::instance().message(summary, ok ? Prompts::Icon::Information : Prompts::Icon::Warning,
                                    kLoadTitle);
    });
}
