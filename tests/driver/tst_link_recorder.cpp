// The link recorder on a driver fed by fake links and on the simulator over loopback TCP: the lines it
// writes, the file's cap, the bounded queue and the flush.
#include "DriverFixture.h"
#include "LinkRecorder.h"
#include "ScalerSimulator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Recording {
    QJsonObject header;
    QList<QJsonObject> lines; // after the header
    QByteArray lastRaw;       // the file's last line as written
};

Recording readRecording(const QString &path) {
    Recording r;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return r;
    const QList<QByteArray> raw = file.readAll().split('\n');
    bool first = true;
    for (const QByteArray &line : raw) {
        if (line.isEmpty()) continue;
        r.lastRaw = line;
        const QJsonObject obj = QJsonDocument::fromJson(line).object();
        if (first)
            r.header = obj;
        else
            r.lines << obj;
        first = false;
    }
    return r;
}

// One character per byte, back to bytes; a character above U+00FF marks the result as wrong.
QByteArray bytesOf(const QJsonObject &line) {
    QByteArray out;
    for (const QChar c : line.value(QLatin1String("data")).toString())
        out.append(c.unicode() <= 0xFF ? char(c.unicode()) : '?');
    return out;
}

QByteArray joined(const QList<QJsonObject> &lines, const char *dir) {
    QByteArray out;
    for (const QJsonObject &l : lines)
        if (l.value(QLatin1String("dir")).toString() == QLatin1String(dir) &&
            l.contains(QLatin1String("data")))
            out += bytesOf(l);
    return out;
}

} // namespace

class TestLinkRecorder : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

  private slots:
    // Header, the model once found, both directions in order with their bytes (NUL and above 0x7F), end.
    void linesInOrder() {
        DriverFixture f;
        f.drv->SetPort(QStringLiteral("COM3"));
        LinkRecorder rec(*f.drv);
        rec.SetProgram(QStringLiteral("oxs-remote-control 1.4.0.3"));
        QString error;
        QVERIFY2(rec.Start(path("order.oxsrec"), &error), qPrintable(error));
        QVERIFY(rec.IsRecording());
        QCOMPARE(rec.FileName(), path("order.oxsrec"));

        f.drv->SendIdentityQuery();
        f.connect();
        const QByteArray odd("A\0B\x7F\x80\xA0\xFF\"\\\r\n\x1B", 12);
        f.drv->SerialReceive(odd);
        f.drv->SendText(odd);
        f.drv->SerialReceive("HP5\r\n");
        f.drv->Link(CON_RS232).Close();
        f.drv->SendText("not sent"); // the link is closed: nothing goes out, nothing is recorded
        QSignalSpy stopped(&rec, &LinkRecorder::stopped);
        rec.Stop();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(stopped.at(0).at(0).toString(), QStringLiteral("stopped"));
        QVERIFY(!rec.IsRecording());

        const Recording r = readRecording(path("order.oxsrec"));
        QCOMPARE(r.header.value(QLatin1String("oxsRecording")).toInt(), 1);
        QCOMPARE(r.header.value(QLatin1String("program")).toString(),
                 QStringLiteral("oxs-remote-control 1.4.0.3"));
        QCOMPARE(r.header.value(QLatin1String("link")).toString(), QStringLiteral("RS232 COM3"));
        const QDateTime started =
            QDateTime::fromString(r.header.value(QLatin1String("started")).toString(), Qt::ISODateWithMs);
        QVERIFY(started.isValid());
        QVERIFY(qAbs(started.secsTo(QDateTime::currentDateTimeUtc())) < 60);

        QStringList shape;
        double lastT = 0;
        for (const QJsonObject &l : r.lines) {
            QVERIFY(l.value(QLatin1String("t")).toDouble() >= lastT);
            lastT = l.value(QLatin1String("t")).toDouble();
            if (l.contains(QLatin1String("data")))
                shape << l.value(QLatin1String("dir")).toString() + u':' +
                             QString::fromLatin1(bytesOf(l).toHex());
            else if (l.contains(QLatin1String("model")))
                shape << QStringLiteral("model:%1").arg(l.value(QLatin1String("model")).toInt());
            else
                shape << QStringLiteral("end:") + l.value(QLatin1String("end")).toString();
        }
        const QString oddHex = QString::fromLatin1(odd.toHex());
        QCOMPARE(shape,
                 QStringList({QStringLiteral("out:") + QString::fromLatin1(QByteArray("?").toHex()),
                              QStringLiteral("in:") + QString::fromLatin1(QByteArray("DEV33\r\n").toHex()),
                              QStringLiteral("model:33"), QStringLiteral("in:") + oddHex,
                              QStringLiteral("out:") + oddHex,
                              QStringLiteral("in:") + QString::fromLatin1(QByteArray("HP5\r\n").toHex()),
                              QStringLiteral("end:stopped")}));
        // Control bytes are escaped, so a line never holds a raw line end or other C0/C1 byte.
        QFile file(path("order.oxsrec"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QByteArray &line : file.readAll().split('\n'))
            for (const char c : line)
                QVERIFY(uint8_t(c) >= 0x20 && uint8_t(c) != 0x7F);

        // A second recording starts a new file; one that cannot be created says why.
        QVERIFY(!rec.Start(path("missing/dir/x.oxsrec"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!rec.IsRecording());
    }

    // In raw mode only control sequences are data; picture chunks are counted. Replies stay data.
    void pictureBytesCounted() {
        DriverFixture f;
        f.connect();
        LinkRecorder rec(*f.drv);
        QVERIFY(rec.Start(path("picture.oxsrec")));
        f.drv->SendText("2FAMODE\r\n");
        f.drv->SetConMode(MODE_RAW);
        f.drv->SerialReceive("\x1B\x11");
        QByteArray chunk = QByteArray("PIXELS") + QByteArray(204, '\x5A');
        f.drv->SendText(chunk);          // 210 picture bytes
        f.drv->SendText("\x1B\x17");     // ESC ETB
        f.drv->SendText("\x1B\x1B\x01"); // one escaped data byte and another: picture
        f.drv->SendText("\x1B\x18");     // ESC CAN
        f.drv->SetConMode(MODE_VAR);
        f.drv->SendText("0FAMODE\r\n");
        rec.Stop();

        const Recording r = readRecording(path("picture.oxsrec"));
        QStringList shape;
        for (const QJsonObject &l : r.lines) {
            if (l.contains(QLatin1String("pictureBytes")))
                shape << QStringLiteral("%1:pic%2")
                             .arg(l.value(QLatin1String("dir")).toString())
                             .arg(l.value(QLatin1String("pictureBytes")).toInt());
            else if (l.contains(QLatin1String("data")))
                shape << l.value(QLatin1String("dir")).toString() + u':' +
                             QString::fromLatin1(bytesOf(l).toHex());
        }
        QCOMPARE(
            shape,
            QStringList({QStringLiteral("out:") + QString::fromLatin1(QByteArray("2FAMODE\r\n").toHex()),
                         QStringLiteral("in:1b11"), QStringLiteral("out:pic210"), QStringLiteral("out:1b17"),
                         QStringLiteral("out:pic3"), QStringLiteral("out:1b18"),
                         QStringLiteral("out:") + QString::fromLatin1(QByteArray("0FAMODE\r\n").toHex())}));
        QFile file(path("picture.oxsrec"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("PIXELS"));
    }

    // The cap ends the file with "size limit" within it; the recorder then reports the end and stops.
    void sizeLimit() {
        DriverFixture f;
        LinkRecorder rec(*f.drv);
        rec.SetFileLimit(4096);
        QSignalSpy stopped(&rec, &LinkRecorder::stopped);
        QVERIFY(rec.Start(path("cap.oxsrec")));
        for (int i = 0; i < 200; ++i)
            f.drv->SerialReceive(QByteArray(50, 'x') + "\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 3000);
        QCOMPARE(stopped.at(0).at(0).toString(), QStringLiteral("size limit"));
        QVERIFY(!rec.IsRecording());
        f.drv->SerialReceive("late\r\n");
        rec.Stop(); // nothing more to do
        QCOMPARE(stopped.count(), 1);

        QVERIFY(QFileInfo(path("cap.oxsrec")).size() <= 4096);
        QVERIFY(QFileInfo(path("cap.oxsrec")).size() > 3000);
        const Recording r = readRecording(path("cap.oxsrec"));
        QCOMPARE(r.lines.last().value(QLatin1String("end")).toString(), QStringLiteral("size limit"));
        QVERIFY(r.lines.size() > 10);
        QVERIFY(!joined(r.lines, "in").contains("late"));
    }

    // With the writer held the queue fills: what does not fit is counted, and every byte is either in a
    // data line or in the count written before the next line.
    void fullQueueCounted() {
        DriverFixture f;
        LinkRecorder rec(*f.drv);
        rec.SetQueueLimit(4096);
        QVERIFY(rec.Start(path("queue.oxsrec")));
        rec.HoldWriter();
        qint64 total = 0;
        for (int i = 0; i < 100; ++i) {
            const QByteArray chunk = QByteArray::number(i).rightJustified(98, '.') + "\r\n";
            f.drv->SerialReceive(chunk);
            f.drv->SendText(chunk);
            total += 2 * chunk.size();
        }
        rec.Stop();

        const Recording r = readRecording(path("queue.oxsrec"));
        qint64 recorded = joined(r.lines, "in").size() + joined(r.lines, "out").size();
        QVERIFY(recorded > 0);
        QVERIFY(recorded < total / 4);
        QCOMPARE(r.lines.size() >= 2, true);
        const QJsonObject counted = r.lines.at(r.lines.size() - 2);
        QVERIFY(counted.contains(QLatin1String("notRecorded")));
        QCOMPARE(recorded + counted.value(QLatin1String("notRecorded")).toInteger(), total);
        QCOMPARE(r.lines.last().value(QLatin1String("end")).toString(), QStringLiteral("stopped"));
    }

    // A recording that is never stopped has its lines on disk within a second (a crash loses at most that).
    void flushedWithinASecond() {
        DriverFixture f;
        LinkRecorder rec(*f.drv);
        QVERIFY(rec.Start(path("flush.oxsrec")));
        f.drv->SerialReceive("VERV7\r\n");
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(joined(readRecording(path("flush.oxsrec")).lines, "in") == "VERV7\r\n",
                                 1000);
        QVERIFY(clock.elapsed() <= 1000);
    }

    // Against the simulator over TCP: the header names the link, the identity query and its reply are
    // recorded, and the model follows the reply.
    void onSimulator() {
        OxsSim::ScalerSimulator sim(33);
        const quint16 port = sim.startTcp(0);
        QVERIFY(port != 0);
        TOrlan_d drv;
        drv.SetLinkPacing(TLinkPacing::Fast());
        drv.SetIpRemoteAddress(QStringLiteral("127.0.0.1"));
        drv.SetIpRemotePort(port);
        drv.SetConType(CON_TCP);
        LinkRecorder rec(drv);
        QVERIFY(rec.Start(path("sim.oxsrec")));
        QTRY_VERIFY_WITH_TIMEOUT(drv.Ready(), 10000);
        rec.Stop();

        const Recording r = readRecording(path("sim.oxsrec"));
        QCOMPARE(r.header.value(QLatin1String("link")).toString(),
                 QStringLiteral("TCP 127.0.0.1:%1").arg(port));
        QVERIFY(joined(r.lines, "out").startsWith("?"));
        const QByteArray in = joined(r.lines, "in");
        QVERIFY(in.contains("DEV33\r\n"));
        QVERIFY(in.size() > 200); // the query-all dump
        int model = -1, firstIn = -1;
        for (int i = 0; i < r.lines.size(); ++i) {
            if (firstIn < 0 && r.lines[i].value(QLatin1String("dir")) == QLatin1String("in")) firstIn = i;
            if (model < 0 && r.lines[i].contains(QLatin1String("model"))) model = i;
        }
        QVERIFY(firstIn >= 0 && model > firstIn);
        QCOMPARE(r.lines[model].value(QLatin1String("model")).toInt(), 33);
    }
};

QTEST_GUILESS_MAIN(TestLinkRecorder)
#include "tst_link_recorder.moc"
