#pragma once

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <mutex>

class TNamedEvent;

// Standard mutexes and condition variables rather than Qt's, so that ThreadSanitizer sees every hand-over
// between the threads.

// A group of manual-reset events that one thread waits on together: setting any event of the group wakes
// the waiter, which then looks at the events it cares about. Several changes can be made as one step
// (Batch), so that a waiter never sees half of them.
class TEventGroup {
  public:
    TEventGroup() = default;
    TEventGroup(const TEventGroup &) = delete;
    TEventGroup &operator=(const TEventGroup &) = delete;

    // Counts every Set and Wake; a waiter takes it before looking at the events and waits for it to move.
    uint64_t Generation() const;
    // Waits until the generation differs from `seen` or `timeoutMs` has passed (negative: no limit).
    // Returns false on time-out.
    bool WaitForChange(uint64_t seen, int timeoutMs) const;
    // Wakes the waiter without setting an event.
    void Wake();

    // Holds the group's lock: the changes made through it appear at once and wake the waiter once.
    class Batch {
      public:
        explicit Batch(TEventGroup &group);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;
        void Set(TNamedEvent &event);
        void Reset(TNamedEvent &event);
        bool IsSet(const TNamedEvent &event) const;

      private:
        TEventGroup &m_group;
        bool m_changed = false;
    };

  private:
    friend class TNamedEvent;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    uint64_t m_generation = 0;
};

// A manual-reset event with a name: it stays set until reset. Thread-safe.
class TNamedEvent {
  public:
    TNamedEvent(TEventGroup &group, const QString &name, bool initiallySet = false)
        : m_group(group), m_name(name), m_set(initiallySet) {}
    TNamedEvent(const TNamedEvent &) = delete;
    TNamedEvent &operator=(const TNamedEvent &) = delete;

    const QString &Name() const { return m_name; }
    void Set();
    void Reset();
    bool IsSet() const;
    // Resets the event if it is set; true when it was set (the caller consumed it).
    bool Take();

  private:
    friend class TEventGroup;
    TEventGroup &m_group;
    const QString m_name;
    bool m_set; // guarded by the group's mutex
};
