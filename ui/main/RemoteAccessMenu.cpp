#include "RemoteAccessMenu.h"

#include "Prompts.h"
#include "RemoteAccess.h"
#include "RemoteHost.h"
#include "Unit_OXS.h"

TRemoteAccessMenu::TRemoteAccessMenu(TForm_OXS &form, OxsRemote::RemoteHost &host, QString settingsPath)
    : m_form(form), m_host(host), m_settingsPath(std::move(settingsPath)) {
    connect(m_form.MenuRemoteAccess, &QAction::triggered, this, &TRemoteAccessMenu::MenuRemoteAccessClick);
    connect(&m_host, &OxsRemote::RemoteHost::statusChanged, this, &TRemoteAccessMenu::showStatus);
    m_form.MenuRemoteAccess->setEnabled(true);
    showStatus();
}

TRemoteAccessMenu::~TRemoteAccessMenu() = default;

bool TRemoteAccessMenu::Start(const std::optional<OxsRemote::RemoteSettings> &commandLine, QString *why) {
    OxsRemote::RemoteSettings settings = OxsRemote::loadRemoteSettings(m_settingsPath);
    if (commandLine) {
        settings.enabled = true;
        settings.address = commandLine->address;
        settings.port = commandLine->port;
    }
    return m_host.apply(settings, why);
}

void TRemoteAccessMenu::MenuRemoteAccessClick() {
    if (!m_dialog) {
        m_dialog = std::make_unique<TRemoteAccessDlg>(&m_form);
        connect(m_dialog.get(), &TRemoteAccessDlg::applied, this, &TRemoteAccessMenu::apply);
    }
    m_dialog->SetSettings(m_host.settings());
    m_dialog->setStatus(m_host.statusText());
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void TRemoteAccessMenu::apply(const OxsRemote::RemoteSettings &settings) {
    m_host.apply(settings);
    if (!OxsRemote::saveRemoteSettings(m_settingsPath, settings))
        Prompts::instance().message(
            QStringLiteral("The remote access settings could not be saved to %1.").arg(m_settingsPath),
            Prompts::Icon::Warning);
}

void TRemoteAccessMenu::showStatus() {
    const QString text = m_host.statusText();
    m_form.StatusBar->setToolTip(QStringLiteral("Remote access: %1").arg(text));
    if (m_dialog) m_dialog->setStatus(text);
}
