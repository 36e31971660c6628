#pragma once

#include "file_result.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace ostrel::base {

// Reads the whole of a regular file of at most limit bytes into content. Anything else is
// refused at once, before a byte is read: a folder, a FIFO (which would wait for a writer), a
// device (which may never end), a socket; and a file larger than limit.
FileResult ReadRegularFile(const std::string& path, std::size_t limit, std::string& content);

// What a file of this mode is when it is not a regular file, for messages: "c'est un dossier",
// "c'est un tube nommé (FIFO)", "c'est un périphérique", "c'est une socket".
std::string NotRegularText(mode_t mode);

// "3 Mio", "64 Kio", "12 octets": a size for messages.
std::string SizeText(std::size_t bytes);

} // namespace ostrel::base
