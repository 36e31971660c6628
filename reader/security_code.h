#pragma once

#include "shared_state.h"

#include <cstdint>
#include <string>

namespace ostrel::reader {

// Presents the low 24 bits of code, least significant byte first. Negative: reader error;
// above 6: accepted; 1 or 2: attempts left; 0: no attempt left.
std::int32_t PresentSecurityCode(SharedState& state, std::uint32_t code);

// What a presentation's result means: the one reading of PresentSecurityCode's convention.
struct CodeResult {
    enum class Kind {
        Accepted,     // above 6
        AttemptsLeft, // 1..6: refused, value attempts remain
        Locked,       // 0, or the reader's kErrCardLocked: no attempt remains
        ReaderError,  // any other negative value, kept in value
    };
    Kind kind = Kind::ReaderError;
    std::int32_t value = 0;

    static CodeResult FromPresentation(std::int32_t result);
    bool accepted() const { return kind == Kind::Accepted; }
    // What the windows show for a refusal.
    std::string refusalText() const;
};

// PresentSecurityCode, read as a CodeResult.
CodeResult PresentCode(SharedState& state, std::uint32_t code);

// The chip's error counter as read, without presenting anything (0..7), or a negative error.
std::int32_t ReadErrorCounter(SharedState& state);

// Attempts left for an error counter value: its number of set bits.
int AttemptsLeft(std::int32_t counter);

// The factory code of a blank card, selected by its supplier byte; 0 for an unknown supplier.
std::uint32_t FactoryCode(std::uint8_t supplierByte);
inline constexpr std::uint32_t kTransportCode = 0x5E2B71;

// The card's own code. The system never changes a card's code, so a formatted card still has
// the factory code its supplier byte selects.
std::uint32_t CardSecurityCode(const SharedState& state);

// Presents CardSecurityCode(). On refusal ends the session, leaves the reason in InfoMessage
// and returns false.
bool UnlockCard(SharedState& state);

// The failure text for a refused presentation result: CodeResult's refusalText.
std::string UnlockFailureText(std::int32_t result);

inline constexpr const char* kTextLockedForGood = "Carte définitivement vérouillée, HS !";

} // namespace ostrel::reader
