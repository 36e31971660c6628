#include "virtual_card_server.h"

#include <fcntl.h>
#include <unistd.h>

namespace ostrel::reader::vpcd {

namespace {

// The one-byte messages of the virtual reader.
constexpr std::uint8_t kPowerOff = 0x00;
constexpr std::uint8_t kPowerOn = 0x01;
constexpr std::uint8_t kReset = 0x02;
constexpr std::uint8_t kAnswerToReset = 0x04;

} // namespace

VirtualCardServer::VirtualCardServer(std::shared_ptr<VirtualCard> card, std::uint16_t port,
                                     dialect::Dialect dialect, dialect::Variant variant)
    : responder_(std::move(card), dialect, variant), port_(port) {
    if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        stopPipe_[0] = stopPipe_[1] = -1;
}

VirtualCardServer::~VirtualCardServer() {
    for (int fd : stopPipe_) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool VirtualCardServer::insert(std::string& error) {
    if (!link_.connect(port_, error))
        return false;
    // A stop meant for an earlier insertion must not end this one.
    drainStop();
    // A card just inserted is unpowered.
    responder_.powerCycle();
    return true;
}

void VirtualCardServer::remove() {
    link_.close();
    responder_.powerCycle();
}

void VirtualCardServer::stop() {
    const char byte = 1;
    if (stopPipe_[1] >= 0) [[maybe_unused]]
        const auto written = ::write(stopPipe_[1], &byte, 1);
}

void VirtualCardServer::drainStop() {
    char bytes[16];
    while (stopPipe_[0] >= 0 && ::read(stopPipe_[0], bytes, sizeof bytes) > 0) {
    }
}

bool VirtualCardServer::answer(const std::vector<std::uint8_t>& message) {
    if (message.size() == 1) {
        switch (message[0]) {
        case kPowerOff:
        case kPowerOn:
        case kReset:
            responder_.powerCycle();
            return true;
        case kAnswerToReset:
            return link_.send(responder_.answerToReset());
        default:
            return true; // a control message of a later protocol: no reply is expected
        }
    }
    if (message.empty())
        return true;
    return link_.send(responder_.respond(message));
}

VirtualCardServer::End VirtualCardServer::serve(int alsoStopOn) {
    std::vector<std::uint8_t> message;
    for (;;) {
        const VpcdLink::Received got = link_.receive(message, stopPipe_[0], alsoStopOn);
        if (got == VpcdLink::Received::Stopped) {
            drainStop();
            return End::Stopped;
        }
        if (got == VpcdLink::Received::Closed || !answer(message)) {
            remove();
            return End::Removed;
        }
    }
}

} // namespace ostrel::reader::vpcd
