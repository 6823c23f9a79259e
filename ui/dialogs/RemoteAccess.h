#pragma once

#include "RemoteSettings.h"
#include "ui_RemoteAccess.h"

#include <QDialog>

// The address a browser opens for the web remote on these settings: "http://127.0.0.1:10600/", with
// "?token=..." when the address is not a loopback one. An address that listens on every network has no
// one address to open, so the text names this computer's address instead.
QString webRemoteAddress(const OxsRemote::RemoteSettings &settings);

// "Remote access": whether other programs may control the scaler through this one, and where and how.
// Non-modal; it only edits an OxsRemote::RemoteSettings value and hands it back through applied() when the
// settings pass OxsRemote::checkRemoteSettings. The window that opened it starts and stops the server and
// reports back through setStatus().
class TRemoteAccessDlg : public QDialog, public Ui::TRemoteAccessDlg {
    Q_OBJECT
  public:
    explicit TRemoteAccessDlg(QWidget *parent = nullptr);

    // Writes the settings into the edits.
    void SetSettings(const OxsRemote::RemoteSettings &settings);
    // The settings as the edits hold them now (unchecked): a port that is not a number from 1 to 65535
    // reads as 0, the OSC senders as the comma-separated list without blanks and empty entries.
    OxsRemote::RemoteSettings Settings() const;

    void BtnApplyClick();
    void BtnCloseClick();
    void BtnNewTokenClick();

  public slots:
    // The server's state, in a line of its own: where it listens and how many clients it has, "Off", or
    // why it could not start.
    void setStatus(const QString &text);

  signals:
    void applied(const OxsRemote::RemoteSettings &settings);

  private:
    void refreshWebAddress();
};
