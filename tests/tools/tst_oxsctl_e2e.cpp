// The oxsctl program against the scaler simulator over loopback TCP and UDP and a pseudo-terminal.
// Commands run one after the other, each well under a second; the runs that take seconds by design
// (--paced, watch) start in initTestCase and are collected at the end.

#include "DeviceVariables.h"
#include "ScalerSimulator.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>

using namespace OrlanVars;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitPortFailed = 3;
constexpr int kExitNoScaler = 4;
constexpr int kExitUnknownVariable = 5;
constexpr int kExitBadValue = 6;
constexpr int kExitWrongAccess = 7;
constexpr int kExitBadPicture = 9;
constexpr int kExitScalerAborted = 10;
constexpr int kExitBadBackup = 12;
constexpr int kExitWrongModel = 13;
constexpr int kExitNotRestored = 14;
constexpr int kExitInterrupted = 130;

// Generous for a sanitizer build on a busy machine; the real figures are far below.
constexpr qint64 kQuickMs = 3000;

struct Run {
    QProcess *process = nullptr;
    QElapsedTimer clock;
    qint64 elapsedMs = -1;
    QString out;
    QString err;
    int code = -1;
    bool done = false;
};

} // namespace

class TstOxsctlE2e : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();

    void statusQuickly();
    void getOverUdpQuickly();
    void setOverSerialQuickly();
    void jsonOutput();
    void sendRawText();
    void helpAndVersion();
    void rangeRefusalSendsNothing();
    void failures_data();
    void failures();
    void watchJsonPrintsChangesOnly();
    void watchEndsOnSigterm();
    void pacedKeepsTheWindowsPace();
    void uploadOverSerial();
    void backupChangeRestore_data();
    void backupChangeRestore();
    void restoreRefusesAndReports();
    void quietPrintsValuesOnly();

  private:
    void launch(const QString &name, const QStringList &args);
    // Waits for the run to end and collects its output.
    bool collect(const QString &name, Run *&run);
    bool runNow(const QString &name, const QStringList &args, Run *&run) {
        launch(name, args);
        return collect(name, run);
    }

    OxsSim::ScalerSimulator m_sim{33};
    OxsSim::ScalerSimulator m_silent{40};
    OxsSim::ScalerSimulator m_untouched{32};
    QMap<QString, Run> m_runs;
    QString m_tcp;
    QString m_udp;
    QString m_pty;
    QString m_silentTcp;
    QString m_untouchedTcp;
    QString m_closedTcp;
};

void TstOxsctlE2e::launch(const QString &name, const QStringList &args) {
    Run &run = m_runs[name];
    run.process = new QProcess(this);
    connect(run.process, &QProcess::finished, this, [&run] { run.elapsedMs = run.clock.elapsed(); });
    run.clock.start();
    run.process->start(QStringLiteral(OXSCTL_PATH), args);
}

bool TstOxsctlE2e::collect(const QString &name, Run *&run) {
    run = &m_runs[name];
    if (!run->done) {
        QProcess *p = run->process;
        if (p->state() != QProcess::NotRunning) {
            QEventLoop loop;
            QTimer::singleShot(40000, &loop, &QEventLoop::quit);
            connect(p, &QProcess::finished, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (p->state() != QProcess::NotRunning || p->exitStatus() != QProcess::NormalExit) {
            qWarning("%s: still running or crashed; stderr: %s", qPrintable(name),
                     p->readAllStandardError().constData());
            return false;
        }
        run->out += QString::fromUtf8(p->readAllStandardOutput());
        run->err += QString::fromUtf8(p->readAllStandardError());
        run->code = p->exitCode();
        run->done = true;
    }
    return true;
}

void TstOxsctlE2e::initTestCase() {
    QString error;
    const quint16 tcp = m_sim.startTcp(0, QHostAddress::LocalHost, &error);
    const quint16 udp = m_sim.startUdp(0, QHostAddress::LocalHost, &error);
    m_pty = m_sim.startPty(&error);
    QVERIFY2(tcp && udp && !m_pty.isEmpty(), qPrintable(error));
    OxsSim::FaultSettings silent;
    silent.silent = true;
    m_silent.setFaults(silent);
    const quint16 silentTcp = m_silent.startTcp(0, QHostAddress::LocalHost, &error);
    QVERIFY2(silentTcp, qPrintable(error));
    const quint16 untouchedTcp = m_untouched.startTcp(0, QHostAddress::LocalHost, &error);
    QVERIFY2(untouchedTcp, qPrintable(error));
    quint16 closedPort = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        closedPort = server.serverPort();
    }
    const auto endpoint = [](quint16 port) { return QStringLiteral("127.0.0.1:%1").arg(port); };
    m_tcp = endpoint(tcp);
    m_udp = endpoint(udp);
    m_silentTcp = endpoint(silentTcp);
    m_untouchedTcp = endpoint(untouchedTcp);
    m_closedTcp = endpoint(closedPort);

    // Seconds by design: they run beside the quick ones.
    launch("paced", {"--tcp", m_tcp, "--paced", "status"});
    launch("watch", {"--tcp", m_tcp, "watch"});
    launch("watch json", {"--tcp", m_tcp, "watch", "--json", "--timeout", "4.5"});
}

void TstOxsctlE2e::cleanupTestCase() {
    for (Run &run : m_runs) {
        if (run.process && run.process->state() != QProcess::NotRunning) {
            run.process->kill();
            run.process->waitForFinished(5000);
        }
    }
}

void TstOxsctlE2e::statusQuickly() {
    Run *run = nullptr;
    QVERIFY(runNow("status", {"--tcp", m_tcp, "status"}, run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QStringLiteral("DEV=33\nMODEL=Orlan Plus\nVERSION=%1.%2\nLINK=TCP %3\n")
                           .arg(m_sim.value(VAR_VERUPD) / 100)
                           .arg(m_sim.value(VAR_VERUPD) % 100)
                           .arg(m_tcp));
    QCOMPARE(run->err, QString());
    QVERIFY2(run->elapsedMs < kQuickMs, qPrintable(QString::number(run->elapsedMs)));
}

void TstOxsctlE2e::getOverUdpQuickly() {
    Run *run = nullptr;
    QVERIFY(runNow(
        "get", {"--udp", m_udp, "--local-port", "0", "get", "vpos", "Color", "UNITY", "local_ip", "NETMASK"},
        run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QStringLiteral("VPOS=%1\nCOLOR=%2\nUNITy=%3\nLOCAL_IP=%4\nNETMASK=255.255.255.0\n")
                           .arg(m_sim.value(VAR_VPOS))
                           .arg(m_sim.value(VAR_COLOR))
                           .arg(m_sim.value(VAR_UNITy))
                           .arg(m_sim.state().address(1)));
    QVERIFY2(run->elapsedMs < kQuickMs, qPrintable(QString::number(run->elapsedMs)));
}

void TstOxsctlE2e::setOverSerialQuickly() {
    Run *run = nullptr;
    QVERIFY(runNow("set", {"--serial", m_pty, "set", "HUE=200", "oblack=true", "REMOTE_PORT=0xFA0"}, run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QString("HUE=200\nOBLACK=1\nREMOTE_PORT=4000\n"));
    QCOMPARE(run->err, QString());
    QCOMPARE(m_sim.value(VAR_HUE), 200u);
    QCOMPARE(m_sim.value(VAR_OBLACK), 1u);
    QCOMPARE(m_sim.state().port(2), quint16(4000));
    QVERIFY2(run->elapsedMs < kQuickMs, qPrintable(QString::number(run->elapsedMs)));
}

void TstOxsctlE2e::jsonOutput() {
    Run *run = nullptr;
    QVERIFY(runNow("dump", {"--tcp", m_tcp, "dump", "--json"}, run));
    QCOMPARE(run->code, kExitOk);
    QJsonParseError error;
    QJsonObject o = QJsonDocument::fromJson(run->out.toUtf8(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    // every variable but the "$" and "#" markers, which the simulator never reports
    QCOMPARE(o.size(), 86);
    QVERIFY(!o.contains("DOLLARS") && !o.contains("queryall"));
    QCOMPARE(o.value("DEV").toInt(), 33);
    QCOMPARE(o.value("UNITy").toInt(), int(m_sim.value(VAR_UNITy)));
    QCOMPARE(o.value("GATEWAY_IP").toString(), m_sim.state().address(3));
    QVERIFY(o.value("EPD").isBool());

    QVERIFY(runNow("status json", {"--tcp", m_tcp, "--json", "status"}, run));
    QCOMPARE(run->code, kExitOk);
    o = QJsonDocument::fromJson(run->out.toUtf8(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(run->out));
    QCOMPARE(o.value("DEV").toInt(), 33);
    QCOMPARE(o.value("MODEL").toString(), QString("Orlan Plus"));
    QCOMPARE(o.value("LINK").toString(), "TCP " + m_tcp);
}

// Replies to the text arrive before the driver asks for every variable, so only they (and the scaler's
// own reports) are printed.
void TstOxsctlE2e::sendRawText() {
    Run *run = nullptr;
    QVERIFY(runNow("send", {"--tcp", m_tcp, "send", "?"}, run));
    QCOMPARE(run->code, kExitOk);
    const QStringList lines = run->out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.contains("DEV33"), qPrintable(run->out));
    QVERIFY2(!lines.contains("UNIT2700"), qPrintable(run->out)); // no report of every variable
}

void TstOxsctlE2e::helpAndVersion() {
    Run *run = nullptr;
    QVERIFY(runNow("help get", {"help", "get"}, run));
    QCOMPARE(run->code, kExitOk);
    QVERIFY2(run->out.startsWith("oxsctl get - ") && run->out.contains("get NAME..."), qPrintable(run->out));
    QVERIFY(runNow("set --help", {"set", "--help"}, run));
    QCOMPARE(run->code, kExitOk);
    // the signed COLOR takes the picture values' range like the others
    QVERIFY2(run->out.startsWith("oxsctl set - ") &&
                 QRegularExpression("\n +0 to 255 +HPOS [^\n]*COLOR").match(run->out).hasMatch(),
             qPrintable(run->out));
    QVERIFY(runNow("-V", {"-V"}, run));
    QCOMPARE(run->code, kExitOk);
    QVERIFY2(QRegularExpression("^oxsctl \\d+\\.\\d+\\.\\d+\\.\\d+\n$").match(run->out).hasMatch(),
             qPrintable(run->out));
    QVERIFY(runNow("help unknown", {"help", "reboot"}, run));
    QCOMPARE(run->code, kExitUsage);
}

// The whole command line is checked before the link is opened: a scaler sees nothing of a refused set.
void TstOxsctlE2e::rangeRefusalSendsNothing() {
    Run *run = nullptr;
    QVERIFY(runNow("range", {"--tcp", m_untouchedTcp, "set", "HPOS=100", "COLOR=-1"}, run));
    QCOMPARE(run->code, kExitBadValue);
    QVERIFY2(run->err.contains("COLOR needs a number from 0 to 255"), qPrintable(run->err));
    QTest::qWait(50);
    QCOMPARE(m_untouched.commandCount(), 0);
    QVERIFY(m_untouched.sessions().isEmpty());
}

void TstOxsctlE2e::failures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("within_ms"); // 0: not timed

    const QStringList tcp{"--tcp", m_tcp};
    QTest::newRow("report-only") << tcp + QStringList{"set", "HPOS=1", "ICHM=2"} << kExitWrongAccess
                                 << "ICHM is reported by the scaler" << 0;
    QTest::newRow("unknown") << tcp + QStringList{"get", "HPOS", "NOSUCH"} << kExitUnknownVariable
                             << "unknown variable 'NOSUCH'" << 0;
    QTest::newRow("picture value above 255")
        << tcp + QStringList{"set", "HPOS=256"} << kExitBadValue << "HPOS needs a number from 0 to 255" << 0;
    QTest::newRow("not boolean") << tcp + QStringList{"set", "OBLACK=2"} << kExitBadValue
                                 << "OBLACK needs 0, 1, true or false" << 0;
    QTest::newRow("input 0") << tcp + QStringList{"set", "ICHNM=0"} << kExitBadValue
                             << "ICHNM needs a number from 1 to 5" << 0;
    QTest::newRow("usage") << tcp + QStringList{"set", "HPOS"} << kExitUsage << "--help" << 0;
    QTest::newRow("serial missing") << QStringList{"--serial", "/nonexistent/ttyOXS", "status"}
                                    << kExitPortFailed << "cannot open /nonexistent/ttyOXS" << 0;
    QTest::newRow("udp port taken") << QStringList{"--udp", m_udp, "--local-port", m_udp.section(':', 1),
                                                   "status"}
                                    << kExitPortFailed << "cannot bind UDP port" << 0;
    QTest::newRow("silent scaler") << QStringList{"--tcp", m_silentTcp, "--timeout", "1", "status"}
                                   << kExitNoScaler << "no scaler answered" << 0;
    QTest::newRow("time-out before any answer")
        << QStringList{"--tcp", m_silentTcp, "--paced", "--timeout", "0.5", "status"} << kExitNoScaler
        << "the time-out of 0.5 s ended before a scaler could answer" << 0;
    QTest::newRow("connection refused") << QStringList{"--tcp", m_closedTcp, "set", "HPOS=1"}
                                        << kExitPortFailed << "connection refused" << 2000;
    // Two dots make the name invalid: it is refused without any name server query.
    QTest::newRow("host not found") << QStringList{"--tcp", "bad..host", "status"} << kExitPortFailed
                                    << "host not found" << 2000;
}

void TstOxsctlE2e::failures() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(int, within_ms);
    Run *run = nullptr;
    QVERIFY(runNow(QTest::currentDataTag(), args, run));
    QCOMPARE(run->code, code);
    QVERIFY2(run->err.startsWith("oxsctl: ") && run->err.contains(message), qPrintable(run->err));
    QCOMPARE(run->out, QString());
    if (within_ms > 0) QVERIFY2(run->elapsedMs < within_ms, qPrintable(QString::number(run->elapsedMs)));
}

// Over 4.5 s the scaler answers the keep-alive query twice; those DEV reports repeat the value and are not
// printed, nor is DEV=0 from the reset that starts the link. Every line is a JSON object of its own.
void TstOxsctlE2e::watchJsonPrintsChangesOnly() {
    Run *run = nullptr;
    QVERIFY(collect("watch json", run));
    QCOMPARE(run->code, kExitOk);
    QStringList dev;
    QMap<QString, QJsonValue> last;
    const QStringList lines = run->out.split('\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError && o.size() == 3, qPrintable(line));
        QVERIFY2(o.value("time").isString(), qPrintable(line));
        const QString name = o.value("name").toString();
        QVERIFY2(!last.contains(name) || last.value(name) != o.value("value"), qPrintable(line));
        last.insert(name, o.value("value"));
        if (name == "DEV") dev << QString::number(o.value("value").toInt());
    }
    QCOMPARE(dev, (QStringList{"33"}));
    QCOMPARE(last.value("Ready"), QJsonValue(true));
    QCOMPARE(last.value("NETMASK"), QJsonValue("255.255.255.0"));
    QCOMPARE(last.value("HUE").type(), QJsonValue::Double);
}

void TstOxsctlE2e::watchEndsOnSigterm() {
    Run &run = m_runs["watch"];
    QTRY_VERIFY_WITH_TIMEOUT(
        (run.out += QString::fromUtf8(run.process->readAllStandardOutput())).contains(" Ready=1"), 30000);
    QVERIFY(run.out.contains(" DEV=33\n"));
    QVERIFY(run.out.contains(" HUE=")); // the report of every variable goes through the change events
    run.process->terminate();
    Run *done = nullptr;
    QVERIFY(collect("watch", done));
    QCOMPARE(done->code, kExitOk);
}

// The window's pace: the first identity query about 5 s after start, the request for every variable 2 s
// after the answer, the values complete 2 s after the report.
void TstOxsctlE2e::pacedKeepsTheWindowsPace() {
    Run *run = nullptr;
    QVERIFY(collect("paced", run));
    QCOMPARE(run->code, kExitOk);
    QVERIFY2(run->out.startsWith("DEV=33\nMODEL=Orlan Plus\n"), qPrintable(run->out));
    QVERIFY2(run->elapsedMs >= 7000, qPrintable(QString::number(run->elapsedMs)));
}

// A picture fitted and stored, the scaler's abort, an upload ended by SIGTERM, and pictures refused before
// the link is opened.
void TstOxsctlE2e::uploadOverSerial() {
    QTemporaryDir dir;
    QImage vga(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < vga.height(); ++y)
        for (int x = 0; x < vga.width(); ++x)
            vga.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, 0x1B));
    const QString vgaPath = dir.filePath("vga.bmp");
    QVERIFY(vga.save(vgaPath, "BMP"));
    QImage field(720, 288, QImage::Format_RGB32);
    field.fill(qRgb(1, 2, 3));
    const QString fieldPath = dir.filePath("field.bmp");
    QVERIFY(field.save(fieldPath, "BMP"));
    const QString cutPath = dir.filePath("cut.bmp");
    writeTestFile(cutPath, readTestFile(fieldPath).left(5000));

    Run *run = nullptr;
    QVERIFY(runNow("upload vga", {"--serial", m_pty, "upload", vgaPath, "--fit", "center"}, run));
    QCOMPARE(run->code, kExitOk);
    QVERIFY2(run->out.startsWith("stored 207360 pixels in "), qPrintable(run->out));
    QCOMPARE(run->err, QString()); // no progress line when standard error is not a terminal
    QTRY_COMPARE(m_sim.uploadsStored(), 1);
    // Centred at (40, 48) of the frame: field line 24 is the picture's first line.
    const QImage stored = m_sim.storedFrame();
    QCOMPARE(stored.copy(40, 24, 640, 1), vga.copy(0, 0, 640, 1));
    QCOMPARE(stored.copy(40, 25, 640, 1), vga.copy(0, 2, 640, 1));
    QCOMPARE(stored.pixel(39, 24), qRgb(0, 0, 0));
    QCOMPARE(stored.pixel(100, 23), qRgb(0, 0, 0));

    OxsSim::UploadSettings upload;
    upload.abortAfterChunks = 2;
    m_sim.setUploadSettings(upload);
    QVERIFY(runNow("upload aborted", {"--serial", m_pty, "upload", fieldPath}, run));
    QCOMPARE(run->code, kExitScalerAborted);
    QVERIFY2(run->err.contains("the scaler aborted the upload"), qPrintable(run->err));

    // At the emulated line rate the upload would take about 110 s.
    upload = {};
    upload.lineRateBaud = 57600;
    m_sim.setUploadSettings(upload);
    m_sim.clearCommandLog();
    launch("upload interrupted", {"--serial", m_pty, "upload", fieldPath});
    QTRY_VERIFY(m_sim.commandLog().contains("1fX"));
    QTest::qWait(500);
    m_runs["upload interrupted"].process->terminate();
    QVERIFY(collect("upload interrupted", run));
    QCOMPARE(run->code, kExitInterrupted);
    QVERIFY2(run->err.contains("upload interrupted"), qPrintable(run->err));
    QCOMPARE(m_sim.uploadsAborted(), 2);
    m_sim.setUploadSettings({});
    // The scaler speaks the text protocol again.
    QVERIFY(runNow("status after upload", {"--serial", m_pty, "status"}, run));
    QCOMPARE(run->code, kExitOk);

    QVERIFY(runNow("upload cut short", {"--serial", m_pty, "upload", cutPath}, run));
    QCOMPARE(run->code, kExitBadPicture);
    QVERIFY2(run->err.contains("cut short"), qPrintable(run->err));
    QVERIFY(runNow("upload needs fit", {"--serial", m_pty, "upload", vgaPath}, run));
    QCOMPARE(run->code, kExitUsage);
    QVERIFY2(run->err.contains("640 x 480") && run->err.contains("--fit"), qPrintable(run->err));
    QVERIFY(runNow("upload of nothing", {"--serial", m_pty, "upload"}, run));
    QCOMPARE(run->code, kExitUsage);
    QVERIFY2(run->err.contains("a FILE or --gradient"), qPrintable(run->err));

    // Without a file: the generator's default gradient, black to (200, 128, 200) over 720 columns, each
    // channel rounded to the nearest value.
    QVERIFY(runNow("upload gradient", {"--serial", m_pty, "upload", "--gradient"}, run));
    QCOMPARE(run->code, kExitOk);
    QTRY_COMPARE(m_sim.uploadsStored(), 2);
    const QImage gradient = m_sim.storedFrame().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(gradient.size(), QSize(720, 288));
    for (int x : {0, 1, 359, 360, 361, 718, 719}) {
        const auto channel = [x](int end) { return int(std::nearbyint(double(end) * x / 720)); };
        QCOMPARE(gradient.pixel(x, 0), qRgb(channel(200), channel(128), channel(200)));
    }
    for (int y = 1; y < gradient.height(); ++y)
        QVERIFY2(gradient.copy(0, y, 720, 1) == gradient.copy(0, 0, 720, 1), qPrintable(QString::number(y)));
}

// A simulator of its own per model, with short STORE and TAKEEVA pulses so that a dump after a restore
// finds the scaler settled.
struct OwnSimulator {
    explicit OwnSimulator(int model) : sim(model) {
        sim.setTimings({20, 20, 400, 20});
        port = sim.startTcp(0, QHostAddress::LocalHost);
        QObject::connect(&sim, &OxsSim::ScalerSimulator::commandReceived,
                         [this](const QString &command, const QString &) { commands << command; });
    }
    QString endpoint() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    // What was sent besides the identity query and the request for every variable.
    QStringList settingCommands() const {
        QStringList out;
        for (const QString &c : commands)
            if (!c.startsWith(QLatin1Char('?')) && !c.startsWith(QLatin1Char('#'))) out << c;
        return out;
    }

    OxsSim::ScalerSimulator sim;
    quint16 port = 0;
    QStringList commands;
};

void TstOxsctlE2e::backupChangeRestore_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QStringList>("restored");
    // Another input (its picture values differ), picture, output, an input's own values, and on the
    // Orlan Plus the LAN module's address, mask and port.
    const QStringList common{"ICHNM=2",  "HPOS=10", "COLOR=3", "OFMTM=2",
                             "OBLACK=1", "PCHAN=1", "PENA=0",  "PPROC=1"};
    QTest::newRow("Orlan") << 32 << common << QStringList{"ICHNM=1",  "HPOS=128", "COLOR=128", "OFMTM=1",
                                                          "OBLACK=0", "PCHAN=1",  "PENA=1",    "PPROC=0"};
    QTest::newRow("Orlan Plus") << 33
                                << common + QStringList{"LOCAL_IP=10.1.2.3", "NETMASK=255.255.0.0",
                                                        "REMOTE_PORT=4000", "TCPIP=0"}
                                << QStringList{"ICHNM=1",
                                               "HPOS=128",
                                               "COLOR=128",
                                               "OFMTM=1",
                                               "OBLACK=0",
                                               "PCHAN=1",
                                               "PENA=1",
                                               "PPROC=0",
                                               "TCPIP=1",
                                               "LOCAL_IP=192.168.0.10",
                                               "NETMASK=255.255.255.0",
                                               "REMOTE_PORT=10500"};
    QTest::newRow("Orlan C") << 40 << common << QStringList{"ICHNM=1",  "HPOS=128", "COLOR=128", "OFMTM=1",
                                                            "OBLACK=0", "PCHAN=1",  "PENA=1",    "PPROC=0"};
}

void TstOxsctlE2e::backupChangeRestore() {
    QFETCH(int, model);
    QFETCH(QStringList, changes);
    QFETCH(QStringList, restored);
    OwnSimulator own(model);
    QVERIFY(own.port);
    const QStringList link{"--tcp", own.endpoint()};
    QTemporaryDir dir;
    const QString file = dir.filePath("scaler.json");
    const QString tag = QString::fromLatin1(QTest::currentDataTag());

    Run *before = nullptr, *run = nullptr;
    QVERIFY(runNow(tag + " dump before", link + QStringList{"dump"}, before));
    QCOMPARE(before->code, kExitOk);
    QVERIFY(runNow(tag + " backup", link + QStringList{"backup", file}, run));
    QCOMPARE(run->code, kExitOk);
    QVERIFY(QFile::exists(file));
    QVERIFY(runNow(tag + " change", link + QStringList{"set"} + changes, run));
    QCOMPARE(run->code, kExitOk);
    QTest::qWait(60);

    // A dry run lists what restore would write and writes none of it.
    own.commands.clear();
    QVERIFY(runNow(tag + " dry run", link + QStringList{"restore", file, "--dry-run"}, run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out.split('\n', Qt::SkipEmptyParts), restored);
    QCOMPARE(own.settingCommands(), QStringList());

    // Only what differs goes out, in the backup's order, each confirmed.
    own.commands.clear();
    QVERIFY(runNow(tag + " restore", link + QStringList{"restore", file}, run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->err, QString());
    QCOMPARE(run->out.split('\n', Qt::SkipEmptyParts), restored);
    QVERIFY2(own.settingCommands().size() >= restored.size(), qPrintable(own.settingCommands().join(' ')));
    QTest::qWait(60);

    Run *after = nullptr;
    QVERIFY(runNow(tag + " dump after", link + QStringList{"dump"}, after));
    QCOMPARE(after->code, kExitOk);
    QCOMPARE(after->out, before->out);

    // Restoring what the scaler already holds writes nothing.
    own.commands.clear();
    QVERIFY(runNow(tag + " restore again", link + QStringList{"restore", file}, run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QString());
    QCOMPARE(own.settingCommands(), QStringList());
}

void TstOxsctlE2e::restoreRefusesAndReports() {
    OwnSimulator plus(33), c(40);
    QVERIFY(plus.port && c.port);
    QTemporaryDir dir;
    const QString file = dir.filePath("plus.json");
    Run *run = nullptr;
    QVERIFY(runNow("backup plus", {"--tcp", plus.endpoint(), "backup", file}, run));
    QCOMPARE(run->code, kExitOk);

    // Another model's file: refused once the scaler has said what it is, nothing written.
    c.commands.clear();
    QVERIFY(runNow("restore on C", {"--tcp", c.endpoint(), "restore", file}, run));
    QCOMPARE(run->code, kExitWrongModel);
    QVERIFY2(run->err.contains("Orlan Plus") && run->err.contains("Orlan C"), qPrintable(run->err));
    QCOMPARE(c.settingCommands(), QStringList());

    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(in.readAll()).object();
    const auto write = [&](const QString &name, const QJsonObject &o) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(o).toJson());
    };

    // A file cannot smuggle in a one-shot command or a debug register.
    for (const auto &[key, value] : {std::pair<const char *, int>{"FRESET", 1}, {"ADDRDBG", 3}}) {
        QJsonObject o = saved;
        QJsonObject values = o.value("values").toObject();
        values.insert(key, value);
        o.insert("values", values);
        write("bad.json", o);
        plus.commands.clear();
        QVERIFY(runNow(QStringLiteral("restore %1").arg(key),
                       {"--tcp", plus.endpoint(), "restore", dir.filePath("bad.json")}, run));
        QCOMPARE(run->code, kExitBadBackup);
        QVERIFY2(run->err.contains(key), qPrintable(run->err));
        QVERIFY(plus.commands.isEmpty());
    }
    // A value a scaler may report but we never write is kept as the scaler has it, and said so.
    {
        QJsonObject o = saved;
        QJsonObject values = o.value("values").toObject();
        values.insert("HPOS", 256);
        o.insert("values", values);
        write("wide.json", o);
        plus.commands.clear();
        QVERIFY(runNow("restore HPOS 256", {"--tcp", plus.endpoint(), "restore", dir.filePath("wide.json")},
                       run));
        QCOMPARE(run->code, kExitOk);
        QVERIFY2(run->err.contains("HPOS 256"), qPrintable(run->err));
        QCOMPARE(plus.settingCommands(), QStringList());
    }
    QVERIFY(runNow("restore missing", {"--tcp", plus.endpoint(), "restore", dir.filePath("none.json")}, run));
    QCOMPARE(run->code, kExitBadBackup);

    // UXGA on the Orlan Plus runs at 60 Hz only: the scaler keeps another rate, which is reported, and
    // the values after it are still written.
    QJsonObject o = saved;
    QJsonObject values = o.value("values").toObject();
    values.insert("OFMTM", 5);
    values.insert("ORATEM", 3);
    values.insert("HUE", 77);
    o.insert("values", values);
    write("uxga.json", o);
    QVERIFY(runNow("restore uxga", {"--tcp", plus.endpoint(), "restore", dir.filePath("uxga.json")}, run));
    QCOMPARE(run->code, kExitNotRestored);
    QVERIFY2(run->err.contains("did not take ORATEM"), qPrintable(run->err));
    QCOMPARE(plus.sim.value(VAR_OFMTM), 5u);
    QCOMPARE(plus.sim.value(VAR_HUE), 77u);
}

void TstOxsctlE2e::quietPrintsValuesOnly() {
    Run *run = nullptr;
    QVERIFY(runNow("quiet get", {"--tcp", m_tcp, "-q", "get", "HPOS", "LOCAL_IP"}, run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QStringLiteral("%1\n%2\n").arg(m_sim.value(VAR_HPOS)).arg(m_sim.state().address(1)));
    QVERIFY(runNow("quiet set", {"--tcp", m_tcp, "--quiet", "set", "VPOS=99", "OBLACK=1"}, run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QStringLiteral("99\n1\n"));
}

QTEST_GUILESS_MAIN(TstOxsctlE2e)
#include "tst_oxsctl_e2e.moc"
