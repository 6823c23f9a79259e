#include "SessionLog.h"

#include "Orlan_d.h"

namespace OxsControl {

SessionLog::SessionLog(TOrlan_d &driver, QObject *parent) : QObject(parent), m_driver(driver) {
    connect(&driver, &TOrlan_d::messageMatched, this,
            [this](const QByteArray &message) { m_log.record(m_driver, message); });
    // The identity answer comes before the scaler counts as found: only a loss starts the log over.
    connect(&driver, &TOrlan_d::connectedChanged, this, [this] {
        if (!m_driver.Connected()) m_log.clear();
    });
}

} // namespace OxsControl
