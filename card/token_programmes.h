#pragma once

#include <array>
#include <optional>

namespace ostrel::card {

// The credits each token programme writes: programmes 1 to 5. Any other programme writes the
// credits typed.
inline constexpr std::array<int, 5> kProgrammeCredits = {3, 5, 7, 8, 10};

inline std::optional<int> ProgrammeCredits(int programme) {
    if (programme < 1 || programme > static_cast<int>(kProgrammeCredits.size()))
        return std::nullopt;
    return kProgrammeCredits[static_cast<std::size_t>(programme - 1)];
}

// The programme whose credits these are; nothing for a number no programme writes.
inline std::optional<int> ProgrammeOfCredits(int credits) {
    for (std::size_t i = 0; i < kProgrammeCredits.size(); ++i) {
        if (kProgrammeCredits[i] == credits)
            return static_cast<int>(i) + 1;
    }
    return std::nullopt;
}

} // namespace ostrel::card
