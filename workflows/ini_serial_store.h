#pragma once

#include "serial_store.h"

namespace ostrel::workflows {

// "NextSerial" in an INI file read and written by Qt's settings class. Qt writes the file
// through a temporary file and a rename, so an interrupted save leaves the old file whole.
class IniSerialStore : public SerialStore {
public:
    // An empty path means the per-user default file.
    explicit IniSerialStore(std::string path);

    bool Read(std::string& text, std::string& error) override;
    bool Save(std::int64_t nextSerial, std::string& error) override;
    std::string Location() const override { return path_; }

private:
    std::string path_;
};

// The per-user configuration file both programs use without --config, for example
// ~/.config/ostrel-chipcard/ostrel-chipcard.ini ($XDG_CONFIG_HOME replaces ~/.config).
std::string DefaultConfigFile();

} // namespace ostrel::workflows
