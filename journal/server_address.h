#pragma once

#include <string>
#include <string_view>

// What --journal or [Journal] Server names: a journal file of this station, or the server of a
// site, read the way libpq reads it. A station configured for a server must never fall back to
// a file because the address was spelt in an unexpected way, so anything that is neither a
// server address libpq accepts nor a plain file path is refused with the reason.
namespace ostrel::journal {

struct JournalLocation {
    enum class Kind { File, Server, Refused };
    Kind kind = Kind::Refused;
    std::string text;   // the file path, or the server address as libpq is given it
    std::string reason; // French, when refused
};

// Blanks around the text are dropped. "postgresql://" and "postgres://" are recognised in any
// case (libpq itself wants them in lower case, so they are given to it that way); "key=value"
// settings are checked by libpq's own parser. Text with a scheme ("x://"), a "=" that libpq
// refuses, a control character, or nothing at all is refused.
JournalLocation ReadJournalLocation(std::string_view text);

} // namespace ostrel::journal
