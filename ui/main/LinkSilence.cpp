#include "LinkSilence.h"

#include "Orlan_d.h"

TLinkSilence::TLinkSilence(TOrlan_d &driver, QObject *parent) : QObject(parent), m_driver(driver) {
    connect(&driver, &TOrlan_d::messageMatched, this, [this] {
        if (!m_stale) m_lastReport = now();
    });
    connect(&driver, &TOrlan_d::connectedChanged, this, [this] {
        // A loss before any scaler was found leaves nothing stale: the window shows no scaler's values.
        const bool stale = !m_driver.Connected() && m_lastReport.isValid();
        if (stale == m_stale) return;
        m_stale = stale;
        emit changed();
    });
}

QString TLinkSilence::lastReportTime() const {
    return m_lastReport.time().toString(QStringLiteral("HH:mm:ss"));
}

QString TLinkSilence::Hint() const {
    return m_stale ? QStringLiteral("last report %1").arg(lastReportTime()) : QString();
}

QString TLinkSilence::Notice() const {
    return m_stale ? QStringLiteral("Scaler silent since %1").arg(lastReportTime()) : QString();
}
