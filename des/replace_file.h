#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace ostrel::des {

// Writes bytes to a new file beside target, flushes it to disk and renames it over target, so
// target is either left as it was or holds all the bytes. An existing target keeps its
// permissions; a symbolic link is followed. False on any failure, with nothing left behind.
bool ReplaceFileContents(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

} // namespace ostrel::des
