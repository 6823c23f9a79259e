// oxsctl ports and scan on pseudo-terminals: the simulator on one, a silent line, a line that answers with
// a model code of no Orlan, a busy one and one that is gone. The scan runs in this process on the devices
// named here only, so the test never writes to a real serial port of the machine.

#include "ComPort.h"
#include "CtlArgs.h"
#include "CtlPorts.h"
#include "ScalerSimulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

using namespace OxsCtl;
using SerialDevices::Device;
using Outcome = ProbeResult::Outcome;

namespace {

// A pseudo-terminal whose far end the test holds: it keeps every byte the host sent and, when given an
// answer, writes it back once the first byte arrived.
struct Line {
    int master = -1;
    int slave = -1;
    QString path;
    QByteArray received;
    QByteArray answer;
    std::unique_ptr<QSocketNotifier> notifier;

    bool open() {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        path = QString::fromLocal8Bit(name);
        notifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
            char buf[256];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) return;
            const bool first = received.isEmpty();
            received.append(buf, n);
            if (first && !answer.isEmpty()) (void)!::write(master, answer.constData(), size_t(answer.size()));
        });
        return true;
    }
    ~Line() {
        notifier.reset();
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
    }
};

QList<ProbeResult> scan(const QList<Device> &devices, int timeoutMs) {
    Scanner scanner(devices, timeoutMs);
    QList<ProbeResult> results;
    bool done = false;
    scanner.finished = [&](const QList<ProbeResult> &r) {
        results = r;
        done = true;
    };
    scanner.start();
    if (!QTest::qWaitFor([&] { return done; }, 10000)) qWarning("the scan did not end");
    return results;
}

} // namespace

class TstOxsctlPorts : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void portsListsTheNamedDevices();
    void scanFindsTheSimulatorAndSendsOnlyTheQuery();
    void scanNamesWhatIsNoScaler();

  private:
    QList<Device> listed();

    OxsSim::ScalerSimulator m_sim{33};
    QString m_simPath;
    Line m_silent;
    QString m_gonePath;
    QTemporaryDir m_dir;
};

void TstOxsctlPorts::initTestCase() {
    QString error;
    m_simPath = m_sim.startPty(&error);
    QVERIFY2(!m_simPath.isEmpty(), qPrintable(error));
    QVERIFY(m_silent.open());
    m_gonePath = m_dir.filePath(QStringLiteral("ttyUSB9"));
    // A name that leads nowhere is left out of the list, as an adapter that was pulled.
    qputenv("OXS_SERIAL_DEVICES",
            QStringLiteral("%1:%2:%3").arg(m_simPath, m_silent.path, m_gonePath).toLocal8Bit());
}

// The listing of this machine restricted to the test's own lines.
QList<Device> TstOxsctlPorts::listed() {
    QList<Device> ours;
    for (const Device &d : SerialDevices::list())
        if (d.path == m_simPath || d.path == m_silent.path) ours << d;
    return ours;
}

void TstOxsctlPorts::portsListsTheNamedDevices() {
    const auto run = [](const QStringList &args, QString &out) {
        QProcess p;
        p.start(QStringLiteral(OXSCTL_PATH), args);
        if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit) return -1;
        out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitCode();
    };
    QString text, json;
    QCOMPARE(run({QStringLiteral("ports")}, text), kExitOk);
    QCOMPARE(run({QStringLiteral("ports"), QStringLiteral("--json")}, json), kExitOk);

    // Text: a header, then one aligned line per device (no stable name, no serial: dashes).
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.value(0).startsWith(QLatin1String("DEVICE")), qPrintable(text));
    const qsizetype column = lines.value(0).indexOf(QLatin1String("STABLE NAME"));
    for (const QString &path : {m_simPath, m_silent.path}) {
        const QStringList mine = lines.filter(path);
        QCOMPARE(mine.size(), 1);
        QCOMPARE(mine.first().indexOf(QLatin1Char('-')), column);
    }
    QVERIFY(!text.contains(m_gonePath));

    const QJsonArray array = QJsonDocument::fromJson(json.toUtf8()).array();
    QCOMPARE(array.size(), lines.size() - 1);
    const QJsonObject silent{{"path", m_silent.path},
                             {"stablePath", m_silent.path},
                             {"description", ""},
                             {"manufacturer", ""},
                             {"serialNumber", ""}};
    QCOMPARE(std::count(array.begin(), array.end(), silent), 1);

    QCOMPARE(portsText({}, false), QStringLiteral("no serial device found\n"));
}

void TstOxsctlPorts::scanFindsTheSimulatorAndSendsOnlyTheQuery() {
    const QList<Device> devices = listed();
    QCOMPARE(devices.size(), 2);
    m_sim.clearCommandLog();
    const QList<ProbeResult> results = scan(devices, 400);
    QCOMPARE(results.size(), 2);
    for (const ProbeResult &r : results) {
        if (r.device.path == m_simPath) {
            QCOMPARE(r.outcome, Outcome::Scaler);
            QCOMPARE(r.text(), QStringLiteral("Orlan Plus (model 33)"));
        } else {
            QCOMPARE(r.outcome, Outcome::NoAnswer);
            QCOMPARE(r.text(), QStringLiteral("no answer"));
        }
    }
    QTest::qWait(100); // anything sent late would arrive by now
    QCOMPARE(m_silent.received, QByteArray("?"));
    QCOMPARE(m_sim.commandLog(), QStringList{QStringLiteral("?")});
    QCOMPARE(scanExitCode(results), kExitOk);
    QCOMPARE(scanText(results, true), m_simPath + QLatin1Char('\n'));

    const QJsonObject sim = QJsonDocument::fromJson(scanJson(results).toUtf8())
                                .array()
                                .at(results.first().device.path == m_simPath ? 0 : 1)
                                .toObject();
    QCOMPARE(sim.value("result").toString() + QString::number(sim.value("model").toInt()),
             QStringLiteral("scaler33"));
}

void TstOxsctlPorts::scanNamesWhatIsNoScaler() {
    // A device that answers the query with a code of no Orlan, split by a zero byte as a noisy line may.
    Line other;
    QVERIFY(other.open());
    other.answer = QByteArray("PEN1\r\nDE\0V7\r\n", 13);
    // One that another program holds.
    Line held;
    QVERIFY(held.open());
    TComPort holder;
    holder.SetPort(held.path);
    holder.Open();

    const QList<ProbeResult> results =
        scan({Device{other.path, other.path, {}, {}, {}}, Device{m_gonePath, m_gonePath, {}, {}, {}},
              Device{held.path, held.path, {}, {}, {}}},
             400);
    QCOMPARE(results.size(), 3);
    QCOMPARE(results[0].outcome, Outcome::UnknownModel);
    QCOMPARE(results[0].text(), QStringLiteral("unknown model code 7"));
    QCOMPARE(results[1].outcome, Outcome::CannotOpen);
    QVERIFY2(results[1].text().startsWith(QLatin1String("gone")), qPrintable(results[1].text()));
    QCOMPARE(results[2].outcome, Outcome::CannotOpen);
    QVERIFY2(results[2].text().startsWith(QLatin1String("busy")), qPrintable(results[2].text()));
    // The busy one was left alone.
    QVERIFY(held.received.isEmpty());
    QCOMPARE(scanExitCode(results), kExitNoScaler);
    QCOMPARE(scanExitCode(scan({}, 400)), kExitNoScaler);
}

QTEST_GUILESS_MAIN(TstOxsctlPorts)
#include "tst_oxsctl_ports.moc"
