#pragma once

#include "reader_library.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace ostrel::reader {

// What crossed below the reader-library interface during one call: an APDU and its reply as
// they crossed PC/SC, or a command of the simulated chip and its answer. The exchange trace is
// the observer; without it nothing is built.
class WireObserver {
public:
    enum class Wire { Pcsc, Chip };
    struct Crossing {
        Wire wire = Wire::Pcsc;
        std::string_view operation; // the chip's command; empty for an APDU
        std::span<const std::uint8_t> sent;
        std::span<const std::uint8_t> received;
        std::int32_t result = 0; // of the transmission: 0 or a negative reader error
        int codeAt = -1;         // sent[codeAt .. codeAt + 2] is a security code; -1: none
    };

    virtual void crossed(const Crossing& crossing) = 0;

protected:
    ~WireObserver() = default;
};

// A reader that tells an observer what crossed below its interface.
class ObservableReader : public ReaderLibrary {
public:
    void setWireObserver(WireObserver* observer) { wire_ = observer; }

protected:
    WireObserver* wireObserver() const { return wire_; }
    void tell(const WireObserver::Crossing& crossing) const {
        if (wire_)
            wire_->crossed(crossing);
    }

private:
    WireObserver* wire_ = nullptr;
};

} // namespace ostrel::reader
