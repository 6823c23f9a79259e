// The frame transfer's companion windows on their own: the fit choice, the gradient generator and the
// frame debug view, and the transfer dialog's states without a scaler.
#include "FrameDebug.h"
#include "FrameFormat.h"
#include "GradientWindow.h"
#include "Prompts.h"
#include "TransferFrame.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

namespace {
QRgb rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}
} // namespace

class TstFrameWindows : public QObject {
    Q_OBJECT
    RecordingPrompts *m_prompts = nullptr;

  private slots:
    void init() {
        m_prompts = new RecordingPrompts;
        Prompts::install(std::unique_ptr<Prompts>(m_prompts));
    }
    void cleanup() { Prompts::install(nullptr); }

    void fitChoice_data();
    void fitChoice();
    void gradientColours();
    void gradientIntoTheTransferWindow();
    void debugViewAndSpeed();
    void transferWindowStates();
};

void TstFrameWindows::fitChoice_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("answer"); // 0 cancel, 1 first, 2 second
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("question");
    QTest::addColumn<int>("mode");
    QTest::newRow("exact") << 720 << 576 << 2 << false << "" << 1;
    QTest::newRow("one side too large, crop") << 721 << 100 << 1 << true << "too large" << 3;
    QTest::newRow("too large, shrink") << 1024 << 768 << 2 << true << "too large" << 2;
    QTest::newRow("too large, cancelled") << 800 << 600 << 0 << true << "too large" << 0;
    QTest::newRow("one pixel narrow, center") << 719 << 576 << 1 << true << "too small" << 4;
    QTest::newRow("too small, zoom") << 640 << 480 << 2 << true << "too small" << 5;
}

// Each showing starts on the first choice, whatever was chosen the time before.
void TstFrameWindows::fitChoice() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(QString, question);
    QFETCH(int, mode);
    TFormFrameFormat window;
    window.RdoFormat2->setChecked(true);
    bool shown = false;
    window.RunModal = [&](QDialog &) {
        shown = true;
        [&] {
            QVERIFY(window.RdoFormat1->isChecked());
            QVERIFY(window.LblFormat->text().contains(question));
            const QString first = question == "too large" ? "Crop" : "Center";
            QVERIFY(window.ChoiceText(1).startsWith(first));
        }();
        if (answer == 2) window.RdoFormat2->click();
        return answer == 0 ? int(QDialog::Rejected) : int(QDialog::Accepted);
    };
    QCOMPARE(int(window.ChooseFitMode(width, height)), mode);
    QCOMPARE(shown, asked);
    QCOMPARE(window.windowTitle(), QString("Resizing..."));
}

void TstFrameWindows::gradientColours() {
    TFormGradient window;
    QCOMPARE(window.StartColor(), 0u);
    QCOMPARE(window.EndColor(), TColorRef(200 | 128 << 8 | 200 << 16));
    QCOMPARE(window.PnlEnd->palette().color(QPalette::Window), QColor(200, 128, 200));
    QCOMPARE(window.CmbDirection->currentText(), QString("Horizontal"));

    // A click on a panel opens the chooser; the chosen colour fills the panel, a cancel keeps it.
    window.show();
    m_prompts->colors << 0x102030u;
    QTest::mouseClick(window.PnlStart, Qt::LeftButton);
    QCOMPARE(window.StartColor(), TColorRef(0x10 | 0x20 << 8 | 0x30 << 16));
    QCOMPARE(window.PnlStart->palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
    QTest::mouseClick(window.PnlEnd, Qt::LeftButton); // cancelled
    QCOMPARE(window.EndColor(), TColorRef(200 | 128 << 8 | 200 << 16));
    QCOMPARE(m_prompts->asked.size(), 2);
    QCOMPARE(m_prompts->asked[1].kind, QString("color"));

    window.RunModal = [](QDialog &) { return int(QDialog::Rejected); };
    QVERIFY(!window.Execute());
}

void TstFrameWindows::gradientIntoTheTransferWindow() {
    TFormTransferFrame transfer;
    transfer.FormGradient->RunModal = [](QDialog &) { return int(QDialog::Accepted); };
    transfer.BtnGradientClick();
    const QImage &source = transfer.Pictures().Source.image;
    QCOMPARE(source.size(), QSize(720, 576));
    QCOMPARE(source.pixel(0, 100), rgb(0, 0, 0));
    QCOMPARE(source.pixel(360, 100), rgb(100, 64, 100));
    QCOMPARE(source.pixel(719, 100), rgb(200, 128, 200));
    QCOMPARE(transfer.Pictures().Field.image.pixel(360, 0), rgb(100, 64, 100));
    QCOMPARE(transfer.FormFrameDebug->Value(TFormFrameDebug::RowWidth), QString("720 pixels"));
    QCOMPARE(transfer.FormFrameDebug->Value(TFormFrameDebug::RowHeight), QString("576 lines"));
    QCOMPARE(transfer.StatusText(), QString("Idle"));

    // Vertical, start and end equal: one colour everywhere; cancelling changes nothing.
    transfer.FormGradient->CmbDirection->setCurrentIndex(1);
    transfer.FormGradient->SetStartColor(0x123456);
    transfer.FormGradient->SetEndColor(0x123456);
    transfer.BtnGradientClick();
    const QImage uniform = transfer.Pictures().Display.image;
    QCOMPARE(uniform.pixel(0, 0), uniform.pixel(719, 575));
    QCOMPARE(uniform.pixel(5, 300), rgb(0x56, 0x34, 0x12));
    transfer.FormGradient->RunModal = [](QDialog &) { return int(QDialog::Rejected); };
    transfer.FormGradient->SetStartColor(0);
    transfer.BtnGradientClick();
    QCOMPARE(transfer.Pictures().Display.image, uniform);
}

void TstFrameWindows::debugViewAndSpeed() {
    QCOMPARE(TFormTransferFrame::TransferSpeed(100000, 50000), 6000);
    QCOMPARE(TFormTransferFrame::TransferSpeed(5, 0), 0);
    QCOMPARE(TFormTransferFrame::TransferSpeed(1, 2), 1500);
    QCOMPARE(TFormTransferFrame::TransferSpeed(207360, 1000), 622080 & 0xFFFF); // kept to 16 bits

    TFormFrameDebug view;
    QCOMPARE(view.windowTitle(), QString("Frame Debug"));
    QCOMPARE(view.Label(TFormFrameDebug::RowProgress), QString("Progress"));
    view.SetProgress(70, 207360);
    view.SetSpeed(6000);
    view.SetElapsed(3723000);
    QCOMPARE(view.Value(TFormFrameDebug::RowProgress), QString("70/207360 pixels"));
    QCOMPARE(view.Value(TFormFrameDebug::RowSpeed), QString("6000 Bytes/s"));
    QVERIFY2(view.Value(TFormFrameDebug::RowElapsed).contains("1:02:03"),
             qPrintable(view.Value(TFormFrameDebug::RowElapsed)));
    view.show();
    const QRect screen = view.screen()->geometry();
    QCOMPARE(view.frameGeometry().right(), screen.right());
    QCOMPARE(view.frameGeometry().top(), screen.top());
}

// Without a driver nothing starts; the window asks before loading when it has no picture.
void TstFrameWindows::transferWindowStates() {
    TFormTransferFrame transfer;
    transfer.GrpPicture->show();
    transfer.show();
    QVERIFY(!transfer.GrpPicture->isVisible());
    QVERIFY(!transfer.GrpTransferMode->isVisible());
    QVERIFY(!transfer.BtnUpload->isVisible());
    QCOMPARE(transfer.StatusText(), QString("Idle"));
    QCOMPARE(transfer.BtnAbortClose->text(), QString("Close"));
    QVERIFY(transfer.BtnDownload->isEnabled());
    QCOMPARE(transfer.CmbTransferMode->currentText(), QString("RAW"));
    QVERIFY(transfer.size().width() <= 730 && transfer.size().height() <= 729);

    transfer.BtnDownloadClick();
    QCOMPARE(m_prompts->messages(), QStringList{"Device NOT connected"});
    QVERIFY(!transfer.Worker());

    transfer.BtnAbortCloseClick();
    QVERIFY(!transfer.isVisible());
}

QTEST_MAIN(TstFrameWindows)
#include "tst_frame_windows.moc"
