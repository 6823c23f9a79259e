// The upload worker against the scaler simulator over a pseudo-terminal: what goes on the wire, call by call,
// how every way the scaler can misbehave ends, and that the link always returns to the text protocol.
// The worker's waits are shortened; small pictures keep each upload short.
#include "ComPort.h"
#include "Orlan_d.h"
#include "ScalerSimulator.h"
#include "SerialLink.h"
#include "ThreadFrameRaw.h"
#include "driver/FakeLink.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace FrameWire;

namespace {

QByteArray control(char code) {
    return QByteArray(1, kEsc) + code;
}

// The serial link, recording every write the driver makes.
class TapLink : public TSerialLink {
  public:
    TapLink(TComPort &port, QByteArrayList &log, QList<qint64> &times, QElapsedTimer &clock)
        : TSerialLink(port), m_log(log), m_times(times), m_clock(clock) {}
    bool Send(const QByteArray &data) override {
        m_log << data;
        m_times << m_clock.elapsed();
        return TSerialLink::Send(data);
    }

  private:
    QByteArrayList &m_log;
    QList<qint64> &m_times;
    QElapsedTimer &m_clock;
};

// Bytes 0x1B in every row, so escaping is on every chunk.
QImage testPicture(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y,
                             qRgb((x * 7 + y) & 0xFF, x % 3 == 0 ? 0x1B : (y * 5) & 0xFF, (x ^ y) & 0xFF));
    return picture;
}

// Runs the event loop until `done` holds (QTest::qWaitFor sleeps between its looks, which would slow every
// acknowledgement down).
bool waitUntil(const std::function<bool()> &done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs) loop.quit();
    });
    look.start(5);
    if (!done()) loop.exec();
    return done();
}

// A driver on the simulator's pseudo-terminal, a picture and one worker.
struct Rig {
    OxsSim::ScalerSimulator sim{33};
    TOrlan_d drv;
    QByteArrayList sent; // every SendText, "?" probes left out by commands()
    QList<qint64> sentAt;
    QElapsedTimer clock;
    TPicture picture;
    std::unique_ptr<TThreadFrameRaw> worker;
    TFrameTiming timing{1500, 50, 5, {}};

    bool connect() {
        clock.start();
        const QString pty = sim.startPty();
        drv.SetLinkPacing(TLinkPacing::Fast());
        drv.ReplaceLink(CON_RS232, std::make_unique<TapLink>(drv.ComPort(), sent, sentAt, clock));
        drv.SetPort(pty);
        return !pty.isEmpty() && QTest::qWaitFor([&] { return drv.Connected(); }, 5000);
    }
    void start(const QImage &image) {
        picture.image = image;
        sent.clear();
        sentAt.clear();
        worker = std::make_unique<TThreadFrameRaw>();
        worker->SetTiming(timing);
        worker->Prepare(&picture, &drv);
        worker->Reset();
        worker->Resume();
        worker->Start();
    }
    // Waits for the end as the transfer window does: not running, a result, then the thread.
    int finish(int timeoutMs = 15000) {
        if (!waitUntil([&] { return !worker->IsRunning() && worker->TransferResult() != 0; }, timeoutMs))
            return -1;
        return worker->WaitFor(2000) ? worker->TransferResult() : -2;
    }
    // The writes without the link's identity queries.
    QByteArrayList commands() const {
        QByteArrayList out;
        for (const QByteArray &s : sent)
            if (s != "?" && s != "#\r\n") out << s;
        return out;
    }
    int count(const QByteArray &what) const { return int(commands().count(what)); }
    bool backToText() {
        return drv.ConMode() == MODE_VAR && drv.ComPort().Baud() == kTextBaud && !drv.ForceConn();
    }
};

QByteArray escaped(const QImage &picture, int row, int first, int count) {
    QByteArray bytes;
    for (int x = first; x < first + count; ++x) {
        const QRgb c = picture.pixel(x, row);
        for (const int v : {qRed(c), qGreen(c), qBlue(c)})
            bytes += v == 0x1B ? QByteArray("\x1b\x1b") : QByteArray(1, char(v));
    }
    return bytes;
}

} // namespace

class TstUploadWorker : public QObject {
    Q_OBJECT
  private slots:
    void replyDecoder();
    void wholeFieldPixelExact();
    void offerBehindTheExecuteReply();
    void scalerAbortEndsAtOnce();
    void holdAndItsTimeout();
    void silentScalerTimesOut();
    void commandPhaseTimeoutCancels();
    void lostReplyLeavesNoScalerStuck_data();
    void lostReplyLeavesNoScalerStuck();
    void userAbortBeforeRawPhase();
    void scalerVanishes();
    void quitDuringUpload();
    void unreadablePixelGoesOutBlack();
};

// The decoder runs on the user-interface thread; no thread is needed to watch it.
void TstUploadWorker::replyDecoder() {
    TOrlan_d drv;
    drv.SetLinkTimerEnabled(false);
    TThreadFrameRaw worker;
    worker.Prepare(nullptr, &drv);
    drv.SetConMode(MODE_RAW);
    const auto isSet = [&](TThreadFrame::TEventId id) { return worker.Event(id).IsSet(); };

    drv.SerialReceive("\x11\x06 junk\x1b\x1b\x06\x1b");
    drv.SerialReceive(QByteArray("\0", 1)); // ESC NUL, split over two deliveries
    QVERIFY(!isSet(TThreadFrame::EventOXSReady) && !isSet(TThreadFrame::EventACKReceived));
    QVERIFY(!isSet(TThreadFrame::EventAbort) && !isSet(TThreadFrame::EventEscaped));
    drv.SerialReceive("\x1b\x11\x1b");
    QVERIFY(isSet(TThreadFrame::EventOXSReady) && isSet(TThreadFrame::EventEscaped));
    drv.SerialReceive("\x06\x1b\x13");
    QVERIFY(isSet(TThreadFrame::EventACKReceived) && !isSet(TThreadFrame::EventOXSReady));
    drv.SerialReceive("\x1b\x04");
    QVERIFY(isSet(TThreadFrame::EventTerminateSend) && !isSet(TThreadFrame::EventAbort));
    for (const char code : {char(0x18), 'A'}) {
        worker.Reset();
        QVERIFY(worker.Event(TThreadFrame::EventReset).IsSet() && !isSet(TThreadFrame::EventACKReceived));
        drv.SerialReceive(control(code));
        QVERIFY(isSet(TThreadFrame::EventAbort));
        const_cast<TNamedEvent &>(worker.Event(TThreadFrame::EventAbort)).Reset();
    }
    // In the text protocol the driver hands nothing to the decoder.
    drv.SetConMode(MODE_VAR);
    drv.SerialReceive(control(kDc1));
    QVERIFY(!isSet(TThreadFrame::EventOXSReady));
}

void TstUploadWorker::wholeFieldPixelExact() {
    QTemporaryDir dir;
    Rig rig;
    rig.sim.setSaveFramePath(dir.filePath("field.bmp"));
    QVERIFY(rig.connect());
    int reconnects = 0;
    rig.drv.OnConnected = [&](TOrlan_d *d, int32_t) { reconnects += d->Connected(); };
    const QImage field = testPicture(720, 288);
    rig.start(field);
    QCOMPARE(rig.finish(), int(TRANSFER_DONE));
    QCOMPARE(rig.worker->PixelsSent(), 720 * 288);
    QTRY_COMPARE(rig.sim.uploadsStored(), 1);
    QCOMPARE(rig.sim.storedFrame(), field);
    QCOMPARE(QImage(dir.filePath("field.bmp")).convertToFormat(QImage::Format_RGB32), field);

    // The command phase, then row 0: ten chunks of 70 pixels and one of 20, each closed by ESC ETB in a call
    // of its own, then ESC CR.
    const QByteArrayList calls = rig.commands();
    QCOMPARE(calls.mid(0, 3), QByteArrayList({"2fM", "0fT", "1fX"}));
    for (int chunk = 0; chunk < 11; ++chunk) {
        QCOMPARE(calls[3 + 2 * chunk], escaped(field, 0, 70 * chunk, chunk < 10 ? 70 : 20));
        QCOMPARE(calls[4 + 2 * chunk], control(kEtb));
    }
    QCOMPARE(calls[25], control(kCr));
    QCOMPARE(calls.last(), control(kEot));
    QCOMPARE(rig.count(control(kEtb)), 3168);
    QCOMPARE(rig.count(control(kCr)), 288);
    QCOMPARE(rig.count(control(kCan)), 0);
    QVERIFY(rig.backToText());
    // The driver finds the scaler again in the text protocol.
    QTRY_VERIFY_WITH_TIMEOUT(reconnects > 0 && rig.drv.Connected(), 5000);
    QCOMPARE(rig.drv.DEV(), 33u);
}

// The scaler offers to take data right behind its reply to the execute command, before the driver has left
// the text protocol, and only once: that offer is enough for the first chunk.
void TstUploadWorker::offerBehindTheExecuteReply() {
    FakeLink::State serial;
    TOrlan_d drv;
    drv.SetLinkTimerEnabled(false);
    drv.ReplaceLink(CON_RS232, std::make_unique<FakeLink>(serial));
    drv.StepLink();
    drv.SerialReceive("DEV33\r\n");
    drv.StepLink();
    QVERIFY(drv.Connected());
    TPicture picture;
    picture.image = testPicture(3, 1);
    TThreadFrameRaw worker;
    worker.SetTiming(TFrameTiming{1500, 50, 5, {}});
    worker.Prepare(&picture, &drv);
    worker.Reset();
    worker.Resume();
    worker.Start();
    const auto answer = [&](const QByteArray &command, const QByteArray &reply) {
        if (!waitUntil([&] { return serial.sent.contains(command); }, 3000)) return false;
        drv.SerialReceive(reply);
        return true;
    };
    QVERIFY(answer("2fM", "FAMD2\r\n"));
    QVERIFY(answer("0fT", "FATM0\r\n"));
    QVERIFY(answer("1fX", "FAEX1\r\n" + control(kDc1)));
    QVERIFY(waitUntil([&] { return serial.sent.contains(control(kEtb)); }, 1000));
    QCOMPARE(serial.sent[serial.sent.indexOf(control(kEtb)) - 1], escaped(picture.image, 0, 0, 3));
    QVERIFY(!serial.sent.contains(control(kCan)));
}

void TstUploadWorker::scalerAbortEndsAtOnce() {
    Rig rig;
    OxsSim::UploadSettings upload;
    upload.abortAfterChunks = 3;
    rig.sim.setUploadSettings(upload);
    QVERIFY(rig.connect());
    rig.start(testPicture(720, 2));
    QCOMPARE(rig.finish(), int(TRANSFER_SCALER_ABORT));
    QTest::qWait(100);
    // Nothing follows the third chunk.
    const QByteArrayList calls = rig.commands();
    QCOMPARE(calls.last(), control(kEtb));
    QCOMPARE(rig.count(control(kEtb)), 3);
    QCOMPARE(rig.sim.uploadsAborted(), 1);
    QVERIFY(rig.backToText());
}

void TstUploadWorker::holdAndItsTimeout() {
    {
        Rig rig;
        OxsSim::UploadSettings upload;
        upload.holdAfterChunks = 2;
        upload.holdMs = 300;
        rig.sim.setUploadSettings(upload);
        QVERIFY(rig.connect());
        rig.start(testPicture(280, 1));
        QCOMPARE(rig.finish(), int(TRANSFER_DONE));
        // The chunks after the second wait for the scaler's ESC DC1.
        const qsizetype secondEnd = rig.sent.indexOf(control(kEtb), rig.sent.indexOf(control(kEtb)) + 1);
        const qsizetype lastChunk = rig.sent.lastIndexOf(control(kEtb)) - 1;
        QVERIFY2(rig.sentAt[lastChunk] - rig.sentAt[secondEnd] >= 250,
                 qPrintable(QString::number(rig.sentAt[lastChunk] - rig.sentAt[secondEnd])));
    }
    {
        Rig rig;
        rig.timing.waitLimitMs = 300;
        OxsSim::UploadSettings upload;
        upload.holdAfterChunks = 1;
        upload.holdMs = 5000;
        rig.sim.setUploadSettings(upload);
        QVERIFY(rig.connect());
        rig.start(testPicture(720, 1));
        QCOMPARE(rig.finish(), int(TRANSFER_TIMEOUT));
        QCOMPARE(rig.commands().last(), control(kCan));
        QVERIFY(rig.backToText());
        QTRY_COMPARE(rig.sim.uploadsAborted(), 1);
    }
}

// Time-outs are measured on a 32-bit tick that wraps during the upload.
void TstUploadWorker::silentScalerTimesOut() {
    Rig rig;
    QElapsedTimer ticks;
    ticks.start();
    rig.timing.tickCount = [&ticks] { return uint32_t(0xFFFFFFFFu - 100u + uint32_t(ticks.elapsed())); };
    rig.timing.waitLimitMs = 400;
    OxsSim::UploadSettings upload;
    upload.silentAfterChunks = 1;
    rig.sim.setUploadSettings(upload);
    QVERIFY(rig.connect());
    rig.start(testPicture(720, 1));
    QCOMPARE(rig.finish(), int(TRANSFER_TIMEOUT));
    QCOMPARE(rig.count(control(kEtb)), 2);
    QCOMPARE(rig.commands().last(), control(kCan));
    const qint64 waited = rig.sentAt.last() - rig.sentAt[rig.sent.lastIndexOf(control(kEtb))];
    QVERIFY2(waited >= 390 && waited < 1400, qPrintable(QString::number(waited)));
    QVERIFY(rig.backToText());
    QTRY_COMPARE(rig.sim.uploadsAborted(), 1);
}

// A command phase that fails ends the scaler's raw receive with ESC CAN before anything else goes out and
// never writes the execute command again.
void TstUploadWorker::commandPhaseTimeoutCancels() {
    Rig rig;
    rig.timing.waitLimitMs = 300;
    QVERIFY(rig.connect());
    OxsSim::FaultSettings silent;
    silent.silent = true;
    rig.sim.setFaults(silent);
    rig.start(testPicture(720, 1));
    QCOMPARE(rig.finish(), int(TRANSFER_TIMEOUT));
    QCOMPARE(rig.commands(), QByteArrayList({"2fM", control(kCan), "0fT", "2fM"}));
    QVERIFY(rig.backToText());
}

void TstUploadWorker::lostReplyLeavesNoScalerStuck_data() {
    QTest::addColumn<QString>("lost");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::newRow("frame mode") << "fM" << QByteArrayList({"2fM", control(kCan), "0fT", "2fM"});
    QTest::newRow("execute") << "fX" << QByteArrayList({"2fM", "0fT", "1fX", control(kCan), "0fT", "2fM"});
}

// The scaler applies the command but its reply is lost; once in raw receive it takes everything as picture
// data until ESC CAN. After the failed upload the driver finds the scaler again on the same line.
void TstUploadWorker::lostReplyLeavesNoScalerStuck() {
    QFETCH(QString, lost);
    QFETCH(QByteArrayList, commands);
    Rig rig;
    rig.timing.waitLimitMs = 600;
    OxsSim::FaultSettings faults;
    faults.loseReplyCommands = QStringList{lost};
    faults.rawUntilCan = true;
    rig.sim.setFaults(faults);
    QVERIFY(rig.connect());
    QTRY_VERIFY(rig.drv.Ready()); // a later query-all dump would report the lost value after all
    rig.start(testPicture(720, 1));
    QCOMPARE(rig.finish(), int(TRANSFER_TIMEOUT));
    QCOMPARE(rig.commands(), commands);
    QCOMPARE(rig.count("1fX"), lost == "fX" ? 1 : 0);
    QVERIFY(rig.backToText());
    // The scaler takes text again: an identity query sent after the upload is answered (a keep-alive that
    // went into the raw receive may have cost the link meanwhile), and a setting is confirmed.
    rig.sent.clear();
    bool answered = false;
    rig.drv.OnDEVchange = [&](TOrlan_d *d, int32_t) {
        answered = answered || (d->DEV() == 33 && rig.sent.contains("?"));
    };
    QVERIFY(waitUntil([&] { return answered && rig.drv.Connected(); }, 8000));
    rig.drv.SetHPOS(55);
    QTRY_COMPARE_WITH_TIMEOUT(rig.drv.HPOS(), 55u, 3000);
    QCOMPARE(rig.sim.uploadsStored(), 0);
}

void TstUploadWorker::userAbortBeforeRawPhase() {
    Rig rig;
    QVERIFY(rig.connect());
    OxsSim::FaultSettings silent;
    silent.silent = true;
    rig.sim.setFaults(silent);
    rig.start(testPicture(720, 1));
    QTRY_COMPARE(rig.worker->UploadState(), 2);
    QElapsedTimer aborted;
    aborted.start();
    rig.worker->UserAbort();
    QCOMPARE(rig.finish(), int(TRANSFER_USER_ABORT));
    // ESC CAN goes out in the text protocol at its speed; the pause still comes before the return.
    QVERIFY(aborted.elapsed() >= rig.timing.pauseMs);
    QCOMPARE(rig.commands(), QByteArrayList({"2fM", control(kCan)}));
    QVERIFY(rig.backToText());

    // Aborted before it was started: it still counts as running until the return phase no longer needs
    // the user-interface thread, so the owner's wait for the thread cannot block it.
    rig.worker = std::make_unique<TThreadFrameRaw>();
    rig.worker->SetTiming(rig.timing);
    rig.worker->Prepare(&rig.picture, &rig.drv);
    rig.worker->Reset();
    rig.worker->Resume();
    rig.sent.clear();
    rig.worker->UserAbort();
    QCOMPARE(rig.finish(), int(TRANSFER_USER_ABORT));
    QCOMPARE(rig.commands(), QByteArrayList{control(kCan)});
}

void TstUploadWorker::scalerVanishes() {
    Rig rig;
    rig.timing.waitLimitMs = 300;
    OxsSim::UploadSettings upload;
    upload.lineRateBaud = 57600;
    rig.sim.setUploadSettings(upload);
    QVERIFY(rig.connect());
    rig.start(testPicture(720, 8));
    QTRY_VERIFY(rig.worker->PixelsSent() >= 70);
    rig.sim.stop();
    QCOMPARE(rig.finish(), int(TRANSFER_TIMEOUT));
    QVERIFY(rig.backToText());
}

// Freeing the worker mid-upload (the window or oxsctl quitting) aborts it as the user would, cleanly, before
// it goes; an idle worker just stops.
void TstUploadWorker::quitDuringUpload() {
    Rig rig;
    OxsSim::UploadSettings upload;
    upload.lineRateBaud = 57600;
    rig.sim.setUploadSettings(upload);
    QVERIFY(rig.connect());
    rig.start(testPicture(720, 8));
    QTRY_VERIFY(rig.worker->PixelsSent() >= 70);
    rig.worker.reset();
    QCOMPARE(rig.commands().last(), control(kCan));
    QVERIFY(rig.backToText());
    QVERIFY(!rig.drv.OnRecData); // the decoder left the driver
    QTRY_COMPARE(rig.sim.uploadsAborted(), 1);

    rig.sent.clear();
    TThreadFrameRaw idle;
    idle.Prepare(&rig.picture, &rig.drv);
    idle.Reset();
    idle.Resume();
    QElapsedTimer clock;
    clock.start();
    idle.AbortAndWait();
    QVERIFY(idle.isFinished());
    QVERIFY(clock.elapsed() < 500);
    QVERIFY(rig.commands().isEmpty());
}

void TstUploadWorker::unreadablePixelGoesOutBlack() {
    Rig rig;
    QVERIFY(rig.connect());
    QImage picture(3, 1, QImage::Format_Indexed8);
    picture.setColorTable({qRgb(200, 10, 27)});
    picture.fill(0);
    picture.scanLine(0)[1] = 5; // no colour 5 in the table
    rig.start(picture);
    QStringList shown;
    rig.worker->OnPictureError = [&](const QString &text) { shown << text; };
    QCOMPARE(rig.finish(), int(TRANSFER_DONE));
    QCOMPARE(shown, QStringList{"1 0"});
    QTRY_COMPARE(rig.sim.uploadsStored(), 1);
    QCOMPARE(rig.sim.storedFrame().pixel(0, 0), qRgb(200, 10, 27));
    QCOMPARE(rig.sim.storedFrame().pixel(1, 0), qRgb(0, 0, 0));
    QCOMPARE(rig.sim.storedFrame().pixel(2, 0), qRgb(200, 10, 27));
}

QTEST_GUILESS_MAIN(TstUploadWorker)
#include "tst_upload_worker.moc"
