#include "CtlArgs.h"

#include "PictureFitting.h"
#include "RemoteSettings.h"
#include "Values.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <QUrl>

#include <cmath>

namespace OxsCtl {

namespace {

// One command of the manual: its synopsis and its description, which the manual and `help COMMAND` share.
struct CommandPage {
    const char *word;
    Command command;
    const char *synopsis; // after "oxsctl "
    const char *summary;
    const char *description; // indented by eight spaces
};

constexpr CommandPage kCommandPages[] = {
    {"status", Command::Status, "[LINK] [--timeout SECONDS] [--paced] [--json] status",
     "model, software version and link of the scaler",
     R"(        Wait until the scaler has reported its version, then print its model
        code (DEV), model name (Orlan, Orlan Plus or Orlan C), its software
        version and the link as NAME=VALUE lines, or with --json as one JSON
        object.
)"},
    {"get", Command::Get, "[LINK] [--timeout SECONDS] [--paced] [--json] get NAME...", "print variables",
     R"(        Print NAME=VALUE for each name (with --json, one JSON object) as soon
        as the scaler has reported every one of them in answer to the request
        for every variable. The per-input variables (PCHAN, PENA, PRGBI, PISTD,
        PPROC), PADIP and the LAN module's addresses and ports are reported
        once per input or address slot: for them the values are taken when
        the scaler's report is over. A name the scaler did not report by then
        is named on standard error and nothing is printed (status 15). With
        --json a name given twice (in any letter case) is printed once.
)"},
    {"set", Command::Set, "[LINK] [--timeout SECONDS] [--paced] set NAME=VALUE...", "change variables",
     R"(        Check every value against its variable's range (see VALUES; a value
        outside it is refused with status 6 before anything is sent). Once the
        scaler is connected, send each value in the order given and wait for
        the scaler's reply for that variable before sending the next one;
        print NAME=VALUE with the value the scaler confirmed. When the scaler
        keeps another value than the one asked (a value it limits, or a
        one-shot command), the confirmed value is printed and a note goes to
        standard error. The addresses, the netmask and the ports count as
        confirmed when the values the scaler reports back equal the ones sent.
        Per-input variables (PENA, PRGBI, PISTD, PPROC) apply to the input that
        PCHAN selects: set PCHAN first, e.g. set PCHAN=2 PENA=1.
)"},
    {"dump", Command::Dump, "[LINK] [--timeout SECONDS] [--paced] [--json] dump", "print every variable",
     R"(        Wait until the scaler's report of every variable is over, then print
        every variable it reported (with --json, one JSON object); what it
        did not report is left out.
)"},
    {"watch", Command::Watch, "[LINK] [--timeout SECONDS] [--paced] [--json] watch",
     "print the scaler's reports as they change",
     R"(        Print the first report of every variable and then each change as
        TIME NAME=VALUE, and the link changes as TIME Connected=0|1 and
        TIME Ready=0|1. A report that repeats the value already printed (the
        DEV answering the keep-alive query every 2 s) is not printed, nor
        DEV=0 before a scaler was found (only its loss prints DEV=0). With
        --json every line is one JSON object:
            {"time": "2024-05-01T12:00:00.250", "name": "HPOS", "value": 128}
        Runs until SIGINT or SIGTERM (or the --timeout, when given).
)"},
    {"send", Command::Send, "[LINK] [--timeout SECONDS] [--paced] send TEXT", "send raw protocol text",
     R"(        Once the scaler is connected, send TEXT unchanged except for the
        escapes \r \n \t \\ \" \' \xHH and \NNN (octal), then print the
        recognised replies that arrive within 1 s, one per line. The scaler is
        not asked for its variables meanwhile.
)"},
    {"upload", Command::Upload, "--serial PORT [--timeout SECONDS] upload {FILE [--fit MODE] | --gradient}",
     "store a picture in the scaler's frame memory",
     R"(        Load FILE (a Windows BMP picture), fit it to the scaler's frame and
        send it over the serial line into the frame memory that FANUMBER
        designates: FAMODEM_ 2, FATRMODE 0 and FAEXEC 1 in the text protocol,
        then the picture's 720 x 288 pixels at 57600 baud in acknowledged
        chunks, then back to the text protocol at 9600 baud. A picture of
        exactly 720 x 288 is sent as it is; one of 720 x 576 loses every
        second line; any other size needs --fit MODE:
            crop    its top-left 720 x 576 pixels, unscaled
            shrink  scaled to 720 x 576 (for a larger picture)
            center  unscaled in the middle of a black frame
            zoom    scaled to 720 x 576 (for a smaller picture)
            exact   scaled to 720 x 576 (the same as shrink and zoom)
        With --gradient instead of FILE, the picture is the default gradient
        of the OXS remote control window's generator: black on the left to
        red 200, green 128, blue 200 on the right, over the whole frame.
        --timeout limits the wait for the scaler to answer, not the upload,
        which takes about 110 s at 57600 baud. On a terminal a progress line
        is shown on standard error; at the end the number of pixels and the
        time go to standard output. SIGINT or SIGTERM aborts the upload: the
        scaler is sent ESC CAN and the line returns to the text protocol
        before oxsctl ends (status 130).
)"},
    {"backup", Command::Backup, "[LINK] [--timeout SECONDS] backup FILE",
     "save the scaler's settings in a file",
     R"(        Wait until the scaler's report of every variable is over, then write
        the settings it reported to FILE as JSON: the model, its version numbers, every
        setting (input selection, input priority, picture, output, audio,
        frame alert, panel lock, black delay, standby) and for each input
        PENA, PRGBI, PISTD and PPROC; on the Orlan Plus also the LAN module's
        LANENABLE, DHCPENABLE, TCPIP, addresses, netmask and ports. One-shot
        commands (FRESET, PRESETM, ERAPOS, AUTOCAD, FAEXEC, LANRESET,
        LANSTORE), the debug registers, PCHAN, PADIP, FAMODEM_ and FATRMODE
        are not saved. A value the scaler did not report is left out and
        named on standard error (an input only when all four of its values
        were reported; one report for all inputs, after PCHAN 0, counts for
        each of them).
)"},
    {"restore", Command::Restore, "[LINK] [--timeout SECONDS] restore FILE [--dry-run]",
     "give the scaler the settings of a backup file",
     R"(        Read FILE, wait for the scaler's report of every variable, refuse a
        file of another model (status 13), then write each value the scaler
        did not report already: the settings in the order above, then each
        input's values (as PCHAN=N followed by them), then the LAN module's
        settings, which may drop the link. Wait for the scaler's reply to
        each; print NAME=VALUE as confirmed. A value the scaler keeps
        otherwise, or does not confirm within the time-out, is listed at the
        end (status 14); so is, when the link is lost, every value not
        written yet (status 14). A backed-up value that we never write is
        kept as the scaler has it, with a note on standard error: OTYPEM 0
        ("unchanged"), ACHANM 0, an OFMTM with no place in the model's format
        list, an ORATEM beyond its rates, any value outside the ranges below;
        an AMODEM other than 1 (automatic) is written as 0, a negative COLOR
        as it is. With --dry-run print what would be written and send nothing.
)"},
    {"ports", Command::Ports, "[--json] [--quiet] ports", "list the serial devices of this computer",
     R"(        Print the serial devices found (what the system lists, such as USB
        adapters with their description and serial number, and the devices
        named in the environment variable OXS_SERIAL_DEVICES, separated by
        ':'), one per line: the device, its stable name under
        /dev/serial/by-id (which survives the next plug-in; - when it has
        none), its serial number and its description. Without a device
        the line reads "no serial device found". With --quiet only the name
        to give --serial for each device (its stable name when it has one);
        with --json one JSON array of objects with path, stablePath,
        description, manufacturer and serialNumber. Nothing is opened.
)"},
    {"scan", Command::Scan, "[--timeout SECONDS] [--json] [--quiet] scan",
     "find the scalers on the serial devices",
     R"(        Ask every serial device that ports lists, all at once, who it is:
        open it at 9600 baud 8N1, send the identity query ? and nothing
        else, wait for the scaler's DEV answer, close it. Each device waits
        1 s, or --timeout SECONDS. Print per device the device, its stable
        name and what answered: the scaler, such as Orlan Plus (model 33);
        "no answer"; "unknown model code N"; or why the device could not be
        opened ("busy: another program has it open", "permission denied:
        ...", "gone: it is no longer connected"); a device another program
        has open is left alone. With --quiet only the name to give --serial
        for each scaler found; with --json one JSON array: the objects of
        ports with result ("scaler", "unknown model", "no answer" or
        "cannot open") and model, modelName or reason. Status 0 when a
        scaler answered, 4 when none did. LINK options and --remote do not
        apply: the scan is local.
)"},
    {"help", Command::Help, "help [COMMAND]", "show the manual, or the page of one command",
     R"(        Show this manual, or the page of one command (also COMMAND --help).
)"},
};

const char kName[] = R"(NAME
    oxsctl - command-line remote control of an Orlan, Orlan Plus or Orlan C scaler

)";

const char kLinkSynopsis[] = R"(    oxsctl COMMAND --help
    oxsctl -h | --help
    oxsctl -V | --version

    LINK is one of
        --serial PORT
        --udp HOST[:PORT] [--local-port N]
        --tcp HOST[:PORT]
        --remote [URL] [--token TOKEN]

)";

const char kDescription[] = R"(DESCRIPTION
    oxsctl talks to one scaler over an RS232 port, UDP or TCP with the same
    driver as the OXS remote control program. It asks for the scaler as soon
    as the link is open and for every variable as soon as the scaler
    answers (set and send, which need no values, leave that request for
    2 s). A value is printed or saved only when the scaler reported it. The
    values a command needs are there as soon as the scaler has reported them;
    the scaler's answer to the request is over once it has reported every
    variable its model reports (each input's values, and on an Orlan Plus
    with a LAN module its addresses and ports), or after 2 s in which it
    reported nothing new (live reports that repeat a measurement do not count).
    A variable it did not report by then is named, with status 15. On a local
    link a command takes well under a second.

    With --paced oxsctl keeps the pace of the OXS remote control window
    instead: the first identity query about 5 s after start and then every
    2 s, the request for every variable 2 s after the answer, and the values
    complete 2 s after the last of them. A command that reads then takes
    about 9 s, set and send about 5 s.

    Variable names are the driver's property names, in any letter case (HPOS,
    OBLACK, ICHNM, ...). Besides the device variables, the LAN module's network
    settings are reachable as LOCAL_IP, REMOTE_IP, GATEWAY_IP, NETMASK,
    LOCAL_PORT and REMOTE_PORT.

    Without a LINK option oxsctl uses --tcp 127.0.0.1:10500, where the scaler
    simulator orlan-sim listens by default.

    With --remote oxsctl opens no link: it asks the running OXS remote
    control program, which owns the link, through its remote control
    (switched on in its Remote access window or with its --remote option).
    status, get, set, dump, watch, backup and restore then print the same
    and end with the same status, so a script works whether the window is
    open or not; send and upload need the link and are refused (status 2).
    Names and values are checked here first: nothing goes out for a bad
    command line. The program confirms a set once the scaler reported the
    value, or gives up after 2 s (status 8).

OPTIONS
    --serial PORT
        Use the serial port PORT (a device path such as /dev/ttyUSB0, or COM1
        to COM16, which stand for the path in the environment variable
        OXS_COMn when it is set, else /dev/ttyS0 to /dev/ttyS15). The device
        must be readable and writable: on most systems that takes membership
        of the group dialout. oxsctl ports lists the serial devices and their
        stable names; oxsctl scan finds the ones with a scaler.
    --udp HOST[:PORT]
        Use UDP with the scaler at the IPv4 address HOST, port PORT (default
        10500). Only datagrams from exactly that address and port are taken.
    --local-port N
        With --udp: the local UDP port to bind, 0 to 65535 (default 10500; 0
        picks a free port).
    --tcp HOST[:PORT]
        Use TCP with the scaler at HOST (an IPv4 address or a host name), port
        PORT (default 10500). A refused connection, an unknown host or an
        unreachable network ends the command at once with status 3.
    --remote [URL]
        Go through the OXS remote control program at URL instead of a link
        (default http://127.0.0.1:10600; a URL without a port gets 10600),
        also written --remote=URL. The other LINK options and --paced do not
        apply. --timeout limits the wait for the program's scaler to be
        connected and ready.
    --token TOKEN
        With --remote: the program's access token, sent as "Authorization:
        Bearer TOKEN"; needed when it listens on another address than a
        loopback one. Without --token, the environment variable
        OXS_REMOTE_TOKEN is used.
    --timeout SECONDS
        How long to wait for the scaler, decimals allowed (default 15). For
        set, the replies must also arrive within this time, counted from start.
        For watch, stop after this time instead of running until interrupted.
        For scan, how long each device has to answer (default 1).
    --paced
        Keep the detection pace of the OXS remote control window (see above).
    --json
        With status, get, dump, watch, ports and scan: print JSON instead of
        NAME=VALUE lines or aligned text.
    --fit MODE
        With upload: how a picture of another size than 720 x 576 or
        720 x 288 is fitted to the frame (see upload).
    --gradient
        With upload, instead of FILE: send the default gradient picture.
    --dry-run
        With restore: print the values that would be written, send none.
    -q, --quiet
        Print values without their names and no notes (errors still go to
        standard error); with ports and scan, only the device names.
    --record FILE
        Record every byte exchanged on the link, with its time and direction,
        in FILE (one JSON object a line; orlan-sim --replay FILE answers like
        the recorded scaler). Not with --remote, ports or scan.
    -v, --verbose
        Log the link, serial port, upload and settings activity on standard
        error.
    -h, --help
        Show this manual and exit; after a command, show that command's page.
    -V, --version
        Show the version and exit.

)";

const char kValues[] = R"(VALUES
    Values are decimal numbers, or hexadecimal numbers written 0x1F or $1F;
    0, 1, true or false for the on/off variables; dotted quads (192.168.0.10)
    for the addresses and the netmask, whose mask bits must be contiguous.
    No variable takes a negative value. A value outside its variable's range
    below is refused with status 6 and nothing is sent; the scaler may still
    keep another value within the range, which set then reports.

)";

const char kTail[] = R"(EXIT STATUS
    0   success (watch: stopped by SIGINT, SIGTERM or its --timeout)
    1   any other failure
    2   invalid command line
    3   the link cannot be opened: serial port missing, busy or not permitted,
        UDP port in use, TCP connection refused, host not found, network
        unreachable; with --remote, no OXS remote control program answers
        at the URL, or it refuses the token
    4   no scaler answered within the time-out (the message says when the
        time-out ended before a scaler could have answered, or the invalid
        model code a device answered with); scan: on no serial device
    5   unknown variable name
    6   value malformed or out of range for the variable
    7   the variable cannot be set (reported by the scaler only), or cannot be
        read (write-only)
    8   a value was sent but no reply confirmed it within the time-out
    9   upload: the picture file cannot be read (missing, not a BMP, cut
        short, without pixels or too large)
    10  upload: the scaler aborted the upload
    11  upload: the scaler stopped answering during the upload
    12  backup or restore: the file cannot be written or read, or is no
        valid backup
    13  restore: the file belongs to another scaler model
    14  restore: some values could not be set, or the link was lost before
        they were written (listed on standard error)
    15  get, status, dump or backup: the scaler did not report a variable
        that was asked for (named on standard error)
    130 interrupted by SIGINT or SIGTERM (all commands but watch)

EXAMPLES
    oxsctl status
        Model and link of the scaler (or simulator) on TCP 127.0.0.1:10500.
    oxsctl --serial /dev/ttyUSB0 get ICHM HPOS VPOS
        Selected input and picture position over a serial adapter.
    oxsctl --tcp 192.168.0.10 set OBLACK=1
        Black output, confirmed by the scaler.
    oxsctl --udp 192.168.0.10 --local-port 0 set PCHAN=3 PRGBI=7
        Input 3 becomes a computer input.
    oxsctl --tcp 192.168.0.10 set LOCAL_IP=192.168.0.20 NETMASK=255.255.255.0
        New address of the LAN module.
    oxsctl dump --json > scaler.json
        Every variable as one JSON object.
    oxsctl watch --json | jq -c 'select(.name == "ICHM")'
        Follow the input selection.
    oxsctl send '?'
        Raw identity query; prints DEV33 for an Orlan Plus.
    oxsctl backup scaler.json && oxsctl restore scaler.json --dry-run
        Save the settings, then see what a restore would change.
    oxsctl --serial /dev/ttyUSB0 upload photo.bmp --fit shrink
        A picture of any size, scaled to the frame, into the frame memory.
    oxsctl --serial /dev/ttyUSB0 upload --gradient
        A test picture without a file: the default gradient.
    oxsctl scan --quiet
        The stable name of each serial device with a scaler on it, for
        --serial.
    oxsctl --remote set ICHM=2
        Input 2, through the OXS remote control window that has the link.
    oxsctl --remote http://192.168.0.5:10600 --token "$TOKEN" watch
        Follow the scaler of the window on another computer.
)";

const CommandPage *pageOf(const QString &word) {
    for (const CommandPage &p : kCommandPages)
        if (word == QLatin1String(p.word)) return &p;
    return nullptr;
}

// Decimal digits only, within [min, max].
bool parseDecimal(const QString &text, int min, int max, int &value) {
    if (text.isEmpty() || text.size() > 9) return false;
    int v = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        v = v * 10 + (c.unicode() - '0');
    }
    if (v < min || v > max) return false;
    value = v;
    return true;
}

// HOST[:PORT]. A UDP host must be an IPv4 address: the driver takes only datagrams whose sender, written
// as dotted text, equals it. A TCP host may also be a name.
QString parseEndpoint(const QString &option, const QString &text, bool udp, Options &options) {
    QString host = text;
    int port = kDefaultIpPort;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        host = text.left(colon);
        if (!parseDecimal(text.mid(colon + 1), 1, 65535, port))
            return QStringLiteral("%1: the port must be 1 to 65535, not '%2'")
                .arg(option, text.mid(colon + 1));
    }
    if (host.isEmpty() || host.contains(QLatin1Char(':')) || host.contains(QLatin1Char(' ')))
        return QStringLiteral("%1 needs HOST[:PORT] with an IPv4 address%2, not '%3'")
            .arg(option, udp ? QString() : QStringLiteral(" or host name"), text);
    QHostAddress address;
    if (address.setAddress(host) && address.protocol() == QAbstractSocket::IPv4Protocol)
        host = address.toString();
    else if (udp)
        return QStringLiteral("%1 needs an IPv4 address, not '%2'").arg(option, host);
    options.host = host;
    options.remotePort = port;
    return {};
}

QString parseTimeout(const QString &text, Options &options) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds * 1000 > kMaxTimeoutMs)
        return QStringLiteral("--timeout needs a number of seconds above 0, not '%1'").arg(text);
    options.timeoutMs = std::max(1, static_cast<int>(std::ceil(seconds * 1000)));
    options.timeoutGiven = true;
    return {};
}

QString checkArguments(const Options &o) {
    const int n = static_cast<int>(o.arguments.size());
    switch (o.command) {
    case Command::Status:
    case Command::Dump:
    case Command::Watch:
    case Command::Ports:
    case Command::Scan:
        if (n > 0) return QStringLiteral("unexpected argument '%1'").arg(o.arguments.first());
        break;
    case Command::Get:
        if (n == 0) return QStringLiteral("get needs at least one variable name");
        break;
    case Command::Set:
        if (n == 0) return QStringLiteral("set needs at least one NAME=VALUE");
        for (const QString &a : o.arguments)
            if (a.indexOf(QLatin1Char('=')) <= 0)
                return QStringLiteral("set needs NAME=VALUE, not '%1'").arg(a);
        break;
    case Command::Send:
        if (n != 1) return QStringLiteral("send needs exactly one TEXT (quote it when it has spaces)");
        break;
    case Command::Backup:
    case Command::Restore:
        if (n != 1)
            return QStringLiteral("%1 needs exactly one FILE")
                .arg(o.command == Command::Backup ? QLatin1String("backup") : QLatin1String("restore"));
        break;
    case Command::Upload:
        if (o.gradient && n > 0)
            return QStringLiteral("upload takes a FILE or --gradient, not both ('%1')")
                .arg(o.arguments.first());
        if (!o.gradient && n == 0) return QStringLiteral("upload needs a FILE or --gradient");
        if (n > 1) return QStringLiteral("upload needs exactly one FILE");
        if (o.gradient && o.fitMode != 0)
            return QStringLiteral("--fit applies to a FILE, not to --gradient (it fills the frame)");
        if (o.link != LinkKind::Serial)
            return QStringLiteral("upload works over a serial line only: give --serial PORT");
        break;
    case Command::None:
    case Command::Help:
    case Command::Version:
        break;
    }
    if (o.json && o.command != Command::Get && o.command != Command::Dump && o.command != Command::Status &&
        o.command != Command::Watch && o.command != Command::Ports && o.command != Command::Scan)
        return QStringLiteral("--json applies to status, get, dump, watch, ports and scan only");
    if (o.dryRun && o.command != Command::Restore) return QStringLiteral("--dry-run applies to restore only");
    return {};
}

// QCommandLineParser's own messages read "Unknown option 'x'."; ours are lower case and name the option
// as it was written.
QString parserError(const QCommandLineParser &parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.first();
        return QStringLiteral("unknown option '%1%2'")
            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    QString text = parser.errorText();
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    if (!text.isEmpty()) text[0] = text[0].toLower();
    return text;
}

bool looksLikeUrl(const QString &text) {
    return text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

// Takes --remote[=URL] [URL] out of the arguments, which QCommandLineParser cannot give an optional
// value. Stops at "--", after which everything is an argument.
QStringList takeRemote(const QStringList &arguments, bool &remote, QString &url, QString &error) {
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == QLatin1String("--")) {
            rest += arguments.mid(i);
            break;
        }
        if (a == QLatin1String("--remote")) {
            remote = true;
            if (i + 1 < arguments.size() && looksLikeUrl(arguments[i + 1])) url = arguments[++i];
        } else if (a.startsWith(QLatin1String("--remote="))) {
            remote = true;
            url = a.mid(9);
            if (url.isEmpty()) error = QStringLiteral("--remote= needs a URL");
        } else {
            rest << a;
        }
    }
    return rest;
}

// Printable ASCII without blanks: the token goes into a header line as it is.
bool validToken(const QString &token) {
    if (token.isEmpty()) return false;
    for (QChar c : token)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F) return false;
    return true;
}

QString page(const CommandPage &p) {
    return QStringLiteral("    %1\n%2").arg(QLatin1String(p.word), QLatin1String(p.description));
}

} // namespace

QString defaultRemoteUrl() {
    return QStringLiteral("http://127.0.0.1:%1").arg(OxsRemote::RemoteSettings::kDefaultPort);
}

bool parseRemoteUrl(const QString &text, QString &url, QString *why) {
    const QUrl u(text, QUrl::StrictMode);
    const QString scheme = u.scheme().toLower();
    if (!u.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        u.host().isEmpty() || !u.userInfo().isEmpty() || u.hasQuery() || u.hasFragment()) {
        *why = QStringLiteral("--remote needs a URL such as %1, not '%2'").arg(defaultRemoteUrl(), text);
        return false;
    }
    QUrl normal;
    normal.setScheme(scheme);
    normal.setHost(u.host());
    normal.setPort(u.port(OxsRemote::RemoteSettings::kDefaultPort));
    QString path = u.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    normal.setPath(path);
    url = normal.toString();
    return true;
}

ParsedCommandLine parseCommandLine(const QStringList &allArguments) {
    ParsedCommandLine result;
    Options &o = result.options;
    QString remoteUrl;
    const QStringList arguments = takeRemote(allArguments, o.remote, remoteUrl, result.error);
    if (!result.ok()) return result;

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")}, QString());
    const QCommandLineOption json(QStringLiteral("json"), QString());
    const QCommandLineOption paced(QStringLiteral("paced"), QString());
    const QCommandLineOption serial(QStringLiteral("serial"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption udp(QStringLiteral("udp"), QString(), QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption tcp(QStringLiteral("tcp"), QString(), QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption localPort(QStringLiteral("local-port"), QString(), QStringLiteral("N"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption fit(QStringLiteral("fit"), QString(), QStringLiteral("MODE"));
    const QCommandLineOption verbose({QStringLiteral("v"), QStringLiteral("verbose")}, QString());
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QString());
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QString());
    const QCommandLineOption gradient(QStringLiteral("gradient"), QString());
    const QCommandLineOption token(QStringLiteral("token"), QString(), QStringLiteral("TOKEN"));
    const QCommandLineOption record(QStringLiteral("record"), QString(), QStringLiteral("FILE"));
    parser.addOptions({help, version, json, paced, serial, udp, tcp, localPort, timeout, fit, verbose, quiet,
                       dryRun, gradient, token, record});

    // The parser takes the program name first.
    if (!parser.parse(QStringList{QStringLiteral("oxsctl")} + arguments)) {
        result.error = parserError(parser);
        return result;
    }

    QStringList positional = parser.positionalArguments();
    QString word;
    if (!positional.isEmpty()) {
        word = positional.takeFirst();
        const CommandPage *p = pageOf(word);
        if (!p) {
            result.error = QStringLiteral("unknown command '%1'").arg(word);
            return result;
        }
        o.command = p->command;
    }
    if (parser.isSet(help)) {
        o.command = Command::Help;
        o.helpTopic = word == QLatin1String("help") ? QString() : word;
        return result;
    }
    if (parser.isSet(version)) {
        o.command = Command::Version;
        return result;
    }
    if (o.command == Command::Help) {
        if (positional.size() > 1) {
            result.error = QStringLiteral("help takes one command name at most");
        } else if (!positional.isEmpty()) {
            o.helpTopic = positional.first();
            if (!pageOf(o.helpTopic)) result.error = QStringLiteral("unknown command '%1'").arg(o.helpTopic);
        }
        return result;
    }
    o.arguments = positional;
    o.json = parser.isSet(json);
    o.paced = parser.isSet(paced);
    o.verbose = parser.isSet(verbose);
    o.quiet = parser.isSet(quiet);
    o.dryRun = parser.isSet(dryRun);
    o.recordFile = parser.value(record);
    if (parser.isSet(record) &&
        (o.recordFile.isEmpty() || o.remote || o.command == Command::Ports || o.command == Command::Scan)) {
        result.error =
            o.recordFile.isEmpty()
                ? QStringLiteral("--record needs a file name")
                : QStringLiteral(
                      "--record records this program's own link: not with --remote, ports or scan");
        return result;
    }

    if (o.remote) {
        // The running program has the link: none of ours to choose.
        for (const QCommandLineOption *linkOption : {&serial, &udp, &tcp, &localPort, &paced})
            if (parser.isSet(*linkOption)) {
                result.error = QStringLiteral("--%1 does not apply to --remote, which goes through the "
                                              "running program's link")
                                   .arg(linkOption->names().first());
                return result;
            }
        if (!parseRemoteUrl(remoteUrl.isEmpty() ? defaultRemoteUrl() : remoteUrl, o.remoteUrl, &result.error))
            return result;
        if (parser.isSet(token)) {
            o.token = parser.value(token);
            if (!validToken(o.token)) {
                result.error = QStringLiteral("--token needs printable characters without blanks");
                return result;
            }
        }
        if (o.command == Command::Ports || o.command == Command::Scan) {
            result.error =
                QStringLiteral("%1 is local: it lists this computer's serial devices (leave out "
                               "--remote)")
                    .arg(o.command == Command::Ports ? QLatin1String("ports") : QLatin1String("scan"));
            return result;
        }
        if (o.command == Command::Send || o.command == Command::Upload) {
            result.error =
                QStringLiteral("%1 is not offered remotely: it needs the link to the scaler "
                               "(leave out --remote)")
                    .arg(o.command == Command::Send ? QLatin1String("send") : QLatin1String("upload"));
            return result;
        }
    } else if (parser.isSet(token)) {
        result.error = QStringLiteral("--token applies to --remote only");
        return result;
    }

    if (o.command == Command::Ports || o.command == Command::Scan) {
        // Every serial device found, none chosen: a link option would be ignored, so it is refused.
        for (const QCommandLineOption *linkOption : {&serial, &udp, &tcp, &localPort, &paced})
            if (parser.isSet(*linkOption)) {
                result.error =
                    QStringLiteral("--%1 does not apply to %2, which works on every serial "
                                   "device found")
                        .arg(linkOption->names().first(),
                             o.command == Command::Ports ? QLatin1String("ports") : QLatin1String("scan"));
                return result;
            }
        if (o.command == Command::Ports && parser.isSet(timeout)) {
            result.error = QStringLiteral("--timeout does not apply to ports, which opens nothing");
            return result;
        }
    }

    const qsizetype linkOptions =
        parser.values(serial).size() + parser.values(udp).size() + parser.values(tcp).size();
    if (linkOptions > 1) {
        result.error = QStringLiteral("give only one of --serial, --udp and --tcp");
        return result;
    }
    if (parser.isSet(serial)) {
        o.link = LinkKind::Serial;
        o.serialPort = parser.value(serial);
        if (o.serialPort.isEmpty()) result.error = QStringLiteral("--serial needs a port name");
    } else if (parser.isSet(udp)) {
        o.link = LinkKind::Udp;
        result.error = parseEndpoint(QStringLiteral("--udp"), parser.value(udp), true, o);
    } else if (parser.isSet(tcp)) {
        o.link = LinkKind::Tcp;
        result.error = parseEndpoint(QStringLiteral("--tcp"), parser.value(tcp), false, o);
    }
    if (!result.ok()) return result;
    if (parser.isSet(localPort)) {
        if (o.link != LinkKind::Udp) {
            result.error = QStringLiteral("--local-port applies to --udp only");
            return result;
        }
        // The last one given counts, as for the other options.
        if (!parseDecimal(parser.value(localPort), 0, 65535, o.localPort)) {
            result.error =
                QStringLiteral("--local-port must be 0 to 65535, not '%1'").arg(parser.value(localPort));
            return result;
        }
    }
    if (parser.isSet(timeout)) {
        result.error = parseTimeout(parser.value(timeout), o);
        if (!result.ok()) return result;
    } else if (o.command == Command::Scan) {
        o.timeoutMs = kScanDefaultTimeoutMs;
    }

    if (parser.isSet(fit)) {
        if (o.command != Command::Upload) {
            result.error = QStringLiteral("--fit applies to upload only");
            return result;
        }
        o.fitMode = FitModeFromName(parser.value(fit));
        if (o.fitMode == FIT_CANCELLED) {
            result.error = QStringLiteral("--fit needs crop, shrink, center, zoom or exact, not '%1'")
                               .arg(parser.value(fit));
            return result;
        }
    }

    if (parser.isSet(gradient)) {
        if (o.command != Command::Upload) {
            result.error = QStringLiteral("--gradient applies to upload only");
            return result;
        }
        o.gradient = true;
    }

    if (o.command == Command::None)
        result.error = QStringLiteral("no command given");
    else
        result.error = checkArguments(o);
    return result;
}

QString describeLink(const Options &options) {
    switch (options.link) {
    case LinkKind::Serial:
        return QStringLiteral("serial %1").arg(options.serialPort);
    case LinkKind::Udp:
        return QStringLiteral("UDP %1:%2 (local port %3)")
            .arg(options.host)
            .arg(options.remotePort)
            .arg(options.localPort);
    case LinkKind::Tcp:
        break;
    }
    return QStringLiteral("TCP %1:%2").arg(options.host).arg(options.remotePort);
}

QString helpText(const QString &topic) {
    if (!topic.isEmpty()) {
        const CommandPage *p = pageOf(topic);
        if (!p) return {};
        QString text = QStringLiteral("oxsctl %1 - %2\n\nSYNOPSIS\n    oxsctl %3\n\nDESCRIPTION\n%4")
                           .arg(QLatin1String(p->word), QLatin1String(p->summary), QLatin1String(p->synopsis),
                                QLatin1String(p->description));
        if (p->command == Command::Set)
            text += QLatin1Char('\n') + QLatin1String(kValues) + OxsControl::rangesText();
        return text + QStringLiteral("\nThe links, options and exit status: oxsctl --help\n");
    }
    QString text = QLatin1String(kName) + QStringLiteral("SYNOPSIS\n");
    for (const CommandPage &p : kCommandPages)
        text += QStringLiteral("    oxsctl %1\n").arg(QLatin1String(p.synopsis));
    text += QLatin1String(kLinkSynopsis) + QLatin1String(kDescription) + QStringLiteral("COMMANDS\n");
    for (const CommandPage &p : kCommandPages)
        text += page(p);
    text += QLatin1Char('\n') + QLatin1String(kValues) + OxsControl::rangesText() + QLatin1Char('\n') +
            QLatin1String(kTail);
    return text;
}

} // namespace OxsCtl
