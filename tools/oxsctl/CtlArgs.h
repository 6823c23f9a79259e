#pragma once

#include <QString>
#include <QStringList>

// oxsctl's command line: link options, time-out and the command with its arguments.
namespace OxsCtl {

// Exit status of the program; the manual lists the same numbers.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,         // anything else that went wrong
    kExitUsage = 2,           // invalid command line
    kExitPortFailed = 3,      // the link cannot be opened
    kExitNoScaler = 4,        // no scaler answered within the time-out
    kExitUnknownVariable = 5, // no variable of that name
    kExitBadValue = 6,        // value malformed or out of range for the variable
    kExitWrongAccess = 7,     // the variable cannot be set (or, write-only, cannot be read)
    kExitNotConfirmed = 8,    // a value was sent but no reply confirmed it within the time-out
    kExitBadPicture = 9,      // upload: the picture file cannot be read
    kExitScalerAborted = 10,  // upload: the scaler aborted it
    kExitUploadTimeout = 11,  // upload: the scaler stopped answering
    kExitBadBackup = 12,      // backup/restore: the file cannot be written, read or understood
    kExitWrongModel = 13,     // restore: the file belongs to another scaler model
    kExitNotRestored = 14,    // restore: some values could not be set, or the link was lost first
    kExitNotReported = 15,    // the scaler did not report a variable that was asked for
    kExitInterrupted = 130,   // SIGINT or SIGTERM during any command but watch
};

enum class LinkKind { Serial, Udp, Tcp };
enum class Command {
    None,
    Help,
    Version,
    Status,
    Get,
    Set,
    Dump,
    Watch,
    Send,
    Upload,
    Backup,
    Restore,
    Ports,
    Scan
};

inline constexpr int kDefaultIpPort = 10500;
inline constexpr int kDefaultTimeoutMs = 15000;
inline constexpr int kScanDefaultTimeoutMs = 1000; // scan: the wait for each device's answer
inline constexpr int kMaxTimeoutMs = 24 * 3600 * 1000;

struct Options {
    LinkKind link = LinkKind::Tcp;
    QString serialPort;
    QString host = QStringLiteral("127.0.0.1");
    int remotePort = kDefaultIpPort;
    int localPort = kDefaultIpPort;
    int timeoutMs = kDefaultTimeoutMs; // scan: per device, 1 s unless given
    bool timeoutGiven = false;
    bool json = false;
    bool paced = false;   // the window's detection pace instead of the quick one
    bool verbose = false; // the driver's and platform's debug logging on standard error
    bool quiet = false;   // values only: no names, no notes
    bool dryRun = false;  // restore: tell what would be written, write nothing
    Command command = Command::None;
    int fitMode = 0;       // upload: --fit as a fit mode (1 to 5), 0 when not given
    bool gradient = false; // upload: the gradient generator's default picture instead of a FILE
    QString helpTopic;     // Help: the command word asked about, empty for the whole manual
    bool remote = false;   // through the running program's remote control instead of a link of our own
    QString remoteUrl;     // its base URL without a trailing slash, e.g. http://127.0.0.1:10600
    QString token;         // --token (main falls back to OXS_REMOTE_TOKEN)
    QString recordFile;    // --record: every byte on the link goes to this recording
    QStringList arguments; // what follows the command word
};

struct ParsedCommandLine {
    Options options;
    QString error; // empty when the command line is valid

    bool ok() const { return error.isEmpty(); }
};

// The remote control's address when --remote names none.
QString defaultRemoteUrl();
// An http:// or https:// URL with a host and nothing after its path; without a port it gets the remote
// control's default port. Returns false with the reason in *why.
bool parseRemoteUrl(const QString &text, QString &url, QString *why);

// Parses the arguments that follow the program name. Options may come before or after the command
// word; "--" ends the options, so that `send -- -1H` can pass text that starts with a dash.
// `--remote [URL]` takes the next argument as its URL only when it starts with http:// or https://;
// `--remote=URL` too.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

// "TCP 127.0.0.1:10500", "UDP 127.0.0.1:10500 (local port 10500)", "serial /dev/ttyS0".
QString describeLink(const Options &options);

// The whole manual for an empty topic, else the page of one command word. Empty for an unknown word.
QString helpText(const QString &topic = QString());

} // namespace OxsCtl
