#pragma once

#include "sle4442_chip.h"

#include <cstddef>
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
// A new card file: a header comment and the card's lines.
std::string FormatCardText(const Sle4442Chip& chip);
// previousText (a valid card file) with only the lines that state something chip now holds
// differently rewritten: comments, blank lines and the writer's own spelling stay.
std::string UpdateCardText(const std::string& previousText, const Sle4442Chip& chip);

// A card file is a few hundred bytes; anything past this is not one.
inline constexpr std::size_t kCardFileLimit = 64 * 1024;

// Reads a regular file of at most kCardFileLimit bytes; text receives its content.
CardFileResult LoadCardFile(const std::string& path, Sle4442Chip& chip);
CardFileResult LoadCardFile(const std::string& path, Sle4442Chip& chip, std::string& text);

// Saves chip to path: previousText updated (UpdateCardText), or a new file when it is empty.
// The file is replaced atomically; a symbolic link, the mode and hard links are kept, and a
// file that may not be written is refused with the cause before anything changes.
CardFileResult SaveCardFile(const std::string& path, const Sle4442Chip& chip,
                            const std::string& previousText = {});
// The same replacement for a text made already.
CardFileResult WriteCardText(const std::string& path, const std::string& text);

} // namespace ostrel::reader
