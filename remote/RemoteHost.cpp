#include "RemoteHost.h"

#include "HttpServer.h"
#include "OscServer.h"

#include <QHostAddress>

namespace OxsRemote {

RemoteHost::RemoteHost(TOrlan_d &driver, QObject *parent)
    : QObject(parent), m_service(driver) {}

// The servers go before the service they serve.
RemoteHost::~RemoteHost() { stop(); }

bool RemoteHost::apply(const RemoteSettings &settings, QString *why) {
  stop();
  m_settings = settings;
  m_failure.clear();
  if (!settings.enabled) {
    emit statusChanged();
    return true;
  }
  QString failure = checkRemoteSettings(settings);
  if (failure.isEmpty()) {
    const QHostAddress address = settings.hostAddress();
    QList<QHostAddress> senders;
    for (const QString &s : settings.oscSenders)
      senders << QHostAddress(s);
    m_http = std::make_unique<RemoteHttpServer>(m_service);
    m_osc = std::make_unique<OscServer>(m_service);
    connect(m_http.get(), &RemoteHttpServer::clientsChanged, this,
            &RemoteHost::statusChanged);
    connect(m_osc.get(), &OscServer::clientsChanged, this,
            &RemoteHost::statusChanged);
    if (!m_http->listen(address, settings.port, settings.token, &failure) ||
        !m_osc->listen(address, m_http->port(), senders, &failure))
      stop();
  }
  m_failure = failure;
  if (why)
    *why = failure;
  emit statusChanged();
  return failure.isEmpty();
}

void RemoteHost::stop() {
  const bool wasRunning = running();
  m_osc.reset();
  m_http.reset();
  if (wasRunning)
    emit statusChanged();
}

bool RemoteHost::running() const { return m_http && m_http->isListening(); }

quint16 RemoteHost::port() const { return running() ? m_http->port() : 0; }

int RemoteHost::clientCount() const {
  return (m_http ? m_http->clientCount() : 0) +
         (m_osc ? m_osc->subscriberCount() : 0);
}

QString RemoteHost::statusText() const {
  if (!m_failure.isEmpty())
    return QStringLiteral("Not listening: %1").arg(m_failure);
  if (!running())
    return QStringLiteral("Off");
  RemoteSettings where = m_settings;
  where.port = port();
  const int clients = clientCount();
  return QStringLiteral(
             "Listening on %1 (HTTP, WebSocket and OSC), %2 client%3")
      .arg(listenText(where))
      .arg(clients)
      .arg(clients == 1 ? QString() : QStringLiteral("s"));
}

} // namespace OxsRemote
