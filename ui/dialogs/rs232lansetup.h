#pragma once

#include "ui_rs232lansetup.h"

#include <QDialog>

#include <cstdint>

// The network settings of the scaler's own LAN module.
struct TLanSettings {
    int mode = 0; // 0 serial only (module off), 1 UDP, 2 TCP
    QString localAddress = QStringLiteral("192.168.0.1");
    int32_t localPort = 10100;
    QString gateway = QStringLiteral("192.168.0.1");
    QString netmask = QStringLiteral("255.255.255.0");
    QString remoteAddress = QStringLiteral("192.168.0.1");
    int32_t remotePort = 1000;
};

// The edits as typed.
struct TLanTexts {
    QString localAddress;
    QString remoteAddress;
    QString gateway;
    QString localPort;
    QString remotePort;
    QString netmask;
};

// Apply reads the fields in the order of TLanTexts and checks those the mode lets the operator edit (UDP:
// all six; TCP: the module's own address, port, gateway and netmask; serial only: none): a port must be a
// whole number from 0 to 65535, an address and the netmask well formed, else the scaler would store only
// part of the settings. A field the mode disables is taken when its text passes the same check, else it
// keeps its current value (what the scaler reported): it is never what blocks Apply, and a malformed text
// never leaves the dialog.
struct TLanCheck {
    QString message;             // empty when all pass
    bool invalidInteger = false; // the message is the invalid-integer error rather than a warning
    TLanSettings values;         // `current` with the fields read before the failure (all of them on success)
};
TLanCheck CheckLanSettings(const TLanTexts &texts, int mode, const TLanSettings &current);

// "OXS LAN Setup": whether the scaler's LAN module is used and how. It only edits values; the main window
// sets them before every showing and sends them after Apply.
class TRs232LanDlg : public QDialog, public Ui::TRs232LanDlg {
    Q_OBJECT
  public:
    explicit TRs232LanDlg(QWidget *parent = nullptr);

    // Each setter stores its value and writes it into its edit.
    void SetMode(int mode);
    void SetLocalAddress(const QString &address);
    void SetRemoteAddress(const QString &address);
    void SetGateway(const QString &address);
    void SetLocalPort(int32_t port);
    void SetRemotePort(int32_t port);
    void SetNetmask(const QString &mask);

    int Mode() const { return m_values.mode; }
    TLanSettings Settings() const { return m_values; }
    // True when the operator left with Apply.
    bool Result() const { return m_result; }

    void BOkClick();
    void BCancelClick();

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    QList<QLineEdit *> edits() const;
    // The mode the radio buttons show, however they were ticked.
    int checkedMode() const;

    TLanSettings m_values;
    bool m_result = false;
};
