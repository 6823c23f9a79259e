// oxsctl without a process: command line, names, values, output formats.

#include "CtlArgs.h"
#include "CtlRunner.h"
#include "DeviceVariables.h"
#include "Gradient.h"

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
    void gradientUpload();

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
    QTest::newRow("upload a gradient") << QStringList{"--gradient", "--serial", "COM1", "upload"}
                                       << Command::Upload << "serial COM1" << kDefaultTimeoutMs << none;
    QTest::newRow("restore, dry run, quiet, verbose")
        << QStringList{"-q", "restore", "b.json", "--dry-run", "-v"} << Command::Restore
        << "TCP 127.0.0.1:10500" << kDefaultTimeoutMs << QStringList{"b.json"};
    QTest::newRow("scan waits a short time per device")
        << QStringList{"scan", "--json"} << Command::Scan << "TCP 127.0.0.1:10500" << kScanDefaultTimeoutMs
        << none;
    QTest::newRow("scan with its own wait") << QStringList{"--timeout", "0.2", "scan", "-q"} << Command::Scan
                                            << "TCP 127.0.0.1:10500" << 200 << none;
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
    QTest::newRow("upload a file and a gradient")
        << QStringList{"--serial", "COM1", "upload", "a.bmp", "--gradient"}
        << "a FILE or --gradient, not both";
    QTest::newRow("upload with neither")
        << QStringList{"--serial", "COM1", "upload"} << "a FILE or --gradient";
    QTest::newRow("gradient over tcp") << QStringList{"upload", "--gradient"} << "--serial PORT";
    QTest::newRow("gradient with a fit")
        << QStringList{"--serial", "COM1", "upload", "--gradient", "--fit", "crop"} << "not to --gradient";
    QTest::newRow("gradient without upload") << QStringList{"--gradient", "status"} << "upload only";
    QTest::newRow("backup without a file") << QStringList{"backup"} << "exactly one FILE";
    QTest::newRow("restore two files") << QStringList{"restore", "a", "b"} << "exactly one FILE";
    QTest::newRow("dry run of set") << QStringList{"set", "HPOS=1", "--dry-run"} << "restore only";
    QTest::newRow("scan through the program") << QStringList{"--remote", "scan"} << "scan is local";
    QTest::newRow("ports through the program") << QStringList{"ports", "--remote"} << "ports is local";
    QTest::newRow("scan of one port") << QStringList{"--serial", "COM1", "scan"} << "does not apply to scan";
    QTest::newRow("scan over tcp") << QStringList{"scan", "--tcp", "127.0.0.1"} << "does not apply to scan";
    QTest::newRow("ports waits for nothing") << QStringList{"ports", "--timeout", "1"} << "opens nothing";
    QTest::newRow("ports takes no name") << QStringList{"ports", "/dev/ttyS0"} << "unexpected argument";
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
    QTest::newRow("json get names once")
        << QStringList{"--json", "get", "HPOS", "hpos", "VPOS"} << int(kExitOk) << "HPOS VPOS";
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

// A serial failure names the device path the port name stands for, and how to get access when denied.
// The gradient needs no file: the generator's default picture, fitted as the window fits it, is the field;
// both manuals tell how to ask for it.
void TstOxsctlArgs::gradientUpload() {
    const ParsedCommandLine p = parseCommandLine({"--serial", "COM1", "upload", "--gradient"});
    QVERIFY2(p.ok(), qPrintable(p.error));
    QVERIFY(p.options.gradient);
    QVERIFY(!parseCommandLine({"--serial", "COM1", "upload", "a.bmp"}).options.gradient);

    QImage field;
    QString why;
    QCOMPARE(prepareField(p.options, field, &why), int(kExitOk));
    QCOMPARE(field.size(), QSize(720, 288));
    // A horizontal gradient does not depend on the height: the field is FillGradient's own over 720 x 288.
    QImage drawn(720, 288, QImage::Format_RGB32);
    FillGradient(drawn, drawn.rect(), GRADIENT_HORIZONTAL, 0, ColorRefFromRgb(qRgb(0, 0, 0)),
                 ColorRefFromRgb(qRgb(200, 128, 200)), 0);
    QCOMPARE(field.convertToFormat(QImage::Format_RGB32), drawn);
    for (const QString &text : {helpText(), helpText("upload")})
        QVERIFY(text.contains("upload {FILE [--fit MODE] | --gradient}") &&
                text.contains("default gradient"));
}

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

QTEST_GUILESS_MAIN(TstOxsctlArgs)
#include "tst_oxsctl_args.moc"
