// The HTTP and WebSocket server on real sockets on 127.0.0.1, in front of the remote service and a driver
// linked to the simulator: routes, the Host, Origin and token rules, the limits, and clients that go away
// while their answer waits for the scaler.
#include "HttpServer.h"
#include "LoopbackLink.h"
#include "Orlan_d.h"
#include "RemoteBodies.h"
#include "RemoteService.h"
#include "ScalerSimulator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <memory>

using namespace OxsRemote;
using namespace OrlanVars;

namespace {

struct Response {
    int status = 0;                       // 0: no answer
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    bool closed = false; // the server closed the connection after (or instead of) the answer
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// A raw client, so that a test chooses every byte.
struct Http {
    QTcpSocket socket;
    QByteArray buffer;

    explicit Http(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        (void)QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 2000);
    }
    void write(const QByteArray &bytes) {
        socket.write(bytes);
        socket.flush();
    }
    Response read(int timeoutMs = 3000) {
        Response r;
        qsizetype end = -1, length = 0;
        auto gone = [&] { return socket.state() == QAbstractSocket::UnconnectedState; };
        (void)QTest::qWaitFor(
            [&] {
                buffer += socket.readAll();
                if (end < 0 && (end = buffer.indexOf("\r\n\r\n")) >= 0) {
                    const QList<QByteArray> lines = buffer.left(end).split('\n');
                    r.status = lines[0].split(' ').value(1).toInt();
                    for (const QByteArray &line : lines.mid(1))
                        r.headers.insert(line.left(line.indexOf(':')).toLower(),
                                         line.mid(line.indexOf(':') + 1).trimmed());
                    length = r.headers.value("content-length").toLongLong();
                }
                return (end >= 0 && buffer.size() >= end + 4 + length) || gone();
            },
            timeoutMs);
        if (end >= 0) r.body = buffer.mid(end + 4, length);
        if (end >= 0) buffer.remove(0, end + 4 + length);
        const bool closing = r.headers.value("connection") == "close" || r.status == 0;
        r.closed = QTest::qWaitFor([&] { return socket.readAll(), gone(); }, closing ? 1000 : 20);
        return r;
    }
};

QByteArray request(const QByteArray &method, const QByteArray &path, const QByteArray &host,
                   const QByteArray &body = QByteArray(), const QByteArrayList &headers = {}) {
    QByteArray text = method + ' ' + path + " HTTP/1.1\r\n";
    if (!host.isEmpty()) text += "Host: " + host + "\r\n";
    for (const QByteArray &h : headers)
        text += h + "\r\n";
    if (!body.isNull()) text += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return text + "\r\n" + body;
}

// The headers given replace those of a valid handshake with the same name.
QByteArray handshake(const QByteArray &path, const QByteArray &host, const QByteArrayList &headers = {}) {
    QByteArrayList all{"Upgrade: websocket", "Connection: Upgrade",
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Sec-WebSocket-Version: 13"};
    for (const QByteArray &h : headers) {
        all.removeIf([&](const QByteArray &a) { return a.left(a.indexOf(':')) == h.left(h.indexOf(':')); });
        all << h;
    }
    return request("GET", path, host, QByteArray(), all);
}

struct WsClient {
    QWebSocket socket;
    QList<QJsonObject> messages;

    explicit WsClient(quint16 port, const QString &origin = {}) : socket(origin) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString &m) {
            messages << QJsonDocument::fromJson(m.toUtf8()).object();
        });
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(port)));
        (void)QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000);
    }
    // The first message with this key, taken with all before it.
    QJsonObject next(const QString &key, int timeoutMs = 3000) {
        QJsonObject found;
        (void)QTest::qWaitFor(
            [&] {
                while (!messages.isEmpty() && found.isEmpty())
                    if (messages.front().contains(key))
                        found = messages.takeFirst();
                    else
                        messages.removeFirst();
                return !found.isEmpty();
            },
            timeoutMs);
        return found;
    }
};

} // namespace

class TestRemoteHttp : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void routes_data();
    void routes();
    void writes();
    void unconfirmedWritesAndVanishingClients();
    void hostAndOrigin_data();
    void hostAndOrigin();
    void token();
    void webSocketFanOutAndSet();
    void webSocketRefusals_data();
    void webSocketRefusals();
    void limits();
    void clientLimit();

  private:
    // Commands to the scaler besides the link's own queries.
    int writesSent() const {
        const QStringList log = m_sim.commandLog();
        return int(std::count_if(log.cbegin(), log.cend(),
                                 [](const QString &c) { return !c.startsWith('?') && c != "#"; }));
    }
    quint16 port() const { return m_server->port(); }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(port()); }
    Response call(const QByteArray &method, const QByteArray &path, const QByteArray &body = QByteArray()) {
        Http http(port());
        http.write(request(method, path, host(), body));
        return http.read();
    }

    OxsSim::ScalerSimulator m_sim{33};
    std::unique_ptr<TOrlan_d> m_driver;
    std::unique_ptr<RemoteService> m_service;
    std::unique_ptr<RemoteHttpServer> m_server;
};

void TestRemoteHttp::initTestCase() {
    QVERIFY(m_sim.startTcp(0) != 0);
    m_driver = std::make_unique<TOrlan_d>();
    linkOverLoopbackTcp(*m_driver, m_sim.tcpPort());
    m_service = std::make_unique<RemoteService>(*m_driver);
    QTRY_VERIFY_WITH_TIMEOUT(m_driver->Ready(), 8000);
}

void TestRemoteHttp::init() {
    m_server = std::make_unique<RemoteHttpServer>(*m_service);
    QString why;
    QVERIFY2(m_server->listen(QHostAddress::LocalHost, 0, {}, &why), qPrintable(why));
    m_sim.clearCommandLog();
}

void TestRemoteHttp::cleanup() {
    m_server.reset();
    m_sim.setFaults({});
}

void TestRemoteHttp::routes_data() {
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("key"); // the body has it
    QTest::newRow("status") << QByteArray("GET") << QByteArray("/api/v1/status") << 200 << "modelName";
    QTest::newRow("variables") << QByteArray("GET") << QByteArray("/api/v1/variables") << 200 << "HPOS";
    QTest::newRow("variable") << QByteArray("GET") << QByteArray("/api/v1/variables/HPOS") << 200 << "value";
    QTest::newRow("unknown variable")
        << QByteArray("GET") << QByteArray("/api/v1/variables/NOPE") << 404 << "error";
    QTest::newRow("backup") << QByteArray("GET") << QByteArray("/api/v1/backup") << 200 << "";
    QTest::newRow("unknown") << QByteArray("GET") << QByteArray("/api/v2/status") << 404 << "error";
    QTest::newRow("PUT status") << QByteArray("PUT") << QByteArray("/api/v1/status") << 405 << "error";
    QTest::newRow("events, no upgrade")
        << QByteArray("GET") << QByteArray("/api/v1/events") << 426 << "error";
    QTest::newRow("dry run") << QByteArray("POST") << QByteArray("/api/v1/restore?dryRun=1") << 200
                             << "writes";
    QTest::newRow("restore") << QByteArray("POST") << QByteArray("/api/v1/restore?timeoutMs=1000") << 200
                             << "answers";
    for (const char *query : {"timeoutMs=0", "timeoutMs=86400001", "timeoutMs=ten", "dryRun=maybe"})
        QTest::newRow(query) << QByteArray("POST") << QByteArray("/api/v1/restore?") + query << 400
                             << "error";
}

void TestRemoteHttp::routes() {
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(int, status);
    QFETCH(QString, key);
    QByteArray backup;
    QVERIFY(m_service->backup(&backup).ok());
    const Response r = call(method, path, method == "POST" ? backup : method == "GET" ? QByteArray() : "{}");
    QCOMPARE(r.status, status);
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/json"));
    QVERIFY2(key.isEmpty() || r.json().contains(key), r.body.constData());
    QVERIFY(status != 405 || !r.headers.value("allow").isEmpty());
    if (path.endsWith("backup")) QCOMPARE(r.body, backup);
    if (path.endsWith("HPOS") && status == 200)
        QCOMPARE(r.json().value("value").toInt(), int(m_sim.value(VAR_HPOS)));
    QVERIFY(!r.closed); // kept alive
    if (status == 400) QCOMPARE(writesSent(), 0);
}

// Writes come back with what the scaler reported; refused ones send nothing. The page comes with its policy.
void TestRemoteHttp::writes() {
    const int target = m_sim.value(VAR_HPOS) == 120 ? 121 : 120;
    Response r = call("PUT", "/api/v1/variables/HPOS", "{\"value\": " + QByteArray::number(target) + "}");
    QCOMPARE(r.status, 200);
    QCOMPARE(r.json(), (QJsonObject{{"name", "HPOS"}, {"value", target}}));
    QCOMPARE(m_sim.value(VAR_HPOS), quint32(target));

    m_sim.clearCommandLog();
    QCOMPARE(call("PUT", "/api/v1/variables/HPOS", "{\"value\": 300}").status, 400);
    QVERIFY(call("PUT", "/api/v1/variables/HPOS", "{\"value\": 1")
                .json()
                .value("error")
                .toString()
                .contains("JSON"));
    QCOMPARE(call("PUT", "/api/v1/variables/NOPE", "{\"value\": 1}").status, 404);
    QCOMPARE(call("POST", "/api/v1/restore", "{\"no\": \"backup\"}").status, 400);
    QTest::qWait(50);
    QCOMPARE(writesSent(), 0);

    r = call("GET", "/");
    QCOMPARE(r.status, 200);
    QCOMPARE(r.headers.value("content-type"), QByteArray("text/html; charset=utf-8"));
    QCOMPARE(r.headers.value("cache-control"), QByteArray("no-store"));
    QFile page(":/remote/index.html");
    QVERIFY(page.open(QIODevice::ReadOnly));
    QCOMPARE(r.body, page.readAll());
    const QByteArray policy = r.headers.value("content-security-policy");
    QVERIFY(policy.startsWith("default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline';"));
    QVERIFY(policy.contains("connect-src 'self' ws://" + host() + ";"));
    QVERIFY(!policy.contains("http"));
}

// A write the scaler ignores ends in 504 after the service's wait. Meanwhile one client goes away and a
// second server is destroyed, each with a write in flight: their answers must find nothing to write to.
void TestRemoteHttp::unconfirmedWritesAndVanishingClients() {
    OxsSim::FaultSettings ignore;
    ignore.ignoreCommands = QStringList{"H"};
    m_sim.setFaults(ignore);
    auto other = std::make_unique<RemoteHttpServer>(*m_service);
    QVERIFY(other->listen(QHostAddress::LocalHost, 0, {}, nullptr));
    Http toOther(other->port());
    toOther.write(request("PUT", "/api/v1/variables/HPOS", "127.0.0.1", "{\"value\": 99}"));
    Http leaving(port());
    leaving.write(request("PUT", "/api/v1/variables/HPOS", host(), "{\"value\": 98}"));
    Http waiting(port());
    waiting.write(request("PUT", "/api/v1/variables/HPOS", host(), "{\"value\": 97}"));
    QTRY_COMPARE(m_service->pendingWrites(), 3);
    leaving.socket.abort();
    other.reset();

    const Response r = waiting.read(RemoteService::kConfirmMs + 2000);
    QCOMPARE(r.status, 504);
    QTRY_COMPARE(m_service->pendingWrites(), 0);
    QTRY_COMPARE(m_server->clientCount(), 1);
    waiting.write(request("GET", "/api/v1/status", host()));
    QCOMPARE(waiting.read().status, 200); // the connection that waited still serves
}

void TestRemoteHttp::hostAndOrigin_data() {
    QTest::addColumn<QByteArray>("hostHeader"); // PORT: the server's port
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<int>("readStatus"); // a page cannot see a read's answer: Origin does not matter
    QTest::addColumn<int>("writeStatus");
    const QByteArray our = "127.0.0.1:PORT", none;
    QTest::newRow("address and port") << our << none << 200 << 200;
    QTest::newRow("localhost") << QByteArray("LocalHost:PORT") << none << 200 << 200;
    QTest::newRow("a name") << QByteArray("evil.example:PORT") << none << 403 << 403;
    QTest::newRow("a name for loopback") << QByteArray("localhost.evil.example") << none << 403 << 403;
    QTest::newRow("another address") << QByteArray("127.0.0.2:PORT") << none << 403 << 403;
    QTest::newRow("no Host") << none << none << 403 << 403;
    QTest::newRow("our page") << our << QByteArray("http://127.0.0.1:PORT") << 200 << 200;
    QTest::newRow("our page, localhost") << our << QByteArray("http://localhost:PORT") << 200 << 200;
    QTest::newRow("another site") << our << QByteArray("http://evil.example") << 200 << 403;
    QTest::newRow("another port") << our << QByteArray("http://127.0.0.1:1") << 200 << 403;
    QTest::newRow("sandboxed page") << our << QByteArray("null") << 200 << 403;
}

void TestRemoteHttp::hostAndOrigin() {
    QFETCH(QByteArray, hostHeader);
    QFETCH(QByteArray, origin);
    QFETCH(int, readStatus);
    QFETCH(int, writeStatus);
    hostHeader.replace("PORT", QByteArray::number(port()));
    origin.replace("PORT", QByteArray::number(port()));
    const QByteArrayList headers = origin.isEmpty() ? QByteArrayList{} : QByteArrayList{"Origin: " + origin};
    Http read(port());
    read.write(request("GET", "/api/v1/status", hostHeader, QByteArray(), headers));
    QCOMPARE(read.read().status, readStatus);
    Http write(port());
    const QByteArray value = m_sim.value(VAR_HPOS) == 100 ? "101" : "100";
    write.write(request("PUT", "/api/v1/variables/HPOS", hostHeader, "{\"value\": " + value + "}", headers));
    const Response w = write.read();
    QCOMPARE(w.status, writeStatus);
    QVERIFY(w.json().contains(writeStatus == 200 ? "value" : "error"));
    if (writeStatus != 200) QCOMPARE(writesSent(), 0);
}

// Off loopback every request needs the token; tests demand it on loopback instead.
void TestRemoteHttp::token() {
    RemoteHttpServer guarded(*m_service);
    guarded.setTokenOnLoopback(true);
    QString why;
    QVERIFY(!guarded.listen(QHostAddress::LocalHost, 0, {}, &why)); // no token to demand
    const QByteArray token = "0123456789abcdef0123456789abcdef";
    QVERIFY(guarded.listen(QHostAddress::LocalHost, 0, QString::fromLatin1(token), &why));
    const QByteArray at = "127.0.0.1:" + QByteArray::number(guarded.port());
    auto status = [&](const QByteArray &text) {
        Http http(guarded.port());
        http.write(text);
        return http.read().status;
    };
    auto get = [&](const QByteArray &path, const QByteArray &authorization = {}) {
        return status(request("GET", path, at, QByteArray(), {"Authorization: " + authorization}));
    };
    QCOMPARE(get("/api/v1/status"), 401);
    QCOMPARE(get("/api/v1/status", "Bearer " + token), 200);
    QCOMPARE(get("/api/v1/status", "Bearer " + token.left(31)), 401);
    QCOMPARE(get("/api/v1/status", "Basic " + token), 401);
    QCOMPARE(get("/api/v1/status?token=" + token), 401); // the query only for the page and the events
    QCOMPARE(get("/?token=" + token), 200);
    QCOMPARE(get("/"), 401);
    QCOMPARE(status(handshake("/api/v1/events?token=" + token, at)), 101);
    QCOMPARE(status(handshake("/api/v1/events", at, {"Authorization: Bearer " + token})), 101);
    QCOMPARE(status(handshake("/api/v1/events?token=x" + token, at)), 401);
}

// Every change reaches every socket; a socket's write is answered on it alone.
void TestRemoteHttp::webSocketFanOutAndSet() {
    WsClient a(port());
    WsClient b(port(), QStringLiteral("http://127.0.0.1:%1").arg(port()));
    QTRY_COMPARE(m_server->clientCount(), 2);
    const int vpos = m_sim.value(VAR_VPOS) == 77 ? 78 : 77;
    m_sim.setReported(VAR_VPOS, quint32(vpos));
    for (WsClient *c : {&a, &b})
        QCOMPARE(c->next("name"), (QJsonObject{{"name", "VPOS"}, {"value", vpos}}));
    emit m_service->scalerLost();
    emit m_service->scalerConnected(33);
    for (WsClient *c : {&a, &b}) {
        QCOMPARE(c->next("event"), (QJsonObject{{"event", "lost"}}));
        QCOMPARE(c->next("event"), (QJsonObject{{"event", "connected"}, {"model", 33}}));
    }

    const int hpos = m_sim.value(VAR_HPOS) == 110 ? 111 : 110;
    a.socket.sendTextMessage(QStringLiteral("{\"set\": \"HPOS\", \"value\": %1}").arg(hpos));
    QCOMPARE(a.next("status"), (QJsonObject{{"status", 200}, {"name", "HPOS"}, {"value", hpos}}));
    QCOMPARE(b.next("name"), (QJsonObject{{"name", "HPOS"}, {"value", hpos}}));
    QVERIFY(b.next("status", 100).isEmpty()); // the answer is a's alone

    m_sim.clearCommandLog();
    for (const QString &bad : {QStringLiteral("{\"set\": \"HPOS\", \"value\": 300}"),
                               QStringLiteral("{\"set\": 1"), QStringLiteral("[]")}) {
        a.socket.sendTextMessage(bad);
        QCOMPARE(a.next("status").value("status").toInt(), 400);
    }
    a.socket.sendBinaryMessage("{\"set\": \"HPOS\", \"value\": 1}");
    QCOMPARE(a.next("status").value("status").toInt(), 400);
    a.socket.sendTextMessage("{\"set\": \"HPOS\", \"value\": 1, \"pad\": \"" + QString(kMaxBodyBytes, 'x') +
                             "\"}");
    QCOMPARE(a.next("status").value("status").toInt(), 413);
    QCOMPARE(writesSent(), 0);

    a.socket.close();
    QTRY_COMPARE(m_server->clientCount(), 1);
    m_server.reset();
    QTRY_COMPARE(b.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(b.socket.closeCode(), QWebSocketProtocol::CloseCodeGoingAway);
}

void TestRemoteHttp::webSocketRefusals_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("hostHeader");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("status");
    const QByteArray events = "/api/v1/events", our = "127.0.0.1:PORT";
    QTest::newRow("another site") << events << our << QByteArray("Origin: http://evil.example") << 403;
    QTest::newRow("a name as Host") << events << QByteArray("evil.example:PORT") << QByteArray() << 403;
    QTest::newRow("elsewhere") << QByteArray("/api/v1/status") << our << QByteArray() << 404;
    QTest::newRow("our page") << events << our << QByteArray("Origin: http://127.0.0.1:PORT") << 101;
    QTest::newRow("Qt refuses the handshake")
        << events << our << QByteArray("Sec-WebSocket-Version: 7") << 400;
}

// A refused upgrade gets an HTTP answer instead of the handshake and is closed; a write sent right behind
// the handshake goes nowhere.
void TestRemoteHttp::webSocketRefusals() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, hostHeader);
    QFETCH(QByteArray, header);
    QFETCH(int, status);
    hostHeader.replace("PORT", QByteArray::number(port()));
    header.replace("PORT", QByteArray::number(port()));
    Http http(port());
    const QByteArray text = "{\"set\": \"HPOS\", \"value\": 5}";
    const QByteArray frame =
        QByteArray("\x81") + char(0x80 | text.size()) + QByteArray(4, '\0') + text; // mask 0
    http.write(handshake(path, hostHeader, header.isEmpty() ? QByteArrayList{} : QByteArrayList{header}) +
               (status == 101 ? QByteArray() : frame));
    const Response r = http.read();
    QCOMPARE(r.status, status);
    QCOMPARE(r.closed, status != 101);
    QTRY_COMPARE(m_server->clientCount(), status == 101 ? 1 : 0);
    QTest::qWait(50);
    QCOMPARE(writesSent(), 0);
}

void TestRemoteHttp::limits() {
    // The whole body arrived but is too large.
    Response r = call("PUT", "/api/v1/variables/HPOS",
                      "{\"value\": 1, \"pad\": \"" + QByteArray(kMaxBodyBytes, 'x') + "\"}");
    QCOMPARE(r.status, 413);
    QVERIFY(r.closed);
    // A body without end is cut while it still comes.
    Http endless(port());
    endless.write(
        request("PUT", "/api/v1/variables/HPOS", host(), QByteArray(), {"Content-Length: 10000000"}));
    for (int i = 0; i < 6 && endless.socket.state() == QAbstractSocket::ConnectedState; ++i, QTest::qWait(5))
        endless.write(QByteArray(16 * 1024, ' '));
    r = endless.read();
    QCOMPARE(r.status, 413);
    QVERIFY(r.closed);

    // A request not complete in time, beside one that is; an idle connection is closed without a word.
    m_server->setRequestTimeoutMs(300);
    Http slow(port()), idle(port()), quick(port());
    slow.write("PUT /api/v1/variables/HPOS HTTP/1.1\r\nHost: " + host() +
               "\r\nContent-Length: 12\r\n\r\n{\"value\"");
    quick.write(request("GET", "/api/v1/status", host()));
    QCOMPARE(quick.read().status, 200);
    r = slow.read();
    QCOMPARE(r.status, 408);
    QVERIFY(r.closed);
    r = idle.read();
    QCOMPARE(r.status, 0);
    QVERIFY(r.closed);

    // Not HTTP: Qt's parser closes the connection.
    Http garbage(port());
    garbage.write("NOT HTTP AT ALL\r\n\r\n{\"value\": 1}");
    r = garbage.read();
    QCOMPARE(r.status, 0);
    QVERIFY(r.closed);
    QTRY_COMPARE(m_server->clientCount(), 0); // quick too, once idle for the time
    QCOMPARE(writesSent(), 0);
}

void TestRemoteHttp::clientLimit() {
    std::vector<std::unique_ptr<Http>> clients;
    for (int i = 0; i < RemoteHttpServer::kMaxClients; ++i)
        clients.push_back(std::make_unique<Http>(port()));
    QTRY_COMPARE(m_server->clientCount(), RemoteHttpServer::kMaxClients);
    Http extra(port());
    extra.write(request("GET", "/api/v1/status", host()));
    const Response r = extra.read();
    QCOMPARE(r.status, 503);
    QVERIFY(r.closed);
    clients.back()->socket.disconnectFromHost();
    QTRY_COMPARE(m_server->clientCount(), RemoteHttpServer::kMaxClients - 1);
    WsClient ws(port()); // WebSockets count too
    QCOMPARE(ws.socket.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(m_server->clientCount(), RemoteHttpServer::kMaxClients);
    QCOMPARE(Http(port()).read().status, 503);
}

QTEST_GUILESS_MAIN(TestRemoteHttp)
#include "tst_remote_http.moc"
