#pragma once

#include "base/waiting.h"
#include "serial_store.h"

namespace ostrel::workflows {

// "NextSerial" in an INI file. Only that value's text changes on a save: a byte-order mark,
// comments, other sections and keys, line endings and quotes around the value stay byte for
// byte. A file whose value cannot be told for sure (see ini::Find) is refused, never taken for
// one without the key. The file must be a regular file of at
// most kConfigFileLimit bytes, or not exist yet; a symbolic link is followed and kept.
//
// The lock: a save replaces the file by a rename, so a lock on the file itself would be taken
// on a name that a save then points elsewhere. Every process locks instead a companion file
// beside the file the links end at, "NAME.lock", with flock(); it is never removed, since a
// process could otherwise lock a file another one has just unlinked. The lock is released by
// the system when its process ends, however it ends.
class IniSerialStore : public SerialStore {
public:
    // An empty path means the per-user default file.
    explicit IniSerialStore(std::string path);
    ~IniSerialStore() override;
    IniSerialStore(const IniSerialStore&) = delete;
    IniSerialStore& operator=(const IniSerialStore&) = delete;

    bool Read(std::string& text, std::string& error) override;
    LockResult Lock(std::string& error) override;
    void Unlock() override;
    bool Save(std::int64_t nextSerial, std::string& error) override;
    std::string Location() const override; // the file's name, escaped for messages

    // Lock waits for another program's lock within waiting's limit and says so to waiting;
    // without it, within the default limit.
    void SetWaiting(base::Waiting* waiting) { waiting_ = waiting; }

private:
    // The whole file, empty when it does not exist yet.
    bool ReadFile(std::string& content, std::string& error) const;

    std::string path_;
    int lockFd_ = -1;
    base::Waiting* waiting_ = nullptr;
};

// What the status line shows while another program holds the lock.
inline constexpr const char* kConfigurationWaiting = "configuration occupée, attente…";

inline constexpr std::size_t kConfigFileLimit = 64 * 1024;

// The per-user configuration file both programs use without --config:
// $XDG_CONFIG_HOME/ostrel-chipcard/ostrel-chipcard.ini, else ~/.config/...
std::string DefaultConfigFile();

} // namespace ostrel::workflows
