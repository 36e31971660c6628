#pragma once

#include "wire_observer.h"

#include <memory>
#include <optional>
#include <vector>

namespace ostrel::reader {

// The reader library of a running program, which the settings may replace by another one: the
// calls go to the library in use. Once replaced, the handle given out before answers
// kErrNoReader, as an unplugged reader does, until the next Open, which opens the new library:
// whoever polls sees the card go and the new reader come. What crossed below the library in use
// is told to this one's observer (the exchange trace is set up once, around this object).
class SwitchableReader : public ObservableReader, private WireObserver {
public:
    explicit SwitchableReader(std::unique_ptr<ReaderLibrary> first);
    ~SwitchableReader() override;
    SwitchableReader(const SwitchableReader&) = delete;
    SwitchableReader& operator=(const SwitchableReader&) = delete;

    // Opens next once to see that it answers. When it does, it is closed again, the reader open
    // on the library in use is closed, and next is the library in use from now on. Returns the
    // result of next's Open: negative, nothing has changed and next is dropped.
    // Called on the thread that makes the calls, between calls.
    std::int32_t Replace(std::unique_ptr<ReaderLibrary> next);

    std::int32_t Open(std::int32_t readerType, std::int32_t port) override;
    std::int32_t Close(std::int32_t handle) override;
    std::int32_t GetInfo(std::int32_t handle, InfoRecord& info) override;
    std::int32_t StartSession(std::int32_t handle, SessionRecord& session) override;
    std::int32_t EndSession(std::int32_t handle) override;
    std::int32_t ExchangeAPDU(std::int32_t handle, CommandRecord& command) override;

private:
    void crossed(const Crossing& crossing) override { tell(crossing); }
    void observe(ReaderLibrary& library, WireObserver* observer);

    std::unique_ptr<ReaderLibrary> inUse_;
    std::optional<std::int32_t> open_; // the handle open on inUse_
    bool replaced_ = false;            // since the last Open
    // Replaced libraries stay until the end, closed: what showed them (the simulated reader's
    // window, the status line) may still refer to them.
    std::vector<std::unique_ptr<ReaderLibrary>> retired_;
};

} // namespace ostrel::reader
