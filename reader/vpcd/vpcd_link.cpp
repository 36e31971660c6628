#include "vpcd_link.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel::reader::vpcd {

namespace {

constexpr std::size_t kLengthBytes = 2;
constexpr std::size_t kLargestMessage = 0xFFFF;

// vpcd writes the length and the message separately; with delayed acknowledgements each
// exchange would wait some 40 ms for the second write. Linux forgets the flag after each read.
void AcknowledgeAtOnce(int socket) {
#ifdef TCP_QUICKACK
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    (void)socket;
#endif
}

} // namespace

bool VpcdLink::connect(std::uint16_t port, std::string& error) {
    close();
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error = std::string("socket impossible (") + std::strerror(errno) + ")";
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "lecteur virtuel 127.0.0.1:" + std::to_string(port) + " : " + std::strerror(errno) +
                " (pcscd tourne-t-il avec le pilote vpcd ?)";
        ::close(s);
        return false;
    }
    const int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    socket_ = s;
    return true;
}

void VpcdLink::close() {
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
}

VpcdLink::Received VpcdLink::readExactly(std::uint8_t* into, std::size_t length, int stopFd,
                                         int otherStopFd) {
    while (length > 0) {
        // poll() skips negative descriptors.
        pollfd fds[3] = {{socket_, POLLIN, 0}, {stopFd, POLLIN, 0}, {otherStopFd, POLLIN, 0}};
        const int ready = ::poll(fds, 3, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Received::Closed;
        if ((fds[1].revents | fds[2].revents) & POLLIN)
            return Received::Stopped;
        AcknowledgeAtOnce(socket_);
        const ssize_t got = ::recv(socket_, into, length, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return Received::Closed;
        into += got;
        length -= static_cast<std::size_t>(got);
    }
    return Received::Message;
}

VpcdLink::Received VpcdLink::receive(std::vector<std::uint8_t>& message, int stopFd,
                                     int otherStopFd) {
    if (socket_ < 0)
        return Received::Closed;
    std::uint8_t length[kLengthBytes];
    if (const Received r = readExactly(length, kLengthBytes, stopFd, otherStopFd);
        r != Received::Message) {
        return r;
    }
    message.resize(static_cast<std::size_t>(length[0]) << 8 | length[1]);
    return readExactly(message.data(), message.size(), stopFd, otherStopFd);
}

bool VpcdLink::send(std::span<const std::uint8_t> message) {
    if (socket_ < 0 || message.size() > kLargestMessage)
        return false;
    // One write for length and message, so that the reader never waits for a second segment.
    std::vector<std::uint8_t> frame;
    frame.reserve(kLengthBytes + message.size());
    frame.push_back(static_cast<std::uint8_t>(message.size() >> 8));
    frame.push_back(static_cast<std::uint8_t>(message.size() & 0xFF));
    frame.insert(frame.end(), message.begin(), message.end());
    for (std::size_t sent = 0; sent < frame.size();) {
        const ssize_t n = ::send(socket_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace ostrel::reader::vpcd
