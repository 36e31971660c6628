#include "run_files.h"

#include "ini_serial_store.h"
#include "journal/sqlite_journal.h"

#include <filesystem>

namespace ostrel::workflows {

std::vector<base::FileInUse> FilesOfTheRun(const std::string& configFile,
                                           const std::string& journalFile,
                                           const reader::ReaderChoice& choice,
                                           const std::string& deckFolder) {
    const std::string config = configFile.empty() ? DefaultConfigFile() : configFile;
    const std::string journal = journalFile.empty() ? journal::DefaultJournalFile() : journalFile;
    std::vector<base::FileInUse> files = {
        {config, "la configuration"},
        {config + ".lock", "le verrou de la configuration"},
        {journal, "le journal"},
    };
    for (const char* companion : {"-journal", "-wal", "-shm"})
        files.push_back({journal + companion, "un fichier du journal"});
    if (choice.kind != reader::ReaderChoice::Kind::Simulated)
        return files;
    std::error_code ec;
    if (!choice.argument.empty() && !std::filesystem::is_directory(choice.argument, ec))
        files.push_back({choice.argument, "la carte du lecteur simulé"});
    for (const auto& entry : std::filesystem::directory_iterator(deckFolder, ec)) {
        if (entry.path().extension() == ".card")
            files.push_back({entry.path().string(), "une carte du lecteur simulé"});
    }
    return files;
}

} // namespace ostrel::workflows
