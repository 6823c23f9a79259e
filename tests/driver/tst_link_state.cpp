// The link state machine, stepped by hand: every step, timer interval and outside transition.
#include "DriverFixture.h"
#include "Prompts.h"

#include <QLoggingCategory>

#include <QtTest>

class TestLinkState : public QObject {
    Q_OBJECT
  private slots:
    void startsInResetWithThreeSecondTimer();
    void steps_data();
    void steps();
    void fullDetectionPollAndLoss();
    void receivedDataIsTheWatchdog();
    void forcedConnection();
    void keepAliveHold();
    void outsideTransitions();
    void conTypeSwitchesLinks();
    void portWrite();
    void ipProperties();
    void sendErrorInAStepResetsTheLink_data();
    void sendErrorInAStepResetsTheLink();
    void fastPacing();
    void diagnosticsOffUntilAskedFor();
};

void TestLinkState::startsInResetWithThreeSecondTimer() {
    TOrlan_d drv;
    QCOMPARE(drv.LinkState(), LINK_RESET);
    QCOMPARE(drv.LinkTimerInterval(), 3000);
    QVERIFY(!drv.Connected());
    QVERIFY(!drv.Ready());
    QCOMPARE(drv.ConType(), CON_RS232);
    QCOMPARE(drv.ConMode(), MODE_VAR);
    QCOMPARE(drv.IpLocalPort(), 10500);
    QCOMPARE(drv.IpRemotePort(), 10500);
    QCOMPARE(drv.IpRemoteAddress(), QString("192.168.0.10"));
}

void TestLinkState::steps_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("force");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("ready");
    const QStringList none;
    QTest::newRow("reset forced") << int(LINK_RESET) << true << int(MODE_VAR) << int(LINK_CONNECT) << 1
                                  << QByteArray() << none << false << false;
    QTest::newRow("reset") << int(LINK_RESET) << false << int(MODE_VAR) << int(LINK_PROBE) << 2000
                           << QByteArray() << QStringList{"Ready", "Connected", "DEV"} << false << false;
    QTest::newRow("probe") << int(LINK_PROBE) << false << int(MODE_VAR) << int(LINK_PROBE) << 2000
                           << QByteArray("?") << none << false << false;
    QTest::newRow("connect") << int(LINK_CONNECT) << false << int(MODE_VAR) << int(LINK_QUERYALL) << 2000
                             << QByteArray() << QStringList{"Connected"} << true << false;
    QTest::newRow("queryall var") << int(LINK_QUERYALL) << false << int(MODE_VAR) << int(LINK_READY) << 2000
                                  << QByteArray("#\r\n") << none << true << false;
    QTest::newRow("queryall raw") << int(LINK_QUERYALL) << false << int(MODE_RAW) << int(LINK_READY) << 2000
                                  << QByteArray() << none << true << false;
    QTest::newRow("ready") << int(LINK_READY) << false << int(MODE_VAR) << int(LINK_POLL) << 1 << QByteArray()
                           << QStringList{"Ready"} << true << true;
    QTest::newRow("poll") << int(LINK_POLL) << false << int(MODE_VAR) << int(LINK_POLLWAIT) << 2000
                          << QByteArray("?") << none << true << true;
    QTest::newRow("poll forced") << int(LINK_POLL) << true << int(MODE_VAR) << int(LINK_POLLWAIT) << 2000
                                 << QByteArray() << none << true << true;
    QTest::newRow("pollwait") << int(LINK_POLLWAIT) << false << int(MODE_VAR) << int(LINK_RESET) << 1
                              << QByteArray() << none << true << true;
    QTest::newRow("pollwait forced") << int(LINK_POLLWAIT) << true << int(MODE_VAR) << int(LINK_POLL) << 1
                                     << QByteArray() << none << true << true;
}

// Drives a fresh driver into `state` through its own transitions, then runs one step.
void TestLinkState::steps() {
    QFETCH(int, state);
    QFETCH(bool, force);
    QFETCH(int, mode);
    QFETCH(int, next);
    QFETCH(int, interval);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, events);
    QFETCH(bool, connected);
    QFETCH(bool, ready);

    DriverFixture f;
    f.drv->StepLink(); // RESET -> PROBE
    f.drv->SerialReceive("DEV33\r\n");
    while (f.drv->LinkState() != state) {
        if (state == LINK_RESET) {
            f.drv->SetQuorl_s_plug_and_play(true);
            break;
        }
        f.drv->StepLink();
    }
    if (force) {
        // Forcing jumps to CONNECT; walk back round to the wanted state.
        f.drv->SetForceConn(true);
        if (state == LINK_RESET)
            f.drv->SetQuorl_s_plug_and_play(true);
        else
            while (f.drv->LinkState() != state)
                f.drv->StepLink();
    }
    f.drv->SetConMode(static_cast<tConnectionMode>(mode));
    QCOMPARE(int(f.drv->LinkState()), state);
    f.serial().sent.clear();
    f.record(f.drv->OnReady, "Ready");
    f.record(f.drv->OnConnected, "Connected");
    f.record(f.drv->OnDEVchange, "DEV");
    f.drv->StepLink();
    QCOMPARE(int(f.drv->LinkState()), next);
    QCOMPARE(f.drv->LinkTimerInterval(), interval);
    QCOMPARE(f.serial().joined(), sent);
    QCOMPARE(f.events, events);
    QCOMPARE(f.drv->Connected(), connected);
    QCOMPARE(f.drv->Ready(), ready);
}

void TestLinkState::fullDetectionPollAndLoss() {
    DriverFixture f;
    f.drv->StepLink();
    QCOMPARE(f.drv->DEV(), 0u);
    f.drv->SerialReceive("DEV12\r\n"); // wrong model: never connects
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
    f.drv->StepLink();
    QVERIFY(!f.drv->Connected());
    QCOMPARE(f.drv->DEV(), 0u);

    f.drv->StepLink(); // probe
    QCOMPARE(f.serial().sent.last(), QByteArray("?"));
    f.drv->SerialReceive("DEV33\r\n");
    f.drv->StepLink();
    QVERIFY(f.drv->Connected());
    f.drv->StepLink();
    QCOMPARE(f.serial().sent.last(), QByteArray("#\r\n"));
    f.drv->SerialReceive("HP5\r\nVP6\r\n");
    f.drv->StepLink();
    QVERIFY(f.drv->Ready());
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkState(), LINK_POLLWAIT);
    f.drv->SerialReceive("DEV33\r\n"); // answer keeps the link
    QCOMPARE(f.drv->LinkState(), LINK_POLL);
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkState(), LINK_POLLWAIT);

    // Silence: 2 s in POLLWAIT, then the loss takes effect in RESET, each event once.
    f.record(f.drv->OnReady, "Ready");
    f.record(f.drv->OnConnected, "Connected");
    f.record(f.drv->OnDEVchange, "DEV");
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
    QVERIFY(f.drv->Connected());
    f.drv->StepLink();
    QCOMPARE(f.events, (QStringList{"Ready", "Connected", "DEV"}));
    QVERIFY(!f.drv->Connected());
    QVERIFY(!f.drv->Ready());
    QCOMPARE(f.drv->DEV(), 0u);
    QCOMPARE(f.drv->HPOS(), 5u); // values survive the loss
    QCOMPARE(f.drv->LinkState(), LINK_PROBE);
}

void TestLinkState::receivedDataIsTheWatchdog() {
    DriverFixture f;
    f.drv->StepLink();
    f.drv->SerialReceive("DEV33\r\n");
    QCOMPARE(f.drv->LinkTimerInterval(), 1); // CONNECT: the watchdog leaves the timer alone
    f.drv->SerialReceive("garbage");
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    f.drv->StepLink(); // QUERYALL
    f.drv->StepLink(); // READY
    f.drv->StepLink(); // POLL, timer 1 ms
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    f.drv->SerialReceive("x"); // any chunk, even one without a message
    QCOMPARE(f.drv->LinkTimerInterval(), 2000);
    f.drv->SetQuorl_s_plug_and_play(true);
    f.drv->SerialReceive("y");
    QCOMPARE(f.drv->LinkTimerInterval(), 2000);
}

void TestLinkState::forcedConnection() {
    DriverFixture f;
    f.drv->SetForceConn(true);
    QCOMPARE(f.drv->LinkState(), LINK_CONNECT);
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    f.drv->SetForceConn(true); // no change
    for (int i = 0; i < 20; ++i)
        f.drv->StepLink();
    QVERIFY(f.drv->Connected());
    QVERIFY(f.drv->Ready());
    QCOMPARE(f.serial().sent, QByteArrayList{"#\r\n"}); // never "?"
    f.drv->SetForceConn(false);
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    f.drv->StepLink();
    QVERIFY(!f.drv->Connected());
}

// The debug console holds the keep-alive while it sends a command a character at a time: the "?" waits for
// the end of the hold and then goes out at once; no loss is declared for a query never sent; a hold that is
// never released ends by itself and is not renewed by holding again.
void TestLinkState::keepAliveHold() {
    DriverFixture f;
    qint64 now = 100000;
    f.drv->SetClock([&] { return now; });
    f.connect();
    f.drv->StepLink(); // QUERYALL
    f.drv->StepLink(); // READY
    f.drv->StepLink(); // POLL: "?"
    f.drv->SerialReceive("DEV33\r\n");
    QCOMPARE(f.drv->LinkState(), LINK_POLL);
    f.serial().sent.clear();

    // "100H" at 810 ms a character: the keep-alive falls due after the second one.
    f.drv->HoldKeepAlive(true);
    QVERIFY(f.drv->KeepAliveHeld());
    now += 2000;
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkState(), LINK_POLL);
    QCOMPARE(f.drv->LinkTimerInterval(), 3000); // at the latest when the hold runs out
    for (int i = 0; i < 3; ++i) {
        now += 400;
        f.drv->HoldKeepAlive(true); // holding again changes nothing
        f.drv->StepLink();
    }
    QCOMPARE(f.drv->LinkState(), LINK_POLL);
    QVERIFY(f.drv->Connected());
    QVERIFY(f.serial().sent.isEmpty());
    f.drv->HoldKeepAlive(false);
    QVERIFY(!f.drv->KeepAliveHeld());
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    f.drv->StepLink();
    QCOMPARE(f.serial().sent, QByteArrayList{"?"});
    QCOMPARE(f.drv->LinkState(), LINK_POLLWAIT);
    f.drv->HoldKeepAlive(false); // nothing held, nothing kept back: the timer is left alone
    QCOMPARE(f.drv->LinkTimerInterval(), 2000);

    // A "?" already sent is still awaited during a hold: its missing answer is a loss.
    f.drv->HoldKeepAlive(true);
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
    f.drv->HoldKeepAlive(false);
    f.drv->StepLink();
    QVERIFY(!f.drv->Connected());

    // A console that never lets go: the "?" goes out when the hold has lasted kKeepAliveHoldMaxMs, and a
    // lost scaler is declared 2 s later.
    f.connect();
    f.drv->StepLink();
    f.drv->StepLink();
    f.drv->StepLink(); // POLL: "?"
    f.drv->SerialReceive("DEV33\r\n");
    f.serial().sent.clear();
    f.drv->HoldKeepAlive(true);
    now += 4000;
    f.drv->SerialReceive("HP1\r\n"); // replies keep coming: the usual 2 s after the last
    QCOMPARE(f.drv->LinkTimerInterval(), 2000);
    now += 2000;
    QVERIFY(!f.drv->KeepAliveHeld());
    f.drv->StepLink();
    QCOMPARE(f.serial().sent, QByteArrayList{"?"});
    now += 2000;
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkState(), LINK_RESET);

    // The deadline is the hold's own: a "?" that falls due late in the hold waits only for what is left,
    // and a new hold after it ran out sends the query kept back first.
    f.drv->StepLink();
    f.connect();
    f.drv->StepLink();
    f.drv->StepLink();
    f.drv->StepLink();
    f.drv->SerialReceive("DEV33\r\n");
    f.serial().sent.clear();
    f.drv->HoldKeepAlive(false);
    f.drv->HoldKeepAlive(true);
    now += 4500;
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkTimerInterval(), 500);
    now += 600;
    f.drv->HoldKeepAlive(true);
    QCOMPARE(f.serial().sent, QByteArrayList{"?"});
    QCOMPARE(f.drv->LinkState(), LINK_POLLWAIT);
    QVERIFY(f.drv->KeepAliveHeld());

    // A forced connection sends no "?" anyway; the hold changes nothing there.
    DriverFixture forced;
    forced.drv->SetClock([&] { return now; });
    forced.drv->SetForceConn(true);
    forced.drv->HoldKeepAlive(true);
    for (int i = 0; i < 6; ++i)
        forced.drv->StepLink();
    QCOMPARE(forced.drv->LinkState(), LINK_POLLWAIT);
}

void TestLinkState::outsideTransitions() {
    DriverFixture f;
    f.connect();
    f.drv->SetQuorl_s_plug_and_play(false);
    QCOMPARE(f.drv->LinkState(), LINK_QUERYALL);
    f.drv->SetQuorl_s_plug_and_play(true);
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
    QCOMPARE(f.drv->LinkTimerInterval(), 2000); // not restarted

    f.connect();
    f.drv->SetConType(CON_UDP);
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
}

void TestLinkState::conTypeSwitchesLinks() {
    DriverFixture f;
    int typeEvents = 0;
    f.drv->OnConTypechange = [&](TOrlan_d *, int32_t) { ++typeEvents; };
    f.drv->SetConType(CON_RS232); // unchanged: nothing opened or closed
    QCOMPARE(typeEvents, 1);
    QCOMPARE(f.serial().opens + f.serial().closes, 0);
    f.drv->SetConType(CON_TCP);
    QCOMPARE(f.serial().closes, 1);
    QCOMPARE(f.links[CON_TCP].opens, 1);
    QVERIFY(f.drv->TcpConnectPending());
    f.drv->SetConType(CON_UDP);
    QCOMPARE(f.links[CON_TCP].closes, 1);
    QVERIFY(!f.drv->TcpConnectPending());
    QCOMPARE(f.links[CON_UDP].opens, 1);
    QCOMPARE(typeEvents, 3);
    f.links[CON_RS232].openResult = false;
    f.drv->SetConType(CON_RS232);
    QCOMPARE(f.drv->ConType(), CON_RS232);
}

void TestLinkState::portWrite() {
    DriverFixture f;
    f.drv->SetPort("\\\\.\\COM3");
    QCOMPARE(f.drv->Port(), QString("\\\\.\\COM3"));
    QCOMPARE(f.serial().closes, 1);
    QCOMPARE(f.serial().opens, 1);
    f.serial().openResult = false;
    f.drv->SetPort("\\\\.\\COM4");
    QCOMPARE(f.drv->Port(), QString()); // failure clears the name and reports nothing
    f.drv->SetConType(CON_TCP);
    const int opens = f.serial().opens;
    f.serial().openResult = true;
    f.drv->SetPort("\\\\.\\COM5"); // stored, not opened on another link
    QCOMPARE(f.serial().opens, opens);
    QCOMPARE(f.drv->Port(), QString("\\\\.\\COM5"));

    // With the real serial port: the reason is kept for whoever wants to say it.
    TOrlan_d real;
    real.SetLinkTimerEnabled(false);
    real.SetPort("/nonexistent/ttyOXS");
    QCOMPARE(real.Port(), QString());
    QVERIFY(real.PortOpenError().startsWith("TCOMPORT : cannot open /nonexistent/ttyOXS\r"));
}

void TestLinkState::ipProperties() {
    DriverFixture f;
    f.drv->SetConType(CON_UDP);
    QStringList events;
    f.record(f.drv->OnIpLocalPortchange, "local");
    f.record(f.drv->OnIpRemotePortchange, "rport");
    f.record(f.drv->OnIpRemoteAddresschange, "raddr");
    const int closes = f.links[CON_UDP].closes;
    f.drv->SetIpRemotePort(10500); // unchanged: no reopen, event all the same
    f.drv->SetIpRemoteAddress("192.168.0.10");
    QCOMPARE(f.links[CON_UDP].closes, closes);
    f.drv->SetIpRemotePort(2000);
    f.drv->SetIpRemoteAddress("127.0.0.1");
    f.drv->SetIpLocalPort(3000);
    QCOMPARE(f.links[CON_UDP].closes, closes + 3);
    QCOMPARE(f.events, (QStringList{"rport", "raddr", "rport", "raddr", "local"}));
    QCOMPARE(f.drv->IpRemotePort(), 2000);
    QCOMPARE(f.drv->IpRemoteAddress(), QString("127.0.0.1"));
    QCOMPARE(f.drv->IpLocalPort(), 3000);

    f.drv->SetConType(CON_TCP);
    const int tcpCloses = f.links[CON_TCP].closes;
    f.drv->SetIpRemotePort(2001);
    QCOMPARE(f.links[CON_TCP].closes, tcpCloses + 1);
    QVERIFY(f.drv->TcpConnectPending());
}

void TestLinkState::sendErrorInAStepResetsTheLink_data() {
    QTest::addColumn<int>("state");
    QTest::newRow("query-all") << int(LINK_QUERYALL);
    QTest::newRow("poll") << int(LINK_POLL);
    QTest::newRow("probe") << int(LINK_PROBE);
}

// A datagram that cannot be sent closes the socket and resets the link; the step must not undo that.
void TestLinkState::sendErrorInAStepResetsTheLink() {
    QFETCH(int, state);
    Prompts::install(std::make_unique<RecordingPrompts>());
    DriverFixture f;
    f.drv->SetConType(CON_UDP);
    f.drv->StepLink(); // RESET -> PROBE
    if (state != LINK_PROBE) {
        f.drv->UdpReceive("DEV33\r\n", f.drv->IpRemoteAddress(), quint16(f.drv->IpRemotePort()));
        while (f.drv->LinkState() != state)
            f.drv->StepLink();
    }
    f.links[CON_UDP].failSends = true;
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    QVERIFY(!f.links[CON_UDP].active);
    f.drv->StepLink();
    QVERIFY(!f.drv->Connected());
    QVERIFY(!f.drv->Ready());
    QCOMPARE(f.drv->LinkState(), LINK_PROBE);
}

// A tool's pace: probe at once, query-all as soon as the scaler answers, ready after a short silence;
// keep-alive unchanged. The window's pace is the default.
void TestLinkState::fastPacing() {
    DriverFixture f;
    QCOMPARE(f.drv->LinkPacing().dumpQuietMs, 2000);
    f.drv->SetLinkPacing(TLinkPacing::Fast());
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    f.drv->StepLink();
    QCOMPARE(f.serial().joined(), QByteArray("?"));
    QCOMPARE(f.drv->LinkTimerInterval(), 250);
    f.drv->SerialReceive("DEV33\r\n");
    f.drv->StepLink(); // Connected
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    f.drv->StepLink(); // query-all
    QCOMPARE(f.serial().joined(), QByteArray("?#\r\n"));
    QCOMPARE(f.drv->LinkTimerInterval(), 150);
    f.drv->SerialReceive("HP1\r\n"); // the dump goes on: the quiet wait starts again
    QCOMPARE(f.drv->LinkTimerInterval(), 150);
    f.drv->StepLink();
    QVERIFY(f.drv->Ready());
    f.drv->StepLink(); // poll
    QCOMPARE(f.drv->LinkTimerInterval(), 2000);
    f.drv->SerialReceive("DEV33\r\n");
    QCOMPARE(f.drv->LinkTimerInterval(), 2000);
    // An invalid model code: the reset probes again at the probing pace, not at once (hundreds a second).
    f.drv->SerialReceive("DEV12\r\n");
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkState(), LINK_PROBE);
    QCOMPARE(f.drv->LinkTimerInterval(), 250);
    f.drv->StepLink();
    f.drv->StepLink();
    f.drv->SerialReceive("DEV11\r\n");
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkTimerInterval(), 250);
    f.drv->SetForceConn(true); // any other reset keeps the immediate first probe
    f.drv->SetForceConn(false);
    f.drv->StepLink();
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
}

namespace {
QStringList g_logged;
void recordMessage(QtMsgType, const QMessageLogContext &context, const QString &text) {
    g_logged << QString::fromLatin1(context.category) + u' ' + text;
}
} // namespace

// The link's diagnostics are silent by default and say what happened once switched on.
void TestLinkState::diagnosticsOffUntilAskedFor() {
    const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
    g_logged.clear();
    {
        DriverFixture f;
        f.connect();
    }
    QCOMPARE(g_logged, QStringList());
    QLoggingCategory::setFilterRules(QStringLiteral("oxs.*.debug=true"));
    {
        DriverFixture f;
        f.connect();
        f.drv->StepLink(); // query-all
        f.drv->StepLink(); // ready
    }
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    QVERIFY2(g_logged.filter(QStringLiteral("oxs.link scaler found, model 33")).size() == 1,
             qPrintable(g_logged.join(u'\n')));
    QCOMPARE(g_logged.filter(QStringLiteral("oxs.link every value reported")).size(), 1);
}

QTEST_GUILESS_MAIN(TestLinkState)
#include "tst_link_state.moc"
