// The input buttons and the Input page against the simulated scaler: what each gesture sends, and that the
// controls follow the scaler's replies only.
#include "FrmInput.h"
#include "HintBubble.h"
#include "InputPage.h"
#include "SimWindowFixture.h"

#include <QToolButton>

using namespace OrlanVars;

class TestInputPage : public QObject {
    Q_OBJECT

    // Chooses a list position as the operator does.
    static void choose(QComboBox *list, int position) {
        list->setCurrentIndex(position);
        emit list->activated(position);
    }
    static bool bold(QWidget *w) { return w->font().bold(); }

  private slots:
    void inputSelectionFollowsTheScaler();
    void blackAndFreeze();
    void rowsWritePairsAndFollowReplies();
    void repliesOutsideTheListsAndResets();
};

void TestInputPage::inputSelectionFollowsTheScaler() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    w.show();
    QVERIFY(w.BtnInput1->isChecked());
    QVERIFY(bold(w.BtnInput1));

    QTest::mouseClick(w.BtnInput2, Qt::LeftButton);
    QVERIFY(w.BtnInput1->isChecked()); // until the scaler reports the new input
    QVERIFY(!w.BtnInput2->isChecked());
    QCOMPARE(f.awaitCommands(), QStringList{"2CN"});
    QTRY_VERIFY(w.BtnInput2->isChecked());
    QVERIFY(bold(w.BtnInput2));
    QVERIFY(!bold(w.BtnInput1));

    // Busy taking the input: the click still goes out, and a bubble says to wait until the scaler is done.
    auto *page = w.findChild<TInputPage *>();
    QVERIFY(page);
    QTest::mouseClick(w.BtnInput3, Qt::LeftButton);
    QTRY_VERIFY(!f.driver().TAKEEVA());
    QTest::mouseClick(w.BtnInput4, Qt::LeftButton);
    QCOMPARE(page->Bubble().text(), QString("Please Wait"));
    QVERIFY(page->Bubble().isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!page->Bubble().isVisible(), 2000);
    QCOMPARE(f.awaitCommands(2), (QStringList{"3CN", "4CN"}));
    QTRY_VERIFY(w.BtnInput4->isChecked());

    // The computer input with a DVI-only output.
    f.sim.setReported(VAR_OTYPEM, 2);
    QTRY_COMPARE(f.driver().OTYPEM(), 2u);
    QTest::mouseClick(w.BtnInput5, Qt::LeftButton);
    QCOMPARE(page->Bubble().text(), QString("Not available (DVI-only output selected)"));
    QCOMPARE(f.awaitCommands(), QStringList{"5CN"});
}

void TestInputPage::blackAndFreeze() {
    SimWindowFixture f(32);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    w.show();
    for (QToolButton *b : {w.BtnBlack, w.BtnFreeze}) {
        const QString on = b == w.BtnBlack ? "1FO" : "1Z";
        const QString off = b == w.BtnBlack ? "0FO" : "0Z";
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(!b->isChecked());
        QCOMPARE(f.awaitCommands(), QStringList{on});
        QTRY_VERIFY(b->isChecked());
        QVERIFY(bold(b));
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(f.awaitCommands(), QStringList{off});
        QTRY_VERIFY(!b->isChecked());
        QVERIFY(!bold(b));
    }
}

void TestInputPage::rowsWritePairsAndFollowReplies() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    w.show();
    const auto rows = w.FrameInputs();

    // Every list shows what the scaler reported, not its first item.
    QCOMPARE(rows[2]->CboSignalType->currentIndex(), 0); // input 3 is YUV
    QVERIFY(rows[2]->CboStandard->isHidden());
    QCOMPARE(rows[3]->CboSignalType->currentIndex(), 1); // input 4 is Y/C
    QVERIFY(!rows[3]->CboStandard->isHidden());

    QTest::mouseClick(rows[2]->ChkUsed, Qt::LeftButton);
    QCOMPARE(f.awaitCommands(2), (QStringList{"3PC", "0PE"}));
    QTRY_VERIFY(!w.BtnInput3->isEnabled());
    QVERIFY(!rows[2]->ChkUsed->isChecked());
    QVERIFY(!rows[2]->CboSignalType->isEnabled());
    QVERIFY(!rows[2]->ChkVCR->isEnabled());
    QTest::mouseClick(rows[2]->ChkUsed, Qt::LeftButton);
    QCOMPARE(f.awaitCommands(2), (QStringList{"3PC", "1PE"}));
    QTRY_VERIFY(w.BtnInput3->isEnabled());

    QTest::mouseClick(rows[0]->ChkVCR, Qt::LeftButton);
    QCOMPARE(f.awaitCommands(2), (QStringList{"1PC", "1PP"}));
    QTRY_VERIFY(f.driver().InputPPROC(1));
    QVERIFY(rows[0]->ChkVCR->isChecked());

    choose(rows[0]->CboStandard, 2);
    QCOMPARE(f.awaitCommands(2), (QStringList{"1PC", "2PI"}));
    QTRY_COMPARE(f.driver().InputPISTD(1), 2u);

    choose(rows[2]->CboSignalType, 2); // "SDTV RGB SOG"
    QCOMPARE(f.awaitCommands(2), (QStringList{"3PC", "4PR"}));
    QTRY_COMPARE(f.driver().InputPRGBI(3), 4u);
    QCOMPARE(rows[2]->CboSignalType->currentIndex(), 2);
    QVERIFY(rows[2]->CboStandard->isHidden());
    choose(rows[3]->CboSignalType, 0); // "SDTV Composite"
    QCOMPARE(f.awaitCommands(2), (QStringList{"4PC", "0PR"}));
    QTRY_COMPARE(f.driver().InputPRGBI(4), 0u);
    QVERIFY(!rows[3]->CboStandard->isHidden());

    // An input with a fixed signal type sends the input only.
    w.findChild<TInputPage *>()->CboSignalTypeChange(1);
    QCOMPARE(f.awaitCommands(), QStringList{"1PC"});

    w.RdoIPMODEM->button(2)->click();
    QCOMPARE(f.awaitCommands(), QStringList{"2PM"});
    QTRY_COMPARE(w.RdoIPMODEM->ItemIndex(), 2);

    // Replies alone never send anything back.
    f.sim.setReported(VAR_IPMODEM, 1);
    QTRY_COMPARE(w.RdoIPMODEM->ItemIndex(), 1);
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

void TestInputPage::repliesOutsideTheListsAndResets() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    TOrlan_d &d = f.driver();
    const auto rows = w.FrameInputs();
    auto feed = [&d](const QByteArray &replies) { d.TcpReceive(replies); };

    feed("PCH1\r\nPSTD9\r\nPCH3\r\nPRGB7\r\nPM7\r\nCH9\r\n"); // beyond every list
    QCOMPARE(rows[0]->CboStandard->currentIndex(), -1);
    QCOMPARE(rows[2]->CboSignalType->currentIndex(), -1);
    QCOMPARE(w.RdoIPMODEM->ItemIndex(), -1);
    feed("PCH9\r\nPEN0\r\nPRGB0\r\n"); // filed under no input
    for (QToolButton *b : w.InputButtons())
        QVERIFY(b->isEnabled());

    // Every input reset at once: the model's own signal types, kept without asking the scaler.
    feed("PCH0\r\nPRGB0\r\n");
    const uint32_t expected[] = {0, 0, 2, 1, 7};
    for (int n = 1; n <= 5; ++n)
        QCOMPARE(d.InputPRGBI(n), expected[n - 1]);
    QCOMPARE(rows[2]->CboSignalType->currentIndex(), 0);
    QCOMPARE(rows[3]->CboSignalType->currentIndex(), 1);
    feed("PCH0\r\nPEN0\r\n");
    for (int n = 0; n < 5; ++n)
        QVERIFY(!rows[n]->ChkUsed->isChecked());
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

QTEST_MAIN(TestInputPage)
#include "tst_input_page.moc"
