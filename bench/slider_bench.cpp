// Slider round trip: the main window (offscreen) on the in-process scaler simulator over loopback TCP. The
// operator drags the "H. Pos" thumb step by step; for each step it measures the time from the mouse move
// to the edit box showing the value the scaler sent back, and it checks that every step sent one command
// and that no reply moved the thumb under the pointer.
//   slider_bench [steps]
#include "BenchSupport.h"
#include "Conversion.h"
#include "FrmScrollbar.h"
#include "Prompts.h"
#include "ScalerSimulator.h"
#include "Unit_OXS.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QPoint thumbCentre(const QScrollBar *bar) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.state |= QStyle::State_Horizontal;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar).center();
}

void mouse(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButtons held) {
    QMouseEvent e(type, pos, w->mapToGlobal(pos), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

int countCommands(const QStringList &log, const QString &suffix) {
    return int(std::count_if(log.begin(), log.end(), [&](const QString &c) { return c.endsWith(suffix); }));
}

double percentile(std::vector<double> sorted, double p) {
    if (sorted.empty()) return 0;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t i = std::min(sorted.size() - 1, std::size_t(p * double(sorted.size() - 1) + 0.5));
    return sorted[i];
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(TForm_OXS::ApplicationFont());
    Prompts::install(std::make_unique<RecordingPrompts>());
    const int steps = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1000;

    OxsSim::ScalerSimulator sim(33);
    const quint16 port = sim.startTcp(0);
    if (port == 0) {
        std::fprintf(stderr, "simulator: no loopback port\n");
        return 1;
    }
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("OXS remote control.ini")));
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write("[CONNEXION]\r\nPort=0\r\nREMOTE_IP=127.0.0.1\r\nREMOTE_PORT_ENTRY=" +
              QByteArray::number(port) + "\r\nIP_ENABLE=2\r\n");
    ini.close();
    qputenv("OXS_COM1", "/nonexistent/serial-port");

    TForm_OXS form(dir.path());
    form.Orlan_d->SetLinkPacing(TLinkPacing::Fast());
    form.InitMainWindow();
    form.show();
    form.PageControl->setCurrentWidget(form.TabSheetImage);
    if (!Bench::waitFor([&] { return form.Orlan_d->Ready(); }, 10000) || !form.FrameScrollHPos->isVisible()) {
        std::fprintf(stderr, "the window found no scaler\n");
        return 1;
    }
    Bench::waitFor([] { return false; }, 200);
    sim.clearCommandLog();

    TFrameScrollBar *frame = form.FrameScrollHPos;
    QScrollBar *bar = frame->ScrollBar;
    int direction = 1;
    QPoint at;
    // One step of the drag: pixels along until the position changes; returns the new position.
    auto step = [&] {
        if (bar->sliderPosition() >= bar->maximum() - 5) direction = -1;
        if (bar->sliderPosition() <= bar->minimum() + 5) direction = 1;
        const int before = bar->sliderPosition();
        while (bar->sliderPosition() == before) {
            at.rx() += direction;
            mouse(bar, QEvent::MouseMove, at, Qt::LeftButton);
        }
        return bar->sliderPosition();
    };
    auto positionCommands = [&] { return countCommands(sim.commandLog(), QStringLiteral("H")); };

    // 1. Step by step: each step waits for the scaler's reply in the edit box.
    at = thumbCentre(bar);
    mouse(bar, QEvent::MouseButtonPress, at, Qt::LeftButton);
    std::vector<double> latencies;
    latencies.reserve(std::size_t(steps));
    int thumbMoved = 0;
    int timeouts = 0;
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < steps; ++i) {
        QElapsedTimer clock;
        clock.start();
        const int dragged = step();
        QString expected;
        form.Conversion.PositionDriver(dragged, expected);
        if (!Bench::waitFor([&] { return frame->Edt->text() == expected; }, 2000)) ++timeouts;
        latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (bar->sliderPosition() != dragged || bar->value() != dragged) ++thumbMoved;
    }
    const double elapsed = double(total.nsecsElapsed()) / 1e6;
    Bench::waitFor([] { return false; }, 100);
    const int dragCommands = positionCommands();
    mouse(bar, QEvent::MouseButtonRelease, at, Qt::NoButton);
    Bench::waitFor([] { return false; }, 100);
    const int releaseCommands = positionCommands() - dragCommands;

    std::printf("slider round trip over loopback TCP, \"H. Pos\" dragged by %d steps\n", steps);
    std::printf("step by step (%.0f ms in all):\n", elapsed);
    std::printf("  step to edit box showing the reply: median %.3f ms, p95 %.3f ms, max %.3f ms\n",
                percentile(latencies, 0.5), percentile(latencies, 0.95), percentile(latencies, 1.0));
    std::printf("  commands: %d during the drag, %d at the release (end of scroll)\n", dragCommands,
                releaseCommands);
    std::printf("  replies that moved the thumb under the pointer: %d; replies missing: %d\n", thumbMoved,
                timeouts);

    // 2. A fast drag: the pointer does not wait, so the scaler's echoes of earlier steps arrive while the
    // thumb is already elsewhere. None may move it.
    sim.clearCommandLog();
    at = thumbCentre(bar);
    mouse(bar, QEvent::MouseButtonPress, at, Qt::LeftButton);
    int fastMoved = 0;
    int last = bar->sliderPosition();
    total.restart();
    for (int i = 0; i < steps; ++i) {
        last = step();
        QCoreApplication::processEvents();
        if (bar->sliderPosition() != last || bar->value() != last) ++fastMoved;
    }
    QString lastText;
    form.Conversion.PositionDriver(last, lastText);
    const bool caughtUp = Bench::waitFor([&] { return frame->Edt->text() == lastText; }, 5000);
    const double fastElapsed = double(total.nsecsElapsed()) / 1e6;
    Bench::waitFor([] { return false; }, 100);
    const int fastCommands = positionCommands();
    if (bar->sliderPosition() != last) ++fastMoved;
    mouse(bar, QEvent::MouseButtonRelease, at, Qt::NoButton);
    Bench::waitFor([] { return false; }, 100);
    const int fastRelease = positionCommands() - fastCommands;
    std::printf("fast drag (%.0f ms until the edit box showed the last reply%s):\n", fastElapsed,
                caughtUp ? "" : ", never");
    std::printf("  commands: %d during the drag, %d at the release\n", fastCommands, fastRelease);
    std::printf("  checks where a reply had moved the thumb under the pointer: %d\n", fastMoved);

    const bool ok = dragCommands == steps && releaseCommands == 1 && thumbMoved == 0 && timeouts == 0 &&
                    fastCommands == steps && fastRelease == 1 && fastMoved == 0 && caughtUp;
    form.close();
    return ok ? 0 : 2;
}
