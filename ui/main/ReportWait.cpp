#include "ReportWait.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

TReportWait::TReportWait(QObject *parent) : QObject(parent) {}

// `toggled` covers every way the operator changes the state (a click, Space, the accessibility Press and
// Toggle actions), where `clicked` misses the Toggle action.
void TReportWait::WriteOnToggle(QAbstractButton *button, std::function<void(bool)> write) {
    const bool radio = qobject_cast<QRadioButton *>(button) != nullptr;
    connect(button, &QAbstractButton::toggled, this, [this, radio, write = std::move(write)](bool checked) {
        if (Showing() || (radio && !checked)) return;
        write(checked);
    });
}

void TReportWait::Expect(QObject *control, std::function<void()> reshow) {
    Wait &wait = m_waits[control];
    if (!wait.timer) {
        wait.timer = new QTimer(this);
        wait.timer->setSingleShot(true);
        wait.timer->setInterval(kWaitMs);
        connect(wait.timer, &QTimer::timeout, this, [this, control] { expired(control); });
    }
    wait.reshow = std::move(reshow);
    wait.timer->start();
}

void TReportWait::Show(std::initializer_list<QObject *> controls, const std::function<void()> &show) {
    for (QObject *control : controls) {
        m_reported.insert(control);
        const auto wait = m_waits.constFind(control);
        if (wait != m_waits.constEnd()) wait->timer->stop();
    }
    ++m_showing;
    show();
    --m_showing;
}

bool TReportWait::Waiting(QObject *control) const {
    const auto wait = m_waits.constFind(control);
    return wait != m_waits.constEnd() && wait->timer->isActive();
}

bool TReportWait::Waiting() const {
    return std::any_of(m_waits.cbegin(), m_waits.cend(),
                       [](const Wait &wait) { return wait.timer->isActive(); });
}

void TReportWait::expired(QObject *control) {
    const std::function<void()> reshow = m_waits.value(control).reshow;
    ++m_showing;
    auto *list = qobject_cast<QComboBox *>(control);
    if (list && !m_reported.contains(control))
        list->setCurrentIndex(-1);
    else if (reshow)
        reshow();
    --m_showing;
}
