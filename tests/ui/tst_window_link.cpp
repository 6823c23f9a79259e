// The window against the simulated scaler over each real link: it finds the scaler, fills the grid, shows a
// lost link at once and finds the scaler again. The driver's link is stepped by hand so nothing waits for
// the link timer.
#include "LinkSilence.h"
#include "ScalerSimulator.h"
#include "StatusTexts.h"
#include "WindowFixture.h"

#include <QToolButton>

#include <optional>

using namespace StatusTexts;

namespace {
// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};
} // namespace

class TestWindowLink : public QObject {
    Q_OBJECT

    std::optional<WindowFixture> w;
    std::unique_ptr<OxsSim::ScalerSimulator> sim;

    void stepUntilModel(uint32_t dev) {
        TOrlan_d &d = w->driver();
        d.StepLink(); // back to probing
        d.StepLink(); // identity query
        QTRY_COMPARE_WITH_TIMEOUT(d.DEV(), dev, 3000);
        d.StepLink(); // connected
        d.StepLink(); // query-all
    }

  private slots:
    void init() {
        w.emplace();
        sim = std::make_unique<OxsSim::ScalerSimulator>(33);
    }
    void cleanup() {
        w.reset();
        sim.reset();
    }

    void lostAndFoundAgain_data() {
        QTest::addColumn<int>("link");
        QTest::newRow("serial") << int(CON_RS232);
        QTest::newRow("UDP") << int(CON_UDP);
        QTest::newRow("TCP") << int(CON_TCP);
    }
    void lostAndFoundAgain() {
        QFETCH(int, link);
        QString error;
        QByteArray settings = "[CONNEXION]\r\nPort=0\r\nREMOTE_IP=127.0.0.1\r\n";
        if (link == CON_RS232) {
            const QString pty = sim->startPty(&error);
            QVERIFY2(!pty.isEmpty(), qPrintable(error));
            qputenv("OXS_COM1", pty.toLocal8Bit());
        } else {
            qputenv("OXS_COM1", "/nonexistent/serial-port");
            const quint16 port = link == CON_TCP ? sim->startTcp(0, QHostAddress::LocalHost, &error)
                                                 : sim->startUdp(0, QHostAddress::LocalHost, &error);
            QVERIFY2(port != 0, qPrintable(error));
            settings += "REMOTE_PORT_ENTRY=" + QByteArray::number(port) + "\r\nLOCAL_PORT_ENTRY=0\r\n";
        }
        settings += "IP_ENABLE=" + QByteArray::number(link) + "\r\n";
        w->write("OXS remote control.ini", settings);
        w->start();
        QVERIFY(w->prompts->asked.isEmpty());
        TOrlan_d &d = w->driver();
        if (link == CON_TCP) QTRY_VERIFY_WITH_TIMEOUT(d.Link(CON_TCP).IsActive(), 3000);
        w->form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w->form.get()));

        stepUntilModel(33);
        QTRY_VERIFY_WITH_TIMEOUT(w->form->StatusCell(RowLineFreq).contains("kHz"), 3000);
        QCOMPARE(w->form->windowTitle(), QString("Orlan Plus remote control"));
        QCOMPARE(w->form->StatusPanelText(0), QString("Device connected"));
        QVERIFY(w->form->BtnInput1->isChecked());
        d.StepLink(); // ready
        QStringList shown;
        for (int row = 0; row < kRows; ++row)
            shown << w->form->StatusCell(row);

        // The scaler stops answering: one poll without a reply, and the link is down.
        OxsSim::FaultSettings quiet;
        quiet.silent = true;
        sim->setFaults(quiet);
        PaintCounter counter;
        w->form->StatusBar->installEventFilter(&counter);
        d.StepLink(); // poll
        QTest::qWait(50);
        d.StepLink(); // no reply: reset
        d.StepLink(); // DEV 0
        QCOMPARE(d.DEV(), 0u);
        QCOMPARE(w->form->StatusPanelText(0), QString("Device NOT connected"));
        QCOMPARE(w->form->windowTitle(), QString("OXS remote control"));
        QVERIFY(!w->form->BtnInput1->isEnabled());
        // The next 700 ms tick blinks and repaints the status bar.
        const int paintsBefore = counter.paints;
        const bool phase = w->form->BlinkPhase();
        QTRY_VERIFY_WITH_TIMEOUT(w->form->BlinkPhase() != phase, 800);
        QTRY_VERIFY_WITH_TIMEOUT(counter.paints > paintsBefore, 100);
        for (int row = 0; row < kRows; ++row)
            QCOMPARE(w->form->StatusCell(row), shown[row]); // the grid keeps its last values
        // ... greyed, with the time of the last report; the status bar says since when.
        const TLinkSilence &silence = w->form->LinkSilence();
        QVERIFY(silence.Stale());
        const QString lastReport = silence.LastReport().time().toString("HH:mm:ss");
        QCOMPARE(w->form->PageControl->toolTip(), "last report " + lastReport);
        QCOMPARE(w->form->StatusPanelText(2), "Scaler silent since " + lastReport);
        QVERIFY(w->form->PageControl->palette().color(QPalette::Active, QPalette::WindowText) ==
                w->form->PageControl->palette().color(QPalette::Disabled, QPalette::WindowText));

        // It answers again: the window is built again for it.
        sim->setFaults(OxsSim::FaultSettings{});
        stepUntilModel(33);
        QCOMPARE(w->form->LastConfiguredModel(), 33);
        QVERIFY(w->form->BtnInput1->isEnabled());
        QCOMPARE(w->form->StatusPanelText(0), QString("Device connected"));
        QVERIFY(!silence.Stale());
        QVERIFY(w->form->PageControl->toolTip().isEmpty());
        QVERIFY(w->form->StatusPanelText(2).isEmpty());
        QVERIFY(w->form->PageControl->palette().color(QPalette::Active, QPalette::WindowText) !=
                w->form->PageControl->palette().color(QPalette::Disabled, QPalette::WindowText));
    }
};

QTEST_MAIN(TestWindowLink)
#include "tst_window_link.moc"
