#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

namespace ostrel::reader {

// Where the exchange trace goes, one line at a time, each written out at once so that a trace
// cut short by a crash or a hung reader still shows the last call.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void line(std::string_view text) = 0; // without its newline
};

// A stream the caller owns (standard error, or a test's string stream).
class StreamTraceSink : public TraceSink {
public:
    explicit StreamTraceSink(std::ostream& out) : out_(out) {}
    void line(std::string_view text) override;

private:
    std::ostream& out_;
};

// A file, emptied first, readable by its owner only: the trace holds card contents and, on
// request, security codes. Null with a French message naming the file and the cause.
std::unique_ptr<TraceSink> OpenTraceFile(const std::string& path, std::string& error);

} // namespace ostrel::reader
