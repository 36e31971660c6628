#pragma once

#include "trace_sink.h"
#include "wire_observer.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace ostrel::reader {

struct TraceOptions {
    bool showCodes = false;  // otherwise the three bytes of a presented code read ** ** **
    bool quietPolls = false; // a poll that sees no change is counted, not written
};

// The reader library with a trace: one line per call, with the time in milliseconds since the
// trace began, the call, its result and, for an exchange, the command record as sent; then the
// lines of what crossed below (the observer side). Only built when a trace is asked for, so
// that without one the reader is used directly.
class TracingReader : public ReaderLibrary, public WireObserver {
public:
    // inner's wire observer, when it has one, is this reader's to set.
    TracingReader(std::unique_ptr<ReaderLibrary> inner, std::unique_ptr<TraceSink> sink,
                  TraceOptions options);
    ~TracingReader() override;
    TracingReader(const TracingReader&) = delete;
    TracingReader& operator=(const TracingReader&) = delete;

    std::int32_t Open(std::int32_t readerType, std::int32_t port) override;
    std::int32_t Close(std::int32_t handle) override;
    std::int32_t GetInfo(std::int32_t handle, InfoRecord& info) override;
    std::int32_t StartSession(std::int32_t handle, SessionRecord& session) override;
    std::int32_t EndSession(std::int32_t handle) override;
    std::int32_t ExchangeAPDU(std::int32_t handle, CommandRecord& command) override;

    void crossed(const Crossing& crossing) override;

    ReaderLibrary& inner() { return *inner_; }

private:
    // A call as the monitor repeats it while nothing changes.
    struct Repeatable {
        int call = -1;
        std::int32_t handle = 0;
        std::int32_t result = 0;
        bool card = false;
        std::string reader;
    };
    bool quiet(const Repeatable& now);
    void write(double at, const std::string& text);
    void flushCrossings();
    double now() const;

    std::unique_ptr<ReaderLibrary> inner_;
    ObservableReader* observable_ = nullptr;
    std::unique_ptr<TraceSink> sink_;
    TraceOptions options_;
    std::chrono::steady_clock::time_point start_;
    Repeatable last_[3];
    long quietCalls_ = 0;
    bool inCall_ = false;
    std::vector<std::string> crossings_; // seen during the call in progress
};

// Text of bytes as the trace shows them: upper-case hex pairs separated by blanks.
std::string TraceHex(std::span<const std::uint8_t> bytes, int codeAt = -1, bool showCode = true);

} // namespace ostrel::reader
