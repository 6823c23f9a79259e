// orlan-sim: a scaler of the Orlan family on loopback sockets and pseudo-terminals.

#include "Replay.h"
#include "ScalerSimulator.h"
#include "UnixSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>

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
              [--silent-after N] [--harsh] [--odd-values] [--reset-dump]
              [--dump-pause MIN[-MAX]] [--split-pause MS] [--nul-in-chunk]
              [--stream MS[:LINES]] [--ignore MNEMONIC[,MNEMONIC...]]
              [--lose-reply MNEMONIC[,MNEMONIC...]] [--byte-parser]
              [--raw-until-can] [--replay FILE [--speed X]] [-v]
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
        Seed of the random choices of --chunked, --garbage, --dump-pause and
        --split-pause. Default: 1.

HARSH SCALER
    Behaviours a real scaler may show, each legal in the protocol.
    --harsh
        All of the following that keep a session usable: --odd-values,
        --reset-dump, --dump-pause 200-500, --split-pause 300, --nul-in-chunk,
        --stream 100, --byte-parser and --raw-until-can. Options given
        besides it add to it or replace its values.
    --odd-values
        Hold and report values a host never writes: OTYPEM 0, ACHANM 0,
        AMODEM 2, COLOR -5, ORATEM 4 with REFREQ 0, and an OFMTM with no place
        in the model's format list (4 on model 33, 5 on the others). A write
        replaces them.
    --reset-dump
        Answer "#" as a scaler after a reset: the per-input settings once
        for all inputs (PCH0, then PEN, PRGB, PSTD, PPRC of input 1) and no
        address slots (no ADIP, IPA_ to IPD_ or PORT lines).
    --dump-pause MIN[-MAX]
        Pause once inside every answer to "#", between two lines, for a
        random time of MIN to MAX milliseconds (MAX defaults to MIN).
    --split-pause MS
        Cut a reply inside its text and send the rest MS milliseconds later:
        one line of every answer to "#" and every 10th other answer.
    --nul-in-chunk
        Put a NUL byte into every chunk sent over TCP or UDP: after the first
        line of a chunk of several lines, else before or after its line;
        never inside the text of a line.
    --stream MS[:LINES]
        Every MS milliseconds report LINES (default 1) live measurements of
        the selected input, line and frame duration in turn, each moving by
        one unit. The rate follows the clock: late ticks are made up for.
    --ignore MNEMONIC[,MNEMONIC...]
        Ignore these commands: apply nothing, answer nothing. Mnemonics are
        command mnemonics as sent, case as sent ("H", "fM", "?").
    --lose-reply MNEMONIC[,MNEMONIC...]
        Apply these commands but lose their replies.
    --byte-parser
        Parse commands byte by byte: a "?" inside a command ends it ("12?"
        is the identity query, the digits are lost), and a blank inside a
        command makes it no command ("120 H" is not answered).
    --raw-until-can
        Once a frame upload has started raw receive, take everything as
        picture data until ESC CAN or ESC EOT; without it, an upload from
        which nothing arrives for 10 seconds is given up.

REPLAY
    --replay FILE
        Answer like the scaler of a link recording (the JSON Lines files that
        oxs-remote-control --record and oxsctl --record write). Each command
        the recording holds (same text, e.g. "120H") gets the bytes that came
        back after it in the recording, exactly and with the recorded delays;
        the n-th time a command arrives it gets the reply of its n-th recorded
        occurrence, and after the last occurrence the last one again. Output
        that followed no command within 2 seconds (live reports, for example)
        comes at its recorded time, counted from the host's first bytes. Each
        host connection meets the recording from its start. Commands the
        recording does not hold are answered by the simulated model (the
        model of the recording's model line, else --model), said once per
        command mnemonic on standard error. Lines that are not JSON or lack
        keys, and a last line cut short, are skipped and counted; a file
        whose first line is no recording header is refused (exit status 2).
        Frame uploads are not replayed: picture bytes are not recorded.
    --speed X
        With --replay: play X times as fast (recorded delays divided by X;
        0.5 plays at half speed). Default: 1.

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
    orlan-sim --harsh --tcp-port 0 --udp-port 0
        A scaler as harsh as the protocol allows, on free ports.
    orlan-sim --stream 2:1 --lose-reply fM
        500 measurement lines a second; the frame mode command's reply is
        lost.
    orlan-sim --replay bug-1234.jsonl --speed 4
        Answers like the scaler of the recording, four times as fast.
    orlan-sim --drop-after 10 --drop-for 5
        Goes quiet from 10 s to 15 s after start.
    printf '?' | nc -q1 127.0.0.1 10500
        Prints DEV33.

EXIT STATUS
    0   stopped by SIGINT or SIGTERM, or --help / --version
    1   an endpoint could not be opened (port in use, no pseudo-terminal, ...)
    2   invalid command line, or a --replay file that cannot be read or is
        not a recording
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

// "A" or "A<sep>B", both whole numbers up to max; B defaults to def (or to A when def < 0).
bool parsePair(const QString &text, QChar sep, qulonglong max, qulonglong *a, qulonglong *b, qlonglong def) {
    const qsizetype at = text.indexOf(sep);
    if (!parseUnsigned(at < 0 ? text : text.left(at), max, a)) return false;
    if (at < 0) {
        *b = def < 0 ? *a : qulonglong(def);
        return true;
    }
    return parseUnsigned(text.mid(at + 1), max, b);
}

// Mnemonics given as a comma-separated list, the option possibly repeated.
bool parseMnemonics(const QStringList &values, QStringList *out) {
    for (const QString &value : values)
        for (const QString &m : value.split(QLatin1Char(','))) {
            if (m.isEmpty() || m.size() > 8) return false;
            for (const QChar c : m)
                if (c.unicode() <= 0x20 || c.unicode() >= 0x7F || c.isDigit()) return false;
            out->append(m);
        }
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
    const QCommandLineOption harsh(QStringLiteral("harsh"), QString());
    const QCommandLineOption oddValues(QStringLiteral("odd-values"), QString());
    const QCommandLineOption resetDump(QStringLiteral("reset-dump"), QString());
    const QCommandLineOption dumpPause(QStringLiteral("dump-pause"), QString(), QStringLiteral("MIN[-MAX]"));
    const QCommandLineOption splitPause(QStringLiteral("split-pause"), QString(), QStringLiteral("MS"));
    const QCommandLineOption nulInChunk(QStringLiteral("nul-in-chunk"), QString());
    const QCommandLineOption stream(QStringLiteral("stream"), QString(), QStringLiteral("MS[:LINES]"));
    const QCommandLineOption ignore(QStringLiteral("ignore"), QString(), QStringLiteral("MNEMONICS"));
    const QCommandLineOption loseReply(QStringLiteral("lose-reply"), QString(), QStringLiteral("MNEMONICS"));
    const QCommandLineOption byteParser(QStringLiteral("byte-parser"), QString());
    const QCommandLineOption rawUntilCan(QStringLiteral("raw-until-can"), QString());
    const QCommandLineOption replay(QStringLiteral("replay"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption speed(QStringLiteral("speed"), QString(), QStringLiteral("X"));
    parser.addOptions({help,      version,    model,       input,      bind,        tcpPort,     udpPort,
                       noTcp,     noUdp,      pty,         tty,        verbose,     silent,      modelCode,
                       dropAfter, dropFor,    chunked,     chunkBytes, longReplies, garbage,     seed,
                       saveFrame, lineRate,   holdAfter,   holdMs,     abortAfter,  silentAfter, harsh,
                       oddValues, resetDump,  dumpPause,   splitPause, nulInChunk,  stream,      ignore,
                       loseReply, byteParser, rawUntilCan, replay,     speed});

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
    int modelValue = int(n);

    std::unique_ptr<OxsSim::Replayer> replayer;
    if (parser.isSet(speed) && !parser.isSet(replay))
        return usageError(QStringLiteral("--speed needs --replay"));
    if (parser.isSet(replay)) {
        double factor = 1.0;
        if (parser.isSet(speed)) {
            bool ok = false;
            factor = parser.value(speed).toDouble(&ok);
            if (!ok || !(factor >= 0.001) || factor > 1e6)
                return usageError(QStringLiteral("--speed needs a factor from 0.001 to 1000000, not '%1'")
                                      .arg(parser.value(speed)));
        }
        const QString path = parser.value(replay);
        OxsSim::Recording recording;
        QString why;
        if (!QFile::exists(path) || !QFileInfo(path).isFile()) {
            std::fprintf(stderr, "orlan-sim: cannot read %s: no such file\n", qPrintable(path));
            return kExitUsage;
        }
        if (!OxsSim::Recording::load(path, &recording, &why)) {
            std::fprintf(stderr, "orlan-sim: %s is not a recording: %s\n", qPrintable(path), qPrintable(why));
            return kExitUsage;
        }
        if (OxsSim::ScalerState::isKnownModel(recording.model))
            modelValue = recording.model;
        else if (recording.model >= 0)
            std::fprintf(stderr, "orlan-sim: %s: the recorded model %d is not simulated; model %d answers\n",
                         qPrintable(path), recording.model, modelValue);
        if (recording.skippedLines > 0)
            std::fprintf(stderr, "orlan-sim: %s: %d line(s) skipped (not JSON, unknown or incomplete)\n",
                         qPrintable(path), recording.skippedLines);
        std::fprintf(stderr,
                     "orlan-sim: replaying %s: %d command(s), %d distinct, %d unsolicited chunk(s)%s\n",
                     qPrintable(path), recording.commandCount, int(recording.replies.size()),
                     int(recording.unsolicited.size()), recording.ended ? "" : ", no end line");
        replayer = std::make_unique<OxsSim::Replayer>(std::move(recording), factor, modelValue);
        replayer->onNote = [path](const QString &note) {
            std::fprintf(stderr, "orlan-sim: %s: %s\n", qPrintable(path), qPrintable(note));
        };
    }

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

    OxsSim::FaultSettings faults =
        parser.isSet(harsh) ? OxsSim::FaultSettings::harsh() : OxsSim::FaultSettings{};
    faults.oddValues = faults.oddValues || parser.isSet(oddValues);
    faults.resetDump = faults.resetDump || parser.isSet(resetDump);
    faults.nulInChunk = faults.nulInChunk || parser.isSet(nulInChunk);
    faults.byteParser = faults.byteParser || parser.isSet(byteParser);
    faults.rawUntilCan = faults.rawUntilCan || parser.isSet(rawUntilCan);
    qulonglong a = 0;
    qulonglong b = 0;
    if (parser.isSet(dumpPause)) {
        if (!parsePair(parser.value(dumpPause), QLatin1Char('-'), 600000, &a, &b, -1) || b < a)
            return usageError(QStringLiteral("--dump-pause needs MIN or MIN-MAX milliseconds, not '%1'")
                                  .arg(parser.value(dumpPause)));
        faults.dumpPauseMinMs = int(a);
        faults.dumpPauseMaxMs = int(b);
    }
    if (parser.isSet(splitPause)) {
        if (!parseUnsigned(parser.value(splitPause), 600000, &a))
            return usageError(
                QStringLiteral("--split-pause needs milliseconds, not '%1'").arg(parser.value(splitPause)));
        faults.splitPauseMs = int(a);
    }
    if (parser.isSet(stream)) {
        if (!parsePair(parser.value(stream), QLatin1Char(':'), 600000, &a, &b, 1) || (a > 0 && b == 0) ||
            b > 100000)
            return usageError(
                QStringLiteral("--stream needs MS or MS:LINES, not '%1'").arg(parser.value(stream)));
        faults.streamMs = int(a);
        faults.streamLines = int(b);
    }
    if (!parseMnemonics(parser.values(ignore), &faults.ignoreCommands))
        return usageError(QStringLiteral("--ignore needs command mnemonics separated by commas"));
    if (!parseMnemonics(parser.values(loseReply), &faults.loseReplyCommands))
        return usageError(QStringLiteral("--lose-reply needs command mnemonics separated by commas"));
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

    std::unique_ptr<OxsSim::ScalerSimulator> plain;
    if (!replayer) plain = std::make_unique<OxsSim::ScalerSimulator>(modelValue);
    OxsSim::ScalerSimulator &sim = replayer ? replayer->simulator() : *plain;
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
