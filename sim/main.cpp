// orlan-sim: a scaler of the Orlan family on loopback sockets and pseudo-terminals.

#include "ScalerSimulator.h"
#include "UnixSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kManual[] = R"(NAME
    orlan-sim - simulator of an Orlan, Orlan Plus or Orlan C video scaler

SYNOPSIS
    orlan-sim [-m MODEL] [--input N] [--bind ADDR] [--tcp-port PORT | --no-tcp]
              [--udp-port PORT | --no-udp] [--pty] [--tty PATH]
              [--silent] [--model-code N] [--drop-after S [--drop-for S]]
              [--chunked] [--chunk-bytes N] [--long-replies] [--garbage]
              [--seed N] [--save-frame FILE] [--line-rate BAUD]
              [--hold-after N [--hold-ms MS]] [--abort-after N]
              [--silent-after N] [-v]
    orlan-sim -h | --help
    orlan-sim --version

DESCRIPTION
    Answers the scaler's text protocol the way the hardware does: commands are a
    decimal value followed by a command mnemonic without any terminator ("100H"),
    "?" asks for the model, "#" followed by CR LF asks for every variable. Each
    reply is a reply mnemonic, a value and CR LF ("HP100"). Values are kept in
    the range the scaler accepts and the reply reports what was stored. Selecting
    an input reports TKEV0, the new input and its measurements, then TKEV1 300 ms
    later; a change of a stored setting reports STO1, then STO0 500 ms after the
    last change.

    TCP, UDP and the serial line run at the same time. TCP takes several
    clients; replies go to the client that asked, the scaler's own reports go to
    everyone. UDP replies go to the sender of the latest datagram. The serial
    speed is not simulated: any speed works.

OPTIONS
    -m, --model MODEL
        Scaler model: 32 (Orlan, 3 inputs), 33 (Orlan Plus, 5 inputs and a LAN
        module) or 40 (Orlan C, 2 inputs). Default: 33.
    --bind ADDR
        Address of the TCP and UDP endpoints. Default: 127.0.0.1.
    --tcp-port PORT
        TCP port; 0 picks a free port. Default: 10500.
    --udp-port PORT
        UDP port; 0 picks a free port. Default: 10500.
    --no-tcp, --no-udp
        Do not open that endpoint.
    --input N
        Start with input N selected (1 to the model's number of inputs; the
        last input of every model is its computer input).
    --pty
        Create a pseudo-terminal in raw mode and serve its other end; a host opens
        the printed path as its serial port.
    --tty PATH
        Serve an existing terminal device (raw, 8N1).
    -v, --verbose
        Log every command and reply on standard error.
    -h, --help
        Show this manual and exit.
    --version
        Show the version and exit.

FAULT OPTIONS
    --silent
        Read everything, answer nothing.
    --model-code N
        Answer "?" with model code N (for example 12, which no host accepts).
    --drop-after S
        Stop answering S seconds after start, as if the cable were pulled;
        commands meanwhile are lost. S may have decimals.
    --drop-for S
        With --drop-after: answer again after S seconds. Default: never.
    --chunked
        Send replies in random pieces of 1 to 8 bytes, 0 to 4 ms apart.
    --chunk-bytes N
        Send replies in random pieces of 1 to N bytes (1: one byte at a
        time, as a slow serial line delivers them). Implies --chunked.
    --long-replies
        Report the longest values a scaler can: ten-digit version numbers
        and debug registers, a negative colour, all written unsigned
        ("COL4294967291").
    --garbage
        Put random junk lines between replies.
    --seed N
        Seed of the random choices of --chunked and --garbage. Default: 1.

FRAME UPLOAD
    A host uploads a 720 x 288 picture into the frame memory over a serial
    line (--pty or --tty): FAMODEM_ 2, FATRMODE 0, FAEXEC 1, then escaped RGB
    bytes in chunks that the simulator acknowledges, rows ended by ESC CR and
    the picture by ESC EOT.
    --save-frame FILE
        Write every picture received whole to FILE as a BMP.
    --line-rate BAUD
        Acknowledge no faster than a line of BAUD (10 bits a byte) would carry
        the bytes, e.g. 57600. Default: as fast as they come.
    --hold-after N
        After chunk N hold the host with ESC DC3, release it with ESC DC1
        --hold-ms MS later (default 1000).
    --abort-after N
        Answer chunk N with ESC CAN: the scaler aborts the upload.
    --silent-after N
        Stop acknowledging after chunk N.

OUTPUT
    At start, one line per endpoint on standard output, then stdout is flushed:
        TCP 127.0.0.1:10500
        UDP 127.0.0.1:10500
        PTY /dev/pts/5
    With port 0 the line shows the port actually bound.

EXAMPLES
    orlan-sim
        An Orlan Plus on TCP and UDP port 10500 of 127.0.0.1.
    orlan-sim -m 40 --pty --no-tcp --no-udp
        An Orlan C on a new pseudo-terminal only.
    orlan-sim --tcp-port 0 --udp-port 0 --chunked --seed 7
        Free ports, replies in pieces, reproducible.
    orlan-sim --pty --long-replies --chunk-bytes 1
        Long replies, one byte at a time, on a pseudo-terminal.
    orlan-sim --pty --no-tcp --no-udp --save-frame /tmp/field.bmp
        Takes uploads on a pseudo-terminal and keeps the last one as a BMP.
    orlan-sim --drop-after 10 --drop-for 5
        Goes quiet from 10 s to 15 s after start.
    printf '?' | nc -q1 127.0.0.1 10500
        Prints DEV33.

EXIT STATUS
    0   stopped by SIGINT or SIGTERM, or --help / --version
    1   an endpoint could not be opened (port in use, no pseudo-terminal, ...)
    2   invalid command line
)";

int usageError(const QString &message) {
    std::fprintf(stderr, "orlan-sim: %s\nTry 'orlan-sim --help' for more information.\n",
                 qPrintable(message));
    return kExitUsage;
}

bool parseUnsigned(const QString &text, qulonglong max, qulonglong *value) {
    bool ok = false;
    const qulonglong v = text.toULongLong(&ok, 10);
    if (!ok || v > max) return false;
    *value = v;
    return true;
}

bool parseSeconds(const QString &text, double *value) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v >= 0) || v > 1e6) return false;
    *value = v;
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orlan-sim"));

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const QCommandLineOption model({QStringLiteral("m"), QStringLiteral("model")}, QString(),
                                   QStringLiteral("N"), QStringLiteral("33"));
    const QCommandLineOption bind(QStringLiteral("bind"), QString(), QStringLiteral("ADDR"),
                                  QStringLiteral("127.0.0.1"));
    const QCommandLineOption tcpPort(QStringLiteral("tcp-port"), QString(), QStringLiteral("PORT"),
                                     QStringLiteral("10500"));
    const QCommandLineOption udpPort(QStringLiteral("udp-port"), QString(), QStringLiteral("PORT"),
                                     QStringLiteral("10500"));
    const QCommandLineOption noTcp(QStringLiteral("no-tcp"), QString());
    const QCommandLineOption noUdp(QStringLiteral("no-udp"), QString());
    const QCommandLineOption input(QStringLiteral("input"), QString(), QStringLiteral("N"));
    const QCommandLineOption pty(QStringLiteral("pty"), QString());
    const QCommandLineOption tty(QStringLiteral("tty"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption verbose({QStringLiteral("v"), QStringLiteral("verbose")}, QString());
    const QCommandLineOption silent(QStringLiteral("silent"), QString());
    const QCommandLineOption modelCode(QStringLiteral("model-code"), QString(), QStringLiteral("N"));
    const QCommandLineOption dropAfter(QStringLiteral("drop-after"), QString(), QStringLiteral("S"));
    const QCommandLineOption dropFor(QStringLiteral("drop-for"), QString(), QStringLiteral("S"));
    const QCommandLineOption chunked(QStringLiteral("chunked"), QString());
    const QCommandLineOption chunkBytes(QStringLiteral("chunk-bytes"), QString(), QStringLiteral("N"));
    const QCommandLineOption longReplies(QStringLiteral("long-replies"), QString());
    const QCommandLineOption garbage(QStringLiteral("garbage"), QString());
    const QCommandLineOption seed(QStringLiteral("seed"), QString(), QStringLiteral("N"),
                                  QStringLiteral("1"));
    const QCommandLineOption saveFrame(QStringLiteral("save-frame"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption lineRate(QStringLiteral("line-rate"), QString(), QStringLiteral("BAUD"));
    const QCommandLineOption holdAfter(QStringLiteral("hold-after"), QString(), QStringLiteral("N"));
    const QCommandLineOption holdMs(QStringLiteral("hold-ms"), QString(), QStringLiteral("MS"),
                                    QStringLiteral("1000"));
    const QCommandLineOption abortAfter(QStringLiteral("abort-after"), QString(), QStringLiteral("N"));
    const QCommandLineOption silentAfter(QStringLiteral("silent-after"), QString(), QStringLiteral("N"));
    parser.addOptions({help,      version,  model,     input,      bind,        tcpPort,    udpPort,
                       noTcp,     noUdp,    pty,       tty,        verbose,     silent,     modelCode,
                       dropAfter, dropFor,  chunked,   chunkBytes, longReplies, garbage,    seed,
                       saveFrame, lineRate, holdAfter, holdMs,     abortAfter,  silentAfter});

    if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(kManual, stdout);
        return kExitOk;
    }
    if (parser.isSet(version)) {
        std::printf("orlan-sim %s\n", OXS_VERSION_TEXT);
        return kExitOk;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    qulonglong n = 0;
    if (!parseUnsigned(parser.value(model), 1000, &n) || !OxsSim::ScalerState::isKnownModel(int(n)))
        return usageError(QStringLiteral("--model must be 32, 33 or 40, not '%1'").arg(parser.value(model)));
    const int modelValue = int(n);

    const QHostAddress address(parser.value(bind));
    if (address.isNull())
        return usageError(QStringLiteral("--bind needs an IP address, not '%1'").arg(parser.value(bind)));
    quint16 ports[2] = {};
    const QCommandLineOption *portOptions[2] = {&tcpPort, &udpPort};
    for (int i = 0; i < 2; ++i) {
        if (!parseUnsigned(parser.value(*portOptions[i]), 65535, &n))
            return usageError(QStringLiteral("--%1 must be 0 to 65535, not '%2'")
                                  .arg(portOptions[i]->names().first(), parser.value(*portOptions[i])));
        ports[i] = quint16(n);
    }
    if (parser.isSet(noTcp) && parser.isSet(noUdp) && !parser.isSet(pty) && !parser.isSet(tty))
        return usageError(QStringLiteral("nothing to serve: every endpoint is switched off"));

    OxsSim::FaultSettings faults;
    faults.silent = parser.isSet(silent);
    faults.chunked = parser.isSet(chunked);
    faults.garbage = parser.isSet(garbage);
    if (parser.isSet(chunkBytes)) {
        if (!parseUnsigned(parser.value(chunkBytes), 65536, &n) || n == 0)
            return usageError(QStringLiteral("--chunk-bytes needs a number from 1 to 65536, not '%1'")
                                  .arg(parser.value(chunkBytes)));
        faults.chunked = true;
        faults.chunkMaxBytes = int(n);
    }
    if (parser.isSet(modelCode)) {
        if (!parseUnsigned(parser.value(modelCode), 0x7FFFFFFF, &n))
            return usageError(
                QStringLiteral("--model-code needs a number, not '%1'").arg(parser.value(modelCode)));
        faults.modelCode = int(n);
    }
    if (!parseUnsigned(parser.value(seed), 0xFFFFFFFFull, &n))
        return usageError(QStringLiteral("--seed needs a number, not '%1'").arg(parser.value(seed)));
    faults.seed = quint32(n);
    if (parser.isSet(dropAfter) && !parseSeconds(parser.value(dropAfter), &faults.dropAfterSec))
        return usageError(
            QStringLiteral("--drop-after needs seconds, not '%1'").arg(parser.value(dropAfter)));
    if (parser.isSet(dropFor)) {
        if (!parser.isSet(dropAfter)) return usageError(QStringLiteral("--drop-for needs --drop-after"));
        if (!parseSeconds(parser.value(dropFor), &faults.dropForSec))
            return usageError(
                QStringLiteral("--drop-for needs seconds, not '%1'").arg(parser.value(dropFor)));
    }

    // SIGINT and SIGTERM end the event loop, so the exit is an ordinary one.
    UnixSignals signalsToQuit;
    QObject::connect(&signalsToQuit, &UnixSignals::terminationRequested, &app, &QCoreApplication::quit);

    OxsSim::UploadSettings upload;
    struct Count {
        const QCommandLineOption &option;
        int *value;
    };
    for (const Count &c : {Count{lineRate, &upload.lineRateBaud}, Count{holdAfter, &upload.holdAfterChunks},
                           Count{holdMs, &upload.holdMs}, Count{abortAfter, &upload.abortAfterChunks},
                           Count{silentAfter, &upload.silentAfterChunks}}) {
        if (!parser.isSet(c.option) && c.value != &upload.holdMs) continue;
        if (!parseUnsigned(parser.value(c.option), 0x7FFFFFFF, &n))
            return usageError(QStringLiteral("--%1 needs a whole number, not '%2'")
                                  .arg(c.option.names().first(), parser.value(c.option)));
        *c.value = int(n);
    }

    OxsSim::ScalerSimulator sim(modelValue);
    sim.setUploadSettings(upload);
    if (parser.isSet(saveFrame)) sim.setSaveFramePath(parser.value(saveFrame));
    if (parser.isSet(longReplies)) sim.state().useLongValues();
    if (parser.isSet(input)) {
        if (!parseUnsigned(parser.value(input), 5, &n) || n == 0 || int(n) > sim.inputCount())
            return usageError(QStringLiteral("--input must be 1 to %1 for this model, not '%2'")
                                  .arg(sim.inputCount())
                                  .arg(parser.value(input)));
        sim.state().startOnInput(int(n));
    }
    sim.setFaults(faults);
    if (parser.isSet(verbose)) {
        QObject::connect(&sim, &OxsSim::ScalerSimulator::commandReceived,
                         [](const QString &cmd, const QString &peer) {
                             std::fprintf(stderr, "%s <- %s\n", qPrintable(peer), qPrintable(cmd));
                         });
        QObject::connect(&sim, &OxsSim::ScalerSimulator::lineSent,
                         [](const QByteArray &line, const QString &peer) {
                             std::fprintf(stderr, "%s -> %s\n", qPrintable(peer), line.constData());
                         });
    }

    QString error;
    QStringList endpoints;
    if (!parser.isSet(noTcp)) {
        const quint16 port = sim.startTcp(ports[0], address, &error);
        if (!port) {
            std::fprintf(stderr, "orlan-sim: cannot listen on TCP %s:%u: %s\n",
                         qPrintable(address.toString()), unsigned(ports[0]), qPrintable(error));
            return kExitFailure;
        }
        endpoints << QStringLiteral("TCP %1:%2").arg(address.toString()).arg(port);
    }
    if (!parser.isSet(noUdp)) {
        const quint16 port = sim.startUdp(ports[1], address, &error);
        if (!port) {
            std::fprintf(stderr, "orlan-sim: cannot bind UDP %s:%u: %s\n", qPrintable(address.toString()),
                         unsigned(ports[1]), qPrintable(error));
            return kExitFailure;
        }
        endpoints << QStringLiteral("UDP %1:%2").arg(address.toString()).arg(port);
    }
    if (parser.isSet(pty)) {
        const QString path = sim.startPty(&error);
        if (path.isEmpty()) {
            std::fprintf(stderr, "orlan-sim: cannot create a pseudo-terminal: %s\n", qPrintable(error));
            return kExitFailure;
        }
        endpoints << QStringLiteral("PTY %1").arg(path);
    }
    if (parser.isSet(tty)) {
        const QString path = parser.value(tty);
        if (!sim.openTty(path, &error)) {
            std::fprintf(stderr, "orlan-sim: cannot open %s: %s\n", qPrintable(path), qPrintable(error));
            return kExitFailure;
        }
        endpoints << QStringLiteral("TTY %1").arg(path);
    }
    for (const QString &line : endpoints)
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);

    const int rc = QCoreApplication::exec();
    sim.stop();
    return rc == 0 ? kExitOk : kExitFailure;
}
