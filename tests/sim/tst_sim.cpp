#include "CommandSplitter.h"
#include "DeviceVariables.h"
#include "ScalerSimulator.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <fcntl.h>
#include <random>
#include <unistd.h>

using namespace OxsSim;
using namespace OrlanVars;

namespace {

QByteArrayList linesOf(const QByteArray &bytes) {
    QByteArrayList lines = bytes.split('\n');
    lines.removeLast(); // what follows the last line end is not a line (yet)
    for (QByteArray &l : lines)
        if (l.endsWith('\r')) l.chop(1);
    return lines;
}

QByteArray joinCommands(const QList<SimCommand> &commands) {
    QByteArrayList texts;
    for (const SimCommand &c : commands)
        texts << c.text();
    return texts.join(' ');
}

QByteArrayList run(ScalerState &state, const QByteArray &commands) {
    CommandSplitter splitter(CommandSplitter::deviceMnemonics());
    QByteArrayList replies;
    for (const SimCommand &c : splitter.feed(commands))
        replies << state.execute(c).replies;
    return replies;
}

// A loopback TCP client that collects everything it receives.
struct TcpClient {
    QTcpSocket socket;
    QByteArray received;
    int reads = 0;

    bool connectTo(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            received += socket.readAll();
            ++reads;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(2000);
    }
    void send(const QByteArray &bytes) {
        socket.write(bytes);
        socket.flush();
    }
    QByteArrayList lines() const { return linesOf(received); }
};

// Runs the event loop until pred holds, without the pauses of QTest::qWait (many tiny timed writes).
template <typename Pred> bool spinUntil(Pred pred, int timeoutMs) {
    QTimer tick;
    tick.start(5); // wakes the loop so the time-out is checked
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    while (!pred() && clock.elapsed() < timeoutMs)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return pred();
}

ScalerSimulator::Timings fastTimings() {
    ScalerSimulator::Timings t;
    t.takeMs = 60;
    t.storeMs = 80;
    t.frameJobMs = 30;
    return t;
}

} // namespace

class TstSim : public QObject {
    Q_OBJECT

  private slots:
    // Command splitting
    void splitter_data();
    void splitter();
    void splitterWaitsForLongerMnemonic();
    void splitterIsBoundedAndChunkingDoesNotMatter();

    // Scaler behaviour without transports
    void modelDefaults_data();
    void modelDefaults();
    void dumpReportsEveryVariable_data();
    void dumpReportsEveryVariable();
    void storedValueIsReported_data();
    void storedValueIsReported();
    void perInputVariables();
    void lanSettings();
    void oneShotsRestoreAndReport();
    void debugRegisters();
    void frameMemoryJob();

    // Transports
    void tcpIdentityDumpAndSet();
    void tcpRepliesGoToTheAsker();
    void udpRepliesToLatestSender();
    void ptyServesTheTextProtocol();
    void inputSelectionSequence();
    void storePulseIsCoalesced();
    void setReportedReachesEveryHost();
    void handlerCanTakeOverSession();
    void busyPortIsReported();

    // Faults
    void silentAnswersNothing();
    void wrongModelCode();
    void garbageBetweenReplies();
    void chunkedRepliesArriveIntact();
    void dropWindowThenResume();

    // Program
    void programHelpAndUsageErrors();
    void programServesAndStopsOnSignal();
    void programReportsBusyPort();
};

// ---- Command splitting

void TstSim::splitter_data() {
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("one") << QByteArrayList{"100H"} << QByteArray("100H");
    QTest::newRow("glued") << QByteArrayList{"100H200V?#\r\n1FO"} << QByteArray("100H 200V ? # 1FO");
    QTest::newRow("split in the value") << QByteArrayList{"10", "0H", "2", "00V"} << QByteArray("100H 200V");
    QTest::newRow("split in the mnemonic") << QByteArrayList{"3P", "C1P", "E"} << QByteArray("3PC 1PE");
    QTest::newRow("case matters") << QByteArrayList{"1fs1fS0fA2sT"} << QByteArray("1fs 1fS 0fA 2sT");
    QTest::newRow("single letters after longer ones")
        << QByteArrayList{"5QP6S7xU8W"} << QByteArray("5QP 6S 7xU 8W");
    QTest::newRow("noise between") << QByteArrayList{"\r\n\r\nA!12K5W \r\n7Z"} << QByteArray("5W 7Z");
    QTest::newRow("unknown after prefix") << QByteArrayList{"1Qz2V"} << QByteArray("2V");
    QTest::newRow("too many digits") << QByteArrayList{"123456789012H"} << QByteArray("3456789012H");
    QTest::newRow("above 32 bits") << QByteArrayList{"9999999999H1H"} << QByteArray("1H");
    QTest::newRow("largest value") << QByteArrayList{"4294967295O"} << QByteArray("4294967295O");
    QTest::newRow("bare mnemonic") << QByteArrayList{"H"} << QByteArray("H");
    QTest::newRow("debug") << QByteArrayList{"16@255>"} << QByteArray("16@ 255>");
}

void TstSim::splitter() {
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, expected);
    CommandSplitter splitter(CommandSplitter::deviceMnemonics());
    QList<SimCommand> commands;
    for (const QByteArray &chunk : chunks)
        commands << splitter.feed(chunk);
    QCOMPARE(joinCommands(commands), expected);
    QVERIFY(!splitter.waitingForLonger());
}

void TstSim::splitterWaitsForLongerMnemonic() {
    CommandSplitter splitter({"A", "AB", "?"});
    QVERIFY(splitter.feed("1A").isEmpty());
    QVERIFY(splitter.waitingForLonger());
    QCOMPARE(joinCommands(splitter.feed("B")), QByteArray("1AB"));

    QVERIFY(splitter.feed("2A").isEmpty());
    QCOMPARE(joinCommands(splitter.flush()), QByteArray("2A"));
    QCOMPARE(splitter.pendingBytes(), 0);

    // A different byte settles it at once; an unfinished value is kept through a flush.
    QCOMPARE(joinCommands(splitter.feed("3A4?5")), QByteArray("3A 4?"));
    QVERIFY(splitter.flush().isEmpty());
    QCOMPARE(joinCommands(splitter.feed("A?")), QByteArray("5A ?"));
}

void TstSim::splitterIsBoundedAndChunkingDoesNotMatter() {
    // Random bytes rich in digits and mnemonic letters: the held-back tail stays within one command,
    // and the result does not depend on how the stream was cut.
    std::mt19937 rng(42);
    const QByteArray alphabet("0123456789HVWSPCEQxyfnos?#@>\r\n!Z");
    QByteArray stream;
    for (int i = 0; i < 20000; ++i)
        stream += alphabet[int(rng() % quint32(alphabet.size()))];

    CommandSplitter whole(CommandSplitter::deviceMnemonics());
    const QByteArray all = joinCommands(whole.feed(stream));

    CommandSplitter pieces(CommandSplitter::deviceMnemonics());
    QList<SimCommand> collected;
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype n = std::min<qsizetype>(1 + rng() % 7, stream.size() - at);
        collected << pieces.feed(stream.mid(at, n));
        QVERIFY(pieces.pendingBytes() <= pieces.maxPendingBytes());
        at += n;
    }
    QCOMPARE(joinCommands(collected), all);
    QVERIFY(all.count(' ') > 500);
    QVERIFY(whole.discardedBytes() > 0);
}

// ---- Scaler behaviour

void TstSim::modelDefaults_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<bool>("lan");
    QTest::newRow("Orlan") << 32 << 3 << false;
    QTest::newRow("Orlan Plus") << 33 << 5 << true;
    QTest::newRow("Orlan C") << 40 << 2 << false;
}

void TstSim::modelDefaults() {
    QFETCH(int, model);
    QFETCH(int, inputs);
    QFETCH(bool, lan);
    ScalerState s(model);
    QCOMPARE(s.inputCount(), inputs);
    QCOMPARE((s.value(VAR_OPT) & 2u) != 0, lan);
    QCOMPARE(s.inputValue(VAR_PRGBI, inputs), 7u); // the last input is the computer input
    for (int in = 1; in < inputs; ++in)
        QVERIFY(s.inputValue(VAR_PRGBI, in) < 7u);

    // Input 1 carries interlaced PAL: 15 kHz lines, 50 Hz fields, and the output follows it.
    QCOMPARE(s.value(VAR_ICHM), 1u);
    QCOMPARE(s.value(VAR_IPSIGM), 1u);
    QCOMPARE(s.value(VAR_IFAMM), 3u);
    QCOMPARE(s.value(VAR_UNITy) * 10 / s.value(VAR_ILDM), 15u);
    const double frame =
        (s.value(VAR_UNITy) * 10.0 / s.value(VAR_ILDM)) * 1000.0 / (s.value(VAR_IFDM) + 0.525);
    QVERIFY(qAbs(frame - 50.0) < 0.1);
    QCOMPARE(s.value(VAR_REFSTA), s.value(VAR_REFREQ));
    QCOMPARE(s.value(VAR_REFFRQ), 5000u);
    QCOMPARE(s.value(VAR_VERV), 8u);
    if (lan) {
        QCOMPARE(s.address(1), QStringLiteral("192.168.0.10"));
        QCOMPARE(s.address(2), QStringLiteral("192.168.0.1"));
        QCOMPARE(s.address(3), QStringLiteral("192.168.0.254"));
        QCOMPARE(s.port(1), quint16(10500));
        QCOMPARE(s.value(VAR_NETMASK), 8u);
    }
}

void TstSim::dumpReportsEveryVariable_data() {
    modelDefaults_data();
}

void TstSim::dumpReportsEveryVariable() {
    QFETCH(int, model);
    QFETCH(int, inputs);
    QFETCH(bool, lan);
    ScalerState s(model);
    const QByteArrayList dump = run(s, "#\r\n");

    auto reportsMnemonic = [&](const Row &row) {
        for (const QByteArray &line : dump) {
            // The reply mnemonic followed by a number, and no longer mnemonic ("CH" is not "CHN").
            if (!line.startsWith(row.reply)) continue;
            bool ok = false;
            line.mid(qsizetype(qstrlen(row.reply))).toLongLong(&ok);
            if (ok) return true;
        }
        return false;
    };
    for (const Row &row : kRows) {
        const bool lanRow = row.index >= VAR_LANENABLE && row.index <= VAR_TCPIP;
        const bool expected =
            row.index != VAR_DEV && row.index != VAR_DOLLARS && row.index != VAR_queryall && (lan || !lanRow);
        QVERIFY2(reportsMnemonic(row) == expected, row.reply);
    }
    QCOMPARE(dump.count("PCH1"), 1);
    QCOMPARE(
        int(std::count_if(dump.begin(), dump.end(), [](const QByteArray &l) { return l.startsWith("PCH"); })),
        inputs);
    // Each per-input block reports that input's values.
    const qsizetype last = dump.indexOf("PCH" + QByteArray::number(inputs));
    QCOMPARE(dump.at(last + 2), QByteArray("PRGB7"));
    if (lan) {
        const qsizetype slot = dump.indexOf("ADIP1");
        QCOMPARE(dump.mid(slot, 6),
                 (QByteArrayList{"ADIP1", "IPA_192", "IPB_168", "IPC_0", "IPD_10", "PORT10500"}));
    }
}

void TstSim::storedValueIsReported_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QByteArray>("commands");
    QTest::addColumn<QByteArray>("lastReply");
    QTest::newRow("set") << 33 << QByteArray("100H") << QByteArray("HP100");
    QTest::newRow("clamped high") << 33 << QByteArray("300B") << QByteArray("BRG255");
    QTest::newRow("signed colour") << 33 << QByteArray("4294967295O") << QByteArray("COL255");
    QTest::newRow("boolean") << 33 << QByteArray("5FO") << QByteArray("OBLK1");
    QTest::newRow("out of range kept") << 33 << QByteArray("1PM5PM") << QByteArray("PM1");
    QTest::newRow("black delay") << 33 << QByteArray("40oT") << QByteArray("OST30");
    QTest::newRow("lock bits") << 33 << QByteArray("2yl7yl") << QByteArray("LOCK2");
    QTest::newRow("output type") << 33 << QByteArray("0oY") << QByteArray("OTYP3");
    QTest::newRow("audio beyond inputs") << 40 << QByteArray("3RC") << QByteArray("ACH1");
    QTest::newRow("report only") << 33 << QByteArray("5U") << QByteArray("UNIT2700");
    QTest::newRow("bare asks") << 33 << QByteArray("77H") + "H" << QByteArray("HP77");
    QTest::newRow("Plus UXGA") << 33 << QByteArray("5FM") << QByteArray("OFTM5");
    QTest::newRow("Plus has no code 4") << 33 << QByteArray("4FM") << QByteArray("OFTM1");
    QTest::newRow("Orlan UXGA") << 32 << QByteArray("4FM") << QByteArray("OFTM4");
    QTest::newRow("Orlan has no 72 Hz") << 32 << QByteArray("2oR") << QByteArray("REFT5000");
    QTest::newRow("Plus 75 Hz") << 33 << QByteArray("0XR3oR") << QByteArray("REFT7500");
    QTest::newRow("UXGA limits the rate") << 33 << QByteArray("3oR5FM") << QByteArray("REFT5000");
    QTest::newRow("rate of internal reference") << 33 << QByteArray("1oR0XR") << QByteArray("REFT6000");
    QTest::newRow("netmask bits") << 33 << QByteArray("99nk") << QByteArray("NTMK8");
    QTest::newRow("select clamps") << 32 << QByteArray("9CN") << QByteArray("REFT5000");
}

void TstSim::storedValueIsReported() {
    QFETCH(int, model);
    QFETCH(QByteArray, commands);
    QFETCH(QByteArray, lastReply);
    ScalerState s(model);
    const QByteArrayList replies = run(s, commands);
    QVERIFY(!replies.isEmpty());
    QCOMPARE(replies.last(), lastReply);

    // The last reply for each variable is what the next query-all reports, too.
    const QByteArrayList dump = run(s, "#\r\n");
    for (const QByteArray &r : replies) {
        QByteArray mnemonic = r;
        while (!mnemonic.isEmpty() && (QChar(mnemonic.back()).isDigit() || mnemonic.back() == '-'))
            mnemonic.chop(1);
        const auto later = std::find_if(replies.rbegin(), replies.rend(),
                                        [&](const QByteArray &x) { return x.startsWith(mnemonic); });
        if (*later == r && mnemonic != "TKEV") QVERIFY2(dump.contains(r), r.constData());
    }
}

void TstSim::perInputVariables() {
    ScalerState s(33);
    QCOMPARE(run(s, "3PC1PE"), (QByteArrayList{"PCH3", "PEN1"}));
    QCOMPARE(run(s, "0PE"), QByteArrayList{"PEN0"});
    QCOMPARE(s.inputValue(VAR_PENA, 3), 0u);
    QCOMPARE(s.inputValue(VAR_PENA, 2), 1u);

    // Input 3 of the Plus takes types 2..5 only; a refused type reports what stays.
    QCOMPARE(run(s, "4PR"), QByteArrayList{"PRGB4"});
    QCOMPARE(run(s, "1PR"), QByteArrayList{"PRGB4"});
    QCOMPARE(run(s, "7PR"), QByteArrayList{"PRGB4"});
    QCOMPARE(s.inputValue(VAR_PRGBI, 3), 4u);
    QCOMPARE(run(s, "9PI"), QByteArrayList{"PSTD0"});

    // Input 0 addresses all inputs.
    QCOMPARE(run(s, "0PC1PP"), (QByteArrayList{"PCH0", "PPRC1"}));
    for (int in = 1; in <= 5; ++in)
        QCOMPARE(s.inputValue(VAR_PPROC, in), 1u);
    // Switching the channel shows that input's values again.
    QCOMPARE(run(s, "3PC"), QByteArrayList{"PCH3"});
    QCOMPARE(s.value(VAR_PRGBI), 4u);
    QCOMPARE(s.value(VAR_PENA), 0u);
    QCOMPARE(run(s, "6PC"), QByteArrayList{"PCH3"}); // no input 6
}

void TstSim::lanSettings() {
    ScalerState s(33);
    QCOMPARE(run(s, "1na10nw0nx0ny7nz2000np"),
             (QByteArrayList{"ADIP1", "IPA_10", "IPB_0", "IPC_0", "IPD_7", "PORT2000"}));
    QCOMPARE(s.address(1), QStringLiteral("10.0.0.7"));
    QCOMPARE(s.port(1), quint16(2000));
    QCOMPARE(s.address(2), QStringLiteral("192.168.0.1"));

    QCOMPARE(run(s, "0na172nw"), (QByteArrayList{"ADIP0", "IPA_172"}));
    for (int slot = 1; slot <= 3; ++slot)
        QVERIFY(s.address(slot).startsWith(QStringLiteral("172.")));
    QCOMPARE(run(s, "300nw"), QByteArrayList{"IPA_172"});
    QCOMPARE(run(s, "4na"), QByteArrayList{"ADIP0"});
    QCOMPARE(run(s, "3na99np"), QByteArrayList{"ADIP3"}); // the gateway has no port
    QCOMPARE(s.port(1), quint16(2000));
    QCOMPARE(run(s, "2na70000np"), (QByteArrayList{"ADIP2", "PORT10500"}));

    ScalerState noLan(32);
    QVERIFY(run(noLan, "1na5nw1ne").isEmpty());

    // Whatever the scaler is made to report, later commands stay within its tables.
    s.setValue(VAR_PADIP, 9);
    QCOMPARE(run(s, "7nw8np"), QByteArrayList{"IPA_0"});
    s.setValue(VAR_PCHAN, 9);
    QCOMPARE(run(s, "1PE2PR").size(), 2);
    s.setValue(VAR_ADDRDBG, 100000);
    QCOMPARE(run(s, "3>"), QByteArrayList{"DDBG3"});
}

void TstSim::oneShotsRestoreAndReport() {
    ScalerState s(33);
    run(s, "10H20V30W40B2PM4CN");
    QCOMPARE(run(s, "1yC"), (QByteArrayList{"ACAD1", "HP128", "VP128", "ACAD0"}));
    QCOMPARE(s.value(VAR_HSIZ), 30u);
    const QByteArrayList preset = run(s, "1yP");
    QCOMPARE(preset.first(), QByteArray("PRES1"));
    QCOMPARE(preset.last(), QByteArray("PRES0"));
    QVERIFY(preset.contains("HW128") && preset.contains("BRG128"));
    QCOMPARE(s.value(VAR_IPMODEM), 2u);
    QCOMPARE(run(s, "0yP"), QByteArrayList{"PRES0"});

    run(s, "1na9nz5@6>");
    const QByteArrayList reset = run(s, "1Y");
    QCOMPARE(reset.first(), QByteArray("FRES1"));
    QCOMPARE(reset.last(), QByteArray("FRES0"));
    QVERIFY(reset.contains("CH1") && reset.contains("PM0") && reset.contains("IFA3"));
    QCOMPARE(s.value(VAR_ICHM), 1u);
    // The LAN module and the debug registers are not factory settings of the scaler.
    QCOMPARE(s.address(1), QStringLiteral("192.168.0.9"));
    QCOMPARE(s.debugRegister(5), 6u);
}

void TstSim::debugRegisters() {
    ScalerState s(33);
    QCOMPARE(run(s, "5@"), (QByteArrayList{"ADBG5", "DDBG0"}));
    QCOMPARE(run(s, "77>"), QByteArrayList{"DDBG77"});
    QCOMPARE(run(s, "6@"), (QByteArrayList{"ADBG6", "DDBG0"}));
    QCOMPARE(run(s, "5@"), (QByteArrayList{"ADBG5", "DDBG77"}));
    QCOMPARE(run(s, "4000@"), (QByteArrayList{"ADBG5", "DDBG77"}));
}

void TstSim::frameMemoryJob() {
    ScalerState s(33);
    CommandSplitter splitter(CommandSplitter::deviceMnemonics());
    const QList<SimCommand> cmds = splitter.feed("1fM1fX");
    s.execute(cmds[0]);
    const Outcome start = s.execute(cmds[1]);
    QCOMPARE(start.replies, QByteArrayList{"FAEX1"});
    QVERIFY(start.frameJobStarted);
    QCOMPARE(s.finishFrameJob(), (QByteArrayList{"FARC1", "FAEX0"}));
    QCOMPARE(run(s, "1fs"), (QByteArrayList{"FASW1", "FAST1"}));
    run(s, "3fM");
    QVERIFY(s.execute(cmds[1]).frameJobStarted);
    QCOMPARE(s.finishFrameJob(), (QByteArrayList{"FARC0", "FASW0", "FAST0", "FAEX0"}));
    QVERIFY(s.finishFrameJob().isEmpty());
}

// ---- Transports

void TstSim::tcpIdentityDumpAndSet() {
    ScalerSimulator sim(33);
    const quint16 port = sim.startTcp(0);
    QVERIFY(port != 0);
    TcpClient c;
    QVERIFY(c.connectTo(port));

    c.send("?");
    QTRY_COMPARE_WITH_TIMEOUT(c.received, QByteArray("DEV33\r\n"), 2000);

    c.received.clear();
    c.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("DDBG0"), 2000);
    QVERIFY(c.lines().contains("PCH5"));
    QVERIFY(c.lines().contains("IPD_254"));

    // Glued in one write, then split across writes.
    c.received.clear();
    c.send("100H20V");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("VP20"), 2000);
    QCOMPARE(c.lines().first(), QByteArray("HP100"));
    c.received.clear();
    c.send("1");
    c.send("2");
    QTest::qWait(20);
    c.send("3B");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("BRG123"), 2000);
    QCOMPARE(sim.value(VAR_BRGT), 123u);
    QVERIFY(sim.commandLog().endsWith(QStringLiteral("123B")));
}

void TstSim::tcpRepliesGoToTheAsker() {
    ScalerSimulator sim(33);
    sim.setTimings(fastTimings());
    const quint16 port = sim.startTcp(0);
    TcpClient a, b;
    QVERIFY(a.connectTo(port));
    QVERIFY(b.connectTo(port));
    QTRY_COMPARE_WITH_TIMEOUT(sim.sessions().size(), 2, 2000);

    a.send("?");
    b.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(a.lines().contains("DEV33") && b.lines().contains("DDBG0"), 2000);
    QVERIFY(!b.lines().contains("DEV33"));
    QVERIFY(!a.lines().contains("DDBG0"));

    // A reply goes to the asker; the scaler's own STORE report goes to both.
    a.received.clear();
    b.received.clear();
    a.send("50W");
    QTRY_VERIFY_WITH_TIMEOUT(b.lines().contains("STO0"), 2000);
    QCOMPARE(a.lines(), (QByteArrayList{"HW50", "STO1", "STO0"}));
    QCOMPARE(b.lines(), (QByteArrayList{"STO1", "STO0"}));

    // A client that leaves is forgotten.
    b.socket.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(sim.sessions().size(), 1, 2000);
}

void TstSim::udpRepliesToLatestSender() {
    ScalerSimulator sim(40);
    const quint16 port = sim.startUdp(0);
    QVERIFY(port != 0);
    QUdpSocket first, second;
    QVERIFY(first.bind(QHostAddress::LocalHost, 0));
    QVERIFY(second.bind(QHostAddress::LocalHost, 0));
    auto receive = [](QUdpSocket &socket) {
        QByteArray all;
        while (socket.hasPendingDatagrams()) {
            QByteArray d(int(socket.pendingDatagramSize()), '\0');
            QHostAddress from;
            quint16 fromPort = 0;
            socket.readDatagram(d.data(), d.size(), &from, &fromPort);
            if (from.isEqual(QHostAddress::LocalHost) && fromPort != 0) all += d;
        }
        return all;
    };

    QByteArray got1, got2;
    first.writeDatagram("?", QHostAddress::LocalHost, port);
    QTRY_VERIFY_WITH_TIMEOUT((got1 += receive(first)).contains("DEV40\r\n"), 2000);

    // One command split over two datagrams, from the second sender: the reply goes there.
    second.writeDatagram("2", QHostAddress::LocalHost, port);
    second.writeDatagram("0V", QHostAddress::LocalHost, port);
    QTRY_VERIFY_WITH_TIMEOUT((got2 += receive(second)).contains("VP20\r\n"), 2000);
    QTest::qWait(30);
    QVERIFY(!receive(first).contains("VP20"));
}

void TstSim::ptyServesTheTextProtocol() {
    ScalerSimulator sim(32);
    sim.setTimings(fastTimings());
    const QString path = sim.startPty();
    QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));
    // Nothing is sent into the line before a host has spoken on it.
    sim.setReported(VAR_IPSIGM, 0);

    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QByteArray received;
    auto readAll = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            received.append(buffer, int(n));
        return received;
    };
    QVERIFY(::write(fd, "?", 1) == 1);
    QTRY_COMPARE_WITH_TIMEOUT(readAll(), QByteArray("DEV32\r\n"), 2000);
    received.clear();
    // Raw mode: CR LF pass unchanged in both directions, nothing is echoed.
    QVERIFY(::write(fd, "#\r\n", 3) == 3);
    QTRY_VERIFY_WITH_TIMEOUT(linesOf(readAll()).contains("DDBG0"), 2000);
    QVERIFY(linesOf(received).contains("PCH3"));
    QVERIFY(!linesOf(received).contains("LANE1"));
    QVERIFY(!received.contains("#"));
    ::close(fd);
}

void TstSim::inputSelectionSequence() {
    ScalerSimulator sim(33);
    sim.setTimings(fastTimings());
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("5CN");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("TKEV1"), 2000);
    const QByteArrayList l = c.lines();
    const QByteArrayList head{"CHN5", "TKEV0", "CH5", "UNIT2700", "ILD558"};
    QCOMPARE(l.mid(0, head.size()), head);
    QVERIFY(l.contains("IFA11"));
    QVERIFY(l.indexOf("TKEV1") > l.indexOf("IFA11"));
    QCOMPARE(sim.value(VAR_ICHM), 5u);
    QCOMPARE(sim.value(VAR_TAKEEVA), 1u);

    // Back to input 1: its measurements come back, and the output follows it again.
    c.received.clear();
    c.send("1CN");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("TKEV1"), 2000);
    QVERIFY(c.lines().contains("IFD312") && c.lines().contains("REFA1") && c.lines().contains("REFF3"));
}

void TstSim::storePulseIsCoalesced() {
    ScalerSimulator sim(33);
    ScalerSimulator::Timings timings = fastTimings();
    timings.storeMs = 250; // well above the pauses between the writes below
    sim.setTimings(timings);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("1H");
    QTest::qWait(30);
    c.send("2H");
    QTest::qWait(30);
    c.send("3H3H"); // the same value again changes nothing
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("STO0"), 2000);
    QCOMPARE(c.lines(), (QByteArrayList{"HP1", "STO1", "HP2", "HP3", "HP3", "STO0"}));

    // Neither a setting to its current value nor a selector makes the scaler store.
    c.received.clear();
    c.send("3H2PC1na");
    QTRY_COMPARE_WITH_TIMEOUT(c.lines().size(), 3, 2000);
    QTest::qWait(120);
    QCOMPARE(c.lines(), (QByteArrayList{"HP3", "PCH2", "ADIP1"}));
}

void TstSim::setReportedReachesEveryHost() {
    ScalerSimulator sim(33);
    const quint16 port = sim.startTcp(0);
    TcpClient a, b;
    QVERIFY(a.connectTo(port));
    QVERIFY(b.connectTo(port));
    QTRY_COMPARE_WITH_TIMEOUT(sim.sessions().size(), 2, 2000);
    sim.setReported(VAR_IPSIGM, 0);
    QTRY_VERIFY_WITH_TIMEOUT(a.lines().contains("IPS0") && b.lines().contains("IPS0"), 2000);
    QCOMPARE(sim.value(VAR_IPSIGM), 0u);

    // The measurement belongs to input 1: it is still lost after a round trip to input 2.
    a.received.clear();
    a.send("2CN1CN");
    QTRY_COMPARE_WITH_TIMEOUT(a.lines().count("IPS0"), 2, 2000);
}

namespace {
class EchoHandler : public ProtocolHandler {
  public:
    void received(Session &session, const QByteArray &data) override { session.sendRaw("<" + data + ">"); }
};
// Hands the session to an echo handler after its first command, from inside the text handler.
class SwitchingHandler : public ProtocolHandler {
  public:
    explicit SwitchingHandler(std::unique_ptr<ProtocolHandler> text) : m_text(std::move(text)) {}
    void received(Session &session, const QByteArray &data) override {
        m_text->received(session, data);
        session.setHandler(std::make_unique<EchoHandler>());
    }

  private:
    std::unique_ptr<ProtocolHandler> m_text;
};
} // namespace

void TstSim::handlerCanTakeOverSession() {
    ScalerSimulator sim(33);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    QTRY_COMPARE_WITH_TIMEOUT(sim.sessions().size(), 1, 2000);
    Session *session = sim.sessions().first();
    session->setHandler(std::make_unique<SwitchingHandler>(sim.makeTextHandler()));

    c.send("?");
    QTRY_COMPARE_WITH_TIMEOUT(c.received, QByteArray("DEV33\r\n"), 2000);
    c.send("?");
    QTRY_COMPARE_WITH_TIMEOUT(c.received, QByteArray("DEV33\r\n<?>"), 2000);
    QCOMPARE(sim.commandCount(), 1);
}

void TstSim::busyPortIsReported() {
    ScalerSimulator first(33), second(33);
    const quint16 tcp = first.startTcp(0);
    const quint16 udp = first.startUdp(0);
    QVERIFY(tcp && udp);
    QString error;
    QCOMPARE(second.startTcp(tcp, QHostAddress::LocalHost, &error), quint16(0));
    QVERIFY(!error.isEmpty());
    error.clear();
    QCOMPARE(second.startUdp(udp, QHostAddress::LocalHost, &error), quint16(0));
    QVERIFY(!error.isEmpty());
}

// ---- Faults

void TstSim::silentAnswersNothing() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.silent = true;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("?#\r\n5CN");
    QTRY_COMPARE_WITH_TIMEOUT(sim.commandCount(), 3, 2000);
    QTest::qWait(100);
    QVERIFY(c.received.isEmpty());
    QCOMPARE(sim.value(VAR_ICHM), 1u); // nothing reached the scaler
}

void TstSim::wrongModelCode() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.modelCode = 12;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("?128H"); // HPOS keeps its value: no STORE report follows
    QTRY_COMPARE_WITH_TIMEOUT(c.received, QByteArray("DEV12\r\nHP128\r\n"), 2000);
}

void TstSim::garbageBetweenReplies() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.garbage = true;
    f.seed = 3;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("DDBG0"), 2000);

    // Junk lines never start like a reply, never hold a zero byte, and the replies keep their order.
    ScalerState reference(33);
    const QByteArrayList expected = run(reference, "#\r\n");
    QByteArrayList replies;
    int junk = 0;
    for (const QByteArray &line : c.lines()) {
        QVERIFY(!line.contains('\0') && !line.contains('\r'));
        if (!line.isEmpty() && (QChar(line[0]).isUpper() || line[0] == '$' || line[0] == '#'))
            replies << line;
        else
            ++junk;
    }
    QCOMPARE(replies, expected);
    QVERIFY(junk > 10);
}

void TstSim::chunkedRepliesArriveIntact() {
    ScalerSimulator plain(33);
    ScalerSimulator sim(33);
    FaultSettings f;
    f.chunked = true;
    f.seed = 9;
    f.chunkMaxDelayMs = 2;
    sim.setFaults(f);
    TcpClient c, d;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    QVERIFY(d.connectTo(plain.startTcp(0)));
    c.send("#\r\n");
    d.send("#\r\n");
    QVERIFY(spinUntil([&] { return c.lines().contains("DDBG0") && d.lines().contains("DDBG0"); }, 5000));
    QCOMPARE(c.received, d.received);
    QVERIFY(c.reads > 20);
}

void TstSim::dropWindowThenResume() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.dropAfterSec = 0.0;
    f.dropForSec = 0.5;
    QElapsedTimer clock;
    clock.start();
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("?9H");
    QTRY_COMPARE_WITH_TIMEOUT(sim.commandCount(), 2, 2000);
    QTest::qWait(50);
    QVERIFY(c.received.isEmpty());
    if (clock.elapsed() >= 500) QSKIP("too slow to observe the drop window");
    QTest::qWait(int(550 - clock.elapsed()));
    c.send("?");
    QTRY_COMPARE_WITH_TIMEOUT(c.received, QByteArray("DEV33\r\n"), 2000);
    QCOMPARE(sim.value(VAR_HPOS), 128u); // lost while unplugged
}

// ---- Program

void TstSim::programHelpAndUsageErrors() {
    QProcess p;
    p.start(QStringLiteral(ORLAN_SIM_PATH), {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray manual = p.readAllStandardOutput();
    for (const char *section :
         {"SYNOPSIS", "OPTIONS", "EXAMPLES", "EXIT STATUS", "--drop-after", "Default: 10500"})
        QVERIFY2(manual.contains(section), section);

    const QList<QStringList> bad{{QStringLiteral("--bogus")},
                                 {QStringLiteral("--model"), QStringLiteral("41")},
                                 {QStringLiteral("--tcp-port"), QStringLiteral("70000")},
                                 {QStringLiteral("--drop-for"), QStringLiteral("3")},
                                 {QStringLiteral("--no-tcp"), QStringLiteral("--no-udp")},
                                 {QStringLiteral("stray")}};
    for (const QStringList &args : bad) {
        p.start(QStringLiteral(ORLAN_SIM_PATH), args);
        QVERIFY(p.waitForFinished(10000));
        QVERIFY2(p.exitCode() == 2, qPrintable(args.join(' ')));
        QVERIFY(p.readAllStandardError().startsWith("orlan-sim: "));
    }
}

void TstSim::programServesAndStopsOnSignal() {
    QProcess p;
    p.start(QStringLiteral(ORLAN_SIM_PATH),
            {QStringLiteral("-m"), QStringLiteral("40"), QStringLiteral("--tcp-port"), QStringLiteral("0"),
             QStringLiteral("--udp-port"), QStringLiteral("0"), QStringLiteral("--pty")});
    QVERIFY(p.waitForStarted(10000));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).count('\n') >= 3, 10000);
    const QByteArrayList lines = linesOf(out);
    QVERIFY(lines[0].startsWith("TCP 127.0.0.1:"));
    QVERIFY(lines[1].startsWith("UDP 127.0.0.1:"));
    QVERIFY(lines[2].startsWith("PTY /dev/"));
    const quint16 port = quint16(lines[0].mid(lines[0].lastIndexOf(':') + 1).toUInt());
    QVERIFY(port != 0 && port != 10500);

    TcpClient c;
    QVERIFY(c.connectTo(port));
    c.send("?");
    QTRY_COMPARE_WITH_TIMEOUT(c.received, QByteArray("DEV40\r\n"), 5000);
    p.terminate(); // SIGTERM
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
}

void TstSim::programReportsBusyPort() {
    QTcpServer busy;
    QVERIFY(busy.listen(QHostAddress::LocalHost, 0));
    QProcess p;
    p.start(QStringLiteral(ORLAN_SIM_PATH),
            {QStringLiteral("--tcp-port"), QString::number(busy.serverPort()), QStringLiteral("--no-udp")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.contains("cannot listen on TCP 127.0.0.1:" + QByteArray::number(busy.serverPort())), err);
    QVERIFY(p.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TstSim)
#include "tst_sim.moc"
