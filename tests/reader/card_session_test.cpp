#include "reader/card_session.h"
#include "recording_reader.h"
#include "test_cards.h"

#include "reader/security_code.h"

#include <gtest/gtest.h>

using namespace ostrel::reader;

namespace {

struct SessionFixture : ::testing::Test {
    RecordingReader reader;
    SharedState state{reader};

    void SetUp() override {
        reader.insertCard(BlankCard());
        state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
        ASSERT_TRUE(StartCardSession(state));
    }
    void unlock() { ASSERT_GT(PresentSecurityCode(state, 0x5E2B71), 6); }
    ostrel::card::CardMemory& chipMemory() { return reader.card()->chip().memory(); }
};

} // namespace

TEST_F(SessionFixture, WriteChunksOfAtMost32Bytes) {
    unlock();
    for (std::size_t i = 0; i < state.WriteImage.size(); ++i)
        state.WriteImage[i] = static_cast<std::uint8_t>(i);

    reader.sent.clear();
    EXPECT_EQ(WriteCardMemory(state, 32, 224), 0);
    ASSERT_EQ(reader.count(kInsWriteMemory), 7);
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(reader.sent[static_cast<std::size_t>(k)].p2, 32 + 32 * k);
        EXPECT_EQ(reader.sent[static_cast<std::size_t>(k)].lc, 32);
    }
    reader.sent.clear();
    EXPECT_EQ(WriteCardMemory(state, 13, 9), 0);
    ASSERT_EQ(reader.count(kInsWriteMemory), 1);
    EXPECT_EQ(reader.sent[0].p2, 13);
    EXPECT_EQ(reader.sent[0].lc, 9);
    reader.sent.clear();
    EXPECT_EQ(WriteCardMemory(state, 40, 0), 0);
    EXPECT_TRUE(reader.sent.empty());
    EXPECT_EQ(chipMemory()[255], 255);
}

TEST_F(SessionFixture, WriteReportsWhatTheCardDidNotTake) {
    state.WriteImage.fill(0x33);
    // Not unlocked: the chip ignores the write without an error, the read-back tells.
    EXPECT_EQ(WriteCardMemory(state, 40, 4), kErrVerifyMismatch);
    unlock();
    reader.card()->chip().setProtectionBit(7, false);
    EXPECT_EQ(WriteCardMemory(state, 7, 1), kErrVerifyMismatch);
    EXPECT_EQ(WriteCardMemory(state, 40, 4), 0);
    EXPECT_EQ(WriteCardMemory(state, 250, 7), kErrBadCommand);
}

TEST_F(SessionFixture, WriteStopsAtTheFirstFailingChunk) {
    unlock();
    state.WriteImage.fill(0x44);
    reader.resetExchangeCount();
    reader.sent.clear();
    reader.planFault(2, FaultKind::Fail);
    EXPECT_LT(WriteCardMemory(state, 32, 224), 0);
    EXPECT_EQ(reader.count(kInsWriteMemory), 2);
    EXPECT_EQ(chipMemory()[32], 0x44);
    EXPECT_EQ(chipMemory()[64], 0xFF);
}

TEST_F(SessionFixture, ReadStopsAtTheFirstFailureLeavingFF) {
    chipMemory().fill(0x5A);
    chipMemory()[0] = 0xA2;
    state.CardImage.fill(0xFF);
    reader.resetExchangeCount();
    reader.planFault(4, FaultKind::Fail);
    EXPECT_LT(ReadCardMemory(state), 0);
    EXPECT_EQ(state.CardImage[47], 0x5A);
    EXPECT_EQ(state.CardImage[48], 0xFF);
    EXPECT_EQ(state.CardImage[255], 0xFF);
    EXPECT_EQ(reader.count(kInsReadMemory), 4);
}

TEST_F(SessionFixture, SessionEndTakesTheUnlockAway) {
    unlock();
    EndCardSession(state);
    ASSERT_TRUE(StartCardSession(state));
    state.WriteImage.fill(0x12);
    EXPECT_EQ(WriteCardMemory(state, 64, 2), kErrVerifyMismatch);
}

TEST(CardSession, OnlyTheSle4442HeaderIsAccepted) {
    SimulatedReader reader;
    SharedState state{reader};
    state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
    EXPECT_FALSE(StartCardSession(state)); // no card
    auto card = BlankCard();
    card->chip().memory()[3] = 0x92;
    reader.insertCard(card);
    EXPECT_FALSE(StartCardSession(state));
    card->chip().memory()[3] = 0x91;
    EXPECT_TRUE(StartCardSession(state));
    card->chip().memory()[0] = 0x02; // "2-13-10-91": no zero padding, still refused
    EXPECT_FALSE(StartCardSession(state));
}

TEST(SecurityCode, CounterMappingAndByteOrder) {
    RecordingReader reader;
    SharedState state{reader};
    reader.insertCard(BlankCard(0x04, 0x5E2B71));
    state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
    ASSERT_TRUE(StartCardSession(state));
    auto& chip = reader.card()->chip();

    chip.setErrorCounter(3);
    EXPECT_EQ(PresentSecurityCode(state, 0x5E2B71), 7);
    const auto& sent = reader.sent.back();
    EXPECT_EQ(sent.ins, kInsPresentCode);
    EXPECT_EQ(sent.lc, 3);
    EXPECT_EQ(sent.dataIn[0], 0x71);
    EXPECT_EQ(sent.dataIn[2], 0x5E);

    chip.setErrorCounter(5);
    EXPECT_EQ(ReadErrorCounter(state), 5);
    EXPECT_EQ(AttemptsLeft(5), 2);
    EXPECT_EQ(chip.errorCounter(), 5); // reading costs nothing
}

namespace {
// Answers every code presentation with a fixed error-counter byte.
struct FixedCounterReader : SimulatedReader {
    std::uint8_t reply = 0;
    std::int32_t ExchangeAPDU(std::int32_t, CommandRecord& command) override {
        command.dataOut[0] = reply;
        return 0;
    }
};
} // namespace

TEST(SecurityCode, ErrorCounterByteMapsToAttemptsLeft) {
    FixedCounterReader reader;
    SharedState state{reader};
    const std::pair<std::uint8_t, std::int32_t> cases[] = {
        {7, 7}, {6, 2}, {5, 2}, {3, 2}, {4, 1}, {2, 1}, {1, 1}, {0, 0}, {0x17, 0x17}};
    for (const auto& [counter, result] : cases) {
        reader.reply = counter;
        EXPECT_EQ(PresentSecurityCode(state, 0), result) << int(counter);
    }
}

TEST(SecurityCode, FactoryCodesAndFailureTexts) {
    EXPECT_EQ(FactoryCode(0x04), 0x5E2B71u);
    EXPECT_EQ(FactoryCode(0x35), 0x93C4E7u);
    EXPECT_EQ(FactoryCode(0x46), 0x2F6AD8u);
    EXPECT_EQ(FactoryCode(0x05), 0u);
    EXPECT_EQ(UnlockFailureText(0), "Carte définitivement vérouillée, HS !");
    EXPECT_EQ(UnlockFailureText(-1013), "Carte définitivement vérouillée, HS !");
    EXPECT_EQ(UnlockFailureText(-104), "Erreur Unlock SLE4442:-104");
    EXPECT_EQ(UnlockFailureText(2),
              "Carte vérouillée. Nombre de tentative restante = 2, Retirez la carte");
}
