// The Controls menu against the simulated scaler: what each item sends, and that its marks follow the
// scaler's replies only.
#include "ControlsMenu.h"
#include "SimWindowFixture.h"

using namespace OrlanVars;

class TestControlsMenu : public QObject {
    Q_OBJECT
  private slots:
    void keyLockingArithmetic_data();
    void keyLockingArithmetic();
    void itemsSendAndFollowReplies();
    void destructiveItemsNeedConfirmation();
};

void TestControlsMenu::keyLockingArithmetic_data() {
    QTest::addColumn<uint>("lock");
    QTest::addColumn<int>("tag");
    QTest::addColumn<uint>("sent");
    const int all = 3, menu = 1, input = 2;
    QTest::newRow("menu locked, All") << 1u << all << 3u;
    QTest::newRow("both locked, All") << 3u << all << 0u;
    QTest::newRow("input locked, Menu") << 2u << menu << 3u;
    QTest::newRow("input locked, Input") << 2u << input << 0u;
    QTest::newRow("7, All") << 7u << all << 0u;
    QTest::newRow("4, All keeps the other bits") << 4u << all << 7u;
    QTest::newRow("none, Input") << 0u << input << 2u;
}

void TestControlsMenu::keyLockingArithmetic() {
    QFETCH(uint, lock);
    QFETCH(int, tag);
    QFETCH(uint, sent);
    QCOMPARE(TControlsMenu::NextLock(lock, tag), sent);
}

void TestControlsMenu::itemsSendAndFollowReplies() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();

    struct Case {
        QAction *item;
        QString command;
        QList<QAction *> checkedAfter;
        QList<QAction *> uncheckedAfter;
    };
    const QList<Case> cases = {
        {w.MenuPullDownAuto, "1QE", {w.MenuPullDownAuto}, {w.MenuPullDownOff}},
        {w.MenuPullDownOff, "0QE", {w.MenuPullDownOff}, {w.MenuPullDownAuto}},
        {w.MenuBlackDelayLong,
         "2oT",
         {w.MenuBlackDelayLong},
         {w.MenuBlackDelayShort, w.MenuBlackDelayMedium}},
        {w.MenuStandbyOn, "1sS", {w.MenuStandbyOn}, {w.MenuStandbyOff}},
        {w.MenuStandbyOff, "0sS", {w.MenuStandbyOff}, {w.MenuStandbyOn}},
        {w.MenuLockMenu, "1yl", {w.MenuLockMenu}, {w.MenuLockAll, w.MenuLockInput}},
        {w.MenuLockAll, "3yl", {w.MenuLockAll, w.MenuLockMenu, w.MenuLockInput}, {}},
        {w.MenuLockInput, "1yl", {w.MenuLockMenu}, {w.MenuLockAll, w.MenuLockInput}},
    };
    for (const Case &c : cases) {
        const bool before = c.item->isChecked();
        c.item->trigger();
        QCOMPARE(c.item->isChecked(), before); // nothing changes before the scaler answers
        QCOMPARE(f.awaitCommands(), QStringList{c.command});
        for (QAction *a : c.checkedAfter)
            QTRY_VERIFY2(a->isChecked(), qPrintable(c.command + " " + a->text()));
        for (QAction *a : c.uncheckedAfter)
            QVERIFY2(!a->isChecked(), qPrintable(c.command + " " + a->text()));
    }

    // A black delay that is none of the three (set from its dialog) leaves the marks alone; replies send
    // nothing.
    f.sim.setReported(VAR_OSYNCTIME, 15);
    QTRY_COMPARE(f.driver().OSYNCTIME(), 15u);
    QVERIFY(w.MenuBlackDelayLong->isChecked());
    f.sim.setReported(VAR_LOCK, 2);
    QTRY_VERIFY(w.MenuLockInput->isChecked());
    QVERIFY(!w.MenuLockMenu->isChecked());
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

void TestControlsMenu::destructiveItemsNeedConfirmation() {
    SimWindowFixture f(40);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    w.MenuEraseAllMemories->trigger();
    w.MenuDefaultValues->trigger();
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
    QCOMPARE(f.prompts().asked.size(), 2);
    QCOMPARE(f.prompts().asked[0].kind, QString("confirm"));
    QCOMPARE(f.prompts().asked[0].text, QString("Are you sure you want erase all memories ?"));
    QCOMPARE(f.prompts().asked[1].text, QString("Are you sure you want default value ?"));

    f.prompts().answers = {Prompts::Answer::Ok, Prompts::Answer::Ok};
    w.MenuEraseAllMemories->trigger();
    QCOMPARE(f.awaitCommands(), QStringList{"1ye"});
    w.MenuDefaultValues->trigger();
    QCOMPARE(f.awaitCommands(), QStringList{"1Y"});
}

QTEST_MAIN(TestControlsMenu)
#include "tst_controls_menu.moc"
