// What other programs are told of the scaler and what their writes do: on a driver fed by hand through a
// recording serial link, so every answer is checked against what the scaler did or did not say.

#include "DeviceVariables.h"
#include "Orlan_d.h"
#include "RemoteService.h"
#include "RemoteSettings.h"
#include "Values.h"
#include "driver/FakeLink.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace OxsRemote;
using namespace OrlanVars;

namespace {

struct Scaler {
    FakeLink::State link;
    TOrlan_d drv;
    RemoteService service{drv};

    Scaler() {
        drv.SetLinkTimerEnabled(false);
        drv.ReplaceLink(CON_RS232, std::make_unique<FakeLink>(link));
        drv.StepLink(); // reset: probing
    }
    void connect(const QByteArray &model = "33") {
        drv.SerialReceive("DEV" + model + "\r\n");
        drv.StepLink(); // connected
        drv.StepLink(); // the query-all goes out
        drv.StepLink(); // its answer is over: ready
        link.sent.clear();
    }
    void reply(const QByteArray &lines) {
        drv.SerialReceive(lines);
        settle();
    }
    static void settle() {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    // Writes and returns the answer once it comes (within the turns of the loop given, else nothing).
    std::optional<Reply> set(const QString &name, const QJsonValue &value,
                             std::optional<Reply> *later = nullptr) {
        std::optional<Reply> answer;
        service.set(name, value, [&answer, later](const Reply &r) {
            if (later)
                *later = r;
            else
                answer = r;
        });
        return answer;
    }
};

QByteArray hposCommand(uint32_t value) {
    return QByteArray::number(value) + kRows[VAR_HPOS].command;
}

} // namespace

class TestRemoteService : public QObject {
    Q_OBJECT
  private slots:
    void readsOnlyWhatTheScalerReported();
    void refusedWritesSendNothing_data();
    void refusedWritesSendNothing();
    void writeIsAnsweredByTheScalersReport();
    void writeOfTheSameVariableWaitsForTheFirstAnswer();
    void unansweredWriteTimesOut();
    void lossAnswersPendingWritesAndForgetsValues();
    void changesArePublishedOnce();
    void listenArgument_data();
    void listenArgument();
};

void TestRemoteService::readsOnlyWhatTheScalerReported() {
    Scaler s;
    QCOMPARE(s.service.status().value("connected").toBool(), false);
    QVERIFY(s.service.status().value("model").isNull());
    s.connect("33");
    const QJsonObject status = s.service.status();
    QCOMPARE(status.value("model").toInt(), 33);
    QCOMPARE(status.value("modelName").toString(), QStringLiteral("Orlan Plus"));
    QVERIFY(status.value("link").toString().startsWith("RS232 ("));

    // The driver holds 0 for HPOS, but the scaler has not said so.
    QVERIFY(s.service.variables().value("HPOS").isNull());
    QVERIFY(s.service.variable("hpos").body.value("value").isNull());
    QVERIFY(s.service.variablesJson().contains("\"HPOS\":null"));
    s.reply("HP128\r\nOBLK1\r\n");
    QVERIFY(s.service.variablesJson().contains("\"HPOS\":128")); // the text follows every report
    QCOMPARE(s.service.variable("hpos").body, (QJsonObject{{"name", "HPOS"}, {"value", 128}}));
    QCOMPARE(s.service.variables().value("OBLACK"), QJsonValue(true));
    QCOMPARE(s.service.variables().value("DEV").toInt(), 33);
    QVERIFY(!s.service.variables().contains("IP1")); // write-only: no value to read

    QCOMPARE(s.service.variable("NOSUCH").status, 404);
    QCOMPARE(s.service.variable("IP1").status, 403);
}

void TestRemoteService::refusedWritesSendNothing_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<int>("status");
    const qint64 above = OxsControl::writeRange(VAR_HPOS).max + 1;
    QTest::newRow("unknown") << true << "NOSUCH" << QJsonValue(1) << 404;
    QTest::newRow("reported only") << true << "DEV" << QJsonValue(33) << 403;
    QTest::newRow("above range") << true << "HPOS" << QJsonValue(above) << 400;
    QTest::newRow("fraction") << true << "HPOS" << QJsonValue(1.5) << 400;
    QTest::newRow("text") << true << "HPOS" << QJsonValue("abc") << 400;
    QTest::newRow("bool for a number") << true << "HPOS" << QJsonValue(true) << 400;
    QTest::newRow("number for an address") << true << "LOCAL_IP" << QJsonValue(5) << 400;
    QTest::newRow("no scaler") << false << "HPOS" << QJsonValue(120) << 503;
}

void TestRemoteService::refusedWritesSendNothing() {
    QFETCH(bool, connected);
    QFETCH(QString, name);
    QFETCH(QJsonValue, value);
    QFETCH(int, status);
    Scaler s;
    if (connected) s.connect();
    s.link.sent.clear();
    const std::optional<Reply> answer = s.set(name, value);
    QVERIFY2(answer, "refusals are answered at once");
    QCOMPARE(answer->status, status);
    QVERIFY(!answer->body.value("error").toString().isEmpty());
    Scaler::settle();
    QCOMPARE(s.link.sent, QByteArrayList());
    QCOMPARE(s.service.pendingWrites(), 0);
}

void TestRemoteService::writeIsAnsweredByTheScalersReport() {
    Scaler s;
    s.connect();
    std::optional<Reply> answer;
    s.set("hpos", 120, &answer);
    Scaler::settle();
    QCOMPARE(s.link.sent, QByteArrayList{hposCommand(120)});
    QVERIFY(!answer);
    s.reply("HP100\r\n"); // the scaler limits it: the answer is what it reports
    QVERIFY(answer);
    QCOMPARE(answer->status, 200);
    QCOMPARE(answer->body, (QJsonObject{{"name", "HPOS"}, {"value", 100}}));

    answer.reset();
    s.set("OBLACK", 1, &answer);
    Scaler::settle();
    s.reply("OBLK1\r\n");
    QVERIFY(answer);
    QCOMPARE(answer->body.value("value"), QJsonValue(true));
}

void TestRemoteService::writeOfTheSameVariableWaitsForTheFirstAnswer() {
    Scaler s;
    s.connect();
    std::optional<Reply> first, second;
    s.set("HPOS", 10, &first);
    s.set("HPOS", 20, &second);
    Scaler::settle();
    QCOMPARE(s.link.sent, QByteArrayList{hposCommand(10)});
    s.reply("HP10\r\n");
    QVERIFY(first && !second);
    QCOMPARE(s.link.sent.last(), hposCommand(20));
    s.reply("HP20\r\n");
    QVERIFY(second);
    QCOMPARE(second->body.value("value").toInt(), 20);
}

void TestRemoteService::unansweredWriteTimesOut() {
    Scaler s;
    s.connect();
    std::optional<Reply> answer;
    s.set("HPOS", 120, &answer);
    QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), RemoteService::kConfirmMs + 1000);
    QCOMPARE(answer->status, 504);
    QVERIFY(answer->body.value("error").toString().contains("HPOS=120"));
    s.reply("HP120\r\n"); // too late: answered once only
    QCOMPARE(answer->status, 504);
}

void TestRemoteService::lossAnswersPendingWritesAndForgetsValues() {
    Scaler s;
    s.connect();
    s.reply("HP128\r\n");
    QSignalSpy lost(&s.service, &RemoteService::scalerLost);
    std::optional<Reply> answer;
    s.set("HPOS", 120, &answer);
    Scaler::settle();
    s.drv.SetForceConn(false);
    // The keep-alive goes unanswered until the state machine declares the scaler gone.
    for (int i = 0; i < 10 && s.drv.Connected(); ++i)
        s.drv.StepLink();
    QVERIFY(!s.drv.Connected());
    QCOMPARE(lost.count(), 1);
    QVERIFY(answer);
    QCOMPARE(answer->status, 503);
    QVERIFY(s.service.variables().value("HPOS").isNull());
    QByteArray json;
    QCOMPARE(s.service.backup(&json).status, 503);
}

void TestRemoteService::changesArePublishedOnce() {
    Scaler s;
    QSignalSpy changes(&s.service, &RemoteService::variableChanged);
    QSignalSpy connected(&s.service, &RemoteService::scalerConnected);
    s.connect("40");
    QCOMPARE(connected.count(), 1);
    QCOMPARE(connected.at(0).at(0).toInt(), 40);
    s.reply("HP5\r\nHP5\r\nHP6\r\n");
    QCOMPARE(changes.count(), 2);
    QCOMPARE(changes.at(1).at(0).toString(), QStringLiteral("HPOS"));
    QCOMPARE(changes.at(1).at(1).value<QJsonValue>().toInt(), 6);
}

void TestRemoteService::listenArgument_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::newRow("port") << "10700"
                          << "127.0.0.1" << 10700;
    QTest::newRow("address") << "0.0.0.0:80"
                             << "0.0.0.0" << 80;
    QTest::newRow("ipv6") << "[::1]:81"
                          << "::1" << 81;
    QTest::newRow("zero") << "0" << QString() << 0;
    QTest::newRow("too big") << "1.2.3.4:70000" << QString() << 0;
    QTest::newRow("name") << "localhost:80" << QString() << 0;
}

void TestRemoteService::listenArgument() {
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    RemoteSettings settings;
    QString why;
    QCOMPARE(parseListenArgument(text, settings, &why), port != 0);
    if (port == 0) {
        QVERIFY(!why.isEmpty());
        return;
    }
    QCOMPARE(settings.address, address);
    QCOMPARE(int(settings.port), port);
}

QTEST_GUILESS_MAIN(TestRemoteService)
#include "tst_remote_service.moc"
