#pragma once

#include "Link.h"

class TComPort;

// The serial port seen as a link. Open throws EComError when the port cannot be opened.
class TSerialLink : public TLink {
  public:
    explicit TSerialLink(TComPort &port) : m_port(port) {}

    bool Open() override;
    void Close() override;
    bool IsActive() const override;
    bool Send(const QByteArray &data) override;

  private:
    TComPort &m_port;
};
