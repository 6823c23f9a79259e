#pragma once

#include "RemoteSettings.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class TForm_OXS;
class TRemoteAccessDlg;
namespace OxsRemote {
class RemoteHost;
}

// The window's side of remote access: the Controls menu's "Remote access..." opens the remote access
// window, whose settings start and stop the servers and are kept in their own settings file; the status bar's
// tooltip and that window say where the program listens and how many clients it has.
class TRemoteAccessMenu : public QObject {
    Q_OBJECT
  public:
    TRemoteAccessMenu(TForm_OXS &form, OxsRemote::RemoteHost &host, QString settingsPath);
    ~TRemoteAccessMenu() override;

    // Starts remote access as the settings file says; a listening address from the command line turns it on
    // for this run (the file keeps what the operator chose). Returns false with the reason when the servers
    // cannot start.
    bool Start(const std::optional<OxsRemote::RemoteSettings> &commandLine, QString *why);

    void MenuRemoteAccessClick();
    TRemoteAccessDlg *Dialog() const { return m_dialog.get(); }

  private:
    void apply(const OxsRemote::RemoteSettings &settings);
    void showStatus();

    TForm_OXS &m_form;
    OxsRemote::RemoteHost &m_host;
    QString m_settingsPath;
    std::unique_ptr<TRemoteAccessDlg> m_dialog;
};
