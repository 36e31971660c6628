#include "reader_factory.h"

#include "base/text_excerpt.h"
#include "base/user_data_folder.h"

#ifdef OSTREL_HAVE_PCSC
#include "pcsc/pcsc_reader.h"
#include "pcsc/reader_survey.h"
#endif

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace ostrel::reader {

namespace {

// Empty when the system does not tell.
fs::path RunningExecutable() {
    std::error_code ec;
    fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : executable;
}

bool CreateSimulated(const ReaderChoice& choice, ChosenReader& chosen, std::string& error) {
    auto simulator = std::make_unique<SimulatedReader>();
    std::string folder;
    if (choice.argument.empty()) {
        if (!PrepareDemoDeck(folder, error))
            return false;
    } else {
        std::error_code ec;
        const fs::path path(choice.argument);
        if (fs::is_directory(path, ec)) {
            folder = path.string();
        } else if (fs::exists(path, ec)) {
            auto card = VirtualCard::FromFile(path.string(), error);
            if (!card)
                return false;
            simulator->insertCard(std::move(card));
            folder = path.parent_path().empty() ? "." : path.parent_path().string();
        } else {
            error = "fichier de carte " + base::Escaped(choice.argument) + " : introuvable";
            return false;
        }
    }
    chosen.simulator = simulator.get();
    chosen.library = std::move(simulator);
    chosen.deckFolder = folder;
    return true;
}

} // namespace

// A real reader when the program is built with PC/SC; the simulated one otherwise.
ReaderChoice DefaultReaderChoice() {
#ifdef OSTREL_HAVE_PCSC
    return ReaderChoice{ReaderChoice::Kind::Pcsc, {}, {}};
#else
    return ReaderChoice{ReaderChoice::Kind::Simulated, {}, {}};
#endif
}

fs::path ShippedDemoDeck(const fs::path& executable) {
    if (!executable.empty()) {
        const fs::path installed =
            (executable.parent_path() / OSTREL_INSTALLED_DEMO_DECK).lexically_normal();
        std::error_code ec;
        if (fs::is_directory(installed, ec))
            return installed;
    }
    return OSTREL_DEMO_DECK_DIR;
}

bool PrepareDemoDeck(std::string& folder, std::string& error) {
    const fs::path target = fs::path(base::UserDataFolder()) / "demo-deck";
    std::error_code ec;
    if (!fs::is_directory(target, ec)) {
        fs::create_directories(target.parent_path(), ec);
        const fs::path shipped = ShippedDemoDeck(RunningExecutable());
        fs::copy(shipped, target, fs::copy_options::recursive, ec);
        if (ec) {
            error = "jeu de cartes de démonstration : copie de " + shipped.string() + " vers " +
                    target.string() + " impossible (" + ec.message() + ")";
            return false;
        }
        // The shipped files may be read-only; the copy is the user's to write.
        for (const auto& entry : fs::directory_iterator(target, ec)) {
            fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::add, ec);
        }
    }
    folder = target.string();
    return true;
}

bool StartTrace(const TraceRequest& request, bool quietPolls, std::ostream& standardError,
                const std::vector<base::FileInUse>& inUse, ChosenReader& chosen,
                std::string& error) {
    if (!request.on)
        return true;
    std::unique_ptr<TraceSink> sink;
    if (request.file.empty()) {
        sink = std::make_unique<StreamTraceSink>(standardError);
    } else if (!(sink = OpenTraceFile(request.file, request.overwrite, inUse, error))) {
        return false;
    }
    chosen.trace = sink.get();
    chosen.library = std::make_unique<TracingReader>(std::move(chosen.library), std::move(sink),
                                                     TraceOptions{request.showCodes, quietPolls});
    return true;
}

bool CreateReader(const ReaderChoice& choice, ChosenReader& chosen, std::string& error) {
    switch (choice.kind) {
    case ReaderChoice::Kind::Simulated:
        return CreateSimulated(choice, chosen, error);
    case ReaderChoice::Kind::Pcsc:
#ifdef OSTREL_HAVE_PCSC
    {
        auto pcscReader = std::make_unique<pcsc::PcscReader>(choice.argument, choice.dialect);
        chosen.status = pcscReader.get();
        chosen.library = std::move(pcscReader);
        return true;
    }
#else
        error = "lecteur PC/SC non disponible dans cette version";
        return false;
#endif
    }
    return false;
}

bool SurveyPcscReaders(std::vector<ReaderSurvey>& readers, std::string& error) {
#ifdef OSTREL_HAVE_PCSC
    return pcsc::SurveyReaders(readers, error);
#else
    readers.clear();
    error = "lecteur PC/SC non disponible dans cette version";
    return false;
#endif
}

} // namespace ostrel::reader
