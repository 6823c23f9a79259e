#include "ipconfig.h"

#include "Prompts.h"
#include "TextNumbers.h"

namespace {
constexpr int kUdp = 1;
constexpr int kTcp = 2;
// The background of an edit that does not apply (the classic inactive caption text colour).
const QColor kInactiveField(212, 208, 200);

void setFieldEnabled(QLineEdit *edit, bool enabled) {
    edit->setEnabled(enabled);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Disabled, QPalette::Base, kInactiveField);
    edit->setPalette(palette);
}
} // namespace

TIPConfigCheck CheckIPConfig(const TIPConfigTexts &texts) {
    TIPConfigCheck check;
    int32_t localPort = 0;
    if (!TextNumbers::ParsePort(texts.localPort, localPort)) {
        check.warning = QStringLiteral("Choose a Local Port <0-65535>");
        return check;
    }
    check.localPort = localPort;
    if (!TextNumbers::ParsePort(texts.remotePort, check.remotePort)) {
        check.warning = QStringLiteral("Choose a Remote Port <0-65535>");
        return check;
    }
    uint32_t address = 0;
    if (!TextNumbers::ParseAddress(texts.remoteAddress, address))
        check.warning = QStringLiteral("Remote IP address not Valid");
    return check;
}

TIPConfigDlg::TIPConfigDlg(QWidget *parent) : QDialog(parent) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    // The buttons' state, however it changed (mouse, keyboard, assistive technology), sets the mode.
    connect(RBTcp, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetMode(kTcp);
    });
    connect(RBUdp, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetMode(kUdp);
    });
    connect(BOk, &QPushButton::clicked, this, &TIPConfigDlg::BOkClick);
    connect(BCancel, &QPushButton::clicked, this, &TIPConfigDlg::BCancelClick);
    SetMode(m_values.mode);
}

void TIPConfigDlg::SetMode(int mode) {
    m_values.mode = mode;
    const bool udp = mode == kUdp;
    (udp ? RBUdp : RBTcp)->setChecked(true);
    setFieldEnabled(ELocalPort, udp);
}

void TIPConfigDlg::SetRemoteAddress(const QString &address) {
    m_values.remoteAddress = address;
    ERemoteAddr->setText(address);
}

void TIPConfigDlg::SetRemotePort(int32_t port) {
    m_values.remotePort = port;
    ERemotePort->setText(QString::number(port));
}

void TIPConfigDlg::SetLocalPort(int32_t port) {
    m_values.localPort = port;
    ELocalPort->setText(QString::number(port));
}

void TIPConfigDlg::SetSettings(const TIPConfigSettings &settings) {
    SetMode(settings.mode);
    SetRemoteAddress(settings.remoteAddress);
    SetRemotePort(settings.remotePort);
    SetLocalPort(settings.localPort);
}

// A serial link opens the dialog on TCP.
void TIPConfigDlg::showEvent(QShowEvent *event) {
    m_result = false;
    if (m_values.mode != kUdp && m_values.mode != kTcp) SetMode(kTcp);
    QDialog::showEvent(event);
}

// The local port is checked even while its edit is disabled; a failed check leaves the dialog open.
void TIPConfigDlg::BOkClick() {
    const TIPConfigCheck check =
        CheckIPConfig({ELocalPort->text(), ERemoteAddr->text(), ERemotePort->text()});
    if (check.localPort) SetLocalPort(*check.localPort);
    if (!check.warning.isEmpty()) {
        Prompts::instance().message(check.warning, Prompts::Icon::Warning);
        return;
    }
    m_values.mode = RBUdp->isChecked() ? kUdp : kTcp;
    m_values.remotePort = check.remotePort;
    m_values.remoteAddress = ERemoteAddr->text(); // as typed
    m_result = true;
    accept();
}

void TIPConfigDlg::BCancelClick() {
    m_result = false;
    reject();
}
