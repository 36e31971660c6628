#include "live_settings.h"

#include "reader/reader_factory.h"
#include "workflows/reader_dialect_setting.h"
#include "workflows/reader_setting.h"
#include "workflows/wait_setting.h"

#include <utility>

namespace ostrel::app {

namespace {

// "le journal, le nom du poste et l'attente de 10 s"
std::string Listed(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " et " : ", ") + parts[i];
    return text;
}

std::string ReaderWords(const reader::ReaderChoice& choice) {
    std::string words = choice.kind == reader::ReaderChoice::Kind::Simulated ? "le lecteur simulé"
                        : choice.argument.empty() ? "le premier lecteur PC/SC"
                                                  : "le lecteur « " + choice.argument + " »";
    if (choice.dialect)
        words += " (jeu " + std::string(reader::dialect::TableOf(*choice.dialect).name) + ")";
    return words;
}

// What the configuration chooses when no option is given.
bool ConfiguredReader(const std::string& configFile, reader::ReaderChoice& choice) {
    AppOptions bare;
    bare.configFile = configFile;
    bare.reader = reader::DefaultReaderChoice();
    std::string error;
    return ChooseRunReader(bare, choice, error);
}

} // namespace

bool ChooseRunReader(const AppOptions& options, reader::ReaderChoice& choice, std::string& error) {
    choice = options.reader;
    return (!options.given.reader.empty() ||
            workflows::ChooseConfiguredReader(options.configFile, choice, error)) &&
           workflows::ChooseDialect(options.given.dialect, options.configFile, choice, error);
}

LiveSettings::LiveSettings(const AppOptions& options, reader::ReaderChoice inUse,
                           const reader::ReaderStatusSource* status,
                           reader::SwitchableReader& reader, base::Waiting& waiting)
    : options_(options), inUse_(std::move(inUse)), status_(status), reader_(reader),
      waiting_(waiting) {
    if (!ConfiguredReader(options_.configFile, configured_))
        configured_ = inUse_;
}

SettingsApplied LiveSettings::Apply(bool workflowOpen) {
    SettingsApplied applied;
    std::vector<std::string> now;
    std::vector<std::string> notes;
    if (!workflowOpen)
        now = {"le journal", "le nom du poste"};
    applyWait(applied, now, notes);
    if (workflowOpen)
        notes.push_back("une fenêtre de travail est ouverte : le journal, le nom du poste et le "
                        "lecteur choisis servent dès sa fermeture");
    else
        applyReader(applied, now, notes);
    if (!now.empty())
        notes.insert(notes.begin(),
                     Listed(now) + (now.size() > 1 ? " servent" : " sert") + " dès maintenant");
    for (const std::string& note : notes)
        applied.message += (applied.message.empty() ? "" : " ; ") + note;
    return applied;
}

void LiveSettings::applyWait(SettingsApplied& applied, std::vector<std::string>& now,
                             std::vector<std::string>& notes) {
    std::chrono::milliseconds limit{};
    std::string error;
    if (!workflows::ReadWaitLimit(options_.configFile, limit, error)) {
        applied.problem = error;
        notes.push_back(error);
    } else if (limit != waiting_.limit()) {
        // A wait already begun keeps its limit; every later one has this.
        waiting_.setLimit(limit);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
        now.push_back("l'attente de " + std::to_string(seconds) + " s");
    }
}

void LiveSettings::applyReader(SettingsApplied& applied, std::vector<std::string>& now,
                               std::vector<std::string>& notes) {
    reader::ReaderChoice wanted;
    std::string error;
    const auto kept = [&](const std::string& why) {
        const std::string problem = why + " : le lecteur en service reste";
        applied.problem += (applied.problem.empty() ? "" : " ; ") + problem;
        notes.push_back(problem);
    };
    if (!ChooseRunReader(options_, wanted, error)) {
        kept(error);
        return;
    }
    if (const std::vector<std::string> given = overriding(wanted); !given.empty()) {
        notes.push_back(given.size() == 1
                            ? "l'option " + given[0] +
                                  " donnée au démarrage l'emporte sur le lecteur choisi"
                            : "les options " + Listed(given) +
                                  " données au démarrage l'emportent sur le lecteur "
                                  "choisi");
    }
    if (wanted == inUse_)
        return;
    // Opened as at start, so that the new reader is the one the start would have opened.
    reader::ChosenReader next;
    if (!reader::CreateReader(wanted, next, error)) {
        kept(ReaderWords(wanted) + " ne sert pas (" + error + ")");
        return;
    }
    const reader::ReaderStatusSource* status = next.status;
    if (const std::int32_t opened = reader_.Replace(std::move(next.library)); opened < 0) {
        kept(ReaderWords(wanted) + " ne répond pas" +
             (opened == reader::kErrNoReader ? std::string(" (absent, ou service PC/SC arrêté)")
                                             : " (erreur " + std::to_string(opened) + ")"));
        return;
    }
    inUse_ = wanted;
    status_ = status;
    applied.readerReplaced = true;
    now.push_back(ReaderWords(wanted));
}

std::vector<std::string> LiveSettings::overriding(const reader::ReaderChoice& wanted) {
    reader::ReaderChoice configured;
    if (!ConfiguredReader(options_.configFile, configured))
        return {};
    const reader::ReaderChoice before = std::exchange(configured_, configured);
    std::vector<std::string> given;
    const auto sameReader = [](const reader::ReaderChoice& a, const reader::ReaderChoice& b) {
        return a.kind == b.kind && a.argument == b.argument;
    };
    if (!sameReader(configured, before) && !sameReader(configured, wanted))
        given.push_back("--reader");
    // The simulated reader has no command set: --reader sim overrides it too.
    const std::string dialectOption = options_.given.dialect.empty() ? "--reader" : "--dialect";
    if (configured.dialect != before.dialect && configured.dialect != wanted.dialect &&
        (given.empty() || given[0] != dialectOption))
        given.push_back(dialectOption);
    return given;
}

} // namespace ostrel::app
