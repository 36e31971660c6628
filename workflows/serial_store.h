#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel::base {
class Waiting;
}

namespace ostrel::workflows {

enum class LockResult {
    Taken,
    Busy,   // another program held it for the whole time limit
    Failed, // it cannot be taken at all
};

// Where the formatting keeps "NextSerial" (section "Format"), shared by every program that
// formats cards with the same configuration.
class SerialStore {
public:
    virtual ~SerialStore() = default;

    // The stored text, or the default "1000000" when the key or the file is absent. False with
    // a French reason naming the file when the configuration cannot be read.
    virtual bool Read(std::string& text, std::string& error) = 0;

    // Read for showing only, beside a window: a store several threads use does not wait for
    // another one's call (inUse then, and true), and gives up once waiting is called off.
    virtual bool Glance(std::string& text, bool& inUse, std::string& error,
                        base::Waiting* /*waiting*/) {
        inUse = false;
        return Read(text, error);
    }

    // Takes the lock every process using this store shares, waiting for it within a time
    // limit; a serial is read, advanced and saved under it. Busy or Failed with a French reason.
    virtual LockResult Lock(std::string& error) = 0;
    virtual void Unlock() = 0;

    // Replaces the stored value and nothing else; the old file stays whole until the new one is
    // complete and on disk. False with a French reason naming the file.
    virtual bool Save(std::int64_t nextSerial, std::string& error) = 0;

    // The file, for messages.
    virtual std::string Location() const = 0;
};

// Holds the lock of a store for a scope.
class SerialStoreLock {
public:
    explicit SerialStoreLock(SerialStore& store) : store_(store) {}
    ~SerialStoreLock() {
        if (locked_)
            store_.Unlock();
    }
    SerialStoreLock(const SerialStoreLock&) = delete;
    SerialStoreLock& operator=(const SerialStoreLock&) = delete;

    LockResult Take(std::string& error) {
        const LockResult result = store_.Lock(error);
        locked_ = result == LockResult::Taken;
        return result;
    }

private:
    SerialStore& store_;
    bool locked_ = false;
};

} // namespace ostrel::workflows
