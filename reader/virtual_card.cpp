#include "virtual_card.h"

namespace ostrel::reader {

std::shared_ptr<VirtualCard> VirtualCard::FromFile(const std::string& path, std::string& error) {
    Sle4442Chip chip;
    const CardFileResult loaded = LoadCardFile(path, chip);
    if (!loaded.ok) {
        error = loaded.error;
        return nullptr;
    }
    return std::make_shared<VirtualCard>(std::move(chip), path);
}

bool VirtualCard::persist(std::string& error) const {
    if (path_.empty()) {
        return true;
    }
    const CardFileResult saved = SaveCardFile(path_, chip_);
    if (!saved.ok) {
        error = saved.error;
    }
    return saved.ok;
}

} // namespace ostrel::reader
