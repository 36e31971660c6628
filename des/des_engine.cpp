// The block engine: bits are kept one per byte, as 0 or 1. A half block of 32 bit-bytes lives in
// four 64-bit words, byte k of word t holding bit 8t + k, so the permutations and the Feistel
// function move eight bit-bytes at a time while every table stays the standard's.

#include "cls_des.h"

#include "base/secret.h"
#include "des_tables.h"

#include <bit>
#include <cstring>
#include <utility>

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

// Multiplying six bit-bytes (bytes 0..5 of a word) by this constant adds up x1 + 2 x2 + ... +
// 32 x6 in bits 35..40 without carries; bytes 6 and 7 only reach bits above them. The shift and
// mask then give that sum times 32, the S-box table's stride.
constexpr std::uint64_t kGatherSixBits =
    (1ULL << 35) | (1ULL << 28) | (1ULL << 21) | (1ULL << 14) | (1ULL << 7) | 1ULL;
constexpr int kGatherShift = 35 - 5;
constexpr std::uint64_t kGatherMask = 0x3FULL << 5;

constexpr bool gatherIsExact() {
    for (std::uint64_t x = 0; x < 64; ++x) {
        for (std::uint64_t junk = 0; junk < 4; ++junk) {
            std::uint64_t word = (junk & 1) << 48 | (junk >> 1) << 56;
            for (int j = 0; j < 6; ++j) {
                word |= ((x >> j) & 1) << (8 * j);
            }
            if (((word * kGatherSixBits) >> kGatherShift & kGatherMask) != x << 5) {
                return false;
            }
        }
    }
    return true;
}
static_assert(gatherIsExact());

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

// Bit-bytes 4s-1 .. 4s+4 of a half in bytes 0..5 (bytes 6 and 7 hold neighbouring bits).
template <int S> [[gnu::always_inline]] inline std::uint64_t expansionGroup(const Half& r) {
    constexpr int word = S / 2;
    if constexpr (S % 2 == 0) {
        return r[word] << 8 | r[(word + 3) % 4] >> 56;
    } else {
        return r[word] >> 24 | r[(word + 1) % 4] << 40;
    }
}

std::uint32_t loadLittleEndian32(const std::uint8_t* bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap32(value);
    }
    return value;
}

// The four output bit-bytes of S-box S, byte j holding output bit j.
template <int S>
[[gnu::always_inline]] inline std::uint32_t substitute(const Half& r, const std::uint8_t* subkey,
                                                       const std::uint8_t* sBoxBits) {
    const std::uint64_t x = expansionGroup<S>(r) ^ load64<std::endian::little>(subkey + 6 * S);
    const std::size_t offset = (x * kGatherSixBits) >> kGatherShift & kGatherMask;
    return loadLittleEndian32(sBoxBits + 4 * S + offset);
}

// Bit-byte J of an S-box output moved to byte K of a word; a bit-byte is 0 or 1, so a one-bit
// mask and one shift do it.
template <int J, int K> [[gnu::always_inline]] inline std::uint64_t placeBit(std::uint32_t sOut) {
    const std::uint64_t bit = sOut & (std::uint32_t{1} << (8 * J));
    if constexpr (K >= J) {
        return bit << (8 * (K - J));
    } else {
        return bit >> (8 * (J - K));
    }
}

// P written out: the four bits of S-box S go straight into L, each to its fixed place. Going
// S-box by S-box keeps few values alive, so the halves stay in registers.
template <int S, std::size_t... J>
[[gnu::always_inline]] inline void permuteInto(Half& l, std::uint32_t sOut,
                                               std::index_sequence<J...>) {
    ((l[kPermutationTarget[4 * S + J] / 8] ^= placeBit<J, kPermutationTarget[4 * S + J] % 8>(sOut)),
     ...);
}

// One round: l ^= P(S(E(r) ^ subkey)); the caller swaps the roles of l and r.
template <std::size_t... S>
[[gnu::always_inline]] inline void feistel(Half& l, const Half& r, const std::uint8_t* subkey,
                                           const std::uint8_t* sBoxBits,
                                           std::index_sequence<S...>) {
    (permuteInto<S>(l, substitute<S>(r, subkey, sBoxBits), std::make_index_sequence<4>{}), ...);
}

} // namespace

clsDES::clsDES() {
    buildSBoxBits();
    batchKey_.Build(subkeys_.data(), sBoxBits_.data());
}

clsDES::~clsDES() {
    base::ClearSecret(key_);
    base::ClearSecret(subkeys_.data(), subkeys_.size());
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
    batchKey_.Build(subkeys_.data(), sBoxBits_.data());
}

template <bool Decipher> void clsDES::transformBlock(std::uint8_t* block) const {
    const std::uint64_t input = load64<std::endian::big>(block);
    Half l, r;
    for (int row = 0; row < 4; ++row) {
        l[row] = input >> kRowShift[row] & kLowBitOfEachByte;
        r[row] = input >> kRowShift[row + 4] & kLowBitOfEachByte;
    }

    constexpr std::ptrdiff_t step = Decipher ? -std::ptrdiff_t{kSubkeyBits} : kSubkeyBits;
    const std::uint8_t* subkey = subkeys_.data() + (Decipher ? 15 * kSubkeyBits : 0);
    constexpr auto sBoxes = std::make_index_sequence<8>{};
    // Two rounds per pass so that L and R swap roles instead of contents.
    for (int pass = 0; pass < 8; ++pass) {
        feistel(l, r, subkey, sBoxBits_.data(), sBoxes);
        subkey += step;
        feistel(r, l, subkey, sBoxBits_.data(), sBoxes);
        subkey += step;
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
