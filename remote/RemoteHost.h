#pragma once

#include "RemoteService.h"
#include "RemoteSettings.h"

#include <QObject>
#include <QString>

#include <memory>

class TOrlan_d;

namespace OxsRemote {

class RemoteHttpServer;
class OscServer;

// The remote access of the running program: the service on the window's driver,
// from the start (so that it knows what the scaler reported), and its HTTP,
// WebSocket and OSC servers while remote access is on.
class RemoteHost : public QObject {
  Q_OBJECT
public:
  explicit RemoteHost(TOrlan_d &driver, QObject *parent = nullptr);
  ~RemoteHost() override;

  RemoteService &service() { return m_service; }

  // Takes the settings: the servers stop, and start again on them when they are
  // enabled. Returns false with the reason in *why (also kept for statusText)
  // when they cannot start; they are off then.
  bool apply(const RemoteSettings &settings, QString *why = nullptr);
  void stop();

  bool running() const;
  const RemoteSettings &settings() const { return m_settings; }
  quint16 port() const;
  int clientCount() const;
  // "Listening on 127.0.0.1:10600 (HTTP, WebSocket and OSC), 1 client", "Off",
  // or why it could not start.
  QString statusText() const;

signals:
  void statusChanged();

private:
  RemoteService m_service;
  RemoteSettings m_settings;
  std::unique_ptr<RemoteHttpServer> m_http;
  std::unique_ptr<OscServer> m_osc;
  QString m_failure;
};

} // namespace OxsRemote
