#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// One transport to the scaler (serial port, UDP socket or TCP client). The driver owns one per link
// type and talks to the active one only through this interface, so tests can put a fake in its place.
class TLink {
  public:
    virtual ~TLink() = default;

    // Opens the transport. Returns false when it cannot be opened; the serial link throws EComError instead.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsActive() const = 0;
    // Writes the bytes; only called while active. Returns false on a transport error (see ErrorString).
    virtual bool Send(const QByteArray &data) = 0;
    virtual QString ErrorString() const { return {}; }
};

// Addresses the network links use. The driver owns them: the first three are its IpLocalPort, IpRemoteAddress
// and IpRemotePort; the TCP client's own endpoint is updated only where a property write reopens it.
struct TNetEndpoints {
    int32_t udpLocalPort = 10500;                           // the UDP socket binds here (IpLocalPort)
    QString remoteAddress = QStringLiteral("192.168.0.10"); // datagram destination (IpRemoteAddress)
    int32_t remotePort = 10500;                             // datagram destination (IpRemotePort)
    QString tcpAddress = QStringLiteral("192.168.0.10");    // the TCP client's remote address
    int32_t tcpPort = 10500;                                // the TCP client's remote port
};
