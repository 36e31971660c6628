// Part of clsDES: the buffer format, its chaining and the text operations.

#include "cls_des.h"

#include "hex_text.h"
#include "progress_tracker.h"
#include "random_source.h"

#include <cstring>

namespace ostrel::des {

namespace {

constexpr std::size_t kBlock = 8;
constexpr std::size_t kHeader = 12; // leading block and size descriptor
constexpr std::size_t kSizeOffset = 8;
constexpr std::int64_t kMinOverhead = 12;
constexpr std::int64_t kMaxOverhead = 19;

void xorBlock(std::uint8_t* block, const std::uint8_t* with) {
    for (std::size_t i = 0; i < kBlock; ++i) {
        block[i] ^= with[i];
    }
}

std::int32_t readSizeDescriptor(const std::uint8_t* bytes) {
    const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    return static_cast<std::int32_t>(value);
}

void writeSizeDescriptor(std::uint8_t* bytes, std::uint32_t size) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
}

DesStatus error(std::uint32_t number, const char* description) {
    return {number, description};
}

const std::uint8_t* asBytes(std::string_view text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

} // namespace

void clsDES::chainEncipher(Bytes& buffer, ProgressTracker& progress) const {
    std::uint8_t previous[kBlock] = {};
    for (std::size_t offset = 0; offset < buffer.size(); offset += kBlock) {
        std::uint8_t* block = buffer.data() + offset;
        xorBlock(block, previous);
        EncipherBlock(block);
        std::memcpy(previous, block, kBlock);
        progress.afterBlock(offset);
    }
}

void clsDES::chainDecipher(Bytes& buffer, ProgressTracker& progress) const {
    std::uint8_t previous[kBlock] = {};
    std::size_t offset = 0;
    // Each block's decipher needs only its own cipher block, so whole batches go at once; the
    // chaining and the progress follow block by block as before.
    const BatchPath path = FastestBatchPath();
    for (; buffer.size() - offset >= kBatchBytes; offset += kBatchBytes) {
        std::uint8_t* blocks = buffer.data() + offset;
        std::uint8_t cipher[kBatchBytes];
        std::memcpy(cipher, blocks, kBatchBytes);
        DecipherBatch(batchKey_, blocks, path);
        xorBlock(blocks, previous);
        progress.afterBlock(offset);
        for (std::size_t i = kBlock; i < kBatchBytes; i += kBlock) {
            xorBlock(blocks + i, cipher + i - kBlock);
            progress.afterBlock(offset + i);
        }
        std::memcpy(previous, cipher + kBatchBytes - kBlock, kBlock);
    }
    for (; offset < buffer.size(); offset += kBlock) {
        std::uint8_t* block = buffer.data() + offset;
        std::uint8_t cipher[kBlock];
        std::memcpy(cipher, block, kBlock);
        DecipherBlock(block);
        xorBlock(block, previous);
        std::memcpy(previous, cipher, kBlock);
        progress.afterBlock(offset);
    }
}

DesStatus clsDES::EncryptByte(Bytes& byteArray, std::string_view key) {
    if (!key.empty()) {
        Key(key);
    }
    const std::size_t size = byteArray.size();
    if (size > kMaxPlainSize) {
        return error(kErrorPlainTooLarge, "Data too large for DES encryption");
    }
    const std::size_t length = (kHeader + size + kBlock - 1) / kBlock * kBlock;
    Bytes buffer(length);
    // Random leading block and padding: with a zero initial vector, equal plain data must not
    // give equal cipher data.
    std::uint8_t random[kBlock + kBlock];
    const std::size_t padding = length - kHeader - size;
    if (!FillRandom(random, kBlock + padding)) {
        return error(kErrorRandomSource, "No random source for DES encryption");
    }
    std::memcpy(buffer.data(), random, kBlock);
    writeSizeDescriptor(buffer.data() + kSizeOffset, static_cast<std::uint32_t>(size));
    if (size != 0) {
        std::memcpy(buffer.data() + kHeader, byteArray.data(), size);
    }
    std::memcpy(buffer.data() + kHeader + size, random + kBlock, padding);

    ProgressTracker progress(progress_, length);
    chainEncipher(buffer, progress);
    byteArray.swap(buffer);
    progress.finish();
    return {};
}

DesStatus clsDES::DecryptByte(Bytes& byteArray, std::string_view key) {
    if (!key.empty()) {
        Key(key);
    }
    const std::size_t length = byteArray.size();
    if (length % kBlock != 0 || length < kHeader + 4) {
        return error(kErrorCipherLength, "Incorrect cipher length in DES decryption");
    }
    ProgressTracker progress(progress_, length);
    chainDecipher(byteArray, progress);

    const std::int64_t size = readSizeDescriptor(byteArray.data() + kSizeOffset);
    const std::int64_t overhead = static_cast<std::int64_t>(length) - size;
    // A 16-byte buffer would let sizes -3 .. -1 pass the overhead test alone.
    if (size < 0 || overhead < kMinOverhead || overhead > kMaxOverhead) {
        return error(kErrorSizeDescriptor, "Incorrect size descriptor in DES decryption");
    }
    std::memmove(byteArray.data(), byteArray.data() + kHeader, static_cast<std::size_t>(size));
    byteArray.resize(static_cast<std::size_t>(size));
    // Only an accepted buffer reports completion.
    progress.finish();
    return {};
}

DesStatus clsDES::EncryptString(std::string_view text, std::string& result, std::string_view key,
                                bool outputInHex) {
    Bytes bytes(asBytes(text), asBytes(text) + text.size());
    DesStatus status = EncryptByte(bytes, key);
    if (!status) {
        return status;
    }
    const std::string cipher(bytes.begin(), bytes.end());
    result = outputInHex ? BytesToHex(cipher) : cipher;
    return {};
}

DesStatus clsDES::DecryptString(std::string_view text, std::string& result, std::string_view key,
                                bool isTextInHex) {
    std::string cipher;
    if (isTextInHex) {
        auto decoded = HexToBytes(text);
        if (!decoded) {
            return error(kErrorHexText, "Incorrect hexadecimal text in DES decryption");
        }
        cipher = std::move(*decoded);
    } else {
        cipher = text;
    }
    Bytes bytes(asBytes(cipher), asBytes(cipher) + cipher.size());
    DesStatus status = DecryptByte(bytes, key);
    if (!status) {
        return status;
    }
    result.assign(bytes.begin(), bytes.end());
    return {};
}

} // namespace ostrel::des
