// The pages' check boxes, radio groups and lists against a simulated scaler that ignores commands, reports
// values the window never writes, or answers at once: a control shows only what the scaler confirmed, every
// way of changing a box sends what a click sends, and nothing a report sets goes back.
#include "FrmInput.h"
#include "RadioGroup.h"
#include "ReportWait.h"
#include "SimWindowFixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QRadioButton>

#include <functional>

using namespace OrlanVars;

namespace {

void choose(QComboBox *list, int position) {
    list->setCurrentIndex(position);
    emit list->activated(position);
}

QList<int> checkedChannels(TForm_OXS &w) {
    QList<int> checked;
    for (int n = 1; n <= 5; ++n)
        if (w.AudioButtons()[std::size_t(n - 1)]->isChecked()) checked << n;
    return checked;
}

bool anyChannelEnabled(TForm_OXS &w) {
    const auto buttons = w.AudioButtons();
    return std::any_of(buttons.begin(), buttons.end(), [](QRadioButton *b) { return b->isEnabled(); });
}

// "Automatic" beside channel buttons that can be picked: a state no scaler report leads to.
bool automaticBesideEnabledChannels(TForm_OXS &w) {
    return w.RdoAMODEM->isChecked() && anyChannelEnabled(w);
}

bool waiting(TForm_OXS &w) {
    const auto waits = w.findChildren<TReportWait *>();
    return std::any_of(waits.begin(), waits.end(), [](TReportWait *r) { return r->Waiting(); });
}

// Brings the button's page to the front, as the operator would before using it.
void showPageOf(TForm_OXS &w, QWidget *control) {
    for (int i = 0; i < w.PageControl->count(); ++i)
        if (w.PageControl->widget(i)->isAncestorOf(control)) w.PageControl->setCurrentIndex(i);
}

void accessibleAction(QAbstractButton *button, const QString &action) {
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(button);
    QVERIFY(iface && iface->actionInterface());
    iface->actionInterface()->doAction(action);
}

using Read = std::function<QVariant(TForm_OXS &)>;
using Act = std::function<void(TForm_OXS &)>;

struct Pick {
    Act prepare;        // makes the control usable (sim reports), may be empty
    Act gesture;        // the operator's pick
    Read state;         // what the control shows
    QStringList ignore; // the command mnemonics of the pick
    QStringList sent;   // what the pick sends
};

QVariant index(QComboBox *list) {
    return list->currentIndex();
}

} // namespace

using ButtonOf = std::function<QAbstractButton *(TForm_OXS &, int)>; // the button to use at a turn

Q_DECLARE_METATYPE(Pick)
Q_DECLARE_METATYPE(ButtonOf)

class TestPageReports : public QObject {
    Q_OBJECT
  private slots:
    void unconfirmedPicksReturn_data();
    void unconfirmedPicksReturn();
    void everyWayOfTogglingSendsTheClicksCommand_data();
    void everyWayOfTogglingSendsTheClicksCommand();
    void oddValuesShowNoFalseSelection();
    void transferOverTheNetwork();
};

void TestPageReports::unconfirmedPicksReturn_data() {
    QTest::addColumn<Pick>("pick");
    auto row = [](TForm_OXS &w, int input) { return w.FrameInputs()[std::size_t(input - 1)]; };
    auto item = [](RadioGroup *TForm_OXS::*group) {
        return [group](TForm_OXS &w) { return QVariant((w.*group)->ItemIndex()); };
    };
    auto listOf = [](QComboBox *TForm_OXS::*list) { return [list](TForm_OXS &w) { return index(w.*list); }; };
    auto click = [](RadioGroup *TForm_OXS::*group, int position) {
        return [group, position](TForm_OXS &w) { (w.*group)->button(position)->click(); };
    };
    auto pickIn = [](QComboBox *TForm_OXS::*list, int position) {
        return [list, position](TForm_OXS &w) { choose(w.*list, position); };
    };

    QTest::newRow("Used") << Pick{{},
                                  [row](TForm_OXS &w) { row(w, 3)->ChkUsed->click(); },
                                  [row](TForm_OXS &w) { return QVariant(row(w, 3)->ChkUsed->isChecked()); },
                                  {"PE"},
                                  {"3PC", "0PE"}};
    QTest::newRow("VCR") << Pick{{},
                                 [row](TForm_OXS &w) { row(w, 1)->ChkVCR->click(); },
                                 [row](TForm_OXS &w) { return QVariant(row(w, 1)->ChkVCR->isChecked()); },
                                 {"PP"},
                                 {"1PC", "1PP"}};
    QTest::newRow("standard") << Pick{{},
                                      [row](TForm_OXS &w) { choose(row(w, 1)->CboStandard, 3); },
                                      [row](TForm_OXS &w) { return index(row(w, 1)->CboStandard); },
                                      {"PI"},
                                      {"1PC", "3PI"}};
    QTest::newRow("signal type") << Pick{{},
                                         [row](TForm_OXS &w) { choose(row(w, 3)->CboSignalType, 2); },
                                         [row](TForm_OXS &w) { return index(row(w, 3)->CboSignalType); },
                                         {"PR"},
                                         {"3PC", "4PR"}};
    QTest::newRow("priority") << Pick{
        {}, click(&TForm_OXS::RdoIPMODEM, 2), item(&TForm_OXS::RdoIPMODEM), {"PM"}, {"2PM"}};
    QTest::newRow("format") << Pick{
        {}, pickIn(&TForm_OXS::CboOutputFormat, 0), listOf(&TForm_OXS::CboOutputFormat), {"FM"}, {"10FM"}};
    QTest::newRow("rate") << Pick{{},
                                  pickIn(&TForm_OXS::CboOutputRate, 1),
                                  listOf(&TForm_OXS::CboOutputRate),
                                  {"XR", "oR"},
                                  {"0XR", "1oR"}};
    QTest::newRow("sync") << Pick{
        {}, click(&TForm_OXS::RdoOutputSync, 1), item(&TForm_OXS::RdoOutputSync), {"FY"}, {"1FY"}};
    QTest::newRow("output type") << Pick{
        {}, click(&TForm_OXS::RdoOutputType, 1), item(&TForm_OXS::RdoOutputType), {"oY"}, {"2oY"}};
    QTest::newRow("pattern") << Pick{
        {}, click(&TForm_OXS::RdoTestPattern, 1), item(&TForm_OXS::RdoTestPattern), {"oP"}, {"1oP"}};
    QTest::newRow("input aspect") << Pick{{},
                                          pickIn(&TForm_OXS::CboInputAspectRatio, 1),
                                          listOf(&TForm_OXS::CboInputAspectRatio),
                                          {"QA"},
                                          {"1QA"}};
    QTest::newRow("output aspect") << Pick{{},
                                           pickIn(&TForm_OXS::CboOutputAspectRatio, 2),
                                           listOf(&TForm_OXS::CboOutputAspectRatio),
                                           {"QS"},
                                           {"2QS"}};
    QTest::newRow("overscan") << Pick{
        {}, pickIn(&TForm_OXS::CboUnderOverscan, 1), listOf(&TForm_OXS::CboUnderOverscan), {"QO"}, {"1QO"}};
    QTest::newRow("processing") << Pick{
        {}, pickIn(&TForm_OXS::CboProcessing, 5), listOf(&TForm_OXS::CboProcessing), {"QP"}, {"5QP"}};
    // The channel buttons can be picked in manual mode only; the pair (checked, enabled) must stay in step.
    QTest::newRow("audio channel") << Pick{
        [](TForm_OXS &w) { QTRY_VERIFY(w.RdoACHANM3->isEnabled()); },
        [](TForm_OXS &w) { w.RdoACHANM3->click(); },
        [](TForm_OXS &w) { return QVariant::fromValue(checkedChannels(w)); },
        {"RC"},
        {"3RC"}};
    QTest::newRow("automatic") << Pick{{},
                                       [](TForm_OXS &w) { w.RdoAMODEM->click(); },
                                       [](TForm_OXS &w) {
                                           return QVariant(
                                               QStringList{w.RdoAMODEM->isChecked() ? "auto" : "manual",
                                                           anyChannelEnabled(w) ? "free" : "locked"});
                                       },
                                       {"RO"},
                                       {"1RO"}};
    QTest::newRow("frame auto") << Pick{[](TForm_OXS &w) { QTRY_VERIFY(w.RdoFrameAuto->isEnabled()); },
                                        click(&TForm_OXS::RdoFrameAuto, 1),
                                        item(&TForm_OXS::RdoFrameAuto),
                                        {"fA"},
                                        {"1fA"}};
    QTest::newRow("frame number") << Pick{
        {}, pickIn(&TForm_OXS::CboFrameNumber, 3), listOf(&TForm_OXS::CboFrameNumber), {"fN"}, {"3fN"}};
}

// Ignored, the pick shows until the wait ends and then the stored value returns, sending nothing; answered,
// the control moves on the report and stays.
void TestPageReports::unconfirmedPicksReturn() {
    QFETCH(Pick, pick);
    SimWindowFixture f(33);
    f.sim.state().setValue(VAR_AMODEM, QByteArray(QTest::currentDataTag()) == "audio channel" ? 1 : 0);
    f.sim.state().setValue(VAR_FAREC, 1);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    w.show();
    if (pick.prepare) pick.prepare(w);
    const QVariant stored = pick.state(w);

    OxsSim::FaultSettings ignoring;
    ignoring.ignoreCommands = pick.ignore;
    f.sim.setFaults(ignoring);
    pick.gesture(w);
    const QVariant picked = pick.state(w);
    QVERIFY2(picked != stored, "the pick must show something else than the stored value");
    QCOMPARE(f.awaitCommands(pick.sent.size()), pick.sent);
    QTRY_COMPARE_WITH_TIMEOUT(pick.state(w), stored, 5000);
    QVERIFY(!waiting(w));
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());

    f.sim.setFaults({});
    pick.gesture(w);
    QCOMPARE(f.awaitCommands(pick.sent.size()), pick.sent);
    QTRY_VERIFY_WITH_TIMEOUT(!waiting(w), 5000);
    QCOMPARE(pick.state(w), picked);
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

void TestPageReports::everyWayOfTogglingSendsTheClicksCommand_data() {
    QTest::addColumn<ButtonOf>("button");
    QTest::addColumn<QList<QStringList>>("sent"); // for the odd and the even turns
    using Button = ButtonOf;
    auto alternate = [](RadioGroup *TForm_OXS::*group, int first, int second) {
        return Button([=](TForm_OXS &w, int turn) { return (w.*group)->button(turn % 2 ? second : first); });
    };
    QTest::newRow("Used") << Button([](TForm_OXS &w, int) { return w.FrameInputs()[2]->ChkUsed; })
                          << QList<QStringList>{{"3PC", "0PE"}, {"3PC", "1PE"}};
    QTest::newRow("VCR") << Button([](TForm_OXS &w, int) { return w.FrameInputs()[0]->ChkVCR; })
                         << QList<QStringList>{{"1PC", "1PP"}, {"1PC", "0PP"}};
    QTest::newRow("automatic") << Button([](TForm_OXS &w, int) { return w.RdoAMODEM; })
                               << QList<QStringList>{{"1RO"}, {"0RO"}};
    QTest::newRow("audio channel") << Button([](TForm_OXS &w, int turn) {
        return turn % 2 ? static_cast<QAbstractButton *>(w.RdoACHANM2) : w.RdoACHANM3;
    }) << QList<QStringList>{{"3RC"}, {"2RC"}};
    QTest::newRow("priority") << alternate(&TForm_OXS::RdoIPMODEM, 2, 1)
                              << QList<QStringList>{{"2PM"}, {"1PM"}};
    QTest::newRow("sync") << alternate(&TForm_OXS::RdoOutputSync, 1, 0)
                          << QList<QStringList>{{"1FY"}, {"0FY"}};
    QTest::newRow("frame auto") << alternate(&TForm_OXS::RdoFrameAuto, 1, 0)
                                << QList<QStringList>{{"1fA"}, {"0fA"}};
}

// A click, Space on the focused box, and the accessibility Press and Toggle actions each send the command
// of the new state, which the scaler's report then confirms; the report itself sends nothing.
void TestPageReports::everyWayOfTogglingSendsTheClicksCommand() {
    QFETCH(ButtonOf, button);
    QFETCH(QList<QStringList>, sent);
    SimWindowFixture f(33);
    f.sim.state().setValue(VAR_FAREC, 1);
    if (QByteArray(QTest::currentDataTag()) == "audio channel") f.sim.state().setValue(VAR_AMODEM, 1);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const std::function<void(QAbstractButton *)> ways[] = {
        // On the box itself: a button wider than its text takes no click beside it.
        [](QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); },
        [](QAbstractButton *b) {
            b->setFocus();
            QTest::keyClick(b, Qt::Key_Space);
        },
        [](QAbstractButton *b) { accessibleAction(b, QAccessibleActionInterface::pressAction()); },
        [](QAbstractButton *b) { accessibleAction(b, QAccessibleActionInterface::toggleAction()); },
    };
    int turn = 0;
    for (const auto &way : ways) {
        QAbstractButton *b = button(w, turn);
        showPageOf(w, b);
        QTRY_VERIFY(b->isEnabled());
        const bool before = b->isChecked();
        way(b);
        const QStringList expected = sent[turn % 2];
        QCOMPARE(f.awaitCommands(expected.size()), expected);
        QTRY_VERIFY_WITH_TIMEOUT(!waiting(w), 5000);
        QCOMPARE(b->isChecked(), !before);
        ++turn;
    }
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

// A scaler that reports legal values the window never writes: no list or group shows a choice it did not
// report, and "Automatic" never stands beside channel buttons that can be picked.
void TestPageReports::oddValuesShowNoFalseSelection() {
    SimWindowFixture f(33);
    OxsSim::FaultSettings odd;
    odd.oddValues = true;
    f.sim.setFaults(odd);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    QCOMPARE(f.driver().OTYPEM(), 0u);
    QCOMPARE(w.RdoOutputType->ItemIndex(), -1);
    QCOMPARE(w.CboOutputFormat->currentIndex(), -1);
    QCOMPARE(w.CboOutputRate->currentIndex(), -1);
    QCOMPARE(checkedChannels(w), QList<int>());
    QVERIFY(w.RdoAMODEM->isChecked()); // AMODEM 2 is automatic
    QVERIFY(!anyChannelEnabled(w));

    // An output type the scaler answers with "unchanged" is not shown as if it were in force.
    w.RdoOutputType->button(1)->click();
    QCOMPARE(f.awaitCommands(), QStringList{"2oY"});
    QTRY_COMPARE(f.driver().OTYPEM(), 2u);
    QCOMPARE(w.RdoOutputType->ItemIndex(), 1);
    odd.ignoreCommands = QStringList{"oY", "RO"};
    f.sim.setFaults(odd);
    w.RdoOutputType->button(2)->click();
    f.driver().TcpReceive("OTYP0\r\n");
    QCOMPARE(w.RdoOutputType->ItemIndex(), 1);

    // "Automatic" and the channel buttons move together, both on the operator's pick and on its return.
    w.RdoAMODEM->click();
    QVERIFY(!w.RdoAMODEM->isChecked());
    QVERIFY(anyChannelEnabled(w));
    QTRY_VERIFY_WITH_TIMEOUT(w.RdoAMODEM->isChecked(), 5000);
    QVERIFY(!automaticBesideEnabledChannels(w));
    f.sim.setFaults({});
    f.sim.setReported(VAR_AMODEM, 1);
    QTRY_VERIFY(anyChannelEnabled(w));
    QVERIFY(!w.RdoAMODEM->isChecked());
    odd.ignoreCommands = QStringList{"RO"};
    f.sim.setFaults(odd);
    w.RdoAMODEM->click();
    QVERIFY(!automaticBesideEnabledChannels(w));
    QTRY_VERIFY_WITH_TIMEOUT(!w.RdoAMODEM->isChecked(), 5000);
    QVERIFY(anyChannelEnabled(w));
    f.settle();
    QCOMPARE(f.takeCommands(), (QStringList{"3oY", "1RO", "0RO"}));
}

// The upload's raw mode exists only on the serial link: on TCP the page says so and opens nothing.
void TestPageReports::transferOverTheNetwork() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    bool opened = false;
    w.RunModal = [&opened](QDialog &) { opened = true; };
    w.show();
    w.BtnTransferFrame->click();
    QVERIFY(!opened);
    QVERIFY(w.isVisible());
    QVERIFY(!w.LblFrameNotAvailable->isHidden());
    QCOMPARE(w.LblFrameNotAvailable->text(), QString("Not available (Upload needs the RS232 link)"));
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

QTEST_MAIN(TestPageReports)
#include "tst_page_reports.moc"
