// oxsctl: command-line remote control of an Orlan scaler through the device driver.

#include "CtlArgs.h"
#include "CtlRunner.h"
#include "Orlan_d.h"
#include "UnixSignals.h"
#include "Version.h"

#include <QCoreApplication>

#include <cstdio>

using namespace OxsCtl;

namespace {

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
        writeTo(stdout, helpText(options.helpTopic));
        return kExitOk;
    }
    if (options.command == Command::Version) {
        writeTo(stdout, QStringLiteral("oxsctl %1\n").arg(QLatin1String(OxsVersion::kFileVersion)));
        return kExitOk;
    }

    Request request;
    QString why;
    if (const int code = prepareRequest(options, request, &why)) return fail(code, why);

    // SIGINT and SIGTERM end the event loop, so the driver closes its link normally.
    UnixSignals signalsToInterrupt;

    int exitCode = kExitFailure;
    {
        // The driver's detection runs from its creation; opening the link sets its pace.
        TOrlan_d driver;
        if (const int code = openLink(driver, options, &why)) return fail(code, why);

        Runner runner(
            driver, request, [](const QString &text) { writeTo(stdout, text); },
            [](const QString &text) { writeTo(stderr, text); });
        runner.finished = [&exitCode](int code) {
            exitCode = code;
            QCoreApplication::exit(code);
        };
        QObject::connect(&signalsToInterrupt, &UnixSignals::terminationRequested, &runner,
                         [&runner] { runner.interrupt(); });
        runner.start();
        QCoreApplication::exec();
    }
    return exitCode;
}
