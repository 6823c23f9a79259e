#pragma once

#include "ScalerSimulator.h"
#include "WindowFixture.h"

#include <QStringList>

#include <functional>

// The main window connected over loopback TCP to a simulated scaler, at the tools' fast pace, so that a test
// sees the real round trip of a control: the operator's gesture, the command, the scaler's reply and the
// control brought up to date by it.
struct SimWindowFixture {
    WindowFixture w;
    OxsSim::ScalerSimulator sim;

    explicit SimWindowFixture(int model = 33) : sim(model) {}

    TForm_OXS &form() { return *w.form; }
    TOrlan_d &driver() { return w.driver(); }
    RecordingPrompts &prompts() { return *w.prompts; }

    // Opens the window on the simulator and waits until the scaler's dump is in. attach runs once the window
    // exists and before its link opens, as the program attaches its companions.
    bool start(const std::function<void()> &attach = {}) {
        const quint16 port = sim.startTcp(0);
        if (port == 0) return false;
        qputenv("OXS_COM1", "/nonexistent/serial-port");
        w.write(QStringLiteral("OXS remote control.ini"),
                "[CONNEXION]\r\nPort=0\r\nREMOTE_IP=127.0.0.1\r\nREMOTE_PORT_ENTRY=" +
                    QByteArray::number(port) + "\r\nIP_ENABLE=2\r\n");
        w.form = std::make_unique<TForm_OXS>(w.dir->path());
        w.form->Orlan_d->SetLinkPacing(TLinkPacing::Fast());
        if (attach) attach();
        w.form->InitMainWindow();
        if (!QTest::qWaitFor([this] { return driver().Ready(); }, 5000)) return false;
        takeCommands();
        return true;
    }

    // The commands the scaler received since the last call ("1FO", "3PC", ...), the keep-alive "?" left out.
    QStringList takeCommands() {
        QStringList commands = sim.commandLog();
        sim.clearCommandLog();
        commands.removeAll(QStringLiteral("?"));
        return commands;
    }

    // Waits until `count` commands have arrived, and a little longer for any that should not, then takes
    // them.
    QStringList awaitCommands(int count = 1, int timeoutMs = 2000) {
        auto logged = [this] {
            QStringList commands = sim.commandLog();
            commands.removeAll(QStringLiteral("?"));
            return commands.size();
        };
        (void)QTest::qWaitFor([&] { return logged() >= count; }, timeoutMs);
        settle();
        return takeCommands();
    }

    // Lets the scaler's replies, and its own reports that follow them, arrive.
    void settle(int ms = 60) { QTest::qWait(ms); }
};
