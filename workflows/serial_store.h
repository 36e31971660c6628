#pragma once

#include <cstdint>
#include <string>

namespace ostrel::workflows {

// Where the formatting keeps "NextSerial" (section "Format").
class SerialStore {
public:
    virtual ~SerialStore() = default;

    // The stored text, or the default "1000000" when the key is absent. False with a French
    // reason when the configuration cannot be read at all.
    virtual bool Read(std::string& text, std::string& error) = 0;

    // Replaces the stored value; the old file stays whole until the new one is complete.
    // False with a French reason.
    virtual bool Save(std::int64_t nextSerial, std::string& error) = 0;

    // The file, for messages.
    virtual std::string Location() const = 0;
};

} // namespace ostrel::workflows
