// The debug console's "Record link..." entry: the file chooser starts a recording, the console shows the
// file while it records, the same entry stops it, and an end the operator did not ask for stays in sight.
#include "Debug.h"
#include "Prompts.h"
#include "driver/DriverFixture.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Console {
    QTemporaryDir dir;
    DriverFixture d;
    RecordingPrompts *prompts = new RecordingPrompts;
    std::unique_ptr<TForm_debug> form;

    Console() {
        Prompts::install(std::unique_ptr<Prompts>(prompts));
        form = std::make_unique<TForm_debug>(*d.drv, dir.path());
    }
    ~Console() {
        form.reset();
        Prompts::install(nullptr);
    }
    QByteArray lastLine(const QString &path) const {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        return lines.last();
    }
};

} // namespace

class TestDebugRecord : public QObject {
    Q_OBJECT
  private slots:
    void startAndStopFromTheMenu() {
        Console c;
        QCOMPARE(c.form->MenuRecordLink->text(), QStringLiteral("Record link..."));
        QVERIFY(!c.form->RecordingLabel()->isVisibleTo(c.form.get()));

        // Cancelling the chooser starts nothing.
        c.form->MenuRecordLink->trigger();
        QCOMPARE(c.prompts->asked.size(), 1);
        QCOMPARE(c.prompts->asked.last().kind, QStringLiteral("save"));
        QVERIFY(!c.form->Recorder().IsRecording());

        const QString path = c.dir.filePath("session.oxsrec");
        c.prompts->fileNames << path;
        c.form->MenuRecordLink->trigger();
        QVERIFY(c.form->Recorder().IsRecording());
        QCOMPARE(c.form->MenuRecordLink->text(), QStringLiteral("Stop recording"));
        QVERIFY(c.form->RecordingLabel()->isVisibleTo(c.form.get()));
        QVERIFY(c.form->RecordingLabel()->text().contains(QStringLiteral("session.oxsrec")));

        c.d.drv->SerialReceive("HP5\r\n");
        c.form->MenuRecordLink->trigger(); // stops, no chooser
        QCOMPARE(c.prompts->asked.size(), 2);
        QVERIFY(!c.form->Recorder().IsRecording());
        QCOMPARE(c.form->MenuRecordLink->text(), QStringLiteral("Record link..."));
        QVERIFY(!c.form->RecordingLabel()->isVisibleTo(c.form.get()));
        QVERIFY(c.lastLine(path).contains("\"end\": \"stopped\""));

        // A file that cannot be written is named in an error message.
        c.prompts->fileNames << c.dir.filePath("no/such/dir/x.oxsrec");
        c.form->MenuRecordLink->trigger();
        QVERIFY(!c.form->Recorder().IsRecording());
        QCOMPARE(c.prompts->asked.last().kind, QStringLiteral("message"));
        QCOMPARE(c.prompts->asked.last().icon, Prompts::Icon::Error);
        QVERIFY(c.prompts->asked.last().text.contains(QStringLiteral("x.oxsrec")));
    }

    // A recording that reached its cap ends by itself: the entry reads "Record link..." again and the
    // console says why.
    void sizeLimitShown() {
        Console c;
        c.form->Recorder().SetFileLimit(2048);
        QVERIFY(c.form->StartRecording(c.dir.filePath("cap.oxsrec")));
        for (int i = 0; i < 100; ++i)
            c.d.drv->SerialReceive(QByteArray(40, 'x') + "\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(!c.form->Recorder().IsRecording(), 3000);
        QCOMPARE(c.form->MenuRecordLink->text(), QStringLiteral("Record link..."));
        QVERIFY(c.form->RecordingLabel()->isVisibleTo(c.form.get()));
        QVERIFY(c.form->RecordingLabel()->text().contains(QStringLiteral("size limit")));
        // Closing the console's owner while recording leaves a complete file.
        QVERIFY(c.form->StartRecording(c.dir.filePath("closed.oxsrec")));
        c.form.reset();
        QVERIFY(c.lastLine(c.dir.filePath("closed.oxsrec")).contains("\"end\": \"stopped\""));
    }
};

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    TestDebugRecord test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_debug_record.moc"
