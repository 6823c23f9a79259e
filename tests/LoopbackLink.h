#pragma once

#include "Orlan_d.h"

#include <QString>

// A driver at the tools' quick pace on a TCP port of 127.0.0.1 (the simulator's).
inline void linkOverLoopbackTcp(TOrlan_d &driver, quint16 port) {
    driver.SetLinkPacing(TLinkPacing::Fast());
    driver.SetIpRemoteAddress(QStringLiteral("127.0.0.1"));
    driver.SetIpRemotePort(port);
    driver.SetConType(CON_TCP);
}
