// The batch rounds in plain C++: each S-box is a boolean function of its six input bits, applied
// to whole rows of bit-bytes in loops the compiler turns into vector operations.

#include "des_batch.h"

#include "des_sbox_gates.h"
#include "des_tables.h"

#include <utility>

namespace ostrel::des {

namespace {

using std::uint8_t;
using Row = uint8_t[kBatchBlocks];

template <int S> constexpr void sBoxGates(const uint8_t (&a)[6], uint8_t (&o)[4]) {
    auto& [a1, a2, a3, a4, a5, a6] = a;
    auto& [o1, o2, o3, o4] = o;
    if constexpr (S == 0) {
        gates::SBox1(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    } else if constexpr (S == 1) {
        gates::SBox2(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    } else if constexpr (S == 2) {
        gates::SBox3(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    } else if constexpr (S == 3) {
        gates::SBox4(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    } else if constexpr (S == 4) {
        gates::SBox5(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    } else if constexpr (S == 5) {
        gates::SBox6(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    } else if constexpr (S == 6) {
        gates::SBox7(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    } else {
        gates::SBox8(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    }
}

// The gates must give the standard's S-boxes for every input.
template <int S> constexpr bool gatesMatchTable() {
    for (int input = 0; input < 64; ++input) {
        uint8_t a[6], o[4];
        for (int j = 0; j < 6; ++j) {
            a[j] = static_cast<uint8_t>(-(input >> (5 - j) & 1));
        }
        sBoxGates<S>(a, o);
        const int row = (input >> 4 & 2) | (input & 1), column = input >> 1 & 15;
        for (int j = 0; j < 4; ++j) {
            if (o[j] != static_cast<uint8_t>(-(tables::kSBoxes[S][row][column] >> (3 - j) & 1))) {
                return false;
            }
        }
    }
    return true;
}
template <std::size_t... S> constexpr bool allGatesMatch(std::index_sequence<S...>) {
    return (gatesMatchTable<S>() && ...);
}
static_assert(allGatesMatch(std::make_index_sequence<8>{}));

// l ^= P(S(E(r) ^ k)) for S-box S, k the 48 subkey masks of the round. The loop body has no
// inner loops, so that the compiler vectorises the loop over the blocks at -O2 already.
template <int S>
[[gnu::always_inline]] inline void substitute(Row* __restrict l, const Row* __restrict r,
                                              const uint8_t* k) {
    const Row& r1 = r[(4 * S + 31) % 32];
    const Row& r6 = r[(4 * S + 4) % 32];
    Row& l1 = l[tables::kPermutationTarget[4 * S]];
    Row& l2 = l[tables::kPermutationTarget[4 * S + 1]];
    Row& l3 = l[tables::kPermutationTarget[4 * S + 2]];
    Row& l4 = l[tables::kPermutationTarget[4 * S + 3]];
    for (std::size_t b = 0; b < kBatchBlocks; ++b) {
        const uint8_t a[6] = {static_cast<uint8_t>(r1[b] ^ k[6 * S]),
                              static_cast<uint8_t>(r[4 * S][b] ^ k[6 * S + 1]),
                              static_cast<uint8_t>(r[4 * S + 1][b] ^ k[6 * S + 2]),
                              static_cast<uint8_t>(r[4 * S + 2][b] ^ k[6 * S + 3]),
                              static_cast<uint8_t>(r[4 * S + 3][b] ^ k[6 * S + 4]),
                              static_cast<uint8_t>(r6[b] ^ k[6 * S + 5])};
        uint8_t o[4];
        sBoxGates<S>(a, o);
        l1[b] ^= o[0];
        l2[b] ^= o[1];
        l3[b] ^= o[2];
        l4[b] ^= o[3];
    }
}

template <std::size_t... S>
void feistel(Row* __restrict l, const Row* __restrict r, const uint8_t* k,
             std::index_sequence<S...>) {
    (substitute<S>(l, r, k), ...);
}

} // namespace

void DecipherRoundsPortable(const BatchKey& key, BatchState& state) {
    Row* l = state.row;
    Row* r = state.row + 32;
    constexpr auto sBoxes = std::make_index_sequence<8>{};
    // Subkeys 16 down to 1, two rounds per pass so that L and R swap roles, not contents.
    for (int round = 15; round > 0; round -= 2) {
        feistel(l, r, key.subkeyMasks.data() + 48 * round, sBoxes);
        feistel(r, l, key.subkeyMasks.data() + 48 * (round - 1), sBoxes);
    }
}

} // namespace ostrel::des
