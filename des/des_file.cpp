// Part of clsDES: whole-file encryption and decryption.

#include "cls_des.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ostrel::des {

namespace fs = std::filesystem;

namespace {

// A file exists when its length can be read.
bool fileExists(const fs::path& path) {
    std::error_code ec;
    static_cast<void>(fs::file_size(path, ec));
    return !ec;
}

// The largest input a run accepts, and why: what the buffer format can describe, and what the
// memory can hold, as the file, its cipher buffer and a copy while reading live at once.
std::pair<std::size_t, const char*> InputLimit(bool encrypt) {
    constexpr std::size_t kCipherOverhead = 12 + 7;
    std::pair<std::size_t, const char*> limit{encrypt ? clsDES::kMaxPlainSize
                                                      : clsDES::kMaxPlainSize + kCipherOverhead,
                                              "la limite du format chiffré"};
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        const auto memory = static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
        if (memory / 3 < limit.first)
            limit = {memory / 3, "le tiers de la mémoire de la machine"};
    }
    return limit;
}

// The reason of a message that starts with the file's name: "f : c'est un dossier..." gives
// "c'est un dossier...".
std::string Reason(const std::string& message, const fs::path& path) {
    const std::string prefix = path.string() + " : ";
    return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
}

} // namespace

bool clsDES::transformFile(const fs::path& inFile, const fs::path& outFile, bool overwrite,
                           bool encrypt) {
    const auto fail = [this](FileFailure why, std::string reason) {
        lastFileFailure_ = why;
        lastFileError_ = std::move(reason);
        return false;
    };
    // A name that is there but is no regular file is not "missing": reading says what it is.
    struct stat info {};
    if (::stat(inFile.c_str(), &info) != 0 && errno == ENOENT) {
        return fail(FileFailure::MissingInput, "fichier introuvable");
    }
    if (fileExists(outFile) && !overwrite) {
        return fail(FileFailure::OutputExists, {});
    }
    const auto [limit, limitReason] = InputLimit(encrypt);
    if (S_ISREG(info.st_mode) && static_cast<std::uintmax_t>(info.st_size) > limit) {
        return fail(FileFailure::ReadFailed,
                    "fichier trop grand (" +
                        base::SizeText(static_cast<std::size_t>(info.st_size)) + " ; au plus " +
                        base::SizeText(limit) + ", " + limitReason + ")");
    }
    Bytes bytes;
    {
        std::string content;
        const base::FileResult read = base::ReadRegularFile(inFile.string(), limit, content);
        if (!read) {
            return fail(FileFailure::ReadFailed, Reason(read.error, inFile));
        }
        bytes.assign(content.begin(), content.end());
    }
    const DesStatus status = encrypt ? EncryptByte(bytes) : DecryptByte(bytes);
    if (!status) {
        lastCipherStatus_ = status;
        return fail(FileFailure::CipherFailed, status.description);
    }
    // Written beside outFile and renamed over it, so a failure leaves both files as they were,
    // also when outFile is inFile.
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (const base::FileResult written = base::WriteFileAtomically(outFile.string(), text);
        !written) {
        return fail(written.targetChanged ? FileFailure::OutputPartlyWritten
                                          : FileFailure::WriteFailed,
                    Reason(written.error, outFile));
    }
    lastFileFailure_ = FileFailure::None;
    lastFileError_.clear();
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
