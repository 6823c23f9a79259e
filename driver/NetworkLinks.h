#pragma once

#include "Link.h"

#include <QObject>

#include <functional>

class QHostAddress;
class QHostInfo;
class QSocketNotifier;
class QTcpSocket;
class QUdpSocket;

// UDP endpoint bound on all local IPv4 addresses with broadcast permission.
class TUdpLink : public QObject, public TLink {
    Q_OBJECT
  public:
    using DatagramHandler = std::function<void(const QByteArray &, const QString &sender, quint16 port)>;

    TUdpLink(const TNetEndpoints &endpoints, DatagramHandler onDatagram, QObject *parent = nullptr);
    ~TUdpLink() override;

    bool Open() override;
    void Close() override;
    bool IsActive() const override;
    bool Send(const QByteArray &data) override;
    QString ErrorString() const override { return m_error; }

  private:
    void readPending();

    const TNetEndpoints &m_endpoints;
    DatagramHandler m_onDatagram;
    QUdpSocket *m_socket;
    QString m_error;
};

// Non-blocking TCP client. Reports connection, data (in chunks of at most 8192 bytes) and errors.
// The connect is made here rather than by QTcpSocket, which silently starts a new connect on the same
// socket when the peer resets it before the connect is seen to finish: against a peer that accepts and
// resets, that is hundreds of connects a second. Here every failed attempt is reported, once.
class TTcpLink : public QObject, public TLink {
    Q_OBJECT
  public:
    struct Handlers {
        std::function<void()> connected;
        std::function<void()> error;
        std::function<void(const QByteArray &)> data;
    };

    TTcpLink(const TNetEndpoints &endpoints, Handlers handlers, QObject *parent = nullptr);
    ~TTcpLink() override;

    bool Open() override;
    void Close() override;
    bool IsActive() const override;
    bool Send(const QByteArray &data) override;
    // Why the last attempt failed: "connection refused", "host not found", ...
    QString ErrorString() const override { return m_error; }

  private:
    void readAvailable();
    void hostFound(const QHostInfo &info);
    void connectTo(const QHostAddress &address);
    void connectFinished();
    void abandonConnect();
    void failLater(const QString &why);

    const TNetEndpoints &m_endpoints;
    Handlers m_handlers;
    QTcpSocket *m_socket;
    QString m_error;
    int m_lookupId = -1;
    int m_connectingFd = -1;
    QSocketNotifier *m_connectNotifier = nullptr;
    quint64 m_attempt = 0; // a queued failure of an abandoned attempt is not reported
};
