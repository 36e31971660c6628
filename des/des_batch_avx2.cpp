// The batch rounds with AVX2: one 32-byte register holds one bit of all 32 blocks. Each S-box is
// four 16-entry table lookups (one per row, the round key folded into the tables), a choice
// among them by the outer bits, and four lookups that turn the 4-bit value back into masks.
// Compiled for AVX2 function by function, so the package's build flags stay generic; only
// called where the processor has AVX2.

#include "des_batch.h"

#include "des_tables.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <utility>

namespace ostrel::des {

namespace {

static_assert(kBatchBlocks == 32, "one AVX2 register per bit row");

#define OSTREL_AVX2 [[gnu::target("avx2"), gnu::always_inline]] inline

// Masks of the output bits of a 4-bit value, most significant first, as 16-entry tables.
alignas(32) constexpr std::uint8_t kSplit[4][32] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255,
     0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255},
    {0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255, 255, 255, 255,
     0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255, 255, 255, 255},
    {0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255,
     0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255},
    {0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255,
     0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255}};

using Rows = __m256i[32];

OSTREL_AVX2 __m256i table(const std::uint8_t* sixteen) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sixteen)));
}

// l ^= P(S(E(r) ^ k)) for S-box S; rows points at the keyed rows of this round and S-box.
template <int S>
OSTREL_AVX2 void substitute(Rows& l, const Rows& r, const std::uint8_t* rows,
                            const __m256i (&split)[4]) {
    const __m256i column =
        _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(r[4 * S], _mm256_set1_epi8(8)),
                                        _mm256_and_si256(r[4 * S + 1], _mm256_set1_epi8(4))),
                        _mm256_or_si256(_mm256_and_si256(r[4 * S + 2], _mm256_set1_epi8(2)),
                                        _mm256_and_si256(r[4 * S + 3], _mm256_set1_epi8(1))));
    const __m256i outer1 = r[(4 * S + 31) % 32];
    const __m256i outer6 = r[(4 * S + 4) % 32];
    const __m256i row0 = _mm256_shuffle_epi8(table(rows), column);
    const __m256i row1 = _mm256_shuffle_epi8(table(rows + 16), column);
    const __m256i row2 = _mm256_shuffle_epi8(table(rows + 32), column);
    const __m256i row3 = _mm256_shuffle_epi8(table(rows + 48), column);
    const __m256i value = _mm256_blendv_epi8(_mm256_blendv_epi8(row0, row2, outer1),
                                             _mm256_blendv_epi8(row1, row3, outer1), outer6);
    for (int j = 0; j < 4; ++j) {
        __m256i& target = l[tables::kPermutationTarget[4 * S + j]];
        target = _mm256_xor_si256(target, _mm256_shuffle_epi8(split[j], value));
    }
}

template <std::size_t... S>
OSTREL_AVX2 void feistel(Rows& l, const Rows& r, const std::uint8_t* rows,
                         const __m256i (&split)[4], std::index_sequence<S...>) {
    (substitute<S>(l, r, rows + 64 * S, split), ...);
}

} // namespace

[[gnu::target("avx2")]] void DecipherRoundsAvx2(const BatchKey& key, BatchState& state) {
    Rows l, r;
    for (int i = 0; i < 32; ++i) {
        l[i] = _mm256_load_si256(reinterpret_cast<const __m256i*>(state.row[i]));
        r[i] = _mm256_load_si256(reinterpret_cast<const __m256i*>(state.row[32 + i]));
    }
    __m256i split[4];
    for (int j = 0; j < 4; ++j) {
        split[j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(kSplit[j]));
    }
    constexpr std::size_t kRoundTables = 8 * 4 * 16;
    constexpr auto sBoxes = std::make_index_sequence<8>{};
    // Subkeys 16 down to 1, two rounds per pass so that L and R swap roles, not contents.
    for (int round = 15; round > 0; round -= 2) {
        feistel(l, r, key.keyedRows.data() + round * kRoundTables, split, sBoxes);
        feistel(r, l, key.keyedRows.data() + (round - 1) * kRoundTables, split, sBoxes);
    }
    for (int i = 0; i < 32; ++i) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(state.row[i]), l[i]);
        _mm256_store_si256(reinterpret_cast<__m256i*>(state.row[32 + i]), r[i]);
    }
}

} // namespace ostrel::des

#else

namespace ostrel::des {

// Never chosen without x86; kept so that every build links the same functions.
void DecipherRoundsAvx2(const BatchKey& key, BatchState& state) {
    DecipherRoundsPortable(key, state);
}

} // namespace ostrel::des

#endif
