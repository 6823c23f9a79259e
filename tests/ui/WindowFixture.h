#pragma once

#include "Prompts.h"
#include "TestFiles.h"
#include "Unit_OXS.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <pty.h>
#include <unistd.h>

// A main window over a settings folder of its own, with the prompts answered by the test and the driver's
// link timer stopped so that tests feed replies or step the link by hand.
struct WindowFixture {
    std::unique_ptr<QTemporaryDir> dir = std::make_unique<QTemporaryDir>();
    RecordingPrompts *prompts = nullptr;
    std::unique_ptr<TForm_OXS> form;

    WindowFixture() {
        QApplication::setFont(TForm_OXS::ApplicationFont());
        prompts = new RecordingPrompts;
        Prompts::install(std::unique_ptr<Prompts>(prompts));
    }
    ~WindowFixture() {
        form.reset();
        Prompts::install(nullptr);
    }

    TOrlan_d &driver() { return *form->Orlan_d; }

    void start() {
        form = std::make_unique<TForm_OXS>(dir->path());
        form->Orlan_d->SetLinkTimerEnabled(false);
        form->InitMainWindow();
    }
    void feed(const QByteArray &replies) { form->Orlan_d->SerialReceive(replies); }

    QString path(const QString &name) const { return dir->filePath(name); }
    QString connectionFile() const { return path(QStringLiteral("OXS remote control.ini")); }
    void write(const QString &name, const QByteArray &content) const { writeTestFile(path(name), content); }
    QByteArray read(const QString &name) const { return readTestFile(path(name)); }
};

// Serial ports for the tests: COMn opens the slave of a pseudo-terminal pair when one is made for it, and a
// path that does not exist otherwise, so no test ever touches a real serial device.
struct PseudoSerialPorts {
    int masters[17]{};
    int slaves[17]{};

    explicit PseudoSerialPorts(std::initializer_list<int> openable) {
        for (int n = 1; n <= 16; ++n)
            qputenv(qPrintable(QStringLiteral("OXS_COM%1").arg(n)), "/nonexistent/serial-port");
        for (int n : openable) {
            char name[256] = {};
            if (openpty(&masters[n], &slaves[n], name, nullptr, nullptr) != 0) qFatal("openpty failed");
            qputenv(qPrintable(QStringLiteral("OXS_COM%1").arg(n)), name);
        }
    }
    ~PseudoSerialPorts() {
        for (int n = 0; n <= 16; ++n) {
            if (masters[n] > 0) ::close(masters[n]);
            if (slaves[n] > 0) ::close(slaves[n]);
        }
    }
};
