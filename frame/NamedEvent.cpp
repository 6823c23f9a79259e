#include "NamedEvent.h"

#include <chrono>
#include <utility>

uint64_t TEventGroup::Generation() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_generation;
}

bool TEventGroup::WaitForChange(uint64_t seen, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto changed = [&] { return m_generation != seen; };
    if (timeoutMs < 0) {
        m_changed.wait(lock, changed);
        return true;
    }
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), changed);
}

void TEventGroup::Wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_generation;
    }
    m_changed.notify_all();
}

TEventGroup::Batch::Batch(TEventGroup &group) : m_group(group) {
    m_group.m_mutex.lock();
}

TEventGroup::Batch::~Batch() {
    if (m_changed) ++m_group.m_generation;
    m_group.m_mutex.unlock();
    // After the unlock, so that the waiter does not wake only to wait for the lock.
    if (m_changed) m_group.m_changed.notify_all();
}

void TEventGroup::Batch::Set(TNamedEvent &event) {
    event.m_set = true;
    m_changed = true;
}

void TEventGroup::Batch::Reset(TNamedEvent &event) {
    event.m_set = false;
}

bool TEventGroup::Batch::IsSet(const TNamedEvent &event) const {
    return event.m_set;
}

void TNamedEvent::Set() {
    TEventGroup::Batch batch(m_group);
    batch.Set(*this);
}

void TNamedEvent::Reset() {
    std::lock_guard<std::mutex> lock(m_group.m_mutex);
    m_set = false;
}

bool TNamedEvent::IsSet() const {
    std::lock_guard<std::mutex> lock(m_group.m_mutex);
    return m_set;
}

bool TNamedEvent::Take() {
    std::lock_guard<std::mutex> lock(m_group.m_mutex);
    return std::exchange(m_set, false);
}
