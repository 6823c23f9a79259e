// oxsctl --remote: its command line and value forms, then the program against the remote control's HTTP
// server on a simulated scaler (in this process), output for output against oxsctl on a link of its own.

#include "CtlArgs.h"
#include "CtlRemote.h"
#include "CtlRunner.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace OxsCtl;
using namespace OxsControl;

class TstOxsctlRemote : public QObject {
    Q_OBJECT

  private slots:
    void commandLine_data();
    void commandLine();
    void commandLineErrors_data();
    void commandLineErrors();
    void valuesBothWays();
    void answersAndLinks();
};

void TstOxsctlRemote::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QStringList>("rest");

    QTest::newRow("default URL") << QStringList{"--remote", "status"} << "http://127.0.0.1:10600"
                                 << "" << QStringList{};
    QTest::newRow("a name is no URL") << QStringList{"get", "--remote", "HPOS"} << "http://127.0.0.1:10600"
                                      << "" << QStringList{"HPOS"};
    QTest::newRow("URL after --remote")
        << QStringList{"--remote", "http://127.0.0.1:9999", "get", "hpos"} << "http://127.0.0.1:9999"
        << "" << QStringList{"hpos"};
    QTest::newRow("--remote=, no port, a base path")
        << QStringList{"dump", "--remote=HTTPS://Stage.local/oxs/", "--token", "t0k3n"}
        << "https://stage.local:10600/oxs"
        << "t0k3n" << QStringList{};
    QTest::newRow("IPv6") << QStringList{"--remote", "http://[::1]:80", "status"} << "http://[::1]:80"
                          << "" << QStringList{};
}

void TstOxsctlRemote::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(QString, url);
    QFETCH(QString, token);
    QFETCH(QStringList, rest);
    const ParsedCommandLine p = parseCommandLine(args);
    QVERIFY2(p.ok(), qPrintable(p.error));
    QVERIFY(p.options.remote);
    QCOMPARE(p.options.remoteUrl, url);
    QCOMPARE(p.options.token, token);
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
    QTest::newRow("paced") << QStringList{"status", "--paced", "--remote"} << "--paced does not apply";
    QTest::newRow("send") << QStringList{"--remote", "send", "?"} << "send is not offered remotely";
    // before upload's own "give --serial PORT"
    QTest::newRow("upload") << QStringList{"--remote", "upload", "--gradient"}
                            << "upload is not offered remotely";
    QTest::newRow("token without remote")
        << QStringList{"--token", "x", "status"} << "--token applies to --remote only";
    QTest::newRow("token with a blank")
        << QStringList{"--remote", "--token", "a b", "status"} << "--token needs printable characters";
    QTest::newRow("token with a line end")
        << QStringList{"--remote", "--token", "a\r\nX: y", "status"} << "--token needs printable characters";
    QTest::newRow("other scheme") << QStringList{"--remote=ftp://host", "status"} << "--remote needs a URL";
    QTest::newRow("query") << QStringList{"--remote=http://host/?a=1", "status"} << "--remote needs a URL";
    QTest::newRow("user") << QStringList{"--remote=http://me@host", "status"} << "--remote needs a URL";
    QTest::newRow("empty") << QStringList{"--remote=", "status"} << "--remote= needs a URL";
    QTest::newRow("json still checked")
        << QStringList{"--remote", "set", "HPOS=1", "--json"} << "--json applies to";
}

void TstOxsctlRemote::commandLineErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const ParsedCommandLine p = parseCommandLine(args);
    QVERIFY2(p.error.startsWith(error), qPrintable(p.error));
}

// What a write sends and what an answer reads back as, for each kind of variable.
void TstOxsctlRemote::valuesBothWays() {
    struct Case {
        const char *name, *text;
        QJsonValue json;
        const char *printed;
    };
    const Case cases[] = {
        {"HPOS", "0x10", QJsonValue(16), "16"},
        {"OBLACK", "true", QJsonValue(true), "1"},
        {"COLOR", "200", QJsonValue(200), "200"},
        {"LOCAL_IP", "192.168.000.020", QJsonValue("192.168.0.20"), "192.168.0.20"},
        {"LOCAL_PORT", "4000", QJsonValue(4000), "4000"},
    };
    for (const Case &c : cases) {
        Target t;
        QVERIFY(lookupTarget(QLatin1String(c.name), t));
        Value v;
        QString why;
        QCOMPARE(parseValue(t, QLatin1String(c.text), v, &why), Problem::None);
        QCOMPARE(jsonForValue(t, v), c.json);
        Entry e;
        QVERIFY2(entryFromJson(t, c.json, e), c.name);
        QCOMPARE(e.name, t.name);
        QCOMPARE(e.valueText(), QLatin1String(c.printed));
        QVERIFY2(sameValue(t, v, e), c.name);
    }

    Target hpos, color, ip, oblack;
    lookupTarget("HPOS", hpos);
    lookupTarget("COLOR", color);
    lookupTarget("LOCAL_IP", ip);
    lookupTarget("OBLACK", oblack);
    Entry e;
    // A signed value the scaler may report; an on/off row reported as a number.
    QVERIFY(entryFromJson(color, QJsonValue(-5), e) && e.valueText() == "-5");
    QVERIFY(entryFromJson(oblack, QJsonValue(0), e) && e.valueText() == "0");
    // Not reported, or nothing a variable can hold: never printed as a value.
    for (const QJsonValue &bad : {QJsonValue(), QJsonValue("12"), QJsonValue(1.5), QJsonValue(4294967296.0),
                                  QJsonValue(QJsonObject{})})
        QVERIFY(!entryFromJson(hpos, bad, e));
    QVERIFY(!entryFromJson(ip, QJsonValue(1), e));
    // The scaler limited the value: not the one sent.
    Value sent;
    QString why;
    parseValue(hpos, "120", sent, &why);
    QVERIFY(entryFromJson(hpos, QJsonValue(100), e) && !sameValue(hpos, sent, e));
}

void TstOxsctlRemote::answersAndLinks() {
    QCOMPARE(exitCodeForStatus(404, Command::Get), int(kExitUnknownVariable));
    QCOMPARE(exitCodeForStatus(400, Command::Set), int(kExitBadValue));
    QCOMPARE(exitCodeForStatus(400, Command::Restore), int(kExitBadBackup));
    QCOMPARE(exitCodeForStatus(409, Command::Restore), int(kExitWrongModel));
    QCOMPARE(exitCodeForStatus(403, Command::Set), int(kExitWrongAccess));
    QCOMPARE(exitCodeForStatus(504, Command::Set), int(kExitNotConfirmed));
    QCOMPARE(exitCodeForStatus(503, Command::Dump), int(kExitNoScaler));
    QCOMPARE(exitCodeForStatus(401, Command::Status), int(kExitPortFailed));
    QCOMPARE(exitCodeForStatus(500, Command::Status), int(kExitFailure));

    QCOMPARE(linkFromRemote("TCP (127.0.0.1:10500)"), QString("TCP 127.0.0.1:10500"));
    QCOMPARE(linkFromRemote("RS232 (COM1)"), QString("serial COM1"));
    QCOMPARE(linkFromRemote("none"), QString("none"));

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

QTEST_GUILESS_MAIN(TstOxsctlRemote)
#include "tst_oxsctl_remote.moc"
