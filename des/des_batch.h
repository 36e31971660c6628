#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Deciphering many blocks at once. The state keeps one bit per byte, as the one-block engine
// does, but lays the same bit of kBatchBlocks blocks side by side: row i of the state holds bit i
// (after the initial permutation) of every block, so one operation on a row works on all blocks.
// Inside the rounds each bit-byte is a mask, 0x00 or 0xFF, which the S-box evaluation needs.
namespace ostrel::des {

inline constexpr std::size_t kBatchBlocks = 32;
inline constexpr std::size_t kBatchBytes = 8 * kBatchBlocks;

// What a batch needs of the key, built with the key schedule.
struct BatchKey {
    // Subkey bits as masks; row r holds subkey r + 1.
    std::array<std::uint8_t, 16 * 48> subkeyMasks{};
    // For subkey r, S-box s and the row picked by the outer expansion bits of R (before the key
    // is mixed in): the S-box outputs by column of the inner bits of R, 16 four-bit values, with
    // the round key already folded into the row and the column.
    std::array<std::uint8_t, 16 * 8 * 4 * 16> keyedRows{};

    // subkeys: 16 rows of 48 bit-bytes; sBoxBits: the one-block engine's S-box bit table.
    void Build(const std::uint8_t* subkeys, const std::uint8_t* sBoxBits);
    void Clear();
};

enum class BatchPath { Portable, Avx2 };

// Avx2 where the processor has it, else Portable.
BatchPath FastestBatchPath();

// Deciphers kBatchBlocks consecutive blocks (kBatchBytes bytes) in place, each on its own. Avx2
// is taken only where the processor has it.
void DecipherBatch(const BatchKey& key, std::uint8_t* blocks, BatchPath path);

// The state of a batch: 64 rows of kBatchBlocks bit-bytes, L in rows 0..31, R in rows 32..63.
struct alignas(32) BatchState {
    std::uint8_t row[64][kBatchBlocks];
};

// The initial permutation into the state (as masks), and the final one out of it.
void LoadBatch(const std::uint8_t* blocks, BatchState& state);
void StoreBatch(const BatchState& state, std::uint8_t* blocks);

// The two ways of running the rounds; DecipherBatch picks one.
void DecipherRoundsPortable(const BatchKey& key, BatchState& state);
void DecipherRoundsAvx2(const BatchKey& key, BatchState& state);

} // namespace ostrel::des
