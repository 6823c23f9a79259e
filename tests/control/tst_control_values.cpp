// The value rules without a link: names, the two ranges, parsing, reply matching, the text and JSON forms,
// escapes, and what a backup file holds and may hold.

#include "Backup.h"
#include "DeviceVariables.h"
#include "Values.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace OxsControl;

class TstControlValues : public QObject {
    Q_OBJECT

  private slots:
    void values_data();
    void values();
    void replyMatching();
    void dumpCoversEveryReadableVariable();
    void jsonOutput();
    void escapes_data();
    void escapes();
    void backupHoldsSettingsOnly();
    void backupFileChecks();
};

namespace {
void valueRow(const char *assignment, bool valid, uint number = 0, const char *canonical = "") {
    QTest::newRow(assignment) << QString::fromUtf8(assignment) << valid << number
                              << QString::fromUtf8(canonical);
}
} // namespace

void TstControlValues::values_data() {
    QTest::addColumn<QString>("assignment");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<uint>("number");
    QTest::addColumn<QString>("canonical");

    valueRow("HPOS=255", true, 255);
    valueRow("HPOS=$1f", true, 31);
    valueRow("HPOS=256", false);
    valueRow("HPOS=4294967296", false);
    valueRow("HPOS=-1", false);
    valueRow("HPOS=0x", false);
    valueRow("HPOS=12a", false);
    valueRow("COLOR=0", true, 0); // signed row, but the scaler takes 0..255 like the other picture values
    valueRow("COLOR=255", true, 255);
    valueRow("COLOR=-1", false);
    valueRow("COLOR=0xFFFFFFFF", false);               // the 32-bit pattern of -1
    valueRow("ADDRDBG=4294967295", true, 4294967295u); // no range given: the whole unsigned range
    valueRow("ICHNM=0", false);
    valueRow("ICHNM=5", true, 5);
    valueRow("PCHAN=0", true, 0); // 0 addresses every input
    valueRow("OSYNCTIME=31", false);
    valueRow("OTYPEM=0", false);
    valueRow("OBLACK=TRUE", true, 1);
    valueRow("OBLACK=2", false);
    valueRow("IP4=256", false);
    valueRow("REMOTE_PORT=65536", false);
    valueRow("LOCAL_IP=010.000.0.5", true, 0x0A000005u, "10.0.0.5");
    valueRow("LOCAL_IP=10.0.0.256", false);
    valueRow("GATEWAY_IP=10.0.0", false);
    valueRow("NETMASK=255.255.255.0", true, 0xFFFFFF00u, "255.255.255.0");
    valueRow("NETMASK=0.0.0.0", true, 0, "0.0.0.0");
    valueRow("NETMASK=255.0.255.0", false); // the scaler carries a mask as its number of host bits
}

void TstControlValues::values() {
    QFETCH(QString, assignment);
    QFETCH(bool, valid);
    QFETCH(uint, number);
    QFETCH(QString, canonical);

    const QString text = assignment.section('=', 1);
    Target t;
    QVERIFY(lookupTarget(assignment.section('=', 0, 0), t));
    Value v;
    QString why;
    QCOMPARE(parseValue(t, text, v, &why), valid ? Problem::None : Problem::BadValue);
    if (!valid) {
        QVERIFY2(why.contains(t.name) && why.contains(text), qPrintable(why));
        return;
    }
    QCOMPARE(v.number, number);
    QCOMPARE(v.text, canonical);
}

// Confirmations of rows without a change event depend on telling their replies apart from earlier rows'.
void TstControlValues::replyMatching() {
    using namespace OrlanVars;
    uint32_t v = 0;
    QVERIFY(replyMatchesRow("IPD_5", VAR_IP1, &v));
    QCOMPARE(v, 5u);
    QVERIFY(replyMatchesRow("PORT$2904", VAR_PORT, &v));
    QCOMPARE(v, 10500u);
    QVERIFY(replyMatchesRow("HP", VAR_HPOS, &v));
    QCOMPARE(v, 0u);
    QVERIFY(!replyMatchesRow("IPD_5x", VAR_IP1));
    QVERIFY(!replyMatchesRow("IPC_5", VAR_IP1));
    // "CHN4" belongs to ICHNM, never to ICHM, and "ILSD7" to ILSDM, not ILDM
    QVERIFY(replyMatchesRow("CHN4", VAR_ICHNM, &v));
    QVERIFY(!replyMatchesRow("CHN4", VAR_ICHM));
    QVERIFY(!replyMatchesRow("ILSD7", VAR_ILDM));
    QVERIFY(replyMatchesRow("ILSD7", VAR_ILSDM));
}

void TstControlValues::dumpCoversEveryReadableVariable() {
    const QList<Target> targets = dumpTargets();
    QStringList names;
    for (const Target &t : targets) {
        QString why;
        QCOMPARE(checkReadable(t, &why), Problem::None);
        names << t.name;
    }
    // 88 rows less four octets and the port row, plus five network settings (the netmask row stays)
    QCOMPARE(names.size(), 88 - 5 + 5);
    QCOMPARE(names.removeDuplicates(), 0);
    for (const char *n :
         {"ADDRDBG", "DEV", "COLOR", "LOCAL_IP", "GATEWAY_IP", "REMOTE_PORT", "NETMASK", "queryall"})
        QVERIFY2(names.contains(QLatin1String(n)), n);
    QVERIFY(names.indexOf("PADIP") < names.indexOf("LOCAL_IP"));
    QVERIFY(names.indexOf("REMOTE_PORT") < names.indexOf("NETMASK"));
}

void TstControlValues::jsonOutput() {
    const QList<Entry> entries = {{"COLOR", Entry::Type::Signed, 0xFFFFFFFEu, {}},
                                  {"OBLACK", Entry::Type::Boolean, 1, {}},
                                  {"LOCAL_IP", Entry::Type::Text, 0, "1.2.3.4\"\\\n"},
                                  {"HPOS", Entry::Type::Number, 4294967295u, {}}};

    QCOMPARE(formatLines(entries), QString("COLOR=-2\nOBLACK=1\nLOCAL_IP=1.2.3.4\"\\\n\nHPOS=4294967295\n"));

    const QString json = formatJson(entries);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString() + "\n" + json));
    const QJsonObject o = doc.object();
    QCOMPARE(o.value("COLOR").toInt(), -2);
    QCOMPARE(o.value("OBLACK").toBool(), true);
    QCOMPARE(o.value("LOCAL_IP").toString(), QString("1.2.3.4\"\\\n"));
    QCOMPARE(o.value("HPOS").toDouble(), 4294967295.0);
    // the table's order is kept, not sorted
    QVERIFY(json.indexOf("COLOR") < json.indexOf("OBLACK") &&
            json.indexOf("LOCAL_IP") < json.indexOf("HPOS"));
    QVERIFY(QJsonDocument::fromJson(formatJson({}).toUtf8()).isObject());
}

void TstControlValues::escapes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("cr lf") << "#\\r\\n" << true << QByteArray("#\r\n");
    QTest::newRow("hex and octal") << "\\x41\\x7\\101\\0z" << true
                                   << QByteArray("A\x07"
                                                 "A\0z",
                                                 5);
    QTest::newRow("hex takes two digits") << "\\x414" << true << QByteArray("A4");
    QTest::newRow("lone backslash") << "abc\\" << false << QByteArray();
    QTest::newRow("unknown escape") << "\\q" << false << QByteArray();
    QTest::newRow("octal above 377") << "\\400" << false << QByteArray();
}

void TstControlValues::escapes() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QByteArray, bytes);
    QByteArray out;
    QString why;
    QCOMPARE(unescape(text, out, &why), valid);
    if (valid)
        QCOMPARE(out, bytes);
    else
        QVERIFY(!why.isEmpty());
}

// Every settable row is either a setting that backup keeps or one that restore must never replay; a row
// added to the table without a decision here fails.
void TstControlValues::backupHoldsSettingsOnly() {
    const QStringList neverReplayed{"ADDRDBG", "DATADBG",  "FRESET",   "PCHAN",    "PENA",    "PRGBI",
                                    "PISTD",   "PPROC",    "PRESETM",  "ERAPOS",   "AUTOCAD", "FAMODEM_",
                                    "FAEXEC",  "FATRMODE", "LANRESET", "LANSTORE", "PADIP"};
    const QStringList lan{"LANENABLE",  "DHCPENABLE", "TCPIP",      "LOCAL_IP",   "REMOTE_IP",
                          "GATEWAY_IP", "NETMASK",    "LOCAL_PORT", "REMOTE_PORT"};
    for (uint32_t model : {32u, 33u, 40u}) {
        QStringList names;
        for (const Target &t : backupTargets(model)) {
            QString why;
            QVERIFY2(checkSettable(t, &why) == Problem::None, qPrintable(t.name));
            QVERIFY2(!neverReplayed.contains(t.name), qPrintable(t.name));
            names << t.name;
        }
        QCOMPARE(names.removeDuplicates(), 0);
        for (const QString &n : lan)
            QCOMPARE(names.contains(n), model == 33);
        // The selected input before the picture values that belong to it, the format before its rate.
        QVERIFY(names.indexOf("ICHNM") < names.indexOf("HPOS"));
        QVERIFY(names.indexOf("OFMTM") < names.indexOf("ORATEM"));
        for (const OrlanVars::Row &row : OrlanVars::kRows) {
            const QString name = QLatin1String(row.property);
            if (row.access != OrlanVars::Access::SET || lan.contains(name)) continue;
            QVERIFY2(names.contains(name) != neverReplayed.contains(name), qPrintable(name));
        }
    }
}

void TstControlValues::backupFileChecks() {
    Backup b;
    QString why;
    const auto parse = [&](const char *json) { return parseBackup(QByteArray(json), b, &why); };
    QVERIFY2(parse(R"({"model": 40, "values": {"HPOS": 7, "COLOR": 3},
                      "inputs": [{"input": 2, "PENA": 0, "PRGBI": 7, "PISTD": 1, "PPROC": 1},
                                 {"input": 1, "PENA": 1, "PRGBI": 0, "PISTD": 0, "PPROC": 0}]})"),
             qPrintable(why));
    QCOMPARE(b.model, 40u);
    QCOMPARE(b.values.size(), 2);
    QCOMPARE(b.values[0].target.name, QString("HPOS"));
    QCOMPARE(b.values[0].value.number, 7u);
    QCOMPARE(b.inputs.size(), 2);
    QCOMPARE(b.inputs[0].input, 1); // sorted
    QCOMPARE(b.inputs[1].prgbi, 7u);

    for (const char *bad :
         {"[]", "{", R"({"model": 41})", R"({"model": 33.5})", R"({"model": 33, "values": {"HPOS": 1.5}})",
          R"({"model": 33, "values": {"HPOS": "x"}})",
          R"({"model": 32, "values": {"LOCAL_IP": "10.0.0.1"}})", // no LAN module
          R"({"model": 33, "values": {"LOCAL_IP": "10.0.0.256"}})",
          R"({"model": 33, "values": {"ERAPOS": 1}})",
          R"({"model": 40, "inputs": [{"input": 3, "PENA": 1, "PRGBI": 0, "PISTD": 0, "PPROC": 0}]})",
          R"({"model": 40, "inputs": [{"input": 1, "PENA": 1}]})",
          R"({"model": 40, "inputs": [{"input": 1, "PENA": 1, "PRGBI": 0, "PISTD": 0, "PPROC": 0},
                                                        {"input": 1, "PENA": 1, "PRGBI": 0, "PISTD": 0, "PPROC": 0}]})"})
        QVERIFY2(!parse(bad), bad);
}

QTEST_GUILESS_MAIN(TstControlValues)
#include "tst_control_values.moc"
