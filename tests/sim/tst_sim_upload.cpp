// The simulator's frame memory taking an upload over a pseudo-terminal, driven by a host written out here
// byte by byte: the command phase, the raw phase with its escapes, acknowledgements and flow control, and
// every way the scaler can misbehave on request.
#include "DeviceVariables.h"
#include "ScalerSimulator.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace OxsSim;

namespace {

constexpr char kEsc = 0x1B;

QByteArray control(char code) {
    QByteArray bytes;
    bytes.append(kEsc).append(code);
    return bytes;
}

// The host's end of the simulator's pseudo-terminal.
class PtyHost {
  public:
    explicit PtyHost(const QString &path)
        : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~PtyHost() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }

    void send(const QByteArray &bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else
                QTest::qWait(1); // the line is full: let the simulator read
        }
    }
    // Waits until the received bytes contain `what`, and consumes everything up to and including it.
    bool expect(const QByteArray &what, int timeoutMs = 2000) {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            read();
            const qsizetype at = m_received.indexOf(what);
            if (at >= 0) {
                m_received.remove(0, at + what.size());
                return true;
            }
            if (clock.elapsed() > timeoutMs) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    QByteArray takeReceived(int waitMs) {
        QTest::qWait(waitMs);
        read();
        return std::exchange(m_received, QByteArray());
    }

  private:
    void read() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_received.append(buffer, int(n));
    }

    int m_fd;
    QByteArray m_received;
};

// A field whose bytes include the escape code, so that escaping is exercised on every row.
QImage testField() {
    QImage field(FrameReceiver::kWidth, FrameReceiver::kHeight, QImage::Format_RGB32);
    for (int y = 0; y < field.height(); ++y)
        for (int x = 0; x < field.width(); ++x)
            field.setPixel(x, y,
                           qRgb((x * 7 + y) & 0xFF, x % 3 == 0 ? 0x1B : (y * 5) & 0xFF, (x ^ y) & 0xFF));
    return field;
}

QByteArray encodeChunk(const QImage &field, int row, int first, int count) {
    QByteArray bytes;
    for (int x = first; x < first + count; ++x) {
        const QRgb c = field.pixel(x, row);
        for (const int v : {qRed(c), qGreen(c), qBlue(c)}) {
            if (v == kEsc) bytes += kEsc;
            bytes += char(v);
        }
    }
    return bytes + control(0x17);
}

// The command phase: the scaler confirms each variable, then offers to take data.
// A keep-alive "?" right after the last command is not taken for picture data.
bool startUpload(PtyHost &host) {
    host.send("2fM");
    if (!host.expect("FAMD2\r\n")) return false;
    host.send("0fT");
    if (!host.expect("FATM0\r\n")) return false;
    host.send("1fX");
    if (!host.expect("FAEX1\r\n")) return false;
    host.send("?");
    return host.expect(control(0x11));
}

// Sends rows [0, rows) as the protocol's chunks, each acknowledged.
bool sendRows(PtyHost &host, const QImage &field, int rows) {
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < field.width(); x += 70) {
            host.send(encodeChunk(field, y, x, std::min(70, field.width() - x)));
            if (!host.expect(control(0x06))) return false;
        }
        host.send(control(0x0D));
        if (!host.expect(control(0x06))) return false;
    }
    return true;
}

} // namespace

class TestSimUpload : public QObject {
    Q_OBJECT
  private slots:
    void wholeFieldArrivesPixelExact();
    void scalerAbortsHoldsOrFallsSilent();
    void hostAbortReturnsToText();
    void emulatedLineRate();
};

void TestSimUpload::wholeFieldArrivesPixelExact() {
    QTemporaryDir dir;
    ScalerSimulator sim(33);
    sim.setSaveFramePath(dir.filePath("field.bmp"));
    PtyHost host(sim.startPty());
    QVERIFY(host.ok());
    QVERIFY(startUpload(host));
    const QImage field = testField();
    QVERIFY(sendRows(host, field, field.height()));
    host.send(control(0x04));
    QVERIFY(host.expect(control(0x06)));
    QTRY_COMPARE(sim.uploadsStored(), 1);
    QCOMPARE(sim.storedFrame(), field);
    QCOMPARE(QImage(dir.filePath("field.bmp")).convertToFormat(QImage::Format_RGB32), field);
    QCOMPARE(sim.value(OrlanVars::VAR_FAREC), 1u);
    // Back to the text protocol.
    host.send("?");
    QVERIFY(host.expect("DEV33\r\n"));
}

void TestSimUpload::scalerAbortsHoldsOrFallsSilent() {
    const QImage field = testField();
    {
        ScalerSimulator sim(33);
        UploadSettings upload;
        upload.abortAfterChunks = 3;
        sim.setUploadSettings(upload);
        PtyHost host(sim.startPty());
        QVERIFY(startUpload(host));
        for (int x = 0; x < 140; x += 70) {
            host.send(encodeChunk(field, 0, x, 70));
            QVERIFY(host.expect(control(0x06)));
        }
        host.send(encodeChunk(field, 0, 140, 70));
        QVERIFY(host.expect(control(0x18)));
        QTRY_COMPARE(sim.uploadsAborted(), 1);
        host.send("?");
        QVERIFY(host.expect("DEV33\r\n"));
    }
    {
        ScalerSimulator sim(33);
        UploadSettings upload;
        upload.holdAfterChunks = 1;
        upload.holdMs = 300;
        sim.setUploadSettings(upload);
        PtyHost host(sim.startPty());
        QVERIFY(startUpload(host));
        host.send(encodeChunk(field, 0, 0, 70));
        QVERIFY(host.expect(control(0x06) + control(0x13)));
        QElapsedTimer held;
        held.start();
        QVERIFY(host.expect(control(0x11)));
        QVERIFY2(held.elapsed() >= 250, qPrintable(QString::number(held.elapsed())));
    }
    {
        ScalerSimulator sim(33);
        UploadSettings upload;
        upload.silentAfterChunks = 1;
        sim.setUploadSettings(upload);
        PtyHost host(sim.startPty());
        QVERIFY(startUpload(host));
        host.send(encodeChunk(field, 0, 0, 70));
        QVERIFY(host.expect(control(0x06)));
        host.send(encodeChunk(field, 0, 70, 70));
        QVERIFY(!host.takeReceived(300).contains(control(0x06)));
    }
}

void TestSimUpload::hostAbortReturnsToText() {
    ScalerSimulator sim(32);
    PtyHost host(sim.startPty());
    QVERIFY(startUpload(host));
    host.send(encodeChunk(testField(), 0, 0, 70));
    QVERIFY(host.expect(control(0x06)));
    host.send(control(0x18));
    QTRY_COMPARE(sim.uploadsAborted(), 1);
    QCOMPARE(sim.uploadsStored(), 0);
    host.send("?");
    QVERIFY(host.expect("DEV32\r\n"));
}

// At 57600 baud a row (2,160 data bytes, 25 control bytes each way) needs about 0.38 s of line time.
void TestSimUpload::emulatedLineRate() {
    ScalerSimulator sim(33);
    UploadSettings upload;
    upload.lineRateBaud = 57600;
    sim.setUploadSettings(upload);
    PtyHost host(sim.startPty());
    QVERIFY(startUpload(host));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(sendRows(host, testField(), 1));
    QVERIFY2(clock.elapsed() >= 350 && clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestSimUpload)
#include "tst_sim_upload.moc"
