// Link figures against the in-process scaler simulator: time from opening each link to Connected and
// Ready at the window's pace and at a tool's fast pace, CPU of a connected driver left idle, and connect
// attempts and CPU against a closed TCP port and against a peer that accepts and resets.
//   link_bench [idle-seconds] [closed-port-seconds]
// CPU figures are for the whole process (driver and simulator together), so they bound the driver's own.
#include "BenchSupport.h"
#include "Orlan_d.h"
#include "ResettingPeer.h"
#include "ScalerSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUdpSocket>


#include <cstdio>
#include <functional>

namespace {

void measureDetection(const char *name, const TLinkPacing &pacing,
                      const std::function<void(TOrlan_d &)> &open) {
    TOrlan_d drv;
    drv.SetLinkPacing(pacing);
    QElapsedTimer clock;
    clock.start();
    open(drv);
    Bench::waitFor([&] { return drv.Connected(); }, 15000);
    const qint64 connected = clock.elapsed();
    Bench::waitFor([&] { return drv.Ready(); }, 15000);
    const qint64 ready = clock.elapsed();
    std::printf("%-6s %-6s pace: Connected after %lld ms, Ready after %lld ms (link opened at creation)\n",
                name, pacing.dumpQuietMs == TLinkPacing::Window().dumpQuietMs ? "window" : "fast",
                static_cast<long long>(connected), static_cast<long long>(ready));
}

void measureReconnects(const char *peerName, quint16 port, int seconds,
                       const std::function<int()> &accepted) {
    TOrlan_d drv;
    drv.SetIpRemoteAddress("127.0.0.1");
    drv.SetIpRemotePort(port);
    const double cpu0 = Bench::cpuSeconds();
    drv.SetConType(CON_TCP);
    Bench::idle(seconds * 1000);
    const double cpu = Bench::cpuSeconds() - cpu0;
    const int attempts = accepted ? accepted() : drv.TcpConnectAttempts();
    std::printf("%s over %d s: %d connects (%.2f per second), CPU %.3f %% of one core\n", peerName, seconds,
                attempts, double(attempts) / seconds, 100.0 * cpu / seconds);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int closedSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    OxsSim::ScalerSimulator sim(33);
    sim.startTcp(0);
    sim.startUdp(0);
    const QString pty = sim.startPty();

    for (const TLinkPacing &pacing : {TLinkPacing::Window(), TLinkPacing::Fast()}) {
        measureDetection("serial", pacing, [&](TOrlan_d &d) { d.SetPort(pty); });
        measureDetection("UDP", pacing, [&](TOrlan_d &d) {
            QUdpSocket probe;
            probe.bind(QHostAddress::LocalHost, 0);
            const int local = probe.localPort();
            probe.close();
            d.SetIpRemoteAddress("127.0.0.1");
            d.SetIpRemotePort(sim.udpPort());
            d.SetIpLocalPort(local);
            d.SetConType(CON_UDP);
        });
        measureDetection("TCP", pacing, [&](TOrlan_d &d) {
            d.SetIpRemoteAddress("127.0.0.1");
            d.SetIpRemotePort(sim.tcpPort());
            d.SetConType(CON_TCP);
        });
    }

    {
        TOrlan_d drv;
        drv.SetIpRemoteAddress("127.0.0.1");
        drv.SetIpRemotePort(sim.tcpPort());
        drv.SetConType(CON_TCP);
        Bench::waitFor([&] { return drv.Ready(); }, 15000);
        const double cpu0 = Bench::cpuSeconds();
        Bench::idle(idleSeconds * 1000);
        const double cpu = Bench::cpuSeconds() - cpu0;
        std::printf("idle connected over %d s: CPU %.3f s = %.3f %% of one core, still connected: %s\n",
                    idleSeconds, cpu, 100.0 * cpu / idleSeconds, drv.Connected() ? "yes" : "no");
    }

    const quint16 closedPort = sim.tcpPort();
    sim.stop();
    measureReconnects("closed TCP port", closedPort, closedSeconds, nullptr);
    OxsSim::ResettingPeer peer;
    measureReconnects("peer that accepts and resets", peer.port(), closedSeconds,
                      [&] { return peer.accepted(); });
    return 0;
}
