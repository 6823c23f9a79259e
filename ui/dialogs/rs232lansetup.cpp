#include "rs232lansetup.h"

#include "Prompts.h"
#include "TextNumbers.h"

using namespace TextNumbers;

namespace {
constexpr int kUdp = 1;
constexpr int kTcp = 2;
// The background of an edit that does not apply (the classic inactive caption text colour).
const QColor kInactiveField(212, 208, 200);
} // namespace

TLanCheck CheckLanSettings(const TLanTexts &texts, int mode, const TLanSettings &current) {
    TLanCheck check;
    check.values = current;
    TLanSettings &v = check.values;
    const bool udp = mode == kUdp;
    const bool local = udp || mode == kTcp; // the module's own four fields are open
    auto fail = [&check](const QString &message, bool invalidInteger = false) {
        check.message = message;
        check.invalidInteger = invalidInteger;
        return false;
    };
    // An open field that does not pass fails Apply; a closed one is taken only when it passes.
    auto address = [&](bool open, const QString &text, QString &value, const QString &warning) {
        uint32_t parsed = 0;
        if (ParseAddress(text, parsed))
            value = text;
        else if (open)
            return fail(warning);
        return true;
    };
    auto port = [&](bool open, const QString &text, int32_t &value, const QString &warning) {
        int32_t parsed = 0;
        const bool integer = ParseInteger(text, parsed);
        if (integer && parsed >= 0 && parsed <= 65535)
            value = parsed;
        else if (open)
            return integer ? fail(warning) : fail(InvalidIntegerText(text), true);
        return true;
    };
    auto netmask = [&](bool open, const QString &text, QString &value) {
        uint32_t parsed = 0;
        if (ParseNetmask(text, parsed))
            value = text;
        else if (open)
            return fail(QStringLiteral("NetMask not Valid"));
        return true;
    };
    // Each step runs only when the ones before it passed.
    (void)(address(local, texts.localAddress, v.localAddress, QStringLiteral("Local IP address not Valid")) &&
           address(udp, texts.remoteAddress, v.remoteAddress,
                   QStringLiteral("Remote IP address not Valid")) &&
           address(local, texts.gateway, v.gateway, QStringLiteral("Gateway address not Valid")) &&
           port(local, texts.localPort, v.localPort, QStringLiteral("Choose a Local Port <0-65535>")) &&
           port(udp, texts.remotePort, v.remotePort, QStringLiteral("Choose a Remote Port <0-65535>")) &&
           netmask(local, texts.netmask, v.netmask));
    return check;
}

TRs232LanDlg::TRs232LanDlg(QWidget *parent) : QDialog(parent) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    for (QLineEdit *edit : edits()) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Disabled, QPalette::Base, kInactiveField);
        edit->setPalette(palette);
    }
    // The buttons' state, however it changed (mouse, keyboard, assistive technology), sets the mode; the
    // main window's SetMode ticks them the same way, and the dialog sends nothing of itself.
    connect(RBRs232, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetMode(0);
    });
    connect(RBUdp, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetMode(kUdp);
    });
    connect(RBTcp, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetMode(kTcp);
    });
    connect(BOk, &QPushButton::clicked, this, &TRs232LanDlg::BOkClick);
    connect(BCancel, &QPushButton::clicked, this, &TRs232LanDlg::BCancelClick);
    SetMode(m_values.mode);
}

int TRs232LanDlg::checkedMode() const {
    return RBUdp->isChecked() ? kUdp : RBTcp->isChecked() ? kTcp : 0;
}

QList<QLineEdit *> TRs232LanDlg::edits() const {
    return {ELocalAddr, ELocalPort, EGatewayAddr, ENetMask, ERemoteAddr, ERemotePort};
}

// UDP opens every field, TCP the module's own four (its peer is whoever connects), serial only none.
void TRs232LanDlg::SetMode(int mode) {
    for (QLineEdit *edit : edits())
        edit->setEnabled(false);
    m_values.mode = mode;
    if (mode == kUdp) {
        RBUdp->setChecked(true);
        for (QLineEdit *edit : edits())
            edit->setEnabled(true);
    } else if (mode == kTcp) {
        RBTcp->setChecked(true);
        for (QLineEdit *edit : {ELocalAddr, ELocalPort, EGatewayAddr, ENetMask})
            edit->setEnabled(true);
    } else {
        RBRs232->setChecked(true);
    }
}

void TRs232LanDlg::SetLocalAddress(const QString &address) {
    m_values.localAddress = address;
    ELocalAddr->setText(address);
}

void TRs232LanDlg::SetRemoteAddress(const QString &address) {
    m_values.remoteAddress = address;
    ERemoteAddr->setText(address);
}

void TRs232LanDlg::SetGateway(const QString &address) {
    m_values.gateway = address;
    EGatewayAddr->setText(address);
}

void TRs232LanDlg::SetLocalPort(int32_t port) {
    m_values.localPort = port;
    ELocalPort->setText(QString::number(port));
}

void TRs232LanDlg::SetRemotePort(int32_t port) {
    m_values.remotePort = port;
    ERemotePort->setText(QString::number(port));
}

void TRs232LanDlg::SetNetmask(const QString &mask) {
    m_values.netmask = mask;
    ENetMask->setText(mask);
}

void TRs232LanDlg::showEvent(QShowEvent *event) {
    m_result = false;
    QDialog::showEvent(event);
}

// A failed check names the field and leaves the dialog open; the fields read before it are kept.
void TRs232LanDlg::BOkClick() {
    const TLanCheck check = CheckLanSettings({ELocalAddr->text(), ERemoteAddr->text(), EGatewayAddr->text(),
                                              ELocalPort->text(), ERemotePort->text(), ENetMask->text()},
                                             checkedMode(), m_values);
    m_values = check.values;
    m_values.mode = checkedMode();
    if (!check.message.isEmpty()) {
        Prompts::instance().message(check.message,
                                    check.invalidInteger ? Prompts::Icon::Error : Prompts::Icon::Warning);
        return;
    }
    m_result = true;
    accept();
}

void TRs232LanDlg::BCancelClick() {
    m_result = false;
    reject();
}
