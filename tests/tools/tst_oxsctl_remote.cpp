// oxsctl --remote: its command line and value forms, then the program against the remote control's HTTP
// server on a simulated scaler (in this process), output for output against oxsctl on a link of its own.

#include "CtlArgs.h"
#include "CtlRemote.h"
#include "CtlRunner.h"
#include "DeviceVariables.h"
#include "HttpServer.h"
#include "LoopbackLink.h"
#include "Orlan_d.h"
#include "OxsctlProcess.h"
#include "RemoteService.h"
#include "ScalerSimulator.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace OxsCtl;
using namespace OxsControl;
using namespace OrlanVars;

namespace {

using Result = OxsctlResult;

// Runs oxsctl while the event loop serves the simulator and the server in this process.
Result oxsctl(const QStringList &args) {
    return runOxsctl(args, 30000);
}

// The window's side: a driver on a scaler (or on nothing), its remote service and the HTTP server.
struct Program {
    explicit Program(quint16 scalerPort) {
        linkOverLoopbackTcp(driver, scalerPort);
        QString why;
        if (!server.listen(QHostAddress::LocalHost, 0, QString(), &why)) qWarning("%s", qPrintable(why));
    }
    QStringList remote() const {
        return {"--remote", QStringLiteral("http://127.0.0.1:%1").arg(server.port())};
    }

    TOrlan_d driver;
    OxsRemote::RemoteService service{driver};
    OxsRemote::RemoteHttpServer server{service};
};

quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

class TstOxsctlRemote : public QObject {
    Q_OBJECT

  private slots:
    void commandLine_data();
    void commandLine();
    void commandLineErrors_data();
    void commandLineErrors();
    void valuesAndFiles();

    void initTestCase();
    void sameOutputAsTheLink_data();
    void sameOutputAsTheLink();
    void setConfirmedOrNot();
    void refusedBeforeAnythingGoesOut_data();
    void refusedBeforeAnythingGoesOut();
    void nothingAnswers();
    void noScalerConnected();
    void watchSeesAChange();
    void backupThenRestore();
    void tokenAndForeignAnswers();

  private:
    QStringList link() const { return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_sim.tcpPort())}; }

    OxsSim::ScalerSimulator m_sim{33};
    std::unique_ptr<Program> m_program;
};

void TstOxsctlRemote::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("rest");

    QTest::newRow("default URL; a name is no URL")
        << QStringList{"get", "--remote", "HPOS"} << "http://127.0.0.1:10600" << QStringList{"HPOS"};
    QTest::newRow("URL after --remote") << QStringList{"--remote", "http://127.0.0.1:9999", "get", "hpos"}
                                        << "http://127.0.0.1:9999" << QStringList{"hpos"};
    QTest::newRow("--remote=, no port, a base path")
        << QStringList{"dump", "--remote=HTTPS://Stage.local/oxs/"} << "https://stage.local:10600/oxs"
        << QStringList{};
    QTest::newRow("IPv6") << QStringList{"--remote", "http://[::1]:80", "status"} << "http://[::1]:80"
                          << QStringList{};
}

void TstOxsctlRemote::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(QString, url);
    QFETCH(QStringList, rest);
    const ParsedCommandLine p = parseCommandLine(args);
    QVERIFY2(p.ok() && p.options.remote, qPrintable(p.error));
    QCOMPARE(p.options.remoteUrl, url);
    QCOMPARE(p.options.arguments, rest);

    // After "--" it is a text like any other.
    const ParsedCommandLine text = parseCommandLine({"send", "--", "--remote"});
    QVERIFY2(text.ok() && !text.options.remote, qPrintable(text.error));
    QCOMPARE(text.options.arguments, QStringList{"--remote"});
}

void TstOxsctlRemote::commandLineErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");

    QTest::newRow("a link option") << QStringList{"--remote", "--tcp", "1.2.3.4", "status"}
                                   << "--tcp does not apply to --remote";
    QTest::newRow("send") << QStringList{"--remote", "send", "?"} << "send is not offered remotely";
    // before upload's own "give --serial PORT"
    QTest::newRow("upload") << QStringList{"--remote", "upload", "--gradient"}
                            << "upload is not offered remotely";
    QTest::newRow("token without remote")
        << QStringList{"--token", "x", "status"} << "--token applies to --remote only";
    QTest::newRow("token with a line end")
        << QStringList{"--remote", "--token", "a\r\nX: y", "status"} << "--token needs printable characters";
    QTest::newRow("other scheme") << QStringList{"--remote=ftp://host", "status"} << "--remote needs a URL";
    QTest::newRow("query") << QStringList{"--remote=http://host/?a=1", "status"} << "--remote needs a URL";
    QTest::newRow("empty") << QStringList{"--remote=", "status"} << "--remote= needs a URL";
}

void TstOxsctlRemote::commandLineErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const ParsedCommandLine p = parseCommandLine(args);
    QVERIFY2(p.error.startsWith(error), qPrintable(p.error));
}

// What the program answers is printed only when the variable can hold it; the rest of the value forms
// are checked end to end against the link's output below.
void TstOxsctlRemote::valuesAndFiles() {
    Target hpos, color, ip;
    lookupTarget("HPOS", hpos);
    lookupTarget("COLOR", color);
    lookupTarget("LOCAL_IP", ip);
    Entry e;
    QVERIFY(entryFromJson(color, QJsonValue(-5), e) && e.valueText() == "-5");
    for (const QJsonValue &bad : {QJsonValue(), QJsonValue("12"), QJsonValue(1.5), QJsonValue(4294967296.0),
                                  QJsonValue(QJsonObject{})})
        QVERIFY(!entryFromJson(hpos, bad, e));
    QVERIFY(!entryFromJson(ip, QJsonValue(1), e));
    QCOMPARE(linkFromRemote("RS232 (COM1)"), QString("serial COM1"));

    // backup's summary from the file alone: what the model's backup has and this one leaves out.
    Backup b;
    QString why;
    QVERIFY2(parseBackup(R"({"model": 32, "values": {"HPOS": 1, "ICHNM": 2},
                             "inputs": [{"input": 2, "PENA": 1, "PRGBI": 0, "PISTD": 0, "PPROC": 0}]})",
                         b, &why),
             qPrintable(why));
    const BackupGaps gaps = backupGaps(b);
    QCOMPARE(gaps.saved, 3);
    QVERIFY(!gaps.values.contains("HPOS") && gaps.values.contains("VPOS"));
    QCOMPARE(gaps.values.size(), backupTargets(32).size() - 2);
    QVERIFY(!gaps.inputs.contains(2) && gaps.inputs.contains(1));
}

void TstOxsctlRemote::initTestCase() {
    QVERIFY(m_sim.startTcp(0, QHostAddress::LocalHost) != 0);
    m_program = std::make_unique<Program>(m_sim.tcpPort());
    QVERIFY(m_program->server.isListening());
    QTRY_VERIFY_WITH_TIMEOUT(m_program->driver.Ready(), 8000);
}

// The same command on a link of its own and through the program prints the same and ends the same.
void TstOxsctlRemote::sameOutputAsTheLink_data() {
    QTest::addColumn<QStringList>("command");
    QTest::newRow("status") << QStringList{"status"};
    QTest::newRow("status json") << QStringList{"status", "--json"};
    QTest::newRow("get") << QStringList{"get", "hpos", "Color", "UNITY", "local_ip", "NETMASK", "OBLACK"};
    QTest::newRow("get json, quiet") << QStringList{"get", "-q", "VPOS", "vpos", "--json"};
    QTest::newRow("dump") << QStringList{"dump"};
    QTest::newRow("dump json") << QStringList{"dump", "--json"};
    QTest::newRow("write-only") << QStringList{"get", "FRESET"};
}

void TstOxsctlRemote::sameOutputAsTheLink() {
    QFETCH(QStringList, command);
    const Result own = oxsctl(link() + command);
    const Result remote = oxsctl(m_program->remote() + command);
    QCOMPARE(remote.err, own.err);
    QCOMPARE(remote.out, own.out);
    QCOMPARE(remote.code, own.code);
    QVERIFY(!remote.out.isEmpty() || remote.code != 0);
}

void TstOxsctlRemote::setConfirmedOrNot() {
    Result r =
        oxsctl(m_program->remote() + QStringList{"set", "HPOS=0x78", "oblack=true", "LOCAL_PORT=4000"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString("HPOS=120\nOBLACK=1\nLOCAL_PORT=4000\n"));
    QCOMPARE(r.code, int(kExitOk));
    QCOMPARE(m_sim.value(VAR_HPOS), 120u);
    QCOMPARE(m_sim.value(VAR_OBLACK), 1u);

    // A scaler that ignores the command: the program gives up after its 2 s; what came before stays printed.
    OxsSim::FaultSettings ignore;
    ignore.ignoreCommands = QStringList{"H"};
    m_sim.setFaults(ignore);
    r = oxsctl(m_program->remote() + QStringList{"set", "VPOS=3", "HPOS=100", "OBLACK=0"});
    m_sim.setFaults({});
    QCOMPARE(r.out, QString("VPOS=3\n"));
    QCOMPARE(r.err, QString("oxsctl: no reply from the scaler confirmed HPOS within the time-out\n"));
    QCOMPARE(r.code, int(kExitNotConfirmed));
    QCOMPARE(m_sim.value(VAR_OBLACK), 1u);
}

// Checked here with the link's own messages: even with nothing listening the answer is the same.
void TstOxsctlRemote::refusedBeforeAnythingGoesOut_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("code");
    QTest::newRow("unknown") << QStringList{"get", "HPOS", "NOPE"} << int(kExitUnknownVariable);
    QTest::newRow("out of range") << QStringList{"set", "VPOS=1", "HPOS=999"} << int(kExitBadValue);
    QTest::newRow("read-only") << QStringList{"set", "DEV=1"} << int(kExitWrongAccess);
    QTest::newRow("bad file") << QStringList{"restore", "/nonexistent/b.json"} << int(kExitBadBackup);
}

void TstOxsctlRemote::refusedBeforeAnythingGoesOut() {
    QFETCH(QStringList, command);
    QFETCH(int, code);
    const Result own = oxsctl(link() + command);
    const Result remote =
        oxsctl(QStringList{"--remote", QStringLiteral("http://127.0.0.1:%1").arg(closedPort())} + command);
    QCOMPARE(remote.code, code);
    QCOMPARE(remote.err, own.err);
    QCOMPARE(remote.out, QString());
}

void TstOxsctlRemote::nothingAnswers() {
    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(closedPort());
    for (const char *command : {"status", "watch", "set"}) {
        const Result r = oxsctl({"--remote", url, command, qstrcmp(command, "set") == 0 ? "HPOS=1" : "-q"});
        QCOMPARE(r.code, int(kExitPortFailed));
        QVERIFY2(r.err.startsWith("oxsctl: no OXS remote control program answers at " + url),
                 qPrintable(r.err));
    }
}

// A program whose link finds no scaler: asked again within the time-out, then the link's status 4.
void TstOxsctlRemote::noScalerConnected() {
    Program lonely(closedPort());
    QVERIFY(lonely.server.isListening());
    for (const QStringList &command : {QStringList{"status"}, QStringList{"set", "HPOS=1"}}) {
        const Result r = oxsctl(lonely.remote() + QStringList{"--timeout", "0.6"} + command);
        QCOMPARE(r.code, int(kExitNoScaler));
        QVERIFY2(r.err.contains("had no scaler connected within 0.6 s"), qPrintable(r.err));
    }
}

void TstOxsctlRemote::watchSeesAChange() {
    QProcess watch;
    watch.start(QStringLiteral(OXSCTL_PATH), m_program->remote() + QStringList{"watch"});
    QString out;
    const auto read = [&] { out += QString::fromUtf8(watch.readAllStandardOutput()); };
    QTRY_VERIFY_WITH_TIMEOUT((read(), out.contains(" Ready=1\n")), 5000);
    m_sim.setReported(VAR_HPOS, 42);
    QTRY_VERIFY_WITH_TIMEOUT((read(), out.contains(" HPOS=42\n")), 5000);
    watch.terminate();
    QVERIFY(watch.waitForFinished(5000));
    QCOMPARE(watch.exitCode(), int(kExitOk));
    read();
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.first().endsWith(" Connected=1"), qPrintable(out));
    QCOMPARE(lines.filter(" DEV=").size(), 1);
    QCOMPARE(lines.filter(" HPOS=").size(), 2); // the snapshot's value, then the change
    QCOMPARE(lines.size(), 86 + 3);             // every variable, Connected, Ready and the change
}

void TstOxsctlRemote::backupThenRestore() {
    QTemporaryDir dir;
    const QString own = dir.filePath("own.json"), remote = dir.filePath("remote.json");
    Result r = oxsctl(link() + QStringList{"backup", own});
    QCOMPARE(r.code, int(kExitOk));
    r = oxsctl(m_program->remote() + QStringList{"backup", remote});
    QCOMPARE(r.code, int(kExitOk));
    QCOMPARE(r.out, QStringLiteral("47 settings of the Orlan Plus written to %1\n").arg(remote));
    QFile a(own), b(remote);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(b.readAll(), a.readAll());

    const quint32 hpos = m_sim.value(VAR_HPOS);
    QCOMPARE(oxsctl(m_program->remote() + QStringList{"set", "HPOS=" + QString::number(hpos ^ 1)}).code, 0);
    const Result ownDry = oxsctl(link() + QStringList{"restore", remote, "--dry-run"});
    r = oxsctl(m_program->remote() + QStringList{"restore", remote, "--dry-run"});
    QCOMPARE(r.out, ownDry.out);
    QCOMPARE(r.err, ownDry.err);
    QVERIFY2(r.out.contains(QStringLiteral("HPOS=%1\n").arg(hpos)), qPrintable(r.out));
    QCOMPARE(m_sim.value(VAR_HPOS), hpos ^ 1);

    // A value the scaler does not take within the time-out is listed at the end.
    OxsSim::FaultSettings ignore;
    ignore.ignoreCommands = QStringList{"H"};
    m_sim.setFaults(ignore);
    r = oxsctl(m_program->remote() + QStringList{"restore", remote, "--timeout", "0.3"});
    m_sim.setFaults({});
    QCOMPARE(r.code, int(kExitNotRestored));
    QVERIFY2(r.err.endsWith("oxsctl: the scaler did not take HPOS\n"), qPrintable(r.err));

    r = oxsctl(m_program->remote() + QStringList{"restore", remote});
    QCOMPARE(r.code, int(kExitOk));
    QVERIFY2(r.out.contains(QStringLiteral("HPOS=%1\n").arg(hpos)), qPrintable(r.out));
    QCOMPARE(m_sim.value(VAR_HPOS), hpos);

    QFile other(dir.filePath("orlan.json"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write(R"({"model": 32, "values": {"HPOS": 1}, "inputs": []})");
    other.close();
    const Result ownWrong = oxsctl(link() + QStringList{"restore", other.fileName()});
    r = oxsctl(m_program->remote() + QStringList{"restore", other.fileName()});
    QCOMPARE(r.code, int(kExitWrongModel));
    QCOMPARE(r.err, ownWrong.err);
}

// A server that is no OXS program, or refuses the token: status 3 with its reason. The token goes out as
// the Bearer header.
void TstOxsctlRemote::tokenAndForeignAnswers() {
    QTcpServer fake;
    QVERIFY(fake.listen(QHostAddress::LocalHost, 0));
    QByteArray request, answer;
    connect(&fake, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *s = fake.nextPendingConnection();
        connect(s, &QTcpSocket::readyRead, s, [&, s] {
            request += s->readAll();
            if (request.contains("\r\n\r\n")) s->write(answer);
        });
    });
    const QStringList remote{"--remote", QStringLiteral("http://127.0.0.1:%1").arg(fake.serverPort())};

    const auto http = [](const QByteArray &status, const QByteArray &body) {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
               body;
    };
    answer = http("401 Unauthorized", R"({"error": "a token is needed"})");
    qputenv("OXS_REMOTE_TOKEN", "from-env");
    Result r = oxsctl(remote + QStringList{"--token", "s3cret", "status"});
    QCOMPARE(r.code, int(kExitPortFailed));
    QVERIFY2(r.err.contains(": a token is needed"), qPrintable(r.err));
    QVERIFY2(request.contains("\r\nAuthorization: Bearer s3cret\r\n"), request.constData());
    request.clear();
    r = oxsctl(remote + QStringList{"get", "HPOS"});
    qunsetenv("OXS_REMOTE_TOKEN");
    QVERIFY2(request.contains("\r\nAuthorization: Bearer from-env\r\n"), request.constData());

    request.clear();
    answer = http("200 OK", "hello");
    r = oxsctl(remote + QStringList{"dump"});
    QCOMPARE(r.code, int(kExitPortFailed));
    QVERIFY2(r.err.contains("without a JSON answer"), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TstOxsctlRemote)
#include "tst_oxsctl_remote.moc"
