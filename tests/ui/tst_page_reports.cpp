// The pages' check boxes, radio groups and lists against a simulated scaler that ignores commands, reports
// values the window never writes, or answers at once: a control shows only what the scaler confirmed, every
// way of changing a box sends what a click sends, and nothing a report sets goes back.
#include "RadioGroup.h"
#include "ReportWait.h"
#include "SimWindowFixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QRadioButton>
#include <QRegularExpression>

using namespace OrlanVars;

namespace {

// "FrameInput3/ChkUsed", "RdoOutputSync", ...
QWidget *control(TForm_OXS &w, const QString &path) {
    QWidget *found = &w;
    for (const QString &name : path.split('/'))
        found = found ? found->findChild<QWidget *>(name) : nullptr;
    return found;
}

// What a control shows: a list's or group's position, a box's state.
int shown(QWidget *c) {
    if (auto *list = qobject_cast<QComboBox *>(c)) return list->currentIndex();
    if (auto *group = qobject_cast<RadioGroup *>(c)) return group->ItemIndex();
    return static_cast<QAbstractButton *>(c)->isChecked();
}

// The operator picks a position in a list, or changes a box or a group's button in one of the ways a person
// can: a click on the box, Space on the focused box, the accessibility Press or Toggle action.
void pick(TForm_OXS &w, QWidget *c, int position, const QString &way) {
    if (auto *list = qobject_cast<QComboBox *>(c)) {
        list->setCurrentIndex(position);
        emit list->activated(position);
        return;
    }
    auto *group = qobject_cast<RadioGroup *>(c);
    QAbstractButton *b = group ? group->button(position) : static_cast<QAbstractButton *>(c);
    for (int page = 0; page < w.PageControl->count(); ++page)
        if (w.PageControl->widget(page)->isAncestorOf(b)) w.PageControl->setCurrentIndex(page);
    if (way == "click") { // on the box itself: a button wider than its text takes no click beside it
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    } else if (way == "space") {
        b->setFocus();
        QTest::keyClick(b, Qt::Key_Space);
    } else {
        const bool before = b->isChecked();
        QAccessible::queryAccessibleInterface(b)->actionInterface()->doAction(
            way == "press" ? QAccessibleActionInterface::pressAction()
                           : QAccessibleActionInterface::toggleAction());
        (void)QTest::qWaitFor([&] { return b->isChecked() != before; }, 2000); // Press clicks a moment later
    }
}

bool waiting(TForm_OXS &w) {
    const auto waits = w.findChildren<TReportWait *>();
    return std::any_of(waits.begin(), waits.end(), [](TReportWait *r) { return r->Waiting(); });
}

bool anyChannelEnabled(TForm_OXS &w) {
    const auto b = w.AudioButtons();
    return std::any_of(b.begin(), b.end(), [](QRadioButton *r) { return r->isEnabled(); });
}

// A model 33 scaler with a recorded frame (so the auto display can be set) and manual audio, its dump in.
bool startWith(SimWindowFixture &f, const OxsSim::FaultSettings &faults) {
    f.sim.setFaults(faults);
    f.sim.state().setValue(VAR_FAREC, 1);
    f.sim.state().setValue(VAR_AMODEM, 1);
    if (!f.start()) return false;
    f.form().show();
    return QTest::qWaitFor([&f] { return f.form().RdoFrameAuto->ItemIndex() >= 0; }, 5000);
}

} // namespace

class TestPageReports : public QObject {
    Q_OBJECT
  private slots:
    void unconfirmedPicksReturn_data();
    void unconfirmedPicksReturn();
    void oddValuesShowNoFalseSelection();
    void transferOverTheNetwork();
};

void TestPageReports::unconfirmedPicksReturn_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<bool>("harsh");       // odd values and one report for all inputs matter here
    QTest::addColumn<QStringList>("ways"); // of changing a box: ignored, then answered
    auto row = [](const char *path, int position, const QString &sent, bool harsh = false,
                  const QString &ways = "pick pick") {
        QTest::newRow(path) << path << position << sent.split(' ') << harsh << ways.split(' ');
    };
    row("FrameInput3/ChkUsed", 0, "3PC 0PE", true, "space toggle");
    row("FrameInput1/ChkVCR", 0, "1PC 1PP", true, "press click");
    row("FrameInput1/CboStandard", 3, "1PC 3PI", true);
    row("FrameInput3/CboSignalType", 2, "3PC 4PR", true);
    row("RdoIPMODEM", 2, "2PM", false, "toggle space");
    row("CboOutputFormat", 0, "10FM");
    row("CboOutputRate", 1, "0XR 1oR");
    row("RdoOutputSync", 1, "1FY", false, "press click");
    row("RdoOutputType", 1, "2oY", true, "space press");
    row("RdoTestPattern", 1, "1oP", false, "toggle click");
    row("CboInputAspectRatio", 1, "1QA");
    row("CboOutputAspectRatio", 2, "2QS");
    row("CboUnderOverscan", 1, "1QO");
    row("CboProcessing", 5, "5QP");
    row("RdoACHANM3", 0, "3RC", true, "space toggle");
    row("RdoAMODEM", 0, "0RO", true, "press toggle");
    row("RdoFrameAuto", 1, "1fA", false, "space press");
    row("CboFrameNumber", 3, "3fN");
}

// Ignored, the pick shows until the wait ends, then the stored value returns and nothing is sent; answered,
// the control moves on the report and stays. Every way of changing a box sends what a click sends.
void TestPageReports::unconfirmedPicksReturn() {
    QFETCH(QString, path);
    QFETCH(int, position);
    QFETCH(QStringList, sent);
    QFETCH(bool, harsh);
    QFETCH(QStringList, ways);
    SimWindowFixture f(33);
    const OxsSim::FaultSettings faults = harsh ? OxsSim::FaultSettings::harsh() : OxsSim::FaultSettings{};
    QVERIFY(startWith(f, faults));
    TForm_OXS &w = f.form();
    QWidget *c = control(w, path);
    QVERIFY(c);
    const int stored = shown(c);

    OxsSim::FaultSettings ignoring = faults;
    for (const QString &command : sent)
        ignoring.ignoreCommands << command.mid(command.indexOf(QRegularExpression("[^0-9]")));
    ignoring.ignoreCommands.removeAll("PC");
    f.sim.setFaults(ignoring);
    pick(w, c, position, ways[0]);
    const int picked = shown(c);
    QVERIFY(picked != stored);
    QCOMPARE(f.awaitCommands(int(sent.size())), sent);
    QTRY_COMPARE_WITH_TIMEOUT(shown(c), stored, 5000);
    QVERIFY(!waiting(w));
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());

    f.sim.setFaults(faults);
    pick(w, c, position, ways[1]);
    QCOMPARE(f.awaitCommands(int(sent.size())), sent);
    QTRY_VERIFY_WITH_TIMEOUT(!waiting(w), 5000);
    QCOMPARE(shown(c), picked);
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

// Legal values the window never writes: no group or list shows a choice the scaler did not report, and
// "Automatic" never stands beside channel buttons that can be picked, neither on a pick nor on its return.
void TestPageReports::oddValuesShowNoFalseSelection() {
    SimWindowFixture f(33);
    OxsSim::FaultSettings odd;
    odd.oddValues = true;
    f.sim.setFaults(odd);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    QCOMPARE(w.RdoOutputType->ItemIndex(), -1); // OTYPEM 0
    QCOMPARE(w.CboOutputFormat->currentIndex(), -1);
    QCOMPARE(w.CboOutputRate->currentIndex(), -1);
    const auto channels = w.AudioButtons();
    QVERIFY(std::none_of(channels.begin(), channels.end(), [](QRadioButton *b) { return b->isChecked(); }));
    QVERIFY(w.RdoAMODEM->isChecked() && !anyChannelEnabled(w)); // AMODEM 2 is automatic

    // A pick the scaler answers with "unchanged" is not shown as if it were in force.
    w.RdoOutputType->button(1)->click();
    QTRY_COMPARE(f.driver().OTYPEM(), 2u);
    odd.ignoreCommands = QStringList{"oY", "RO"};
    f.sim.setFaults(odd);
    w.RdoOutputType->button(2)->click();
    f.driver().TcpReceive("OTYP0\r\n");
    QCOMPARE(w.RdoOutputType->ItemIndex(), 1);

    w.RdoAMODEM->click();
    QVERIFY(!w.RdoAMODEM->isChecked() && anyChannelEnabled(w));
    QTRY_VERIFY_WITH_TIMEOUT(w.RdoAMODEM->isChecked(), 5000);
    QVERIFY(!anyChannelEnabled(w));
    f.settle();
    QCOMPARE(f.takeCommands(), (QStringList{"2oY", "3oY", "1RO"}));
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
    QVERIFY(!opened && w.isVisible());
    QCOMPARE(w.LblFrameNotAvailable->text(), QString("Not available (Upload needs the RS232 link)"));
    QVERIFY(!w.LblFrameNotAvailable->isHidden());
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

QTEST_MAIN(TestPageReports)
#include "tst_page_reports.moc"
