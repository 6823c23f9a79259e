// Remote-control figures over loopback: the server (driver, remote service, HTTP server) on the main
// thread as in the window, the simulator and the clients on threads of their own.
//   remote_bench [puts] [get-seconds] [changes]
// - PUT /api/v1/variables/HPOS to the answer with the scaler's confirmed value: p50, p95, max.
// - 1,000 GET/s from 20 keep-alive clients: the main thread's CPU time as a share of one core.
// - A change reported by the scaler to its arrival at each of 50 WebSocket clients: p50, p95, max.
#include "BenchSupport.h"
#include "HttpServer.h"
#include "Orlan_d.h"
#include "RemoteService.h"
#include "ScalerSimulator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThread>
#include <QWebSocket>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace OrlanVars;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void printLatencies(const char *what, std::vector<double> ms, const char *target) {
    if (ms.empty()) {
        std::printf("%s: no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
    std::printf("%s: p50 %.2f ms, p95 %.2f ms, max %.2f ms over %zu samples (target p95 < %s)\n", what,
                at(0.5), at(0.95), ms.back(), ms.size(), target);
}

// A keep-alive HTTP/1.1 client on blocking socket calls, for a thread without an event loop.
class HttpClient {
  public:
    explicit HttpClient(quint16 port) : m_port(port) {}

    // The status of one request, -1 when the connection failed.
    int request(const QByteArray &method, const QByteArray &path, const QByteArray &body = {}) {
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            m_socket.abort();
            m_buffer.clear();
            m_socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (!m_socket.waitForConnected(5000)) return -1;
        }
        QByteArray out = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) +
                         "\r\nConnection: keep-alive\r\n";
        if (!body.isEmpty())
            out += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
                   "\r\n";
        m_socket.write(out + "\r\n" + body);
        m_socket.flush();
        qsizetype headerEnd = -1;
        while ((headerEnd = m_buffer.indexOf("\r\n\r\n")) < 0)
            if (!readMore()) return -1;
        const QByteArray head = m_buffer.left(headerEnd).toLower();
        const int status = m_buffer.mid(9, 3).toInt();
        qsizetype length = 0;
        const qsizetype at = head.indexOf("content-length:");
        if (at >= 0) length = head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        while (m_buffer.size() < headerEnd + 4 + length)
            if (!readMore()) return -1;
        m_buffer.remove(0, headerEnd + 4 + length);
        return status;
    }

  private:
    bool readMore() {
        if (!m_socket.waitForReadyRead(5000)) return false;
        m_buffer += m_socket.readAll();
        return true;
    }

    quint16 m_port;
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

// Runs fn on a new thread while the main thread keeps its event loop going; returns once fn is done.
void runBeside(const std::function<void()> &fn, int timeoutMs) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        fn();
        done = true;
    });
    Bench::waitFor([&] { return done.load(); }, timeoutMs);
    worker.join();
}

void measurePuts(quint16 port, int count) {
    std::vector<double> ms;
    int failed = 0;
    runBeside(
        [&] {
            HttpClient client(port);
            for (int i = 0; i < count; ++i) {
                const QByteArray body = "{\"value\": " + QByteArray::number(100 + i % 100) + "}";
                const auto start = Clock::now();
                const int status = client.request("PUT", "/api/v1/variables/HPOS", body);
                if (status == 200)
                    ms.push_back(msSince(start));
                else
                    ++failed;
            }
        },
        count * 3000);
    printLatencies("PUT to confirmed value", ms, "20 ms");
    if (failed) std::printf("  %d PUTs not answered 200\n", failed);
}

void measureGets(quint16 port, const QByteArray &path, int seconds) {
    constexpr int kClients = 20, kPerClientPerSecond = 50;
    std::atomic<int> answered{0}, failed{0}, lastFailure{0}, finished{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&, c] {
            HttpClient client(port);
            const auto period = std::chrono::microseconds(1000000 / kPerClientPerSecond);
            while (!go)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            // Spread over the period so the clients do not send in step.
            auto next = Clock::now() + period * c / kClients;
            const auto end = Clock::now() + std::chrono::seconds(seconds);
            while (next < end) {
                std::this_thread::sleep_until(next);
                next += period;
                const int status = client.request("GET", path);
                (status == 200 ? answered : failed)++;
                if (status != 200) lastFailure = status;
            }
            ++finished;
        });
    Bench::idle(200); // connections made before the clock starts
    const double cpu0 = threadCpuSeconds();
    const auto start = Clock::now();
    go = true;
    // The server keeps serving until the last client is done (a client behind its schedule sends late).
    Bench::waitFor([&] { return finished == kClients; }, seconds * 1000 + 10000);
    const double wall = msSince(start) / 1000.0, cpu = threadCpuSeconds() - cpu0;
    for (std::thread &t : clients)
        t.join();
    std::printf(
        "GET %s from %d clients: %.0f answered/s, server thread CPU %.1f %% of a core (target < 20 %%)\n",
        path.constData(), kClients, answered / wall, 100.0 * cpu / wall);
    if (failed) std::printf("  %d GETs not answered 200 (the last: %d)\n", failed.load(), lastFailure.load());
}

// Receives on a thread of its own: 50 WebSockets, each arrival stamped with the steady clock.
class FanOutClients : public QObject {
  public:
    FanOutClients(quint16 port, int count) : m_port(port), m_count(count) {}

    void start() {
        for (int i = 0; i < m_count; ++i) {
            auto *socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
            connect(socket, &QWebSocket::connected, this, [this] { ++connected; });
            connect(socket, &QWebSocket::textMessageReceived, this, [this](const QString &text) {
                const auto at = Clock::now();
                const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
                if (o.value(QLatin1String("name")).toString() != QLatin1String("IFDM")) return;
                std::lock_guard<std::mutex> lock(mutex);
                arrivals.push_back({o.value(QLatin1String("value")).toInt(), at});
            });
            socket->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(m_port)));
        }
    }

    std::atomic<int> connected{0};
    std::mutex mutex;
    std::vector<std::pair<int, Clock::time_point>> arrivals;

  private:
    quint16 m_port;
    int m_count;
};

void measureFanOut(OxsSim::ScalerSimulator &sim, quint16 port, int changes) {
    constexpr int kClients = 50;
    QThread thread;
    thread.start();
    auto *clients = new FanOutClients(port, kClients);
    clients->moveToThread(&thread);
    QMetaObject::invokeMethod(clients, [clients] { clients->start(); });
    if (!Bench::waitFor([&] { return clients->connected == kClients; }, 10000)) {
        std::printf("fan-out: only %d of %d WebSockets connected\n", clients->connected.load(), kClients);
    } else {
        Bench::idle(200);
        // Values no report has had, one change at a time, each stamped as the scaler sends it.
        int base = 0;
        QMetaObject::invokeMethod(
            &sim, [&] { base = int(sim.value(VAR_IFDM) % 100000) + 1000; }, Qt::BlockingQueuedConnection);
        std::vector<Clock::time_point> sent(static_cast<size_t>(changes));
        for (int i = 0; i < changes; ++i) {
            QMetaObject::invokeMethod(
                &sim,
                [&sim, &sent, i, base] {
                    sent[size_t(i)] = Clock::now();
                    sim.setReported(VAR_IFDM, quint32(base + i));
                },
                Qt::BlockingQueuedConnection);
            Bench::idle(20);
        }
        Bench::idle(300);
        std::vector<double> ms;
        {
            std::lock_guard<std::mutex> lock(clients->mutex);
            for (const auto &[value, at] : clients->arrivals)
                if (value >= base && value < base + changes)
                    ms.push_back(
                        std::chrono::duration<double, std::milli>(at - sent[size_t(value - base)]).count());
        }
        std::printf("fan-out: %zu of %d arrivals\n", ms.size(), changes * kClients);
        printLatencies("change reported by the scaler to each of 50 WebSocket clients", ms, "10 ms");
    }
    QMetaObject::invokeMethod(
        clients, [clients] { delete clients; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int puts = argc > 1 ? std::atoi(argv[1]) : 300;
    const int getSeconds = argc > 2 ? std::atoi(argv[2]) : 5;
    const int changes = argc > 3 ? std::atoi(argv[3]) : 100;

    // The simulator on its own thread, so that the main thread's CPU time is the server's alone.
    QThread simThread;
    simThread.start();
    OxsSim::ScalerSimulator *sim = nullptr;
    quint16 simPort = 0;
    QObject simHome;
    simHome.moveToThread(&simThread);
    QMetaObject::invokeMethod(
        &simHome,
        [&] {
            sim = new OxsSim::ScalerSimulator(33);
            simPort = sim->startTcp(0);
        },
        Qt::BlockingQueuedConnection);

    TOrlan_d driver;
    driver.SetLinkPacing(TLinkPacing::Fast());
    driver.SetIpRemoteAddress(QStringLiteral("127.0.0.1"));
    driver.SetIpRemotePort(simPort);
    driver.SetConType(CON_TCP);
    OxsRemote::RemoteService service(driver);
    OxsRemote::RemoteHttpServer server(service);
    QString why;
    if (!server.listen(QHostAddress::LocalHost, 0, QString(), &why)) {
        std::fprintf(stderr, "remote_bench: cannot listen: %s\n", qPrintable(why));
        return 1;
    }
    if (!Bench::waitFor([&] { return driver.Ready(); }, 30000)) {
        std::fprintf(stderr, "remote_bench: the simulator was not found\n");
        return 1;
    }

    measurePuts(server.port(), puts);
    quint32 held = 0;
    QMetaObject::invokeMethod(
        &simHome, [&] { held = sim->value(VAR_HPOS); }, Qt::BlockingQueuedConnection);
    std::printf("  the scaler holds HPOS=%u, the last value put %d\n", held, 100 + (puts - 1) % 100);
    measureGets(server.port(), "/api/v1/variables/HPOS", getSeconds);
    measureGets(server.port(), "/api/v1/variables", getSeconds);
    // The GET clients are gone; the server must have let their connections go before 50 more come.
    if (!Bench::waitFor([&] { return server.clientCount() == 0; }, 10000))
        std::printf("  the server still counts %d clients 10 s after the GET clients left\n",
                    server.clientCount());
    measureFanOut(*sim, server.port(), changes);

    server.close();
    QMetaObject::invokeMethod(
        &simHome, [&] { delete sim; }, Qt::BlockingQueuedConnection);
    simThread.quit();
    simThread.wait();
    return 0;
}
