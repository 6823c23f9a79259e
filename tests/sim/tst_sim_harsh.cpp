// The simulator as harsh as the protocol allows: what each behaviour puts on the wire, checked through
// loopback sockets and a pseudo-terminal.
#include "CommandSplitter.h"
#include "DeviceVariables.h"
#include "ScalerSimulator.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
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
    // The longest silence after a piece that left the text inside a line (or at a line end).
    qint64 longestGap(bool midLine) const {
        qint64 gap = 0;
        QByteArray sofar;
        for (int i = 0; i + 1 < pieces.size(); ++i) {
            sofar += pieces[i].second;
            if (sofar.endsWith('\0')) sofar.chop(1);
            if (sofar.endsWith("\r\n") != midLine) gap = std::max(gap, pieces[i + 1].first - pieces[i].first);
        }
        return gap;
    }
    // The debug data line ends a dump.
    bool hasDump() const { return received.endsWith("\r\n") && lines().last().startsWith("DDBG"); }
};

bool readInto(int fd, QByteArray &received) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        received.append(buffer, int(n));
    return true;
}

} // namespace

class TstSimHarsh : public QObject {
    Q_OBJECT
  private slots:
    void oddValuesAndResetDump_data();
    void oddValuesAndResetDump();
    void pausesSplitsAndNuls();
    void streamKeepsItsRate();
    void ignoredLostAndByteParsedCommands();
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
    QTRY_VERIFY_WITH_TIMEOUT(c.hasDump(), 5000);
    QByteArrayList lines = c.lines();
    for (const QByteArray &odd : {QByteArray("OTYP0"), QByteArray("ACH0"), QByteArray("AMOD2"),
                                  QByteArray("COL-5"), QByteArray("ORTM4"), QByteArray("REFR0"), format})
        QVERIFY2(lines.contains(odd), odd.constData());
    // One report for all inputs, and no address slot.
    const qsizetype pch = lines.indexOf("PCH0");
    QCOMPARE(lines.mid(pch, 3), (QByteArrayList{"PCH0", "PEN1", "PRGB0"}));
    for (const QByteArray &l : lines)
        for (const char *other : {"PCH", "ADIP", "IPA_", "IPB_", "IPC_", "IPD_", "PORT"})
            QVERIFY2(!l.startsWith(other) || l == "PCH0", l.constData());

    // The values are held: a write replaces one, the next dump still has the others; PCHAN 0 stays in force.
    c.send("2oY1RC0PE");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("PEN0"), 5000);
    c.clear();
    c.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(c.hasDump(), 5000);
    lines = c.lines();
    QVERIFY(lines.contains("ACH1") && lines.contains("OTYP2"));
    QVERIFY(lines.contains("AMOD2") && lines.contains("COL-5") && lines.contains(format));
    for (int in = 1; in <= sim.inputCount(); ++in)
        QCOMPARE(sim.state().inputValue(VAR_PENA, in), 0u);
}

void TstSimHarsh::pausesSplitsAndNuls() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.dumpPauseMinMs = f.dumpPauseMaxMs = 400;
    f.splitPauseMs = 300;
    f.nulInChunk = true;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("#\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(c.hasDump(), 5000);
    // The pause falls between two whole lines, the split inside one; without the NULs nothing is lost.
    QVERIFY2(c.longestGap(false) >= 350, qPrintable(QString::number(c.longestGap(false))));
    QVERIFY2(c.longestGap(true) >= 250, qPrintable(QString::number(c.longestGap(true))));
    QCOMPARE(c.lines(), sim.state().dump());
    // A NUL only at a line's start, and inside a chunk of several lines.
    QVERIFY(c.received.count('\0') >= 3);
    for (qsizetype at = c.received.indexOf('\0'); at >= 0; at = c.received.indexOf('\0', at + 1))
        QVERIFY2(at == 0 || c.received[at - 1] == '\n', qPrintable(QString::number(at)));
    const qsizetype inside = c.received.indexOf(QByteArray("\r\n\0", 3));
    QVERIFY(inside > 0 && c.received.at(inside + 3) != '\0');

    // Every 10th other answer is split: its first half waits alone.
    c.clear();
    c.send("?????????");
    QTRY_COMPARE_WITH_TIMEOUT(c.lines().size(), 9, 5000);
    QCOMPARE(c.longestGap(true), 0);
    c.clear();
    c.send("?");
    QTRY_COMPARE_WITH_TIMEOUT(c.lines(), QByteArrayList{"DEV33"}, 5000);
    QCOMPARE(c.pieces.first().second, QByteArray("\0DE", 3));
    QVERIFY(c.longestGap(true) >= 250);

    // A UDP datagram carries its NUL; a serial line never gets one.
    QUdpSocket udp;
    QVERIFY(sim.startUdp(0) && udp.bind(QHostAddress::LocalHost, 0));
    udp.writeDatagram("?", QHostAddress::LocalHost, sim.udpPort());
    QTRY_VERIFY_WITH_TIMEOUT(udp.hasPendingDatagrams(), 5000);
    QCOMPARE(udp.receiveDatagram().data(), QByteArray("\0DEV33\r\n", 8));
    const int fd = ::open(sim.startPty().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0 && ::write(fd, "?", 1) == 1);
    QByteArray serial;
    QTRY_VERIFY_WITH_TIMEOUT(readInto(fd, serial) && serial.endsWith("\r\n"), 5000);
    ::close(fd);
    QCOMPARE(serial, QByteArray("DEV33\r\n"));
}

void TstSimHarsh::streamKeepsItsRate() {
    ScalerSimulator sim(33);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    FaultSettings f;
    f.streamMs = 2;
    sim.setFaults(f);
    // Counted from the first line, over two seconds: 500 lines a second whatever the timer does.
    QTRY_VERIFY_WITH_TIMEOUT(!c.received.isEmpty(), 5000);
    const qint64 start = c.pieces.first().first;
    const qsizetype before = c.lines().size();
    QTRY_VERIFY_WITH_TIMEOUT(c.clock.elapsed() - start >= 2000, 10000);
    const double rate = double(c.lines().size() - before) * 1000.0 / double(c.clock.elapsed() - start);
    QVERIFY2(rate > 450 && rate < 550, qPrintable(QString::number(rate)));
    // Line and frame duration of the selected input in turn, each line a change.
    const QByteArrayList lines = c.lines();
    for (int i = 2; i < 40; ++i) {
        QVERIFY2(lines[i].startsWith("ILD") || lines[i].startsWith("IFD"), lines[i].constData());
        QVERIFY(lines[i].left(3) != lines[i - 1].left(3) && lines[i] != lines[i - 2]);
    }
    f.streamMs = 0;
    sim.setFaults(f);
    c.clear();
    QTest::qWait(100);
    QVERIFY(c.received.isEmpty());
}

void TstSimHarsh::ignoredLostAndByteParsedCommands() {
    // Fed one byte at a time, as a slow host sends.
    CommandSplitter splitter(CommandSplitter::deviceMnemonics());
    splitter.setByteParser(true);
    QByteArrayList texts;
    for (const char b : QByteArray("10?0H120 H5V1f?M#\r\n 8B"))
        for (const SimCommand &cmd : splitter.feed(QByteArray(1, b)))
            texts << cmd.text();
    QCOMPARE(texts.join(' '), QByteArray("? 0H 5V ? # 8B"));

    ScalerSimulator sim(33);
    FaultSettings f;
    f.ignoreCommands = {QStringLiteral("H"), QStringLiteral("fm")}; // case as received: "fM" is not "fm"
    f.loseReplyCommands = {QStringLiteral("fM"), QStringLiteral("W")};
    f.byteParser = true;
    sim.setFaults(f);
    TcpClient c;
    QVERIFY(c.connectTo(sim.startTcp(0)));
    c.send("100H2fM120 V50W12?");
    QTRY_VERIFY_WITH_TIMEOUT(c.lines().contains("DEV33"), 5000);
    // Nothing for the ignored, the lost or the spoiled command; the lost one's store report still comes.
    QCOMPARE(c.lines(), (QByteArrayList{"STO1", "DEV33"}));
    QCOMPARE(sim.value(VAR_HPOS), 128u);
    QCOMPARE(sim.value(VAR_FAMODEM_), 2u);
    QCOMPARE(sim.value(VAR_VPOS), 128u);
    QCOMPARE(sim.value(VAR_HSIZ), 50u);
    QCOMPARE(sim.commandLog(), (QStringList{"100H", "2fM", "50W", "?"}));
}

// A host that lost the execute command's reply talks text while the frame memory waits for picture data.
void TstSimHarsh::rawReceiveUntilCan() {
    ScalerSimulator sim(33);
    FaultSettings f;
    f.rawUntilCan = true;
    f.loseReplyCommands = {QStringLiteral("fX")};
    sim.setFaults(f);
    const int fd = ::open(sim.startPty().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0 && ::write(fd, "2fM0fT1fX", 9) == 9);
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT(readInto(fd, received) && received.endsWith("\x1B\x11"), 5000);
    QVERIFY(!received.contains("FAEX"));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(::write(fd, "?#\r\n", 4) == 4);
        QTest::qWait(150);
    }
    readInto(fd, received);
    QVERIFY(!received.contains("DEV"));
    QCOMPARE(sim.uploadsAborted(), 0);
    QVERIFY(::write(fd, "\x1B\x18", 2) == 2);
    QTRY_COMPARE_WITH_TIMEOUT(sim.uploadsAborted(), 1, 5000);
    QTest::qWait(50);
    received.clear();
    QVERIFY(::write(fd, "?", 1) == 1);
    QTRY_COMPARE_WITH_TIMEOUT((readInto(fd, received), received), QByteArray("DEV33\r\n"), 5000);
    ::close(fd);
}

void TstSimHarsh::programOptions() {
    QProcess p;
    for (const QStringList &args :
         QList<QStringList>{{QStringLiteral("--dump-pause"), QStringLiteral("500-200")},
                            {QStringLiteral("--stream"), QStringLiteral("10:0")},
                            {QStringLiteral("--ignore"), QStringLiteral("1H")}}) {
        p.start(QStringLiteral(ORLAN_SIM_PATH), args);
        QVERIFY(p.waitForFinished(10000));
        QVERIFY2(p.exitCode() == 2, qPrintable(args.join(' ')));
    }

    // --harsh with options that add to it: no stream (the dump comes alone), HPOS ignored, long replies.
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
    QTRY_VERIFY_WITH_TIMEOUT(c.hasDump(), 10000);
    const QByteArrayList lines = c.lines();
    QVERIFY(c.received.contains('\0') && c.longestGap(false) >= 150 && c.longestGap(true) >= 250);
    QVERIFY(lines.contains("PCH0") && !lines.contains("PCH1") && !lines.contains("ADIP1"));
    QVERIFY(lines.contains("OTYP0") && lines.contains("COL4294967291") && lines.contains("CH3"));
    QVERIFY(lines.contains("HP128") && !lines.contains("HP9"));
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TstSimHarsh)
#include "tst_sim_harsh.moc"
