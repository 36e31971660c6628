#include "security_code.h"

#include "base/secret.h"
#include "card/card_layout.h"
#include "card_session.h"
#include "sle4442_chip.h"

#include <bit>

namespace ostrel::reader {

std::int32_t PresentSecurityCode(SharedState& state, std::uint32_t code) {
    CommandRecord command;
    command.ins = kInsPresentCode;
    command.lc = 3;
    command.le = 4;
    auto bytes = CodeBytes(code);
    std::copy(bytes.begin(), bytes.end(), command.dataIn);
    const std::int32_t r = state.Reader.ExchangeAPDU(state.ReaderHandle, command);
    base::ClearSecret(bytes.data(), bytes.size());
    base::ClearSecret(command.dataIn, sizeof command.dataIn);
    if (r < 0)
        return r;
    switch (command.dataOut[0]) {
    case 6:
    case 5:
    case 3:
        return 2;
    case 4:
    case 2:
    case 1:
        return 1;
    default:
        return command.dataOut[0];
    }
}

std::int32_t ReadErrorCounter(SharedState& state) {
    CommandRecord command;
    command.ins = kInsReadErrorCounter;
    command.le = 4;
    const std::int32_t r = state.Reader.ExchangeAPDU(state.ReaderHandle, command);
    if (r < 0)
        return r;
    return command.dataOut[0] & 0x07;
}

int AttemptsLeft(std::int32_t counter) {
    return std::popcount(static_cast<unsigned>(counter & 0x07));
}

std::uint32_t FactoryCode(std::uint8_t supplierByte) {
    switch (supplierByte) {
    case 0x04:
        return 0x5E2B71;
    case 0x35:
        return 0x93C4E7;
    case 0x46:
        return 0x2F6AD8;
    default:
        return 0;
    }
}

std::uint32_t CardSecurityCode(const SharedState& state) {
    return FactoryCode(state.CardImage[card::layout::kSupplierByte]);
}

CodeResult CodeResult::FromPresentation(std::int32_t result) {
    if (result > 6)
        return {Kind::Accepted, result};
    if (result == kErrCardLocked || result == 0)
        return {Kind::Locked, 0};
    if (result < 0)
        return {Kind::ReaderError, result};
    return {Kind::AttemptsLeft, result};
}

std::string CodeResult::refusalText() const {
    switch (kind) {
    case Kind::Locked:
        return kTextLockedForGood;
    case Kind::ReaderError:
        return "Erreur Unlock SLE4442:" + std::to_string(value);
    case Kind::AttemptsLeft:
    case Kind::Accepted:
        break;
    }
    return "Carte vérouillée. Nombre de tentative restante = " + std::to_string(value) +
           ", Retirez la carte";
}

CodeResult PresentCode(SharedState& state, std::uint32_t code) {
    return CodeResult::FromPresentation(PresentSecurityCode(state, code));
}

std::string UnlockFailureText(std::int32_t result) {
    return CodeResult::FromPresentation(result).refusalText();
}

bool UnlockCard(SharedState& state) {
    const CodeResult result = PresentCode(state, CardSecurityCode(state));
    if (result.accepted())
        return true;
    EndCardSession(state);
    state.InfoMessage = result.refusalText();
    return false;
}

} // namespace ostrel::reader
