// The Image page against the simulated scaler: what each gesture sends, byte for byte, that the controls
// follow the scaler's replies only and never send them back, the drag guard, the Enter-only edit boxes,
// and the value conversion on its own.
#include "Conversion.h"
#include "FrmScrollbar.h"
#include "SimWindowFixture.h"

#include <QComboBox>
#include <QStyle>
#include <QStyleOptionSlider>

using namespace OrlanVars;

namespace {

QPoint thumbCentre(const QScrollBar *bar) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = Qt::Horizontal;
    opt.state |= QStyle::State_Horizontal;
    opt.maximum = bar->maximum();
    opt.sliderPosition = opt.sliderValue = bar->sliderPosition();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar).center();
}

void mouse(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButtons held) {
    QMouseEvent e(type, pos, w->mapToGlobal(pos), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// The window on the simulator with the Image page open and every slider shown (NTSC input).
bool openImagePage(SimWindowFixture &f) {
    if (!f.start()) return false;
    f.form().show();
    f.form().PageControl->setCurrentWidget(f.form().TabSheetImage);
    f.sim.setReported(VAR_IFAMM, 2);
    if (!QTest::qWaitFor([&] { return f.form().FrameScrollHue->isVisible(); }, 2000)) return false;
    f.settle();
    return f.takeCommands().isEmpty();
}

} // namespace

class TestImagePage : public QObject {
    Q_OBJECT
  private slots:
    void conversion_data();
    void conversion();
    void conversionRoundTripsTheWholeRange();
    void everySliderSendsAndFollowsReplies();
    void dragGuardKeepsTheThumbUnderThePointer();
    void editBoxActsOnEnterOnly_data();
    void editBoxActsOnEnterOnly();
    void listsAndButtonsSendPicksAndShowOnlyReportedValues();
    void disconnectedGesturesSendNothing();
};

void TestImagePage::conversion_data() {
    QTest::addColumn<QList<int>>("ranges"); // min driver, max driver, min shown, max shown
    QTest::addColumn<qint64>("driver");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("entered");
    QTest::addColumn<int>("back");
    // 1 x 1/2 - 1 = -0.5 rounds away from zero; 3 x 1/4 - 1 = -0.25 shows 0, not -0. Back: 1 x 1/2 = 0.5.
    QTest::newRow("halves below zero") << QList<int>{0, 2, -1, 0} << qint64(1) << "-1" << 0 << 2;
    QTest::newRow("no negative zero") << QList<int>{0, 4, -1, 0} << qint64(3) << "0" << -1 << 0;
    QTest::newRow("halves back") << QList<int>{0, 1, 0, 2} << qint64(1) << "2" << 1 << 1;
    // Only the span of the scaler's range counts: scaler 0, not ValMinDriver, is the lowest shown value.
    QTest::newRow("ValMinDriver only through the span")
        << QList<int>{10, 265, -128, 127} << qint64(0) << "-128" << 127 << 255;
    // Far beyond the three digits the display is made for: shown whole, saturating, no overflow.
    QTest::newRow("huge scaler value")
        << QList<int>{0, 255, -128, 127} << qint64(4294967295) << "4294967167" << 0 << 128;
    QTest::newRow("huge spans") << QList<int>{INT_MIN, INT_MAX, INT_MIN, INT_MAX} << qint64(INT_MAX) << "-1"
                                << INT_MAX << INT_MAX;
}

void TestImagePage::conversion() {
    QFETCH(QList<int>, ranges);
    QFETCH(qint64, driver);
    QFETCH(QString, shown);
    QFETCH(int, entered);
    QFETCH(int, back);
    TConversion c;
    c.SetValMinDriver(ranges[0]);
    c.SetValMaxDriver(ranges[1]);
    c.SetValMinAffichage(ranges[2]);
    c.SetValMaxAffichage(ranges[3]);
    QString text;
    c.PositionDriver(driver, text);
    QCOMPARE(text, shown);
    QCOMPARE(c.PositionAffichage(entered), back);
}

void TestImagePage::conversionRoundTripsTheWholeRange() {
    TConversion c; // the window's settings are the declared defaults
    QString text;
    for (int d = 0; d <= 255; ++d) {
        c.PositionDriver(d, text);
        QCOMPARE(text.toInt(), d - 128);
        QCOMPARE(c.PositionAffichage(text.toInt()), d);
    }
}

void TestImagePage::everySliderSendsAndFollowsReplies() {
    SimWindowFixture f(33);
    QVERIFY(openImagePage(f));
    TForm_OXS &w = f.form();
    const std::tuple<TFrameScrollBar *, int, QString> sliders[] = {
        {w.FrameScrollHPos, VAR_HPOS, "H"},       {w.FrameScrollHSize, VAR_HSIZ, "W"},
        {w.FrameScrollVPos, VAR_VPOS, "V"},       {w.FrameScrollVSize, VAR_VSIZ, "S"},
        {w.FrameScrollBrightness, VAR_BRGT, "B"}, {w.FrameScrollContrast, VAR_CONTR, "D"},
        {w.FrameScrollColor, VAR_COLOR, "O"},     {w.FrameScrollHue, VAR_HUE, "T"}};
    for (const auto &[frame, var, command] : sliders) {
        QCOMPARE(frame->Edt->text(), QString("0")); // the dump's 128
        // An arrow key: the step, then the end of the gesture, both writing the new position.
        QTest::keyClick(frame->ScrollBar, Qt::Key_Right);
        QCOMPARE(f.awaitCommands(2), QStringList({"129" + command, "129" + command}));
        QTRY_COMPARE(frame->Edt->text(), QString("1"));
        QCOMPARE(frame->ScrollBar->value(), 129);
        // The scaler's own change moves thumb and edit box.
        f.sim.setReported(var, 0);
        QTRY_COMPARE(frame->Edt->text(), QString("-128"));
        QCOMPARE(frame->ScrollBar->value(), 0);
    }
    // Outside the scroll bar's range the edit box shows the value and the thumb stops at the end; the
    // colour is signed.
    f.sim.setReported(VAR_HSIZ, 300);
    f.sim.setReported(VAR_COLOR, quint32(-5));
    QTRY_COMPARE(w.FrameScrollColor->Edt->text(), QString("-133"));
    QCOMPARE(w.FrameScrollColor->ScrollBar->value(), 0);
    QCOMPARE(w.FrameScrollHSize->Edt->text(), QString("172"));
    QCOMPARE(w.FrameScrollHSize->ScrollBar->value(), 255);
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList()); // no reply was sent back
}

void TestImagePage::dragGuardKeepsTheThumbUnderThePointer() {
    SimWindowFixture f(33);
    QVERIFY(openImagePage(f));
    TForm_OXS &w = f.form();
    TFrameScrollBar *frame = w.FrameScrollHPos;
    QScrollBar *bar = frame->ScrollBar;

    QPoint at = thumbCentre(bar);
    mouse(bar, QEvent::MouseButtonPress, at, Qt::LeftButton);
    at.rx() += 10;
    mouse(bar, QEvent::MouseMove, at, Qt::LeftButton);
    const int dragged = bar->sliderPosition();
    QVERIFY(dragged > 128);
    QCOMPARE(f.awaitCommands(), QStringList{QString::number(dragged) + "H"}); // grabbing alone sent nothing
    QCOMPARE(frame->Edt->text(), QString::number(dragged - 128));

    // The scaler reports something else while the operator holds the thumb: the edit box shows it, the
    // thumb stays.
    f.sim.setReported(VAR_HPOS, 20);
    QTRY_COMPARE(frame->Edt->text(), QString("-108"));
    QCOMPARE(bar->value(), dragged);

    // The release ends the gesture: the position once more, and replies move the thumb again.
    mouse(bar, QEvent::MouseButtonRelease, at, Qt::NoButton);
    QCOMPARE(f.awaitCommands(), QStringList{QString::number(dragged) + "H"});
    QCOMPARE(bar->value(), dragged);
    f.sim.setReported(VAR_HPOS, 20);
    QTRY_COMPARE(bar->value(), 20);

    // A drag cut off by the page hiding its groups (the signal is lost) sends nothing more and leaves the
    // thumb free for the next reply.
    at = thumbCentre(bar);
    mouse(bar, QEvent::MouseButtonPress, at, Qt::LeftButton);
    at.rx() += 10;
    mouse(bar, QEvent::MouseMove, at, Qt::LeftButton);
    QCOMPARE(f.awaitCommands().size(), 1);
    f.sim.setReported(VAR_IFAMM, 0);
    QTRY_VERIFY(!w.GrpSizePos->isVisible());
    mouse(bar, QEvent::MouseButtonRelease, at, Qt::NoButton);
    f.sim.setReported(VAR_IFAMM, 3);
    f.sim.setReported(VAR_HPOS, 50);
    QTRY_COMPARE(bar->value(), 50);
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());
}

void TestImagePage::editBoxActsOnEnterOnly_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("shownAfter");
    auto row = [](const char *name, const char *typed, const char *sent, const char *shownAfter) {
        QTest::newRow(name) << QString(typed) << QString(sent) << QString(shownAfter);
    };
    row("top of the range", "127", "255B", "127");
    row("bottom of the range", "-128", "0B", "-128");
    row("centre, blanks around", " 0 ", "128B", "0");
    // Out of range: the stored value (140) again, and the reply puts it back.
    row("128", "128", "140B", "12");
    row("-129", "-129", "140B", "12");
    row("beyond 32 bits", "4294967424", "140B", "12");
    // Not a whole number: a message, nothing sent, the text left for the operator to mend.
    row("letters", "12abc", "", "12abc");
    row("empty", "", "", "");
    row("decimal", "1.5", "", "1.5");
}

void TestImagePage::editBoxActsOnEnterOnly() {
    QFETCH(QString, typed);
    QFETCH(QString, sent);
    QFETCH(QString, shownAfter);
    SimWindowFixture f(40);
    QVERIFY(openImagePage(f));
    QLineEdit *edit = f.form().FrameScrollBrightness->Edt;
    f.sim.setReported(VAR_BRGT, 140);
    QTRY_COMPARE(edit->text(), QString("12"));

    edit->clear();
    QTest::keyClicks(edit, typed);
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList()); // typing alone sends nothing
    QTest::keyClick(edit, Qt::Key_Return);
    const QStringList expected = sent.isEmpty() ? QStringList() : QStringList{sent};
    QCOMPARE(f.awaitCommands(expected.size()), expected);
    QTRY_COMPARE(edit->text(), shownAfter);
    QCOMPARE(f.prompts().asked.size(), sent.isEmpty() ? 1 : 0);
    if (sent.isEmpty()) {
        QCOMPARE(f.prompts().asked[0].icon, Prompts::Icon::Error);
        QVERIFY(f.prompts().asked[0].text.contains("is not a whole number"));
    }
}

void TestImagePage::listsAndButtonsSendPicksAndShowOnlyReportedValues() {
    SimWindowFixture f(33);
    QVERIFY(openImagePage(f));
    TForm_OXS &w = f.form();
    const std::tuple<QComboBox *, Qt::Key, QString, int> picks[] = {
        {w.CboInputAspectRatio, Qt::Key_End, "2QA", 2},
        {w.CboOutputAspectRatio, Qt::Key_Down, "1QS", 1},
        {w.CboUnderOverscan, Qt::Key_Down, "1QO", 1},
        {w.CboProcessing, Qt::Key_End, "7QP", 7}};
    for (const auto &[list, key, command, shown] : picks) {
        QCOMPARE(list->currentIndex(), 0); // the dump's 0
        QTest::keyClick(list, key);
        QCOMPARE(f.awaitCommands(), QStringList{command});
        QCOMPARE(list->currentIndex(), shown);
    }

    // Values outside a list select nothing; Under/overscan is a Boolean, so any non-zero is "Overscan".
    f.sim.setReported(VAR_IASP, 3);
    f.sim.setReported(VAR_OASP, 4000000000u);
    f.sim.setReported(VAR_PROC, 8);
    f.sim.setReported(VAR_OVER, 5);
    QTRY_COMPARE(w.CboProcessing->currentIndex(), -1);
    QCOMPARE(w.CboInputAspectRatio->currentIndex(), -1);
    QCOMPARE(w.CboOutputAspectRatio->currentIndex(), -1);
    QCOMPARE(w.CboUnderOverscan->currentIndex(), 1);
    f.sim.setReported(VAR_PROC, 3); // back inside the list
    QTRY_COMPARE(w.CboProcessing->currentIndex(), 3);
    f.settle();
    QCOMPARE(f.takeCommands(), QStringList());

    // Reset centres (position only), Preset restores the picture; the sliders follow the scaler's reports.
    f.sim.setReported(VAR_HPOS, 10);
    f.sim.setReported(VAR_BRGT, 30);
    QTRY_COMPARE(w.FrameScrollBrightness->ScrollBar->value(), 30);
    QTest::mouseClick(w.BtnCenter, Qt::LeftButton);
    QCOMPARE(f.awaitCommands(), QStringList{"1yC"});
    QTRY_COMPARE(w.FrameScrollHPos->Edt->text(), QString("0"));
    QCOMPARE(w.FrameScrollBrightness->Edt->text(), QString("-98"));
    QTest::mouseClick(w.BtnPicturePreset, Qt::LeftButton);
    QCOMPARE(f.awaitCommands(), QStringList{"1yP"});
    QTRY_COMPARE(w.FrameScrollBrightness->Edt->text(), QString("0"));
}

// Without a scaler the driver refuses every write: nothing leaves, nothing fails, the controls keep the
// operator's doing, and the first replies put the scaler's values in.
void TestImagePage::disconnectedGesturesSendNothing() {
    WindowFixture w;
    w.start();
    TForm_OXS &form = *w.form;
    int sent = 0;
    w.driver().OnSentString = [&sent](TOrlan_d *, int32_t) { ++sent; };
    form.show();
    form.PageControl->setCurrentWidget(form.TabSheetImage);
    form.GrpSizePos->show();
    form.GrpPicture->show();
    for (QComboBox *list :
         {form.CboInputAspectRatio, form.CboOutputAspectRatio, form.CboUnderOverscan, form.CboProcessing})
        QCOMPARE(list->currentIndex(), -1); // nothing reported yet

    QTest::keyClick(form.FrameScrollHPos->ScrollBar, Qt::Key_Left);
    QCOMPARE(form.FrameScrollHPos->ScrollBar->value(), 127);
    QTest::keyClicks(form.FrameScrollHPos->Edt, "5");
    QTest::keyClick(form.FrameScrollHPos->Edt, Qt::Key_Enter);
    QTest::keyClick(form.CboProcessing, Qt::Key_End);
    QTest::mouseClick(form.BtnCenter, Qt::LeftButton);
    QCOMPARE(sent, 0);
    QCOMPARE(form.CboProcessing->currentIndex(), 7);

    w.driver().SetConType(CON_RS232);
    w.feed("HP10\r\nPRO9\r\n");
    QCOMPARE(form.FrameScrollHPos->ScrollBar->value(), 10);
    QCOMPARE(form.FrameScrollHPos->Edt->text(), QString("-118"));
    QCOMPARE(form.CboProcessing->currentIndex(), -1);
    QCOMPARE(sent, 0);
}

QTEST_MAIN(TestImagePage)
#include "tst_image_page.moc"
