#pragma once

#include "command.h"
#include "reader/reader_factory.h"
#include "reader/shared_state.h"

#include <memory>

namespace ostrel::cli {

// The reader of a command, opened as the reader monitor opens it, with the shared state on it.
class CliReader {
public:
    // Creates and opens the reader of options. False after telling io.err why.
    bool open(const GlobalOptions& options, CommandIo& io);

    // False after telling io.err that the reader holds no card.
    bool requireCard(CommandIo& io);

    reader::SharedState& state() { return *state_; }
    reader::ChosenReader& chosen() { return chosen_; }

    // Tells io.err why the simulated card's file could not be saved, if it could not, and why
    // a PC/SC reader could not tell its command set: the workflows only see error numbers.
    // A trace that lost lines is told too, and marked in io (the run then fails).
    ~CliReader();

private:
    CommandIo* io_ = nullptr;
    reader::ChosenReader chosen_;
    std::unique_ptr<reader::SharedState> state_;
};

} // namespace ostrel::cli
