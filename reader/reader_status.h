#pragma once

#include <string>

namespace ostrel::reader {

// What a reader tells about itself beyond the reader library's calls: for the status line of
// the desktop program and the messages of the command line.
struct ReaderStatus {
    std::string reader;  // the reader in use; empty while none is open
    std::string dialect; // its command set, "auto" while not found yet
    std::string problem; // why the last session could not speak to the card; empty when it could
};

class ReaderStatusSource {
public:
    virtual ~ReaderStatusSource() = default;
    virtual ReaderStatus readerStatus() const = 0;
};

// One PC/SC reader as the readers command lists it.
struct ReaderSurvey {
    std::string name;
    bool cardInside = false;
    std::string atr;     // hexadecimal, bytes separated by blanks; empty without a card
    std::string dialect; // found by read-only probes; empty when none was found
    std::string why;     // why no dialect was found, when a card is inside
};

} // namespace ostrel::reader
