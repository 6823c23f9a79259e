// The simulator as harsh as the protocol allows: what each behaviour puts on the wire, checked byte by
// byte through loopback sockets and a pseudo-terminal.
#include "CommandSplitter.h"
#include "DeviceVariables.h"
#include "ScalerSimulator.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <fcntl.h>
#include <unistd.h>

using namespace OxsSim;
using namespace OrlanVars;

namespace {

QByteArrayList linesOf(QByteArray bytes) {
    bytes.replace('\0', QByteArray());
    QByteArrayList lines = bytes.split('\n');
    lines.removeLast();
    for (QByteArray &l : lines)
        if (l.endsWith('\r')) l.chop(1);
    return lines;
}

// A loopback TCP client that keeps every piece it receives with the time it came.
struct TcpClient {
    QTcpSocket socket;
    QByteArray received;
    QList<QPair<qint64, QByteArray>> pieces;
    QElapsedTimer clock;

    bool connectTo(quint16 port) {
        clock.start();
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            const QByteArray bytes = socket.readAll();
            received += bytes;
            pieces.append({clock.elapsed(), bytes});
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(5000);
    }
    void send(const QByteArray &bytes) {
        socket.write(bytes);
        socket.flush();
    }
    QByteArrayList lines() const { return linesOf(received); }
    void clear() {
        received.clear();
        pieces.clear();
    }
    // The longest time between two pieces after which the text so far ended as `ended` says.
    qint64 longestGap(bool endedMidLine) const {
        qint64 gap = 0;
        QByteArray sofar;
        for (int i = 0; i + 1 < pieces.size(); ++i) {
            sofar += pieces[i].second;
            if (sofar.endsWith('\0')) sofar.chop(1);
            if (sofar.endsWith("\r\n") != endedMidLine)
                gap = std::max(gap, pieces[i + 1].first - pieces[i].first);
        }
        return gap;
    }
};

// Waits for a whole dump: the debug data line is its last.
bool dumpArrived(const TcpClient &c) {
    return c.lines().contains("ADBG0") && c.received.endsWith("\r\n") &&
           linesOf(c.received).last().startsWith("DDBG");
}

QByteArray control(char code) {
    return QByteArray(1, char(0x1B)) + code;
}

} // namespace

class TstSimHarsh : public QObject {
    Q_OBJECT
  private slots:
    void oddValuesAndResetDump_data();
    void oddValuesAndResetDump();
    void dumpPausesAndSplitReplies();
    void nulOnlyBetweenLinesOfNetworkChunks();
    void streamKeepsItsRate();
    void ignoredAndLostCommands();
    void byteParser();
    void rawReceiveUntilCan();
    void programOptions();
};

void TstSimHarsh::oddValuesAndResetDump_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("Orlan") << 32 << QByteArray("OFTM5");
    QTest::newRow("Orlan Plus") << 33 << QByteArray("OFTM4");
    QTest::newRow("Orlan C") << 40 << QByteArray("OFTM5");
}

void TstSimHarsh::oddValuesAndResetDump() {
    QFETCH(int, model);
    QFETCH(QByteArray, format);
    ScalerSimulator sim(model);
    FaultSettings f;
    f.oddValues = true;
    f.resetDump = true;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(dumpArrived(c), 5000);
    QByteArrayList lines = c.lines();
    for (const QByteArray &odd : {QByteArray("OTYP0"), QByteArray("ACH0"), QByteArray("AMOD2"),
                                  QByteArray("COL-5"), QByteArray("ORTM4"), QByteArray("REFR0"), format})
        QVERIFY2(lines.contains(odd), odd.constData());
    // One report for all inputs, before any other per-input line; no address slot at all.
    const qsizetype pch = lines.indexOf("PCH0");
    QVERIFY(pch > 0);
    QCOMPARE(lines.mid(pch, 3), (QByteArrayList{"PCH0", "PEN1", "PRGB0"}));
    QCOMPARE(lines.count("PCH0"), 1);
    for (const QByteArray &l : lines) {
        QVERIFY2(!l.startsWith("PCH") || l == "PCH0", l.constData());
        for (const char *slot : {"ADIP", "IPA_", "IPB_", "IPC_", "IPD_", "PORT"})
            QVERIFY2(!l.startsWith(slot), l.constData());
    }
    if (model == 33) QVERIFY(lines.contains("LANE1")); // the module's other settings are reported

    // The values are what the scaler holds: a write replaces one, the next dump still has the others.
    c.clear();
    c.send(model == 33 ? "2oY" : "1RC");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains(model == 33 ? "OTYP2" : "ACH1"), 5000);
    c.clear();
    c.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(dumpArrived(c), 5000);
    lines = c.lines();
    QVERIFY(lines.contains(model == 33 ? "OTYP2" : "ACH1"));
    QVERIFY(lines.contains("AMOD2") && lines.contains("COL-5") && lines.contains(format));
    // PCHAN 0 stays in force: a per-input write reaches every input.
    c.send("0PE");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("PEN0"), 5000);
    for (int in = 1; in <= sim.inputCount(); ++in)
        QCOMPARE(sim.state().inputValue(VAR_PENA, in), 0u);
}

void TstSimHarsh::dumpPausesAndSplitReplies() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.dumpPauseMinMs = 400;
    f.dumpPauseMaxMs = 400;
    f.splitPauseMs = 300;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    QElapsedTimer clock;
    clock.start();
    c.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(dumpArrived(c), 5000);
    QVERIFY2(clock.elapsed() >= 650, qPrintable(QString::number(clock.elapsed())));
    // The pause falls between two whole lines, the split inside one; nothing is lost.
    QVERIFY2(c.longestGap(false) >= 350, qPrintable(QString::number(c.longestGap(false))));
    QVERIFY2(c.longestGap(true) >= 250, qPrintable(QString::number(c.longestGap(true))));
    QCOMPARE(c.lines(), sim.state().dump());

    // Every 10th other answer is split, its first half alone for the split pause.
    c.clear();
    c.send("?????????");
    QTRY_COMPARE_WITH_TIMEOUT(c.lines().size(), 9, 5000);
    QVERIFY(c.longestGap(true) == 0);
    c.clear();
    c.send("?");
    QTRY_COMPARE_WITH_TIMEOUT(c.lines(), QByteArrayList{"DEV33"}, 5000);
    QCOMPARE(c.pieces.first().second, QByteArray("DE"));
    QVERIFY(c.longestGap(true) >= 250);
}

void TstSimHarsh::nulOnlyBetweenLinesOfNetworkChunks() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.nulInChunk = true;
    f.splitPauseMs = 50;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(dumpArrived(c), 5000);
    const QByteArrayList dump = sim.state().dump();
    c.send("9H");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("HP9"), 5000);
    QVERIFY(c.received.count('\0') >= 3); // the two parts of the split dump and the answer
    // A NUL sits at a line's start; removed, the replies are whole.
    for (qsizetype at = c.received.indexOf('\0'); at >= 0; at = c.received.indexOf('\0', at + 1))
        QVERIFY2(at == 0 || c.received[at - 1] == '\n', qPrintable(QString::number(at)));
    QCOMPARE(c.lines().mid(0, dump.size()), dump);
    // In a chunk of several lines the NUL is inside it, after a line and before the next.
    const qsizetype inside = c.received.indexOf(QByteArray("\r\n\0", 3));
    QVERIFY(inside > 0 && c.received.at(inside + 3) != '\0');

    // UDP: one datagram per answer, the NUL in it; a serial line never gets one.
    sim.startUdp(0);
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    udp.writeDatagram("?", QHostAddress::LocalHost, sim.udpPort());
    QTRY_VERIFY_WITH_TIMEOUT(udp.hasPendingDatagrams(), 5000);
    QByteArray d(int(udp.pendingDatagramSize()), 'x');
    udp.readDatagram(d.data(), d.size());
    QCOMPARE(d, QByteArray("\0DEV33\r\n", 8));

    const int fd = ::open(sim.startPty().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QVERIFY(::write(fd, "?", 1) == 1);
    QByteArray serial;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            char buffer[64];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) serial.append(buffer, int(n));
            return serial.endsWith("\r\n");
        }(),
        5000);
    ::close(fd);
    QCOMPARE(serial, QByteArray("DEV33\r\n"));
}

void TstSimHarsh::streamKeepsItsRate() {
    ScalerSimulator sim(33);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    FaultSettings f;
    f.streamMs = 2;
    f.streamLines = 1;
    sim.setFaults(f);
    // Counted from the first line, over two seconds: 500 lines a second whatever the timer does.
    QTRY_VERIFY_WITH_TIMEOUT(!c.received.isEmpty(), 5000);
    const qint64 start = c.pieces.first().first;
    const qsizetype before = c.lines().size();
    QTRY_VERIFY_WITH_TIMEOUT(c.clock.elapsed() - start >= 2000, 10000);
    const double rate = double(c.lines().size() - before) * 1000.0 / double(c.clock.elapsed() - start);
    QVERIFY2(rate > 450 && rate < 550, qPrintable(QString::number(rate)));

    // The selected input's measurements, line and frame duration in turn, every line a change.
    const QByteArrayList lines = c.lines();
    for (int i = 1; i < 40; ++i) {
        QVERIFY2(lines[i].startsWith("ILD") || lines[i].startsWith("IFD"), lines[i].constData());
        QVERIFY(lines[i].left(3) != lines[i - 1].left(3));
        if (i >= 2) QVERIFY(lines[i] != lines[i - 2]);
    }
    f.streamMs = 0;
    sim.setFaults(f);
    c.clear();
    QTest::qWait(100);
    QVERIFY(c.received.isEmpty());
}

void TstSimHarsh::ignoredAndLostCommands() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.ignoreCommands = {QStringLiteral("H"), QStringLiteral("fm")};
    f.loseReplyCommands = {QStringLiteral("fM"), QStringLiteral("?")};
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("100H2fM?50V");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("VP50"), 5000);
    QCOMPARE(c.lines().first(), QByteArray("VP50")); // nothing for the ignored, the lost or the identity
    QCOMPARE(sim.value(VAR_HPOS), 128u);             // ignored: not applied
    QCOMPARE(sim.value(VAR_FAMODEM_), 2u);           // lost reply: applied all the same
    QCOMPARE(sim.commandCount(), 4);                 // every command was received
}

void TstSimHarsh::byteParser() {
    // The splitter alone, fed one byte at a time as a slow host sends.
    CommandSplitter splitter(CommandSplitter::deviceMnemonics());
    splitter.setByteParser(true);
    auto feedBytes = [&](const QByteArray &bytes) {
        QByteArrayList texts;
        for (const char b : bytes)
            for (const SimCommand &cmd : splitter.feed(QByteArray(1, b)))
                texts << cmd.text();
        return texts.join(' ');
    };
    QCOMPARE(feedBytes("100H"), QByteArray("100H"));
    QCOMPARE(feedBytes("10?0H"), QByteArray("? 0H"));
    QCOMPARE(feedBytes("120 H5V"), QByteArray("5V"));
    QCOMPARE(feedBytes("3 ?"), QByteArray("?"));
    QCOMPARE(feedBytes("1f?M7W"), QByteArray("? 7W"));
    QCOMPARE(feedBytes("#\r\n 8B"), QByteArray("# 8B")); // a blank between commands costs nothing
    QCOMPARE(splitter.pendingBytes(), 0);

    ScalerSimulator sim(40);
    FaultSettings f;
    f.byteParser = true;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("120 H");
    c.send("12?");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("DEV40"), 5000);
    QTest::qWait(50);
    QCOMPARE(c.lines(), QByteArrayList{"DEV40"});
    QCOMPARE(sim.value(VAR_HPOS), 128u);
    QCOMPARE(sim.commandLog().last(), QStringLiteral("?"));
}

// A host that lost the execute command's reply talks text while the frame memory waits for picture data.
void TstSimHarsh::rawReceiveUntilCan() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.rawUntilCan = true;
    f.loseReplyCommands = {QStringLiteral("fX")};
    sim.setFaults(f);
    const int fd = ::open(sim.startPty().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QByteArray received;
    auto readAll = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            received.append(buffer, int(n));
        return received;
    };
    QVERIFY(::write(fd, "2fM0fT1fX", 9) == 9);
    QTRY_VERIFY_WITH_TIMEOUT(readAll().contains(control(0x11)), 5000); // offered, though the reply was lost
    QVERIFY(!received.contains("FAEX"));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(::write(fd, "?#\r\n", 4) == 4);
        QTest::qWait(150);
    }
    QVERIFY(!readAll().contains("DEV"));
    QCOMPARE(sim.uploadsAborted(), 0);
    const QByteArray can = control(0x18);
    QVERIFY(::write(fd, can.constData(), 2) == 2);
    QTRY_COMPARE_WITH_TIMEOUT(sim.uploadsAborted(), 1, 5000);
    received.clear();
    QTest::qWait(50);
    QVERIFY(::write(fd, "?", 1) == 1);
    QTRY_COMPARE_WITH_TIMEOUT(readAll(), QByteArray("DEV33\r\n"), 5000);
    ::close(fd);
}

void TstSimHarsh::programOptions() {
    QProcess p;
    p.start(QStringLiteral(ORLAN_SIM_PATH), {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(10000));
    const QByteArray manual = p.readAllStandardOutput();
    for (const char *option :
         {"--harsh", "--odd-values", "--reset-dump", "--dump-pause", "--split-pause", "--nul-in-chunk",
          "--stream", "--ignore", "--lose-reply", "--byte-parser", "--raw-until-can"})
        QVERIFY2(manual.contains(option), option);

    const QList<QStringList> bad{{QStringLiteral("--dump-pause"), QStringLiteral("500-200")},
                                 {QStringLiteral("--stream"), QStringLiteral("10:0")},
                                 {QStringLiteral("--stream"), QStringLiteral("x")},
                                 {QStringLiteral("--split-pause"), QStringLiteral("-1")},
                                 {QStringLiteral("--ignore"), QStringLiteral("1H")},
                                 {QStringLiteral("--lose-reply"), QStringLiteral("H,,V")}};
    for (const QStringList &args : bad) {
        p.start(QStringLiteral(ORLAN_SIM_PATH), args);
        QVERIFY(p.waitForFinished(10000));
        QVERIFY2(p.exitCode() == 2, qPrintable(args.join(' ')));
    }

    // --harsh with options that add to it: no stream (so the dump is alone), HPOS ignored, long replies.
    p.start(QStringLiteral(ORLAN_SIM_PATH),
            {QStringLiteral("--harsh"), QStringLiteral("--stream"), QStringLiteral("0"),
             QStringLiteral("--ignore"), QStringLiteral("H"), QStringLiteral("--long-replies"),
             QStringLiteral("--input"), QStringLiteral("3"), QStringLiteral("--tcp-port"),
             QStringLiteral("0"), QStringLiteral("--no-udp")});
    QVERIFY(p.waitForStarted(10000));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains('\n'), 10000);
    TcpClient c;
    QVERIFY(c.connectTo(quint16(out.mid(out.lastIndexOf(':') + 1).trimmed().toUInt())));
    c.send("9H#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(dumpArrived(c), 10000);
    const QByteArrayList lines = c.lines();
    QVERIFY(c.received.contains('\0'));
    QVERIFY(lines.contains("PCH0") && !lines.contains("PCH1") && !lines.contains("ADIP1"));
    QVERIFY(lines.contains("OTYP0") && lines.contains("COL4294967291") && lines.contains("CH3"));
    QVERIFY(lines.contains("HP128") && !lines.contains("HP9"));
    QVERIFY(c.longestGap(false) >= 150);
    QVERIFY(c.longestGap(true) >= 250);
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TstSimHarsh)
#include "tst_sim_harsh.moc"
