// The program as a process: SIGINT and SIGTERM close its window the normal way, so the connection
// settings are written exactly as at a normal exit; --help and --version answer without a display.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestAppShutdown : public QObject {
    Q_OBJECT
  private slots:
    void signalSavesSettings_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void signalSavesSettings() {
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        const QString settings = dir.filePath("OXS remote control.ini");
        {
            QFile f(settings);
            QVERIFY(f.open(QIODevice::WriteOnly));
            // Lower-case keys and an unknown key: the rewrite at exit is what tells a saved file.
            f.write("[connexion]\nport=6\nremote_ip=127.0.0.1\nremote_port_entry=9\nip_enable=2\nOld=1\n");
        }
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (int n = 1; n <= 16; ++n)
            env.insert(QStringLiteral("OXS_COM%1").arg(n), "/nonexistent/serial-port");
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::SeparateChannels);
        app.start(QStringLiteral(OXS_APP_PATH), {"--config-dir", dir.path(), "--timing"});
        QVERIFY(app.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += app.readAllStandardError()).contains("window shown"), 20000);
        QCOMPARE(::kill(static_cast<pid_t>(app.processId()), signalNumber), 0);
        QVERIFY(app.waitForFinished(20000));
        err += app.readAllStandardError();
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QVERIFY2(app.exitCode() == 0, err.constData());
        QFile f(settings);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(),
                 QByteArray("[CONNEXION]\r\nPort=0\r\nREMOTE_IP=127.0.0.1\r\nREMOTE_PORT_ENTRY=9\r\n"
                            "LOCAL_PORT_ENTRY=10500\r\nIP_ENABLE=2\r\n"));
        // Nothing but the settings files lands in the folder (no temporary files left behind).
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"OXS remote control.ini"});
    }

    void helpAndVersionNeedNoDisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // a pattern for the whole standard output
        const QString version = QStringLiteral("^OXS remote control \\d+\\.\\d+\\.\\d+\\.\\d+\n$");
        const QString help = QStringLiteral("^Usage: .*--config-dir <DIR>.*--screenshot <FILE>");
        QTest::newRow("--version") << QStringList{"--version"} << version;
        QTest::newRow("-v") << QStringList{"-v"} << version;
        QTest::newRow("--help") << QStringList{"--help"} << help;
        QTest::newRow("-h after a window system option") << QStringList{"-stylesheet", "x.qss", "-h"} << help;
        QTest::newRow("-h as a folder's name") << QStringList{"--config-dir", "-h", "--version"} << version;
    }
    void helpAndVersionNeedNoDisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(OXS_APP_PATH), arguments);
        QVERIFY(app.waitForFinished(20000));
        const QByteArray err = app.readAllStandardError();
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QVERIFY2(app.exitCode() == 0, err.constData());
        const QString out = QString::fromLocal8Bit(app.readAllStandardOutput());
        QVERIFY2(QRegularExpression(expected, QRegularExpression::DotMatchesEverythingOption)
                     .match(out)
                     .hasMatch(),
                 qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestAppShutdown)
#include "tst_app_shutdown.moc"
