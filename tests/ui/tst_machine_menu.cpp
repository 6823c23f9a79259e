// The settings dialogs and the About box against the simulated scaler: the program's own link chosen
// through "LAN/Setup", what "OXS LAN Setup" sends in each mode, the version notices and labels, and the
// standby and black delay round trips.
#include "ModelPictures.h"
#include "SimWindowFixture.h"
#include "Unit_About_OXS.h"
#include "Unit_Standby.h"
#include "Unit_Sync_Time.h"
#include "ipconfig.h"
#include "rs232lansetup.h"

#include <QScrollBar>

using namespace OrlanVars;

namespace {
// Answers a modal dialog of type D: shows it, lets `act` work it, and closes it by the close box if it
// is still open.
template <class D> std::function<void(QDialog &)> answer(std::function<void(D &)> act) {
    return [act](QDialog &dialog) {
        D &d = static_cast<D &>(dialog);
        d.show();
        act(d);
        if (d.isVisible()) d.close();
    };
}

// The commands that write one LAN address slot.
QStringList addressCommands(int slot, const QList<int> &octets) {
    QStringList commands{QString::number(slot) + "na"};
    const char *mnemonics[] = {"nw", "nx", "ny", "nz"};
    for (int i = 0; i < 4; ++i)
        commands << QString::number(octets[i]) + mnemonics[i];
    return commands;
}
} // namespace

class TestMachineMenu : public QObject {
    Q_OBJECT
  private slots:
    void programLinkChosenThroughTheDialog();
    void lanSetupSendsWhatEachModeNeeds();
    void lanSetupRefusesWhatTheScalerWouldDrop();
    void versionNoticesAndLabels();
    void standbyAndBlackDelayRoundTrips();
    void aboutBoxPictureFollowsTheModel();
};

void TestMachineMenu::programLinkChosenThroughTheDialog() {
    WindowFixture w;
    OxsSim::ScalerSimulator sim(33);
    const quint16 tcp = sim.startTcp(0);
    const quint16 udp = sim.startUdp(0);
    QVERIFY(tcp && udp);
    qputenv("OXS_COM1", "/nonexistent/serial-port");
    w.write("OXS remote control.ini", "[CONNEXION]\r\nPort=0\r\nIP_ENABLE=0\r\n");
    w.form = std::make_unique<TForm_OXS>(w.dir->path());
    TForm_OXS &f = *w.form;
    f.Orlan_d->SetLinkPacing(TLinkPacing::Fast());
    f.InitMainWindow();
    QCOMPARE(f.StatusPanelText(1), QString("Port : ")); // COM1 leads nowhere

    // From the serial link the dialog opens on TCP; leaving by the close box changes nothing.
    f.RunModal = answer<TIPConfigDlg>([](TIPConfigDlg &d) {
        QVERIFY(d.RBTcp->isChecked());
        QVERIFY(!d.ELocalPort->isEnabled());
        QCOMPARE(d.ERemoteAddr->text(), QString("192.168.0.10"));
        QTest::mouseClick(d.RBUdp, Qt::LeftButton);
    });
    f.MenuMIPConfig->trigger();
    QCOMPARE(f.Orlan_d->ConType(), CON_RS232);
    QCOMPARE(f.TickedSerialEntry(), 1);

    // A refused address applies nothing either.
    f.RunModal = answer<TIPConfigDlg>([](TIPConfigDlg &d) {
        d.ERemoteAddr->setText("127.0.0.256");
        QTest::mouseClick(d.BOk, Qt::LeftButton);
    });
    f.MenuMIPConfig->trigger();
    QCOMPARE(w.prompts->messages().last(), QString("Remote IP address not Valid"));
    QCOMPARE(f.Orlan_d->ConType(), CON_RS232);
    QCOMPARE(f.Orlan_d->IpRemoteAddress(), QString("192.168.0.10"));

    // TCP: Apply switches the link, ticks LAN/Setup, and the scaler is found.
    f.RunModal = answer<TIPConfigDlg>([tcp](TIPConfigDlg &d) {
        d.ERemoteAddr->setText("127.0.0.1");
        d.ERemotePort->setText(QString::number(tcp));
        QTest::mouseClick(d.BOk, Qt::LeftButton);
    });
    f.MenuMIPConfig->trigger();
    QCOMPARE(f.Orlan_d->ConType(), CON_TCP);
    QCOMPARE(f.TickedSerialEntry(), 17);
    QCOMPARE(f.StatusPanelText(1), QString("TCP (127.0.0.1:%1)").arg(tcp));
    QTRY_VERIFY_WITH_TIMEOUT(f.Orlan_d->Ready(), 5000);
    QCOMPARE(f.Orlan_d->DEV(), 33u);

    // UDP from a local port of the system's choice.
    f.RunModal = answer<TIPConfigDlg>([udp](TIPConfigDlg &d) {
        QVERIFY(d.RBTcp->isChecked());
        QTest::mouseClick(d.RBUdp, Qt::LeftButton);
        d.ELocalPort->setText("0");
        d.ERemotePort->setText(QString::number(udp));
        QTest::mouseClick(d.BOk, Qt::LeftButton);
    });
    sim.clearCommandLog();
    f.MenuMIPConfig->trigger();
    QCOMPARE(f.Orlan_d->ConType(), CON_UDP);
    QCOMPARE(f.StatusPanelText(1), QString("UDP (127.0.0.1:%1)").arg(udp));
    // The TCP connection is gone, so the scaler is found again over UDP.
    QVERIFY(!f.Orlan_d->Link(CON_TCP).IsActive());
    QTRY_VERIFY_WITH_TIMEOUT(sim.commandLog().contains("#"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(f.Orlan_d->Ready(), 5000);
    QCOMPARE(f.Orlan_d->DEV(), 33u);
    QCOMPARE(f.TickedSerialEntry(), 17);
    f.close();
    QVERIFY(w.read("OXS remote control.ini")
                .endsWith("REMOTE_PORT_ENTRY=" + QByteArray::number(udp) +
                          "\r\nLOCAL_PORT_ENTRY=0\r\nIP_ENABLE=1\r\n"));
}

void TestMachineMenu::lanSetupSendsWhatEachModeNeeds() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    QVERIFY(w.MenuMachineLANSetup->isVisible());
    const QStringList storeAndEnable{"8nk", "1ns", "1ne"};

    // The scaler's module runs TCP: its remote fields are shown but disabled, and sent unchanged.
    w.RunModal = answer<TRs232LanDlg>([](TRs232LanDlg &d) {
        QVERIFY(d.RBTcp->isChecked());
        QCOMPARE(d.ELocalAddr->text(), QString("192.168.0.10"));
        QCOMPARE(d.ERemoteAddr->text(), QString("192.168.0.1"));
        QCOMPARE(d.EGatewayAddr->text(), QString("192.168.0.254"));
        QCOMPARE(d.ENetMask->text(), QString("255.255.255.0"));
        QVERIFY(!d.ERemoteAddr->isEnabled() && !d.ERemotePort->isEnabled());
        d.ELocalAddr->setText("192.168.000.020"); // leading zeros: the octets go out plainly
        d.ELocalPort->setText("10100");
        QTest::mouseClick(d.BOk, Qt::LeftButton);
    });
    w.MenuMachineLANSetup->trigger();
    const QStringList tcp = QStringList{"1nt"} + addressCommands(1, {192, 168, 0, 20}) +
                            addressCommands(2, {192, 168, 0, 1}) + addressCommands(3, {192, 168, 0, 254}) +
                            QStringList{"1na", "10100np", "2na", "10500np"} + storeAndEnable;
    QCOMPARE(f.awaitCommands(tcp.size()), tcp);
    QTRY_COMPARE(f.driver().LOCAL_IP(), QString("192.168.0.20"));

    // UDP opens every field.
    w.RunModal = answer<TRs232LanDlg>([](TRs232LanDlg &d) {
        QCOMPARE(d.ELocalAddr->text(), QString("192.168.0.20"));
        QTest::mouseClick(d.RBUdp, Qt::LeftButton);
        d.ERemoteAddr->setText("10.0.0.9");
        d.ERemotePort->setText("1000");
        QTest::mouseClick(d.BOk, Qt::LeftButton);
    });
    w.MenuMachineLANSetup->trigger();
    const QStringList udp = QStringList{"0nt"} + addressCommands(1, {192, 168, 0, 20}) +
                            addressCommands(2, {10, 0, 0, 9}) + addressCommands(3, {192, 168, 0, 254}) +
                            QStringList{"1na", "10100np", "2na", "1000np"} + storeAndEnable;
    QCOMPARE(f.awaitCommands(udp.size()), udp);
    QTRY_VERIFY(!f.driver().TCPIP());

    // Exit after editing sends nothing; the next opening shows the scaler's values again.
    w.RunModal = answer<TRs232LanDlg>([](TRs232LanDlg &d) {
        QVERIFY(d.RBUdp->isChecked());
        d.ERemoteAddr->setText("10.9.9.9");
        QTest::mouseClick(d.BCancel, Qt::LeftButton);
    });
    w.MenuMachineLANSetup->trigger();
    QVERIFY(!w.Rs232LanDlg->Result());
    // Serial only: just the module off.
    w.RunModal = answer<TRs232LanDlg>([](TRs232LanDlg &d) {
        QCOMPARE(d.ERemoteAddr->text(), QString("10.0.0.9"));
        QTest::mouseClick(d.RBRs232, Qt::LeftButton);
        QTest::mouseClick(d.BOk, Qt::LeftButton);
    });
    w.MenuMachineLANSetup->trigger();
    QCOMPARE(f.awaitCommands(), QStringList{"0ne"});

    // With the module off the dialog opens on Rs232, every field disabled.
    w.RunModal = answer<TRs232LanDlg>([](TRs232LanDlg &d) {
        QVERIFY(d.RBRs232->isChecked());
        QVERIFY(!d.ELocalAddr->isEnabled() && !d.ENetMask->isEnabled());
    });
    w.MenuMachineLANSetup->trigger();
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
    QVERIFY(f.prompts().asked.isEmpty());
}

// Every field in every malformed form: the dialog names the field and stays open, and the scaler is sent
// nothing at all, so it never stores half the settings.
void TestMachineMenu::lanSetupRefusesWhatTheScalerWouldDrop() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    const QString longText(70000, QLatin1Char('7'));
    struct Case {
        QLineEdit *TRs232LanDlg::*field;
        QString text;
        QString message;
    };
    const QList<Case> cases = {
        {&TRs232LanDlg::ELocalAddr, longText, "Local IP address not Valid"},
        {&TRs232LanDlg::ERemoteAddr, "\u0661.\u0662.\u0663.\u0664", "Remote IP address not Valid"},
        {&TRs232LanDlg::EGatewayAddr, "1.2.3.4.5", "Gateway address not Valid"},
        {&TRs232LanDlg::ELocalPort, "65536", "Choose a Local Port <0-65535>"},
        {&TRs232LanDlg::ELocalPort, "\u00e9", "'\u00e9' is not a valid integer value"},
        {&TRs232LanDlg::ERemotePort, "-5", "Choose a Remote Port <0-65535>"},
        {&TRs232LanDlg::ENetMask, "255.255.0.255", "NetMask not Valid"},
    };
    for (const Case &c : cases) {
        f.prompts().asked.clear();
        bool stayedOpen = false;
        w.RunModal = answer<TRs232LanDlg>([&](TRs232LanDlg &d) {
            QTest::mouseClick(d.RBUdp, Qt::LeftButton);
            (d.*c.field)->setText(c.text);
            QTest::mouseClick(d.BOk, Qt::LeftButton);
            stayedOpen = d.isVisible();
        });
        w.MenuMachineLANSetup->trigger();
        QVERIFY2(stayedOpen, qPrintable(c.message));
        QCOMPARE(f.prompts().messages(), QStringList{c.message});
    }
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

void TestMachineMenu::versionNoticesAndLabels() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    w.Timer1->stop(); // ticked by hand below
    TAbout_OXS &about = *w.About_OXS;
    QCOMPARE(about.Label_version->text(), QString("Version : 1.4.0.3"));
    QCOMPARE(about.Label_D->text(), QString("D = 0021"));
    QCOMPARE(about.label_I->text(), QString("I = 0102"));
    QCOMPARE(about.label_k->text(), QString("K = 0104"));
    QCOMPARE(about.label_s->text(), QString("S = 0211"));
    QCOMPARE(about.label_v->text(), QString("V = 0008"));
    QCOMPARE(about.label_verupd->text(), QString("Version 1.23"));
    QCOMPARE(about.label_opt->text(), QString("O = 0002"));
    QCOMPARE(about.Label_Lan->text(), QString("LAN = Installed"));
    QVERIFY(!w.PnlUpdater->isVisible()); // the expected VERV shows no notice
    w.show();

    f.sim.setReported(VAR_VERV, 9);
    QTRY_VERIFY(w.PnlUpdater->isVisible());
    QCOMPARE(w.LblUpdater->text(),
             QString("New Remote control Software available, download update recommended !"));
    QCOMPARE(about.label_v->text(), QString("V = 0009"));
    for (int tick = 1; tick <= 14; ++tick)
        w.Timer1Timer();
    QVERIFY(w.PnlUpdater->isVisible());
    w.Timer1Timer(); // the 15th
    QVERIFY(!w.PnlUpdater->isVisible());

    // A second report restarts the countdown.
    f.sim.setReported(VAR_VERV, 7);
    QTRY_VERIFY(w.PnlUpdater->isVisible());
    QCOMPARE(w.LblUpdater->text(), QString("New OXS Firmware available, download update recommended !"));
    for (int tick = 1; tick <= 10; ++tick)
        w.Timer1Timer();
    QCOMPARE(w.UpdaterCountdown(), 4);
    f.sim.setReported(VAR_VERV, 7);
    QTRY_COMPARE(w.UpdaterCountdown(), 14);
    QTest::mouseClick(w.BtnOkUpdater, Qt::LeftButton);
    QVERIFY(!w.PnlUpdater->isVisible());
    QCOMPARE(w.UpdaterCountdown(), 0);
    f.sim.setReported(VAR_VERV, 8);
    QTRY_COMPARE(about.label_v->text(), QString("V = 0008"));
    QVERIFY(!w.PnlUpdater->isVisible());

    f.sim.setReported(VAR_VERUPD, 105);
    QTRY_COMPARE(about.label_verupd->text(), QString("Version 1.5"));
    f.sim.setReported(VAR_OPT, 1);
    QTRY_COMPARE(about.label_opt->text(), QString("O = 0001"));
    QCOMPARE(about.Label_Lan->text(), QString("LAN = Not installed"));
    f.sim.setReported(VAR_OPT, 3);
    QTRY_COMPARE(about.Label_Lan->text(), QString("LAN = Installed"));
    QVERIFY(w.MenuMachineLANSetup->isVisible()); // the option bit does not touch the menu
    QCOMPARE(f.takeCommands(), QStringList());
}

void TestMachineMenu::standbyAndBlackDelayRoundTrips() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // Standby: a click on the right arrow sends the step and its end; the reply shows in the label.
    TForm_Standby &standby = *w.Form_Standby;
    w.MenuStandbyTimer->trigger();
    QVERIFY(standby.isVisible() && !standby.isModal());
    QCOMPARE(standby.Label_STANDBY->text(), QString("Off"));
    QTest::mouseClick(standby.ScrollBar1, Qt::LeftButton, {},
                      QPoint(standby.ScrollBar1->width() - 4, standby.ScrollBar1->height() / 2));
    QCOMPARE(f.awaitCommands(2), (QStringList{"1sT", "1sT"}));
    QTRY_COMPARE(standby.Label_STANDBY->text(), QString("0H:1Min"));
    f.sim.setReported(VAR_STBTIME, 90);
    QTRY_COMPARE(standby.Label_STANDBY->text(), QString("1H:30Min"));
    QCOMPARE(standby.ScrollBar1->value(), 90);

    // Black delay: opened inside the main window, its edit box filled from the scaler.
    TForm_Sync_Time &delay = *w.Form_Sync_Time;
    QCOMPARE(delay.parentWidget(), w.ClientArea);
    QCursor::setPos(w.ClientArea->mapToGlobal(QPoint(300, 200)));
    w.MenuBlackDelayVar->trigger();
    QVERIFY(delay.isVisible());
    QVERIFY(w.ClientArea->rect().contains(delay.geometry()));
    QCOMPARE(delay.Edit_Sync_Time->height(), 25);
    QCOMPARE(delay.Edit_Sync_Time->text(), QString("1"));
    auto enter = [&](const QString &text) {
        delay.Edit_Sync_Time->setText(text);
        QTest::keyClick(delay.Edit_Sync_Time, Qt::Key_Return);
    };
    enter("30");
    QCOMPARE(f.awaitCommands(), QStringList{"30oT"});
    QTRY_COMPARE(f.driver().OSYNCTIME(), 30u);
    QCOMPARE(delay.Edit_Sync_Time->text(), QString("30"));
    enter("31");
    QCOMPARE(f.awaitCommands(), QStringList{"30oT"});
    enter("-1");
    QCOMPARE(f.awaitCommands(), QStringList{"30oT"});
    enter("\uff13\uff10"); // full-width digits
    enter(QString(500, QLatin1Char('9')));
    delay.Edit_Sync_Time->setText("12");
    QTest::keyClick(delay.Edit_Sync_Time, Qt::Key_Tab); // only Enter sends
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
    QCOMPARE(f.prompts().messages().size(), 2);
    QCOMPARE(f.prompts().asked[0].icon, Prompts::Icon::Error);

    // The scroll bar keeps the operator's position (15 at first); a click sends and closes.
    QCOMPARE(delay.ScrollBar_Sync_Time->value(), 15);
    QTest::mouseClick(delay.ScrollBar_Sync_Time, Qt::LeftButton, {},
                      QPoint(4, delay.ScrollBar_Sync_Time->height() / 2));
    QCOMPARE(f.awaitCommands(2), (QStringList{"14oT", "14oT"}));
    QVERIFY(!delay.isVisible());
}

void TestMachineMenu::aboutBoxPictureFollowsTheModel() {
    WindowFixture w;
    w.start();
    TForm_OXS &f = *w.form;
    f.Timer1->stop();
    TAbout_OXS &about = *f.About_OXS;
    f.MenuAboutMachine->trigger();
    QVERIFY(about.isVisible() && !about.isModal());
    // No scaler: every tick shows the next model.
    const int first = about.PictureIndex();
    f.Timer1Timer();
    QCOMPARE(about.PictureIndex(), (first + 1) % 3);
    w.feed("DEV40\r\n");
    QCOMPARE(about.PictureIndex(), 2);
    QCOMPARE(about.Label_D->text(), QString("D = 0028"));
    f.Timer1Timer();
    QCOMPARE(about.PictureIndex(), 2);
    QCOMPARE(about.Image->pixmap().toImage(), ModelPictures::Picture(2).toImage());
    w.feed("DEV32\r\n");
    QCOMPARE(about.PictureIndex(), 0);
    QTest::mouseClick(about.BtnOk, Qt::LeftButton);
    QVERIFY(!about.isVisible());
}

QTEST_MAIN(TestMachineMenu)
#include "tst_machine_menu.moc"
