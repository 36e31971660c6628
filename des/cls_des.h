#pragma once

#include "des_batch.h"
#include "des_status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::des {

class ProgressTracker;

// Why the last EncryptFile or DecryptFile returned false.
// OutputPartlyWritten: the output could only be written in part (its other names kept it in
// place); the whole result is in the temporary file the error names.
enum class FileFailure {
    None,
    MissingInput,
    OutputExists,
    ReadFailed,
    CipherFailed,
    WriteFailed,
    OutputPartlyWritten
};

// DES (FIPS 46-3) in cipher-block chaining with a zero initial vector, over byte arrays, text
// and files. Text is a byte string of Windows-1252 characters, one byte each. The engine keeps
// one bit per byte; see des_engine.cpp for the block transform.
//
// Encrypted buffer: 8 random bytes, the plain length as a little-endian signed 32-bit number,
// the plain data, random padding to a multiple of 8.
//
// An object is not safe to share between threads: the key and the progress handler are state.
class clsDES {
public:
    using Bytes = std::vector<std::uint8_t>;
    using ProgressHandler = std::function<void(std::int32_t percent)>;

    // Plain data longer than this cannot be described by the signed 32-bit size field.
    static constexpr std::size_t kMaxPlainSize = 0x7FFFFFFF;

    clsDES();
    // The key and its schedule are cleared from memory.
    ~clsDES();
    clsDES(const clsDES&) = delete;
    clsDES& operator=(const clsDES&) = delete;

    // The Key property: runs the key schedule unless newValue equals the key set last. Only the
    // first 8 bytes count; missing ones are zero.
    void Key(std::string_view newValue);

    // The Progress event, raised while a buffer is enciphered or deciphered.
    void OnProgress(ProgressHandler handler) { progress_ = std::move(handler); }

    // A non-empty key argument is set as Key first; an empty one keeps the key in force.
    DesStatus EncryptByte(Bytes& byteArray, std::string_view key = {});
    // On a size-descriptor error the array is left deciphered, not trimmed; on a length error
    // it is left untouched.
    DesStatus DecryptByte(Bytes& byteArray, std::string_view key = {});

    DesStatus EncryptString(std::string_view text, std::string& result, std::string_view key = {},
                            bool outputInHex = false);
    DesStatus DecryptString(std::string_view text, std::string& result, std::string_view key = {},
                            bool isTextInHex = false);

    // The output replaces outFile only once it is completely written; on false neither file
    // has changed (but for OutputPartlyWritten). LastFileFailure() says why.
    bool EncryptFile(const std::filesystem::path& inFile, const std::filesystem::path& outFile,
                     bool overwrite = false, std::string_view key = {});
    bool DecryptFile(const std::filesystem::path& inFile, const std::filesystem::path& outFile,
                     bool overwrite = false, std::string_view key = {});
    FileFailure LastFileFailure() const { return lastFileFailure_; }
    // What was wrong, in words: for MissingInput, ReadFailed and the write failures what the
    // operating system said of the file (in French), for CipherFailed the DES error's
    // description; else empty.
    const std::string& LastFileError() const { return lastFileError_; }
    // The DES error of the last CipherFailed, number and description.
    const DesStatus& LastCipherStatus() const { return lastCipherStatus_; }

    // One 8-byte block in place under the current key (used by the chaining and by known-answer
    // checks).
    void EncipherBlock(std::uint8_t* block) const;
    void DecipherBlock(std::uint8_t* block) const;
    // count blocks in place, each on its own (no chaining): whole batches by the given path,
    // the rest by DecipherBlock.
    void DecipherBlocks(std::uint8_t* blocks, std::size_t count,
                        BatchPath path = FastestBatchPath()) const;

private:
    static constexpr std::size_t kSubkeyBits = 48;

    template <bool Decipher> void transformBlock(std::uint8_t* block) const;
    void buildSBoxBits();
    static void BytesToBits(const std::uint8_t* bytes, std::size_t count, std::uint8_t* bits);

    void chainEncipher(Bytes& buffer, ProgressTracker& progress) const;
    void chainDecipher(Bytes& buffer, ProgressTracker& progress) const;
    bool transformFile(const std::filesystem::path& inFile, const std::filesystem::path& outFile,
                       bool overwrite, bool encrypt);

    // Bit-bytes of the S-box outputs, addressed by 4s + 32 x1 + 64 x2 + ... + 1024 x6.
    std::array<std::uint8_t, 2048> sBoxBits_{};
    // Row r holds the 48 bit-bytes of subkey r + 1.
    std::array<std::uint8_t, 16 * kSubkeyBits> subkeys_{};
    // The same bits by S-box: entries 2r and 2r + 1 hold the six bits of subkey r + 1 that each
    // even and odd S-box takes, in the places des_engine.cpp reads them from.
    std::array<std::uint32_t, 16 * 2> subkeyGroups_{};
    // The same key for deciphering kBatchBlocks blocks at once.
    BatchKey batchKey_;
    std::string key_;
    ProgressHandler progress_;
    FileFailure lastFileFailure_ = FileFailure::None;
    std::string lastFileError_;
    DesStatus lastCipherStatus_;
};

} // namespace ostrel::des
