#pragma once

#include "app_options.h"
#include "base/waiting.h"
#include "reader/reader_choice.h"
#include "reader/reader_status.h"
#include "reader/switchable_reader.h"

#include <string>
#include <vector>

namespace ostrel::app {

// The reader of the run: --reader, else the PC/SC reader "[Lecteur] Nom" names, else the
// default one; its command set --dialect, else "[Lecteur] Jeu" for a PC/SC reader.
// options.reader is the command line's choice. False with a French reason.
bool ChooseRunReader(const AppOptions& options, reader::ReaderChoice& choice, std::string& error);

// What "Enregistrer" did to the running program.
struct SettingsApplied {
    std::string message; // what serves from now on, what waits, for the settings window
    bool readerReplaced = false;
    std::string problem; // what was chosen and does not serve, and why; empty when all does
};

// What "Enregistrer" changes in the running program, read back from the configuration: the
// waiting limit at once; the reader where no card workflow window is open. The journal and the
// station's name are the caller's to apply: the message names them.
class LiveSettings {
public:
    // inUse and status: the reader opened at start, status null for the simulated one.
    LiveSettings(const AppOptions& options, reader::ReaderChoice inUse,
                 const reader::ReaderStatusSource* status, reader::SwitchableReader& reader,
                 base::Waiting& waiting);

    // workflowOpen: a card workflow window is open; only the waiting limit is applied, the
    // message says that the rest waits for the window to close (the caller applies it then).
    SettingsApplied Apply(bool workflowOpen);

    const reader::ReaderChoice& inUse() const { return inUse_; }
    const reader::ReaderStatusSource* status() const { return status_; }

private:
    void applyReader(SettingsApplied& applied, std::vector<std::string>& now,
                     std::vector<std::string>& notes);
    void applyWait(SettingsApplied& applied, std::vector<std::string>& now,
                   std::vector<std::string>& notes);
    // The options given at start that override what the configuration now chooses, when the
    // configuration's choice changed: "--reader", "--dialect".
    std::vector<std::string> overriding(const reader::ReaderChoice& wanted);

    const AppOptions& options_;
    reader::ReaderChoice inUse_;
    const reader::ReaderStatusSource* status_;
    reader::SwitchableReader& reader_;
    base::Waiting& waiting_;
    reader::ReaderChoice configured_; // what the configuration alone chose when last read
};

} // namespace ostrel::app
