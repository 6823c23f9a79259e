// The Audio and Frame Alert pages against the simulated scaler: the commands of each gesture, the refusals
// that send nothing, and controls that follow the scaler's reports only.
#include "RadioGroup.h"
#include "SimWindowFixture.h"

#include <QRadioButton>

using namespace OrlanVars;
using namespace StatusTexts;

namespace {
QList<int> checkedChannels(TForm_OXS &w) {
    QList<int> checked;
    for (int n = 1; n <= 5; ++n)
        if (w.AudioButtons()[std::size_t(n - 1)]->isChecked()) checked << n;
    return checked;
}

int enabledChannels(TForm_OXS &w) {
    const auto buttons = w.AudioButtons();
    return int(std::count_if(buttons.begin(), buttons.end(), [](QRadioButton *b) { return b->isEnabled(); }));
}

QString notice(TForm_OXS &w) {
    return w.LblFrameNotAvailable->isHidden() ? QString() : w.LblFrameNotAvailable->text();
}
} // namespace

class TestAudioFramePages : public QObject {
    Q_OBJECT
  private slots:
    void audioChannels();
    void frameMemory();
    void linkDown();
};

void TestAudioFramePages::audioChannels() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    QVERIFY(w.RdoAMODEM->isChecked()); // automatic: no channel can be picked
    QCOMPARE(enabledChannels(w), 0);
    w.RdoAMODEM->click();
    QCOMPARE(f.awaitCommands(), QStringList{"1RO"});
    QCOMPARE(enabledChannels(w), 5);
    w.RdoACHANM3->click();
    QCOMPARE(f.awaitCommands(), QStringList{"3RC"});
    QCOMPARE(checkedChannels(w), QList<int>{3});
    // Channel 0 and channels beyond the buttons check none.
    for (uint channel : {0u, 6u}) {
        f.sim.setReported(VAR_ACHANM, 2);
        QTRY_COMPARE(checkedChannels(w), QList<int>{2});
        f.sim.setReported(VAR_ACHANM, channel);
        QTRY_COMPARE(checkedChannels(w), QList<int>());
    }
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
    w.RdoAMODEM->click();
    QCOMPARE(f.awaitCommands(), QStringList{"0RO"});
    QVERIFY(w.RdoAMODEM->isChecked());
    QCOMPARE(enabledChannels(w), 0);
}

void TestAudioFramePages::frameMemory() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    // Nothing recorded: nothing to show, hide or delete, though the frame memory is idle.
    QCOMPARE(w.StatusCell(RowRecorded), QString("No"));
    QVERIFY(!w.BtnFrameDisplay->isEnabled() && !w.BtnFrameHide->isEnabled() && !w.RdoFrameAuto->isEnabled());
    QVERIFY(!w.BtnDeleteFrame->isEnabled() && w.BtnFrameCapture->isEnabled());

    // Freeze is checked before the signal, the signal before the input type.
    f.sim.setReported(VAR_IFRZM, 1);
    f.sim.setReported(VAR_IPSIGM, 0);
    QTRY_VERIFY(!f.driver().IPSIGM());
    w.BtnFrameCapture->click();
    QCOMPARE(notice(w), QString("Not available (Input frozen)"));
    f.sim.setReported(VAR_IFRZM, 0);
    QTRY_VERIFY(!f.driver().IFRZM());
    w.BtnFrameCapture->click();
    QCOMPARE(notice(w), QString("Not available (No input signal)"));
    f.sim.setReported(VAR_IPSIGM, 1);
    f.sim.setReported(VAR_ICHM, 5); // the computer input
    QTRY_COMPARE(f.driver().ICHM(), 5u);
    w.BtnFrameCapture->click();
    QCOMPARE(notice(w), QString("Not available (Computer input)"));
    f.sim.setReported(VAR_ICHM, 1);
    QTRY_COMPARE(f.driver().ICHM(), 1u);
    QCOMPARE(f.takeCommands(), QStringList());

    w.BtnFrameCapture->click();
    QCOMPARE(f.awaitCommands(2), (QStringList{"1fM", "1fX"}));
    QVERIFY(!w.LblWaitRecordingFrame->isHidden() && !w.GrpFrameMemory->isEnabled());
    QTRY_VERIFY(w.LblWaitRecordingFrame->isHidden());
    QCOMPARE(w.StatusCell(RowRecorded), QString("Yes"));
    QVERIFY(w.BtnDeleteFrame->isEnabled() && w.BtnFrameDisplay->isEnabled() && w.RdoFrameAuto->isEnabled());
    w.RdoFrameAuto->button(1)->click();
    QCOMPARE(f.awaitCommands(), QStringList{"1fA"});
    w.BtnFrameDisplay->click();
    QCOMPARE(f.awaitCommands(), QStringList{"1fs"});
    w.BtnDeleteFrame->click();
    QCOMPARE(notice(w), QString("Not available (Frame is being displayed)"));
    w.BtnFrameHide->click();
    QCOMPARE(f.awaitCommands(), QStringList{"0fs"});
    w.BtnDeleteFrame->click();
    QCOMPARE(f.awaitCommands(2), (QStringList{"3fM", "1fX"}));
    QTRY_VERIFY(!f.driver().FAEXEC());
    // The end of the job enables the frame memory buttons, but Delete only with a frame to delete.
    QCOMPARE(w.StatusCell(RowRecorded), QString("No"));
    QVERIFY(!w.BtnDeleteFrame->isEnabled() && !w.BtnFrameDisplay->isEnabled() &&
            w.BtnFrameCapture->isEnabled());
}

// With the link down Transfer refuses and nothing is sent; the scaler's dump on reconnection puts the
// controls right again.
void TestAudioFramePages::linkDown() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    f.sim.setReported(VAR_AMODEM, 1);
    QTRY_COMPARE(enabledChannels(w), 5);
    OxsSim::FaultSettings silent;
    silent.silent = true;
    f.sim.setFaults(silent);
    QTRY_VERIFY_WITH_TIMEOUT(!f.driver().Connected(), 6000);

    w.show();
    w.BtnTransferFrame->click();
    QCOMPARE(notice(w), QString("Not available (Device NOT connected)"));
    QVERIFY(w.isVisible());
    w.RdoACHANM2->click();
    w.RdoAMODEM->click();
    w.CboOutputFormat->setCurrentIndex(0);
    emit w.CboOutputFormat->activated(0);
    w.BtnFrameCapture->click();
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());

    f.sim.setFaults({});
    QTRY_VERIFY_WITH_TIMEOUT(f.driver().Ready(), 6000);
    QCOMPARE(checkedChannels(w), QList<int>{1});
    QVERIFY(!w.RdoAMODEM->isChecked());
    QCOMPARE(w.CboOutputFormat->currentIndex(), 2);
}

QTEST_MAIN(TestAudioFramePages)
#include "tst_audio_frame_pages.moc"
