// The debug console's "Record link..." entry: the file chooser starts a recording, the console shows the
// file while it records, the same entry stops it, and an end the operator did not ask for stays in sight.
#include "Debug.h"
#include "Prompts.h"
#include "driver/DriverFixture.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

class TestDebugRecord : public QObject {
    Q_OBJECT
  private slots:
    void recordFromTheMenu() {
        QTemporaryDir dir;
        DriverFixture d;
        auto *prompts = new RecordingPrompts;
        Prompts::install(std::unique_ptr<Prompts>(prompts));
        TForm_debug form(*d.drv, dir.path());
        const auto shown = [&] { return form.RecordingLabel()->isVisibleTo(&form); };

        form.MenuRecordLink->trigger(); // chooser cancelled: nothing starts
        QVERIFY(!form.Recorder().IsRecording());
        prompts->fileNames << dir.filePath("session.oxsrec");
        form.MenuRecordLink->trigger();
        QCOMPARE(form.MenuRecordLink->text(), QStringLiteral("Stop recording"));
        QVERIFY(shown() && form.RecordingLabel()->text().contains(QStringLiteral("session.oxsrec")));
        form.MenuRecordLink->trigger(); // stops without asking
        QCOMPARE(prompts->asked.size(), 2);
        QCOMPARE(form.MenuRecordLink->text(), QStringLiteral("Record link..."));
        QVERIFY(!form.Recorder().IsRecording() && !shown());

        prompts->fileNames << dir.filePath("no/such/dir/x.oxsrec");
        form.MenuRecordLink->trigger();
        QVERIFY(!form.Recorder().IsRecording());
        QCOMPARE(prompts->asked.last().icon, Prompts::Icon::Error);
        QVERIFY(prompts->asked.last().text.contains(QStringLiteral("x.oxsrec")));

        // The cap ends a recording by itself: the entry can start again and the console says why.
        form.Recorder().SetFileLimit(2048);
        QVERIFY(form.StartRecording(dir.filePath("cap.oxsrec")));
        for (int i = 0; i < 100; ++i)
            d.drv->SerialReceive(QByteArray(40, 'x') + "\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(!form.Recorder().IsRecording(), 3000);
        QCOMPARE(form.MenuRecordLink->text(), QStringLiteral("Record link..."));
        QVERIFY(shown() && form.RecordingLabel()->text().contains(QStringLiteral("size limit")));
        Prompts::install(nullptr);
    }
};

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    TestDebugRecord test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_debug_record.moc"
