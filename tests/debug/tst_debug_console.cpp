// The debug console window on a driver whose links are recorded: what it sends, what it logs and filters,
// its buttons and their file, the value converter, its geometry and the hot key that opens it.
#include "Debug.h"
#include "driver/DriverFixture.h"
#include "ui/WindowFixture.h"

#include <QAbstractItemView>
#include <QListWidget>
#include <QScreen>
#include <QTextBlock>
#include <QWheelEvent>

namespace {

struct Console {
    QTemporaryDir dir;
    DriverFixture d;
    RecordingPrompts *prompts = new RecordingPrompts;
    std::unique_ptr<TForm_debug> form;

    explicit Console(const QByteArray &buttonFile = {}) {
        QApplication::setFont(TForm_OXS::ApplicationFont());
        Prompts::install(std::unique_ptr<Prompts>(prompts));
        if (!buttonFile.isNull()) writeTestFile(iniPath(), buttonFile);
        form = std::make_unique<TForm_debug>(*d.drv, dir.path());
    }
    ~Console() {
        form.reset();
        Prompts::install(nullptr);
    }
    QString iniPath() const { return dir.filePath("Debug.ini"); }
    QByteArrayList sent() {
        QByteArrayList s = d.serial().sent;
        d.serial().sent.clear();
        return s;
    }
    QStringList logLines() const { return form->LogLines(); }
    QStringList shownLines() const { return form->Memo_recu->toPlainText().split('\n', Qt::SkipEmptyParts); }
    QString lastEnvLine() const { return form->Memo_env->document()->lastBlock().text(); }
    void setChecked(const QString &pair, bool checked) {
        const auto items = form->CheckListBox_bloque_reception_rs->findItems(pair, Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        items.first()->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    bool isChecked(const QString &pair) const {
        return form->CheckListBox_bloque_reception_rs->findItems(pair, Qt::MatchExactly)
                   .first()
                   ->checkState() == Qt::Checked;
    }
    void select(const QString &text) {
        form->FlushLog();
        QTextCursor c = form->Memo_recu->document()->find(text);
        QVERIFY(!c.isNull());
        form->Memo_recu->setTextCursor(c);
    }
};

} // namespace

class TestDebugConsole : public QObject {
    Q_OBJECT
  private slots:
    void createdHiddenLogsFromStart();
    void typedCommandsGoOutUnchanged();
    void mnemonicListComposes();
    void mnemonicListKeysOnlyMove();
    void watchListThroughTheWindow();
    void logRenderedOnlyWhileShown();
    void buttonsAndTheirFile();
    void unreadableButtonFileKept();
    void converterFromSelection();
    void converterEdits();
    void converterBadSelections();
    void converterPanelDrags();
    void geometry();
    void forceConnect();
    void hotKeyOpensConsole();
};

void TestDebugConsole::createdHiddenLogsFromStart() {
    Console c;
    TForm_debug &f = *c.form;
    QVERIFY(!f.isVisible());
    QCOMPARE(f._->count(), 88);
    QCOMPARE(f._->currentIndex(), 0);
    QCOMPARE(f.Memo_env->document()->findBlockByNumber(25).text(), QString("H->HP"));
    for (int i = 0; i < 88; ++i)
        QCOMPARE(f.CheckListBox_bloque_reception_rs->item(i)->checkState(), Qt::Checked);

    // Replies are logged while the window has never been shown, those without a value included.
    c.d.drv->SerialReceive("HP100\r\nHP\r\nXYZ1\r\nDEV33\r\n");
    QCOMPARE(c.logLines(), (QStringList{"HP100\t 0064h\t 0000.0000.0110.0100b", "HP",
                                        "DEV33\t 0021h\t 0000.0000.0010.0001b"}));
    f.BitBtn_clear->click();
    QVERIFY(f.Memo_recu->toPlainText().isEmpty() && f.Memo_env->toPlainText().isEmpty());
}

void TestDebugConsole::typedCommandsGoOutUnchanged() {
    Console c;
    TForm_debug &f = *c.form;
    f.show();
    QTest::keyClicks(f.Memo_env, "100H");
    QCOMPARE(f.Label1->text(), QString("100H"));
    QVERIFY(c.sent().isEmpty());
    QTest::keyClick(f.Memo_env, Qt::Key_Return);
    QCOMPARE(c.sent(), QByteArrayList{"100H"});
    QCOMPARE(f.Label1->text(), QString());

    // Backspace takes back the last character and the spaces before it; a shortcut adds nothing.
    QTest::keyClicks(f.Memo_env, "5 V");
    QTest::keyClick(f.Memo_env, Qt::Key_Backspace);
    QTest::keyClick(f.Memo_env, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClicks(f.Memo_env, "W");
    QTest::keyClick(f.Memo_env, Qt::Key_Enter);
    QCOMPARE(c.sent(), QByteArrayList{"5W"});
    QTest::keyClick(f.Memo_env, Qt::Key_Return); // nothing composed: nothing sent
    QVERIFY(c.sent().isEmpty());

    // Keys typed on the mnemonic list compose too, and do not move its selection.
    QTest::keyClicks(f._, "1Z");
    QTest::keyClick(f._, Qt::Key_Return);
    QCOMPARE(c.sent(), QByteArrayList{"1Z"});
    QCOMPARE(f._->currentIndex(), 0);
}

void TestDebugConsole::mnemonicListComposes() {
    Console c;
    TForm_debug &f = *c.form;
    QTest::keyClicks(f.Memo_env, "100");
    emit f._->activated(25); // H
    QCOMPARE(f.CommandText(), QString("100H"));
    QCOMPARE(c.lastEnvLine(), QString("100H"));
    QCOMPARE(f.Label1->text(), QString("100H"));
    QVERIFY(c.sent().isEmpty());

    // A click on the check list selects the line in the mnemonic list; a double click composes.
    QListWidget *list = f.CheckListBox_bloque_reception_rs;
    emit list->itemClicked(list->item(26));
    QCOMPARE(f._->currentIndex(), 26);
    QCOMPARE(f.CommandText(), QString("100H"));
    emit list->itemDoubleClicked(list->item(3));
    QCOMPARE(f.CommandText(), QString("100H?"));
    QVERIFY(c.sent().isEmpty());
}

// The closed list: arrow keys, page keys and the wheel move the selection only. A click or Enter in the
// opened list adds the line's mnemonic.
void TestDebugConsole::mnemonicListKeysOnlyMove() {
    Console c;
    TForm_debug &f = *c.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QString memo = f.Memo_env->toPlainText();
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Up})
        QTest::keyClick(f._, key);
    QCOMPARE(f._->currentIndex(), 2);
    QTest::keyClick(f._, Qt::Key_End);
    QTest::keyClick(f._, Qt::Key_Home);
    QCOMPARE(f._->currentIndex(), 0);
    QWheelEvent wheel(QPointF(5, 5), f._->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f._, &wheel);
    QCOMPARE(f._->currentIndex(), 1);
    QCOMPARE(f.CommandText(), QString());
    QCOMPARE(f.Memo_env->toPlainText(), memo);

    // Opened: Enter on a line adds it, and so does a click.
    f._->showPopup();
    QAbstractItemView *view = f._->view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(view->model()->index(25, 0)); // H
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
    QCOMPARE(f.CommandText(), QString("H"));
    QCOMPARE(c.lastEnvLine(), QString("H"));
    f._->showPopup();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex v = view->model()->index(26, 0); // V
    view->scrollTo(v);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(v).center());
    QTRY_VERIFY(!view->isVisible());
    QCOMPARE(f.CommandText(), QString("HV"));
    QVERIFY(c.sent().isEmpty());
}

void TestDebugConsole::watchListThroughTheWindow() {
    Console c;
    TForm_debug &f = *c.form;
    // With everything shown, unchecking H->HP is undone and HP replies still show.
    c.setChecked("H->HP", false);
    QVERIFY(c.isChecked("H->HP"));
    c.d.drv->SerialReceive("HP1\r\n");
    QCOMPARE(c.logLines().size(), 1);

    // "Disable all", then H->HP: only HP replies.
    f.SpeedButton_Disable_all->click();
    QVERIFY(f.SpeedButton_Disable_all->isChecked());
    QVERIFY(!c.isChecked("H->HP") && !c.isChecked("?->DEV"));
    QVERIFY(f.BitBtn_desactive_var->isEnabled());
    c.d.drv->SerialReceive("HP2\r\n");
    c.setChecked("H->HP", true);
    QCOMPARE(f.SpeedButton_Disable_all->text(), QString("Disable all 1 / 5"));
    c.d.drv->SerialReceive("HP3\r\nVP4\r\nDEV33\r\n");
    QCOMPARE(c.logLines().size(), 2);
    QVERIFY(c.logLines().last().startsWith("HP3\t"));

    // A sixth line brings back every line, DEV's excepted, and the caption "Disable all".
    for (const char *pair : {"V->VP", "W->HW", "S->VS", "B->BRG"})
        c.setChecked(pair, true);
    QCOMPARE(f.SpeedButton_Disable_all->text(), QString("Disable all 5 / 5"));
    QVERIFY(f.SpeedButton_Disable_all->isChecked());
    c.setChecked("D->CON", true);
    QCOMPARE(f.SpeedButton_Disable_all->text(), QString("Disable all"));
    QVERIFY(!f.SpeedButton_Disable_all->isChecked());
    QVERIFY(!f.BitBtn_desactive_var->isEnabled());
    for (int i = 0; i < 88; ++i)
        QCOMPARE(f.CheckListBox_bloque_reception_rs->item(i)->checkState() == Qt::Checked, i != 3);
    c.d.drv->SerialReceive("VP5\r\nCON6\r\n");
    QCOMPARE(c.logLines().size(), 4);

    // Unchecking DEV hides DEV replies.
    c.setChecked("?->DEV", true);
    c.setChecked("?->DEV", false);
    QVERIFY(!c.isChecked("?->DEV"));
    c.d.drv->SerialReceive("DEV33\r\nHP7\r\n");
    QVERIFY(c.logLines().last().startsWith("HP7\t"));
    QCOMPARE(c.logLines().size(), 5);
}

// Hidden, the console keeps its log in the bounded buffer and leaves Memo_recu empty; shown, Memo_recu gets
// the last lines at once and new ones in batches; hidden again, it lets them go.
void TestDebugConsole::logRenderedOnlyWhileShown() {
    Console c;
    TForm_debug &f = *c.form;
    const int total = TForm_debug::kMaxLogLines + 1500;
    for (int i = 0; i < total; i += 500) {
        QByteArray chunk;
        for (int j = i; j < i + 500; ++j)
            chunk += "HP" + QByteArray::number(j) + "\r\n";
        c.d.drv->SerialReceive(chunk);
    }
    QCOMPARE(f.Log().size(), TForm_debug::kMaxLogLines);
    QCOMPARE(f.Memo_recu->document()->characterCount(), 1); // empty
    QVERIFY2(f.Log().storedBytes() < 2 * 1000 * 1000, QByteArray::number(f.Log().storedBytes()));

    f.show();
    QTextDocument *doc = f.Memo_recu->document();
    QCOMPARE(doc->blockCount(), TForm_debug::kMaxLogLines);
    QCOMPARE(doc->firstBlock().text(), QString("HP1500\t 05DCh\t 0000.0101.1101.1100b"));
    QCOMPARE(doc->lastBlock().text(), QString("HP101499\t 18C7Bh\t 0001.1000.1100.0111.1011b"));

    // Shown: the next lines arrive together within a batch, filtered as before.
    c.d.drv->SerialReceive("HP5\r\nVP6\r\n");
    QCOMPARE(doc->lastBlock().text().left(8), QString("HP101499"));
    QTRY_COMPARE_WITH_TIMEOUT(doc->lastBlock().text(), QString("VP6\t 0006h\t 0000.0000.0000.0110b"), 2000);
    QCOMPARE(c.shownLines(), c.logLines());

    f.hide();
    c.d.drv->SerialReceive("HP7\r\n");
    QCOMPARE(doc->characterCount(), 1);
    f.show();
    QCOMPARE(doc->lastBlock().text().left(4), QString("HP7\t"));
    f.BitBtn_clear->click();
    QCOMPARE(f.Log().size(), 0);
    c.d.drv->SerialReceive("HP8\r\n");
    f.FlushLog();
    QCOMPARE(c.shownLines(), QStringList{"HP8\t 0008h\t 0000.0000.0000.1000b"});
}

void TestDebugConsole::buttonsAndTheirFile() {
    Console c("desc1=Adresse\r\nadon1=1@\r\ndesc2=Lire\r\nadon2=>\r\nadon3=3@\r\n");
    TForm_debug &f = *c.form;
    QCOMPARE(f.ButtonList().size(), 26);
    QCOMPARE(f.BitBtn_ADBG_1->text(), QString("Adresse"));
    QCOMPARE(f.BitBtn_ADBG_1->toolTip(), QString("1@"));
    QCOMPARE(f.BitBtn_ADBG_3->text(), QString()); // no desc3 line
    QCOMPARE(f.BitBtn_ADBG_3->toolTip(), QString("3@"));
    QCOMPARE(f.BitBtn_ADBG_26->text(), QString());

    f.show();
    QTest::mouseClick(f.BitBtn_ADBG_2, Qt::LeftButton);
    QCOMPARE(c.sent(), QByteArrayList{">"});
    QTest::mouseClick(f.BitBtn_ADBG_4, Qt::LeftButton); // no command
    QVERIFY(c.sent().isEmpty());

    // The right button edits the description, then the command; a cancelled box keeps the old text.
    c.prompts->inputs = QStringList{"Registre 7", "7@"};
    QTest::mouseClick(f.BitBtn_ADBG_4, Qt::RightButton);
    QCOMPARE(f.BitBtn_ADBG_4->text(), QString("Registre 7"));
    QCOMPARE(f.ButtonCommand(3), QString("7@"));
    QCOMPARE(c.prompts->asked.at(1).text, QString("Registre 7")); // the second box prompts the new caption
    QVERIFY(c.sent().isEmpty());
    QTest::mouseClick(f.BitBtn_ADBG_1, Qt::RightButton); // both cancelled
    QCOMPARE(f.BitBtn_ADBG_1->text(), QString("Adresse"));
    QCOMPARE(f.ButtonCommand(0), QString("1@"));

    f.close();
    const QByteArray written = readTestFile(c.iniPath());
    QVERIFY(written.startsWith("desc1=Adresse\r\nadon1=1@\r\ndesc2=Lire\r\nadon2=>\r\ndesc3=\r\nadon3=3@\r\n"
                               "desc4=Registre 7\r\nadon4=7@\r\n"));
    QCOMPARE(written.count('\n'), 52);

    // Without a file the buttons keep their first caption.
    Console fresh;
    QCOMPARE(fresh.form->BitBtn_ADBG_26->text(), QString("..@..> Click"));
    QVERIFY(fresh.form->BitBtn_ADBG_26->toolTip().isEmpty());
}

void TestDebugConsole::unreadableButtonFileKept() {
    // A folder where the file should be: the buttons keep their captions and closing does not replace it.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("Debug.ini"));
    DriverFixture d;
    {
        TForm_debug f(*d.drv, dir.path());
        QCOMPARE(f.BitBtn_ADBG_1->text(), QString("..@..> Click"));
        f.close();
    }
    QVERIFY(QFileInfo(dir.filePath("Debug.ini")).isDir());

    // Buttons edited while the program ends with the window open are written.
    Console c;
    c.prompts->inputs = QStringList{"Un", "1@"};
    c.form->BitBtn_ADBG_Click(0);
    c.form->BitBtn_ADBG_MouseUp(0);
    c.form.reset();
    QVERIFY(readTestFile(c.iniPath()).startsWith("desc1=Un\r\nadon1=1@\r\n"));
}

void TestDebugConsole::converterFromSelection() {
    Console c;
    TForm_debug &f = *c.form;
    f.show();
    c.d.drv->SerialReceive("VP5\r\nHP100\r\n");
    c.select("HP100");
    f.BitBtn_Operation_logique->click();
    QVERIFY(f.Panel1->isVisible());
    QCOMPARE(f.Label_variable->text(), QString("HP "));
    QCOMPARE(f.Label_valeur_dec->text(), QString("100 "));
    QCOMPARE(f.Edit_valeur_dec->text(), QString("100 "));
    QCOMPARE(f.Label_valeur_hex->text(), QString("0064 "));
    QCOMPARE(f.Label_valeur_bin->text(), QString("0000.0000.0110.0100b "));
    QString bits;
    for (QLineEdit *e : f.BitEdits())
        bits += e->text();
    QCOMPARE(bits, QString("0000000001100100")); // Edit10, Edit11 and Edit14
    QVERIFY(f.Button_envoie->isEnabled());

    // Envoie sends the value without the label's blank, followed by the variable's command mnemonic.
    f.Button_envoie->click();
    QCOMPARE(c.sent(), QByteArrayList{"100H"});

    // Edit1 sets bit 15.
    QTest::mouseClick(f.Edit1, Qt::LeftButton);
    QCOMPARE(f.Edit1->text(), QString("1"));
    QCOMPARE(f.Label_valeur_dec->text(), QString("32868"));
    QCOMPARE(f.Edit_valeur_hex->text(), QString("8064 "));
    QCOMPARE(f.Label_valeur_bin->text(), QString("1000.0000.0110.0100b"));
    f.Button_envoie->click();
    QCOMPARE(c.sent(), QByteArrayList{"32868H"});
    QTest::mouseClick(f.Edit1, Qt::LeftButton);
    QCOMPARE(f.Label_valeur_dec->text(), QString("100"));

    // "Desactiver reception" flips the variable's line in the watch list.
    f.SpeedButton_Disable_all->click();
    f.BitBtn_desactive_var->click();
    QVERIFY(c.isChecked("H->HP"));
    QCOMPARE(f.SpeedButton_Disable_all->text(), QString("Disable all 1 / 5"));
    f.BitBtn_desactive_var->click();
    QVERIFY(!c.isChecked("H->HP"));

    // Ok puts the value into the command; Annuler only hides.
    f.BitBtn_Operation_logique->click();
    f.BitBtn_Operation_logique->click(); // filled again from the selection: "100 "
    QCOMPARE(f.Label_valeur_dec->text(), QString("100 "));
    f.BitBtn_OK->click();
    QVERIFY(f.Panel1->isHidden());
    QCOMPARE(f.CommandText(), QString("100"));
    QCOMPARE(c.lastEnvLine(), QString("100"));
    emit f._->activated(25); // H: a whole command
    QTest::keyClick(f.Memo_env, Qt::Key_Return);
    QCOMPARE(c.sent(), QByteArrayList{"100H"});
    f.BitBtn_Operation_logique->click();
    f.BitBtn_Annuler->click();
    QVERIFY(f.Panel1->isHidden());
    QVERIFY(c.sent().isEmpty());
}

void TestDebugConsole::converterEdits() {
    Console c;
    TForm_debug &f = *c.form;
    f.show();
    f.BitBtn_Operation_logique->click(); // nothing selected
    QCOMPARE(f.Label_variable->text(), QString("Conversion (aucune valeur d'entrer)"));
    QCOMPARE(f.Label_valeur_bin->text(), QString("0000.0000.0000.0000b"));
    QVERIFY(!f.Button_envoie->isEnabled());

    // Hexadecimal: 7 and Enter gives 0007 and 7; letters arrive in upper case, at most four digits.
    f.Edit_valeur_hex->clear();
    QTest::keyClick(f.Edit_valeur_hex, '7');
    QTest::keyClick(f.Edit_valeur_hex, Qt::Key_Return);
    QCOMPARE(f.Edit_valeur_hex->text(), QString("0007"));
    QCOMPARE(f.Label_valeur_hex->text(), QString("0007"));
    QCOMPARE(f.Edit_valeur_dec->text(), QString("7"));
    QCOMPARE(f.BitEdits().last()->text(), QString("1"));
    f.Edit_valeur_hex->clear();
    QTest::keyClicks(f.Edit_valeur_hex, "fg-1a2b");
    QCOMPARE(f.Edit_valeur_hex->text(), QString("F1A2"));
    QTest::keyClick(f.Edit_valeur_hex, Qt::Key_Return);
    QCOMPARE(f.Label_valeur_dec->text(), QString("61858"));

    // Decimal: only digits; Enter converts.
    f.Edit_valeur_dec->clear();
    QTest::keyClicks(f.Edit_valeur_dec, "1x0.0");
    QCOMPARE(f.Edit_valeur_dec->text(), QString("100"));
    QTest::keyClick(f.Edit_valeur_dec, Qt::Key_Left); // keys that type nothing work as usual
    QTest::keyClick(f.Edit_valeur_dec, Qt::Key_Delete);
    QTest::keyClick(f.Edit_valeur_dec, Qt::Key_Backspace);
    QTest::keyClicks(f.Edit_valeur_dec, "00");
    QCOMPARE(f.Edit_valeur_dec->text(), QString("100"));
    QTest::keyClick(f.Edit_valeur_dec, Qt::Key_Enter);
    QCOMPARE(f.Label_valeur_dec->text(), QString("100"));
    QCOMPARE(f.Edit_valeur_hex->text(), QString("0064 "));
    QCOMPARE(f.Label_valeur_bin->text(), QString("0000.0000.0110.0100b"));

    // Above 16 bits the hexadecimal and binary forms grow; the bit edits work on the low 16 bits.
    f.Edit_valeur_dec->setText("100000");
    QTest::keyClick(f.Edit_valeur_dec, Qt::Key_Return);
    QCOMPARE(f.Label_valeur_hex->text(), QString("186A0 "));
    QTest::mouseClick(f.Edit16, Qt::LeftButton);
    QCOMPARE(f.Label_valeur_dec->text(), QString("100001"));
    QCOMPARE(f.Label_valeur_bin->text(), QString("0001.1000.0110.1010.0001b"));
    QVERIFY(c.sent().isEmpty());
}

void TestDebugConsole::converterBadSelections() {
    Console c;
    TForm_debug &f = *c.form;
    f.show();
    c.d.drv->SerialReceive("HP100\r\nHP\r\nHP99999999999999999999\r\n");

    // A value too large for the scaler stops the filling; Envoie sends nothing.
    c.select("HP99999999999999999999");
    f.BitBtn_Operation_logique->click();
    QCOMPARE(f.Label_variable->text(), QString("HP "));
    QCOMPARE(f.Label_valeur_dec->text(), QString("99999999999999999999 "));
    f.Button_envoie->click();
    QVERIFY(c.sent().isEmpty());
    f.Edit_valeur_dec->setText("4294967296");
    QTest::keyClick(f.Edit_valeur_dec, Qt::Key_Return);
    f.Button_envoie->click();
    QVERIFY(c.sent().isEmpty());

    // A selection without digits.
    f.BitBtn_Operation_logique->click();
    QTextCursor cursor(f.Memo_recu->document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    f.Memo_recu->setTextCursor(cursor);
    f.BitBtn_Operation_logique->click();
    QCOMPARE(f.Label_variable->text(), QString("HP "));
    QCOMPARE(f.Label_valeur_dec->text(), QString(" "));
    f.Button_envoie->click();
    QVERIFY(c.sent().isEmpty());
}

void TestDebugConsole::converterPanelDrags() {
    Console c;
    TForm_debug &f = *c.form;
    f.show();
    f.BitBtn_Operation_logique->click();
    const QPoint start = f.Panel1->pos();
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, f.Panel1->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(f.Panel1, &e);
    };
    send(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {10, 8}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, {40, 28}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {40, 28}, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(f.Panel1->pos(), start + QPoint(30, 20));

    // Dragged far away, it stays whole inside the window.
    send(QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, {5000, -5000}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {5000, -5000}, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(f.Panel1->pos(), QPoint(f.centralWidget()->width() - f.Panel1->width(), 0));
}

void TestDebugConsole::geometry() {
    Console c;
    TForm_debug &f = *c.form;
    f.move(30, 40);
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    const QRect desktop = f.screen()->availableGeometry();
    const int clear = f.BitBtn_clear->height();
    QCOMPARE(f.width(), 605);
    QCOMPARE(f.frameGeometry().bottom() + 1, desktop.bottom() + 1 - clear - 20);

    f.resize(800, 500);
    QTRY_COMPARE(f.height(), 500);
    QCOMPARE(f.width(), 605);
    auto bottomOf = [&](QWidget *w) { return w->mapTo(&f, QPoint(0, w->height())).y(); };
    const int client = bottomOf(f.centralWidget());
    QCOMPARE(f.Memo_env->height(), f.Memo_recu->height());
    QCOMPARE(bottomOf(f.BitBtn_clear), client - 10);
    QCOMPARE(f.BitBtn_clear->y(), f.Memo_env->y() + f.Memo_env->height());
    QCOMPARE(bottomOf(f.CheckListBox_bloque_reception_rs), client - 10);

    // Activated again, the window keeps the height it was given.
    f.hide();
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QCOMPARE(f.height(), 500);
}

void TestDebugConsole::forceConnect() {
    Console c;
    TForm_debug &f = *c.form;
    emit f.MenuForceConnect->aboutToShow();
    QVERIFY(f.MenuForceOff->isChecked() && !f.MenuForceOn->isChecked());
    f.MenuForceOn->trigger();
    QVERIFY(c.d.drv->ForceConn());
    emit f.MenuForceConnect->aboutToShow();
    QVERIFY(f.MenuForceOn->isChecked());
    c.d.drv->SetForceConn(false);
    emit f.MenuForceConnect->aboutToShow();
    QVERIFY(f.MenuForceOff->isChecked());
}

void TestDebugConsole::hotKeyOpensConsole() {
    WindowFixture w;
    w.start();
    TForm_debug console(w.driver(), w.dir->path());
    w.form->SetDebugConsole(&console);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));

    QCursor::setPos(w.form->StatusBar->mapToGlobal(QPoint(40, 8)));
    w.form->DebugHotKeyPressed();
    QVERIFY(console.isVisible());
    QVERIFY(!console.isModal());

    console.hide();
    QCursor::setPos(w.form->StatusBar->mapToGlobal(QPoint(w.form->StatusBar->width() - 5, 8)));
    w.form->DebugHotKeyPressed();
    QVERIFY(!console.isVisible());
}

QTEST_MAIN(TestDebugConsole)
#include "tst_debug_console.moc"
