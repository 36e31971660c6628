#include "virtual_card.h"

namespace ostrel::reader {

std::shared_ptr<VirtualCard> VirtualCard::FromFile(const std::string& path, std::string& error) {
    Sle4442Chip chip;
    std::string text;
    const CardFileResult loaded = LoadCardFile(path, chip, text);
    if (!loaded.ok) {
        error = loaded.error;
        return nullptr;
    }
    return std::make_shared<VirtualCard>(std::move(chip), path, std::move(text));
}

bool VirtualCard::persist(std::string& error) {
    if (path_.empty()) {
        return true;
    }
    const std::string text = text_.empty() ? FormatCardText(chip_) : UpdateCardText(text_, chip_);
    const CardFileResult saved = WriteCardText(path_, text);
    if (!saved.ok) {
        error = saved.error;
        return false;
    }
    text_ = text;
    return true;
}

} // namespace ostrel::reader
