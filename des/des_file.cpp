// Part of clsDES: whole-file encryption and decryption.

#include "cls_des.h"

#include "replace_file.h"

#include <fstream>

namespace ostrel::des {

namespace fs = std::filesystem;

namespace {

// A file exists when its length can be read.
bool fileExists(const fs::path& path) {
    std::error_code ec;
    static_cast<void>(fs::file_size(path, ec));
    return !ec;
}

bool readWholeFile(const fs::path& path, clsDES::Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    // Read to the end rather than trusting the length, which may change while we read.
    constexpr std::size_t kChunk = 1 << 20;
    bytes.clear();
    while (in) {
        const std::size_t used = bytes.size();
        bytes.resize(used + kChunk);
        in.read(reinterpret_cast<char*>(bytes.data() + used), kChunk);
        bytes.resize(used + static_cast<std::size_t>(in.gcount()));
    }
    return !in.bad();
}

} // namespace

bool clsDES::transformFile(const fs::path& inFile, const fs::path& outFile, bool overwrite,
                           bool encrypt) {
    const auto fail = [this](FileFailure why) {
        lastFileFailure_ = why;
        return false;
    };
    if (!fileExists(inFile)) {
        return fail(FileFailure::MissingInput);
    }
    if (fileExists(outFile) && !overwrite) {
        return fail(FileFailure::OutputExists);
    }
    Bytes bytes;
    if (!readWholeFile(inFile, bytes)) {
        return fail(FileFailure::ReadFailed);
    }
    const DesStatus status = encrypt ? EncryptByte(bytes) : DecryptByte(bytes);
    if (!status) {
        return fail(FileFailure::CipherFailed);
    }
    // Written beside outFile and renamed over it, so a failure leaves both files as they were,
    // also when outFile is inFile.
    if (!ReplaceFileContents(outFile, bytes)) {
        return fail(FileFailure::WriteFailed);
    }
    lastFileFailure_ = FileFailure::None;
    return true;
}

bool clsDES::EncryptFile(const fs::path& inFile, const fs::path& outFile, bool overwrite,
                         std::string_view key) {
    if (!key.empty()) {
        Key(key);
    }
    return transformFile(inFile, outFile, overwrite, true);
}

bool clsDES::DecryptFile(const fs::path& inFile, const fs::path& outFile, bool overwrite,
                         std::string_view key) {
    if (!key.empty()) {
        Key(key);
    }
    return transformFile(inFile, outFile, overwrite, false);
}

} // namespace ostrel::des
