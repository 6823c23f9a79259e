// The settings dialogs and the about box on their own: the checks of Apply, the fields each mode opens, and
// what a dialog hands back when the operator leaves it.
#include "ModelPictures.h"
#include "Orlan_d.h"
#include "Prompts.h"
#include "Unit_About_OXS.h"
#include "Unit_Standby.h"
#include "ipconfig.h"
#include "rs232lansetup.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>

class TestDialogs : public QObject {
    Q_OBJECT

    RecordingPrompts *m_prompts = nullptr;

    static QString longText() { return QString(100000, QLatin1Char('9')); }

  private slots:
    void init() {
        m_prompts = new RecordingPrompts;
        Prompts::install(std::unique_ptr<Prompts>(m_prompts));
    }
    void cleanup() { Prompts::install(nullptr); }

    void connectionChecks_data();
    void connectionChecks();
    void connectionDialog();
    void lanChecks_data();
    void lanChecks();
    void lanFieldsPerMode();
    void lanTcpWithoutRemoteReported();
    void modeFollowsTheButtonsState();
    void standbyTextAndDragGuard();
    void aboutBox();
};

void TestDialogs::connectionChecks_data() {
    QTest::addColumn<QString>("localPort");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("remotePort");
    QTest::addColumn<QString>("warning");
    auto row = [](const char *name, const QString &local, const QString &address, const QString &remote,
                  const QString &warning) { QTest::newRow(name) << local << address << remote << warning; };
    const QString local = "Choose a Local Port <0-65535>";
    const QString remote = "Choose a Remote Port <0-65535>";
    const QString address = "Remote IP address not Valid";
    row("accepted", "10500", "10.0.0.1", "10500", "");
    row("ports 0 and 65535", "0", "10.0.0.1", "65535", "");
    row("leading zeros", "10500", "010.000.000.001", "10500", "");
    row("many leading zeros", "0", QString(5000, '0') + "1.0.0.1", "1", "");
    row("local 65536", "65536", "10.0.0.1", "10500", local);
    row("local -1", "-1", "10.0.0.1", "10500", local);
    row("local empty", "", "10.0.0.1", "10500", local);
    row("local 10a", "10a", "10.0.0.1", "10500", local);
    row("local with a blank", " 80", "10.0.0.1", "10500", local);
    row("local far too long", longText(), "10.0.0.1", "10500", local);
    row("local Arabic-Indic digits", "\u0661\u0660", "10.0.0.1", "10500", local);
    row("local checked first", "65536", "10.0.0", "x", local);
    row("remote 70000", "0", "10.0.0.1", "70000", remote);
    row("remote before address", "0", "bad", "", remote);
    row("256", "0", "192.168.0.256", "1", address);
    row("two dots", "0", "10.0.0", "1", address);
    row("a fifth number after a fourth dot", "0", "10.0.0.1.5", "1", address);
    row("empty part", "0", "10..0.1", "1", address);
    row("empty", "0", "", "1", address);
    row("sign", "0", "+10.0.0.1", "1", address);
    row("blank", "0", "10.0.0.1 ", "1", address);
    row("host name", "0", "localhost", "1", address);
    row("full-width digits", "0", "\uff11\uff10.0.0.1", "1", address);
    row("very long part", "0", "10.0.0." + longText(), "1", address);
}

void TestDialogs::connectionChecks() {
    QFETCH(QString, localPort);
    QFETCH(QString, address);
    QFETCH(QString, remotePort);
    QFETCH(QString, warning);
    QCOMPARE(CheckIPConfig({localPort, address, remotePort}).warning, warning);
}

void TestDialogs::connectionDialog() {
    TIPConfigDlg dialog;
    // From a serial link: TCP with the local port disabled.
    dialog.SetSettings({0, "10.1.2.3", 2000, 3000});
    dialog.show();
    QCOMPARE(dialog.Mode(), 2);
    QVERIFY(dialog.RBTcp->isChecked());
    QVERIFY(!dialog.ELocalPort->isEnabled());
    QVERIFY(dialog.ERemoteAddr->isEnabled() && dialog.ERemotePort->isEnabled());
    QCOMPARE(dialog.ELocalPort->text(), QString("3000"));
    QTest::mouseClick(dialog.RBUdp, Qt::LeftButton);
    QCOMPARE(dialog.Mode(), 1);
    QVERIFY(dialog.ELocalPort->isEnabled());

    // A failed Apply keeps the dialog open; the local port already taken is rewritten plainly.
    dialog.ELocalPort->setText("00080");
    dialog.ERemoteAddr->setText("10.0.0");
    QTest::mouseClick(dialog.BOk, Qt::LeftButton);
    QVERIFY(dialog.isVisible() && !dialog.Result());
    QCOMPARE(m_prompts->messages(), QStringList{"Remote IP address not Valid"});
    QCOMPARE(m_prompts->asked[0].icon, Prompts::Icon::Warning);
    QCOMPARE(dialog.ELocalPort->text(), QString("80"));
    QCOMPARE(dialog.Settings().remoteAddress, QString("10.1.2.3"));

    // The address is kept as typed.
    dialog.ERemoteAddr->setText("010.000.000.001");
    dialog.ERemotePort->setText("+0443");
    QTest::mouseClick(dialog.BOk, Qt::LeftButton);
    QVERIFY(!dialog.isVisible() && dialog.Result());
    const TIPConfigSettings s = dialog.Settings();
    QCOMPARE(s.mode, 1);
    QCOMPARE(s.remoteAddress, QString("010.000.000.001"));
    QCOMPARE(s.remotePort, 443);
    QCOMPARE(s.localPort, 80);

    // Showing again clears the result; Cancel leaves it false.
    dialog.show();
    QVERIFY(!dialog.Result());
    QTest::mouseClick(dialog.BCancel, Qt::LeftButton);
    QVERIFY(!dialog.isVisible() && !dialog.Result());
}

void TestDialogs::lanChecks_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("error");
    auto row = [](const char *name, int mode, int field, const QString &text, const QString &message,
                  bool error = false) { QTest::newRow(name) << mode << field << text << message << error; };
    row("all good", 1, 3, "10100", "");
    row("10a is an error where the port is open", 2, 3, "10a", "'10a' is not a valid integer value", true);
    row("remote port 1e3 in UDP", 1, 4, "1e3", "'1e3' is not a valid integer value", true);
    row("serial mode reads no port", 0, 3, "10a", "");
    row("long port quoted short", 1, 3, QString(300, 'x'),
        "'" + QString(40, 'x') + QChar(0x2026) + "' is not a valid integer value", true);
    row("serial mode sends no address", 0, 0, "nonsense", "");
    row("serial mode sends no port", 0, 4, "70000", "");
    row("local address", 1, 0, "192.168.0.300", "Local IP address not Valid");
    row("remote address in UDP", 1, 1, "", "Remote IP address not Valid");
    // TCP disables the two remote fields: they pass whatever they hold.
    row("remote address, disabled in TCP", 2, 1, "", "");
    row("remote port, disabled in TCP", 2, 4, "1e3", "");
    row("remote port range, disabled in TCP", 2, 4, "70000", "");
    row("gateway", 1, 2, "1.2.3", "Gateway address not Valid");
    row("local port range", 2, 3, "65536", "Choose a Local Port <0-65535>");
    row("remote port negative", 1, 4, "-1", "Choose a Remote Port <0-65535>");
    row("netmask", 1, 5, "255.255.255", "NetMask not Valid");
    row("netmask with a hole", 1, 5, "255.0.255.0", "NetMask not Valid");
    row("netmask all host bits", 1, 5, "0.0.0.0", "");
    row("superscript digit", 1, 2, "192.168.0.\u00b9", "Gateway address not Valid");
    row("huge address", 2, 0, longText(), "Local IP address not Valid");
}

void TestDialogs::lanChecks() {
    QFETCH(int, mode);
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(bool, error);
    TLanTexts texts{"192.168.1.20", "192.168.1.30", "192.168.1.1", "10100", "1000", "255.255.255.0"};
    QString *fields[] = {&texts.localAddress, &texts.remoteAddress, &texts.gateway,
                         &texts.localPort,    &texts.remotePort,    &texts.netmask};
    *fields[field] = text;
    const TLanSettings current;
    const TLanCheck check = CheckLanSettings(texts, mode, current);
    QCOMPARE(check.message, message);
    QCOMPARE(check.invalidInteger, error);
    if (!message.isEmpty()) return;
    QCOMPARE(check.values.gateway, texts.gateway);
    // A malformed text in a field the mode closes never reaches the values: the current one stays.
    if (text == "70000" || text == "1e3") QCOMPARE(check.values.remotePort, current.remotePort);
    if (field == 1 && mode == 2) QCOMPARE(check.values.remoteAddress, current.remoteAddress);
}

// Which of the six edits (local address, local port, gateway, netmask, remote address, remote port) each
// mode's radio button opens.
void TestDialogs::lanFieldsPerMode() {
    TRs232LanDlg dialog;
    auto enabled = [&dialog] {
        QString map;
        for (QLineEdit *e : {dialog.ELocalAddr, dialog.ELocalPort, dialog.EGatewayAddr, dialog.ENetMask,
                             dialog.ERemoteAddr, dialog.ERemotePort})
            map += e->isEnabled() ? 'E' : '-';
        return map;
    };
    dialog.show();
    QVERIFY(dialog.RBRs232->isChecked());
    QCOMPARE(enabled(), QString("------"));
    const QList<std::tuple<QRadioButton *, int, QString>> clicks{
        {dialog.RBTcp, 2, "EEEE--"}, {dialog.RBUdp, 1, "EEEEEE"}, {dialog.RBRs232, 0, "------"}};
    for (const auto &[radio, mode, map] : clicks) {
        QTest::mouseClick(radio, Qt::LeftButton);
        QCOMPARE(dialog.Mode(), mode);
        QCOMPARE(enabled(), map);
    }
    QCOMPARE(dialog.ELocalAddr->palette().color(QPalette::Disabled, QPalette::Base), QColor(212, 208, 200));
}

// A scaler that never reported its module's remote address (as after a reset): the dialog opens with an
// empty remote field, and Tcp + Apply goes through with the remote values unchanged (the driver sends no
// address from an empty text).
void TestDialogs::lanTcpWithoutRemoteReported() {
    TOrlan_d driver;
    driver.SetLinkTimerEnabled(false);
    TRs232LanDlg dialog;
    dialog.SetMode(0); // the module off, nothing reported
    dialog.SetRemoteAddress(driver.REMOTE_IP());
    dialog.SetRemotePort(driver.REMOTE_PORT());
    dialog.show();
    QCOMPARE(dialog.ERemoteAddr->text(), QString());
    QTest::mouseClick(dialog.RBTcp, Qt::LeftButton);
    dialog.ELocalAddr->setText("192.168.0.20");
    QTest::mouseClick(dialog.BOk, Qt::LeftButton);
    QCOMPARE(m_prompts->messages(), QStringList());
    QVERIFY(dialog.Result() && !dialog.isVisible());
    const TLanSettings s = dialog.Settings();
    QCOMPARE(s.mode, 2);
    QCOMPARE(s.localAddress, QString("192.168.0.20"));
    QCOMPARE(s.remoteAddress, QString());
    QCOMPARE(s.remotePort, 0);
}

// Radio buttons ticked other than by a mouse click (here the accessibility Toggle action) set the mode the
// dialog hands back, in both network dialogs.
void TestDialogs::modeFollowsTheButtonsState() {
    auto toggle = [](QWidget *button) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(button);
        QVERIFY(a && a->actionInterface());
        QVERIFY(a->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    TRs232LanDlg lan;
    lan.SetMode(0);
    lan.show();
    toggle(lan.RBUdp);
    QVERIFY(lan.RBUdp->isChecked());
    QCOMPARE(lan.Mode(), 1);
    QVERIFY(lan.ERemoteAddr->isEnabled());
    lan.ERemoteAddr->setText("10.0.0.2");
    QTest::mouseClick(lan.BOk, Qt::LeftButton);
    QVERIFY(lan.Result());
    QCOMPARE(lan.Settings().mode, 1); // the UDP writes, not the module switched off

    TIPConfigDlg link;
    link.SetSettings({2, "10.0.0.1", 10500, 10500});
    link.show();
    toggle(link.RBUdp);
    QCOMPARE(link.Mode(), 1);
    QVERIFY(link.ELocalPort->isEnabled());
    QTest::mouseClick(link.BOk, Qt::LeftButton);
    QVERIFY(link.Result());
    QCOMPARE(link.Settings().mode, 1);
}

void TestDialogs::standbyTextAndDragGuard() {
    QCOMPARE(TForm_Standby::StandbyText(0), QString("Off"));
    QCOMPARE(TForm_Standby::StandbyText(60), QString("1H:0Min"));
    QCOMPARE(TForm_Standby::StandbyText(90), QString("1H:30Min"));
    QCOMPARE(TForm_Standby::StandbyText(255), QString("4H:15Min"));

    TOrlan_d driver; // not connected: the scroll bar's writes go nowhere
    driver.SetLinkTimerEnabled(false);
    TForm_Standby dialog(driver, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.ShowStandbyTime(90);
    QCOMPARE(dialog.ScrollBar1->value(), 90);
    QCOMPARE(dialog.Label_STANDBY->text(), QString("1H:30Min"));
    // While the operator holds the right arrow, replies change the label but not the bar.
    const QPoint rightArrow(dialog.ScrollBar1->width() - 4, dialog.ScrollBar1->height() / 2);
    QTest::mousePress(dialog.ScrollBar1, Qt::LeftButton, {}, rightArrow);
    QCOMPARE(dialog.ScrollBar1->property("Tag").toInt(), 1);
    QCOMPARE(dialog.ScrollBar1->value(), 91);
    dialog.ShowStandbyTime(30);
    QCOMPARE(dialog.Label_STANDBY->text(), QString("0H:30Min"));
    QCOMPARE(dialog.ScrollBar1->value(), 91);
    QTest::mouseRelease(dialog.ScrollBar1, Qt::LeftButton, {}, rightArrow);
    QCOMPARE(dialog.ScrollBar1->property("Tag").toInt(), 0);
    dialog.ShowStandbyTime(255);
    QCOMPARE(dialog.ScrollBar1->value(), 255);
    QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void TestDialogs::aboutBox() {
    QCOMPARE(TAbout_OXS::Hex(32), QString("0020"));
    QCOMPARE(TAbout_OXS::Hex(0xABCDE), QString("ABCDE"));
    TAbout_OXS about;
    QCOMPARE(about.PnlNotice->geometry(), QRect(64, 16, 225, 41));
    // One picture per model, each its own, drawn at 65 x 73; the list wraps.
    QCOMPARE(about.PictureCount(), 3);
    QList<QImage> pictures;
    for (int i = 0; i < 3; ++i) {
        const QImage picture = ModelPictures::Picture(i).toImage();
        QCOMPARE(picture.size(), QSize(65, 73));
        QVERIFY(!pictures.contains(picture));
        pictures << picture;
    }
    about.SelectPicture(2);
    about.NextPicture();
    about.ShowPicture();
    QCOMPARE(about.PictureIndex(), 0);
    QCOMPARE(about.Image->pixmap().toImage(), pictures[0]);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
