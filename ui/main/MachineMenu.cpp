#include "MachineMenu.h"

#include "TextNumbers.h"
#include "Unit_About_OXS.h"
#include "Unit_OXS.h"
#include "Unit_Standby.h"
#include "Version.h"
#include "rs232lansetup.h"

namespace {
constexpr uint32_t kOptLan = 2; // OPT bit: the LAN module is installed
constexpr int kLanOff = 0;
constexpr int kLanUdp = 1;
constexpr int kLanTcp = 2;
} // namespace

TMachineMenu::TMachineMenu(TForm_OXS &form) : TWindowPage(form) {}

void TMachineMenu::Bind() {
    connect(Form.MenuAboutMachine, &QAction::triggered, this, &TMachineMenu::MenuAboutMachineClick);
    connect(Form.MenuMachineLANSetup, &QAction::triggered, this, &TMachineMenu::MenuMachineLANSetupClick);

    bindEvent(Orlan_d.OnVERIchange, &TMachineMenu::Orlan_dVERIchange);
    bindEvent(Orlan_d.OnVERKchange, &TMachineMenu::Orlan_dVERKchange);
    bindEvent(Orlan_d.OnVERSchange, &TMachineMenu::Orlan_dVERSchange);
    bindEvent(Orlan_d.OnVERVchange, &TMachineMenu::Orlan_dVERVchange);
    bindEvent(Orlan_d.OnVERUPDchange, &TMachineMenu::Orlan_dVERUPDchange);
    bindEvent(Orlan_d.OnOPTchange, &TMachineMenu::Orlan_dOPTchange);
    bindEvent(Orlan_d.OnSTBTIMEchange, &TMachineMenu::Orlan_dSTBTIMEchange);
}

void TMachineMenu::MenuAboutMachineClick() {
    TAbout_OXS *about = Form.About_OXS;
    about->show();
    about->raise();
    about->activateWindow();
}

QString TMachineMenu::UpdateNotice(uint32_t verv) {
    if (verv > kExpectedVERV)
        return QStringLiteral("New %1 Software available, download update recommended !")
            .arg(QLatin1String(OxsVersion::kFileDescription));
    if (verv < kExpectedVERV)
        return QStringLiteral("New %1 Firmware available, download update recommended !")
            .arg(QLatin1String(OxsVersion::kProductName));
    return {};
}

void TMachineMenu::Orlan_dVERIchange(TOrlan_d *, int32_t) {
    Form.About_OXS->label_I->setText(QStringLiteral("I = %1").arg(TAbout_OXS::Hex(Orlan_d.VERI())));
}

void TMachineMenu::Orlan_dVERKchange(TOrlan_d *, int32_t) {
    Form.About_OXS->label_k->setText(QStringLiteral("K = %1").arg(TAbout_OXS::Hex(Orlan_d.VERK())));
}

void TMachineMenu::Orlan_dVERSchange(TOrlan_d *, int32_t) {
    Form.About_OXS->label_s->setText(QStringLiteral("S = %1").arg(TAbout_OXS::Hex(Orlan_d.VERS())));
}

// Every report of a VERV other than the expected one shows the notice again for its full time.
void TMachineMenu::Orlan_dVERVchange(TOrlan_d *, int32_t) {
    const QString notice = UpdateNotice(Orlan_d.VERV());
    if (!notice.isEmpty()) Form.ShowUpdateNotice(notice);
    Form.About_OXS->label_v->setText(QStringLiteral("V = %1").arg(TAbout_OXS::Hex(Orlan_d.VERV())));
}

void TMachineMenu::Orlan_dVERUPDchange(TOrlan_d *, int32_t) {
    const uint32_t version = Orlan_d.VERUPD();
    Form.About_OXS->label_verupd->setText(
        QStringLiteral("Version %1.%2").arg(version / 100).arg(version % 100));
}

void TMachineMenu::Orlan_dOPTchange(TOrlan_d *, int32_t) {
    const uint32_t options = Orlan_d.OPT();
    Form.About_OXS->label_opt->setText(QStringLiteral("O = %1").arg(TAbout_OXS::Hex(options)));
    Form.About_OXS->Label_Lan->setText((options & kOptLan) ? QStringLiteral("LAN = Installed")
                                                           : QStringLiteral("LAN = Not installed"));
}

void TMachineMenu::Orlan_dSTBTIMEchange(TOrlan_d *, int32_t) {
    Form.Form_Standby->ShowStandbyTime(Orlan_d.STBTIME());
}

void TMachineMenu::SendLanSettings(TOrlan_d &d, const TLanSettings &s) {
    if (s.mode != kLanUdp && s.mode != kLanTcp) {
        d.SetLANENABLE(false);
        return;
    }
    d.SetTCPIP(s.mode == kLanTcp);
    d.SetLOCAL_IP(TextNumbers::PlainAddress(s.localAddress));
    d.SetREMOTE_IP(TextNumbers::PlainAddress(s.remoteAddress));
    d.SetGATEWAY_IP(TextNumbers::PlainAddress(s.gateway));
    d.SetLOCAL_PORT(s.localPort);
    d.SetREMOTE_PORT(s.remotePort);
    d.SetNETMASK(TextNumbers::PlainAddress(s.netmask));
    d.SetLANSTORE(true);
    d.SetLANENABLE(true);
}

// The dialog shows the scaler's values again on every opening; leaving it by Exit sends nothing.
void TMachineMenu::MenuMachineLANSetupClick() {
    TRs232LanDlg &dialog = *Form.Rs232LanDlg;
    dialog.SetMode(!Orlan_d.LANENABLE() ? kLanOff : Orlan_d.TCPIP() ? kLanTcp : kLanUdp);
    dialog.SetLocalAddress(Orlan_d.LOCAL_IP());
    dialog.SetRemoteAddress(Orlan_d.REMOTE_IP());
    dialog.SetGateway(Orlan_d.GATEWAY_IP());
    dialog.SetLocalPort(Orlan_d.LOCAL_PORT());
    dialog.SetRemotePort(Orlan_d.REMOTE_PORT());
    dialog.SetNetmask(Orlan_d.NETMASK());
    Form.RunModal(dialog);
    if (dialog.Result()) SendLanSettings(Orlan_d, dialog.Settings());
}
