#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class TOrlan_d;

// Whether what the window shows is the scaler's last word rather than live: from the loss of a scaler that
// was found until it is found again. Follows the driver's signals (the window keeps its event handlers) and
// notes the time of the last report.
class TLinkSilence : public QObject {
    Q_OBJECT
  public:
    explicit TLinkSilence(TOrlan_d &driver, QObject *parent = nullptr);

    // The clock (tests); empty: the local time.
    void SetClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    bool Stale() const { return m_stale; }
    // The time of the last report before the loss (invalid when none came).
    QDateTime LastReport() const { return m_lastReport; }
    // "last report 14:02:11", for the tooltips of stale values; empty while the values are live.
    QString Hint() const;
    // "Scaler silent since 14:02:11", for the status bar; empty while the values are live.
    QString Notice() const;

  signals:
    void changed();

  private:
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }
    QString lastReportTime() const;

    TOrlan_d &m_driver;
    std::function<QDateTime()> m_clock;
    QDateTime m_lastReport;
    bool m_stale = false;
};
