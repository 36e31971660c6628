#include "trace_sink.h"

#include "base/text_excerpt.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <unistd.h>

namespace ostrel::reader {

namespace {

class FileTraceSink : public TraceSink {
public:
    FileTraceSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    ~FileTraceSink() override { ::close(fd_); }
    FileTraceSink(const FileTraceSink&) = delete;
    FileTraceSink& operator=(const FileTraceSink&) = delete;

    void line(std::string_view text) override {
        std::string whole(text);
        whole += '\n';
        // The work the trace watches goes on without it; the loss is told at the end.
        if (!failure_.empty())
            return;
        for (std::size_t at = 0; at < whole.size();) {
            const ssize_t n = ::write(fd_, whole.data() + at, whole.size() - at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                failure_ = "fichier de trace " + name_ + " : écriture impossible (" +
                           std::strerror(n < 0 ? errno : ENOSPC) + "), trace incomplète";
                return;
            }
            at += static_cast<std::size_t>(n);
        }
    }

private:
    int fd_;
    std::string name_; // for messages
};

} // namespace

void StreamTraceSink::line(std::string_view text) {
    out_ << text << '\n';
    out_.flush();
    if (!out_ && failure_.empty())
        failure_ = "trace : écriture impossible sur la sortie d'erreur, trace incomplète";
}

std::unique_ptr<TraceSink> OpenTraceFile(const std::string& path, bool overwrite,
                                         const std::vector<base::FileInUse>& inUse,
                                         std::string& error) {
    int fd = -1;
    const base::FileResult opened = base::OpenTraceFile(path, overwrite, inUse, fd);
    if (!opened) {
        error = opened.error;
        return nullptr;
    }
    return std::make_unique<FileTraceSink>(fd, base::Escaped(path));
}

} // namespace ostrel::reader
