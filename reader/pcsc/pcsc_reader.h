#pragma once

#include "reader/reader_dialects.h"
#include "reader/reader_library.h"
#include "reader/reader_status.h"
#include "reader/wire_observer.h"

#include <PCSC/winscard.h>
#include <array>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ostrel::reader::pcsc {

// The reader library over PC/SC (pcsc-lite): a reader that offers the SLE4442 in one of the
// dialects of reader_dialects.h. Each Open establishes a fresh context, so that a service
// stopped and started again is found again by the next Open. Reader type and port carry no
// meaning here.
// Within a card session the first read fetches the whole memory in as few APDUs as the reader
// takes (each is a round trip through a USB reader's firmware) and the reads are served from
// that copy; it ends with the session, at any error, at any card event and at any write.
class PcscReader : public ObservableReader, public ReaderStatusSource {
public:
    // wantedName: the reader to use, matched exactly or as the start of its name; empty for the
    // first reader listed. dialect: the reader's command set; empty to find it at the first
    // session start of each reader, by probes that neither present a code nor write.
    explicit PcscReader(std::string wantedName = {},
                        std::optional<dialect::Dialect> dialect = std::nullopt);
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
    // The dialect of the open reader: the one asked for, or the one found for its name while
    // the program runs; empty while not known.
    std::optional<dialect::Dialect> dialect() const;
    // Why the last session start could not speak to the card; empty when it could.
    const std::string& dialectProblem() const { return problem_; }
    ReaderStatus readerStatus() const override;

private:
    bool open(std::int32_t handle) const { return handle_ != 0 && handle == handle_; }
    std::int32_t ChooseReader();
    std::int32_t Connect();
    // Sends the dialect's session start, or finds the dialect; table_ is then set. cardAtr: the
    // card's own ATR bytes.
    std::int32_t BeginSession(std::span<const std::uint8_t> cardAtr);
    // The memcard session start: the selection APDU, or on a reader that refuses it the card
    // type through the driver. 0, kErrBadCommand when the reader takes neither, or a failure.
    std::int32_t StartMemcard(std::span<const std::uint8_t> cardAtr, bool& byControl);
    // The card type through the reader's control, then the card powered up again: 0 done, 1 the
    // reader refuses the control, or a failed call's result.
    std::int32_t SetCardTypeByControl();
    // codeAt: where a security code starts in apdu, for the trace to mask; -1 for none.
    std::int32_t Transmit(std::span<const std::uint8_t> apdu, std::uint8_t* reply,
                          std::size_t& replyLength, int codeAt = -1);
    std::int32_t Read(CommandRecord& command);
    // Any command other than a read of memory.
    std::int32_t Exchange(CommandRecord& command);
    // The whole memory into copy_, in reads of the size the reader takes.
    std::int32_t ReadAhead();
    // After a write, confirmed or not: the copy no longer tells what the card holds.
    void Written();
    // A dialect without an error-counter command: what the last code presentation to the same
    // card in this reader told; 7 when nothing was presented to it.
    std::int32_t KnownCounter(CommandRecord& command);
    // How many times a card came or went in the open reader, as pcscd counts.
    std::optional<DWORD> CardEvents();
    // Ends the connection to the card, resetting it, so that it never stays unlocked.
    std::int32_t Disconnect();
    void Release();

    std::string wanted_;
    std::optional<dialect::Dialect> forced_;
    struct Found {
        dialect::Dialect dialect;
        bool typeByControl = false; // memcard, the card type set through the driver
    };
    std::map<std::string, Found> found_;  // by reader name
    std::map<std::string, int> readSize_; // the longest read each reader answered whole
    // The Le a reader asked for a command without data, by reader name and instruction.
    std::map<std::pair<std::string, std::uint8_t>, std::uint8_t> askedLe_;
    const dialect::Table* table_ = nullptr; // of the session in progress
    std::string problem_;
    std::string name_;
    SCARDCONTEXT context_ = 0;
    bool hasContext_ = false;
    SCARDHANDLE card_ = 0;
    bool connected_ = false;
    DWORD protocol_ = 0;
    std::int32_t handle_ = 0; // 0 while closed
    std::int32_t nextHandle_ = 1;
    std::optional<std::uint8_t> counter_;               // learnt from a code presentation
    DWORD counterEvents_ = 0;                           // card events when it was learnt
    std::optional<std::array<std::uint8_t, 256>> copy_; // the card's memory, this session
    std::optional<DWORD> copyEvents_;                   // card events when it was read
};

} // namespace ostrel::reader::pcsc
