// The console's text-file sender against the simulated scaler: what arrives per tick at the line and the
// character pace, the tick intervals with the scroll bar's delay, Stop, files it must not send, and the
// link's keep-alive kept out of a command sent one character at a time.
#include "Debug.h"
#include "ui/SimWindowFixture.h"

#include <QElapsedTimer>

namespace {

struct SenderFixture {
    SimWindowFixture f;
    std::unique_ptr<TForm_debug> console;

    bool start() {
        if (!f.start()) return false;
        f.settle(150); // the identity query that follows the dump, answered; the next comes 2 s later
        console = std::make_unique<TForm_debug>(f.driver(), f.w.dir->path());
        return true;
    }
    ~SenderFixture() { console.reset(); }

    // Bytes the scaler has received, the driver's keep-alive queries left out.
    qint64 payload() const {
        qint64 bytes = 0;
        for (OxsSim::Session *s : f.sim.sessions())
            bytes += s->bytesReceived();
        return bytes - f.sim.commandLog().count(QStringLiteral("?"));
    }
    // Loads a file through the Transfert menu.
    QString load(const QString &name, const QByteArray &content) {
        const QString path = f.w.path(name);
        f.w.write(name, content);
        f.prompts().fileNames = QStringList{path};
        console->MenuEnvoyerFichier->trigger();
        return path;
    }
    // One tick by hand: the bytes that arrive for it.
    qint64 tick() {
        const qint64 before = payload();
        console->evenement_tempo();
        (void)QTest::qWaitFor([&] { return payload() > before; }, 1000);
        QTest::qWait(20); // and nothing more
        return payload() - before;
    }
};

} // namespace

class TestDebugSender : public QObject {
    Q_OBJECT
  private slots:
    void linePaceOneLinePerTick();
    void characterPaceOneCharacterPerTick();
    void timerRunsAndStops();
    void filesNotSent();
    void keepAliveWaitsForWholeCommands();
};

void TestDebugSender::linePaceOneLinePerTick() {
    SenderFixture s;
    QVERIFY(s.start());
    TForm_debug &c = *s.console;
    c.ScrollBar_duration->setValue(5); // before any file: the label keeps its text
    QCOMPARE(c.Label_scroll_timer->text(), QString("delai transfert"));
    const QString path = s.load("script.txt", "100H\r\n5V\r\n30W\r\n");
    QCOMPARE(s.f.prompts().asked.last().text, QString("Charger script,   Norvane..."));
    QCOMPARE(c.windowTitle(), "DEBUG\t" + path);
    QVERIFY(c.SenderTimer().isActive());
    QCOMPARE(c.SenderTimer().interval(), 35);
    QVERIFY(!c.ScrollBar_duration->isEnabled());

    c.SenderTimer().stop(); // stepped by hand from here
    s.f.takeCommands();
    for (const QByteArray line : {"100H", "5V", "30W"})
        QCOMPARE(s.tick(), qint64(line.size()));
    QCOMPARE(s.tick(), 0);
    QVERIFY(!c.SenderTimer().isActive());
    QVERIFY(c.ScrollBar_duration->isEnabled());
    QCOMPARE(s.f.takeCommands(), (QStringList{"100H", "5V", "30W"}));

    // Once a file is loaded the scroll bar sets the delay.
    c.ScrollBar_duration->setValue(70);
    QCOMPARE(c.SenderTimer().interval(), 100);
    QCOMPARE(c.Label_scroll_timer->text(), QString("70"));
}

void TestDebugSender::characterPaceOneCharacterPerTick() {
    SenderFixture s;
    QVERIFY(s.start());
    TForm_debug &c = *s.console;
    c.ScrollBar_duration->setValue(3);
    const QByteArray text = "100H200V30W\r\n7S\r\n"; // a first line of ten characters or more
    s.load("text.txt", text);
    QCOMPARE(c.SenderTimer().interval(), 13);
    c.SenderTimer().stop();
    s.f.takeCommands();
    for (int i = 0; i < text.size() - 1; ++i)
        QCOMPARE(s.tick(), 1);
    QCOMPARE(s.tick(), 0); // the final line feed is not sent
    QVERIFY(c.ScrollBar_duration->isEnabled());
    s.f.settle(100);
    QCOMPARE(s.f.takeCommands(), (QStringList{"100H", "200V", "30W", "7S"}));
}

void TestDebugSender::timerRunsAndStops() {
    SenderFixture s;
    QVERIFY(s.start());
    TForm_debug &c = *s.console;
    QElapsedTimer clock;
    clock.start();
    s.load("script.txt", "1H\n2V\n3W\n4S\n");
    QTRY_VERIFY_WITH_TIMEOUT(!c.SenderTimer().isActive(), 3000);
    QVERIFY(clock.elapsed() >= 4 * 30);
    QCOMPARE(s.f.awaitCommands(4), (QStringList{"1H", "2V", "3W", "4S"}));

    // Stop ends a run; nothing more arrives.
    c.ScrollBar_duration->setValue(90);
    const qint64 before = s.payload();
    s.load("text.txt", "100H200V30W40S50B\r\n");
    QCOMPARE(c.SenderTimer().interval(), 100);
    QTRY_VERIFY_WITH_TIMEOUT(s.payload() > before, 2000);
    c.MenuStop->trigger();
    QVERIFY(!c.SenderTimer().isActive());
    QVERIFY(c.ScrollBar_duration->isEnabled());
    const qint64 stoppedAt = s.payload();
    QTest::qWait(250);
    QCOMPARE(s.payload(), stoppedAt);
    QVERIFY(stoppedAt - before < 5);
}

void TestDebugSender::filesNotSent() {
    SenderFixture s;
    QVERIFY(s.start());
    TForm_debug &c = *s.console;
    const qint64 before = s.payload();
    s.load("binary.txt", QByteArray("1H\n\0\x01\x02\xff", 7));
    QCOMPARE(c.windowTitle(), QString("DEBUG"));
    QVERIFY(!c.SenderTimer().isActive());
    s.f.prompts().fileNames.clear(); // the chooser cancelled
    c.MenuEnvoyerFichier->trigger();
    QVERIFY(!c.SenderTimer().isActive());
    s.load("empty.txt", "");
    QTRY_VERIFY(!c.SenderTimer().isActive());
    QVERIFY(c.ScrollBar_duration->isEnabled());
    QTest::qWait(50);
    QCOMPARE(s.payload(), before);
}

// A scaler that parses byte by byte takes a "?" inside "100H" as the end of that command. The link timer is
// stepped by hand after every character, each step being the moment a keep-alive query is due: the queries
// go out between the commands only, and the scaler stores every value.
void TestDebugSender::keepAliveWaitsForWholeCommands() {
    SenderFixture s;
    OxsSim::FaultSettings faults;
    faults.byteParser = true;
    s.f.sim.setFaults(faults);
    QVERIFY(s.start());
    TForm_debug &c = *s.console;
    TOrlan_d &d = s.f.driver();
    d.SetLinkTimerEnabled(false);
    QTRY_COMPARE(d.LinkState(), LINK_POLL);
    const QByteArray text = "100H200V30W\r\n";
    s.load("slow.txt", text);
    c.SenderTimer().stop();
    s.f.sim.clearCommandLog();
    QString held;
    for (int i = 0; i < text.size() - 1; ++i) {
        QCOMPARE(s.tick(), 1);
        held += d.KeepAliveHeld() ? u'h' : u'.';
        if (d.LinkState() != LINK_POLL) continue;
        d.StepLink(); // the keep-alive's turn
        QTRY_COMPARE(d.LinkState(), LINK_POLL);
    }
    QCOMPARE(s.tick(), 0);
    QTRY_COMPARE(s.f.sim.value(OrlanVars::VAR_HSIZ), 30u);
    QCOMPARE(s.f.sim.value(OrlanVars::VAR_HPOS), 100u);
    QCOMPARE(s.f.sim.value(OrlanVars::VAR_VPOS), 200u);
    QCOMPARE(held, QString("hhh.hhh.hh.."));
    QCOMPARE(s.f.sim.commandLog(), (QStringList{"100H", "?", "200V", "?", "30W", "?", "?"}));
    QVERIFY(d.Connected());

    // Stopped in the middle of a command, the sender lets the keep-alive go.
    s.load("slow.txt", text);
    c.SenderTimer().stop();
    s.tick();
    QVERIFY(d.KeepAliveHeld());
    c.MenuStop->trigger();
    QVERIFY(!d.KeepAliveHeld());
}

QTEST_MAIN(TestDebugSender)
#include "tst_debug_sender.moc"
