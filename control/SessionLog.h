#pragma once

#include "ReportLog.h"

#include <QObject>

class TOrlan_d;

namespace OxsControl {

// What the scaler reported since it was found, kept from the driver's signals (so the window keeps every
// event handler): each matched message is recorded before the driver stores it, and the log starts over
// when the scaler is lost.
class SessionLog : public QObject {
    Q_OBJECT
  public:
    explicit SessionLog(TOrlan_d &driver, QObject *parent = nullptr);

    const ReportLog &log() const { return m_log; }

  private:
    TOrlan_d &m_driver;
    ReportLog m_log;
};

} // namespace OxsControl
