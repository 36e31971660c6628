#pragma once

#include "command.h"

namespace ostrel::cli {

// "vpcd-card FILE [--port N]": serves a virtual card file to the vpcd virtual reader of pcscd
// until interrupted.
class VpcdCardCommand : public Command {
public:
    std::string name() const override { return "vpcd-card"; }
    std::string description() const override {
        return "met une carte virtuelle dans le lecteur virtuel vpcd de pcscd";
    }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                CommandIo& io) override;
};

} // namespace ostrel::cli
