// oxsctl: command-line remote control of an Orlan scaler through the device driver.

#include "CtlArgs.h"
#include "CtlPorts.h"
#include "CtlRemote.h"
#include "CtlRunner.h"
#include "CtlUpload.h"
#include "LinkRecorder.h"
#include "Orlan_d.h"
#include "UnixSignals.h"
#include "Version.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <memory>
#include <unistd.h>
#include <utility>

using namespace OxsCtl;

namespace {

bool g_progressShown = false; // a progress line is on the terminal, without its line end

void writeTo(FILE *stream, const QString &text) {
    if (std::exchange(g_progressShown, false)) std::fputs("\n", stderr);
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

// Rewrites the progress line in place; only on a terminal.
void showProgress(const QString &line) {
    std::fprintf(stderr, "\r%s\033[K", line.toUtf8().constData());
    std::fflush(stderr);
    g_progressShown = true;
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
    Options options = parsed.options;
    // The link, serial port, upload and settings categories all sit under "oxs.".
    if (options.verbose) QLoggingCategory::setFilterRules(QStringLiteral("oxs.*.debug=true"));
    if (options.command == Command::Help) {
        writeTo(stdout, helpText(options.helpTopic));
        return kExitOk;
    }
    if (options.command == Command::Version) {
        writeTo(stdout, QStringLiteral("oxsctl %1\n").arg(QLatin1String(OxsVersion::kFileVersion)));
        return kExitOk;
    }

    QString why;
    if (!takeEnvironmentToken(options, &why)) return fail(kExitUsage, why);
    Request request;
    if (const int code = prepareRequest(options, request, &why)) return fail(code, why);

    // SIGINT and SIGTERM end the event loop, so the driver closes its link normally.
    UnixSignals signalsToInterrupt;

    int exitCode = kExitFailure;
    const auto out = [](const QString &text) { writeTo(stdout, text); };
    const auto err = [](const QString &text) { writeTo(stderr, text); };
    const auto finished = [&exitCode](int code) {
        exitCode = code;
        QCoreApplication::exit(code);
    };
    if (options.command == Command::Ports) {
        const QList<SerialDevices::Device> devices = SerialDevices::list();
        writeTo(stdout, options.json ? portsJson(devices) : portsText(devices, options.quiet));
        return kExitOk;
    }
    if (options.command == Command::Scan) {
        // Local: no driver and no link, only the serial devices found.
        Scanner scanner(SerialDevices::list(), options.timeoutMs);
        scanner.finished = [&](const QList<ProbeResult> &results) {
            writeTo(stdout, options.json ? scanJson(results) : scanText(results, options.quiet));
            const int code = scanExitCode(results);
            if (code == kExitNoScaler && !results.isEmpty())
                writeTo(stderr,
                        QStringLiteral("oxsctl: no scaler answered on the %1 serial device(s) found\n")
                            .arg(results.size()));
            finished(code);
        };
        QObject::connect(&signalsToInterrupt, &UnixSignals::terminationRequested, &scanner, [&] {
            scanner.stop();
            finished(kExitInterrupted);
        });
        scanner.start();
        QCoreApplication::exec();
        return exitCode;
    }
    if (options.remote) {
        // The running program has the link: no driver here.
        RemoteRunner runner(request, out, err);
        runner.finished = finished;
        QObject::connect(&signalsToInterrupt, &UnixSignals::terminationRequested, &runner,
                         [&runner] { runner.interrupt(); });
        runner.start();
        QCoreApplication::exec();
        return exitCode;
    }
    {
        // The driver's detection runs from its creation; opening the link sets its pace.
        TOrlan_d driver;
        if (const int code = openLink(driver, options, &why)) return fail(code, why);
        // Closed with its end line when the command is over, before the driver goes.
        std::unique_ptr<LinkRecorder> recorder;
        if (!options.recordFile.isEmpty()) {
            recorder = std::make_unique<LinkRecorder>(driver);
            recorder->SetProgram(QStringLiteral("oxsctl %1").arg(QLatin1String(OxsVersion::kFileVersion)));
            if (!recorder->Start(options.recordFile, &why))
                return fail(kExitFailure,
                            QStringLiteral("cannot record to %1: %2").arg(options.recordFile, why));
        }

        if (options.command == Command::Upload) {
            UploadRunner runner(driver, request, out, err,
                                ::isatty(STDERR_FILENO) ? UploadRunner::Writer(showProgress)
                                                        : UploadRunner::Writer());
            runner.finished = finished;
            QObject::connect(&signalsToInterrupt, &UnixSignals::terminationRequested, &runner,
                             [&runner] { runner.interrupt(); });
            runner.start();
            QCoreApplication::exec();
        } else {
            Runner runner(driver, request, out, err);
            runner.finished = finished;
            QObject::connect(&signalsToInterrupt, &UnixSignals::terminationRequested, &runner,
                             [&runner] { runner.interrupt(); });
            runner.start();
            QCoreApplication::exec();
        }
    }
    if (std::exchange(g_progressShown, false)) std::fputs("\n", stderr);
    return exitCode;
}
