// The transfer dialog in the program's window, on a serial link to the simulated scaler over a
// pseudo-terminal: loading pictures through the prompts, fitting, uploading, aborting, closing and quitting
// during an upload, the time-out's text and the saved preview. Every upload must leave the link in the text
// protocol at 9600 baud.
#include "ComPort.h"
#include "FrameDebug.h"
#include "FrameFormat.h"
#include "ScalerSimulator.h"
#include "ThreadFrame.h"
#include "TransferFrame.h"
#include "ui/WindowFixture.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThreadPool>
#include <QTimer>

#include <functional>

namespace {

// Runs the event loop until `done` holds, looking every 5 ms (the upload's acknowledgements go through it).
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 15000) {
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

QImage pattern(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x & 0xFF, (y * 3) & 0xFF, x % 5 == 0 ? 0x1B : (x ^ y) & 0xFF));
    return picture;
}

// A BMP file made byte by byte: any depth, palette and claimed size.
QByteArray bmp(int width, int height, int bits, const QList<QRgb> &palette, const QByteArray &pixels) {
    const int headers = 14 + 40 + 4 * int(palette.size());
    QByteArray out;
    auto u16 = [&out](int v) { out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto u32 = [&u16](qint64 v) { u16(int(v & 0xFFFF)), u16(int((v >> 16) & 0xFFFF)); };
    out.append("BM");
    u32(headers + pixels.size());
    u32(0);
    u32(headers);
    u32(40);
    u32(width);
    u32(height);
    u16(1);
    u16(bits);
    u32(0);
    u32(pixels.size());
    u32(2835);
    u32(2835);
    u32(palette.size());
    u32(0);
    for (QRgb c : palette)
        out.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append(char(0));
    return out + pixels;
}

} // namespace

// The window on COM1, a pseudo-terminal served by the simulator.
struct SerialWindow {
    WindowFixture w;
    OxsSim::ScalerSimulator sim{33};

    bool start() {
        const QString pty = sim.startPty();
        if (pty.isEmpty()) return false;
        qputenv("OXS_COM1", pty.toLocal8Bit());
        w.write(QStringLiteral("OXS remote control.ini"), "[CONNEXION]\r\nPort=0\r\nIP_ENABLE=0\r\n");
        w.form = std::make_unique<TForm_OXS>(w.dir->path());
        w.form->Orlan_d->SetLinkPacing(TLinkPacing::Fast());
        w.form->InitMainWindow();
        dialog().FrameTiming = TFrameTiming{1500, 50, 5, {}};
        return QTest::qWaitFor([this] { return driver().Ready(); }, 8000);
    }
    TOrlan_d &driver() { return w.driver(); }
    TFormTransferFrame &dialog() { return *w.form->FormTransferFrame; }
    RecordingPrompts &prompts() { return *w.prompts; }
    bool backToText() {
        return driver().ConMode() == MODE_VAR && driver().ComPort().Baud() == 9600 && !driver().ForceConn();
    }
    // A picture as the dialog would hold it after a load, fitted as it is.
    void useField(const QImage &field) {
        dialog().Pictures().Source.image = field.scaled(720, 576);
        dialog().ProcessPicture(1);
    }
    void slowLine() {
        OxsSim::UploadSettings upload;
        upload.lineRateBaud = 57600;
        sim.setUploadSettings(upload);
    }
};

class TstTransferFrame : public QObject {
    Q_OBJECT
  private slots:
    // Qt's own thread pool (image conversion and scaling) hands its jobs' data between its threads in code
    // ThreadSanitizer cannot see; with one pool thread there is no such hand-over to misread.
    void initTestCase() { QThreadPool::globalInstance()->setMaxThreadCount(1); }
    void loadFitAndUpload();
    void downloadWithoutPictureAsksFirst();
    void abortNeedsConfirmation();
    void abortDuringCommandPhase();
    void timeoutSaysTheScalerStoppedAnswering();
    void quitOrDestroyDuringUpload();
    void badPictureFiles_data();
    void badPictureFiles();
    void savePreview();
};

// The whole road: the Frame Alert button hides the window and shows the dialog; a 640 x 480 BMP chosen in
// the file dialog is centred, uploaded pixel for pixel, and the window comes back when the dialog closes.
void TstTransferFrame::loadFitAndUpload() {
    SerialWindow s;
    QVERIFY(s.start());
    TForm_OXS &form = *s.w.form;
    TFormTransferFrame &dialog = s.dialog();
    const QString file = s.w.path("picture.bmp");
    QVERIFY(pattern(640, 480).save(file, "BMP"));
    s.prompts().fileNames << file;
    dialog.FormFrameFormat->RunModal = [](QDialog &) { return int(QDialog::Accepted); }; // first: center

    QStringList seen;
    form.show();
    form.RunModal = [&](QDialog &shown) {
        QCOMPARE(&shown, static_cast<QDialog *>(&dialog));
        QVERIFY(!form.isVisible());
        shown.show();
        dialog.BtnLoad->click();
        QCOMPARE(dialog.FileName(), file);
        const QImage &display = dialog.Pictures().Display.image;
        QCOMPARE(display.pixel(39, 100), qRgb(0, 0, 0));
        QCOMPARE(display.pixel(40, 48), pattern(640, 480).pixel(0, 0));
        QCOMPARE(dialog.FormFrameDebug->Value(TFormFrameDebug::RowWidth), QString("640 pixels"));

        dialog.BtnDownload->click();
        seen << dialog.StatusText() << dialog.BtnAbortClose->text();
        QVERIFY(!dialog.BtnLoad->isEnabled() && !dialog.BtnDownload->isEnabled());
        QCOMPARE(dialog.ProgressBar->maximum(), 720 * 288);
        QVERIFY(waitUntil([&] { return dialog.ProgressBar->value() > 0; }));
        QVERIFY(waitUntil([&] { return !dialog.TransferActive(); }, 60000));
        seen << dialog.StatusText() << dialog.BtnAbortClose->text();
        QVERIFY(!dialog.Worker());
        QVERIFY(dialog.BtnLoad->isEnabled());
        dialog.BtnAbortClose->click(); // "Close"
        QVERIFY(!dialog.isVisible());
    };
    form.BtnTransferFrame->click();
    QVERIFY(form.isVisible());
    QCOMPARE(seen, QStringList({"Transferring frame...", "Abort", "Command successfull.", "Close"}));
    QTRY_COMPARE(s.sim.uploadsStored(), 1);
    QCOMPARE(s.sim.storedFrame(), dialog.Pictures().Field.image);
    QVERIFY(s.backToText());
    QTRY_VERIFY_WITH_TIMEOUT(s.driver().Connected(), 6000);
}

// No picture yet: the file dialog comes first, and cancelling it starts nothing. A transfer mode other
// than "RAW" is refused.
void TstTransferFrame::downloadWithoutPictureAsksFirst() {
    SerialWindow s;
    QVERIFY(s.start());
    TFormTransferFrame &dialog = s.dialog();
    dialog.BtnDownloadClick();
    QCOMPARE(s.prompts().asked.size(), 1);
    QCOMPARE(s.prompts().asked[0].kind, QString("open"));
    QVERIFY(!dialog.Worker() && !dialog.TransferActive());

    s.useField(pattern(720, 288));
    dialog.CmbTransferMode->setCurrentIndex(2);
    dialog.BtnDownloadClick();
    QCOMPARE(s.prompts().messages(), QStringList{"Bad transfer mode !"});
    QVERIFY(!dialog.Worker());
}

// Closing during an upload asks; No keeps both the upload and the window; Yes aborts and closes, and the
// timer still takes the end over.
void TstTransferFrame::abortNeedsConfirmation() {
    SerialWindow s;
    s.slowLine();
    QVERIFY(s.start());
    TFormTransferFrame &dialog = s.dialog();
    dialog.show();
    s.useField(pattern(720, 288));
    dialog.BtnDownloadClick();
    QVERIFY(waitUntil([&] { return dialog.Worker() && dialog.Worker()->PixelsSent() >= 70; }));

    s.prompts().answers << Prompts::Answer::No;
    dialog.close();
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.TransferActive());
    QCOMPARE(s.prompts().asked.last().text, QString("Transfer is still active.\r\nDo you want to abort ?"));

    s.prompts().answers << Prompts::Answer::Yes;
    dialog.close();
    QVERIFY(!dialog.isVisible());
    QVERIFY(waitUntil([&] { return !dialog.Worker(); }));
    QCOMPARE(dialog.StatusText(), QString("Transfer aborted by user."));
    QVERIFY(dialog.BtnAbortClose->isEnabled());
    QVERIFY(s.backToText());
    QTRY_COMPARE(s.sim.uploadsAborted(), 1);
    QCOMPARE(s.sim.uploadsStored(), 0);
}

// "Abort" before the scaler has confirmed the command phase: the button stays disabled until the worker is
// back in the text protocol.
void TstTransferFrame::abortDuringCommandPhase() {
    SerialWindow s;
    QVERIFY(s.start());
    TFormTransferFrame &dialog = s.dialog();
    s.useField(pattern(720, 288));
    OxsSim::FaultSettings silent;
    silent.silent = true;
    s.sim.setFaults(silent);
    dialog.BtnDownloadClick();
    QVERIFY(waitUntil([&] { return dialog.Worker()->UploadState() == 2; }));
    dialog.BtnAbortClose->click();
    QVERIFY(!dialog.BtnAbortClose->isEnabled());
    QVERIFY(waitUntil([&] { return !dialog.Worker(); }));
    QCOMPARE(dialog.StatusText(), QString("Transfer aborted by user."));
    QVERIFY(dialog.BtnAbortClose->isEnabled());
    QCOMPARE(dialog.BtnAbortClose->text(), QString("Close"));
    QVERIFY(s.backToText());
}

// A scaler that stops acknowledging ends the upload by time-out; the operator is told so, not that he
// aborted it.
void TstTransferFrame::timeoutSaysTheScalerStoppedAnswering() {
    SerialWindow s;
    OxsSim::UploadSettings upload;
    upload.silentAfterChunks = 2;
    s.sim.setUploadSettings(upload);
    QVERIFY(s.start());
    TFormTransferFrame &dialog = s.dialog();
    dialog.FrameTiming.waitLimitMs = 300;
    s.useField(pattern(720, 288));
    dialog.BtnDownloadClick();
    QVERIFY(waitUntil([&] { return !dialog.Worker(); }));
    QCOMPARE(dialog.StatusText(), TransferResultText(TRANSFER_TIMEOUT));
    QVERIFY(dialog.StatusText() != QString("Transfer aborted by user."));
    QVERIFY(s.backToText());
}

// The program ends (its window closes) or the dialog is destroyed during an upload: ESC CAN goes out, the
// link returns to the text protocol, and the window that was hidden for the dialog stays hidden.
void TstTransferFrame::quitOrDestroyDuringUpload() {
    {
        SerialWindow s;
        s.slowLine();
        QVERIFY(s.start());
        TForm_OXS &form = *s.w.form;
        TFormTransferFrame &dialog = s.dialog();
        s.useField(pattern(720, 288));
        bool back = false;
        form.show();
        form.RunModal = [&](QDialog &shown) {
            shown.show();
            dialog.BtnDownloadClick();
            QVERIFY(waitUntil([&] { return dialog.Worker()->PixelsSent() >= 70; }));
            form.close();
            back = s.backToText();
            QVERIFY(!dialog.isVisible() && !dialog.Worker());
        };
        form.BtnTransferFrame->click();
        QVERIFY(back);
        QVERIFY(!form.isVisible());
        QTRY_COMPARE(s.sim.uploadsAborted(), 1);
    }
    {
        SerialWindow s;
        s.slowLine();
        QVERIFY(s.start());
        s.useField(pattern(720, 288));
        s.dialog().BtnDownloadClick();
        QVERIFY(waitUntil([&] { return s.dialog().Worker()->PixelsSent() >= 70; }));
        s.w.form.reset(); // destroys the dialog, then the driver
        QTRY_COMPARE(s.sim.uploadsAborted(), 1);
        QCOMPARE(s.sim.uploadsStored(), 0);
    }
}

void TstTransferFrame::badPictureFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QSize>("size");  // empty: refused with a message
    QTest::addColumn<QRgb>("corner"); // the picture's top left pixel (the last row in the file)
    const QList<QRgb> two = {qRgb(10, 20, 30), qRgb(200, 100, 50)};
    QTest::newRow("1-bit palette") << bmp(8, 2, 1, two, QByteArray("\x80\0\0\0\x7f\0\0\0", 8)) << QSize(8, 2)
                                   << qRgb(10, 20, 30);
    QTest::newRow("4-bit palette") << bmp(2, 1, 4, two, QByteArray("\x10\0\0\0", 4)) << QSize(2, 1)
                                   << qRgb(200, 100, 50);
    QTest::newRow("16-bit") << bmp(2, 1, 16, {}, QByteArray("\x1f\x00\xe0\x03", 4)) << QSize(2, 1)
                            << qRgb(0, 0, 248);
    QTest::newRow("zero-sized file") << QByteArray() << QSize() << QRgb(0);
    QTest::newRow("truncated") << bmp(100, 100, 24, {}, QByteArray(30000, 'x')).left(2000) << QSize()
                               << QRgb(0);
    QTest::newRow("no pixels") << bmp(0, 0, 24, {}, {}) << QSize() << QRgb(0);
    QTest::newRow("not a bitmap") << QByteArray("GIF89a and more bytes than a header needs....") << QSize()
                                  << QRgb(0);
}

// Whatever the file holds, the window loads it or says why; a refused file leaves the picture, the preview
// and the link as they were. A file that vanishes after it was chosen, and a picture larger than the
// program takes, are refused likewise.
void TstTransferFrame::badPictureFiles() {
    QFETCH(QByteArray, content);
    QFETCH(QSize, size);
    QFETCH(QRgb, corner);
    SerialWindow s;
    QVERIFY(s.start());
    TFormTransferFrame &dialog = s.dialog();
    dialog.FormFrameFormat->RunModal = [](QDialog &) { return int(QDialog::Accepted); };
    s.useField(pattern(720, 288));
    const QImage before = dialog.Pictures().Display.image;

    s.w.write("file.bmp", content);
    s.prompts().fileNames << s.w.path("file.bmp");
    dialog.BtnLoadClick();
    if (size.isValid()) {
        QCOMPARE(s.prompts().messages(), QStringList());
        QCOMPARE(dialog.Pictures().Source.image.size(), size);
        QCOMPARE(dialog.Pictures().Working.image.pixel((720 - size.width()) / 2, (576 - size.height()) / 2),
                 corner);
    } else {
        QCOMPARE(s.prompts().messages().size(), 1);
        QVERIFY(s.prompts().messages()[0].startsWith("The picture cannot be loaded."));
        QCOMPARE(dialog.Pictures().Display.image, before);
    }

    // Gone between the choice and the load.
    s.prompts().asked.clear();
    s.prompts().fileNames << s.w.path("vanished.bmp");
    dialog.BtnLoadClick();
    QCOMPARE(s.prompts().messages().size(), 1);
    QVERIFY(s.prompts().messages()[0].contains("vanished.bmp"));

    // 20000 x 20000 pixels, all of them there (a sparse file).
    if (QTest::currentDataTag() == QByteArray("1-bit palette")) {
        s.prompts().asked.clear();
        QFile huge(s.w.path("huge.bmp"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        huge.write(bmp(20000, 20000, 24, {}, {}));
        QVERIFY(huge.resize(54 + qint64(20000) * 60000));
        huge.close();
        s.prompts().fileNames << huge.fileName();
        dialog.BtnLoadClick();
        QCOMPARE(s.prompts().messages().size(), 1);
    }
    QVERIFY(s.backToText() && s.driver().Connected());
}

// The preview is saved as shown, lines doubled; a save that fails says so and keeps the older file.
void TstTransferFrame::savePreview() {
    SerialWindow s;
    QVERIFY(s.start());
    TFormTransferFrame &dialog = s.dialog();
    s.useField(pattern(720, 288));
    const QString file = s.w.path("preview.bmp");
    s.prompts().fileNames << file;
    dialog.BtnSaveClick();
    const QImage saved(file);
    QCOMPARE(saved.size(), QSize(720, 576));
    QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), dialog.Pictures().Display.image);
    QCOMPARE(saved.pixel(7, 10), saved.pixel(7, 11));

    s.prompts().fileNames << s.w.path("no/such/folder/preview.bmp");
    dialog.BtnSaveClick();
    QCOMPARE(s.prompts().messages().size(), 1);
    QVERIFY(s.prompts().messages()[0].startsWith("The picture cannot be saved"));
}

QTEST_MAIN(TstTransferFrame)
#include "tst_transfer_frame.moc"
