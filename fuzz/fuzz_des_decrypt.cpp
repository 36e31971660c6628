// Arbitrary cipher data through DecryptByte and the hexadecimal DecryptString. Besides memory
// errors it traps on broken promises: progress that falls back or does not end with one 100,
// a refusal that changed the array, a decrypted result that does not survive a round trip, and a
// decipher of many blocks at once (by every path the processor offers) that differs from the
// one-block engine.
//
// Input: byte 0 chooses the operation (bit 0) and the key length (bits 1-3), then the key,
// then the cipher data or hexadecimal text.

#include "cls_des.h"
#include "des_batch.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using ostrel::des::clsDES;
using Bytes = clsDES::Bytes;

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

struct ProgressWatch {
    std::int32_t last = -1;
    int hundreds = 0;
    void operator()(std::int32_t percent) {
        check(percent >= last && percent >= 0 && percent <= 100);
        last = percent;
        hundreds += percent == 100;
    }
};

void roundTrip(clsDES& des, const Bytes& plain) {
    des.OnProgress({});
    Bytes again = plain;
    check(des.EncryptByte(again).ok());
    check(des.DecryptByte(again).ok());
    check(again == plain);
}

// CBC decryption block by block with the one-block engine.
Bytes oneBlockDecrypt(const clsDES& des, const Bytes& cipher) {
    Bytes plain = cipher;
    std::uint8_t previous[8] = {};
    for (std::size_t offset = 0; offset + 8 <= plain.size(); offset += 8) {
        des.DecipherBlock(plain.data() + offset);
        for (int i = 0; i < 8; ++i) {
            plain[offset + i] ^= previous[i];
            previous[i] = cipher[offset + i];
        }
    }
    return plain;
}

// Every batch path against the one-block engine, on the whole blocks of the input.
void checkBatchPaths(const clsDES& des, const Bytes& cipher) {
    const std::size_t count = cipher.size() / 8;
    Bytes expected = cipher;
    for (std::size_t i = 0; i < count; ++i) {
        des.DecipherBlock(expected.data() + 8 * i);
    }
    for (const auto path : {ostrel::des::BatchPath::Portable, ostrel::des::BatchPath::Avx2}) {
        if (path == ostrel::des::BatchPath::Avx2 &&
            ostrel::des::FastestBatchPath() != ostrel::des::BatchPath::Avx2) {
            continue;
        }
        Bytes batched = cipher;
        des.DecipherBlocks(batched.data(), count, path);
        check(batched == expected);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool hexText = data[0] & 1;
    const std::size_t keyLength = std::min<std::size_t>((data[0] >> 1) & 7, size - 1);
    const std::string key(reinterpret_cast<const char*>(data + 1), keyLength);
    const std::uint8_t* payload = data + 1 + keyLength;
    const std::size_t payloadSize = size - 1 - keyLength;

    clsDES des;
    ProgressWatch watch;
    des.OnProgress([&watch](std::int32_t percent) { watch(percent); });
    des.Key(key);

    if (hexText) {
        const std::string text(reinterpret_cast<const char*>(payload), payloadSize);
        std::string plain = "untouched";
        const auto status = des.DecryptString(text, plain, {}, true);
        check(status.ok() == (watch.hundreds == 1));
        if (status.ok()) {
            roundTrip(des, Bytes(plain.begin(), plain.end()));
        } else {
            check(plain == "untouched");
        }
        return 0;
    }

    const Bytes cipher(payload, payload + payloadSize);
    checkBatchPaths(des, cipher);
    const Bytes reference = oneBlockDecrypt(des, cipher);
    Bytes bytes = cipher;
    const auto status = des.DecryptByte(bytes);
    check(status.ok() == (watch.hundreds == 1));
    if (status.ok()) {
        check(bytes.size() + 12 <= cipher.size() && bytes.size() + 19 >= cipher.size());
        check(bytes.empty() || std::memcmp(bytes.data(), reference.data() + 12, bytes.size()) == 0);
        roundTrip(des, bytes);
    } else if (status.number == ostrel::des::kErrorCipherLength) {
        check(bytes == cipher);
    } else {
        check(status.number == ostrel::des::kErrorSizeDescriptor && bytes == reference);
    }
    return 0;
}
