#pragma once

#include "reader/pcsc/pcsc_reader.h"
#include "reader/vpcd/virtual_card_server.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

// What the PC/SC tests share: whether pcscd with the vpcd reader is there, a virtual card served
// on a thread, and waiting for pcscd to notice a card.
namespace vpcd_support {

inline constexpr const char* kVpcdReader = "Virtual PCD 00 00";  // port 35963
inline constexpr const char* kSpareReader = "Virtual PCD 00 01"; // port 35964

// The PC/SC tests run once per reader dialect that the virtual card emulates.
using ostrel::reader::dialect::Dialect;
inline const auto kEveryDialect =
    ::testing::Values(Dialect::Memcard, Dialect::Storage, Dialect::Iso);
std::string DialectName(const ::testing::TestParamInfo<Dialect>& info);

// The card-level tests also run on each variant of the reply shapes (older firmware, replies
// capped at 64 bytes).
using ostrel::reader::dialect::Variant;
struct Emulation {
    Dialect dialect;
    Variant variant = Variant::Plain;
};
inline const auto kEveryEmulation = ::testing::Values(
    Emulation{Dialect::Memcard}, Emulation{Dialect::Memcard, Variant::Older},
    Emulation{Dialect::Memcard, Variant::Capped}, Emulation{Dialect::Storage},
    Emulation{Dialect::Storage, Variant::Capped}, Emulation{Dialect::Iso},
    Emulation{Dialect::Iso, Variant::Older}, Emulation{Dialect::Iso, Variant::Capped});
std::string EmulationName(const ::testing::TestParamInfo<Emulation>& info);

// A folder of the running test's own under the temporary folder, created empty.
std::filesystem::path TestFolder(const std::string& prefix);

// Empty when pcscd answers and lists the vpcd reader, else why not.
std::string VpcdUnavailable();

// A virtual card in the vpcd reader, answered on a thread of the test.
class ServedCard {
public:
    explicit ServedCard(std::shared_ptr<ostrel::reader::VirtualCard> card,
                        Dialect dialect = Dialect::Memcard,
                        std::uint16_t port = ostrel::reader::vpcd::kDefaultVpcdPort)
        : server_(std::move(card), port, dialect) {}
    ServedCard(std::shared_ptr<ostrel::reader::VirtualCard> card, Emulation emulation)
        : server_(std::move(card), ostrel::reader::vpcd::kDefaultVpcdPort, emulation.dialect,
                  emulation.variant) {}
    ~ServedCard() { remove(); }
    ServedCard(const ServedCard&) = delete;
    ServedCard& operator=(const ServedCard&) = delete;

    bool insert();
    void remove();
    // True once the serving thread ended because the reader closed the connection.
    bool droppedByReader() const {
        return ended_ == ostrel::reader::vpcd::VirtualCardServer::End::Removed;
    }

private:
    ostrel::reader::vpcd::VirtualCardServer server_;
    std::thread thread_;
    std::atomic<ostrel::reader::vpcd::VirtualCardServer::End> ended_{
        ostrel::reader::vpcd::VirtualCardServer::End::Stopped};
};

// Polls GetInfo until the card shows present (or absent); pcscd notices a card within a few
// hundred milliseconds. False after a generous deadline, or when a poll fails.
bool WaitForCard(ostrel::reader::ReaderLibrary& reader, std::int32_t handle, bool present);

// Waits until pcscd no longer shows a card in the vpcd reader. A test leaves the reader so:
// pcscd powering a card that was pulled a moment ago (before its next poll) makes the vpcd reader
// miss the cards inserted during the next seconds.
bool ReaderEmptied();

// Waits until something listens on the port on 127.0.0.1 (true) or the deadline passes.
bool WaitForListening(std::uint16_t port, bool listening);

} // namespace vpcd_support
