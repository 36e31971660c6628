// The block engine: bits are kept one per byte, as 0 or 1. A half block of 32 bit-bytes lives in
// four 64-bit words, byte k of word t holding bit 8t + k, so the permutations and the Feistel
// function move eight bit-bytes at a time. Each round reads the S-box inputs from R packed into one
// word and adds to L, per S-box, a 32-byte row of bit-bytes that already went through P.

#include "cls_des.h"

#include "base/secret.h"
#include "des_tables.h"

#include <bit>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ostrel::des {

namespace {

using namespace tables;

constexpr std::uint64_t kLowBitOfEachByte = 0x0101010101010101;

// The initial permutation is a transposition: output row r (bits 8r..8r+7) is one bit column of
// the block, read from byte 7 down to byte 0. So each row is a shift and a mask of the block as a
// big-endian number; kRowShift gives the shift of each row.
constexpr std::array<int, 8> rowShifts() {
    std::array<int, 8> shifts{};
    for (int row = 0; row < 8; ++row) {
        shifts[row] = 7 - kInitialPermutation[8 * row] % 8;
    }
    return shifts;
}
constexpr std::array<int, 8> kRowShift = rowShifts();

constexpr bool initialPermutationIsTransposition() {
    for (int row = 0; row < 8; ++row) {
        for (int k = 0; k < 8; ++k) {
            if (kInitialPermutation[8 * row + k] != 8 * (7 - k) + (7 - kRowShift[row])) {
                return false;
            }
        }
    }
    return true;
}
static_assert(initialPermutationIsTransposition());

constexpr bool finalPermutationInvertsInitial() {
    for (int i = 0; i < 64; ++i) {
        if (kFinalPermutation[kInitialPermutation[i]] != i) {
            return false;
        }
    }
    return true;
}
static_assert(finalPermutationInvertsInitial());

// The expansion feeds S-box s with the six consecutive bits 4s-1 .. 4s+4 of R (wrapping around),
// which the round takes as shifted words instead of 48 single moves.
constexpr bool expansionTakesConsecutiveBits() {
    for (int s = 0; s < 8; ++s) {
        for (int j = 0; j < 6; ++j) {
            if (kExpansion[6 * s + j] != (4 * s - 1 + j + 32) % 32) {
                return false;
            }
        }
    }
    return true;
}
static_assert(expansionTakesConsecutiveBits());

// Multiplying eight bit-bytes by this constant moves bit-byte k to bit 56 + k without carries
// (every partial product lands on its own bit), so the top byte holds the eight bits packed.
constexpr std::uint64_t kPackEightBits = 0x0102040810204080;

constexpr bool packIsExact() {
    for (std::uint64_t bits = 0; bits < 256; ++bits) {
        std::uint64_t word = 0;
        for (int k = 0; k < 8; ++k) {
            word |= (bits >> k & 1) << (8 * k);
        }
        if ((word * kPackEightBits) >> 56 != bits) {
            return false;
        }
    }
    return true;
}
static_assert(packIsExact());

// The 8 bytes at bytes as a number, the first byte its least (little) or most (big) significant.
template <std::endian Order> std::uint64_t load64(const std::uint8_t* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native != Order) {
        value = __builtin_bswap64(value);
    }
    return value;
}

void storeBigEndian64(std::uint8_t* bytes, std::uint64_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        value = __builtin_bswap64(value);
    }
    std::memcpy(bytes, &value, sizeof value);
}

using Half = std::array<std::uint64_t, 4>;

// The 32 bit-bytes of a half as a word, bit i holding bit-byte i: the S-box inputs are read from
// it, while the half itself stays one bit per byte.
[[gnu::always_inline]] inline std::uint32_t pack(const Half& half) {
#if defined(__SSE2__)
    // Every bit-byte moved to the top of its byte, then one byte mask per 16 of them.
    __m128i low, high;
    std::memcpy(&low, half.data(), sizeof low);
    std::memcpy(&high, half.data() + 2, sizeof high);
    const auto lowBits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(low, 7)));
    const auto highBits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(high, 7)));
    return lowBits | highBits << 16;
#else
    const auto byte = [](std::uint64_t word) {
        return static_cast<std::uint32_t>(word * kPackEightBits >> 56);
    };
    return byte(half[0]) | byte(half[1]) << 8 | byte(half[2]) << 16 | byte(half[3]) << 24;
#endif
}

// For each S-box s and six input bits (x1 in bit 0 .. x6 in bit 5, as substitute reads them):
// the S-box output already moved by P to its places in a half, so that a round adds each
// S-box to L with four word XORs instead of placing its four bits one by one.
constexpr std::array<Half, 8 * 64> permutedSBoxes() {
    std::array<Half, 8 * 64> table{};
    for (int s = 0; s < 8; ++s) {
        for (int x = 0; x < 64; ++x) {
            const int row = 2 * (x & 1) + (x >> 5 & 1);
            const int column =
                (x >> 1 & 1) * 8 + (x >> 2 & 1) * 4 + (x >> 3 & 1) * 2 + (x >> 4 & 1);
            const int value = kSBoxes[s][row][column];
            for (int j = 0; j < 4; ++j) {
                const int target = kPermutationTarget[4 * s + j];
                table[64 * s + x][target / 8] |= std::uint64_t(value >> (3 - j) & 1)
                                                 << (8 * (target % 8));
            }
        }
    }
    return table;
}
constexpr auto kPermutedSBoxes = permutedSBoxes();

// P(S(E(r) ^ subkey)) of S-box S. Rotated left by 1, the packed r holds the inputs of S-boxes
// 0, 2, 4 and 6 in the low six bits of its bytes 0..3 (x1 lowest); rotated right by 3, those of
// S-boxes 1, 3, 5 and 7. The subkey bits are XORed in the same places, so that each S-box then
// needs one shift and one mask to get its table row's byte offset.
template <int S>
[[gnu::always_inline]] inline const Half& substitute(std::uint64_t even, std::uint64_t odd) {
    static_assert(sizeof(Half) == 32);
    constexpr int shift = 8 * (S / 2) - 5;
    const std::uint64_t inputs = S % 2 == 0 ? even : odd;
    const std::uint64_t offset = (shift >= 0 ? inputs >> shift : inputs << -shift) & 0x7E0;
    const auto* rows = reinterpret_cast<const std::uint8_t*>(kPermutedSBoxes.data() + 64 * S);
    return *reinterpret_cast<const Half*>(rows + offset);
}

// One round: l ^= P(S(E(r) ^ subkey)); the caller swaps the roles of l and r. keys holds the
// subkey bits as the even and odd S-boxes take them. The eight S-box outputs are added up as a
// tree, so that the round waits on fewer dependent steps.
template <std::size_t... S>
[[gnu::always_inline]] inline void feistel(Half& l, const Half& r, const std::uint32_t* keys,
                                           std::index_sequence<S...>) {
    const std::uint32_t packed = pack(r);
    const std::uint64_t even = std::rotl(packed, 1) ^ keys[0];
    const std::uint64_t odd = std::rotr(packed, 3) ^ keys[1];
    const Half* out[8] = {&substitute<S>(even, odd)...};
    const auto sum = [&out](int word) {
        return (((*out[0])[word] ^ (*out[1])[word]) ^ ((*out[2])[word] ^ (*out[3])[word])) ^
               (((*out[4])[word] ^ (*out[5])[word]) ^ ((*out[6])[word] ^ (*out[7])[word]));
    };
    l[0] ^= sum(0);
    l[1] ^= sum(1);
    l[2] ^= sum(2);
    l[3] ^= sum(3);
}

} // namespace

clsDES::clsDES() {
    buildSBoxBits();
    batchKey_.Build(subkeys_.data(), sBoxBits_.data());
}

clsDES::~clsDES() {
    base::ClearSecret(key_);
    base::ClearSecret(subkeys_.data(), subkeys_.size());
    base::ClearSecret(subkeyGroups_.data(), sizeof subkeyGroups_);
    batchKey_.Clear();
}

void clsDES::buildSBoxBits() {
    for (int s = 0; s < 8; ++s) {
        for (int input = 0; input < 64; ++input) {
            // x1 is the first bit of the group as it leaves the expansion.
            const int x1 = input >> 5 & 1, x2 = input >> 4 & 1, x3 = input >> 3 & 1;
            const int x4 = input >> 2 & 1, x5 = input >> 1 & 1, x6 = input & 1;
            const int value = kSBoxes[s][2 * x1 + x6][8 * x2 + 4 * x3 + 2 * x4 + x5];
            const int position =
                4 * s + 32 * x1 + 64 * x2 + 128 * x3 + 256 * x4 + 512 * x5 + 1024 * x6;
            for (int bit = 0; bit < 4; ++bit) {
                sBoxBits_[position + bit] = static_cast<std::uint8_t>(value >> (3 - bit) & 1);
            }
        }
    }
}

void clsDES::BytesToBits(const std::uint8_t* bytes, std::size_t count, std::uint8_t* bits) {
    std::memset(bits, 0, 8 * count);
    for (std::size_t i = 0; i < count; ++i) {
        for (int j = 0; j < 8; ++j) {
            if (bytes[i] & (0x80 >> j)) {
                bits[8 * i + j] = 1;
            }
        }
    }
}

void clsDES::Key(std::string_view newValue) {
    if (newValue == key_) {
        return;
    }
    base::ClearSecret(key_);
    key_ = newValue;

    std::uint8_t keyBytes[8] = {};
    std::memcpy(keyBytes, newValue.data(), std::min<std::size_t>(newValue.size(), 8));
    std::uint8_t keyBits[64];
    BytesToBits(keyBytes, 8, keyBits);

    // C in cd[0..27], D in cd[28..55]; parity bits fall out with PC-1.
    std::uint8_t cd[56];
    for (int i = 0; i < 56; ++i) {
        cd[i] = keyBits[kPermutedChoice1[i]];
    }
    for (int round = 0; round < 16; ++round) {
        for (int half = 0; half < 2; ++half) {
            std::uint8_t* part = cd + 28 * half;
            const int shift = kShiftSchedule[round];
            std::uint8_t rotated[28];
            std::memcpy(rotated, part + shift, 28 - shift);
            std::memcpy(rotated + 28 - shift, part, shift);
            std::memcpy(part, rotated, 28);
            base::ClearSecret(rotated, sizeof rotated);
        }
        std::uint8_t* subkey = subkeys_.data() + kSubkeyBits * round;
        for (std::size_t k = 0; k < kSubkeyBits; ++k) {
            subkey[k] = cd[kPermutedChoice2[k]];
        }
    }
    base::ClearSecret(keyBytes, sizeof keyBytes);
    base::ClearSecret(keyBits, sizeof keyBits);
    base::ClearSecret(cd, sizeof cd);
    subkeyGroups_ = {};
    for (int group = 0; group < 16 * 8; ++group) {
        std::uint32_t bits = 0;
        for (int j = 0; j < 6; ++j) {
            bits |= std::uint32_t{subkeys_[6 * group + j]} << j;
        }
        // Round group / 8, S-box group % 8: even S-boxes in the first word, odd in the second.
        const int s = group % 8;
        subkeyGroups_[2 * (group / 8) + s % 2] |= bits << (8 * (s / 2));
    }
    batchKey_.Build(subkeys_.data(), sBoxBits_.data());
}

template <bool Decipher> void clsDES::transformBlock(std::uint8_t* block) const {
    const std::uint64_t input = load64<std::endian::big>(block);
    Half l, r;
    for (int row = 0; row < 4; ++row) {
        l[row] = input >> kRowShift[row] & kLowBitOfEachByte;
        r[row] = input >> kRowShift[row + 4] & kLowBitOfEachByte;
    }

    constexpr std::ptrdiff_t step = Decipher ? -2 : 2;
    const std::uint32_t* keys = subkeyGroups_.data() + (Decipher ? 15 * 2 : 0);
    constexpr auto sBoxes = std::make_index_sequence<8>{};
    // Two rounds per pass so that L and R swap roles instead of contents. Unrolled whole, the
    // halves stay in registers instead of going through memory between passes.
#pragma GCC unroll 8
    for (int pass = 0; pass < 8; ++pass) {
        feistel(l, r, keys, sBoxes);
        keys += step;
        feistel(r, l, keys, sBoxes);
        keys += step;
    }

    // Pre-output R || L through the final permutation, the inverse transposition.
    std::uint64_t output = 0;
    for (int row = 0; row < 4; ++row) {
        output |= r[row] << kRowShift[row];
        output |= l[row] << kRowShift[row + 4];
    }
    storeBigEndian64(block, output);
}

void clsDES::EncipherBlock(std::uint8_t* block) const {
    transformBlock<false>(block);
}

void clsDES::DecipherBlock(std::uint8_t* block) const {
    transformBlock<true>(block);
}

void clsDES::DecipherBlocks(std::uint8_t* blocks, std::size_t count, BatchPath path) const {
    std::size_t done = 0;
    for (; count - done >= kBatchBlocks; done += kBatchBlocks) {
        DecipherBatch(batchKey_, blocks + 8 * done, path);
    }
    for (; done < count; ++done) {
        DecipherBlock(blocks + 8 * done);
    }
}

} // namespace ostrel::des
