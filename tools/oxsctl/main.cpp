// oxsctl: command-line remote control of an Orlan scaler through the device driver.

#include "CtlArgs.h"
#include "CtlRunner.h"
#include "Orlan_d.h"
#include "Version.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace OxsCtl;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void writeTo(FILE *stream, const QString &text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

int fail(int code, const QString &message) {
    writeTo(stderr, QStringLiteral("oxsctl: %1\n").arg(message));
    if (code == kExitUsage) writeTo(stderr, QStringLiteral("Try 'oxsctl --help' for more information.\n"));
    return code;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("oxsctl"));

    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments().mid(1));
    if (!parsed.ok()) return fail(kExitUsage, parsed.error);
    const Options &options = parsed.options;
    if (options.command == Command::Help) {
        writeTo(stdout, QString::fromUtf8(manualText()));
        return kExitOk;
    }
    if (options.command == Command::Version) {
        writeTo(stdout, QStringLiteral("oxsctl %1\n").arg(QLatin1String(OxsVersion::kFileVersion)));
        return kExitOk;
    }

    Request request;
    QString why;
    if (const int code = prepareRequest(options, request, &why)) return fail(code, why);

    // SIGINT and SIGTERM end the event loop through a socket pair, so the driver closes its link normally.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return fail(kExitFailure, QStringLiteral("socketpair: %1").arg(qt_error_string(errno)));
    QSocketNotifier signalNotifier{qintptr(g_signalPipe[0]), QSocketNotifier::Read};
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    int exitCode = kExitFailure;
    {
        // The driver's detection runs from its creation: first probe step 3 s later.
        TOrlan_d driver;
        if (const int code = openLink(driver, options, &why)) return fail(code, why);

        Runner runner(
            driver, request, [](const QString &text) { writeTo(stdout, text); },
            [](const QString &text) { writeTo(stderr, text); });
        runner.finished = [&exitCode](int code) {
            exitCode = code;
            QCoreApplication::exit(code);
        };
        QObject::connect(&signalNotifier, &QSocketNotifier::activated, &runner,
                         [&runner] { runner.interrupt(); });
        runner.start();
        QCoreApplication::exec();
    }
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    return exitCode;
}
