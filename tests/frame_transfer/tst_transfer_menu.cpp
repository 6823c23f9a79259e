// The transfer window's preview menu: how it opens, when its actions may be used, the gradient reaching
// the preview and the preview saved through the save prompt.
#include "FrameDebug.h"
#include "Gradient.h"
#include "GradientWindow.h"
#include "Prompts.h"
#include "TransferFrame.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

class TstTransferMenu : public QObject {
    Q_OBJECT
    RecordingPrompts *m_prompts = nullptr;

  private slots:
    void init() {
        m_prompts = new RecordingPrompts;
        Prompts::install(std::unique_ptr<Prompts>(m_prompts));
    }
    void cleanup() { Prompts::install(nullptr); }

    void opensFromMouseAndKeyboard();
    void enabledStates();
    void gradientReachesThePreview();
    void savesThePreview();
};

// A right click on the picture, the menu key and Shift+F10 on the scroll box open the menu; the dialog's
// hidden group stays hidden.
void TstTransferMenu::opensFromMouseAndKeyboard() {
    TFormTransferFrame window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.GrpPicture->isVisible());

    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10),
                            window.ImgDisplay->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(window.ImgDisplay, &click);
    QTRY_VERIFY(window.PreviewMenu->isVisible());
    window.PreviewMenu->hide();

    for (const auto &[key, modifiers] :
         {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        QTest::keyClick(window.ScrollBox, key, modifiers);
        QTRY_VERIFY(window.PreviewMenu->isVisible());
        window.PreviewMenu->hide();
    }
}

// Gradient whenever idle, Save only once a picture is there; neither while the picture is processed.
void TstTransferMenu::enabledStates() {
    TFormTransferFrame window;
    // The generator's initial colours are the ones `oxsctl upload --gradient` draws.
    QCOMPARE(RgbFromColorRef(window.FormGradient->StartColor()), qRgb(0, 0, 0));
    QCOMPARE(RgbFromColorRef(window.FormGradient->EndColor()), qRgb(200, 128, 200));
    window.FormGradient->RunModal = [](QDialog &) { return int(QDialog::Accepted); };
    window.ShowPreviewMenu(QPoint(0, 0));
    QVERIFY(window.ActGradient->isEnabled());
    QVERIFY(!window.ActSavePreview->isEnabled());
    window.ActSavePreview->trigger();
    QVERIFY(m_prompts->asked.isEmpty());
    window.PreviewMenu->hide();

    int busyChecks = 0;
    // The debug view learns the source's size while the picture is still being processed.
    connect(window.FormFrameDebug->GrdStatus, &QTableWidget::itemChanged, this, [&] {
        if (!window.Processing()) return;
        ++busyChecks;
        QVERIFY(!window.ActGradient->isEnabled());
        QVERIFY(!window.ActSavePreview->isEnabled());
    });
    window.ActGradient->trigger();
    QVERIFY(busyChecks > 0);
    QVERIFY(!window.Processing());
    QVERIFY(window.ActGradient->isEnabled());
    QVERIFY(window.ActSavePreview->isEnabled());
}

// The generator's colours and direction, as the hidden button would use them.
void TstTransferMenu::gradientReachesThePreview() {
    TFormTransferFrame window;
    int shown = 0;
    window.FormGradient->RunModal = [&](QDialog &) {
        ++shown;
        return int(QDialog::Accepted);
    };
    window.FormGradient->CmbDirection->setCurrentIndex(GRADIENT_VERTICAL);
    window.FormGradient->SetStartColor(ColorRefFromRgb(qRgb(0, 40, 255)));
    window.FormGradient->SetEndColor(ColorRefFromRgb(qRgb(250, 40, 0)));
    window.ActGradient->trigger();
    QCOMPARE(shown, 1);
    const QImage preview = window.ImgDisplay->pixmap().toImage();
    QCOMPARE(preview.size(), QSize(720, 576));
    QCOMPARE(preview.pixel(0, 0), qRgb(0, 40, 255));
    QCOMPARE(preview.pixel(719, 1), qRgb(0, 40, 255)); // the field's first line, twice
    QCOMPARE(preview.pixel(300, 575), window.Pictures().Source.image.pixel(300, 574));
    QVERIFY(qRed(preview.pixel(300, 575)) > 240);
    QCOMPARE(window.StatusText(), QString("Idle"));
}

// The 720 x 576 preview goes to the chosen file as a bitmap; a cancelled prompt writes nothing.
void TstTransferMenu::savesThePreview() {
    QTemporaryDir dir;
    TFormTransferFrame window;
    window.FormGradient->RunModal = [](QDialog &) { return int(QDialog::Accepted); };
    window.ActGradient->trigger();

    const QString path = dir.filePath("preview.bmp");
    m_prompts->fileNames << path;
    window.ActSavePreview->trigger();
    QCOMPARE(m_prompts->asked.size(), 1);
    QCOMPARE(m_prompts->asked.first().kind, QString("save"));
    QImage saved(path, "BMP");
    QCOMPARE(saved.size(), QSize(720, 576));
    const QImage &display = window.Pictures().Display.image;
    QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), display.convertToFormat(QImage::Format_RGB32));

    window.ActSavePreview->trigger(); // no more names: the prompt is cancelled
    QCOMPARE(m_prompts->asked.size(), 2);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"preview.bmp"});
}

QTEST_MAIN(TstTransferMenu)
#include "tst_transfer_menu.moc"
