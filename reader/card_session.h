#pragma once

#include "shared_state.h"

namespace ostrel::reader {

// True when a session was started and the card answered as an SLE4442.
bool StartCardSession(SharedState& state);

// Reads the 256 bytes into CardImage, 16 at a time; stops at the first failure, leaving the
// blocks not read as they were. Returns 0, or the failing exchange's result.
std::int32_t ReadCardMemory(SharedState& state);

// Writes WriteImage[start .. start+length-1] in chunks of at most 32 bytes, stopping at the
// first failure, then reads the range back. 0 only when the card holds the bytes.
std::int32_t WriteCardMemory(SharedState& state, int start, int length);

void EndCardSession(SharedState& state);

inline constexpr int kReadBlock = 16;
inline constexpr int kWriteChunk = 32;
inline constexpr std::int32_t kErrVerifyMismatch = -200;

} // namespace ostrel::reader
