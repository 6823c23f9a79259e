// Receive parser throughput: a query-all dump of all 88 variables, repeated, cut into random chunks and fed
// through the serial entry with a handler on every change event.
//   parser_bench [repetitions]
#include "Orlan_d.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

using namespace OrlanVars;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 20000;

    QByteArray dump;
    int messagesPerDump = 0;
    int eventsPerDump = 0;
    QRandomGenerator rng(42);
    for (const Row &row : kRows) {
        if (row.index == VAR_DEV) continue; // a DEV reply would steer the link state machine
        dump += row.reply + QByteArray::number(rng.bounded(0, 2000)) + "\r\n";
        ++messagesPerDump;
        eventsPerDump += row.hasEvent ? 1 : 0;
    }

    TOrlan_d drv;
    drv.SetLinkTimerEnabled(false);
    uint64_t events = 0;
    for (const Row &row : kRows)
        if (TOrlanNotifyEvent *ev = drv.ChangeEvent(row.index))
            *ev = [&events](TOrlan_d *, int32_t) { ++events; };

    // Chunks of 1 to 64 bytes, as a serial port or a network stack hands them over.
    std::vector<QByteArray> chunks;
    for (int pos = 0; pos < dump.size();) {
        const int size = qMin(int(rng.bounded(1, 65)), int(dump.size()) - pos);
        chunks.push_back(dump.mid(pos, size));
        pos += size;
    }

    QElapsedTimer timer;
    timer.start();
    for (int r = 0; r < repetitions; ++r)
        for (const QByteArray &chunk : chunks)
            drv.SerialReceive(chunk);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double messages = double(messagesPerDump) * repetitions;
    std::printf("messages: %.0f in %.3f s\n", messages, seconds);
    std::printf("messages per second: %.0f\n", messages / seconds);
    std::printf("nanoseconds per message: %.1f\n", seconds * 1e9 / messages);
    std::printf("events raised: %llu\n", static_cast<unsigned long long>(events));
    return events == static_cast<uint64_t>(eventsPerDump) * static_cast<uint64_t>(repetitions) ? 0 : 1;
}
