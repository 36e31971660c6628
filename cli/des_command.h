#pragma once

#include "command.h"

namespace ostrel::cli {

// ostrel-card des: files and texts enciphered with the DES class.
//   des encrypt IN OUT [--key K | --key-file F] [--overwrite]
//   des decrypt IN OUT [--key K | --key-file F] [--overwrite]
//   des encrypt-text TEXT [--key K | --key-file F] [--hex]
//   des decrypt-text TEXT [--key K | --key-file F] [--hex]
// Texts typed by the user are UTF-8 and become Windows-1252 bytes for the cipher.
class DesCommand : public Command {
public:
    DesCommand();

private:
    // "Erreur : message (voir ostrel-card des --help)".
    std::string refusal(const std::string& message) const override;
    int run(const GlobalOptions& options, const base::ParsedLine& line, CommandIo& io) override;
};

} // namespace ostrel::cli
