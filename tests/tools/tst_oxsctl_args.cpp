// oxsctl without a process: command line, names, values, output formats.

#include "CtlArgs.h"
#include "CtlBackup.h"
#include "CtlRunner.h"
#include "CtlValues.h"
#include "DeviceVariables.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace OxsCtl;

Q_DECLARE_METATYPE(OxsCtl::Command)

class TstOxsctlArgs : public QObject {
    Q_OBJECT

  private slots:
    void commandLine_data();
    void commandLine();
    void commandLineErrors_data();
    void commandLineErrors();

    void prepare_data();
    void prepare();

    void values_data();
    void values();

    void replyMatching();
    void dumpCoversEveryReadableVariable();
    void backupHoldsSettingsOnly();
    void backupFileChecks();
    void jsonOutput();
    void escapes_data();
    void escapes();
    void serialFailures_data();
    void serialFailures();
};

void TstOxsctlArgs::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("link_text");
    QTest::addColumn<int>("timeout_ms");
    QTest::addColumn<QStringList>("rest");

    const QStringList none;
    QTest::newRow("defaults") << QStringList{"status"} << Command::Status << "TCP 127.0.0.1:10500"
                              << kDefaultTimeoutMs << none;
    QTest::newRow("tcp host only") << QStringList{"--tcp", "192.168.0.10", "dump"} << Command::Dump
                                   << "TCP 192.168.0.10:10500" << kDefaultTimeoutMs << none;
    QTest::newRow("tcp name and port") << QStringList{"--tcp=scaler.local:2000", "status"} << Command::Status
                                       << "TCP scaler.local:2000" << kDefaultTimeoutMs << none;
    QTest::newRow("udp after command")
        << QStringList{"get", "hpos", "--udp", "127.0.0.1:9", "--local-port", "0"} << Command::Get
        << "UDP 127.0.0.1:9 (local port 0)" << kDefaultTimeoutMs << QStringList{"hpos"};
    QTest::newRow("serial, fractional timeout")
        << QStringList{"--serial", "/dev/ttyUSB0", "--timeout", "0.25", "set", "HPOS=1", "VPOS=2"}
        << Command::Set << "serial /dev/ttyUSB0" << 250 << QStringList{"HPOS=1", "VPOS=2"};
    QTest::newRow("double dash keeps a dash text")
        << QStringList{"send", "--", "-1H"} << Command::Send << "TCP 127.0.0.1:10500" << kDefaultTimeoutMs
        << QStringList{"-1H"};
    QTest::newRow("help wins over a missing name") << QStringList{"get", "--help"} << Command::Help
                                                   << "TCP 127.0.0.1:10500" << kDefaultTimeoutMs << none;
    QTest::newRow("short version") << QStringList{"-V"} << Command::Version << "TCP 127.0.0.1:10500"
                                   << kDefaultTimeoutMs << none;
    QTest::newRow("json watch, paced") << QStringList{"watch", "--json", "--paced"} << Command::Watch
                                       << "TCP 127.0.0.1:10500" << kDefaultTimeoutMs << none;
    QTest::newRow("upload with a fit")
        << QStringList{"upload", "a.bmp", "--fit", "Crop", "--serial", "COM2"} << Command::Upload
        << "serial COM2" << kDefaultTimeoutMs << QStringList{"a.bmp"};
    QTest::newRow("restore, dry run, quiet, verbose")
        << QStringList{"-q", "restore", "b.json", "--dry-run", "-v"} << Command::Restore
        << "TCP 127.0.0.1:10500" << kDefaultTimeoutMs << QStringList{"b.json"};
}

void TstOxsctlArgs::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(Command, command);
    QFETCH(QString, link_text);
    QFETCH(int, timeout_ms);
    QFETCH(QStringList, rest);

    const ParsedCommandLine p = parseCommandLine(args);
    QVERIFY2(p.ok(), qPrintable(p.error));
    QCOMPARE(p.options.command, command);
    if (command == Command::Help) return;
    QCOMPARE(describeLink(p.options), link_text);
    QCOMPARE(p.options.timeoutMs, timeout_ms);
    QCOMPARE(p.options.arguments, rest);
    QCOMPARE(p.options.dryRun, args.contains("--dry-run"));
    QCOMPARE(p.options.quiet, args.contains("-q"));
    QCOMPARE(p.options.verbose, args.contains("-v"));
}

void TstOxsctlArgs::commandLineErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message_part");

    QTest::newRow("nothing") << QStringList{} << "no command";
    QTest::newRow("unknown command") << QStringList{"reboot"} << "unknown command";
    QTest::newRow("unknown option") << QStringList{"status", "-x"} << "unknown option";
    QTest::newRow("two links") << QStringList{"--tcp", "127.0.0.1", "--serial", "COM1", "status"}
                               << "only one";
    QTest::newRow("udp needs an address") << QStringList{"--udp", "localhost", "status"} << "IPv4";
    QTest::newRow("port too big") << QStringList{"--tcp", "127.0.0.1:65536", "status"} << "1 to 65535";
    QTest::newRow("local port without udp") << QStringList{"--local-port", "5", "status"} << "--udp only";
    QTest::newRow("timeout zero") << QStringList{"--timeout", "0", "status"} << "above 0";
    QTest::newRow("set needs =") << QStringList{"set", "HPOS"} << "NAME=VALUE";
    QTest::newRow("send one text") << QStringList{"send", "a", "b"} << "exactly one";
    QTest::newRow("json with set") << QStringList{"--json", "set", "HPOS=1"} << "--json";
    QTest::newRow("option without its value") << QStringList{"status", "--tcp"} << "--tcp";
    QTest::newRow("flag with a value") << QStringList{"--paced=1", "status"} << "--paced";
    QTest::newRow("help on no command") << QStringList{"help", "reboot"} << "unknown command";
    QTest::newRow("upload over tcp") << QStringList{"upload", "a.bmp"} << "--serial PORT";
    QTest::newRow("upload two files")
        << QStringList{"--serial", "COM1", "upload", "a.bmp", "b.bmp"} << "exactly one FILE";
    QTest::newRow("unknown fit") << QStringList{"--serial", "COM1", "upload", "a.bmp", "--fit", "stretch"}
                                 << "crop, shrink, center, zoom or exact";
    QTest::newRow("fit without upload") << QStringList{"--fit", "crop", "status"} << "upload only";
    QTest::newRow("backup without a file") << QStringList{"backup"} << "exactly one FILE";
    QTest::newRow("restore two files") << QStringList{"restore", "a", "b"} << "exactly one FILE";
    QTest::newRow("dry run of set") << QStringList{"set", "HPOS=1", "--dry-run"} << "restore only";
}

void TstOxsctlArgs::commandLineErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message_part);
    const ParsedCommandLine p = parseCommandLine(args);
    QVERIFY(!p.ok());
    QVERIFY2(p.error.contains(message_part), qPrintable(p.error));
}

// Names, access and values are checked before anything is opened, each with its own exit code.
void TstOxsctlArgs::prepare_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("detail");

    QTest::newRow("get any case") << QStringList{"get", "hpos", "unity", "Local_Ip", "netmask"}
                                  << int(kExitOk) << "HPOS UNITy LOCAL_IP NETMASK";
    QTest::newRow("get unknown") << QStringList{"get", "HPOS", "HPOSS"} << int(kExitUnknownVariable)
                                 << "HPOSS";
    QTest::newRow("get write-only octet")
        << QStringList{"get", "IP4"} << int(kExitWrongAccess) << "write-only";
    QTest::newRow("set report-only") << QStringList{"set", "ICHM=2"} << int(kExitWrongAccess) << "reported";
    QTest::newRow("set model code") << QStringList{"set", "DEV=33"} << int(kExitWrongAccess) << "model code";
    QTest::newRow("set unknown before range")
        << QStringList{"set", "HPOS=1", "NOPE=99999999999"} << int(kExitUnknownVariable) << "NOPE";
    QTest::newRow("first bad argument wins")
        << QStringList{"set", "HPOS=256", "ICHM=1"} << int(kExitBadValue) << "HPOS";
    QTest::newRow("range checked after a good value")
        << QStringList{"set", "HPOS=1", "COLOR=-1"} << int(kExitBadValue)
        << "COLOR needs a number from 0 to 255";
    QTest::newRow("set ok") << QStringList{"set", "hpos=0x10", "COLOR=$ff", "oblack=true", "LOCAL_PORT=$2904"}
                            << int(kExitOk) << "HPOS=16 COLOR=255 OBLACK=1 LOCAL_PORT=10500";
    QTest::newRow("send bad escape") << QStringList{"send", "100H\\q"} << int(kExitUsage) << "\\q";
}

void TstOxsctlArgs::prepare() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, detail);
    const ParsedCommandLine p = parseCommandLine(args);
    QVERIFY2(p.ok(), qPrintable(p.error));
    Request r;
    QString why;
    QCOMPARE(prepareRequest(p.options, r, &why), code);
    if (code != kExitOk) {
        QVERIFY2(why.contains(detail), qPrintable(why));
        return;
    }
    QStringList got;
    for (const Target &t : r.targets)
        got << t.name;
    for (const Request::Assignment &a : r.assignments)
        got << a.target.name + '=' + QString::number(a.value.number);
    QCOMPARE(got.join(' '), detail);
}

namespace {
void valueRow(const char *assignment, bool valid, uint number = 0, const char *canonical = "") {
    QTest::newRow(assignment) << QString::fromUtf8(assignment) << valid << number
                              << QString::fromUtf8(canonical);
}
} // namespace

void TstOxsctlArgs::values_data() {
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

void TstOxsctlArgs::values() {
    QFETCH(QString, assignment);
    QFETCH(bool, valid);
    QFETCH(uint, number);
    QFETCH(QString, canonical);

    const QString text = assignment.section('=', 1);
    Target t;
    QVERIFY(lookupTarget(assignment.section('=', 0, 0), t));
    Value v;
    QString why;
    QCOMPARE(parseValue(t, text, v, &why), valid ? int(kExitOk) : int(kExitBadValue));
    if (!valid) {
        QVERIFY2(why.contains(t.name) && why.contains(text), qPrintable(why));
        return;
    }
    QCOMPARE(v.number, number);
    QCOMPARE(v.text, canonical);
}

// Confirmations of rows without a change event depend on telling their replies apart from earlier rows'.
void TstOxsctlArgs::replyMatching() {
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

void TstOxsctlArgs::dumpCoversEveryReadableVariable() {
    const QList<Target> targets = dumpTargets();
    QStringList names;
    for (const Target &t : targets) {
        QString why;
        QCOMPARE(checkReadable(t, &why), int(kExitOk));
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

void TstOxsctlArgs::jsonOutput() {
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

void TstOxsctlArgs::escapes_data() {
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

void TstOxsctlArgs::escapes() {
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

// A serial failure names the device path the port name stands for, and how to get access when denied.
void TstOxsctlArgs::serialFailures_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QStringList>("absent");

    QTest::newRow("COMn mapped") << "COM3"
                                 << "Permission denied"
                                 << QStringList{"cannot open COM3 (/dev/oxs-test-usb0): Permission denied",
                                                "dialout", "usermod"}
                                 << QStringList{};
    QTest::newRow("COMn missing") << "com3"
                                  << "No such file or directory"
                                  << QStringList{"cannot open com3 (/dev/oxs-test-usb0)", "OXS_COM3"}
                                  << QStringList{"dialout"};
    QTest::newRow("path") << "/dev/oxs-test-none"
                          << "No such file or directory"
                          << QStringList{"cannot open /dev/oxs-test-none: No such file or directory"}
                          << QStringList{"(", "OXS_COM"};
}

void TstOxsctlArgs::serialFailures() {
    QFETCH(QString, port);
    QFETCH(QString, reason);
    QFETCH(QStringList, parts);
    QFETCH(QStringList, absent);
    qputenv("OXS_COM3", "/dev/oxs-test-usb0");
    const QString text = serialOpenFailure(port, reason);
    qunsetenv("OXS_COM3");
    for (const QString &p : parts)
        QVERIFY2(text.contains(p), qPrintable(text));
    for (const QString &a : absent)
        QVERIFY2(!text.contains(a), qPrintable(text));
}

// Every settable row is either a setting that backup keeps or one that restore must never replay; a row
// added to the table without a decision here fails.
void TstOxsctlArgs::backupHoldsSettingsOnly() {
    const QStringList neverReplayed{"ADDRDBG", "DATADBG",  "FRESET",   "PCHAN",    "PENA",    "PRGBI",
                                    "PISTD",   "PPROC",    "PRESETM",  "ERAPOS",   "AUTOCAD", "FAMODEM_",
                                    "FAEXEC",  "FATRMODE", "LANRESET", "LANSTORE", "PADIP"};
    const QStringList lan{"LANENABLE",  "DHCPENABLE", "TCPIP",      "LOCAL_IP",   "REMOTE_IP",
                          "GATEWAY_IP", "NETMASK",    "LOCAL_PORT", "REMOTE_PORT"};
    for (uint32_t model : {32u, 33u, 40u}) {
        QStringList names;
        for (const Target &t : backupTargets(model)) {
            QString why;
            QVERIFY2(checkSettable(t, &why) == kExitOk, qPrintable(t.name));
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

void TstOxsctlArgs::backupFileChecks() {
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

QTEST_GUILESS_MAIN(TstOxsctlArgs)
#include "tst_oxsctl_args.moc"
