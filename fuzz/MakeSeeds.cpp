// Writes the fuzz target's seed corpus: the simulator's query-all dump of each model and its replies to
// a few commands, as received over each link, plus seeds that switch to raw mode and back.
// Usage: oxs_fuzz_seeds DIR

#include "ScalerState.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QByteArray joined(const QList<QByteArray> &lines) {
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

OxsSim::SimCommand command(quint32 value, const char *mnemonic) {
    OxsSim::SimCommand c;
    c.hasValue = true;
    c.value = value;
    c.mnemonic = mnemonic;
    return c;
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) return 1;
    int count = 0;
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(bytes);
            ++count;
        }
    };

    for (int model : {32, 33, 40}) {
        OxsSim::ScalerState state(model);
        QByteArray replies = "DEV" + QByteArray::number(model) + "\r\n";
        for (const auto &c : {command(100, "H"), command(2, "CN"), command(3, "PC"), command(1, "PE"),
                              command(7, "PR"), command(0, "na"), command(192, "nw"), command(8, "nk"),
                              command(4000, "np"), command(1, "yP"), command(1, "FO")})
            replies += joined(state.execute(c).replies);
        const QByteArray dump = joined(state.dump());
        state.useLongValues();
        const QByteArray longDump = joined(state.dump());
        for (int link = 0; link < 3; ++link) {
            const QString stem = QStringLiteral("m%1-link%2").arg(model).arg(link);
            // Config byte: link in the low bits, a chunk size above; whole lines, then a byte at a time.
            write(stem + QStringLiteral("-dump"), char(link | 0x30) + dump);
            write(stem + QStringLiteral("-dump-bytes"), char(link) + dump);
            write(stem + QStringLiteral("-long"), char(link | 0xF0) + longDump);
            write(stem + QStringLiteral("-replies"), char(link | 0x58) + replies);
        }
    }
    // 0xFF and an operation byte act instead of being received (see the target).
    const QByteArray toggleRaw("\xFF\x00", 2), readRaw("\xFF\x01", 2), step("\xFF\x03", 2);
    // Serial: text, raw mode, raw bytes and their read, back to text.
    write(QStringLiteral("raw-toggle"), QByteArray("\x10", 1) + "HP12\r\n" + toggleRaw + "\x1B\x02\x10\x06" +
                                            readRaw + toggleRaw + "VP3\r\n");
    // TCP: the link steps from reset through the identity query to the end of the query-all.
    write(QStringLiteral("link-steps"),
          QByteArray("\x22", 1) + step + step + "DEV33\r\n" + step + "#1\r\nHP5\r\n" + step + step);
    std::printf("%d seeds in %s\n", count, argv[1]);
    return 0;
}
