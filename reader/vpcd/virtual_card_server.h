#pragma once

#include "virtual_card_responder.h"
#include "vpcd_link.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ostrel::reader::vpcd {

inline constexpr std::uint16_t kDefaultVpcdPort = 35963;

// Serves a virtual card to a vpcd virtual reader. Connecting is inserting the card into that
// reader, closing the connection is removing it.
class VirtualCardServer {
public:
    VirtualCardServer(std::shared_ptr<VirtualCard> card, std::uint16_t port = kDefaultVpcdPort,
                      dialect::Dialect dialect = dialect::Dialect::Memcard,
                      dialect::Variant variant = dialect::Variant::Plain);
    ~VirtualCardServer();
    VirtualCardServer(const VirtualCardServer&) = delete;
    VirtualCardServer& operator=(const VirtualCardServer&) = delete;

    // False with a French message when the virtual reader is not there.
    bool insert(std::string& error);
    void remove();
    bool inserted() const { return link_.connected(); }

    enum class End { Removed, Stopped };
    // Answers the reader until it closes the connection (the card is then out) or until stop()
    // or alsoStopOn (a descriptor, -1 for none) becomes readable.
    End serve(int alsoStopOn = -1);
    // Safe from any thread: a write to a pipe.
    void stop();

    VirtualCardResponder& responder() { return responder_; }
    std::uint16_t port() const { return port_; }

private:
    void drainStop();
    // One message of the reader; false when the reply could not be sent.
    bool answer(const std::vector<std::uint8_t>& message);

    VirtualCardResponder responder_;
    VpcdLink link_;
    std::uint16_t port_;
    int stopPipe_[2] = {-1, -1};
};

} // namespace ostrel::reader::vpcd
