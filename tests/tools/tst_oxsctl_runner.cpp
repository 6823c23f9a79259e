// oxsctl's commands on a driver whose link state machine is stepped by hand and whose serial link is a
// recorder: confirmation of set, the moment get and status answer, time-outs, and what watch prints.

#include "CtlArgs.h"
#include "CtlRunner.h"
#include "Link.h"
#include "Orlan_d.h"
#include "driver/FakeLink.h"

#include <QTest>

#include <memory>

using namespace OxsCtl;

namespace {

// A driver on a recording serial link with one command running on it.
struct Harness {
    FakeLink::State link;
    QByteArrayList &sent = link.sent;
    TOrlan_d drv;
    QString out;
    QString err;
    int code = -1;
    std::unique_ptr<Runner> runner;

    explicit Harness(const QStringList &args) {
        drv.SetLinkTimerEnabled(false);
        drv.ReplaceLink(CON_RS232, std::make_unique<FakeLink>(link));
        const ParsedCommandLine p = parseCommandLine(args);
        Request request;
        QString why;
        if (!p.ok() || prepareRequest(p.options, request, &why) != kExitOk)
            qFatal("bad test arguments: %s %s", qPrintable(p.error), qPrintable(why));
        runner = std::make_unique<Runner>(
            drv, request, [this](const QString &s) { out += s; }, [this](const QString &s) { err += s; });
        runner->finished = [this](int c) { code = c; };
        runner->start();
        settle();
    }

    static void settle() {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    // Probe answered: Connected, the query-all not yet sent.
    void connect() {
        drv.StepLink();
        drv.SerialReceive("DEV33\r\n");
        drv.StepLink();
        sent.clear();
        settle();
    }
    void reply(const QByteArray &lines) {
        drv.SerialReceive(lines);
        settle();
    }
};

} // namespace

class TstOxsctlRunner : public QObject {
    Q_OBJECT

  private slots:
    void setConfirmsEachReplyInTurn();
    void setConfirmation_data();
    void setConfirmation();
    void setTimesOut_data();
    void setTimesOut();
    void getAnswersOnlyWhenReady();
    void readEndsOnceItsVariablesAreReported_data();
    void readEndsOnceItsVariablesAreReported();
    void watchPrintsChangesOnly();
    void readWaitsThroughAPauseAndNamesWhatWasNotReported();
    void invalidModelCodeProbesAtTheSilentPace();
};

// The next command goes out only when the previous one is confirmed (PCHAN before a per-input variable).
void TstOxsctlRunner::setConfirmsEachReplyInTurn() {
    Harness h({"--timeout", "30", "set", "PCHAN=2", "PENA=0", "COLOR=3"});
    QVERIFY(h.sent.isEmpty()); // nothing before the scaler is connected
    h.connect();
    QCOMPARE(h.sent, QByteArrayList{"2PC"});
    h.reply("PEN0\r\nVP1\r\n"); // reports of other variables confirm nothing
    QCOMPARE(h.sent, QByteArrayList{"2PC"});
    QVERIFY(h.out.isEmpty());
    h.reply("PCH2\r\n");
    QCOMPARE(h.sent, (QByteArrayList{"2PC", "0PE"}));
    h.reply("PEN0\r\n");
    QCOMPARE(h.sent.last(), QByteArray("3O"));
    QCOMPARE(h.code, -1);
    h.reply("COL3\r\n");
    QCOMPARE(h.out, QString("PCHAN=2\nPENA=0\nCOLOR=3\n"));
    QCOMPARE(h.err, QString());
    QCOMPARE(h.code, int(kExitOk));
}

void TstOxsctlRunner::setConfirmation_data() {
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<bool>("dump_started");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QString>("out");
    QTest::addColumn<bool>("note");

    QTest::newRow("value limited by the scaler") << QStringList{"HPOS=250"} << false << QByteArrayList{"250H"}
                                                 << QByteArray("HP200\r\n") << "HPOS=200\n"
                                                 << true;
    QTest::newRow("stale dump report skipped") << QStringList{"HPOS=100"} << true << QByteArrayList{"100H"}
                                               << QByteArray("HP5\r\nVP5\r\nHP100\r\n") << "HPOS=100\n"
                                               << false;
    QTest::newRow("on/off compared as on/off") << QStringList{"OBLACK=true"} << true << QByteArrayList{"1FO"}
                                               << QByteArray("OBLK0\r\nOBLK1\r\n") << "OBLACK=1\n"
                                               << false;
    QTest::newRow("address once its last octet is back")
        << QStringList{"LOCAL_IP=010.0.0.5"} << false << QByteArrayList{"1na", "10nw", "0nx", "0ny", "5nz"}
        << QByteArray("ADIP1\r\nIPA_10\r\nIPB_0\r\nIPC_0\r\nIPD_5\r\n") << "LOCAL_IP=10.0.0.5\n"
        << false;
    QTest::newRow("address of another slot in the dump skipped")
        << QStringList{"REMOTE_IP=7.7.7.7"} << true << QByteArrayList{"2na", "7nw", "7nx", "7ny", "7nz"}
        << QByteArray(
               "ADIP3\r\nIPA_1\r\nIPB_1\r\nIPC_1\r\nIPD_1\r\nADIP2\r\nIPA_7\r\nIPB_7\r\nIPC_7\r\nIPD_7\r\n")
        << "REMOTE_IP=7.7.7.7\n"
        << false;
    QTest::newRow("port") << QStringList{"REMOTE_PORT=4000"} << false << QByteArrayList{"2na", "4000np"}
                          << QByteArray("ADIP2\r\nPORT4000\r\n") << "REMOTE_PORT=4000\n"
                          << false;
    QTest::newRow("netmask") << QStringList{"NETMASK=255.255.0.0"} << false << QByteArrayList{"16nk"}
                             << QByteArray("NTMK16\r\n") << "NETMASK=255.255.0.0\n"
                             << false;
    QTest::newRow("write-only octet by its reply")
        << QStringList{"IP4=7"} << false << QByteArrayList{"7nw"} << QByteArray("IPA_7\r\n") << "IP4=7\n"
        << false;
    QTest::newRow("one-shot command back to 0") << QStringList{"PRESETM=1"} << false << QByteArrayList{"1yP"}
                                                << QByteArray("PRES0\r\n") << "PRESETM=0\n"
                                                << true;
}

void TstOxsctlRunner::setConfirmation() {
    QFETCH(QStringList, assignments);
    QFETCH(bool, dump_started);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, replies);
    QFETCH(QString, out);
    QFETCH(bool, note);

    Harness h(QStringList{"--timeout", "30", "set"} + assignments);
    h.connect();
    if (dump_started) {
        h.drv.StepLink(); // the query-all goes out: reports are now ambiguous until Ready
        QCOMPARE(h.sent.takeLast(), QByteArray("#\r\n"));
    }
    QCOMPARE(h.sent, commands);
    // all but the last line confirm nothing yet
    const qsizetype lastStart = replies.lastIndexOf("\r\n", replies.size() - 3);
    if (lastStart > 0) {
        h.reply(replies.left(lastStart + 2));
        QVERIFY2(h.out.isEmpty(), qPrintable(h.out));
    }
    h.reply(replies.mid(lastStart > 0 ? lastStart + 2 : 0));
    QCOMPARE(h.out, out);
    QCOMPARE(h.err.contains("note"), note);
    QCOMPARE(h.code, int(kExitOk));
}

// A time-out is "no scaler answered" only when an identity query had time to be answered.
void TstOxsctlRunner::setTimesOut_data() {
    QTest::addColumn<int>("link"); // 0 nothing sent yet, 1 identity query unanswered, 2 connected
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("before any query") << 0 << int(kExitNoScaler)
                                      << "the time-out of 0.4 s ended before a scaler could answer on TCP "
                                         "127.0.0.1:10500: no identity query had gone out yet";
    QTest::newRow("query unanswered")
        << 1 << int(kExitNoScaler) << "no scaler answered on TCP 127.0.0.1:10500";
    QTest::newRow("no reply") << 2 << int(kExitNotConfirmed) << "no reply from the scaler confirmed HPOS";
}

void TstOxsctlRunner::setTimesOut() {
    QFETCH(int, link);
    QFETCH(int, code);
    QFETCH(QString, message);
    Harness h({"--timeout", "0.4", "set", "HPOS=1"});
    if (link == 1) {
        h.drv.StepLink(); // reset: probing starts
        h.drv.StepLink(); // "?"
        QCOMPARE(h.sent, QByteArrayList{"?"});
    }
    if (link == 2) h.connect();
    h.reply("VP1\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(h.code, code, 5000);
    QVERIFY2(h.err.contains(message), qPrintable(h.err));
    QCOMPARE(h.out, QString());
}

// get reads nothing while the dump runs: Ready marks its end.
void TstOxsctlRunner::getAnswersOnlyWhenReady() {
    Harness h({"--timeout", "30", "get", "vpos", "color", "local_ip", "local_port"});
    h.connect();
    h.drv.StepLink(); // query-all
    h.reply("VP1\r\nCOL-2\r\nADIP1\r\nIPA_10\r\nIPB_1\r\nIPC_2\r\nIPD_3\r\nPORT4000\r\n");
    QVERIFY(h.out.isEmpty());
    h.reply("VP9\r\n");
    h.drv.StepLink(); // two quiet seconds later: Ready
    Harness::settle();
    QCOMPARE(h.out, QString("VPOS=9\nCOLOR=-2\nLOCAL_IP=10.1.2.3\nLOCAL_PORT=4000\n"));
    QCOMPARE(h.code, int(kExitOk));
}

// What the driver held before it asked for every variable is no answer; a variable reported once per input
// is complete only when the report is over (Ready), and so is everything with --paced.
void TstOxsctlRunner::readEndsOnceItsVariablesAreReported_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("early");
    QTest::addColumn<QString>("out");

    QTest::newRow("get") << QStringList{"get", "vpos", "hpos", "dev"} << QByteArray("VP1\r\nHP1\r\n")
                         << QByteArray("HP5\r\nVP7\r\n") << true << "VPOS=7\nHPOS=5\nDEV=33\n";
    QTest::newRow("status") << QStringList{"status", "--json"} << QByteArray("VERU99\r\n")
                            << QByteArray("VERU105\r\n") << true
                            << "{\n  \"DEV\": 33,\n  \"MODEL\": \"Orlan Plus\",\n  \"VERSION\": \"1.5\",\n"
                               "  \"LINK\": \"TCP 127.0.0.1:10500\"\n}\n";
    QTest::newRow("per input") << QStringList{"get", "hpos", "pena"} << QByteArray()
                               << QByteArray("HP5\r\nPCH1\r\nPEN1\r\nPCH2\r\nPEN0\r\n") << false
                               << "HPOS=5\nPENA=0\n";
    QTest::newRow("paced") << QStringList{"--paced", "get", "hpos"} << QByteArray() << QByteArray("HP5\r\n")
                           << false << "HPOS=5\n";
}

void TstOxsctlRunner::readEndsOnceItsVariablesAreReported() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(bool, early);
    QFETCH(QString, out);

    Harness h(QStringList{"--timeout", "30"} + args);
    h.connect();
    h.reply(before);
    h.drv.StepLink(); // the request for every variable goes out
    QCOMPARE(h.sent, QByteArrayList{"#\r\n"});
    QVERIFY(h.out.isEmpty());
    h.reply(after);
    if (!early) {
        QVERIFY2(h.out.isEmpty(), qPrintable(h.out));
        h.drv.StepLink(); // the report is over: Ready
        Harness::settle();
    }
    QCOMPARE(h.out, out);
    QCOMPARE(h.code, int(kExitOk));
}

// The driver raises an event for every report; watch prints a variable when its value differs from what it
// printed last, so DEV answering the keep-alive query is not repeated. DEV=0 from the reset that starts the
// link is no report, nor are the addresses of slots whose octets were never reported.
void TstOxsctlRunner::watchPrintsChangesOnly() {
    Harness h({"watch"});
    h.drv.StepLink(); // the link is declared down: Connected and Ready stay 0, DEV reads 0 (not printed)
    h.drv.SerialReceive("DEV33\r\n");
    h.drv.StepLink();
    h.reply("HP1\r\nHP1\r\nADIP1\r\nIPA_10\r\nIPB_1\r\nIPC_2\r\nIPD_3\r\nNTMK8\r\n");
    h.drv.StepLink(); // query-all
    h.reply("HP2\r\n");
    h.drv.StepLink(); // Ready
    h.drv.StepLink(); // keep-alive query
    h.reply("DEV33\r\n");
    h.drv.StepLink(); // keep-alive query
    h.drv.StepLink(); // silence: the link is lost
    h.drv.StepLink();
    Harness::settle();

    QStringList lines = h.out.split('\n', Qt::SkipEmptyParts);
    for (QString &l : lines) {
        QVERIFY2(QDateTime::fromString(l.section(' ', 0, 0), "yyyy-MM-ddTHH:mm:ss.zzz").isValid(),
                 qPrintable(l));
        l = l.section(' ', 1);
    }
    QCOMPARE(lines,
             (QStringList{"DEV=33", "Connected=1", "HPOS=1", "PADIP=1", "NETMASK=255.255.255.0",
                          "LOCAL_IP=10.1.2.3", "HPOS=2", "Ready=1", "Ready=0", "Connected=0", "DEV=0"}));
    QCOMPARE(h.code, -1);
    h.runner->interrupt();
    QCOMPARE(h.code, int(kExitOk));
}

// The driver's Ready after its quiet time ends nothing early: get waits for its variable through any pause,
// and a variable the answer never held fails by name with nothing printed.
void TstOxsctlRunner::readWaitsThroughAPauseAndNamesWhatWasNotReported() {
    QCOMPARE(linkPacing(parseCommandLine({"get", "HPOS"}).options).dumpQuietMs, 2000);
    Harness h({"--timeout", "30", "get", "hpos", "dollars"});
    h.connect();
    h.drv.StepLink(); // query-all
    h.reply("VP1\r\n");
    QTest::qWait(300); // a pause inside the answer
    QVERIFY(h.out.isEmpty());
    h.reply("HP9\r\n");
    QVERIFY(h.out.isEmpty()); // DOLLARS is still awaited
    h.drv.StepLink();         // the quiet time: Ready
    Harness::settle();
    QCOMPARE(h.code, int(kExitNotReported));
    QVERIFY2(h.err.contains("did not report DOLLARS") && !h.err.contains("HPOS"), qPrintable(h.err));
    QCOMPARE(h.out, QString());
}

// An invalid model code resets the link; the next probe waits as long as for a silent scaler (not the fast
// pace's immediate first probe), and the time-out names the code.
void TstOxsctlRunner::invalidModelCodeProbesAtTheSilentPace() {
    Harness h({"--timeout", "0.5", "status"});
    h.drv.SetLinkPacing(TLinkPacing::Fast());
    h.drv.StepLink(); // reset
    h.drv.StepLink(); // "?"
    h.reply("DEV12\r\n");
    QCOMPARE(h.drv.LinkState(), LINK_RESET);
    h.drv.StepLink();
    QCOMPARE(h.drv.LinkState(), LINK_PROBE);
    QCOMPARE(h.drv.LinkTimerInterval(), TLinkPacing::Fast().probeRepeatMs);
    QTRY_COMPARE_WITH_TIMEOUT(h.code, int(kExitNoScaler), 5000);
    QVERIFY2(h.err.contains("answered model code 12, which is no Orlan model"), qPrintable(h.err));
}

QTEST_GUILESS_MAIN(TstOxsctlRunner)
#include "tst_oxsctl_runner.moc"
