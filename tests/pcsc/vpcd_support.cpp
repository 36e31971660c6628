#include "vpcd_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vpcd_support {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(10);
constexpr auto kPollPause = std::chrono::milliseconds(5);

// Read from the kernel's socket table: a probing connection to vpcd would insert a card.
bool Listening(std::uint16_t port) {
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "0A" && local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0)
            return true;
    }
    return false;
}

} // namespace

std::string DialectName(const ::testing::TestParamInfo<Dialect>& info) {
    return std::string(ostrel::reader::dialect::TableOf(info.param).name);
}

std::string EmulationName(const ::testing::TestParamInfo<Emulation>& info) {
    std::string name(ostrel::reader::dialect::TableOf(info.param.dialect).name);
    if (info.param.variant != Variant::Plain)
        name += "_" + std::string(ostrel::reader::dialect::NameOf(info.param.variant));
    return name;
}

std::filesystem::path TestFolder(const std::string& prefix) {
    std::string name = prefix + "-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    const auto folder = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

std::string VpcdUnavailable() {
    // Only asks pcscd: connecting to the vpcd port would insert a card.
    ostrel::reader::pcsc::PcscReader reader(kVpcdReader);
    const std::int32_t handle =
        reader.Open(ostrel::reader::kReaderTypeAny, ostrel::reader::kReaderPortAny);
    if (handle < 0)
        return "pcscd with the vpcd reader is not reachable (start it with scripts/pcscd.sh)";
    if (reader.readerName() != kVpcdReader)
        return "pcscd lists no reader called " + std::string(kVpcdReader);
    reader.Close(handle);
    return {};
}

bool ServedCard::insert() {
    remove();
    std::string error;
    if (!server_.insert(error))
        return false;
    ended_ = ostrel::reader::vpcd::VirtualCardServer::End::Stopped;
    thread_ = std::thread([this] { ended_ = server_.serve(); });
    return true;
}

void ServedCard::remove() {
    if (thread_.joinable()) {
        server_.stop();
        thread_.join();
    }
    server_.remove();
}

bool WaitForCard(ostrel::reader::ReaderLibrary& reader, std::int32_t handle, bool present) {
    for (const auto end = Clock::now() + kDeadline; Clock::now() < end;) {
        ostrel::reader::InfoRecord info;
        if (reader.GetInfo(handle, info) < 0)
            return false;
        if (info.cardPresent() == present)
            return true;
        std::this_thread::sleep_for(kPollPause);
    }
    return false;
}

bool ReaderEmptied() {
    ostrel::reader::pcsc::PcscReader reader(kVpcdReader);
    const std::int32_t handle =
        reader.Open(ostrel::reader::kReaderTypeAny, ostrel::reader::kReaderPortAny);
    return handle >= 0 && WaitForCard(reader, handle, false);
}

bool WaitForListening(std::uint16_t port, bool listening) {
    for (const auto end = Clock::now() + kDeadline; Clock::now() < end;) {
        if (Listening(port) == listening)
            return true;
        std::this_thread::sleep_for(kPollPause);
    }
    return false;
}

} // namespace vpcd_support
