#pragma once

#include "Backup.h"
#include "Restore.h"
#include "ScalerSettingsDlg.h"
#include "SessionLog.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class TForm_OXS;

// The File menu's scaler settings files: "Save scaler settings..." writes every setting the connected
// scaler reported to the JSON file that `oxsctl backup` writes; "Load scaler settings..." reads such a file,
// shows what writing it would change and writes it once the operator confirms, naming what the scaler did
// not take or what a lost link left unwritten. Both are on while a scaler is connected and its answer to
// the query-all is over. The folder last used is kept in "Scaler settings.ini" in the settings folder.
class TScalerSettingsMenu : public QObject {
    Q_OBJECT
  public:
    // Create it before the window opens its link: what the scaler reports is recorded from its first
    // report on.
    TScalerSettingsMenu(TForm_OXS &form, const QString &settingsDir);
    ~TScalerSettingsMenu() override;

    void MenuFileSaveScalerSettingsClick();
    void MenuFileLoadScalerSettingsClick();

    TScalerSettingsDlg *Dialog() const { return m_dialog; }
    // What the scaler reported since it was found.
    const OxsControl::ReportLog &Log() const { return m_session.log(); }
    bool Writing() const { return m_restore != nullptr; }
    QString LastFolder() const { return m_lastFolder; }
    // How long each written value waits for the scaler's report before it counts as not taken.
    void SetValueTimeout(int ms) { m_valueTimeoutMs = ms; }

    static constexpr int kDefaultValueTimeoutMs = 3000;
    static constexpr qint64 kMaxFileBytes = 1 << 20;

  private:
    bool scalerReady() const;
    void updateActions();
    void rememberFolder(const QString &filePath);
    // The model check: empty when the loaded file fits the connected scaler, else why not.
    QString modelMismatch() const;
    QList<TScalerSettingsDlg::Change> changes(QStringList *notes) const;
    void showPreview();
    void schedulePreview();
    void write();
    void onAnswered(const OxsControl::Assignment &a, const QString &reported, bool asked);
    void onFinished(const OxsControl::Restore::Result &result);

    TForm_OXS &m_form;
    TOrlan_d &m_driver;
    OxsControl::SessionLog m_session;
    QString m_iniPath;
    QString m_lastFolder;
    int m_valueTimeoutMs = kDefaultValueTimeoutMs;

    QPointer<TScalerSettingsDlg> m_dialog;
    OxsControl::Backup m_backup; // the file being previewed or written
    QString m_filePath;
    bool m_previewing = false;
    bool m_previewPending = false;
    std::unique_ptr<OxsControl::Restore> m_restore;
    int m_written = 0;
};
