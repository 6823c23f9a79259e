#include "ComPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

// A pseudo-terminal pair: the component opens the slave by name, the test is the peer on the master.
// The test keeps its own slave descriptor open so the pair survives the component's close and reopen.
class Pty {
  public:
    Pty() {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) return;
        termios raw{};
        tcgetattr(m_slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_slave, TCSANOW, &raw);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(name);
    }
    ~Pty() {
        closeMaster();
        if (m_slave >= 0) ::close(m_slave);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool send(const QByteArray &data) const {
        return ::write(m_master, data.constData(), data.size()) == data.size();
    }
    QByteArray take() const {
        QByteArray got;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(m_master, buf, sizeof buf)) > 0)
            got.append(buf, n);
        return got;
    }
    // The master reports the slave's line settings.
    termios lineSettings() const {
        termios t{};
        tcgetattr(m_master, &t);
        return t;
    }
    void closeMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

    QString path;

  private:
    int m_master = -1;
    int m_slave = -1;
};

struct EnvGuard {
    explicit EnvGuard(const char *name, const QByteArray &value) : name(name) { qputenv(name, value); }
    ~EnvGuard() { qunsetenv(name); }
    const char *name;
};

// Checks that bytes flow from the peer to the callback of an open port.
void checkDataFlows(TComPort &port, Pty &pty) {
    QList<QByteArray> got;
    port.SetReceiveMode(rmRAW);
    port.ReceiveCallBack = [&](const QByteArray &data) { got << data; };
    QVERIFY(pty.send("ping"));
    QTRY_COMPARE_WITH_TIMEOUT(got.join(), QByteArray("ping"), 2000);
    port.ReceiveCallBack = nullptr;
}

} // namespace

class TestComPort : public QObject {
    Q_OBJECT

  private slots:
    void openFailureNamesThePort_data();
    void openFailureNamesThePort();
    void deviceIsOpenedExclusively();
    void resolvePortName_data();
    void resolvePortName();
    void resolvedNamesOpenTheDevice();
    void lineSettings();
    void termModeDeliversOneLinePerDataEvent();
    void rawModePassesEveryByteUnchanged();
    void dataArrivingDuringHandlerFollowsIt();
    void writeReachesPeerOnlyWhileOpen();
    void terminatorText_data();
    void terminatorText();
    void openCloseEventsAndCycles();
    void handlersMayCloseOrReplaceThemselves();
    void vanishedDeviceIsReportedOnceAndClosed();
};

void TestComPort::openFailureNamesThePort_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("override");
    QTest::newRow("missing path") << "/nonexistent/oxs-tty" << QByteArray();
    QTest::newRow("COM name, overridden") << "COM9" << QByteArray("/nonexistent/oxs-com9");
    QTest::newRow("empty") << "" << QByteArray();
}

void TestComPort::openFailureNamesThePort() {
    QFETCH(QString, name);
    QFETCH(QByteArray, override);
    EnvGuard env("OXS_COM9", override);
    TComPort port;
    int opens = 0;
    port.OnPortOpen = [&](TComPort *) { ++opens; };
    port.SetPort(name);
    try {
        port.Open();
        QFAIL("Open succeeded");
    } catch (const EComError &e) {
        const QString prefix = "TCOMPORT : cannot open " + name + "\r";
        const QString message = QString::fromStdString(e.what());
        QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
    }
    QVERIFY(!port.Opened());
    QCOMPARE(opens, 0);
    QCOMPARE(port.Port(), name);
}

void TestComPort::deviceIsOpenedExclusively() {
    Pty pty;
    TComPort first, second;
    first.SetPort(pty.path);
    second.SetPort(pty.path);
    first.Open();
    QVERIFY_THROWS_EXCEPTION(EComError, second.Open());
    QVERIFY(!second.Opened());
    checkDataFlows(first, pty);
}

void TestComPort::resolvePortName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("override"); // value of OXS_COM3
    QTest::addColumn<QString>("path");
    QTest::newRow("COM1") << "COM1" << QByteArray() << "/dev/ttyS0";
    QTest::newRow("device form") << "\\\\.\\COM3" << QByteArray() << "/dev/ttyS2";
    QTest::newRow("lower case") << "com3" << QByteArray() << "/dev/ttyS2";
    QTest::newRow("overridden") << "COM3" << QByteArray("/dev/pts/7") << "/dev/pts/7";
    QTest::newRow("other port's override") << "COM13" << QByteArray("/dev/pts/7") << "/dev/ttyS12";
    QTest::newRow("path") << "/dev/ttyUSB0" << QByteArray() << "/dev/ttyUSB0";
    QTest::newRow("COM0 is a path") << "COM0" << QByteArray() << "COM0";
    QTest::newRow("trailing text") << "COM3x" << QByteArray("/dev/pts/7") << "COM3x";
}

void TestComPort::resolvePortName() {
    QFETCH(QString, name);
    QFETCH(QByteArray, override);
    QFETCH(QString, path);
    EnvGuard env("OXS_COM3", override);
    QCOMPARE(TComPort::ResolvePortName(name), path);
}

void TestComPort::resolvedNamesOpenTheDevice() {
    Pty pty;
    EnvGuard env("OXS_COM7", pty.path.toLocal8Bit());
    TComPort port;
    port.SetPort("\\\\.\\COM7");
    port.Open();
    QVERIFY(port.Opened());
    QCOMPARE(port.Port(), QString("\\\\.\\COM7"));
    checkDataFlows(port, pty);
    port.Close();

    // A relative name is relative to the working folder, not to /dev.
    QTemporaryDir dir;
    QVERIFY(QFile::link(pty.path, dir.filePath("scaler")));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    port.SetPort("scaler");
    try {
        port.Open();
    } catch (const EComError &e) {
        QDir::setCurrent(previous);
        QFAIL(e.what());
    }
    QDir::setCurrent(previous);
    QVERIFY(port.Opened());
    checkDataFlows(port, pty);
}

void TestComPort::lineSettings() {
    Pty pty;
    TComPort port;
    port.SetPort(pty.path);
    int closes = 0;
    port.OnPortClose = [&](TComPort *) { ++closes; };
    // A pseudo-terminal only does 8 data bits; a refused setting must not fail the open.
    port.SetDataBits(7);
    port.Open();
    termios t = pty.lineSettings();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));

    // Baud applies at once without closing; stop bits wait for the next open.
    port.SetStopBits(snTWO);
    port.SetBaud(57600);
    t = pty.lineSettings();
    QCOMPARE(cfgetospeed(&t), speed_t(B57600));
    QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(0));
    QVERIFY(port.Opened());
    QCOMPARE(closes, 0);
    checkDataFlows(port, pty);

    port.Close();
    port.Open();
    t = pty.lineSettings();
    QCOMPARE(cfgetospeed(&t), speed_t(B57600));
    QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));
}

void TestComPort::termModeDeliversOneLinePerDataEvent() {
    Pty pty;
    TComPort port;
    port.SetPort(pty.path);
    QList<QByteArray> lines;
    port.ReceiveCallBack = [&](const QByteArray &data) { lines << data; };
    port.Open();

    QVERIFY(pty.send("AB\r\nCD\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 1, 2000);
    QCOMPARE(lines[0], QByteArray("AB\r\n"));
    QTest::qWait(50);
    QCOMPARE(lines.size(), 1); // the second line waits for more data
    QVERIFY(pty.send("E"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 2, 2000);
    QCOMPARE(lines[1], QByteArray("CD\r\n"));
    QVERIFY(pty.send("F\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 3, 2000);
    QCOMPARE(lines[2], QByteArray("EF\r\n"));

    // A lone CR is not the CR LF terminator; another terminator cuts elsewhere.
    QVERIFY(pty.send("G\rH\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 4, 2000);
    QCOMPARE(lines[3], QByteArray("G\rH\r\n"));
    port.SetTerminator("#59");
    QVERIFY(pty.send("x=1;y"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 5, 2000);
    QCOMPARE(lines[4], QByteArray("x=1;"));

    // An unfinished line does not survive into the next session.
    port.Close();
    port.Open();
    QVERIFY(pty.send("z;"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 6, 2000);
    QCOMPARE(lines[5], QByteArray("z;"));
}

void TestComPort::rawModePassesEveryByteUnchanged() {
    Pty pty;
    TComPort port;
    port.SetPort(pty.path);
    port.SetReceiveMode(rmRAW);
    QList<QByteArray> chunks;
    port.ReceiveCallBack = [&](const QByteArray &data) { chunks << data; };
    port.Open();

    QByteArray sent("HP5\r\n\r\n", 7);
    sent.append('\0').append('\0');
    for (int i = 0; i < 256; ++i)
        sent.append(char(i));
    sent.append("\r\n\x1b\x11\x13\x7f", 7); // line-discipline and flow-control characters
    QVERIFY(pty.send(sent));
    QTRY_COMPARE_WITH_TIMEOUT(chunks.join(), sent, 2000);
    for (const QByteArray &chunk : chunks)
        QVERIFY(!chunk.isEmpty());
}

void TestComPort::dataArrivingDuringHandlerFollowsIt() {
    Pty pty;
    TComPort port;
    port.SetPort(pty.path);
    port.SetReceiveMode(rmRAW);
    port.SetWinQSizeIn(16);
    QByteArray got;
    bool first = true;
    port.ReceiveCallBack = [&](const QByteArray &data) {
        got += data;
        if (!std::exchange(first, false)) return;
        // A modal dialog's event loop while more than a queue's worth arrives.
        QEventLoop loop;
        QTimer::singleShot(10, [&] { pty.send(QByteArray(100, 'b')); });
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    };
    port.Open();
    QVERIFY(pty.send("a"));
    QTRY_COMPARE_WITH_TIMEOUT(got, "a" + QByteArray(100, 'b'), 2000);
}

void TestComPort::writeReachesPeerOnlyWhileOpen() {
    Pty pty;
    TComPort port;
    port.SetPort(pty.path);
    port.Write("lost");
    port.Open();
    QByteArray got;
    port.Write(QByteArray("1234H\0\xff", 7));
    QTRY_COMPARE_WITH_TIMEOUT((got += pty.take()), QByteArray("1234H\0\xff", 7), 2000);

    // A large block arrives whole and in order.
    QByteArray block(20000, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 7);
    got.clear();
    port.Write(block);
    QTRY_COMPARE_WITH_TIMEOUT((got += pty.take()), block, 2000);

    port.Close();
    port.Write("lost");
    QTest::qWait(50);
    QCOMPARE(pty.take(), QByteArray());
}

void TestComPort::terminatorText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("terminator"); // read back afterwards, starting from "#59"
    QTest::addColumn<QString>("error");
    const QString illegal =
        "Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>\rexample: #13#10";
    const QString empty = "Terminator string cannot be empty!";
    const auto row = [](const char *name, const QString &text, const QString &terminator,
                        const QString &error) { QTest::newRow(name) << text << terminator << error; };
    row("CR", "#13", "#13", {});
    row("CR LF", "#13#10", "#13#10", {});
    row("hexadecimal", "#$0d#$0A", "#13#10", {});
    row("trailing #", "#65#66#", "#65#66", {});
    row("modulo 256", "#256#300", "#0#44", {});
    row("first character dropped", "x3#10", "#3#10", {});
    row("not a number", "#1x", "#13#10", illegal);
    row("empty item", "#13##10", "#13#10", illegal);
    row("space", "# 13", "#13#10", illegal);
    row("beyond 32 bits", "#4294967296", "#13#10", illegal);
    row("only #", "#", "", empty);
    row("nothing", "", "", empty);
}

void TestComPort::terminatorText() {
    QFETCH(QString, text);
    QFETCH(QString, terminator);
    QFETCH(QString, error);
    TComPort port;
    QCOMPARE(port.Terminator(), QString("#13#10"));
    port.SetTerminator("#59");
    QString raised;
    try {
        port.SetTerminator(text);
    } catch (const EComError &e) {
        raised = QString::fromStdString(e.what());
    }
    QCOMPARE(raised, error);
    QCOMPARE(port.Terminator(), terminator);
}

void TestComPort::openCloseEventsAndCycles() {
    Pty pty;
    QList<QString> events;
    auto owned = std::make_unique<TComPort>();
    TComPort *port = owned.get();
    port->SetPort(pty.path);
    port->OnPortOpen = [&](TComPort *sender) {
        events << (sender == port && sender->Opened() ? "open" : "?");
    };
    port->OnPortClose = [&](TComPort *sender) {
        events << (sender == port && !sender->Opened() ? "close" : "?");
    };

    port->Close();
    for (int cycle = 0; cycle < 3; ++cycle) {
        port->Open();
        port->Open();
        checkDataFlows(*port, pty);
        port->Close();
        port->Close();
    }
    QCOMPARE(events, QList<QString>({"open", "close", "open", "close", "open", "close"}));

    // Destroying an open port closes it and frees the device.
    events.clear();
    port->Open();
    owned.reset();
    QCOMPARE(events, QList<QString>({"open", "close"}));
    TComPort next;
    next.SetPort(pty.path);
    next.Open();
    checkDataFlows(next, pty);
}

void TestComPort::handlersMayCloseOrReplaceThemselves() {
    Pty pty;
    TComPort port;
    port.SetPort(pty.path);
    QList<QByteArray> got;
    port.ReceiveCallBack = [&](const QByteArray &data) {
        got << data;
        port.ReceiveCallBack = nullptr; // destroys the running handler's original
        port.Close();
    };
    port.Open();
    QVERIFY(pty.send("A\r\nB\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!port.Opened(), 2000);
    QCOMPARE(got, QList<QByteArray>({"A\r\n"}));

    port.Open();
    checkDataFlows(port, pty);
}

void TestComPort::vanishedDeviceIsReportedOnceAndClosed() {
    Pty pty;
    TComPort port;
    port.SetPort(pty.path);
    int errors = 0, closes = 0, lineEvents = 0;
    port.OnError = [&](TComPort *sender) {
        QVERIFY(sender == &port);
        ++errors;
    };
    port.OnPortClose = [&](TComPort *) { ++closes; };
    const TStatusChanged line = [&](bool) { ++lineEvents; };
    port.OnCTSChanged = port.OnDSRChanged = port.OnRLSDChanged = port.OnRingChanged = line;
    port.Open();
    port.Write("x");

    // A pseudo-terminal has no modem lines: that is neither an error nor a line change.
    QTest::qWait(300);
    QCOMPARE(errors, 0);
    QCOMPARE(lineEvents, 0);
    QVERIFY(port.Opened());

    pty.closeMaster();
    port.Write("after hang-up");
    QTRY_VERIFY_WITH_TIMEOUT(!port.Opened(), 2000);
    QTest::qWait(50);
    QCOMPARE(errors, 1);
    QCOMPARE(closes, 1);
    port.Write("closed");
}

QTEST_GUILESS_MAIN(TestComPort)
#include "tst_comport.moc"
