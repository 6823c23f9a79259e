#include "ComPort.h"
#include "FrmInput.h"
#include "Models.h"
#include "StatusTexts.h"
#include "WindowFixture.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QToolButton>
#include <QToolTip>

#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace StatusTexts;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<PseudoSerialPorts> m_ports;
    std::optional<WindowFixture> w;

    static const QByteArray kConnectionDefaults;

    // The rightmost column of `area` in `picture` with a dark (text) pixel, or -1.
    static int rightmostInk(const QImage &picture, const QRect &area) {
        for (int x = area.right(); x >= area.left(); --x)
            for (int y = area.top(); y <= area.bottom(); ++y)
                if (qGray(picture.pixel(x, y)) < 128 || picture.pixelColor(x, y) == QColor(Qt::red)) return x;
        return -1;
    }

  private slots:
    void initTestCase() { m_ports = std::make_unique<PseudoSerialPorts>(std::initializer_list<int>{1, 12}); }
    void init() { w.emplace(); }
    void cleanup() { w.reset(); }

    void firstStartInEmptyFolder() {
        w->start();
        QCOMPARE(w->prompts->messages(), QStringList{"Select port"});
        QCOMPARE(w->form->TickedSerialEntry(), 1);
        QCOMPARE(w->driver().Port(), QString("\\\\.\\COM1"));
        QCOMPARE(w->driver().ConType(), CON_RS232);
        QCOMPARE(w->form->StatusPanelText(1), QString("Port : COM1"));
        QCOMPARE(w->form->windowTitle(), QString("OXS remote control"));
        QCOMPARE(w->form->MenuAboutMachine->text(), QString("About OXS remote control..."));
        // Nothing answers yet.
        QCOMPARE(w->form->StatusPanelText(0), QString("Device NOT connected"));
        for (int row = 0; row < 17; ++row)
            QCOMPARE(w->form->StatusCell(row), QString("..."));
        QCOMPARE(w->form->StatusCell(17), QString());
        for (QToolButton *b : w->form->InputButtons())
            QVERIFY(!b->isEnabled());
        QCOMPARE(w->form->CboFrameNumber->count(), 10);
        QCOMPARE(w->form->CboFrameNumber->currentText(), QString("Frame 1"));
        QCOMPARE(w->form->RdoOutputSync->button(0)->text(), QString("H && V"));
        QVERIFY(w->form->Timer1->isActive());
        QCOMPARE(w->form->Timer1->interval(), 700);
        QCOMPARE(w->form->UpdaterCountdown(), 14);

        w->form->close();
        QCOMPARE(w->read("OXS remote control.ini"), kConnectionDefaults);
        // Input names are only written for a known model.
        QCOMPARE(QDir(w->dir->path()).entryList(QDir::Files), QStringList{"OXS remote control.ini"});
    }

    void networkLinkFromSettings_data() {
        QTest::addColumn<int>("ipEnable");
        QTest::addColumn<QString>("panel");
        QTest::newRow("UDP") << 1 << "UDP (127.0.0.1:10999)";
        QTest::newRow("TCP") << 2 << "TCP (127.0.0.1:10999)";
    }
    void networkLinkFromSettings() {
        QFETCH(int, ipEnable);
        QFETCH(QString, panel);
        w->write("OXS remote control.ini", QStringLiteral("[CONNEXION]\r\nPort=5\r\nREMOTE_IP=127.0.0.1\r\n"
                                                          "REMOTE_PORT_ENTRY=10999\r\nLOCAL_PORT_ENTRY=0\r\n"
                                                          "IP_ENABLE=%1\r\n")
                                               .arg(ipEnable)
                                               .toLatin1());
        w->start();
        QVERIFY(w->prompts->asked.isEmpty());
        QCOMPARE(int(w->driver().ConType()), ipEnable);
        QCOMPARE(w->form->TickedSerialEntry(), 17);
        QVERIFY(w->form->MenuMIPConfig->isChecked());
        QVERIFY(!w->form->COM6->isChecked());
        QCOMPARE(w->form->StatusPanelText(1), panel);
        w->form->close();
        QCOMPARE(w->read("OXS remote control.ini"),
                 QStringLiteral("[CONNEXION]\r\nPort=0\r\nREMOTE_IP=127.0.0.1\r\nREMOTE_PORT_ENTRY=10999\r\n"
                                "LOCAL_PORT_ENTRY=0\r\nIP_ENABLE=%1\r\n")
                     .arg(ipEnable)
                     .toLatin1());
    }

    void serialPortChoice() {
        w->write("OXS remote control.ini", kConnectionDefaults);
        w->start();
        w->form->COM12->trigger();
        QCOMPARE(w->driver().Port(), QString("\\\\.\\COM12"));
        QCOMPARE(w->form->StatusPanelText(1), QString("Port : COM12"));
        QCOMPARE(w->form->TickedSerialEntry(), 12);
        QVERIFY(!w->form->COM1->isChecked());
        // A port that cannot be opened: still ticked, no message, nothing after "Port :".
        w->form->COM3->trigger();
        QCOMPARE(w->form->TickedSerialEntry(), 3);
        QCOMPARE(w->form->StatusPanelText(1), QString("Port : "));
        QVERIFY(w->prompts->asked.isEmpty());
        // "LAN/Setup" selects nothing until the operator applies network settings.
        w->form->RunModal = [](QDialog &dialog) { dialog.reject(); };
        w->form->MenuMIPConfig->trigger();
        QCOMPARE(w->form->TickedSerialEntry(), 3);
        QCOMPARE(w->driver().ConType(), CON_RS232);
        w->form->close();
        QVERIFY(w->read("OXS remote control.ini").startsWith("[CONNEXION]\r\nPort=2\r\n"));
    }

    // Serial devices by name: listed as the menu opens, opened by their stable name, kept in a file of the
    // program's own while the design's Port key stays a COM number; one that is gone says so.
    void serialDevicesByName() {
        char name[256] = {};
        int master = -1, slave = -1;
        QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
        const QString pty = QString::fromLocal8Bit(name);
        const QString gone = w->path("unplugged-adapter");
        w->write("unplugged-adapter", "");
        qputenv("OXS_SERIAL_DEVICES", (pty + ':' + gone).toLocal8Bit());
        w->write("OXS remote control.ini", kConnectionDefaults);
        w->start();
        emit w->form->MenuSerialPort->aboutToShow();
        const QList<QAction *> entries = w->form->SerialDeviceEntries();
        QCOMPARE(entries.size() >= 2, true);
        QAction *ptyEntry = nullptr, *goneEntry = nullptr;
        for (QAction *e : entries) {
            if (e->data().toString() == pty) ptyEntry = e;
            if (e->data().toString() == gone) goneEntry = e;
        }
        QVERIFY(ptyEntry && goneEntry);
        const QList<QAction *> menu = w->form->MenuSerialPort->actions();
        QVERIFY(menu.indexOf(ptyEntry) > menu.indexOf(w->form->COM16));
        QVERIFY(menu.indexOf(ptyEntry) < menu.indexOf(w->form->MenuMIPConfig));

        ptyEntry->trigger();
        QVERIFY(w->prompts->asked.isEmpty());
        QCOMPARE(w->driver().Port(), pty);
        QVERIFY(w->driver().ComPort().Opened());
        QVERIFY(ptyEntry->isChecked());
        QCOMPARE(w->form->TickedSerialEntry(), 0);
        QCOMPARE(w->form->StatusPanelText(1), "Port : " + QFileInfo(pty).fileName());
        w->form->close();
        QVERIFY(w->read("OXS remote control.ini").startsWith("[CONNEXION]\r\nPort=0\r\n"));
        QCOMPARE(w->read("Serial device.ini"), "[Serial]\r\nDevice=" + pty.toLocal8Bit() + "\r\n");

        // The next start opens the device again; the unplugged one says why it cannot.
        w->form.reset();
        w->start();
        QCOMPARE(w->driver().Port(), pty);
        QVERIFY(w->driver().ComPort().Opened());
        emit w->form->MenuSerialPort->aboutToShow();
        QVERIFY(w->form->SerialDeviceEntries().size() >= 2);
        for (QAction *e : w->form->SerialDeviceEntries())
            if (e->data().toString() == pty) QVERIFY(e->isChecked());
        QFile::remove(gone);
        for (QAction *e : w->form->SerialDeviceEntries())
            if (e->data().toString() == gone) e->trigger();
        QCOMPARE(w->prompts->asked.size(), 1);
        QVERIFY(w->prompts->asked[0].text.contains("gone: it is no longer connected"));
        // Back to a COM entry: the device file forgets the device.
        w->form->COM12->trigger();
        w->form->close();
        QCOMPARE(w->read("Serial device.ini"), QByteArray("[Serial]\r\nDevice=\r\n"));
        qunsetenv("OXS_SERIAL_DEVICES");
        ::close(master);
        ::close(slave);
    }

    void unopenablePortWhenLeavingNetworkLinkIsReported() {
        w->write("OXS remote control.ini",
                 "[CONNEXION]\r\nPort=11\r\nREMOTE_IP=127.0.0.1\r\nIP_ENABLE=2\r\n");
        w->start();
        QCOMPARE(w->driver().ConType(), CON_TCP);
        w->form->COM5->trigger();
        QCOMPARE(w->prompts->asked.size(), 1);
        QCOMPARE(w->prompts->asked[0].icon, Prompts::Icon::Error);
        QVERIFY(w->prompts->asked[0].text.contains("COM5"));
        QCOMPARE(w->form->TickedSerialEntry(), 5);
        QCOMPARE(w->driver().ConType(), CON_RS232);
    }

    void badConnectionFilesStartSafely_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("ticked");
        QTest::newRow("empty") << QByteArray() << 1 << 1;
        QTest::newRow("binary") << QByteArray("\x00\xff[\x01=\n=]", 9) << 1 << 1;
        QTest::newRow("Port 99") << QByteArray("[CONNEXION]\nPort=99\n") << 0 << 1;
        QTest::newRow("Port -3") << QByteArray("[CONNEXION]\nPort=-3\n") << 0 << 1;
        QTest::newRow("IP_ENABLE 7") << QByteArray("[CONNEXION]\nPort=11\nIP_ENABLE=7\n") << 0 << 12;
    }
    void badConnectionFilesStartSafely() {
        QFETCH(QByteArray, content);
        QFETCH(int, messages);
        QFETCH(int, ticked);
        w->write("OXS remote control.ini", content);
        w->start();
        QCOMPARE(w->prompts->asked.size(), messages);
        QCOMPARE(w->form->TickedSerialEntry(), ticked);
        QCOMPARE(w->driver().ConType(), CON_RS232);
    }

    void settingsFolderThatCannotBeWritten() {
        w->dir->remove(); // the folder is gone: nothing can be saved, nothing fails
        w->start();
        w->feed("DEV33\r\n");
        w->form->close();
        QVERIFY(!QFile::exists(w->connectionFile()));
    }

    void renaming() {
        w->start();
        w->prompts->asked.clear();
        w->feed("DEV33\r\n");
        const QString tooLong(18, u'A');
        const QString longest = QStringLiteral("Camera-Left-Front"); // 17 characters
        w->prompts->inputs = {tooLong, longest};
        w->form->MenuInput2->trigger();
        QCOMPARE(w->prompts->asked.size(), 2);
        QCOMPARE(w->prompts->asked[0].text, QString("Enter a new label (17 characters maximum)"));
        QCOMPARE(w->form->MenuInput2->text(), longest);
        // Too wide for its button and label: shown elided, whole in the tooltip, whole everywhere else.
        QCOMPARE(w->form->InputName(2), longest);
        QVERIFY(w->form->BtnInput2->text().endsWith(u'…'));
        QVERIFY(longest.startsWith(w->form->BtnInput2->text().chopped(1)));
        QVERIFY(w->form->BtnInput2->toolTip().startsWith(longest + "\n"));
        QVERIFY(w->form->BtnInput2->toolTip().endsWith("CVBS"));
        QCOMPARE(w->form->FrameInput2->Lbl->text(), longest); // the row has room for it
        QCOMPARE(w->form->SourceName(2), longest);
        QVERIFY(w->read("Orlan Plus.ini").contains("\r\nInput2=Camera-Left-Front\r\n"));
        QVERIFY(!QFile::exists(w->path("Orlan.ini")));

        // The pop-up of the input buttons renames the button the mouse was released over.
        w->form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w->form.get()));
        QTest::mouseRelease(w->form->BtnInput4, Qt::RightButton);
        QTRY_VERIFY(w->form->PopMenuRename->isVisible());
        w->form->PopMenuRename->hide();
        w->prompts->inputs = {QStringLiteral("Laptop")};
        w->form->MenuItemRename->trigger();
        QCOMPARE(w->form->BtnInput4->text(), QString("Laptop"));

        // Audio names go to the audio buttons; cancelling keeps the name.
        w->prompts->inputs = {QStringLiteral("Mic")};
        w->form->MenuAudio1->trigger();
        QCOMPARE(w->form->RdoACHANM1->text(), QString("Mic"));
        w->form->MenuAudio1->trigger();
        QCOMPARE(w->form->RdoACHANM1->text(), QString("Mic"));

        // Default names for every input; the Black caption is not a default name.
        w->form->MenuCustomizeDefault->trigger();
        QCOMPARE(w->form->BtnInput2->text(), QString("Input 2"));
        QCOMPARE(w->form->RdoACHANM1->text(), QString("Audio 1"));
        QVERIFY(w->read("Orlan Plus.ini").contains("\r\nInput4=Input 4\r\n"));
    }

    void overlongNameFromFileCanBeLeft() {
        const QByteArray name(40, 'x');
        w->write("Orlan C.ini", "[Orlan C]\r\nBlack=Noir\r\nInput1=" + name + "\r\nInput2=\r\n");
        w->start();
        w->prompts->asked.clear();
        w->feed("DEV40\r\n");
        QCOMPARE(w->form->InputName(1), QString(name));
        QCOMPARE(w->form->BtnInput2->text(), QString());
        QCOMPARE(w->form->BtnInput2->toolTip(), QString("Computer"));
        QVERIFY(w->form->FrameInput1->Lbl->text().endsWith(u'…'));
        QCOMPARE(w->form->FrameInput1->Lbl->toolTip(), QString(name));
        QCOMPARE(w->form->BtnBlack->text(), QString("Noir"));
        w->form->MenuInput1->trigger(); // cancelled at once
        QCOMPARE(w->prompts->asked.size(), 1);
        QCOMPARE(w->read("Orlan C.ini"), "[Orlan C]\r\nBlack=Noir\r\nInput1=" + name +
                                             "\r\nAudio1=Audio 1\r\nInput2=\r\nAudio2=Audio 2\r\n");
    }

    void renamingWithoutModelWritesNoFile() {
        w->start();
        w->prompts->inputs = {QStringLiteral("Studio")};
        w->form->MenuInput5->trigger();
        QCOMPARE(w->form->BtnInput5->text(), QString("Studio"));
        w->form->MenuCustomizeDefault->trigger();
        QCOMPARE(w->form->BtnInput5->text(), QString("Input 5"));
        QCOMPARE(QDir(w->dir->path()).entryList(QDir::Files), QStringList());
    }

    void modelChangeReadsOnlyThatModelsNames() {
        w->write("Orlan.ini", "[ORLAN]\r\ninput3=PC\r\n");
        w->start();
        w->feed("DEV33\r\n");
        const QByteArray plus = w->read("Orlan Plus.ini");
        const QDateTime plusTime = QFileInfo(w->path("Orlan Plus.ini")).lastModified();
        w->feed("DEV32\r\n");
        QCOMPARE(w->form->BtnInput3->text(), QString("PC"));
        QCOMPARE(w->form->BtnInput1->text(), QString("Input 1"));
        QCOMPARE(w->read("Orlan.ini"),
                 QByteArray("[Orlan]\r\nBlack=Black\r\nInput1=Input 1\r\nAudio1=Audio 1\r\n"
                            "Input2=Input 2\r\nAudio2=Audio 2\r\nInput3=PC\r\nAudio3=Audio 3\r\n"));
        QCOMPARE(w->read("Orlan Plus.ini"), plus);
        QCOMPARE(QFileInfo(w->path("Orlan Plus.ini")).lastModified(), plusTime);
    }

    void reshapingForModels() {
        w->start();
        QCOMPARE(w->form->LastConfiguredModel(), 0);
        const auto buttons = w->form->InputButtons();
        const auto rows = w->form->FrameInputs();

        w->feed("DEV33\r\n");
        QCOMPARE(w->form->windowTitle(), QString("Orlan Plus remote control"));
        for (int i = 0; i < 5; ++i) {
            QVERIFY(buttons[i]->isEnabled());
            QVERIFY(!buttons[i]->isHidden());
            QVERIFY(!rows[i]->isHidden());
            QCOMPARE(buttons[i]->x(), 96 * i);
            QCOMPARE(buttons[i]->width(), 92);
        }
        QCOMPARE(buttons[2]->toolTip(), QString("YUV / RGB"));
        QCOMPARE(w->form->PnlInputs->height(), 225);
        QVERIFY(w->form->MenuMachineLANSetup->isVisible());
        QVERIFY(!w->form->RdoOutputType->isHidden());
        QCOMPARE(w->form->CboOutputRate->count(), 5);
        QCOMPARE(w->form->CboOutputFormat->count(), 10);
        QCOMPARE(rows[2]->CboSignalType->count(), 4);
        QVERIFY(rows[2]->CboStandard->isHidden());
        QCOMPARE(rows[2]->CboStandard->count(), 0);
        QCOMPARE(rows[3]->CboSignalType->itemText(1), QString("SDTV Y/C"));
        QCOMPARE(rows[3]->CboStandard->count(), 5);
        QVERIFY(rows[0]->CboSignalType->isHidden());
        QVERIFY(rows[4]->ChkVCR->isHidden());

        w->feed("DEV40\r\n");
        QCOMPARE(w->form->windowTitle(), QString("Orlan C remote control"));
        QCOMPARE(buttons[0]->x(), 0);
        QCOMPARE(buttons[1]->x(), 240);
        QCOMPARE(buttons[1]->width(), 236);
        for (int i = 2; i < 5; ++i) {
            QVERIFY(buttons[i]->isHidden());
            QVERIFY(rows[i]->isHidden());
            QVERIFY(w->form->AudioButtons()[i]->isHidden());
            QVERIFY(!w->form->InputNameItems()[i]->isVisible());
            QVERIFY(!w->form->AudioNameItems()[i]->isVisible());
        }
        QCOMPARE(rows[0]->CboSignalType->count(), 6);
        QVERIFY(rows[1]->CboStandard->isHidden());
        QCOMPARE(w->form->PnlInputs->height(), 106);
        QVERIFY(!w->form->MenuMachineLANSetup->isVisible());
        QVERIFY(w->form->RdoOutputType->isHidden());
        QCOMPARE(w->form->CboOutputRate->count(), 3);

        // Link lost: buttons disabled, title back, lists kept.
        w->feed("DEV0\r\n");
        QCOMPARE(w->form->windowTitle(), QString("OXS remote control"));
        QVERIFY(!buttons[0]->isEnabled());
        QCOMPARE(rows[0]->CboSignalType->count(), 6);
        QCOMPARE(w->form->LastConfiguredModel(), 0);
    }

    void selectedInputIsMarked() {
        w->start();
        w->feed("DEV32\r\nCH2\r\n");
        QVERIFY(w->form->BtnInput2->isChecked());
        QVERIFY(w->form->BtnInput2->font().bold());
        QVERIFY(!w->form->BtnInput1->font().bold());
        QCOMPARE(w->form->BtnInput2->icon().pixmap(11).toImage(), w->form->LedPicture(1).toImage());
        w->feed("CH9\r\n"); // no such input: nothing marked, nothing fails
        QVERIFY(!w->form->BtnInput2->font().bold());
        QCOMPARE(w->form->StatusCell(RowInput), QString());
    }

    void statusGridWorkedCases() {
        w->start();
        w->feed("DEV33\r\nCH2\r\nIPS1\r\nIOO0\r\nIFA3\r\nUNIT2700\r\nILD1728\r\nIFD312\r\nIIN1\r\n");
        QCOMPARE(w->form->StatusCell(RowInput), QString("Input 2"));
        QCOMPARE(w->form->StatusCell(RowFormat), QString("PAL std(4,43/50)"));
        QCOMPARE(w->form->StatusCell(RowLineFreq), QString("15 kHz i"));
        QCOMPARE(w->form->StatusCell(RowFrameFreq), QString("50 Hz"));

        w->feed("IIN0\r\nIFD260\r\n");
        QCOMPARE(w->form->StatusCell(RowFrameFreq), QString("60 Hz"));
        QCOMPARE(w->form->StatusCell(RowLineFreq), QString("15 kHz "));

        w->feed("ILD0\r\n");
        QCOMPARE(w->form->StatusCell(RowLineFreq), QString("15 kHz "));
        QCOMPARE(w->form->StatusCell(RowFrameFreq), QString("Not measured"));
        w->feed("ILD1728\r\nIFD0\r\n");
        QCOMPARE(w->form->StatusCell(RowFrameFreq), QString("Not measured"));

        // Rate error on a video input: rows 8 and 12 red and bold.
        w->feed("REFR1\r\nREFA0\r\n");
        QCOMPARE(w->form->RowFlag(RowSource), -1);
        QCOMPARE(w->form->RowFlag(RowOutputFrameFreq), -1);
        QCOMPARE(w->form->StatusCell(RowSource), QString("No input signal"));
        QCOMPARE(w->form->StatusCell(RowRate), QString("Rate error"));
        QCOMPARE(w->form->StatusCell(RowOutputFrameFreq), QString("No signal at Input 2"));
        QVERIFY(!w->form->RefreqM_Label_no_signal_Main_refreq->isHidden());
        QCOMPARE(w->form->RefreqM_Label_no_signal_Main_refreq->text(), QString("No signal at Input 2"));
        QCOMPARE(w->form->CboOutputRate->currentText(), QString("Follow Input"));
        const QImage cells = w->form->GrdStatus->grab().toImage();
        const QRect source = w->form->GrdStatus->visualRect(w->form->GrdStatus->model()->index(RowSource, 1));
        bool red = false;
        for (int x = source.left(); x < source.right() && !red; ++x)
            for (int y = source.top(); y < source.bottom() && !red; ++y)
                red = cells.pixelColor(x + w->form->GrdStatus->frameWidth(),
                                       y + w->form->GrdStatus->frameWidth()) == QColor(Qt::red);
        QVERIFY2(red, "the highlighted cell is drawn in red");

        w->feed("REFR0\r\n");
        QCOMPARE(w->form->RowFlag(RowSource), 0);
        QVERIFY(w->form->RefreqM_Label_no_signal_Main_refreq->isHidden());

        // A computer input with a signal.
        w->feed("PCH5\r\nPRGB7\r\nIST1\r\nCH5\r\n");
        QCOMPARE(w->form->StatusCell(RowSource), QString("Loopthrough"));
        QCOMPARE(w->form->StatusCell(RowRate), QString("Loopthrough"));
        QCOMPARE(w->form->StatusCell(RowOutputFormat), QString("Loopthrough"));
        QCOMPARE(w->form->StatusCell(RowOutputSync), w->form->StatusCell(RowSync));
        QCOMPARE(w->form->StatusCell(RowSync), QString("TTL Composite"));
        QVERIFY(w->form->GrpOutput->isHidden());
        QVERIFY(!w->form->LblOutputNotAvailableComputerInput->isHidden());
        QVERIFY(w->form->GrpSizePos->isHidden());
        QVERIFY(!w->form->LblImageNotAvailableComputerInput->isHidden());
        // Centred on its page as the operator sees it.
        w->form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w->form.get()));
        for (QWidget *label : {static_cast<QWidget *>(w->form->LblImageNotAvailableComputerInput),
                               static_cast<QWidget *>(w->form->LblOutputNotAvailableComputerInput)}) {
            w->form->PageControl->setCurrentWidget(label->parentWidget());
            QVERIFY(label->isVisible());
            const QSize page = label->parentWidget()->size();
            QVERIFY(page.width() > 500 && page.width() < 593);
            QVERIFY(qAbs(label->geometry().center().x() - page.width() / 2) <= 1);
            QVERIFY(qAbs(label->geometry().center().y() - page.height() / 2) <= 1);
            QVERIFY(label->width() < page.width());
        }
    }

    void frameMemoryRowsAndRecording() {
        w->start();
        w->feed("DEV40\r\nFARC1\r\nFAST0\r\n");
        QCOMPARE(w->form->StatusCell(RowRecorded), QString("Yes"));
        QCOMPARE(w->form->StatusCell(RowDisplayed), QString("No"));
        w->feed("FAMD1\r\nFAEX1\r\n");
        QVERIFY(!w->form->LblWaitRecordingFrame->isHidden());
        QVERIFY(!w->form->GrpFrameMemory->isEnabled());
        QVERIFY(!w->form->BtnTransferFrame->isEnabled());
        w->feed("FAEX0\r\n");
        QVERIFY(w->form->LblWaitRecordingFrame->isHidden());
        QVERIFY(w->form->BtnDeleteFrame->isEnabled());
    }

    void imagePageFollowsSignalFamily() {
        w->start();
        w->feed("DEV33\r\nCH1\r\nIFA5\r\n");
        QVERIFY(!w->form->GrpPicture->isHidden());
        QVERIFY(w->form->FrameScrollColor->isHidden());
        QVERIFY(w->form->FrameScrollHue->isHidden());
        w->feed("IFA2\r\n");
        QVERIFY(!w->form->FrameScrollColor->isHidden());
        QVERIFY(!w->form->FrameScrollHue->isHidden());
        w->feed("IFA0\r\n");
        QVERIFY(w->form->GrpSizePos->isHidden());
        QVERIFY(!w->form->LblImageNoInputSignal->isHidden());
        w->feed("IFA11\r\n"); // computer format: unchanged
        QVERIFY(w->form->GrpSizePos->isHidden());
    }

    void outputRateSelection() {
        w->start();
        w->feed("DEV33\r\nREFR0\r\nORTM3\r\n");
        QCOMPARE(w->form->CboOutputRate->currentText(), QString("75 Hz"));
        w->feed("DEV32\r\nORTM3\r\n"); // three entries: selection cleared
        QCOMPARE(w->form->CboOutputRate->currentIndex(), -1);
        w->feed("ORTM1\r\nORTM2\r\n"); // the place of "Follow Input", with the lock off: nothing
        QCOMPARE(w->form->CboOutputRate->currentIndex(), -1);
        w->feed("ORTM1\r\nORTM9\r\n"); // beyond the list: nothing either
        QCOMPARE(w->form->CboOutputRate->currentIndex(), -1);
        w->feed("REFR1\r\nORTM0\r\n");
        QCOMPARE(w->form->CboOutputRate->currentText(), QString("Follow Input"));
    }

    // A dark desktop with light tooltips: the status bar's text follows the window's text colour, the grid's
    // text the tooltip's, as the grid has the tooltip's background.
    void followsADarkPalette() {
        const QPalette before = QApplication::palette();
        QPalette dark(QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
        dark.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
        dark.setColor(QPalette::ToolTipText, QColor(0x10, 0x10, 0x10));
        QApplication::setPalette(dark);
        w->start();
        QCOMPARE(w->form->BlinkPhase(), false);
        QCOMPARE(w->form->StatusPanelColor(0), QColor(0xf0, 0xf0, 0xf0)); // "Device NOT connected", blink off
        w->feed("DEV33\r\nCH1\r\n");
        QImage cell(160, 16, QImage::Format_RGB32);
        {
            QPainter p(&cell);
            w->form->GrdStatusDrawCell(p, RowInput, 1, cell.rect());
        }
        int textPixels = 0;
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                textPixels += qGray(cell.pixel(x, y)) < 80;
        QApplication::setPalette(before);
        QVERIFY(textPixels > 0); // dark text on the light cell, not the window's light text
    }

    void statusBar() {
        w->start();
        QCOMPARE(w->form->BlinkPhase(), false);
        const QColor text = w->form->StatusBar->palette().color(QPalette::WindowText);
        QCOMPARE(w->form->StatusPanelColor(0), text);
        QVERIFY(w->form->StatusPanelFont(0).bold());
        w->form->Timer1Timer();
        QCOMPARE(w->form->StatusPanelColor(0), QColor(Qt::red));
        w->form->Timer1Timer();
        QCOMPARE(w->form->StatusPanelColor(0), text);

        w->feed("DEV33\r\n");
        QCOMPARE(w->form->StatusPanelText(0), QString("Device connected"));
        w->form->Timer1Timer();
        QCOMPARE(w->form->StatusPanelColor(0), w->form->StatusBar->palette().color(QPalette::WindowText));

        QCOMPARE(w->form->StatusPanelText(2), QString());
        w->feed("STO1\r\n");
        QCOMPARE(w->form->StatusPanelText(2), QString("Storing settings, please do not switch power off..."));
        QVERIFY(w->form->StatusPanelFont(2).italic() && w->form->StatusPanelFont(2).bold());
        w->feed("STO0\r\n");
        QCOMPARE(w->form->StatusPanelText(2), QString());

        // Freeze and Black blink while active; the LED pictures 2 and 3 swap on every tick.
        const QImage off = w->form->LedPicture(0).toImage();
        w->feed("FRZ1\r\n");
        w->form->Timer1Timer();
        const QImage first = w->form->BtnFreeze->icon().pixmap(11).toImage();
        w->form->Timer1Timer();
        const QImage second = w->form->BtnFreeze->icon().pixmap(11).toImage();
        QVERIFY(first != second);
        QVERIFY(first == off || second == off);
        QCOMPARE(w->form->BtnBlack->icon().pixmap(11).toImage(), off);
    }

    // A settings file that cannot be replaced (here a folder in its place) is not lost silently: the status
    // bar names it and standard error says so once per file, however often the window saves.
    void unsavedSettingsAreReported() {
        QVERIFY(QDir().mkdir(w->connectionFile()));
        QVERIFY(QDir().mkdir(w->path("Orlan Plus.ini")));
        QTemporaryFile errors;
        QVERIFY(errors.open());
        const int savedStderr = ::dup(2);
        ::dup2(errors.handle(), 2);
        w->start();
        w->form->SaveConnectionSettings();
        const QString connectionNotice = w->form->StatusPanelText(2);
        w->feed("DEV33\r\n");
        w->form->SaveConnectionSettings();
        w->form->SaveInputNames(33);
        std::fflush(stderr);
        ::dup2(savedStderr, 2);
        ::close(savedStderr);

        QCOMPARE(connectionNotice, "Settings not saved: cannot write " + w->connectionFile());
        QCOMPARE(w->form->StatusPanelText(2),
                 "Settings not saved: cannot write " + w->path("Orlan Plus.ini"));
        errors.seek(0); // the redirected writes moved the shared offset
        const QByteArray said = errors.readAll();
        QCOMPARE(said.count("cannot write"), 2);
        QCOMPARE(said.count(QFile::encodeName(w->connectionFile())), 1);
        // The scaler's own storing notice still comes first.
        w->feed("STO1\r\n");
        QCOMPARE(w->form->StatusPanelText(2), QString("Storing settings, please do not switch power off..."));
    }

    void storingNoticeIsShownWhole() {
        w->start();
        w->feed("DEV33\r\nSTO1\r\n");
        OwnerDrawStatusBar *bar = w->form->StatusBar;
        const QRect last = bar->panelRect(2);
        QVERIFY(last.right() >= bar->width() - 3);
        QCOMPARE(bar->panelRect(1).width(), 200 - 3);
        const int textWidth =
            QFontMetrics(w->form->StatusPanelFont(2), bar).horizontalAdvance(w->form->StatusPanelText(2));
        QVERIFY(2 + textWidth < last.width());
        // Drawn past the panel's nominal end (182 + 200 + 200), and not up to the bar's edge.
        const QImage picture = bar->grab().toImage();
        const int ink = rightmostInk(picture, last.adjusted(1, 1, -2, -1));
        QVERIFY2(ink > 582 + 20, qPrintable(QString::number(ink)));
        QVERIFY(ink < last.right() - 2);
    }

    void longGridValuesAreElidedWithTheirTextAsTooltip() {
        w->start();
        w->feed("DEV33\r\nCH2\r\nIPS1\r\nIOO0\r\nIFA5\r\nREFR1\r\nREFA0\r\n");
        QTableWidget *grid = w->form->GrdStatus;
        QCOMPARE(w->form->StatusCell(RowFormat), QString("Black and White 50Hz"));
        QCOMPARE(w->form->StatusCell(RowOutputFrameFreq), QString("No signal at Input 2"));
        QCOMPARE(w->form->StatusCellHint(RowFormat), QString("Black and White 50Hz"));
        QCOMPARE(w->form->StatusCellHint(RowOutputFrameFreq), QString("No signal at Input 2")); // bold
        QCOMPARE(w->form->StatusCellHint(RowInput), QString());                                 // fits
        QCOMPARE(w->form->StatusCellHint(RowLast), QString());

        // Elided, the text ends clear of the cell's edge instead of being cut there.
        const QImage cells = grid->viewport()->grab().toImage();
        for (int row : {int(RowFormat), int(RowOutputFrameFreq)}) {
            const QRect cell = grid->visualRect(grid->model()->index(row, 1));
            const int ink = rightmostInk(cells, cell);
            QVERIFY2(ink > cell.center().x() && ink < cell.right() - 1, qPrintable(QString::number(row)));
        }

        // Hovering over the cell shows the whole text, although the grid takes no input.
        w->form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w->form.get()));
        const QPoint at = grid->visualRect(grid->model()->index(RowFormat, 1)).center();
        QHelpEvent help(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(grid->viewport(), &help);
        QCOMPARE(QToolTip::text(), QString("Black and White 50Hz"));
        QToolTip::hideText();
    }

    void frameNotice() {
        w->start();
        w->form->ShowFrameNotAvailable("Not available (Input frozen)");
        QVERIFY(!w->form->LblFrameNotAvailable->isHidden());
        QCOMPARE(w->form->LblFrameNotAvailable->text(), QString("Not available (Input frozen)"));
        const int left = w->form->TimerStatus->remainingTime();
        QTest::qWait(50);
        w->form->ShowFrameNotAvailable("Not available (No input signal)"); // does not restart the timer
        QVERIFY(w->form->TimerStatus->remainingTime() < left);
        w->form->TimerStatusTimer();
        QVERIFY(w->form->LblFrameNotAvailable->isHidden());
        QVERIFY(!w->form->TimerStatus->isActive());
    }

    void tabHighlight() {
        w->start();
        QVERIFY(!w->form->TabHighlighted(0));
        w->form->PageControl->setCurrentIndex(2);
        QVERIFY(w->form->TabHighlighted(2));
        w->form->PageControl->setCurrentIndex(4);
        QVERIFY(!w->form->TabHighlighted(2));
        QVERIFY(w->form->TabHighlighted(4));
    }

    void debugHotKeyArea() {
        w->start();
        QVERIFY(w->form->IsOverFirstStatusPanel({2, 2}));
        QVERIFY(w->form->IsOverFirstStatusPanel({182, 19}));
        QVERIFY(!w->form->IsOverFirstStatusPanel({183, 10}));
        QVERIFY(!w->form->IsOverFirstStatusPanel({1, 10}));
        QVERIFY(!w->form->IsOverFirstStatusPanel({10, 20}));
    }

    void driverValuesOutsideEveryTable() {
        w->start();
        w->feed("DEV33\r\nCH7\r\nPCH9\r\nPRGB7\r\nIFA99\r\nOFTM77\r\nOSYN9\r\nREFR4\r\nREFA4\r\nREFF50\r\nORT"
                "M9\r\n"
                "IPS1\r\nILD0\r\nIFD0\r\nIST12\r\nUNIT4294967295\r\n");
        QCOMPARE(w->form->StatusCell(RowInput), QString());
        QCOMPARE(w->form->StatusCell(RowFormat), QString());
        QCOMPARE(w->form->StatusCell(RowFrameFreq), QString("Not measured"));
        QCOMPARE(w->form->StatusCell(RowSync), QString("Sync. error !"));
        QCOMPARE(w->form->StatusCell(RowOutputFormat), QString());
        w->feed("ILD1\r\nIFD1\r\n");
        QVERIFY(w->form->StatusCell(RowFrameFreq).endsWith(" Hz"));
    }

    void closingSavesOnce() {
        w->write("OXS remote control.ini", kConnectionDefaults);
        w->start();
        QSignalSpy closed(w->form.get(), &TForm_OXS::closed);
        w->form->close();
        QVERIFY(!w->form->Timer1->isActive());
        QFile::remove(w->connectionFile());
        w->form->close();
        QCOMPARE(closed.size(), 2);
        QVERIFY(!QFile::exists(w->connectionFile()));
        // Events after shutdown change nothing and fail nothing.
        w->feed("DEV32\r\nCH1\r\n");
    }
};

const QByteArray TestMainWindow::kConnectionDefaults = "[CONNEXION]\r\nPort=0\r\nREMOTE_IP=192.168.0.10\r\n"
                                                       "REMOTE_PORT_ENTRY=10500\r\nLOCAL_PORT_ENTRY=10500\r\n"
                                                       "IP_ENABLE=0\r\n";

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
