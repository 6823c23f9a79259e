// The oxsctl program against a simulator that behaves like the harshest scaler: odd values, one report for
// all inputs and no addresses, pauses inside the answer to the query-all, live reports, an invalid model
// code, a scaler that falls silent in the middle of a restore.

#include "DeviceVariables.h"
#include "OxsctlProcess.h"
#include "ScalerSimulator.h"
#include "Session.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace OrlanVars;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoScaler = 4;
constexpr int kExitNotRestored = 14;
constexpr int kExitNotReported = 15;

using Result = OxsctlResult;

// Runs oxsctl while the event loop serves the in-process simulator.
Result oxsctl(const QStringList &args) {
    return runOxsctl(args);
}

struct Harsh {
    explicit Harsh(int model, const OxsSim::FaultSettings &faults = OxsSim::FaultSettings::harsh())
        : sim(model) {
        sim.setTimings({20, 20, 400, 20});
        sim.setFaults(faults);
        port = sim.startTcp(0, QHostAddress::LocalHost);
        QObject::connect(&sim, &OxsSim::ScalerSimulator::commandReceived,
                         [this](const QString &command, const QString &) {
                             commands << command;
                             if (onCommand) onCommand(command);
                         });
    }
    QStringList link() const { return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(port)}; }
    int count(const QString &prefix) const {
        int n = 0;
        for (const QString &c : commands)
            n += c.startsWith(prefix) ? 1 : 0;
        return n;
    }

    OxsSim::ScalerSimulator sim;
    quint16 port = 0;
    QStringList commands;
    std::function<void(const QString &)> onCommand;
};

QString describe(const Result &r) {
    return QStringLiteral("code %1 after %2 ms\nout: %3\nerr: %4").arg(r.code).arg(r.ms).arg(r.out, r.err);
}

} // namespace

class TstOxsctlHarsh : public QObject {
    Q_OBJECT

  private slots:
    void backupRestoreRoundTrip_data();
    void backupRestoreRoundTrip();
    void readsOnlyWhatTheScalerSent();
    void invalidModelCode();
    void restoreNamesWhatTheLostLinkLeftUnwritten();
};

void TstOxsctlHarsh::backupRestoreRoundTrip_data() {
    QTest::addColumn<int>("model");
    QTest::newRow("Orlan") << 32;
    QTest::newRow("Orlan Plus") << 33;
    QTest::newRow("Orlan C") << 40;
}

// Every backup of such a scaler restores: odd values are kept with a note, the one report for all inputs
// stands for each input and disables none, the picture value changed in between is written back.
void TstOxsctlHarsh::backupRestoreRoundTrip() {
    QFETCH(int, model);
    Harsh h(model);
    QVERIFY(h.port);
    QTemporaryDir dir;
    const QString file = dir.filePath("scaler.json");

    const Result backup = oxsctl(h.link() + QStringList{"backup", file});
    QVERIFY2(backup.code == kExitOk, qPrintable(describe(backup)));
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(in.readAll()).object();
    const QJsonObject values = saved.value("values").toObject();
    QCOMPARE(values.value("OTYPEM").toInt(-1), 0);
    QVERIFY(values.value("COLOR").toInt() < 0);
    QVERIFY2(!values.contains("LOCAL_IP"), "no address octet was reported");
    const QJsonArray inputs = saved.value("inputs").toArray();
    QCOMPARE(inputs.size(), h.sim.state().inputCount());
    for (const QJsonValue &v : inputs)
        QCOMPARE(v.toObject().value("PENA").toInt(), 1);

    const Result set = oxsctl(h.link() + QStringList{"set", "HPOS=17"});
    QVERIFY2(set.code == kExitOk, qPrintable(describe(set)));
    QCOMPARE(h.sim.value(VAR_HPOS), 17u);

    h.commands.clear();
    const Result restore = oxsctl(h.link() + QStringList{"restore", file});
    QVERIFY2(restore.code == kExitOk, qPrintable(describe(restore)));
    QVERIFY2(restore.err.contains("OTYPEM 0 means \"unchanged\""), qPrintable(restore.err));
    QCOMPARE(h.sim.value(VAR_HPOS), uint32_t(values.value("HPOS").toInt()));
    for (int n = 1; n <= h.sim.state().inputCount(); ++n)
        QCOMPARE(h.sim.state().inputValue(VAR_PENA, n), 1u);
    QCOMPARE(h.count("0PE"), 0);
}

// A pause inside the answer is no end of it; a variable never reported fails by name; one JSON key a name.
void TstOxsctlHarsh::readsOnlyWhatTheScalerSent() {
    OxsSim::FaultSettings faults = OxsSim::FaultSettings::harsh();
    faults.dumpPauseMinMs = 200;
    faults.dumpPauseMaxMs = 500;
    Harsh h(33, faults);
    QVERIFY(h.port);
    const QString hpos = QString::number(h.sim.value(VAR_HPOS));
    QVERIFY(hpos != "0");
    for (int i = 0; i < 4; ++i) {
        const Result get = oxsctl(h.link() + QStringList{"get", "HPOS", "DATADBG"});
        QVERIFY2(get.code == kExitOk, qPrintable(describe(get)));
        QCOMPARE(get.out, QStringLiteral("HPOS=%1\nDATADBG=%2\n").arg(hpos).arg(h.sim.value(VAR_DATADBG)));
    }
    const Result never = oxsctl(h.link() + QStringList{"get", "HPOS", "DOLLARS"});
    QVERIFY2(never.code == kExitNotReported, qPrintable(describe(never)));
    QVERIFY2(never.err.contains("did not report DOLLARS"), qPrintable(never.err));
    QCOMPARE(never.out, QString());

    const Result json = oxsctl(h.link() + QStringList{"--json", "get", "HPOS", "hpos"});
    QVERIFY2(json.code == kExitOk, qPrintable(describe(json)));
    QCOMPARE(json.out.count("HPOS"), 1);
    QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8()).object().value("HPOS").toInt(), hpos.toInt());

    // The dump ends although live reports never stop, and holds no address the scaler did not send.
    const Result dump = oxsctl(h.link() + QStringList{"dump"});
    QVERIFY2(dump.code == kExitOk, qPrintable(describe(dump)));
    QVERIFY2(dump.out.contains("HPOS=" + hpos + "\n") && !dump.out.contains("LOCAL_IP"),
             qPrintable(dump.out));
}

// The failure names the code; the identity query goes out at the pace of a silent scaler, not at once.
void TstOxsctlHarsh::invalidModelCode() {
    OxsSim::FaultSettings faults;
    faults.modelCode = 12;
    Harsh h(33, faults);
    QVERIFY(h.port);
    const Result r = oxsctl(h.link() + QStringList{"--timeout", "2", "status"});
    QCOMPARE(r.code, kExitNoScaler);
    QVERIFY2(r.err.contains("model code 12"), qPrintable(r.err));
    // one query every 250 ms at most over the 2 s (before: hundreds)
    QVERIFY2(h.count("?") >= 2 && h.count("?") <= 12, qPrintable(QString::number(h.count("?"))));
}

// The scaler falls silent after the second value written: the link is lost, and the rest is named.
void TstOxsctlHarsh::restoreNamesWhatTheLostLinkLeftUnwritten() {
    Harsh h(40, OxsSim::FaultSettings{});
    QVERIFY(h.port);
    QTemporaryDir dir;
    const QString file = dir.filePath("c.json");
    QVERIFY(oxsctl(h.link() + QStringList{"backup", file}).code == kExitOk);
    const Result set = oxsctl(h.link() + QStringList{"set", "HPOS=1", "VPOS=2", "BRGT=3", "HUE=4"});
    QVERIFY2(set.code == kExitOk, qPrintable(describe(set)));

    int written = 0;
    h.onCommand = [&](const QString &c) {
        if (c.startsWith('?') || c.startsWith('#') || ++written < 2) return;
        OxsSim::FaultSettings silent;
        silent.silent = true;
        h.sim.setFaults(silent);
    };
    const Result r = oxsctl(h.link() + QStringList{"restore", file});
    QVERIFY2(r.code == kExitNotRestored, qPrintable(describe(r)));
    QVERIFY2(r.err.contains("link to the scaler was lost"), qPrintable(r.err));
    QVERIFY2(r.err.contains("BRGT") && r.err.contains("HUE") && !r.err.contains("HPOS"), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TstOxsctlHarsh)
#include "tst_oxsctl_harsh.moc"
