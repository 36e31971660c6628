#pragma once

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
};

// The choice as the option writes it ("sim:cartes", "pcsc"), for records.
std::string ReaderChoiceText(const ReaderChoice& choice);

// False with a French message when the text is none of the forms above.
bool ParseReaderChoice(const std::string& text, ReaderChoice& choice, std::string& error);

} // namespace ostrel::reader
