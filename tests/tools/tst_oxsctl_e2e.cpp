// The oxsctl program against the scaler simulator over loopback TCP and UDP and a pseudo-terminal.
// Detection takes about 10 s of real time, so every run starts at once in initTestCase and the test
// functions only collect the results.

#include "DeviceVariables.h"
#include "ScalerSimulator.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace OrlanVars;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitPortFailed = 3;
constexpr int kExitNoScaler = 4;
constexpr int kExitUnknownVariable = 5;
constexpr int kExitBadValue = 6;
constexpr int kExitWrongAccess = 7;

struct Run {
    QProcess *process = nullptr;
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

    void status();
    void getOverUdp();
    void setOverSerial();
    void dumpAsJson();
    void sendRawText();
    void watchEndsOnSigterm();
    void failures_data();
    void failures();

  private:
    void launch(const QString &name, const QStringList &args);
    // Waits for the run to end and collects its output.
    bool collect(const QString &name, Run *&run);

    OxsSim::ScalerSimulator m_sim{33};
    OxsSim::ScalerSimulator m_silent{40};
    QMap<QString, Run> m_runs;
    QString m_tcp;
};

void TstOxsctlE2e::launch(const QString &name, const QStringList &args) {
    Run &run = m_runs[name];
    run.process = new QProcess(this);
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
    const QString pty = m_sim.startPty(&error);
    QVERIFY2(tcp && udp && !pty.isEmpty(), qPrintable(error));
    OxsSim::FaultSettings silent;
    silent.silent = true;
    m_silent.setFaults(silent);
    const quint16 silentTcp = m_silent.startTcp(0, QHostAddress::LocalHost, &error);
    QVERIFY2(silentTcp, qPrintable(error));
    quint16 closedPort = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        closedPort = server.serverPort();
    }

    m_tcp = QStringLiteral("127.0.0.1:%1").arg(tcp);
    const QString udpPeer = QStringLiteral("127.0.0.1:%1").arg(udp);
    const QStringList tcpLink{"--tcp", m_tcp};

    // The scaler on each kind of link; UDP and the serial line each carry one client only.
    launch("status", tcpLink + QStringList{"status"});
    launch("dump", tcpLink + QStringList{"dump", "--json"});
    launch("send", tcpLink + QStringList{"send", "?"});
    launch("watch", tcpLink + QStringList{"watch"});
    launch("get",
           {"--udp", udpPeer, "--local-port", "0", "get", "vpos", "Color", "UNITY", "local_ip", "NETMASK"});
    launch("set", {"--serial", pty, "set", "HUE=300", "oblack=true", "REMOTE_PORT=0xFA0"});

    // Refused before any link is opened, or the link itself fails.
    launch("report-only", tcpLink + QStringList{"set", "HPOS=1", "ICHM=2"});
    launch("unknown", tcpLink + QStringList{"get", "HPOS", "NOSUCH"});
    launch("out of range", tcpLink + QStringList{"set", "HPOS=4294967296"});
    launch("not boolean", tcpLink + QStringList{"set", "OBLACK=2"});
    launch("usage", tcpLink + QStringList{"set", "HPOS"});
    launch("serial missing", {"--serial", "/nonexistent/ttyOXS", "status"});
    launch("udp port taken", {"--udp", udpPeer, "--local-port", QString::number(udp), "status"});
    launch("silent scaler",
           {"--tcp", QStringLiteral("127.0.0.1:%1").arg(silentTcp), "--timeout", "2", "status"});
    launch("closed port",
           {"--tcp", QStringLiteral("127.0.0.1:%1").arg(closedPort), "--timeout", "2", "set", "HPOS=1"});
}

void TstOxsctlE2e::cleanupTestCase() {
    for (Run &run : m_runs) {
        if (run.process && run.process->state() != QProcess::NotRunning) {
            run.process->kill();
            run.process->waitForFinished(5000);
        }
    }
}

void TstOxsctlE2e::status() {
    Run *run = nullptr;
    QVERIFY(collect("status", run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QStringLiteral("DEV=33\nMODEL=Orlan Plus\nVERSION=%1.%2\nLINK=TCP %3\n")
                           .arg(m_sim.value(VAR_VERUPD) / 100)
                           .arg(m_sim.value(VAR_VERUPD) % 100)
                           .arg(m_tcp));
    QCOMPARE(run->err, QString());
}

void TstOxsctlE2e::getOverUdp() {
    Run *run = nullptr;
    QVERIFY(collect("get", run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QStringLiteral("VPOS=%1\nCOLOR=%2\nUNITy=%3\nLOCAL_IP=%4\nNETMASK=255.255.255.0\n")
                           .arg(m_sim.value(VAR_VPOS))
                           .arg(m_sim.value(VAR_COLOR))
                           .arg(m_sim.value(VAR_UNITy))
                           .arg(m_sim.state().address(1)));
}

// The scaler limits the hue; the confirmed value is printed with a note, and the scaler holds it.
void TstOxsctlE2e::setOverSerial() {
    Run *run = nullptr;
    QVERIFY(collect("set", run));
    QCOMPARE(run->code, kExitOk);
    QCOMPARE(run->out, QString("HUE=255\nOBLACK=1\nREMOTE_PORT=4000\n"));
    QVERIFY2(run->err.contains("HUE=255") && run->err.contains("300"), qPrintable(run->err));
    QCOMPARE(m_sim.value(VAR_HUE), 255u);
    QCOMPARE(m_sim.value(VAR_OBLACK), 1u);
    QCOMPARE(m_sim.state().port(2), quint16(4000));
}

void TstOxsctlE2e::dumpAsJson() {
    Run *run = nullptr;
    QVERIFY(collect("dump", run));
    QCOMPARE(run->code, kExitOk);
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(run->out.toUtf8(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QCOMPARE(o.size(), 88);
    QCOMPARE(o.value("DEV").toInt(), 33);
    QCOMPARE(o.value("UNITy").toInt(), int(m_sim.value(VAR_UNITy)));
    QCOMPARE(o.value("GATEWAY_IP").toString(), m_sim.state().address(3));
    QVERIFY(o.value("EPD").isBool());
}

// Replies to the text arrive before the driver's own query-all, so only they (and the scaler's own
// reports) are printed.
void TstOxsctlE2e::sendRawText() {
    Run *run = nullptr;
    QVERIFY(collect("send", run));
    QCOMPARE(run->code, kExitOk);
    const QStringList lines = run->out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.contains("DEV33"), qPrintable(run->out));
    QVERIFY2(!lines.contains("UNIT2700"), qPrintable(run->out)); // no dump
}

void TstOxsctlE2e::watchEndsOnSigterm() {
    Run &run = m_runs["watch"];
    QTRY_VERIFY_WITH_TIMEOUT(
        (run.out += QString::fromUtf8(run.process->readAllStandardOutput())).contains(" Ready=1"), 30000);
    QVERIFY(run.out.contains(" DEV=33\n"));
    QVERIFY(run.out.contains(" HUE=")); // the dump goes through the change events
    run.process->terminate();
    Run *done = nullptr;
    QVERIFY(collect("watch", done));
    QCOMPARE(done->code, kExitOk);
}

void TstOxsctlE2e::failures_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    QTest::newRow("report-only") << "report-only" << kExitWrongAccess << "ICHM is reported by the scaler";
    QTest::newRow("unknown") << "unknown" << kExitUnknownVariable << "unknown variable 'NOSUCH'";
    QTest::newRow("out of range") << "out of range" << kExitBadValue
                                  << "HPOS needs a number from 0 to 4294967295";
    QTest::newRow("not boolean") << "not boolean" << kExitBadValue << "OBLACK needs 0, 1, true or false";
    QTest::newRow("usage") << "usage" << kExitUsage << "--help";
    QTest::newRow("serial missing") << "serial missing" << kExitPortFailed
                                    << "cannot open /nonexistent/ttyOXS";
    QTest::newRow("udp port taken") << "udp port taken" << kExitPortFailed << "cannot bind UDP port";
    QTest::newRow("silent scaler") << "silent scaler" << kExitNoScaler << "no scaler answered";
    QTest::newRow("closed port") << "closed port" << kExitNoScaler << "no scaler answered";
}

void TstOxsctlE2e::failures() {
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(QString, message);
    Run *run = nullptr;
    QVERIFY(collect(name, run));
    QCOMPARE(run->code, code);
    QVERIFY2(run->err.startsWith("oxsctl: ") && run->err.contains(message), qPrintable(run->err));
    QCOMPARE(run->out, QString());
}

QTEST_GUILESS_MAIN(TstOxsctlE2e)
#include "tst_oxsctl_e2e.moc"
