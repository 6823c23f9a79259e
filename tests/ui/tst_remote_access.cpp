// The "Remote access" window on its own: what Apply hands back, what it refuses and why, the token button.
#include "Prompts.h"
#include "RemoteAccess.h"

#include <QTest>

using OxsRemote::RemoteSettings;

class TestRemoteAccess : public QObject {
    Q_OBJECT

    RecordingPrompts *m_prompts = nullptr;
    std::unique_ptr<TRemoteAccessDlg> m_dlg;
    QList<RemoteSettings> m_applied;

    void fill(const QString &address, const QString &port, const QString &token, const QString &senders) {
        m_dlg->EAddress->setText(address);
        m_dlg->EPort->setText(port);
        m_dlg->EToken->setText(token);
        m_dlg->EOscSenders->setText(senders);
    }

  private slots:
    void init() {
        m_prompts = new RecordingPrompts;
        Prompts::install(std::unique_ptr<Prompts>(m_prompts));
        m_dlg = std::make_unique<TRemoteAccessDlg>();
        m_applied.clear();
        connect(m_dlg.get(), &TRemoteAccessDlg::applied, this,
                [this](const RemoteSettings &s) { m_applied << s; });
    }
    void cleanup() {
        m_dlg.reset();
        Prompts::install(nullptr);
    }

    void editsReachApplied();
    void invalidSettingsAreRefused_data();
    void invalidSettingsAreRefused();
    void newTokenAndStatus();
};

void TestRemoteAccess::editsReachApplied() {
    RemoteSettings start;
    start.token = QStringLiteral("0123456789abcdef0123");
    m_dlg->SetSettings(start);
    QCOMPARE(m_dlg->EWebAddress->text(), QStringLiteral("http://127.0.0.1:10600/"));

    m_dlg->ChkEnabled->setChecked(true);
    fill(" 192.168.1.7 ", " 10700", start.token, " 10.0.0.5 , ,10.0.0.6,");
    QCOMPARE(m_dlg->EWebAddress->text(), QStringLiteral("http://192.168.1.7:10700/?token=") + start.token);
    QTest::mouseClick(m_dlg->BtnApply, Qt::LeftButton);
    QCOMPARE(m_prompts->asked.size(), 0);
    QCOMPARE(m_applied.size(), 1);
    const RemoteSettings &s = m_applied[0];
    QVERIFY(s.enabled);
    QCOMPARE(s.address, QStringLiteral("192.168.1.7"));
    QCOMPARE(s.port, quint16(10700));
    QCOMPARE(s.token, start.token);
    QCOMPARE(s.oscSenders, QStringList({"10.0.0.5", "10.0.0.6"}));

    // Turning it off is an edit like any other; IPv6 loopback needs no token.
    m_dlg->ChkEnabled->setChecked(false);
    fill("::1", "1", "", "");
    QCOMPARE(m_dlg->EWebAddress->text(), QStringLiteral("http://[::1]:1/"));
    QTest::mouseClick(m_dlg->BtnApply, Qt::LeftButton);
    QCOMPARE(m_applied.size(), 2);
    QVERIFY(!m_applied[1].enabled);
    QVERIFY(m_applied[1].oscSenders.isEmpty());
}

void TestRemoteAccess::invalidSettingsAreRefused_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("senders");
    QTest::addColumn<QString>("reason"); // the start of the warning
    auto row = [](const char *name, const char *address, const char *port, const char *token,
                  const char *senders, const char *reason) {
        QTest::newRow(name) << address << port << token << senders << reason;
    };
    const char *token = "0123456789abcdef";
    const char *badPort = "The port must be a number from 1 to 65535";
    const char *shortToken = "The access token needs at least 16 characters";
    row("not an address", "10.0.0.300", "10600", token, "", "'10.0.0.300' is not an address");
    row("host name", "localhost", "10600", token, "", "'localhost' is not an address");
    row("port 0", "127.0.0.1", "0", token, "", badPort);
    row("port 65536", "127.0.0.1", "65536", token, "", badPort);
    row("port with letters", "127.0.0.1", "10a", token, "", badPort);
    row("no token off loopback", "0.0.0.0", "10600", "", "", shortToken);
    row("short token", "10.1.1.1", "10600", "0123456789abcde", "", shortToken);
    row("token with a blank", "10.1.1.1", "10600", "0123456789 abcdef", "",
        "The access token may hold only printable characters");
    row("bad OSC sender", "127.0.0.1", "10600", "", "10.0.0.5, mixer",
        "OSC sender 'mixer' is not an address");
}

void TestRemoteAccess::invalidSettingsAreRefused() {
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, token);
    QFETCH(QString, senders);
    QFETCH(QString, reason);
    m_dlg->ChkEnabled->setChecked(true);
    fill(address, port, token, senders);
    QTest::mouseClick(m_dlg->BtnApply, Qt::LeftButton);
    QCOMPARE(m_applied.size(), 0);
    QCOMPARE(m_prompts->asked.size(), 1);
    QCOMPARE(m_prompts->asked[0].icon, Prompts::Icon::Warning);
    QVERIFY2(m_prompts->asked[0].text.startsWith(reason), qPrintable(m_prompts->asked[0].text));
    // The edits keep what the operator typed, to be mended.
    QCOMPARE(m_dlg->EAddress->text(), address);
    QCOMPARE(m_dlg->EPort->text(), port);
}

void TestRemoteAccess::newTokenAndStatus() {
    m_dlg->show();
    const QString before = m_dlg->EToken->text();
    QTest::mouseClick(m_dlg->BtnNewToken, Qt::LeftButton);
    const QString token = m_dlg->EToken->text();
    QVERIFY(token != before);
    QCOMPARE(m_applied.size(), 0); // a new token is an edit, applied only with Apply
    fill("0.0.0.0", "10600", token, "");
    QCOMPARE(m_dlg->EWebAddress->text(),
             QStringLiteral("http://(this computer's address):10600/?token=") + token);

    // The status line shows the server's text as it is, markup included.
    m_dlg->setStatus(QStringLiteral("<b>Listening</b> on 0.0.0.0:10600"));
    QCOMPARE(m_dlg->LblStatus->text(), QStringLiteral("<b>Listening</b> on 0.0.0.0:10600"));

    QTest::mouseClick(m_dlg->BtnClose, Qt::LeftButton);
    QVERIFY(!m_dlg->isVisible());
    QCOMPARE(m_applied.size(), 0);
}

QTEST_MAIN(TestRemoteAccess)
#include "tst_remote_access.moc"
