// The window's side of remote access: started from the settings file or the command line, switched by the
// Remote access window, its state in the status bar's tooltip, closed with the window.

#include "RemoteAccess.h"
#include "RemoteAccessMenu.h"
#include "RemoteHost.h"
#include "ui/WindowFixture.h"

#include <QTcpServer>
#include <QTcpSocket>

using namespace OxsRemote;

namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool answers(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

} // namespace

class TestRemoteAccessMenu : public QObject {
    Q_OBJECT
  private slots:
    void commandLineWindowAndClose();
    void portInUseIsReported();
};

void TestRemoteAccessMenu::commandLineWindowAndClose() {
    WindowFixture w;
    w.start();
    RemoteHost host(w.driver());
    const QString file = w.path(QLatin1String(kRemoteSettingsFile));
    TRemoteAccessMenu menu(*w.form, host, file);
    QVERIFY(w.form->MenuRemoteAccess->isEnabled());
    QCOMPARE(w.form->StatusBar->toolTip(), QString("Remote access: Off"));

    RemoteSettings listen;
    listen.port = freePort();
    QString why;
    QVERIFY2(menu.Start(listen, &why), qPrintable(why));
    QVERIFY(answers(listen.port));
    QCOMPARE(w.form->StatusBar->toolTip(),
             QStringLiteral("Remote access: Listening on 127.0.0.1:%1 (HTTP, WebSocket and OSC), 0 clients")
                 .arg(listen.port));
    QVERIFY(!QFile::exists(file)); // the command line turns it on for this run only

    // The window shows the settings in use; switching off there stops the server and keeps the choice.
    w.form->MenuRemoteAccess->trigger();
    TRemoteAccessDlg *dialog = menu.Dialog();
    QVERIFY(dialog && dialog->isVisible());
    RemoteSettings shown = dialog->Settings();
    QVERIFY(shown.enabled);
    QCOMPARE(shown.port, listen.port);
    shown.enabled = false;
    emit dialog->applied(shown);
    QVERIFY(!host.running());
    QVERIFY(!answers(listen.port));
    QCOMPARE(w.form->StatusBar->toolTip(), QString("Remote access: Off"));
    QVERIFY(w.read(QLatin1String(kRemoteSettingsFile)).contains("Enabled=0"));

    // Back on from the file alone; closing the window closes the server.
    shown.enabled = true;
    QVERIFY(saveRemoteSettings(file, shown));
    QVERIFY(menu.Start(std::nullopt, &why));
    QVERIFY(answers(listen.port));
    QObject::connect(w.form.get(), &TForm_OXS::closed, &host, &RemoteHost::stop);
    w.form->close();
    QVERIFY(!host.running());
    QVERIFY(!answers(listen.port));
}

void TestRemoteAccessMenu::portInUseIsReported() {
    WindowFixture w;
    w.start();
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    RemoteHost host(w.driver());
    TRemoteAccessMenu menu(*w.form, host, w.path(QLatin1String(kRemoteSettingsFile)));
    RemoteSettings listen;
    listen.port = taken.serverPort();
    QString why;
    QVERIFY(!menu.Start(listen, &why));
    QVERIFY(!why.isEmpty());
    QVERIFY(!host.running());
    QCOMPARE(w.form->StatusBar->toolTip(), "Remote access: Not listening: " + why);
}

QTEST_MAIN(TestRemoteAccessMenu)
#include "tst_remote_access_menu.moc"
