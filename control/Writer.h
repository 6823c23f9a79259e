#pragma once

#include "Values.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class TOrlan_d;

namespace OxsControl {

// One value to write, with the name it is shown under ("PENA of input 2"; empty for a selector such as
// PCHAN that is no setting of its own).
struct Assignment {
    Target target;
    Value value;
    QString label;

    QString shownName() const { return label.isEmpty() ? target.name : label; }
};

// The text of an assignment's value as the scaler would report it.
QString assignedText(const Assignment &a);

// Writes values one at a time through the driver's setters. A value counts as answered once the scaler
// reports it (possibly another value: the scaler may limit it); only then does the next go out. Nothing
// goes out while the driver is not connected: a value held back goes out on the next connection. The
// caller feeds it the driver's events.
class ValueWriter : public QObject {
    Q_OBJECT
  public:
    explicit ValueWriter(TOrlan_d &driver, QObject *parent = nullptr);

    // While this returns true a report of another value than the one written may be an old report (the
    // answer to the query-all) rather than the answer: it is not taken as the answer. By default: while
    // the driver waits for the end of that answer.
    void setStaleReports(std::function<bool()> stale) { m_stale = std::move(stale); }

    // Starts writing, from the next turn of the event loop.
    void write(QList<Assignment> items);
    void stop() { m_stopped = true; }

    // The value waiting for its answer, or nullptr.
    const Assignment *pending() const;
    bool pendingSent() const { return pending() && m_sent; }
    // The values without an answer, in order: the pending one first.
    QList<Assignment> unanswered() const;
    // Gives up waiting for the pending value and goes on with the next.
    void skipPending();

    void connectionChanged();             // OnConnected
    void changed(int index);              // the change event of a row
    void received(const QByteArray &msg); // OnRecString

    // Before a value goes out: true skips it (restore: the scaler holds it already).
    std::function<bool(int position, const Assignment &)> skipIf;
    // A value just went out.
    std::function<void(const Assignment &)> sending;
    // The scaler answered: what it reports, and whether that is the value written.
    std::function<void(const Assignment &, const QString &reported, bool asked)> answered;
    // Every value is answered (or skipped).
    std::function<void()> done;

  private:
    bool expectingReply() const { return pendingSent() && !m_stopped; }
    void sendNext();
    void sendCurrent();
    void checkRowReply(uint32_t reported);
    void checkNetworkSetting();
    void answer(const QString &reported, bool asked);

    TOrlan_d &m_driver;
    std::function<bool()> m_stale;
    QList<Assignment> m_items;
    int m_current = -1;
    bool m_awaiting = false; // m_current has no answer yet
    bool m_sent = false;     // its command went out
    bool m_stopped = false;
};

} // namespace OxsControl
