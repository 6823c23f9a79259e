#include "ResettingPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace OxsSim {

ResettingPeer::ResettingPeer() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(m_listener, 64) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

ResettingPeer::~ResettingPeer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) ::close(m_listener);
}

void ResettingPeer::serve() {
    while (!m_stop) {
        pollfd ready{m_listener, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) continue;
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0) continue;
        const linger reset{1, 0}; // close with RST rather than FIN
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
        ++m_accepted;
    }
}

} // namespace OxsSim
