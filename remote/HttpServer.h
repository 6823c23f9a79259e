#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QHttpServerRequest;
class QHttpServerResponder;
class QTcpSocket;
class QWebSocket;

// The HTTP/1.1 and WebSocket front of the remote service: the JSON API under /api/v1, the event socket at
// /api/v1/events and the web remote's page at /. Qt HTTP Server parses the requests; this class adds what a
// server reachable by other programs needs: the Host, Origin and token rules, and limits on body size,
// request time and clients, none of which blocks the event loop. Lives on the user-interface thread.
namespace OxsRemote {

class RemoteService;

class RemoteHttpServer : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxClients = 64;         // HTTP connections and WebSockets together
    static constexpr int kHeaderTimeoutMs = 10000; // a request must be complete within this
    // Bytes a request may have besides its body before it is refused as too large.
    static constexpr qsizetype kHeaderAllowance = 16 * 1024;
    // What a refused connection is given to read our answer before it is cut.
    static constexpr int kLingerMs = 2000;

    RemoteHttpServer(RemoteService &service, QObject *parent = nullptr);
    ~RemoteHttpServer() override; // closes every connection cleanly

    // Listens on address:port (TCP). token: required as Bearer on every request when the address is not
    // loopback (ignored on loopback; listening elsewhere without one is refused). Returns false with the
    // reason in *why (port in use...).
    bool listen(const QHostAddress &address, quint16 port, const QString &token, QString *why);
    void close();
    bool isListening() const;
    quint16 port() const;    // the port actually bound (listen with 0 in tests)
    int clientCount() const; // open HTTP connections + WebSockets

    // The time a request may take from its first byte (tests shorten it); also how long an idle
    // connection is kept.
    void setRequestTimeoutMs(int ms) { m_requestTimeoutMs = ms; }
    int requestTimeoutMs() const { return m_requestTimeoutMs; }
    // Demands the token on loopback too, from the next listen (tests, which may not leave loopback).
    void setTokenOnLoopback(bool on) { m_tokenOnLoopback = on; }

  signals:
    void clientsChanged();

  private:
    class Front;
    class Listener;
    class Client;
    friend class Front;
    friend class Listener;
    friend class Client;

    // Connections as they arrive, before Qt's server sees them.
    bool takeSocket(QTcpSocket *socket);
    void clientGone(Client *client);
    void onClientBytes(Client *client);
    void onClientTimeout(Client *client);
    // Whether Qt may go on with the WebSocket handshake this request asks for.
    bool upgradeAllowed(const QHttpServerRequest &request, QTcpSocket *socket);
    int upgradeRefusal(const QHttpServerRequest &request, QString *why) const;
    void refuseUpgrade(const QHttpServerRequest &request, QTcpSocket *socket);
    // A complete request from Qt's parser.
    void handle(const QHttpServerRequest &request, QTcpSocket *socket, QHttpServerResponder &&responder);
    void onNewWebSocket();
    void onWebSocketText(QWebSocket *socket, const QString &text);
    void broadcast(const QByteArray &message);

    // Answers with a status and {"error": message} written straight to the socket, then closes it after
    // giving the client time to read (used where Qt's parser cannot answer: too large, too slow, too many).
    void refuseAndClose(QTcpSocket *socket, int status, const QString &message);

    bool hostAccepted(const QByteArray &hostHeader) const;
    bool hostNameAccepted(const QString &host) const;
    bool originAccepted(const QByteArray &origin) const;
    bool tokenAccepted(const QByteArray &authorization, const QString &queryToken) const;

    RemoteService &m_service;
    Front *m_front = nullptr;
    Listener *m_listener = nullptr;
    QHostAddress m_address;
    bool m_needToken = false;
    bool m_tokenOnLoopback = false;
    QByteArray m_token;
    int m_requestTimeoutMs = kHeaderTimeoutMs;
    QHash<QTcpSocket *, Client *> m_clients; // every connection taken, upgraded ones too
    QList<QPointer<QWebSocket>> m_sockets;   // WebSockets that passed the checks
    QList<QPointer<QTcpSocket>> m_refused;   // connections being closed after an answer
};

} // namespace OxsRemote
