#include "Writer.h"

#include "DeviceVariables.h"
#include "Orlan_d.h"

#include <QTimer>

namespace OxsControl {

using namespace OrlanVars;

namespace {

// The reply that ends a network-setting command sequence: the last octet, the port, the mask.
int finalReplyRow(const Target &target) {
    if (target.isAddress()) return VAR_IP1;
    if (target.isPort()) return VAR_PORT;
    return VAR_NETMASK;
}

} // namespace

QString assignedText(const Assignment &a) {
    if (!a.value.text.isEmpty()) return a.value.text;
    return a.target.kind == TargetKind::Row ? formatRowValue(a.target.index, a.value.number)
                                            : QString::number(a.value.number);
}

ValueWriter::ValueWriter(TOrlan_d &driver, QObject *parent) : QObject(parent), m_driver(driver) {
    m_stale = [this] { return !m_driver.Ready() && m_driver.LinkState() == LINK_READY; };
}

void ValueWriter::write(QList<Assignment> items) {
    m_items = std::move(items);
    m_current = -1;
    m_awaiting = true; // the first value is on its way
    m_sent = false;
    QTimer::singleShot(0, this, &ValueWriter::sendNext);
}

const Assignment *ValueWriter::pending() const {
    return m_current >= 0 && m_current < m_items.size() && m_awaiting ? &m_items[m_current] : nullptr;
}

QList<Assignment> ValueWriter::unanswered() const {
    if (m_items.isEmpty()) return {};
    const int from = pending() ? m_current : m_current + 1;
    return m_items.mid(from < 0 ? 0 : from);
}

void ValueWriter::skipPending() {
    if (!pending()) return;
    m_awaiting = false;
    QTimer::singleShot(0, this, &ValueWriter::sendNext);
}

void ValueWriter::sendNext() {
    if (m_stopped) return;
    while (m_current + 1 < m_items.size() && skipIf && skipIf(m_current + 1, m_items[m_current + 1]))
        ++m_current;
    if (m_current + 1 >= m_items.size()) {
        m_current = int(m_items.size());
        m_awaiting = false;
        if (done) done();
        return;
    }
    ++m_current;
    m_awaiting = true;
    m_sent = false;
    sendCurrent();
}

void ValueWriter::sendCurrent() {
    if (m_stopped || !pending() || m_sent || !m_driver.Connected())
        return; // while not connected the setters send nothing; the next connection sends it
    const Assignment &a = m_items[m_current];
    m_sent = true;
    if (sending) sending(a);
    switch (a.target.kind) {
    case TargetKind::LocalIp:
        m_driver.SetLOCAL_IP(a.value.text);
        break;
    case TargetKind::RemoteIp:
        m_driver.SetREMOTE_IP(a.value.text);
        break;
    case TargetKind::GatewayIp:
        m_driver.SetGATEWAY_IP(a.value.text);
        break;
    case TargetKind::Netmask:
        m_driver.SetNETMASK(a.value.text);
        break;
    case TargetKind::LocalPort:
        m_driver.SetLOCAL_PORT(static_cast<int32_t>(a.value.number));
        break;
    case TargetKind::RemotePort:
        m_driver.SetREMOTE_PORT(static_cast<int32_t>(a.value.number));
        break;
    case TargetKind::Row:
        m_driver.SetValue(a.target.index, a.value.number);
        break;
    }
}

void ValueWriter::connectionChanged() {
    // A value held back while the link was down goes out now.
    if (m_driver.Connected() && pending() && !m_sent && m_current >= 0)
        QTimer::singleShot(0, this, &ValueWriter::sendCurrent);
}

void ValueWriter::checkRowReply(uint32_t reported) {
    const Assignment &a = m_items[m_current];
    const bool asked = sameRowValue(a.target.index, a.value.number, reported);
    if (!asked && m_stale && m_stale()) return;
    answer(formatRowValue(a.target.index, reported), asked);
}

void ValueWriter::checkNetworkSetting() {
    if (!expectingReply()) return;
    const Assignment &a = m_items[m_current];
    const QString stored = readEntry(m_driver, a.target).valueText();
    const QString askedText = a.target.isPort() ? QString::number(a.value.number) : a.value.text;
    const bool asked = stored == askedText;
    if (!asked && m_stale && m_stale()) return;
    answer(stored, asked);
}

void ValueWriter::answer(const QString &reported, bool asked) {
    const Assignment a = m_items[m_current];
    m_awaiting = false;
    if (answered) answered(a, reported, asked);
    QTimer::singleShot(0, this, &ValueWriter::sendNext);
}

void ValueWriter::changed(int index) {
    if (!expectingReply()) return;
    const Target &t = m_items[m_current].target;
    if (t.kind == TargetKind::Row && t.index == index) checkRowReply(m_driver.Value(index));
}

void ValueWriter::received(const QByteArray &msg) {
    if (!expectingReply()) return;
    const Target &target = m_items[m_current].target;
    if (target.kind == TargetKind::Row) {
        // The octet rows raise no change event: their reply itself answers them.
        uint32_t reported = 0;
        if (!m_driver.ChangeEvent(target.index) && replyMatchesRow(msg, target.index, &reported))
            checkRowReply(reported);
    } else if (replyMatchesRow(msg, finalReplyRow(target))) {
        // The driver stores the value after this event; look once the parser is done.
        QTimer::singleShot(0, this, &ValueWriter::checkNetworkSetting);
    }
}

} // namespace OxsControl
