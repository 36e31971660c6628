#include "trace_sink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <unistd.h>

namespace ostrel::reader {

namespace {

class FileTraceSink : public TraceSink {
public:
    explicit FileTraceSink(int fd) : fd_(fd) {}
    ~FileTraceSink() override { ::close(fd_); }
    FileTraceSink(const FileTraceSink&) = delete;
    FileTraceSink& operator=(const FileTraceSink&) = delete;

    void line(std::string_view text) override {
        std::string whole(text);
        whole += '\n';
        // A trace that cannot be written is lost; the work it watches goes on.
        for (std::size_t at = 0; at < whole.size();) {
            const ssize_t n = ::write(fd_, whole.data() + at, whole.size() - at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            at += static_cast<std::size_t>(n);
        }
    }

private:
    int fd_;
};

} // namespace

void StreamTraceSink::line(std::string_view text) {
    out_ << text << '\n';
    out_.flush();
}

std::unique_ptr<TraceSink> OpenTraceFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error =
            "fichier de trace " + path + " : ouverture impossible (" + std::strerror(errno) + ")";
        return nullptr;
    }
    return std::make_unique<FileTraceSink>(fd);
}

} // namespace ostrel::reader
