#include "RemoteAccess.h"

#include "Prompts.h"

using OxsRemote::RemoteSettings;

namespace {
constexpr int kMaxPort = 65535;

// Decimal digits only, 1 to 65535; anything else is 0, which the settings check refuses.
quint16 portFromText(const QString &text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 5) return 0;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
    const int port = t.toInt();
    return port >= 1 && port <= kMaxPort ? static_cast<quint16>(port) : 0;
}
} // namespace

QString webRemoteAddress(const RemoteSettings &settings) {
    const QHostAddress address(settings.address);
    const bool everyNetwork =
        address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::AnyIPv6);
    QString text = everyNetwork
                       ? QStringLiteral("http://(this computer's address):%1/").arg(settings.port)
                       : QStringLiteral("http://") + OxsRemote::listenText(settings) + QLatin1Char('/');
    if (!settings.loopbackOnly()) text += QStringLiteral("?token=") + settings.token;
    return text;
}

TRemoteAccessDlg::TRemoteAccessDlg(QWidget *parent) : QDialog(parent) {
    setupUi(this);
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // Texts that come from the operator or the server are shown as they are, never as markup.
    LblStatus->setTextFormat(Qt::PlainText);
    // A generated token shows whole.
    EToken->setMinimumWidth(EToken->fontMetrics().horizontalAdvance(QString(36, QLatin1Char('0'))));
    connect(BtnApply, &QPushButton::clicked, this, &TRemoteAccessDlg::BtnApplyClick);
    connect(BtnClose, &QPushButton::clicked, this, &TRemoteAccessDlg::BtnCloseClick);
    connect(BtnNewToken, &QPushButton::clicked, this, &TRemoteAccessDlg::BtnNewTokenClick);
    for (QLineEdit *edit : {EAddress, EPort, EToken})
        connect(edit, &QLineEdit::textChanged, this, &TRemoteAccessDlg::refreshWebAddress);
    SetSettings(RemoteSettings());
}

void TRemoteAccessDlg::SetSettings(const RemoteSettings &settings) {
    ChkEnabled->setChecked(settings.enabled);
    EAddress->setText(settings.address);
    EPort->setText(QString::number(settings.port));
    EToken->setText(settings.token);
    EOscSenders->setText(settings.oscSenders.join(QStringLiteral(", ")));
    refreshWebAddress();
}

RemoteSettings TRemoteAccessDlg::Settings() const {
    RemoteSettings s;
    s.enabled = ChkEnabled->isChecked();
    s.address = EAddress->text().trimmed();
    s.port = portFromText(EPort->text());
    s.token = EToken->text().trimmed();
    s.oscSenders.clear();
    for (const QString &sender : EOscSenders->text().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString trimmed = sender.trimmed();
        if (!trimmed.isEmpty()) s.oscSenders << trimmed;
    }
    return s;
}

// Settings that cannot be used stay in the edits, with the reason, and reach nobody.
void TRemoteAccessDlg::BtnApplyClick() {
    const RemoteSettings s = Settings();
    const QString why = OxsRemote::checkRemoteSettings(s);
    if (!why.isEmpty()) {
        Prompts::instance().message(why, Prompts::Icon::Warning, windowTitle());
        return;
    }
    emit applied(s);
}

void TRemoteAccessDlg::BtnCloseClick() {
    close();
}

void TRemoteAccessDlg::BtnNewTokenClick() {
    EToken->setText(OxsRemote::newRemoteToken());
}

void TRemoteAccessDlg::setStatus(const QString &text) {
    LblStatus->setText(text);
}

void TRemoteAccessDlg::refreshWebAddress() {
    const RemoteSettings s = Settings();
    EWebAddress->setText(QHostAddress(s.address).isNull() || s.port == 0 ? QString() : webRemoteAddress(s));
    EWebAddress->setCursorPosition(0);
}
