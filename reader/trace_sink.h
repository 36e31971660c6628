#pragma once

#include "base/trace_file.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::reader {

// Where the exchange trace goes, one line at a time, each written out at once so that a trace
// cut short by a crash or a hung reader still shows the last call.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void line(std::string_view text) = 0; // without its newline

    // Why lines were lost, once one was: a trace cut short must not pass for a whole one, so
    // the program ends with a failure as it does when its standard output is lost.
    const std::string& failure() const { return failure_; }

protected:
    std::string failure_;
};

// A stream the caller owns (standard error, or a test's string stream).
class StreamTraceSink : public TraceSink {
public:
    explicit StreamTraceSink(std::ostream& out) : out_(out) {}
    void line(std::string_view text) override;

private:
    std::ostream& out_;
};

// A file given by name, readable by its owner only: the trace holds card contents and, on
// request, security codes. Appended to, or emptied first with overwrite; the files of the run
// (inUse) are refused, as base::OpenTraceFile says. Null with a French message naming the file
// and the cause.
std::unique_ptr<TraceSink> OpenTraceFile(const std::string& path, bool overwrite,
                                         const std::vector<base::FileInUse>& inUse,
                                         std::string& error);

} // namespace ostrel::reader
