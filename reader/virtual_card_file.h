#pragma once

#include "sle4442_chip.h"

#include <string>

namespace ostrel::reader {

// The text form of a virtual card:
//   code: 5E2B71            the 24-bit value that unlocks the card
//   counter: 7              the error counter 0..7
//   protection: 1111...     32 characters, 1 = byte still writable
//   00: A2131091 FFFFFFFF FFFFFFFF FFFFFFFF   ... sixteen rows 00..0F
// Comments start with #, blank lines are ignored. Anything else is refused, never guessed.
struct CardFileResult {
    bool ok = false;
    std::string error; // names the file and the line
};

CardFileResult ParseCardText(const std::string& text, const std::string& fileName,
                             Sle4442Chip& chip);
std::string FormatCardText(const Sle4442Chip& chip);

CardFileResult LoadCardFile(const std::string& path, Sle4442Chip& chip);

// Writes a temporary file beside path and renames it over path, so a crash never leaves half
// a card file.
CardFileResult SaveCardFile(const std::string& path, const Sle4442Chip& chip);

// Writes text to path through a temporary file and a rename.
CardFileResult WriteFileAtomically(const std::string& path, const std::string& text);

} // namespace ostrel::reader
