// A long show day: the whole window (offscreen) with its debug console on orlan-sim, which streams live
// measurements (500 reply lines a second by default) over loopback TCP. For a stretch with the console
// hidden and one with it shown, it prints the growth of this process's resident memory and its CPU share
// (user + system time over wall time). The simulator runs in a process of its own, so the figures are the
// window's alone.
//   console_bench [--seconds N] [--shown-seconds N] [--stream MS:LINES]
// Defaults: 150 s hidden, 150 s shown, 100:50 (fifty lines every 100 ms).
#include "BenchSupport.h"
#include "Debug.h"
#include "Prompts.h"
#include "Unit_OXS.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>

namespace {

// Resident memory of this process in bytes.
qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

struct Stretch {
    double seconds = 0;
    double cpuShare = 0;
    double growthMB = 0;
    double linesPerSecond = 0;
};

// Lets the window run for `seconds` and measures it.
Stretch measure(int seconds, const TForm_debug &console) {
    Stretch s;
    const qint64 rssBefore = residentBytes();
    const double cpuBefore = Bench::cpuSeconds();
    const qint64 linesBefore = console.Log().appended();
    QElapsedTimer wall;
    wall.start();
    Bench::idle(seconds * 1000);
    s.seconds = double(wall.nsecsElapsed()) / 1e9;
    s.cpuShare = (Bench::cpuSeconds() - cpuBefore) / s.seconds;
    s.growthMB = double(residentBytes() - rssBefore) / 1e6;
    s.linesPerSecond = double(console.Log().appended() - linesBefore) / s.seconds;
    return s;
}

void print(const char *what, const Stretch &s) {
    std::printf(
        "console %s for %.0f s: %.0f reply lines/s logged, resident memory %+.1f MB, CPU %.1f %% of a "
        "core\n",
        what, s.seconds, s.linesPerSecond, s.growthMB, 100 * s.cpuShare);
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(TForm_OXS::ApplicationFont());
    Prompts::install(std::make_unique<RecordingPrompts>());
    int hiddenSeconds = 150;
    int shownSeconds = 150;
    QString stream = QStringLiteral("100:50");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            hiddenSeconds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--shown-seconds"))
            shownSeconds = std::max(0, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--stream"))
            stream = args[i + 1];
        else {
            std::fprintf(stderr,
                         "usage: console_bench [--seconds N] [--shown-seconds N] [--stream MS:LINES]\n");
            return 1;
        }
    }

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(ORLAN_SIM_PATH),
              {QStringLiteral("--tcp-port"), QStringLiteral("0"), QStringLiteral("--no-udp"),
               QStringLiteral("--stream"), stream});
    if (!sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "orlan-sim did not start\n");
        return 1;
    }
    const QString endpoint = QString::fromLatin1(sim.readLine()).trimmed(); // "TCP 127.0.0.1:PORT"
    const QString port = endpoint.section(u':', -1);

    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("OXS remote control.ini")));
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write("[CONNEXION]\r\nPort=0\r\nREMOTE_IP=127.0.0.1\r\nREMOTE_PORT_ENTRY=" + port.toLatin1() +
              "\r\nIP_ENABLE=2\r\n");
    ini.close();
    qputenv("OXS_COM1", "/nonexistent/serial-port");

    // As the program starts: the window, then its console, hidden, logging from the start.
    TForm_OXS form(dir.path());
    TForm_debug console(*form.Orlan_d, dir.path());
    form.SetDebugConsole(&console);
    form.Orlan_d->SetLinkPacing(TLinkPacing::Fast());
    form.InitMainWindow();
    form.show();
    if (!Bench::waitFor([&] { return form.Orlan_d->Connected() && console.Log().appended() > 0; }, 30000)) {
        std::fprintf(stderr, "the window found no scaler on %s\n", qPrintable(endpoint));
        return 1;
    }
    Bench::idle(3000); // the dump, the first reports and the caches they fill

    std::printf("window and debug console on orlan-sim --stream %s over loopback TCP\n", qPrintable(stream));
    const Stretch hidden = measure(hiddenSeconds, console);
    print("hidden", hidden);
    std::fflush(stdout);
    if (shownSeconds > 0) {
        console.show();
        Bench::idle(1000); // the log rendered once into the console
        print("shown", measure(shownSeconds, console));
        std::printf("  console log: %lld lines kept in %.1f MB\n",
                    static_cast<long long>(console.Log().size()), double(console.Log().storedBytes()) / 1e6);
    }
    const bool connected = form.Orlan_d->Connected();
    console.close();
    form.close();
    sim.terminate();
    sim.waitForFinished(3000);
    if (!connected) std::fprintf(stderr, "the link was lost during the run\n");
    return connected && hidden.growthMB < 10 && hidden.cpuShare < 0.05 ? 0 : 2;
}
