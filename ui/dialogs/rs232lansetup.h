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

// Apply reads the fields in the order of TLanTexts. A port that is not a whole number is an error in every
// mode. In UDP and TCP modes, where every field is sent to the scaler, the addresses, the netmask and the
// port ranges are checked too: the scaler would otherwise store only part of the settings.
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

    TLanSettings m_values;
    bool m_result = false;
};
