#include "SerialLink.h"

#include "ComPort.h"

bool TSerialLink::Open() {
    m_port.Open();
    return true;
}

void TSerialLink::Close() {
    m_port.Close();
}

bool TSerialLink::IsActive() const {
    return m_port.Opened();
}

bool TSerialLink::Send(const QByteArray &data) {
    m_port.Write(data);
    return true;
}
