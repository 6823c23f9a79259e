#include "HttpServer.h"

#include "RemoteBodies.h"
#include "RemoteService.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QWebSocket>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace OxsRemote {

namespace {

const QString kPrefix = QStringLiteral("/api/v1/");
const QString kVariablesPrefix = QStringLiteral("/api/v1/variables/");
const QString kEventsPath = QStringLiteral("/api/v1/events");
constexpr int kDefaultRestoreTimeoutMs = 15000;
constexpr qint64 kMaxRestoreTimeoutMs = 86400000;
// Qt closes a WebSocket (1009) whose message exceeds this; between kMaxBodyBytes and this the client gets an
// error message instead.
constexpr qint64 kMaxWebSocketMessage = 4 * kMaxBodyBytes;
// A WebSocket that leaves this much of our messages unread is cut rather than buffered without end.
constexpr qint64 kMaxWebSocketBacklog = 1024 * 1024;

using Headers = QList<QPair<QByteArray, QByteArray>>;

QByteArray compact(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject errorBody(const QString &message) {
    return QJsonObject{{QStringLiteral("error"), message}};
}

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 426:
        return "Upgrade Required";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Error";
    }
}

void send(QHttpServerResponder &responder, int status, const QByteArray &type, const QByteArray &body,
          const Headers &extra = {}) {
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    for (const auto &header : extra)
        responder.writeHeader(header.first, header.second);
    responder.writeBody(body);
}

void sendJson(QHttpServerResponder &responder, int status, const QJsonObject &body,
              const Headers &extra = {}) {
    send(responder, status, "application/json", compact(body), extra);
}

void sendError(QHttpServerResponder &responder, int status, const QString &message,
               const Headers &extra = {}) {
    sendJson(responder, status, errorBody(message), extra);
}

bool isAnyAddress(const QHostAddress &address) {
    return address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
           address == QHostAddress::AnyIPv6;
}

// Compares without stopping at the first difference, so the time taken tells nothing about the token.
bool sameSecret(const QByteArray &given, const QByteArray &secret) {
    unsigned diff = unsigned(given.size() ^ secret.size());
    for (qsizetype i = 0; i < secret.size(); ++i)
        diff |= unsigned(uchar(secret[i]) ^ uchar(i < given.size() ? given[i] : 0));
    return diff == 0 && !secret.isEmpty();
}

// Sends the end of our side so the client reads the whole answer, while its own sending is still taken
// (closing with unread data would reset the connection and could lose the answer).
void shutdownWrite(QTcpSocket *socket) {
#ifdef Q_OS_UNIX
    if (socket->socketDescriptor() >= 0) ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
#else
    socket->disconnectFromHost();
#endif
}

} // namespace

// Qt's server: parses the requests and the WebSocket handshake and hands complete requests over.
class RemoteHttpServer::Front : public QAbstractHttpServer {
  public:
    explicit Front(RemoteHttpServer &owner) : QAbstractHttpServer(&owner), m_owner(owner) {}

  protected:
    // Qt 6.4 asks here for a WebSocket upgrade too: it performs the handshake when this returns true having
    // written nothing, and calls missingHandler instead when it returns false. A refused upgrade so gets an
    // HTTP error, never a handshake.
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override {
        if (isUpgrade(request)) return m_owner.upgradeAllowed(request, socket);
        m_owner.handle(request, socket, makeResponder(request, socket));
        return true;
    }
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override {
        m_owner.refuseUpgrade(request, socket);
    }

    static bool isUpgrade(const QHttpServerRequest &request) {
        return request.value("Upgrade").toLower().contains("websocket") &&
               request.value("Connection").toLower().contains("upgrade");
    }

  private:
    RemoteHttpServer &m_owner;
};

// Takes each connection before Qt's server does, so the limits watch it from its first byte.
class RemoteHttpServer::Listener : public QTcpServer {
  public:
    explicit Listener(RemoteHttpServer &owner) : m_owner(owner) {}

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto *socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (m_owner.takeSocket(socket)) addPendingConnection(socket);
    }

  private:
    RemoteHttpServer &m_owner;
};

// One connection's limits; a child of its socket, so it goes with it. Its readyRead slot is connected
// before Qt's, so it sees each chunk before Qt's parser reads it.
class RemoteHttpServer::Client : public QObject {
  public:
    Client(QTcpSocket *s, RemoteHttpServer *owner) : QObject(s), socket(s), server(owner) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            if (server) server->onClientTimeout(this);
        });
        reading = QObject::connect(s, &QTcpSocket::readyRead, this, [this] {
            if (server) server->onClientBytes(this);
        });
    }
    ~Client() override {
        if (server) server->clientGone(this);
    }

    // Qt disconnects every slot of a socket it hands to the WebSocket handshake or gives up on.
    bool droppedByQt() const { return !reading; }

    QTcpSocket *const socket;
    QPointer<RemoteHttpServer> server;
    QTimer timer;
    QMetaObject::Connection reading;
    qint64 bytes = 0;       // since the last complete request
    int pending = 0;        // requests whose answer waits for the scaler
    bool upgrading = false; // handed to Qt's WebSocket handshake
    bool upgraded = false;  // now a WebSocket's
    bool closing = false;
};

RemoteHttpServer::RemoteHttpServer(RemoteService &service, QObject *parent)
    : QObject(parent), m_service(service), m_front(new Front(*this)) {
    connect(m_front, &QAbstractHttpServer::newWebSocketConnection, this, &RemoteHttpServer::onNewWebSocket);
    connect(&service, &RemoteService::variableChanged, this,
            [this](const QString &name, const QJsonValue &value) {
                broadcast(compact({{QStringLiteral("name"), name}, {QStringLiteral("value"), value}}));
            });
    connect(&service, &RemoteService::scalerConnected, this, [this](int model) {
        broadcast(compact(
            {{QStringLiteral("event"), QStringLiteral("connected")}, {QStringLiteral("model"), model}}));
    });
    connect(&service, &RemoteService::scalerLost, this, [this] {
        broadcast(compact({{QStringLiteral("event"), QStringLiteral("lost")}}));
    });
}

RemoteHttpServer::~RemoteHttpServer() {
    close();
    // What close() started cannot finish without the event loop: cut what is left now.
    const QList<Client *> clients = m_clients.values();
    m_clients.clear();
    for (Client *client : clients)
        client->server = nullptr;
    for (const QPointer<QWebSocket> &socket : std::as_const(m_sockets))
        delete socket.data();
    for (Client *client : clients) {
        if (client->upgrading) continue; // its WebSocket's, deleted above, or still Qt's handshake's
        QTcpSocket *socket = client->socket;
        socket->abort();
        delete socket;
    }
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_refused))
        delete socket.data();
}

bool RemoteHttpServer::listen(const QHostAddress &address, quint16 port, const QString &token, QString *why) {
    close();
    const bool loopback = address.isLoopback() && !m_tokenOnLoopback;
    if (!loopback && token.trimmed().isEmpty()) {
        if (why) *why = QStringLiteral("an access token is needed to listen on %1").arg(address.toString());
        return false;
    }
    auto *listener = new Listener(*this);
    listener->setParent(m_front);
    if (!listener->listen(address, port)) {
        if (why) *why = listener->errorString();
        delete listener;
        return false;
    }
    m_front->bind(listener);
    m_listener = listener;
    m_address = address;
    m_needToken = !loopback;
    m_token = token.trimmed().toUtf8();
    return true;
}

void RemoteHttpServer::close() {
    delete m_listener;
    m_listener = nullptr;
    for (const QPointer<QWebSocket> &socket : std::as_const(m_sockets))
        if (socket)
            socket->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("the server closes"));
    const QList<Client *> clients = m_clients.values();
    for (Client *client : clients) {
        if (client->upgraded || client->closing) continue;
        client->closing = true;
        client->timer.stop();
        client->socket->disconnectFromHost();
    }
}

bool RemoteHttpServer::isListening() const {
    return m_listener && m_listener->isListening();
}

quint16 RemoteHttpServer::port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

int RemoteHttpServer::clientCount() const {
    return int(m_clients.size());
}

bool RemoteHttpServer::takeSocket(QTcpSocket *socket) {
    if (m_clients.size() >= kMaxClients) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        refuseAndClose(socket, 503, QStringLiteral("too many clients (at most %1)").arg(kMaxClients));
        return false;
    }
    auto *client = new Client(socket, this);
    m_clients.insert(socket, client);
    client->timer.start(m_requestTimeoutMs); // the first request, like any, must come in time
    emit clientsChanged();
    return true;
}

void RemoteHttpServer::clientGone(Client *client) {
    // The socket is being destroyed: its address is only a key here.
    if (m_clients.remove(client->socket)) emit clientsChanged();
}

void RemoteHttpServer::onClientBytes(Client *client) {
    if (client->closing || client->upgraded) return;
    const qint64 fresh = client->socket->bytesAvailable(); // Qt's parser reads everything in its own slot
    if (fresh <= 0) return;
    if (client->bytes == 0) client->timer.start(m_requestTimeoutMs); // a request's first byte
    client->bytes += fresh;
    if (client->bytes > kMaxBodyBytes + kHeaderAllowance) {
        client->closing = true;
        client->timer.stop();
        refuseAndClose(client->socket, 413,
                       QStringLiteral("the request is larger than %1 bytes").arg(kMaxBodyBytes));
        return;
    }
}

void RemoteHttpServer::onClientTimeout(Client *client) {
    if (client->upgraded || client->closing || client->pending > 0) return;
    client->closing = true;
    if (client->upgrading) {
        client->socket->abort(); // a handshake that did not finish in time
        return;
    }
    if (client->bytes == 0 && !client->droppedByQt()) {
        client->socket->disconnectFromHost(); // idle between requests: nothing to answer
        return;
    }
    refuseAndClose(client->socket, 408,
                   QStringLiteral("the request was not complete within %1 ms").arg(m_requestTimeoutMs));
}

void RemoteHttpServer::refuseAndClose(QTcpSocket *socket, int status, const QString &message) {
    // Qt's parser takes no more of this connection; what still comes is read and dropped.
    QObject::disconnect(socket, &QTcpSocket::readyRead, m_front, nullptr);
    if (socket->isTransactionStarted()) socket->commitTransaction();
    socket->readAll();
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);

    const QByteArray body = compact(errorBody(message));
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    head += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    socket->write(head + body);
    auto written = [socket] {
        if (socket->bytesToWrite() == 0) shutdownWrite(socket);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, written);
    socket->flush();
    written();
    QTimer::singleShot(kLingerMs, socket, [socket] { socket->abort(); });
    m_refused.removeIf([](const QPointer<QTcpSocket> &s) { return s.isNull(); });
    m_refused << socket;
}

bool RemoteHttpServer::hostNameAccepted(const QString &host) const {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    QHostAddress address;
    if (!address.setAddress(host)) return false; // a name: what DNS rebinding would use
    if (isAnyAddress(m_address)) return true;
    return address.isEqual(m_address, QHostAddress::TolerantConversion);
}

bool RemoteHttpServer::hostAccepted(const QByteArray &hostHeader) const {
    const QString text = QString::fromLatin1(hostHeader).trimmed();
    QString host;
    QString portText;
    bool hasPort = false;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype end = text.indexOf(QLatin1Char(']'));
        if (end < 0) return false;
        host = text.mid(1, end - 1);
        const QString rest = text.mid(end + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) return false;
            hasPort = true;
            portText = rest.mid(1);
        }
        if (!host.contains(QLatin1Char(':'))) return false; // brackets hold IPv6 only
    } else {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            if (text.indexOf(QLatin1Char(':'), colon + 1) >= 0) return false; // IPv6 needs brackets
            hasPort = true;
            portText = text.mid(colon + 1);
        }
        host = colon >= 0 ? text.left(colon) : text;
    }
    if (hasPort) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || portText.size() > 5 || port == 0 || port > 65535 || !portText.at(0).isDigit())
            return false;
    }
    return !host.isEmpty() && hostNameAccepted(host);
}

bool RemoteHttpServer::originAccepted(const QByteArray &origin) const {
    const QUrl url(QString::fromLatin1(origin), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || !url.userInfo().isEmpty() ||
        !url.path().isEmpty() || url.hasQuery() || url.hasFragment())
        return false;
    return url.port(80) == int(port()) && hostNameAccepted(url.host());
}

bool RemoteHttpServer::tokenAccepted(const QByteArray &authorization, const QString &queryToken) const {
    if (!m_needToken) return true;
    const QByteArray header = authorization.trimmed();
    bool ok = false;
    if (header.size() > 7 && header.left(7).compare("bearer ", Qt::CaseInsensitive) == 0)
        ok = sameSecret(header.mid(7).trimmed(), m_token);
    if (!queryToken.isEmpty()) ok = sameSecret(queryToken.toUtf8(), m_token) || ok;
    return ok;
}

// Why an upgrade is refused, with the status to answer; 0 when it may go on.
int RemoteHttpServer::upgradeRefusal(const QHttpServerRequest &request, QString *why) const {
    const QByteArray origin = request.value("Origin");
    if (request.method() != QHttpServerRequest::Method::Get) {
        *why = QStringLiteral("a WebSocket upgrade is a GET");
        return 400;
    }
    if (!hostAccepted(request.value("Host"))) {
        *why = QStringLiteral("the Host header names no address of this server");
        return 403;
    }
    if (!tokenAccepted(request.value("Authorization"),
                       request.query().queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded))) {
        *why = QStringLiteral("a valid access token is needed (Authorization: Bearer TOKEN or ?token=TOKEN)");
        return 401;
    }
    if (request.url().path() != kEventsPath) {
        *why = QStringLiteral("no WebSocket at %1").arg(request.url().path());
        return 404;
    }
    if (!origin.isEmpty() && !originAccepted(origin)) {
        *why = QStringLiteral("WebSockets are not taken from pages of another site");
        return 403;
    }
    return 0;
}

bool RemoteHttpServer::upgradeAllowed(const QHttpServerRequest &request, QTcpSocket *socket) {
    Client *client = m_clients.value(socket);
    QString why;
    if (!client || client->closing || upgradeRefusal(request, &why) != 0) return false;
    client->upgrading = true; // the handshake comes later, from Qt's WebSocket server
    return true;
}

void RemoteHttpServer::refuseUpgrade(const QHttpServerRequest &request, QTcpSocket *socket) {
    Client *client = m_clients.value(socket);
    if (!client || client->closing) return;
    client->closing = true;
    client->timer.stop();
    QString why;
    const int status = upgradeRefusal(request, &why);
    refuseAndClose(socket, status ? status : 400,
                   status ? why : QStringLiteral("not a valid WebSocket upgrade"));
}

void RemoteHttpServer::handle(const QHttpServerRequest &request, QTcpSocket *socket,
                              QHttpServerResponder &&responder) {
    Client *client = m_clients.value(socket);
    if (!client || client->closing) return;
    client->bytes = 0;
    client->timer.start(m_requestTimeoutMs); // idle until the next request

    using Method = QHttpServerRequest::Method;
    const Method method = request.method();
    const QString path = request.url().path();

    if (!hostAccepted(request.value("Host")))
        return sendError(responder, 403, QStringLiteral("the Host header names no address of this server"));
    const bool tokenInQuery = path == QLatin1String("/") || path == kEventsPath;
    const QString queryToken =
        tokenInQuery ? request.query().queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded)
                     : QString();
    if (!tokenAccepted(request.value("Authorization"), queryToken))
        return sendError(responder, 401,
                         QStringLiteral("a valid access token is needed (Authorization: Bearer TOKEN)"),
                         {{"WWW-Authenticate", "Bearer"}});

    auto allow = [&](Method wanted, const QByteArray &name) {
        if (method == wanted) return true;
        sendError(responder, 405, QStringLiteral("use %1 here").arg(QString::fromLatin1(name)),
                  {{"Allow", name}});
        return false;
    };
    // A write: only from no page at all or from our own, and with a body of a size we take.
    auto writable = [&] {
        const QByteArray origin = request.value("Origin");
        if (!origin.isEmpty() && !originAccepted(origin)) {
            sendError(responder, 403, QStringLiteral("writes are not taken from pages of another site"));
            return false;
        }
        if (request.body().size() > kMaxBodyBytes) {
            client->closing = true;
            sendError(responder, 413, QStringLiteral("the body is larger than %1 bytes").arg(kMaxBodyBytes),
                      {{"Connection", "close"}});
            socket->disconnectFromHost();
            return false;
        }
        return true;
    };
    // The answer comes when the service has it; the connection may be gone by then.
    auto later = [&]() -> RemoteService::Answer {
        ++client->pending;
        client->timer.stop();
        auto shared = std::make_shared<QHttpServerResponder>(std::move(responder));
        QPointer<Client> guard(client);
        return [this, guard, shared](const Reply &reply) {
            if (!guard) return;
            --guard->pending;
            if (guard->closing || guard->socket->state() != QAbstractSocket::ConnectedState) return;
            sendJson(*shared, reply.status, reply.body);
            if (guard->pending == 0 && guard->bytes == 0) guard->timer.start(m_requestTimeoutMs);
        };
    };

    if (path == QLatin1String("/")) {
        if (!allow(Method::Get, "GET")) return;
        QFile page(QStringLiteral(":/remote/index.html"));
        if (!page.open(QIODevice::ReadOnly))
            return sendError(responder, 500, QStringLiteral("the page is missing"));
        // The page may run its own inline script and style and talk to this server only.
        const QByteArray host = request.value("Host").trimmed();
        const QByteArray policy =
            "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
            "img-src data:; connect-src 'self' ws://" +
            host + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
        return send(responder, 200, "text/html; charset=utf-8", page.readAll(),
                    {{"Content-Security-Policy", policy},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Referrer-Policy", "no-referrer"}});
    }
    if (path == kPrefix + QLatin1String("status")) {
        if (allow(Method::Get, "GET")) sendJson(responder, 200, m_service.status());
        return;
    }
    if (path == kPrefix + QLatin1String("variables")) {
        if (allow(Method::Get, "GET")) send(responder, 200, "application/json", m_service.variablesJson());
        return;
    }
    if (path.startsWith(kVariablesPrefix)) {
        const QString name = path.mid(kVariablesPrefix.size());
        if (name.isEmpty() || name.contains(QLatin1Char('/')))
            return sendError(responder, 404, QStringLiteral("no such resource: %1").arg(path));
        if (method == Method::Get) {
            const Reply reply = m_service.variable(name);
            return sendJson(responder, reply.status, reply.body);
        }
        if (!allow(Method::Put, "GET, PUT") || !writable()) return;
        QJsonValue value;
        QString why;
        if (!readValueBody(request.body(), value, &why)) return sendError(responder, 400, why);
        return m_service.set(name, value, later());
    }
    if (path == kPrefix + QLatin1String("backup")) {
        if (!allow(Method::Get, "GET")) return;
        QByteArray json;
        const Reply reply = m_service.backup(&json);
        if (!reply.ok()) return sendJson(responder, reply.status, reply.body);
        return send(responder, 200, "application/json", json);
    }
    if (path == kPrefix + QLatin1String("restore")) {
        if (!allow(Method::Post, "POST") || !writable()) return;
        const QUrlQuery query = request.query();
        bool dryRun = false;
        if (query.hasQueryItem(QStringLiteral("dryRun"))) {
            const QString v = query.queryItemValue(QStringLiteral("dryRun"));
            if (v == QLatin1String("1") || v == QLatin1String("true"))
                dryRun = true;
            else if (!(v.isEmpty() || v == QLatin1String("0") || v == QLatin1String("false")))
                return sendError(responder, 400, QStringLiteral("dryRun must be 1 or 0, not %1").arg(v));
        }
        int timeoutMs = kDefaultRestoreTimeoutMs;
        if (query.hasQueryItem(QStringLiteral("timeoutMs"))) {
            const QString v = query.queryItemValue(QStringLiteral("timeoutMs"));
            bool ok = false;
            const qint64 n = v.toLongLong(&ok);
            if (!ok || n < 1 || n > kMaxRestoreTimeoutMs)
                return sendError(responder, 400,
                                 QStringLiteral("timeoutMs must be a number from 1 to %1, not %2")
                                     .arg(kMaxRestoreTimeoutMs)
                                     .arg(v));
            timeoutMs = int(n);
        }
        return m_service.restore(request.body(), dryRun, timeoutMs, later());
    }
    if (path == kEventsPath) {
        if (!allow(Method::Get, "GET")) return;
        return sendError(responder, 426, QStringLiteral("this address takes WebSocket connections only"),
                         {{"Upgrade", "websocket"}});
    }
    sendError(responder, 404, QStringLiteral("no such resource: %1").arg(path));
}

void RemoteHttpServer::onNewWebSocket() {
    while (m_front->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> owned = m_front->nextPendingWebSocketConnection();
        if (!owned) continue;
        QWebSocket *ws = owned.release();
        ws->setParent(this);
        connect(ws, &QWebSocket::disconnected, ws, &QObject::deleteLater);
        // Match it to the connection it came from; a socket that did not pass upgradeAllowed is closed (1008)
        // before any of its messages is read.
        Client *from = nullptr;
        for (Client *client : std::as_const(m_clients))
            if (client->upgrading && !client->upgraded && client->socket->peerPort() == ws->peerPort() &&
                client->socket->peerAddress() == ws->peerAddress())
                from = client;
        if (!from) {
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not an accepted upgrade"));
            continue;
        }
        from->upgraded = true;
        from->timer.stop();
        // Should the WebSocket leave its connection behind, the connection goes with it.
        connect(ws, &QObject::destroyed, from, [from] { from->socket->deleteLater(); });

        ws->setMaxAllowedIncomingMessageSize(quint64(kMaxWebSocketMessage));
        ws->setMaxAllowedIncomingFrameSize(quint64(kMaxWebSocketMessage));
        connect(ws, &QWebSocket::textMessageReceived, this,
                [this, ws](const QString &text) { onWebSocketText(ws, text); });
        connect(ws, &QWebSocket::binaryMessageReceived, this, [ws](const QByteArray &) {
            QJsonObject answer = errorBody(QStringLiteral("messages are JSON text"));
            answer.insert(QStringLiteral("status"), 400);
            ws->sendTextMessage(QString::fromUtf8(compact(answer)));
        });
        m_sockets.removeIf([](const QPointer<QWebSocket> &s) { return s.isNull(); });
        m_sockets << ws;
    }
}

void RemoteHttpServer::onWebSocketText(QWebSocket *ws, const QString &text) {
    const QByteArray bytes = text.toUtf8();
    auto fail = [ws](int status, const QString &why) {
        QJsonObject answer = errorBody(why);
        answer.insert(QStringLiteral("status"), status);
        ws->sendTextMessage(QString::fromUtf8(compact(answer)));
    };
    if (bytes.size() > kMaxBodyBytes)
        return fail(413, QStringLiteral("the message is larger than %1 bytes").arg(kMaxBodyBytes));
    QString name;
    QJsonValue value;
    QString why;
    if (!readSetMessage(bytes, name, value, &why)) return fail(400, why);
    QPointer<QWebSocket> guard(ws);
    m_service.set(name, value, [guard](const Reply &reply) {
        if (!guard || guard->state() != QAbstractSocket::ConnectedState) return;
        QJsonObject answer = reply.body;
        answer.insert(QStringLiteral("status"), reply.status);
        guard->sendTextMessage(QString::fromUtf8(compact(answer)));
    });
}

void RemoteHttpServer::broadcast(const QByteArray &message) {
    const QString text = QString::fromUtf8(message);
    m_sockets.removeIf([](const QPointer<QWebSocket> &s) { return s.isNull(); });
    for (const QPointer<QWebSocket> &ws : std::as_const(m_sockets)) {
        if (!ws || ws->state() != QAbstractSocket::ConnectedState) continue;
        if (ws->bytesToWrite() > kMaxWebSocketBacklog) {
            ws->abort(); // reads nothing: it would hold our memory without end
            continue;
        }
        ws->sendTextMessage(text);
    }
}

} // namespace OxsRemote
