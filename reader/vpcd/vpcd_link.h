#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ostrel::reader::vpcd {

// The card's end of a connection to a vpcd virtual reader: TCP to 127.0.0.1, each message
// preceded by its length in two bytes, most significant first.
class VpcdLink {
public:
    VpcdLink() = default;
    ~VpcdLink() { close(); }
    VpcdLink(const VpcdLink&) = delete;
    VpcdLink& operator=(const VpcdLink&) = delete;

    // False with a French message when nothing listens on the port.
    bool connect(std::uint16_t port, std::string& error);
    void close();
    bool connected() const { return socket_ >= 0; }

    enum class Received { Message, Closed, Stopped };
    // Waits for the next message, or until one of the stop descriptors (-1: none) becomes
    // readable.
    Received receive(std::vector<std::uint8_t>& message, int stopFd, int otherStopFd = -1);
    bool send(std::span<const std::uint8_t> message);

private:
    Received readExactly(std::uint8_t* into, std::size_t length, int stopFd, int otherStopFd);

    int socket_ = -1;
};

} // namespace ostrel::reader::vpcd
