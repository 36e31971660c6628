#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

// The local time zone of a test, the previous one back afterwards.
class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        if (const char* old = ::getenv("TZ"))
            old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~LocalZone() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    std::optional<std::string> old_;
};
