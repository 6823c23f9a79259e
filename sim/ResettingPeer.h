#pragma once

#include <QtGlobal>

#include <atomic>
#include <thread>

namespace OxsSim {

// A loopback TCP peer that accepts every connection and resets it at once. It runs on a thread of its own,
// so the reset can arrive before the client's event loop has noticed that its connect finished: the
// misbehaving peer a client must not hammer with reconnects.
class ResettingPeer {
  public:
    ResettingPeer();
    ~ResettingPeer();
    ResettingPeer(const ResettingPeer &) = delete;
    ResettingPeer &operator=(const ResettingPeer &) = delete;

    // The port on 127.0.0.1, or 0 when the peer could not listen.
    quint16 port() const { return m_port; }
    int accepted() const { return m_accepted; }

  private:
    void serve();

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

} // namespace OxsSim
