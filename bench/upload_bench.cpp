// Upload figures against orlan-sim on a pseudo-terminal: the raw phase of a whole 720 x 288 field (from the
// scaler's first ESC DC1 to its last acknowledgement), its ratio to the wire floor at an emulated line rate,
// and the CPU this process (the driver, the worker and the user-interface thread; the simulator runs apart)
// uses meanwhile.
//   upload_bench [--line-rate BAUD] [--runs N]
// Without --line-rate the pseudo-terminal is not throttled.
#include "BenchSupport.h"
#include "ComPort.h"
#include "Orlan_d.h"
#include "SerialLink.h"
#include "ThreadFrameRaw.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>


#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// Counts the bytes the driver writes once the raw phase has begun.
class CountingLink : public TSerialLink {
  public:
    using TSerialLink::TSerialLink;
    bool Send(const QByteArray &data) override {
        if (counting) bytes += data.size();
        return TSerialLink::Send(data);
    }
    bool counting = false;
    qint64 bytes = 0;
};

// No byte of it is the escape code, so the wire carries exactly three bytes a pixel.
QImage benchField() {
    QImage field(720, 288, QImage::Format_RGB32);
    for (int y = 0; y < field.height(); ++y)
        for (int x = 0; x < field.width(); ++x)
            field.setPixel(x, y, qRgb(28 + x % 200, 28 + y % 200, 28 + (x + y) % 200));
    return field;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    int lineRate = 0;
    int runs = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--line-rate") lineRate = args[i + 1].toInt();
        if (args[i] == "--runs") runs = args[i + 1].toInt();
    }
    if (lineRate > 0 && runs == 3) runs = 1;

    QProcess sim;
    QStringList simArgs{"--pty", "--no-tcp", "--no-udp"};
    if (lineRate > 0) simArgs << "--line-rate" << QString::number(lineRate);
    sim.start(QStringLiteral(ORLAN_SIM_PATH), simArgs);
    if (!sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "orlan-sim did not start\n");
        return 1;
    }
    const QString ptyLine = QString::fromLatin1(sim.readLine()).trimmed();
    const QString pty = ptyLine.section(' ', 1);

    TOrlan_d drv;
    drv.SetLinkPacing(TLinkPacing::Fast());
    auto link = std::make_unique<CountingLink>(drv.ComPort());
    CountingLink *counter = link.get();
    drv.ReplaceLink(CON_RS232, std::move(link));
    drv.SetPort(pty);
    if (!Bench::waitFor([&] { return drv.Connected(); }, 10000)) {
        std::fprintf(stderr, "no scaler on %s\n", qPrintable(pty));
        return 1;
    }

    TPicture picture(benchField());
    QList<double> rawTimes;
    std::printf("upload of a 720 x 288 field, %s\n",
                lineRate > 0 ? qPrintable(QStringLiteral("line emulated at %1 baud").arg(lineRate))
                             : "unthrottled pseudo-terminal");
    for (int run = 0; run < runs; ++run) {
        // After the previous upload the driver finds the scaler again first.
        if (!Bench::waitFor([&] { return drv.Connected() && !drv.ForceConn(); }, 10000)) return 1;
        counter->bytes = 0;
        counter->counting = false;
        QElapsedTimer clock;
        clock.start();
        qint64 firstOffer = -1;
        qint64 lastReply = -1;

        TThreadFrameRaw worker;
        worker.Prepare(&picture, &drv);
        // Notes when replies arrive, then hands them to the worker's decoder.
        const TOrlanNotifyEvent decoder = drv.OnRecData;
        drv.OnRecData = [&](TOrlan_d *sender, int32_t tag) {
            if (firstOffer < 0 && drv.ReceiveBuffer().contains("\x1b\x11")) {
                firstOffer = clock.nsecsElapsed() / 1000;
                counter->counting = true;
            }
            lastReply = clock.nsecsElapsed() / 1000;
            decoder(sender, tag);
        };
        worker.Reset();
        worker.Resume();
        const double cpuBefore = Bench::cpuSeconds();
        worker.Start();
        Bench::waitFor([&] { return !worker.IsRunning() && worker.TransferResult() != 0; }, 600000);
        const double cpu = Bench::cpuSeconds() - cpuBefore;
        const qint64 wallUs = clock.nsecsElapsed() / 1000;
        worker.WaitFor();
        drv.OnRecData = nullptr;

        const double rawS = (lastReply - firstOffer) / 1e6;
        rawTimes << rawS;
        std::printf(
            "run %d: result %d, %d pixels, raw phase %.3f s, whole upload %.3f s (1 s pause included), "
            "CPU %.2f s = %.1f %% of one core\n",
            run + 1, worker.TransferResult(), worker.PixelsSent(), rawS, wallUs / 1e6, cpu,
            100.0 * cpu / (wallUs / 1e6));
        if (lineRate > 0) {
            const double floorS = counter->bytes * 10.0 / lineRate;
            std::printf(
                "       %lld bytes sent in the raw phase: wire floor %.1f s, raw phase %.3f x the floor\n",
                counter->bytes, floorS, rawS / floorS);
        }
        std::fflush(stdout);
    }
    if (rawTimes.size() > 1) {
        std::sort(rawTimes.begin(), rawTimes.end());
        std::printf("raw phase over %lld runs: best %.3f s, median %.3f s, worst %.3f s\n",
                    static_cast<long long>(rawTimes.size()), rawTimes.first(), rawTimes[rawTimes.size() / 2],
                    rawTimes.last());
    }
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
