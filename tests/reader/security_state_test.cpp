#include "reader/card_session.h"
#include "reader/security_state.h"
#include "reader/simulated_reader.h"
#include "test_cards.h"

#include <gtest/gtest.h>

using namespace ostrel::reader;

namespace {

// A reader whose command set reads neither the error counter nor the protection bits.
class ReaderWithoutSecurityCommands : public SimulatedReader {
public:
    std::int32_t ExchangeAPDU(std::int32_t handle, CommandRecord& command) override {
        if (command.ins == kInsReadProtectionBits ||
            (command.ins == kInsReadErrorCounter && command.p1 == kCounterFromCard))
            return kErrNotSupported;
        return SimulatedReader::ExchangeAPDU(handle, command);
    }
};

TEST(SecurityState, WhatTheReaderCannotReadIsUnknownAndNoSessionIsLeftOpen) {
    ReaderWithoutSecurityCommands reader;
    SharedState state(reader);
    state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
    reader.insertCard(FormattedCard());
    const SecurityState security = ReadSecurityState(state);
    EXPECT_EQ(SecurityStateText(security), "essais : inconnu ; octets protégés : inconnu");
    EXPECT_EQ(reader.EndSession(state.ReaderHandle), kErrNoSession);
    reader.removeCard();
    EXPECT_EQ(SecurityStateText(ReadSecurityState(state)),
              "essais : inconnu ; octets protégés : inconnu");
}

} // namespace
