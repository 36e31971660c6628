#pragma once

#include "sle4442_chip.h"
#include "virtual_card_file.h"

#include <memory>
#include <optional>
#include <string>

namespace ostrel::reader {

// A card that can be put into a simulated reader: a chip, optionally backed by a card file that
// is saved after every exchange that changed the card.
class VirtualCard {
public:
    // text: the content of the card file at path as it was read, so that saves keep its
    // comments and layout; empty for a card without a file or a file still to be written.
    explicit VirtualCard(Sle4442Chip chip, std::string path = {}, std::string text = {})
        : chip_(std::move(chip)), path_(std::move(path)), text_(std::move(text)) {}

    static std::shared_ptr<VirtualCard> FromFile(const std::string& path, std::string& error);

    Sle4442Chip& chip() { return chip_; }
    const Sle4442Chip& chip() const { return chip_; }
    const std::string& path() const { return path_; }

    // Saves the card to its file, if it has one, rewriting only the lines that changed. The
    // error says why a save failed.
    bool persist(std::string& error);

private:
    Sle4442Chip chip_;
    std::string path_;
    std::string text_; // the file's content as last read or written
};

} // namespace ostrel::reader
