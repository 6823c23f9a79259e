// Recordings replayed: a session with the harshest simulated scaler shows in the window and in oxsctl dump as
// the recorded scaler reported it, and what oxsctl --record writes replays to the same dump.

#include "DeviceVariables.h"
#include "Replay.h"
#include "SimWindowFixture.h"
#include "Values.h"
#include "tools/OxsctlProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace OrlanVars;

namespace {

const QString kRecording = QStringLiteral(OXS_FIXTURES_DIR "/harsh-orlan-plus.jsonl");

// What the recorded driver held at the end, by reply mnemonic, without what the session changed after the
// answer to the query-all (its three writes, the debug register read after them) and without the streamed
// measurements, which the fixture leaves out.
QHash<int, uint32_t> recordedDump() {
    QFile file(QStringLiteral(OXS_FIXTURES_DIR "/harsh-orlan-plus.values.json"));
    if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read the fixture's values");
    const QJsonObject values = QJsonDocument::fromJson(file.readAll()).object();
    QHash<int, uint32_t> dump;
    for (const Row &row : kRows) {
        const QLatin1String reply(row.reply);
        if (!values.contains(reply)) continue;
        if (row.index == VAR_HPOS || row.index == VAR_BRGT || row.index == VAR_IFRZM ||
            row.index == VAR_DATADBG)
            continue;
        if (row.kind == Kind::OCTET || row.kind == Kind::PORT || row.kind == Kind::NETMASK) continue;
        dump.insert(row.index, uint32_t(values.value(reply).toDouble()));
    }
    return dump;
}

std::unique_ptr<OxsSim::Replayer> replayOn(OxsSim::ScalerSimulator &sim) {
    OxsSim::Recording recording;
    QString why;
    if (!OxsSim::Recording::load(kRecording, &recording, &why)) qFatal("%s", qPrintable(why));
    return std::make_unique<OxsSim::Replayer>(recording, 1.0, sim);
}

} // namespace

class TestWindowReplay : public QObject {
    Q_OBJECT
  private slots:
    void windowShowsTheRecordedScaler();
    void oxsctlDumpPrintsTheRecordedValues();
    void oxsctlRecordsWhatReplaysToTheSameDump();
};

void TestWindowReplay::windowShowsTheRecordedScaler() {
    SimWindowFixture f;
    const auto replay = replayOn(f.sim);
    QVERIFY(f.start());
    QCOMPARE(f.form().windowTitle(), QString("Orlan Plus remote control"));
    const QHash<int, uint32_t> dump = recordedDump();
    QVERIFY(dump.size() > 60);
    // The recorded answer pauses longer than the quick pace's silence: it may still be arriving.
    const auto mismatch = [&] {
        for (auto it = dump.cbegin(); it != dump.cend(); ++it)
            if (f.driver().Value(it.key()) != it.value())
                return QStringLiteral("%1: %2, recorded %3")
                    .arg(QLatin1String(kRows[it.key()].property))
                    .arg(f.driver().Value(it.key()))
                    .arg(it.value());
        return QString();
    };
    QTRY_VERIFY2_WITH_TIMEOUT(mismatch().isEmpty(), qPrintable(mismatch()), 10000);
    QVERIFY(!f.form().StatusCell(StatusTexts::RowLineFreq).isEmpty());
}

void TestWindowReplay::oxsctlDumpPrintsTheRecordedValues() {
    OxsSim::ScalerSimulator sim(33);
    const auto replay = replayOn(sim);
    const quint16 port = sim.startTcp(0);
    QVERIFY(port != 0);
    const OxsctlResult dumped = runOxsctl({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "dump"});
    QCOMPARE(dumped.code, 0);
    QHash<QString, QString> printed;
    for (const QString &line : dumped.out.split('\n', Qt::SkipEmptyParts))
        printed.insert(line.section('=', 0, 0), line.section('=', 1));
    const QHash<int, uint32_t> dump = recordedDump();
    int compared = 0;
    for (auto it = dump.cbegin(); it != dump.cend(); ++it) {
        const QString name = QLatin1String(kRows[it.key()].property);
        if (!printed.contains(name)) continue; // the dump lists only what the scaler reported
        QCOMPARE(printed.value(name), OxsControl::formatRowValue(it.key(), it.value()));
        ++compared;
    }
    QVERIFY(compared > 60);
}

void TestWindowReplay::oxsctlRecordsWhatReplaysToTheSameDump() {
    QTemporaryDir dir;
    const QString file = dir.filePath("session.jsonl");
    QString live;
    {
        OxsSim::ScalerSimulator sim(40);
        const quint16 port = sim.startTcp(0);
        QVERIFY(port != 0);
        live = runOxsctl({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "--record", file, "dump"}).out;
    }
    QVERIFY(live.contains("DEV=40"));
    OxsSim::Recording recording;
    QString why;
    QVERIFY2(OxsSim::Recording::load(file, &recording, &why), qPrintable(why));
    OxsSim::ScalerSimulator sim(33); // the recording's model line, not this, answers what it lacks
    OxsSim::Replayer replay(recording, 1.0, sim);
    const quint16 port = sim.startTcp(0);
    QVERIFY(port != 0);
    const OxsctlResult replayed = runOxsctl({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "dump"});
    QCOMPARE(replayed.code, 0);
    QCOMPARE(replayed.out, live);
}

QTEST_MAIN(TestWindowReplay)
#include "tst_window_replay.moc"
