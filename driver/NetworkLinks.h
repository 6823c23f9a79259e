#pragma once

#include "Link.h"

#include <QObject>

#include <functional>

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

  private:
    void readAvailable();

    const TNetEndpoints &m_endpoints;
    Handlers m_handlers;
    QTcpSocket *m_socket;
};
