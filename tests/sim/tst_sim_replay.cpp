// Replaying link recordings: recorded replies for recorded commands, the model for the rest, the scaler's own
// output at its times, damaged files, and a harsh session that replays to the values it reported.
//
// With OXS_WRITE_FIXTURE=DIR set, harshSessionReplays also writes its recording and the values the driver
// held into DIR (harsh-orlan-plus.jsonl and harsh-orlan-plus.values.json): that is how tests/fixtures is
// made.
#include "LoopbackLink.h"
#include "Orlan_d.h"
#include "Replay.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <cmath>

using namespace OxsSim;
using namespace OrlanVars;

namespace {

QByteArray jsonLine(const QJsonObject &o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray header(const QString &started = QStringLiteral("2026-12-09T14:02:11.123Z"),
                  const QString &link = QStringLiteral("TCP 127.0.0.1:10500")) {
    return jsonLine(
        {{"oxsRecording", 1}, {"program", "tst_sim_replay"}, {"started", started}, {"link", link}});
}

QByteArray chunk(double t, const char *dir, const QByteArray &bytes) {
    return jsonLine({{"t", t}, {"dir", dir}, {"data", QString::fromLatin1(bytes)}});
}

// A recording made by hand: HPOS set twice with different replies, the model query, and live reports.
QByteArray handRecording() {
    return header() + chunk(0.05, "in", "ILD100\r\n") + chunk(1.0, "out", "?") +
           chunk(1.01, "in", "DEV33\r\n") + jsonLine({{"t", 1.02}, {"model", 33}}) +
           chunk(1.5, "out", "120H") + chunk(1.52, "in", "HP1") + chunk(1.62, "in", "20\r\n") +
           chunk(2.0, "out", "120H") + chunk(2.01, "in", "HP121\r\n") + chunk(6.0, "in", "IFD200\r\n") +
           jsonLine({{"t", 7.0}, {"end", "stopped"}});
}

// A host on the replay's TCP or UDP link, keeping what it receives.
struct Host {
    QTcpSocket tcp;
    QUdpSocket udp;
    quint16 udpPort = 0;
    QByteArray received;

    bool open(bool overUdp, ScalerSimulator &sim) {
        QObject::connect(&tcp, &QTcpSocket::readyRead, [this] { received += tcp.readAll(); });
        QObject::connect(&udp, &QUdpSocket::readyRead, [this] {
            while (udp.hasPendingDatagrams())
                received += udp.receiveDatagram().data();
        });
        if (overUdp) return (udpPort = sim.startUdp(0)) && udp.bind(QHostAddress::LocalHost, 0);
        tcp.connectToHost(QHostAddress::LocalHost, sim.startTcp(0));
        return tcp.waitForConnected(3000);
    }
    void send(const QByteArray &bytes) {
        if (udpPort)
            udp.writeDatagram(bytes, QHostAddress::LocalHost, udpPort);
        else
            tcp.write(bytes);
    }
    // Waits for the text and drops everything up to it.
    bool take(const QByteArray &text, int timeoutMs = 3000) {
        const bool got = QTest::qWaitFor([&] { return received.contains(text); }, timeoutMs);
        if (got) received.remove(0, received.indexOf(text) + text.size());
        return got;
    }
};

// A loopback TCP proxy in front of a simulator that records every chunk in the recording format.
class RecordingProxy {
  public:
    explicit RecordingProxy(quint16 scalerPort) : m_scalerPort(scalerPort) {
        m_text = header(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                        QStringLiteral("TCP 127.0.0.1:%1").arg(scalerPort));
        m_clock.start();
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket *host = m_server.nextPendingConnection();
            auto *scaler = new QTcpSocket(host);
            scaler->connectToHost(QHostAddress::LocalHost, m_scalerPort);
            scaler->waitForConnected(3000);
            QObject::connect(host, &QTcpSocket::readyRead, host, [this, host, scaler] {
                const QByteArray bytes = host->readAll();
                write("out", bytes);
                scaler->write(bytes);
            });
            QObject::connect(scaler, &QTcpSocket::readyRead, host, [this, host, scaler] {
                const QByteArray bytes = scaler->readAll();
                write("in", bytes);
                host->write(bytes);
            });
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    double now() const { return std::round(double(m_clock.nsecsElapsed()) / 1000.0) / 1e6; }
    void note(const QJsonObject &o) {
        QJsonObject line = o;
        line.insert("t", now());
        m_text += jsonLine(line);
    }
    QByteArray text() const { return m_text; }

  private:
    void write(const char *dir, const QByteArray &bytes) { m_text += chunk(now(), dir, bytes); }

    quint16 m_scalerPort;
    QTcpServer m_server;
    QElapsedTimer m_clock;
    QByteArray m_text;
};

// The sets a session makes once the scaler is found, as an operator would in the window.
void operate(TOrlan_d &driver) {
    driver.SetValue(VAR_HPOS, 130);
    QTest::qWait(100);
    driver.SetValue(VAR_BRGT, 40);
    QTest::qWait(100);
    driver.SetValue(VAR_IFRZM, 1);
    // Long enough for the replies, the store pulse and the split rests, then a while of live reports only.
    QTest::qWait(4000);
}

// What the driver holds, by reply mnemonic; the streamed measurements move all the time and are left out.
QJsonObject valuesOf(TOrlan_d &driver) {
    QJsonObject values;
    for (int i = 0; i < VAR_COUNT; ++i)
        if (i != VAR_ILDM && i != VAR_IFDM)
            values.insert(QString::fromLatin1(kRows[i].reply), qint64(driver.Value(i)));
    return values;
}

// Replays the recording to a driver at the quick pace; what the driver then holds must be what it held in the
// recorded session, and no command may have fallen back to the model.
void replayToDriver(const QByteArray &recordingText, const QJsonObject &recorded) {
    Recording rec;
    QVERIFY(Recording::parse(recordingText, &rec, nullptr));
    Replayer replayer(rec, 1.0, 33);
    TOrlan_d driver;
    linkOverLoopbackTcp(driver, replayer.simulator().startTcp(0));
    QTRY_VERIFY_WITH_TIMEOUT(driver.Ready(), 8000);
    operate(driver);
    QCOMPARE(QJsonDocument(valuesOf(driver)).toJson(), QJsonDocument(recorded).toJson());
    QVERIFY(replayer.fallbackMnemonics().isEmpty());
}

} // namespace

class TstSimReplay : public QObject {
    Q_OBJECT
  private slots:
    void answersAsRecorded_data();
    void answersAsRecorded();
    void damagedAndForeignFiles();
    void program();
    void harshSessionReplays();
    void fixtureReplays();
};

void TstSimReplay::answersAsRecorded_data() {
    QTest::addColumn<bool>("overUdp");
    QTest::addColumn<bool>("byteWise");
    QTest::newRow("tcp") << false << false;
    QTest::newRow("tcp, a byte at a time") << false << true;
    QTest::newRow("udp") << true << false;
}

void TstSimReplay::answersAsRecorded() {
    QFETCH(bool, overUdp);
    QFETCH(bool, byteWise);
    Recording rec;
    QVERIFY(Recording::parse(handRecording(), &rec, nullptr));
    QCOMPARE(rec.unsolicited.size(), 2);
    Replayer replayer(rec, 4.0, 33);
    QStringList notes;
    replayer.onNote = [&](const QString &n) { notes << n; };
    Host host;
    QVERIFY(host.open(overUdp, replayer.simulator()));
    auto send = [&](const QByteArray &bytes) {
        for (qsizetype i = 0; i < bytes.size(); i += byteWise ? 1 : bytes.size()) {
            host.send(bytes.mid(i, byteWise ? 1 : -1));
            QTest::qWait(2);
        }
    };
    QElapsedTimer clock;
    clock.start();
    send("?");
    // Output recorded before the first command comes at once.
    QVERIFY(host.take("ILD100\r\n", 500));
    QVERIFY(host.take("DEV33\r\n"));
    // The n-th occurrence gets the n-th recorded reply (split as recorded), then the last one again.
    for (const char *reply : {"HP120\r\n", "HP121\r\n", "HP121\r\n"}) {
        send("120H");
        QVERIFY2(host.take(reply), reply);
    }
    // Not recorded: the model answers, said once per mnemonic.
    for (const QByteArray &other : {QByteArray("200V"), QByteArray("201V"), QByteArray("7H")}) {
        send(other);
        QVERIFY2(host.take(other.endsWith('V') ? "VP" : "HP"), other.constData());
    }
    QCOMPARE(notes.size(), 2);
    QVERIFY2(notes[0].contains("'V'") && notes[0].contains("model 33") && notes[1].contains("'H'"),
             qPrintable(notes.join('|')));
    // Recorded 5 s after the first command: 1.25 s at speed 4.
    QVERIFY(host.take("IFD200\r\n", 3000));
    QVERIFY2(clock.elapsed() >= 1150, qPrintable(QString::number(clock.elapsed())));
}

void TstSimReplay::damagedAndForeignFiles() {
    // Garbage, a character above U+00FF, a line without keys, a line without time, and a cut last line.
    const QByteArray damaged =
        header() + chunk(1.0, "out", "?") + "not json at all\n" +
        jsonLine({{"t", 1.005}, {"dir", "in"}, {"data", QStringLiteral("\u20ac")}}) +
        jsonLine({{"t", 1.006}, {"mystery", 1}}) + jsonLine({{"dir", "in"}, {"data", "X"}}) +
        chunk(1.01, "in", QByteArray("DEV33\r\n\0", 8)) + "{\"t\": 1.2, \"dir\": \"out\", \"da";
    Recording rec;
    QVERIFY(Recording::parse(damaged, &rec, nullptr));
    QCOMPARE(rec.skippedLines, 5);
    QVERIFY(!rec.ended);
    QCOMPARE(rec.replies.value("?").size(), 1);
    QCOMPARE(rec.replies.value("?").first().first().bytes, QByteArray("DEV33\r\n\0", 8));
    QCOMPARE(rec.replies.value("?").first().first().atUs, 10000);

    // Commands cut across chunks are put together; several in one chunk leave the output to the last.
    Recording joined;
    QVERIFY(Recording::parse(header() + chunk(1, "out", "12") + chunk(1.1, "out", "0H5V") +
                                 chunk(1.2, "in", "HP120\r\nVP5\r\n"),
                             &joined, nullptr));
    QCOMPARE(joined.replies.value("120H").value(0).size(), 0);
    QCOMPARE(joined.replies.value("5V").value(0).value(0).bytes, QByteArray("HP120\r\nVP5\r\n"));
    // The rest of a line cut short stays with its start, though a command came in between.
    QVERIFY(Recording::parse(header() + chunk(1, "out", "120H") + chunk(1.1, "in", "HP1") +
                                 chunk(1.2, "out", "5V") + chunk(1.5, "in", "20\r\nVP5\r\n"),
                             &joined, nullptr));
    QCOMPARE(joined.replies.value("120H").value(0).size(), 2);
    QCOMPARE(joined.replies.value("120H").value(0).value(1).atUs, 500000);
    QVERIFY(joined.replies.value("5V").value(0).isEmpty());

    QString error;
    for (const QByteArray &foreign :
         {QByteArray(), QByteArray("[1,2]\n"), QByteArray("{\"t\": 1, \"dir\": \"in\", \"data\": \"x\"}\n"),
          QByteArray("HP120\r\nVP5\r\n"), QByteArray("{\"oxsRecording\": 1")}) {
        error.clear();
        QVERIFY2(!Recording::parse(foreign, &rec, &error), foreign.constData());
        QVERIFY(!error.isEmpty());
    }
}

void TstSimReplay::program() {
    QTemporaryDir dir;
    const QString cut = dir.filePath("cut.jsonl");
    const QString foreign = dir.filePath("foreign.txt");
    QFile f(cut);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(handRecording().chopped(10));
    f.close();
    QFile g(foreign);
    QVERIFY(g.open(QIODevice::WriteOnly));
    g.write("HP120\r\n");
    g.close();

    QProcess refused;
    refused.start(ORLAN_SIM_PATH, {"--replay", foreign, "--tcp-port", "0", "--no-udp"});
    QVERIFY(refused.waitForFinished(5000));
    QCOMPARE(refused.exitCode(), 2);
    QVERIFY(refused.readAllStandardError().contains("is not a recording"));

    QProcess sim;
    sim.start(ORLAN_SIM_PATH, {"--replay", cut, "--speed", "2", "--tcp-port", "0", "--no-udp"});
    QVERIFY(sim.waitForReadyRead(5000));
    const QByteArray endpoint = sim.readLine().trimmed();
    QVERIFY2(endpoint.startsWith("TCP 127.0.0.1:"), endpoint.constData());
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, quint16(endpoint.mid(endpoint.lastIndexOf(':') + 1).toUInt()));
    QVERIFY(s.waitForConnected(3000));
    s.write("120H5V");
    QByteArray got;
    QVERIFY(QTest::qWaitFor(
        [&] {
            got += s.readAll();
            return got.contains("HP120\r\n") && got.contains("VP5\r\n");
        },
        3000));
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    const QByteArray err = sim.readAllStandardError();
    QVERIFY2(err.contains("1 line(s) skipped") && err.contains("no end line"), err.constData());
    QCOMPARE(err.count("no 'V' command"), 1);
}

void TstSimReplay::harshSessionReplays() {
    // A live session against the harshest simulator, recorded through a proxy.
    QByteArray recording;
    QJsonObject live;
    {
        ScalerSimulator sim(33);
        sim.setFaults(FaultSettings::harsh());
        RecordingProxy proxy(sim.startTcp(0));
        TOrlan_d driver;
        linkOverLoopbackTcp(driver, proxy.port());
        QTRY_VERIFY_WITH_TIMEOUT(driver.Ready(), 8000);
        proxy.note({{"model", int(driver.DEV())}});
        operate(driver);
        live = valuesOf(driver);
        proxy.note({{"end", "stopped"}});
        recording = proxy.text();
    }
    QCOMPARE(live.value("HP").toInt(), 130);
    QCOMPARE(live.value("COL").toInteger(), 0xFFFFFFFBll); // the harsh scaler's odd value, -5
    replayToDriver(recording, live);

    const QByteArray out = qgetenv("OXS_WRITE_FIXTURE");
    if (!out.isEmpty()) {
        QFile r(QDir(QString::fromLocal8Bit(out)).filePath("harsh-orlan-plus.jsonl"));
        QFile v(QDir(QString::fromLocal8Bit(out)).filePath("harsh-orlan-plus.values.json"));
        QVERIFY(r.open(QIODevice::WriteOnly) && v.open(QIODevice::WriteOnly));
        r.write(recording);
        v.write(QJsonDocument(live).toJson());
    }
}

void TstSimReplay::fixtureReplays() {
    QFile r(OXS_FIXTURES_DIR "/harsh-orlan-plus.jsonl");
    QFile v(OXS_FIXTURES_DIR "/harsh-orlan-plus.values.json");
    QVERIFY(r.open(QIODevice::ReadOnly) && v.open(QIODevice::ReadOnly));
    replayToDriver(r.readAll(), QJsonDocument::fromJson(v.readAll()).object());
}

QTEST_GUILESS_MAIN(TstSimReplay)
#include "tst_sim_replay.moc"
