// The web remote's page in a real headless browser, against the server on a driver on the simulated scaler:
// the page follows the scaler's reports, and its buttons and sliders reach the scaler. The browser is
// driven over its DevTools protocol; it is skipped when chromium is not installed.

#include "DeviceVariables.h"
#include "HttpServer.h"
#include "LoopbackLink.h"
#include "Orlan_d.h"
#include "RemoteService.h"
#include "ScalerSimulator.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include <csignal>
#include <memory>
#include <unistd.h>

using namespace OrlanVars;

namespace {

const QString kChromium = QStringLiteral("/usr/bin/chromium");

// Headless chromium with a throw-away profile, driven over its DevTools socket (commands by id, events
// ignored). It runs in a process group of its own, killed group and all in every path out of the test.
class Browser {
  public:
    ~Browser() { stop(); }

    // Starts the browser, opens the page in a tab of its own and attaches to it.
    bool open(const QUrl &page) {
        if (!m_profile.isValid()) return false;
        m_process.setChildProcessModifier([] { ::setsid(); });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(
            kChromium, {"--headless", "--no-sandbox", "--disable-gpu", "--remote-debugging-port=0",
                        "--user-data-dir=" + m_profile.path(), "--no-first-run", "--no-default-browser-check",
                        "--disable-background-networking", "--disable-component-update", "--disable-sync",
                        "--disable-default-apps", "--disable-extensions", "--no-pings",
                        "--disable-domain-reliability", "--metrics-recording-only",
                        // Nothing off this machine: every host name fails, loopback addresses stay.
                        "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
                        "--proxy-server=direct://", "--window-size=800,600", "--log-level=3", "about:blank"});
        if (!m_process.waitForStarted(5000)) return false;
        m_pid = static_cast<pid_t>(m_process.processId());
        // The port on the first line, the browser's socket path on the second.
        QStringList lines;
        if (!QTest::qWaitFor(
                [&] {
                    QFile f(m_profile.filePath(QStringLiteral("DevToolsActivePort")));
                    if (f.open(QIODevice::ReadOnly))
                        lines = QString::fromLatin1(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
                    return lines.size() >= 2;
                },
                15000))
            return false;
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString &text) {
            const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
            if (o.contains(QLatin1String("id"))) m_replies.insert(o.value(QLatin1String("id")).toInt(), o);
        });
        m_socket.open(
            QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(lines[0].trimmed(), lines[1].trimmed())));
        if (!QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, 5000))
            return false;
        const QJsonObject target = call("Target.createTarget", {{"url", page.toString()}});
        m_session = call("Target.attachToTarget", {{"targetId", target.value("targetId")}, {"flatten", true}})
                        .value("sessionId")
                        .toString();
        return !m_session.isEmpty();
    }

    // The value of a script expression in the page; null when it throws.
    QJsonValue eval(const QString &expression) {
        const QJsonObject r = call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}});
        if (r.contains(QLatin1String("exceptionDetails"))) qWarning() << "page script failed:" << expression;
        return r.value("result").toObject().value("value");
    }
    // An element's text or aria-pressed state ("missing" without the element).
    QString text(const QString &id) { return element(id, QStringLiteral("textContent")); }
    QString pressed(const QString &id) { return element(id, QStringLiteral("getAttribute('aria-pressed')")); }

    void stop() {
        if (m_pid <= 0) return;
        if (m_process.state() != QProcess::NotRunning) {
            m_session.clear(); // a browser command
            call("Browser.close", {}, 1000);
            if (!m_process.waitForFinished(3000)) ::kill(-m_pid, SIGKILL);
            m_process.waitForFinished(3000);
        }
        m_socket.close();
        // The renderer and the helpers are in the browser's group; none may outlive the test.
        ::kill(-m_pid, SIGKILL);
        m_pid = 0;
    }

  private:
    QJsonObject call(const QString &method, const QJsonObject &params, int timeoutMs = 5000) {
        const int id = ++m_lastId;
        QJsonObject command{{"id", id}, {"method", method}, {"params", params}};
        if (!m_session.isEmpty()) command.insert("sessionId", m_session);
        m_socket.sendTextMessage(QString::fromUtf8(QJsonDocument(command).toJson(QJsonDocument::Compact)));
        if (!QTest::qWaitFor([&] { return m_replies.contains(id); }, timeoutMs)) return {};
        return m_replies.take(id).value(QLatin1String("result")).toObject();
    }
    QString element(const QString &id, const QString &what) {
        return eval(QStringLiteral("(function(){var e=document.getElementById('%1');"
                                   "return e ? String(e.%2) : 'missing';})()")
                        .arg(id, what))
            .toString();
    }

    QTemporaryDir m_profile;
    QProcess m_process;
    pid_t m_pid = 0; // the browser's, which leads its process group
    QWebSocket m_socket;
    int m_lastId = 0;
    QHash<int, QJsonObject> m_replies;
    QString m_session; // the page's, once attached
};

} // namespace

class TestRemoteWeb : public QObject {
    Q_OBJECT
  private slots:
    void pageFollowsAndDrivesTheScaler();
};

void TestRemoteWeb::pageFollowsAndDrivesTheScaler() {
    if (!QFile::exists(kChromium)) QSKIP("chromium is not installed");

    OxsSim::ScalerSimulator sim(33);
    QVERIFY(sim.startTcp(0) != 0);
    TOrlan_d driver;
    linkOverLoopbackTcp(driver, sim.tcpPort());
    OxsRemote::RemoteService service(driver);
    auto server = std::make_unique<OxsRemote::RemoteHttpServer>(service);
    QString why;
    QVERIFY2(server->listen(QHostAddress::LocalHost, 0, QString(), &why), qPrintable(why));
    const quint16 port = server->port();
    QTRY_VERIFY_WITH_TIMEOUT(driver.Ready(), 5000);

    Browser browser;
    QVERIFY2(browser.open(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))), "chromium did not start");

    // Model, link state, as many input buttons as the model has inputs, the scaler's input lit.
    QTRY_COMPARE_WITH_TIMEOUT(browser.text("link"), QStringLiteral("Connected"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(browser.text("model"), QStringLiteral(" \u2013 Orlan Plus"), 2000);
    QCOMPARE(browser.eval("document.querySelectorAll('#inputs button').length").toInt(), 5);
    QTRY_COMPARE_WITH_TIMEOUT(browser.pressed("input-1"), QStringLiteral("true"), 2000);
    QCOMPARE(browser.text("value-HPOS"), QString::number(static_cast<int>(sim.value(VAR_HPOS)) - 128));

    // A click asks; only the scaler's report lights the button (not yet in the click's own turn).
    QCOMPARE(browser
                 .eval("(function(){var b=document.getElementById('input-3'); b.click();"
                       "return b.getAttribute('aria-pressed');})()")
                 .toString(),
             QStringLiteral("false"));
    QTRY_COMPARE_WITH_TIMEOUT(browser.pressed("input-3"), QStringLiteral("true"), 3000);
    QCOMPARE(sim.value(VAR_ICHM), 3u);
    QCOMPARE(driver.ICHM(), 3u);
    QCOMPARE(browser.pressed("input-1"), QStringLiteral("false"));

    // Black: a toggle of the reported state.
    QCOMPARE(browser.pressed("black"), QStringLiteral("false"));
    browser.eval("document.getElementById('black').click()");
    QTRY_COMPARE_WITH_TIMEOUT(browser.pressed("black"), QStringLiteral("true"), 3000);
    QCOMPARE(sim.value(VAR_OBLACK), 1u);

    // A dragged slider reaches the scaler; its number is the window's (the value less 128).
    browser.eval("(function(){var s=document.getElementById('slider-HPOS'); s.value=200;"
                 "s.dispatchEvent(new Event('input')); s.dispatchEvent(new Event('change'));})()");
    QTRY_COMPARE_WITH_TIMEOUT(sim.value(VAR_HPOS), 200u, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(browser.text("value-HPOS"), QStringLiteral("72"), 3000);
    // The scaler's own change moves the slider, also one the operator holds.
    browser.eval("(function(){var s=document.getElementById('slider-BRGT'); s.value=10;"
                 "s.dispatchEvent(new Event('input'));})()");
    QTRY_COMPARE_WITH_TIMEOUT(sim.value(VAR_BRGT), 10u, 3000);
    sim.setReported(VAR_BRGT, 30);
    QTRY_COMPARE_WITH_TIMEOUT(browser.eval("document.getElementById('slider-BRGT').value").toString(),
                              QStringLiteral("30"), 3000);
    QCOMPARE(browser.text("value-BRGT"), QStringLiteral("-98"));

    // The program gone: the page says so and comes back on its own.
    server.reset();
    QTRY_COMPARE_WITH_TIMEOUT(browser.text("link"), QStringLiteral("Reconnecting to the program\u2026"),
                              3000);
    server = std::make_unique<OxsRemote::RemoteHttpServer>(service);
    QVERIFY2(server->listen(QHostAddress::LocalHost, port, QString(), &why), qPrintable(why));
    QTRY_COMPARE_WITH_TIMEOUT(browser.text("link"), QStringLiteral("Connected"), 5000);
    QCOMPARE(browser.pressed("input-3"), QStringLiteral("true"));

    // The scaler gone: nothing stays lit from before, and nothing can be pressed.
    sim.stop();
    QTRY_COMPARE_WITH_TIMEOUT(browser.text("link"), QStringLiteral("Not connected"), 5000);
    QCOMPARE(browser.pressed("input-3"), QStringLiteral("false"));
    QCOMPARE(browser.pressed("black"), QStringLiteral("false"));
    QCOMPARE(browser.text("value-HPOS"), QStringLiteral("\u2014"));
    QCOMPARE(browser.eval("document.getElementById('input-1').disabled").toBool(), true);
}

QTEST_MAIN(TestRemoteWeb)
#include "tst_remote_web.moc"
