#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

// One run of the built oxsctl (OXSCTL_PATH) while this process's event loop goes on serving the simulator or
// the server the test runs.
struct OxsctlResult {
    int code = -1; // -2 when it crashed
    QString out;
    QString err; // "still running" when it was killed at the time limit
    qint64 ms = 0;
};

inline OxsctlResult runOxsctl(const QStringList &args, int limitMs = 60000) {
    OxsctlResult r;
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral(OXSCTL_PATH), args);
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    if (p.state() != QProcess::NotRunning) loop.exec();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("still running");
        return r;
    }
    r.ms = clock.elapsed();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
