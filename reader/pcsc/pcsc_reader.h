#pragma once

#include "reader/reader_library.h"

#include <PCSC/winscard.h>
#include <string>

namespace ostrel::reader::pcsc {

// The reader library over PC/SC (pcsc-lite): a USB reader that offers the memory-card commands
// for the SLE4442. Each Open establishes a fresh context, so that a service stopped and started
// again is found again by the next Open. Reader type and port carry no meaning here.
class PcscReader : public ReaderLibrary {
public:
    // wantedName: the reader to use, matched exactly or as the start of its name; empty for the
    // first reader listed.
    explicit PcscReader(std::string wantedName = {});
    ~PcscReader() override;
    PcscReader(const PcscReader&) = delete;
    PcscReader& operator=(const PcscReader&) = delete;

    std::int32_t Open(std::int32_t readerType, std::int32_t port) override;
    std::int32_t Close(std::int32_t handle) override;
    std::int32_t GetInfo(std::int32_t handle, InfoRecord& info) override;
    std::int32_t StartSession(std::int32_t handle, SessionRecord& session) override;
    std::int32_t EndSession(std::int32_t handle) override;
    std::int32_t ExchangeAPDU(std::int32_t handle, CommandRecord& command) override;

    // The reader opened last; empty while none is open.
    const std::string& readerName() const { return name_; }
    // The PC/SC code of the last call that failed, for messages.
    LONG lastPcscError() const { return lastError_; }

private:
    std::int32_t Result(LONG rv);
    bool open(std::int32_t handle) const { return handle_ != 0 && handle == handle_; }
    std::int32_t ChooseReader();
    std::int32_t Connect();
    std::int32_t Transmit(const std::uint8_t* apdu, std::size_t length, std::uint8_t* reply,
                          std::size_t& replyLength);
    // Ends the connection to the card, resetting it, so that it never stays unlocked.
    std::int32_t Disconnect();
    void Release();

    std::string wanted_;
    std::string name_;
    SCARDCONTEXT context_ = 0;
    bool hasContext_ = false;
    SCARDHANDLE card_ = 0;
    bool connected_ = false;
    DWORD protocol_ = 0;
    std::int32_t handle_ = 0; // 0 while closed
    std::int32_t nextHandle_ = 1;
    LONG lastError_ = SCARD_S_SUCCESS;
};

} // namespace ostrel::reader::pcsc
