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

// The file's lines as JSON objects, the header first.
QList<QJsonObject> readLines(const QString &path) {
    QList<QJsonObject> lines;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty()) lines << QJsonDocument::fromJson(line).object();
    return lines;
}

// One character per byte back to bytes; a character above U+00FF comes back as '?'.
QByteArray bytesOf(const QJsonObject &line) {
    QByteArray out;
    for (const QChar c : line.value(QLatin1String("data")).toString())
        out.append(c.unicode() <= 0xFF ? char(c.unicode()) : '?');
    return out;
}

// Each line after the header in short: "in:<hex>", "out:<hex>", "out:pic<n>", "model:<n>", "lost:<n>",
// "end:<why>"; times must never go back.
QStringList shapeOf(const QList<QJsonObject> &lines) {
    QStringList shape;
    double lastT = 0;
    for (const QJsonObject &l : lines.mid(1)) {
        const double t = l.value(QLatin1String("t")).toDouble(-1);
        if (t < lastT) shape << QStringLiteral("time went back");
        lastT = t;
        const QString dir = l.value(QLatin1String("dir")).toString();
        if (l.contains(QLatin1String("data")))
            shape << dir + u':' + QString::fromLatin1(bytesOf(l).toHex());
        else if (l.contains(QLatin1String("pictureBytes")))
            shape << dir + QStringLiteral(":pic%1").arg(l.value(QLatin1String("pictureBytes")).toInt());
        else if (l.contains(QLatin1String("model")))
            shape << QStringLiteral("model:%1").arg(l.value(QLatin1String("model")).toInt());
        else if (l.contains(QLatin1String("notRecorded")))
            shape << QStringLiteral("lost:%1").arg(l.value(QLatin1String("notRecorded")).toInteger());
        else
            shape << QStringLiteral("end:") + l.value(QLatin1String("end")).toString();
    }
    return shape;
}

QString hex(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex());
}

QByteArray joined(const QList<QJsonObject> &lines, const char *dir) {
    QByteArray out;
    for (const QJsonObject &l : lines)
        if (l.value(QLatin1String("dir")).toString() == QLatin1String(dir)) out += bytesOf(l);
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
        const QString port = QString::fromUtf8("/dev/tty\xC3\x84"
                                               "0"); // not ASCII: the header keeps it as text
        f.drv->SetPort(port);
        LinkRecorder rec(*f.drv);
        rec.SetProgram(QStringLiteral("oxs-remote-control 1.4.0.3"));
        QVERIFY(rec.Start(path("order.oxsrec")));
        f.drv->SendIdentityQuery();
        f.connect();
        const QByteArray odd("A\0B\x7F\x80\x9F\xA0\xFF\"\\\r\n\x1B", 13);
        f.drv->SerialReceive(odd);
        f.drv->SendText(odd);
        f.drv->Link(CON_RS232).Close();
        f.drv->SendText("not sent"); // nothing went out: nothing is recorded
        QSignalSpy stopped(&rec, &LinkRecorder::stopped);
        rec.Stop();
        QCOMPARE(stopped.value(0).value(0).toString(), QStringLiteral("stopped"));

        const QList<QJsonObject> lines = readLines(path("order.oxsrec"));
        QCOMPARE(lines.value(0).value(QLatin1String("oxsRecording")).toInt(), 1);
        QCOMPARE(lines.value(0).value(QLatin1String("program")).toString(),
                 QStringLiteral("oxs-remote-control 1.4.0.3"));
        QCOMPARE(lines.value(0).value(QLatin1String("link")).toString(), QStringLiteral("RS232 ") + port);
        const QDateTime started = QDateTime::fromString(
            lines.value(0).value(QLatin1String("started")).toString(), Qt::ISODateWithMs);
        QVERIFY(qAbs(started.secsTo(QDateTime::currentDateTimeUtc())) < 60);
        QCOMPARE(shapeOf(lines), QStringList({"out:" + hex("?"), "in:" + hex("DEV33\r\n"), "model:33",
                                              "in:" + hex(odd), "out:" + hex(odd), "end:stopped"}));
    }

    // A scaler found before the start is named at once. In raw mode only the control sequences are data,
    // picture chunks are counted; replies stay data.
    void pictureBytesCounted() {
        DriverFixture f;
        f.connect();
        LinkRecorder rec(*f.drv);
        QVERIFY(rec.Start(path("picture.oxsrec")));
        f.drv->SendText("2FAMODE\r\n");
        f.drv->SetConMode(MODE_RAW);
        f.drv->SerialReceive("\x1B\x11");
        f.drv->SendText(QByteArray("PIXELS") + QByteArray(204, '\x5A'));
        f.drv->SendText("\x1B\x17");     // ESC ETB
        f.drv->SendText("\x1B\x1B\x01"); // an escaped data byte and another: picture
        f.drv->SendText("\x1B\x18");     // ESC CAN
        f.drv->SetConMode(MODE_VAR);
        f.drv->SendText("0FAMODE\r\n");
        rec.Stop();
        QCOMPARE(shapeOf(readLines(path("picture.oxsrec"))),
                 QStringList({"model:33", "out:" + hex("2FAMODE\r\n"), "in:1b11", "out:pic210", "out:1b17",
                              "out:pic3", "out:1b18", "out:" + hex("0FAMODE\r\n"), "end:stopped"}));
    }

    // The cap ends the file with "size limit" within it; the recorder then stops and says so once.
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
        rec.Stop();
        QCOMPARE(stopped.count(), 1);
        const qint64 size = QFileInfo(path("cap.oxsrec")).size();
        QVERIFY(size <= 4096 && size > 3000);
        const QStringList shape = shapeOf(readLines(path("cap.oxsrec")));
        QCOMPARE(shape.last(), QStringLiteral("end:size limit"));
        QVERIFY(!shape.contains("in:" + hex("late\r\n")));
    }

    // With the writer held the queue fills: every byte is either in a data line or in the count written
    // before the next line.
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
        const QList<QJsonObject> lines = readLines(path("queue.oxsrec"));
        const qint64 recorded = joined(lines, "in").size() + joined(lines, "out").size();
        QVERIFY(recorded > 0 && recorded < total / 4);
        const QStringList shape = shapeOf(lines);
        QCOMPARE(shape.mid(shape.size() - 2),
                 QStringList({QStringLiteral("lost:%1").arg(total - recorded), "end:stopped"}));
    }

    // A recording never stopped has its lines on disk within a second (a crash loses at most that).
    void flushedWithinASecond() {
        DriverFixture f;
        LinkRecorder rec(*f.drv);
        QVERIFY(rec.Start(path("flush.oxsrec")));
        f.drv->SerialReceive("VERV7\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(joined(readLines(path("flush.oxsrec")), "in"), QByteArray("VERV7\r\n"),
                                  1000);
    }

    // On the simulator over TCP: the header names the link, the probe and its replies are recorded as
    // chunked by the link, and the model follows the reply that named it.
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

        const QList<QJsonObject> lines = readLines(path("sim.oxsrec"));
        QCOMPARE(lines.value(0).value(QLatin1String("link")).toString(),
                 QStringLiteral("TCP 127.0.0.1:%1").arg(port));
        QVERIFY(joined(lines, "out").startsWith("?"));
        const QByteArray in = joined(lines, "in");
        QVERIFY(in.size() > 200 && in.startsWith("DEV33\r\n")); // the probe's answer, then the dump
        const QStringList shape = shapeOf(lines);
        const int model = int(shape.indexOf(QStringLiteral("model:33")));
        QVERIFY(model > 0 && shape.at(model - 1).startsWith(QLatin1String("in:")));
    }
};

QTEST_GUILESS_MAIN(TestLinkRecorder)
#include "tst_link_recorder.moc"
