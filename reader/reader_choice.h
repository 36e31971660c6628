#pragma once

#include "reader_dialects.h"

#include <optional>
#include <string>

namespace ostrel::reader {

// The --reader option of both programs:
//   sim          the simulated reader on the demo deck, reader empty
//   sim:FOLDER   the simulated reader on the deck in FOLDER, reader empty
//   sim:FILE     the simulated reader with the virtual card FILE inside
//   pcsc         the first PC/SC reader listed
//   pcsc:NAME    the PC/SC reader called NAME
struct ReaderChoice {
    enum class Kind { Simulated, Pcsc } kind = Kind::Simulated;
    std::string argument; // folder, file or reader name; empty for the defaults
    // The PC/SC reader's command set; empty: found by the reader itself (auto).
    std::optional<dialect::Dialect> dialect;

    bool operator==(const ReaderChoice&) const = default;
};

// The choice as the option writes it ("sim:cartes", "pcsc"), for records.
std::string ReaderChoiceText(const ReaderChoice& choice);

// False with a French message when the text is none of the forms above.
bool ParseReaderChoice(const std::string& text, ReaderChoice& choice, std::string& error);

// The --dialect option of both programs: auto (empty result), memcard, storage or iso. False
// with a French message for anything else.
bool ParseDialectChoice(const std::string& text, std::optional<dialect::Dialect>& dialect,
                        std::string& error);

} // namespace ostrel::reader
