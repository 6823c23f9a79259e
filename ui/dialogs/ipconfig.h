#pragma once

#include "ui_ipconfig.h"

#include <QDialog>

#include <cstdint>
#include <optional>

// The link between this program and the scaler when it is a network link.
struct TIPConfigSettings {
    int mode = 2; // 1 UDP, 2 TCP (the ordinals of CON_UDP and CON_TCP)
    QString remoteAddress = QStringLiteral("192.168.0.10");
    int32_t remotePort = 10500;
    int32_t localPort = 10500; // the UDP port this program listens on
};

// The edits as typed.
struct TIPConfigTexts {
    QString localPort;
    QString remoteAddress;
    QString remotePort;
};

// The checks of Apply, in their order. The local port is taken as soon as it passes, even when a later
// check fails.
struct TIPConfigCheck {
    QString warning; // the first failed check's warning; empty when all pass
    std::optional<int32_t> localPort;
    int32_t remotePort = 0;
};
TIPConfigCheck CheckIPConfig(const TIPConfigTexts &texts);

// "LAN Setup": UDP or TCP, the scaler's address and port, and the local UDP port. It only edits values;
// the main window sets them before showing it and applies them after Apply.
class TIPConfigDlg : public QDialog, public Ui::TIPConfigDlg {
    Q_OBJECT
  public:
    explicit TIPConfigDlg(QWidget *parent = nullptr);

    // Each setter stores its value and writes it into its edit.
    void SetMode(int mode);
    void SetRemoteAddress(const QString &address);
    void SetRemotePort(int32_t port);
    void SetLocalPort(int32_t port);
    // All four, in the order the main window sets them: mode, remote address, remote port, local port.
    void SetSettings(const TIPConfigSettings &settings);

    int Mode() const { return m_values.mode; }
    TIPConfigSettings Settings() const { return m_values; }
    // True when the operator left with Apply.
    bool Result() const { return m_result; }

    void BOkClick();
    void BCancelClick();

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    TIPConfigSettings m_values;
    bool m_result = false;
};
