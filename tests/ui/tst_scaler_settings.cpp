// The File menu's scaler settings files against a simulated scaler over loopback: what Save writes, what Load
// shows before it writes, that nothing goes out without the operator's confirmation, and that a refused
// value or a lost link is named rather than reported as written.

#include "DeviceVariables.h"
#include "ProfileFile.h"
#include "ReportLog.h"
#include "ScalerSettingsMenu.h"
#include "SimWindowFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProgressBar>
#include <QPushButton>

using namespace OrlanVars;

namespace {

// The simulated window with the settings menu attached before the link opens, as the program does.
struct SettingsWindow : SimWindowFixture {
    std::unique_ptr<TScalerSettingsMenu> menu;

    ~SettingsWindow() { menu.reset(); }

    bool start(int valueTimeoutMs = 3000) {
        const bool ready = SimWindowFixture::start([&] {
            menu = std::make_unique<TScalerSettingsMenu>(*w.form, w.dir->path());
            menu->SetValueTimeout(valueTimeoutMs);
        });
        if (!ready) return false;
        settle(200);
        takeCommands();
        return true;
    }

    QString save(const QString &name = QStringLiteral("orlan.json")) {
        const QString path = w.path(name);
        prompts().fileNames << path;
        form().MenuFileSaveScalerSettings->trigger();
        return path;
    }
    void load(const QString &path) {
        prompts().fileNames << path;
        form().MenuFileLoadScalerSettings->trigger();
    }
    // Sets values as the operator would, and waits for the scaler's reports.
    void change(std::initializer_list<std::pair<int, uint32_t>> values) {
        for (const auto &[index, value] : values)
            driver().SetValue(index, value);
        awaitCommands(int(values.size()));
    }
    bool awaitEnd(int ms = 5000) {
        const bool ended = QTest::qWaitFor([this] { return !menu->Writing(); }, ms);
        settle();
        return ended;
    }
    QString lastMessage() const { return w.prompts->messages().value(w.prompts->messages().size() - 1); }
    uint32_t inputValue(int row, int input) const {
        return OxsControl::reportedInputValue(*w.form->Orlan_d, menu->Log(), row, input);
    }
};

QStringList names(const QList<QStringList> &rows) {
    QStringList n;
    for (const QStringList &r : rows)
        n << r.value(0);
    return n;
}

} // namespace

class TstScalerSettings : public QObject {
    Q_OBJECT

  private slots:
    void saveThenLoadShowsAndWritesTheDifferences();
    void cancelWritesNothing();
    void refusedFilesWriteNothing_data();
    void refusedFilesWriteNothing();
    void valueNotTakenIsNamed();
    void lostLinkNamesWhatWasNotWritten();
};

void TstScalerSettings::saveThenLoadShowsAndWritesTheDifferences() {
    SettingsWindow s;
    QVERIFY(s.start());
    QVERIFY(s.form().MenuFileSaveScalerSettings->isEnabled() &&
            s.form().MenuFileLoadScalerSettings->isEnabled());
    const uint32_t hpos = s.driver().Value(VAR_HPOS), brgt = s.driver().Value(VAR_BRGT);
    const uint32_t prgbi3 = s.inputValue(VAR_PRGBI, 3);

    const QString path = s.save();
    QVERIFY2(
        s.lastMessage().contains(QStringLiteral("settings of the Orlan Plus (model 33) saved to ") + path),
        qPrintable(s.lastMessage()));
    QVERIFY(s.takeCommands().isEmpty()); // saving asks the scaler nothing
    const QJsonObject saved = QJsonDocument::fromJson(readTestFile(path)).object();
    QCOMPARE(saved.value(QStringLiteral("model")).toInt(), 33);
    // The folder is remembered across runs.
    QCOMPARE(ProfileReader(s.w.path(QStringLiteral("Scaler settings.ini")))
                 .readString(QStringLiteral("Scaler settings"), QStringLiteral("Folder"), {}),
             s.w.dir->path());

    s.change({{VAR_HPOS, hpos + 7},
              {VAR_BRGT, brgt == 10 ? 20u : 10u},
              {VAR_PCHAN, 3},
              {VAR_PRGBI, prgbi3 == 2 ? 3u : 2u}});
    QCOMPARE(s.driver().Value(VAR_HPOS), hpos + 7);

    s.load(path);
    QCOMPARE(s.w.prompts->asked.last().kind, QStringLiteral("open"));
    QCOMPARE(s.w.prompts->asked.last().dir, s.w.dir->path());
    TScalerSettingsDlg *dlg = s.menu->Dialog();
    QVERIFY(dlg && dlg->isVisible());
    const QList<QStringList> rows = dlg->Rows();
    QCOMPARE(names(rows), (QStringList{"HPOS", "BRGT", "PRGBI of input 3"}));
    QCOMPARE(rows[0].mid(1, 2), (QStringList{QString::number(hpos + 7), QString::number(hpos)}));
    QCOMPARE(rows[2].mid(1, 2), (QStringList{QString::number(prgbi3 == 2 ? 3 : 2), QString::number(prgbi3)}));
    dlg->grab().save(QStringLiteral("/tmp/settings-preview.png"));
    s.settle(200);
    QVERIFY(s.takeCommands().isEmpty()); // nothing before the confirmation

    dlg->WriteButton()->click();
    QVERIFY(s.menu->Writing());
    QVERIFY(!s.form().MenuFileLoadScalerSettings->isEnabled());
    QVERIFY(s.awaitEnd());
    QCOMPARE(s.driver().Value(VAR_HPOS), hpos);
    QCOMPARE(s.driver().Value(VAR_BRGT), brgt);
    QCOMPARE(s.inputValue(VAR_PRGBI, 3), prgbi3);
    QCOMPARE(s.sim.value(VAR_HPOS), hpos);
    for (const QStringList &row : dlg->Rows())
        QCOMPARE(row.value(3), QStringLiteral("written"));
    QCOMPARE(dlg->Progress()->value(), 3);
    QVERIFY2(s.lastMessage().startsWith(QStringLiteral("3 settings of orlan.json written to the scaler.")),
             qPrintable(s.lastMessage()));
    QVERIFY(s.form().MenuFileLoadScalerSettings->isEnabled());
    dlg->grab().save(QStringLiteral("/tmp/settings-written.png"));

    // Loading it again finds nothing to write.
    s.load(path);
    QVERIFY(dlg->Rows().isEmpty());
    QVERIFY(!dlg->WriteButton()->isEnabled());
    QVERIFY(dlg->StatusText().contains(QStringLiteral("already holds every setting")));
}

void TstScalerSettings::cancelWritesNothing() {
    SettingsWindow s;
    QVERIFY(s.start());
    const uint32_t hpos = s.driver().Value(VAR_HPOS);
    const QString path = s.save();
    s.change({{VAR_HPOS, hpos + 3}});
    s.load(path);
    QCOMPARE(names(s.menu->Dialog()->Rows()), QStringList{"HPOS"});
    s.menu->Dialog()->CloseButton()->click();
    QVERIFY(!s.menu->Dialog()->isVisible());
    // A report arriving after the cancel does not bring the preview back or start anything.
    s.change({{VAR_VPOS, s.driver().Value(VAR_VPOS) + 1}});
    s.settle(300);
    QVERIFY(s.takeCommands().isEmpty());
    QVERIFY(!s.menu->Writing());
    QCOMPARE(s.driver().Value(VAR_HPOS), hpos + 3);
}

void TstScalerSettings::refusedFilesWriteNothing_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("other model") << QByteArray(R"({"model": 32, "values": {"HPOS": 10}, "inputs": []})")
                                 << QStringLiteral("holds the settings of an Orlan (model 32); the scaler "
                                                   "connected is an Orlan Plus (model 33).");
    QTest::newRow("not JSON") << QByteArray("HPOS=10\n") << QStringLiteral("is no scaler settings file: ");
    QTest::newRow("one-shot command")
        << QByteArray(R"({"model": 33, "values": {"FRESET": 1}, "inputs": []})") << QStringLiteral("FRESET");
    QTest::newRow("folder") << QByteArray() << QStringLiteral("is not a file.");
}

void TstScalerSettings::refusedFilesWriteNothing() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    SettingsWindow s;
    QVERIFY(s.start());
    QString path = s.w.path(QStringLiteral("refused.json"));
    if (content.isEmpty())
        QVERIFY(QDir(s.w.dir->path()).mkdir(QStringLiteral("refused.json")));
    else
        s.w.write(QStringLiteral("refused.json"), content);
    s.load(path);
    QVERIFY2(s.lastMessage().contains(expected), qPrintable(s.lastMessage()));
    QVERIFY(s.lastMessage().endsWith(QStringLiteral("Nothing was written.")));
    QVERIFY(!s.menu->Dialog() || !s.menu->Dialog()->isVisible());
    s.settle(200);
    QVERIFY(s.takeCommands().isEmpty());
}

void TstScalerSettings::valueNotTakenIsNamed() {
    SettingsWindow s;
    QVERIFY(s.start(300));
    const uint32_t hpos = s.driver().Value(VAR_HPOS), vpos = s.driver().Value(VAR_VPOS);
    const QString path = s.save();
    s.change({{VAR_HPOS, hpos + 2}, {VAR_VPOS, vpos + 2}});
    OxsSim::FaultSettings f;
    f.ignoreCommands = QStringList{"H"};
    s.sim.setFaults(f);
    s.load(path);
    s.menu->Dialog()->WriteButton()->click();
    QVERIFY(s.awaitEnd());
    const QList<QStringList> rows = s.menu->Dialog()->Rows();
    QCOMPARE(rows[0].value(3), QStringLiteral("not taken: no answer in time"));
    QCOMPARE(rows[1].value(3), QStringLiteral("written"));
    QCOMPARE(s.driver().Value(VAR_VPOS), vpos);
    const QString msg = s.lastMessage();
    QVERIFY2(msg.startsWith(QStringLiteral("1 setting of orlan.json written")), qPrintable(msg));
    QVERIFY(msg.contains(QStringLiteral("not all restored")));
    QVERIFY(msg.contains(QStringLiteral("The scaler did not take HPOS.")));
    QCOMPARE(s.w.prompts->asked.last().icon, Prompts::Icon::Warning);
    s.menu->Dialog()->grab().save(QStringLiteral("/tmp/settings-not-taken.png"));
}

void TstScalerSettings::lostLinkNamesWhatWasNotWritten() {
    SettingsWindow s;
    QVERIFY(s.start(10000));
    const uint32_t hpos = s.driver().Value(VAR_HPOS), brgt = s.driver().Value(VAR_BRGT);
    const uint32_t prgbi3 = s.inputValue(VAR_PRGBI, 3);
    const QString path = s.save();
    s.change({{VAR_HPOS, hpos + 4},
              {VAR_BRGT, brgt == 10 ? 20u : 10u},
              {VAR_PCHAN, 3},
              {VAR_PRGBI, prgbi3 == 2 ? 3u : 2u}});
    // BRGT gets no answer; the scaler goes while the restore waits for it.
    OxsSim::FaultSettings f;
    f.ignoreCommands = QStringList{"B"};
    s.sim.setFaults(f);
    s.load(path);
    s.menu->Dialog()->WriteButton()->click();
    QVERIFY(QTest::qWaitFor([&] { return s.menu->Dialog()->Rows().value(0).value(3) == "written"; }, 3000));
    s.settle(100);
    s.sim.stop();
    QVERIFY(s.awaitEnd(8000));
    const QList<QStringList> rows = s.menu->Dialog()->Rows();
    QCOMPARE(rows.value(1).value(3), QStringLiteral("not written"));
    QCOMPARE(rows.value(2).value(3), QStringLiteral("not written"));
    const QString msg = s.lastMessage();
    QVERIFY2(msg.startsWith(QStringLiteral("1 setting of orlan.json written")), qPrintable(msg));
    QVERIFY2(msg.contains(QStringLiteral("lost while writing; not written: BRGT, PRGBI of input 3.")),
             qPrintable(msg));
    // No scaler: nothing to save or load.
    QVERIFY(!s.form().MenuFileSaveScalerSettings->isEnabled());
    QVERIFY(!s.form().MenuFileLoadScalerSettings->isEnabled());
}

QTEST_MAIN(TstScalerSettings)
#include "tst_scaler_settings.moc"
