#include "security_state.h"

#include "card_session.h"
#include "security_code.h"

#include <algorithm>

namespace ostrel::reader {

namespace {

constexpr int kProtectedBytes = 32;
constexpr const char* kUnknown = "inconnu";
constexpr const char* kRangeDash = "\u2013";

std::string AttemptsText(const std::optional<int>& attempts) {
    if (!attempts)
        return std::string("essais : ") + kUnknown;
    if (*attempts == 0)
        return "aucun essai";
    return std::to_string(*attempts) + (*attempts == 1 ? " essai" : " essais");
}

bool Protected(const std::array<std::uint8_t, 4>& bits, int address) {
    return (bits[static_cast<std::size_t>(address / 8)] >> (address % 8) & 1) == 0;
}

// "0–3, 25": the protected bytes as runs.
std::string ProtectedText(const std::optional<std::array<std::uint8_t, 4>>& bits) {
    if (!bits)
        return kUnknown;
    std::string text;
    for (int first = 0; first < kProtectedBytes; ++first) {
        if (!Protected(*bits, first))
            continue;
        int last = first;
        while (last + 1 < kProtectedBytes && Protected(*bits, last + 1))
            ++last;
        text += (text.empty() ? "" : ", ") + std::to_string(first);
        if (last > first)
            text += kRangeDash + std::to_string(last);
        first = last;
    }
    return text.empty() ? "aucun" : text;
}

} // namespace

SecurityState ReadSecurityState(SharedState& state) {
    SecurityState security;
    if (!StartCardSession(state)) {
        EndCardSession(state);
        return security;
    }
    CommandRecord counter;
    counter.ins = kInsReadErrorCounter;
    counter.p1 = kCounterFromCard;
    counter.le = 4;
    if (state.Reader.ExchangeAPDU(state.ReaderHandle, counter) >= 0)
        security.attemptsLeft = AttemptsLeft(counter.dataOut[0]);
    CommandRecord protection;
    protection.ins = kInsReadProtectionBits;
    protection.le = 4;
    if (state.Reader.ExchangeAPDU(state.ReaderHandle, protection) >= 0) {
        security.protectionBits.emplace();
        std::copy_n(protection.dataOut, 4, security.protectionBits->begin());
    }
    EndCardSession(state);
    return security;
}

std::string SecurityStateText(const SecurityState& security) {
    return AttemptsText(security.attemptsLeft) +
           " ; octets protégés : " + ProtectedText(security.protectionBits);
}

} // namespace ostrel::reader
