// The Output page against the simulated scaler: the commands of each gesture, and controls that show only
// what the scaler reports.
#include "RadioGroup.h"
#include "SimWindowFixture.h"

using namespace OrlanVars;

namespace {
// The operator choosing an item: the list shows it and reports the choice.
void choose(QComboBox *list, int position) {
    list->setCurrentIndex(position);
    emit list->activated(position);
}
} // namespace

class TestOutputPage : public QObject {
    Q_OBJECT
  private slots:
    void formatsAndRates();
    void formatsOfOtherModels();
    void radioGroups();
};

// The Orlan Plus offers five rates except at UXGA; a rate item turns the lock off before it sets the rate.
void TestOutputPage::formatsAndRates() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    QCOMPARE(w.CboOutputFormat->currentText().simplified(), QString("XGA 1024x768 4/3"));
    QCOMPARE(w.CboOutputRate->currentText(), QString("Follow Input"));
    struct Step {
        QComboBox *list;
        int position;
        QStringList sent;
        QString rate;
        int rates;
    };
    const QList<Step> steps = {
        {w.CboOutputFormat, 1, {"0FM"}, "Follow Input", 5}, {w.CboOutputRate, 1, {"0XR", "1oR"}, "60 Hz", 5},
        {w.CboOutputRate, 3, {"0XR", "3oR"}, "75 Hz", 5},   {w.CboOutputFormat, 5, {"5FM"}, "60 Hz", 3},
        {w.CboOutputRate, 2, {"1XR"}, "Follow Input", 3},
    };
    for (const Step &s : steps) {
        choose(s.list, s.position);
        QCOMPARE(f.awaitCommands(int(s.sent.size())), s.sent);
        QCOMPARE(w.CboOutputRate->currentText(), s.rate);
        QCOMPARE(w.CboOutputRate->count(), s.rates);
    }
}

void TestOutputPage::formatsOfOtherModels() {
    {
        SimWindowFixture f(40);
        QVERIFY(f.start());
        choose(f.form().CboOutputFormat, 0);
        QCOMPARE(f.awaitCommands(), QStringList{"10FM"});
        QCOMPARE(f.form().CboOutputFormat->currentIndex(), 0);
    }
    SimWindowFixture f(32);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    // Code 5 is no format of the Orlan: none is shown, and the rates stay the Orlan's three.
    f.sim.setReported(VAR_OFMTM, 5);
    QTRY_COMPARE(w.CboOutputFormat->currentIndex(), -1);
    QCOMPARE(w.CboOutputRate->count(), 3);
    // With the lock off, the position of "Follow Input" is no rate; a list refilled for a new format shows no
    // rate until one of its own is reported.
    f.sim.setReported(VAR_REFREQ, 0);
    f.sim.setReported(VAR_ORATEM, 2);
    QTRY_COMPARE(w.CboOutputRate->currentIndex(), -1);
    f.sim.setReported(VAR_ORATEM, 9);
    f.sim.setReported(VAR_OFMTM, 2);
    QTRY_COMPARE(w.CboOutputFormat->currentIndex(), 3);
    QCOMPARE(w.CboOutputRate->currentIndex(), -1);
    QCOMPARE(f.takeCommands(), QStringList());
}

void TestOutputPage::radioGroups() {
    SimWindowFixture f(33);
    QVERIFY(f.start());
    TForm_OXS &w = f.form();
    QCOMPARE(w.RdoOutputType->ItemIndex(), 2); // OTYPEM 3: computer and DVI
    struct Click {
        RadioGroup *group;
        int position;
        QString sent;
    };
    for (const Click &c : QList<Click>{
             {w.RdoOutputSync, 1, "1FY"}, {w.RdoOutputType, 1, "2oY"}, {w.RdoTestPattern, 1, "1oP"}}) {
        c.group->button(c.position)->click();
        QCOMPARE(f.awaitCommands(), QStringList{c.sent});
        QCOMPARE(c.group->ItemIndex(), c.position);
    }
    // Reports: SOG; no output type keeps the choice; values beyond a group select nothing.
    f.sim.setReported(VAR_OSYNCM, 2);
    f.sim.setReported(VAR_OTYPEM, 0);
    f.sim.setReported(VAR_OPAT, 0);
    QTRY_COMPARE(w.RdoTestPattern->ItemIndex(), 0);
    QCOMPARE(w.RdoOutputSync->ItemIndex(), 2);
    QCOMPARE(w.RdoOutputType->ItemIndex(), 1);
    f.sim.setReported(VAR_OSYNCM, 3);
    f.sim.setReported(VAR_OTYPEM, 4);
    QTRY_COMPARE(w.RdoOutputType->ItemIndex(), -1);
    QCOMPARE(w.RdoOutputSync->ItemIndex(), -1);
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

QTEST_MAIN(TestOutputPage)
#include "tst_output_page.moc"
