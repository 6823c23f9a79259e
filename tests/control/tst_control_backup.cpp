// What the scaler reported, when its answer to the query-all is over, what a backup of it holds and how a
// restore plans and drives its writes: on a driver fed by hand through a recording serial link.

#include "Backup.h"
#include "DeviceVariables.h"
#include "Link.h"
#include "Orlan_d.h"
#include "ReportLog.h"
#include "Restore.h"
#include "driver/FakeLink.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

using namespace OxsControl;
using namespace OrlanVars;

namespace {

// A driver connected to a model on a recording link; every message goes to the log and the dump watch.
struct Scaler {
    FakeLink::State link;
    QByteArrayList &sent = link.sent;
    TOrlan_d drv;
    ReportLog log;
    DumpWatch dump{drv};
    std::unique_ptr<Restore> restore;

    explicit Scaler(const QByteArray &model) {
        drv.SetLinkTimerEnabled(false);
        drv.ReplaceLink(CON_RS232, std::make_unique<FakeLink>(link));
        drv.OnRecString = [this](TOrlan_d *, int32_t) {
            log.record(drv, drv.receivedString());
            dump.received(drv.receivedString());
            if (restore) restore->received(drv.receivedString());
        };
        drv.OnConnected = [this](TOrlan_d *, int32_t) {
            if (restore) restore->connectionChanged();
        };
        for (int i = 0; i < VAR_COUNT; ++i)
            if (TOrlanNotifyEvent *e = drv.ChangeEvent(i))
                *e = [this, i](TOrlan_d *, int32_t) {
                    if (restore) restore->changed(i);
                };
        drv.StepLink(); // reset
        drv.SerialReceive("DEV" + model + "\r\n");
        drv.StepLink(); // connected
        drv.StepLink(); // the query-all goes out
        sent.clear();
    }
    void reply(const QByteArray &lines) {
        drv.SerialReceive(lines);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
};

// Every line of a model 40's answer but the ones named.
QByteArray dump40(const QByteArrayList &without = {}) {
    QByteArrayList lines;
    for (const Row &row : kRows) {
        if (row.index == VAR_DEV || row.index == VAR_DOLLARS || row.index == VAR_queryall) continue;
        if (row.kind == Kind::OCTET || row.kind == Kind::PORT || row.index == VAR_NETMASK) continue;
        if ((row.index >= VAR_LANENABLE && row.index <= VAR_PADIP) || row.index == VAR_DHCPENABLE ||
            row.index == VAR_TCPIP)
            continue;
        if (row.index >= VAR_PCHAN && row.index <= VAR_PPROC) continue;
        lines << QByteArray(row.reply) + (row.index == VAR_HPOS ? "120" : row.index == VAR_PCHAN ? "0" : "1");
    }
    lines << "PCH0"
          << "PEN1"
          << "PRGB2"
          << "PSTD3"
          << "PPRC0";
    QByteArray out;
    for (const QByteArray &l : lines) {
        qsizetype digits = 0;
        while (digits < l.size() && !(l[digits] >= '0' && l[digits] <= '9'))
            ++digits;
        if (!without.contains(l.left(digits))) out += l + "\r\n";
    }
    return out;
}

QJsonObject parseJson(const QByteArray &json) {
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TstControlBackup : public QObject {
    Q_OBJECT

  private slots:
    void reportForAllInputsCountsForEach();
    void backupHoldsOnlyWhatWasReported();
    void dumpEndsWhenCompleteNotOnAPause();
    void dumpEndsAfterQuietTimeDespiteLiveReports();
    void backupReadsEveryReportedValue();
    void planKeepsOddValuesAndOrdersLanLast();
    void restoreNamesWhatTheLostLinkLeftUnwritten();
};

// After PCHAN 0 a per-input value belongs to every input: the driver keeps it in slot 0 only.
void TstControlBackup::reportForAllInputsCountsForEach() {
    Scaler s("33");
    s.reply("PCH0\r\nPEN1\r\nPRGB4\r\nPCH2\r\nPRGB7\r\n");
    for (int in = 1; in <= 5; ++in) {
        QVERIFY(s.log.inputReported(VAR_PENA, in));
        QCOMPARE(reportedInputValue(s.drv, s.log, VAR_PENA, in), 1u);
        QCOMPARE(reportedInputValue(s.drv, s.log, VAR_PRGBI, in), in == 2 ? 7u : 4u);
    }
    QCOMPARE(s.drv.InputPENA(3), uint8_t(0)); // what the driver's own slot would have invented
    QVERIFY(!s.log.inputReported(VAR_PISTD, 1));
    QVERIFY(!s.log.inputReported(VAR_PENA, 0) && !s.log.inputReported(VAR_PENA, 6));
    // A PCHAN above 5 addresses no input.
    s.reply("PCH9\r\nPSTD1\r\n");
    QVERIFY(!s.log.inputReported(VAR_PISTD, 1));
}

// No octets, no addresses; three octets of four are no address; PADIP 0 reports all three slots.
void TstControlBackup::backupHoldsOnlyWhatWasReported() {
    Scaler s("33");
    s.reply("HP7\r\nCOL-3\r\nOTYP0\r\nPCH0\r\nPEN1\r\nPRGB0\r\nPSTD0\r\nPPRC0\r\nLANE1\r\nADIP1\r\nIPA_10\r\n"
            "IPB_0\r\nIPC_0\r\nPORT4000\r\n");
    BackupGaps gaps;
    const QJsonObject root = parseJson(backupJson(s.drv, s.log, &gaps));
    const QJsonObject values = root.value("values").toObject();
    QCOMPARE(values.value("HPOS").toInt(), 7);
    QCOMPARE(values.value("COLOR").toInt(), -3);
    QCOMPARE(values.value("OTYPEM").toInt(), 0);
    QCOMPARE(values.value("LOCAL_PORT").toInt(), 4000);
    for (const char *absent : {"VPOS", "LOCAL_IP", "REMOTE_IP", "GATEWAY_IP", "REMOTE_PORT", "NETMASK"})
        QVERIFY2(!values.contains(absent), absent);
    QVERIFY(gaps.values.contains("LOCAL_IP") && gaps.values.contains("VPOS"));
    const QJsonArray inputs = root.value("inputs").toArray();
    QCOMPARE(inputs.size(), 5);
    for (const QJsonValue &in : inputs)
        QCOMPARE(in.toObject().value("PENA").toInt(), 1);
    QVERIFY(!root.value("versions").toObject().contains("VERV"));

    s.reply("ADIP0\r\nIPA_1\r\nIPB_2\r\nIPC_3\r\nIPD_4\r\n");
    const QJsonObject all = parseJson(backupJson(s.drv, s.log)).value("values").toObject();
    for (const char *name : {"LOCAL_IP", "REMOTE_IP", "GATEWAY_IP"})
        QCOMPARE(all.value(name).toString(), QString("1.2.3.4"));

    // A file with the odd values reads back: it holds what a scaler reported, not what we write.
    Backup b;
    QString why;
    QVERIFY2(parseBackup(backupJson(s.drv, s.log), b, &why), qPrintable(why));
}

// A pause inside the answer ends nothing; the last missing value ends it at once.
void TstControlBackup::dumpEndsWhenCompleteNotOnAPause() {
    Scaler s("40");
    int ended = 0;
    s.dump.ended = [&] { ++ended; };
    s.reply(dump40({"VP", "PPRC"}));
    QVERIFY(s.dump.running());
    QCOMPARE(dumpMissing(s.dump.log(), 40, false),
             (QStringList{"VPOS", "PPROC of input 1", "PPROC of input 2"}));
    QTest::qWait(300);
    QVERIFY(s.dump.running());
    s.reply("VP3\r\nPCH1\r\nPPRC1\r\n");
    QVERIFY(s.dump.running()); // input 2 still lacks its PPROC
    s.reply("PCH2\r\nPPRC0\r\n");
    QVERIFY(s.dump.over() && s.dump.complete());
    QCOMPARE(ended, 1);
    s.drv.StepLink(); // the driver's own quiet time changes nothing
    s.dump.readyChanged();
    QCOMPARE(ended, 1);
}

// Repeated measurements keep the line busy but report nothing new: the quiet time ends the answer.
void TstControlBackup::dumpEndsAfterQuietTimeDespiteLiveReports() {
    Scaler s("40");
    s.reply(dump40({"HP"}));
    QElapsedTimer clock;
    clock.start();
    while (s.dump.running() && clock.elapsed() < 8000) {
        s.reply("ILD1\r\nIFD1\r\n");
        QTest::qWait(100);
    }
    QVERIFY(s.dump.over());
    QVERIFY(!s.dump.complete());
    QVERIFY2(clock.elapsed() >= DumpWatch::kQuietMs - 200, qPrintable(QString::number(clock.elapsed())));
}

void TstControlBackup::backupReadsEveryReportedValue() {
    Backup b;
    QString why;
    QVERIFY2(parseBackup(R"({"model": 33, "values": {"OTYPEM": 0, "ACHANM": 0, "AMODEM": 2, "COLOR": -20,
                             "ORATEM": 9, "OFMTM": 4, "OBLACK": 2, "HPOS": 300},
                            "inputs": [{"input": 5, "PENA": 1, "PRGBI": 9, "PISTD": 0, "PPROC": 0}]})",
                         b, &why),
             qPrintable(why));
    QCOMPARE(b.values.size(), 8);
    for (const char *bad :
         {R"({"model": 33, "values": {"HPOS": -1}})", R"({"model": 33, "values": {"COLOR": 2147483648}})",
          R"({"model": 33, "values": {"OBLACK": 256}})"})
        QVERIFY2(!parseBackup(bad, b, &why), bad);
}

void TstControlBackup::planKeepsOddValuesAndOrdersLanLast() {
    Scaler s("33");
    s.reply("AMOD1\r\nPCH0\r\nPEN1\r\nPRGB0\r\nPSTD0\r\nPPRC0\r\n");
    Backup b;
    QString why;
    QVERIFY(parseBackup(R"({"model": 33, "values": {"OTYPEM": 0, "ACHANM": 0, "AMODEM": 2, "COLOR": -20,
                            "ORATEM": 4, "OFMTM": 4, "HPOS": 300, "VPOS": 9, "LANENABLE": 1, "LOCAL_PORT": 7},
                           "inputs": [{"input": 1, "PENA": 1, "PRGBI": 0, "PISTD": 0, "PPROC": 0},
                                      {"input": 2, "PENA": 0, "PRGBI": 0, "PISTD": 0, "PPROC": 0}]})",
                        b, &why));
    const RestorePlan plan = planRestore(b, s.drv, s.log);
    QStringList writes;
    for (const Assignment &a : plan.writes)
        writes << a.shownName() + '=' + assignedText(a);
    // input 1 holds its values already (reported for all inputs); the LAN module's settings come last
    QCOMPARE(writes, (QStringList{"VPOS=9", "COLOR=-20", "AMODEM=0", "PCHAN=2", "PENA of input 2=0",
                                  "LANENABLE=1", "LOCAL_PORT=7"}));
    QCOMPARE(plan.writes[1].value.number, uint32_t(-20)); // the setter's 32-bit pattern
    const QString notes = plan.notes.join('\n');
    for (const char *kept : {"OTYPEM 0", "ACHANM 0", "ORATEM 4", "OFMTM 4", "HPOS 300"})
        QVERIFY2(notes.contains(kept), qPrintable(notes));
    QCOMPARE(plan.notes.size(), 5);
}

// The link drops after the first answer: the restore ends at once and names every value it did not write, but
// not one the scaler held already (CONTR), which it would have skipped.
void TstControlBackup::restoreNamesWhatTheLostLinkLeftUnwritten() {
    Scaler s("40");
    s.reply(dump40());
    Backup b;
    QString why;
    QVERIFY(parseBackup(R"({"model": 40, "values": {"HPOS": 10, "VPOS": 11, "BRGT": 12, "CONTR": 1},
                           "inputs": [{"input": 2, "PENA": 0, "PRGBI": 2, "PISTD": 3, "PPROC": 0}]})",
                        b, &why));
    s.restore = std::make_unique<Restore>(s.drv, b, 30000);
    bool done = false;
    Restore::Result result;
    s.restore->finished = [&](const Restore::Result &r) {
        result = r;
        done = true;
    };
    s.restore->start(s.log);
    s.reply({});
    QCOMPARE(s.sent, QByteArrayList{"10H"});
    s.reply("HP10\r\n");
    QCOMPARE(s.sent.last(), QByteArray("11V"));
    s.drv.StepLink(); // Ready
    s.drv.StepLink(); // keep-alive
    s.drv.StepLink(); // no answer: the link is declared down
    s.drv.StepLink();
    QVERIFY(done);
    QVERIFY(result.linkLost && !result.ok());
    QCOMPARE(result.notWritten, (QStringList{"VPOS", "BRGT", "PENA of input 2"}));
}

QTEST_GUILESS_MAIN(TstControlBackup)
#include "tst_control_backup.moc"
