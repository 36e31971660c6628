// The parts of the batch decipher that both paths share: the key tables, the permutations in and
// out of the state and the choice of path.

#include "des_batch.h"

#include "base/secret.h"
#include "des_tables.h"

namespace ostrel::des {

namespace {

// The 4-bit output of S-box s for six input bits, x1 first, read back from the bit table.
std::uint8_t sBoxValue(const std::uint8_t* sBoxBits, int s, const int (&x)[6]) {
    const int position =
        4 * s + 32 * x[0] + 64 * x[1] + 128 * x[2] + 256 * x[3] + 512 * x[4] + 1024 * x[5];
    int value = 0;
    for (int bit = 0; bit < 4; ++bit) {
        value = value << 1 | sBoxBits[position + bit];
    }
    return static_cast<std::uint8_t>(value);
}

} // namespace

void BatchKey::Build(const std::uint8_t* subkeys, const std::uint8_t* sBoxBits) {
    for (std::size_t i = 0; i < subkeyMasks.size(); ++i) {
        subkeyMasks[i] = static_cast<std::uint8_t>(-subkeys[i]);
    }
    for (int round = 0; round < 16; ++round) {
        for (int s = 0; s < 8; ++s) {
            const std::uint8_t* k = subkeys + 48 * round + 6 * s;
            for (int row = 0; row < 4; ++row) {
                for (int column = 0; column < 16; ++column) {
                    const int x[6] = {(row >> 1) ^ k[0],        (column >> 3 & 1) ^ k[1],
                                      (column >> 2 & 1) ^ k[2], (column >> 1 & 1) ^ k[3],
                                      (column & 1) ^ k[4],      (row & 1) ^ k[5]};
                    keyedRows[((round * 8 + s) * 4 + row) * 16 + column] =
                        sBoxValue(sBoxBits, s, x);
                }
            }
        }
    }
}

void BatchKey::Clear() {
    base::ClearSecret(subkeyMasks.data(), subkeyMasks.size());
    base::ClearSecret(keyedRows.data(), keyedRows.size());
}

BatchPath FastestBatchPath() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) {
        return BatchPath::Avx2;
    }
#endif
    return BatchPath::Portable;
}

void LoadBatch(const std::uint8_t* blocks, BatchState& state) {
    // Byte k of every block side by side first, so that each bit row below is one pass over a
    // contiguous row.
    std::uint8_t bytes[8][kBatchBlocks];
    for (std::size_t block = 0; block < kBatchBlocks; ++block) {
        for (std::size_t k = 0; k < 8; ++k) {
            bytes[k][block] = blocks[8 * block + k];
        }
    }
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint8_t* source = bytes[tables::kInitialPermutation[i] / 8];
        const int shift = 7 - tables::kInitialPermutation[i] % 8;
        for (std::size_t block = 0; block < kBatchBlocks; ++block) {
            state.row[i][block] = static_cast<std::uint8_t>(-(source[block] >> shift & 1));
        }
    }
}

void StoreBatch(const BatchState& state, std::uint8_t* blocks) {
    // The pre-output is R || L: bit j of it is row (j + 32) % 64.
    std::uint8_t bytes[8][kBatchBlocks] = {};
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint8_t* source = state.row[(tables::kFinalPermutation[i] + 32) % 64];
        const auto bit = static_cast<std::uint8_t>(0x80 >> i % 8);
        for (std::size_t block = 0; block < kBatchBlocks; ++block) {
            bytes[i / 8][block] |= source[block] & bit;
        }
    }
    for (std::size_t block = 0; block < kBatchBlocks; ++block) {
        for (std::size_t k = 0; k < 8; ++k) {
            blocks[8 * block + k] = bytes[k][block];
        }
    }
}

void DecipherBatch(const BatchKey& key, std::uint8_t* blocks, BatchPath path) {
    BatchState state;
    LoadBatch(blocks, state);
    // Asked for AVX2 on a processor without it, the portable rounds give the same result.
    if (path == BatchPath::Avx2 && FastestBatchPath() == BatchPath::Avx2) {
        DecipherRoundsAvx2(key, state);
    } else {
        DecipherRoundsPortable(key, state);
    }
    StoreBatch(state, blocks);
}

} // namespace ostrel::des
