#pragma once

#include "OscMessages.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class QUdpSocket;

namespace OxsRemote {

class RemoteService;

// OSC over UDP on the user-interface thread: /oxs/set and /oxs/get answered to the sender, every change
// sent to the subscribers. Datagrams that are not taken (malformed, unknown address, too large, from a
// sender not allowed) are dropped without an answer.
class OscServer : public QObject {
    Q_OBJECT
  public:
    static constexpr int kSubscriptionMs = 10 * 60 * 1000;
    static constexpr int kMaxSubscribers = 64;
    static constexpr int kMaxPendingSets = 64;    // writes waiting for the scaler's report
    static constexpr int kDatagramsPerRound = 64; // read before the event loop gets its turn again

    OscServer(RemoteService &service, QObject *parent = nullptr);
    ~OscServer() override;

    // Binds UDP address:port. allowedSenders: addresses taken besides loopback ones (the settings' list).
    bool listen(const QHostAddress &address, quint16 port, const QList<QHostAddress> &allowedSenders,
                QString *why);
    void close();
    bool isListening() const;
    quint16 port() const;
    int subscriberCount() const { return int(m_subscribers.size()); }

    // A steady clock in milliseconds for the subscriptions' idle time (tests step their own).
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Drops the subscribers that sent nothing for kSubscriptionMs; a timer calls it now and then.
    void expireIdle();
    // Whether loopback senders are taken unlisted (tests turn it off to play a stranger on loopback).
    void setTrustLoopback(bool trust) { m_trustLoopback = trust; }

  signals:
    void clientsChanged();

  private:
    struct Subscriber {
        QHostAddress address;
        quint16 port = 0;
        qint64 lastHeardMs = 0;
    };

    void readDatagrams();
    void handle(const QHostAddress &sender, quint16 senderPort, const OscRequest &request);
    void answer(const QHostAddress &to, quint16 port, const QString &name, const QJsonObject &body,
                int status);
    void send(const QHostAddress &to, quint16 port, const QByteArray &packet);
    void heardFrom(const QHostAddress &sender, quint16 senderPort);
    void subscribe(const QHostAddress &sender, quint16 senderPort);
    void unsubscribe(const QHostAddress &sender, quint16 senderPort);
    void publish(const QString &name, const QJsonValue &value);
    int findSubscriber(const QHostAddress &address, quint16 port) const;

    RemoteService &m_service;
    QUdpSocket *m_socket = nullptr;
    QList<QHostAddress> m_allowed;
    QList<Subscriber> m_subscribers;
    QTimer m_expiry;
    Clock m_clock;
    bool m_trustLoopback = true;
    int m_pendingSets = 0;
};

} // namespace OxsRemote
