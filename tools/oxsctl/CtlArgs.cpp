#include "CtlArgs.h"

#include <QHostAddress>

#include <cmath>

namespace OxsCtl {

namespace {

const char kManual[] = R"(NAME
    oxsctl - command-line remote control of an Orlan, Orlan Plus or Orlan C scaler

SYNOPSIS
    oxsctl [LINK] [--timeout SECONDS] status
    oxsctl [LINK] [--timeout SECONDS] [--json] get NAME...
    oxsctl [LINK] [--timeout SECONDS] set NAME=VALUE...
    oxsctl [LINK] [--timeout SECONDS] [--json] dump
    oxsctl [LINK] [--timeout SECONDS] watch
    oxsctl [LINK] [--timeout SECONDS] send TEXT
    oxsctl -h | --help
    oxsctl --version

    LINK is one of
        --serial PORT
        --udp HOST[:PORT] [--local-port N]
        --tcp HOST[:PORT]

DESCRIPTION
    oxsctl talks to one scaler over an RS232 port, UDP or TCP with the same
    driver as the OXS remote control program. After the link is opened the
    driver probes for the scaler every 2 s: the first probe goes out about 5 s
    after start, a valid answer makes the scaler connected, the driver then asks
    for every variable and considers the scaler ready 2 s after the last value
    arrived. A command that reads values therefore takes about 10 s; set and
    send act as soon as the scaler is connected, about 5 s after start.

    Variable names are the driver's property names, in any letter case (HPOS,
    OBLACK, ICHNM, ...). Besides the device variables, the LAN module's network
    settings are reachable as LOCAL_IP, REMOTE_IP, GATEWAY_IP, NETMASK,
    LOCAL_PORT and REMOTE_PORT.

    Values are decimal numbers, hexadecimal numbers written 0x1F or $1F,
    negative decimal numbers for the signed variable COLOR, 0, 1, true or false
    for the on/off variables, dotted quads (192.168.0.10) for the addresses and
    the netmask, and 0 to 65535 for the ports. Every value is checked before
    anything is sent.

    Without a LINK option oxsctl uses --tcp 127.0.0.1:10500, where the scaler
    simulator orlan-sim listens by default.

OPTIONS
    --serial PORT
        Use the serial port PORT (a device path such as /dev/ttyUSB0, or COM1
        to COM16, which stand for the path in the environment variable
        OXS_COMn when it is set, else /dev/ttyS0 to /dev/ttyS15).
    --udp HOST[:PORT]
        Use UDP with the scaler at the IPv4 address HOST, port PORT (default
        10500). Only datagrams from exactly that address and port are taken.
    --local-port N
        With --udp: the local UDP port to bind, 0 to 65535 (default 10500; 0
        picks a free port).
    --tcp HOST[:PORT]
        Use TCP with the scaler at HOST (an IPv4 address or a host name), port
        PORT (default 10500). A refused connection is retried until the
        time-out.
    --timeout SECONDS
        How long to wait for the scaler, decimals allowed (default 15). For
        set, the replies must also arrive within this time, counted from start.
        For watch, stop after this time instead of running until interrupted.
    --json
        With get and dump: print one JSON object instead of NAME=VALUE lines.
    -h, --help
        Show this manual and exit.
    --version
        Show the version and exit.

COMMANDS
    status
        Wait until the scaler is ready, then print its model code (DEV), model
        name (Orlan, Orlan Plus or Orlan C), its software version and the link.
    get NAME...
        Wait until the scaler is ready, then print NAME=VALUE for each name.
    set NAME=VALUE...
        Once the scaler is connected, send each value in the order given and
        wait for the scaler's reply for that variable before sending the next
        one; print NAME=VALUE with the value the scaler confirmed. When the
        scaler keeps another value than the one asked (a value it limits, or a
        one-shot command), the confirmed value is printed and a note goes to
        standard error. The addresses, the netmask and the ports count as
        confirmed when the values the scaler reports back equal the ones sent.
        Per-input variables (PENA, PRGBI, PISTD, PPROC) apply to the input that
        PCHAN selects: set PCHAN first, e.g. set PCHAN=2 PENA=1.
    dump
        Wait until the scaler is ready, then print every variable.
    watch
        Print every report of the scaler as TIME NAME=VALUE, and the link
        changes as TIME Connected=0|1 and TIME Ready=0|1, until SIGINT or
        SIGTERM (or the --timeout, when given).
    send TEXT
        Once the scaler is connected, send TEXT unchanged except for the
        escapes \r \n \t \\ \" \' \xHH and \NNN (octal), then print the
        recognised replies that arrive within 1 s, one per line.

EXIT STATUS
    0   success (watch: stopped by SIGINT, SIGTERM or its --timeout)
    1   any other failure
    2   invalid command line
    3   the link cannot be opened (serial port missing or busy, UDP port in use)
    4   no scaler answered within the time-out
    5   unknown variable name
    6   value malformed or out of range for the variable
    7   the variable cannot be set (reported by the scaler only), or cannot be
        read (write-only)
    8   a value was sent but no reply confirmed it within the time-out
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
    oxsctl send '?'
        Raw identity query; prints DEV33 for an Orlan Plus.
)";

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

struct CommandWord {
    const char *word;
    Command command;
};
constexpr CommandWord kCommands[] = {
    {"status", Command::Status}, {"get", Command::Get},     {"set", Command::Set},
    {"dump", Command::Dump},     {"watch", Command::Watch}, {"send", Command::Send},
};

QString checkArguments(const Options &o) {
    const int n = static_cast<int>(o.arguments.size());
    switch (o.command) {
    case Command::Status:
    case Command::Dump:
    case Command::Watch:
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
    case Command::None:
    case Command::Help:
    case Command::Version:
        break;
    }
    if (o.json && o.command != Command::Get && o.command != Command::Dump)
        return QStringLiteral("--json applies to get and dump only");
    return {};
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments) {
    ParsedCommandLine result;
    Options &o = result.options;
    int linkOptions = 0;
    bool localPortGiven = false;
    bool endOfOptions = false;
    bool commandSeen = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (!endOfOptions && arg == QLatin1String("--")) {
            endOfOptions = true;
            continue;
        }
        if (endOfOptions || !arg.startsWith(QLatin1Char('-')) || arg.size() == 1) {
            if (!commandSeen) {
                commandSeen = true;
                for (const CommandWord &c : kCommands)
                    if (arg == QLatin1String(c.word)) o.command = c.command;
                if (o.command == Command::None) {
                    result.error = QStringLiteral("unknown command '%1'").arg(arg);
                    return result;
                }
            } else {
                o.arguments << arg;
            }
            continue;
        }

        // --name=value or --name value
        QString name = arg;
        QString value;
        bool inlineValue = false;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
            inlineValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= arguments.size()) return false;
            value = arguments[++i];
            return true;
        };
        const auto flag = [&](bool &target) {
            if (inlineValue) result.error = QStringLiteral("%1 takes no value").arg(name);
            target = true;
        };

        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            o.command = Command::Help;
            return result;
        }
        if (name == QLatin1String("--version")) {
            o.command = Command::Version;
            return result;
        }
        if (name == QLatin1String("--json")) {
            flag(o.json);
        } else if (name == QLatin1String("--serial") || name == QLatin1String("--udp") ||
                   name == QLatin1String("--tcp") || name == QLatin1String("--local-port") ||
                   name == QLatin1String("--timeout")) {
            if (!takeValue()) {
                result.error = QStringLiteral("%1 needs a value").arg(name);
                return result;
            }
            if (name == QLatin1String("--serial")) {
                ++linkOptions;
                o.link = LinkKind::Serial;
                o.serialPort = value;
                if (value.isEmpty()) result.error = QStringLiteral("--serial needs a port name");
            } else if (name == QLatin1String("--udp")) {
                ++linkOptions;
                o.link = LinkKind::Udp;
                result.error = parseEndpoint(name, value, true, o);
            } else if (name == QLatin1String("--tcp")) {
                ++linkOptions;
                o.link = LinkKind::Tcp;
                result.error = parseEndpoint(name, value, false, o);
            } else if (name == QLatin1String("--local-port")) {
                localPortGiven = true;
                if (!parseDecimal(value, 0, 65535, o.localPort))
                    result.error = QStringLiteral("--local-port must be 0 to 65535, not '%1'").arg(value);
            } else {
                result.error = parseTimeout(value, o);
            }
        } else {
            result.error = QStringLiteral("unknown option '%1'").arg(arg);
        }
        if (!result.ok()) return result;
    }

    if (linkOptions > 1)
        result.error = QStringLiteral("give only one of --serial, --udp and --tcp");
    else if (localPortGiven && o.link != LinkKind::Udp)
        result.error = QStringLiteral("--local-port applies to --udp only");
    else if (o.command == Command::None)
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

const char *manualText() {
    return kManual;
}

} // namespace OxsCtl
