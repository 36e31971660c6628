#include "vpcd_support.h"

#include "card/card_layout.h"
#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/security_code.h"
#include "reader/shared_state.h"
#include "reader/simulated_reader.h"
#include "reader/virtual_card_file.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ostrel::reader;
using namespace vpcd_support;
namespace fs = std::filesystem;

namespace {

// A PC/SC reader on the vpcd reader of pcscd, with the shared state over it, and card files in a
// folder of the test's own.
// Each test runs in every dialect, the reader told which.
struct OverPcsc : ::testing::TestWithParam<Dialect> {
    pcsc::PcscReader reader{kVpcdReader, GetParam()};
    SharedState state{reader};
    fs::path dir;
    std::unique_ptr<ServedCard> served;

    void SetUp() override {
        if (const std::string why = VpcdUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        dir = TestFolder("ostrel-pcsc");
        ASSERT_TRUE(ReaderEmptied());
        state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
        ASSERT_GE(state.ReaderHandle, 0);
    }
    void TearDown() override {
        // The session ends before the card goes: the vpcd reader stops noticing cards for some
        // seconds when pcscd resets a card that was pulled a moment ago.
        if (state.ReaderHandle >= 0)
            reader.Close(state.ReaderHandle);
        served.reset();
        if (dir.empty())
            return; // skipped
        EXPECT_TRUE(ReaderEmptied());
        fs::remove_all(dir);
    }

    // A copy of a demo card, so that the test may change it.
    std::shared_ptr<VirtualCard> DemoCard(const std::string& name) {
        const fs::path copy = dir / name;
        fs::copy_file(fs::path(OSTREL_DEMO_DECK_DIR) / name, copy,
                      fs::copy_options::overwrite_existing);
        std::string error;
        auto card = VirtualCard::FromFile(copy.string(), error);
        EXPECT_TRUE(card) << error;
        return card;
    }
    std::shared_ptr<VirtualCard> BlankCard(std::uint32_t code = kTransportCode) {
        auto card = std::make_shared<VirtualCard>(Sle4442Chip::Blank(0x04, code),
                                                  (dir / "blank.card").string());
        std::string error;
        EXPECT_TRUE(card->persist(error)) << error;
        return card;
    }
    // How a write the card did not take ends: memcard readers pass it on and the chip ignores
    // it silently, so only the read-back tells; the others refuse it.
    std::int32_t NotTaken() const {
        return GetParam() == Dialect::Memcard ? kErrVerifyMismatch : kErrBadCommand;
    }
    Sle4442Chip Saved(const std::shared_ptr<VirtualCard>& card) const {
        Sle4442Chip chip;
        EXPECT_TRUE(LoadCardFile(card->path(), chip).ok);
        return chip;
    }

    void Insert(std::shared_ptr<VirtualCard> card) {
        served = std::make_unique<ServedCard>(std::move(card), GetParam());
        ASSERT_TRUE(served->insert());
        ASSERT_TRUE(WaitForCard(reader, state.ReaderHandle, true));
    }
    void Remove() {
        served->remove();
        ASSERT_TRUE(WaitForCard(reader, state.ReaderHandle, false));
    }
};

TEST_P(OverPcsc, AnEmptyReaderHasNoCardAndNoSession) {
    InfoRecord info;
    ASSERT_EQ(reader.GetInfo(state.ReaderHandle, info), 0);
    EXPECT_FALSE(info.cardPresent());
    EXPECT_STREQ(info.readerName, kVpcdReader);
    SessionRecord session;
    EXPECT_EQ(reader.StartSession(state.ReaderHandle, session), kErrNoCard);
    CommandRecord command;
    command.ins = kInsReadMemory;
    command.le = 16;
    EXPECT_EQ(reader.ExchangeAPDU(state.ReaderHandle, command), kErrNoSession);
    EXPECT_EQ(reader.EndSession(state.ReaderHandle), kErrNoSession);
}

TEST_P(OverPcsc, EveryDemoCardIdentifiesAsOnTheSimulatedReader) {
    for (const auto& entry : fs::directory_iterator(OSTREL_DEMO_DECK_DIR)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        SimulatedReader simulator;
        simulator.insertCard(DemoCard(name));
        SharedState simulated(simulator);
        simulated.ReaderHandle = simulator.Open(kReaderTypeAny, kReaderPortAny);
        const int expected = IdentifyCard(simulated);
        EndCardSession(simulated);

        Insert(DemoCard(name));
        state.InfoMessage.clear();
        EXPECT_EQ(IdentifyCard(state), expected);
        EndCardSession(state);
        EXPECT_EQ(state.InfoMessage, simulated.InfoMessage);
        EXPECT_EQ(state.CardImage, simulated.CardImage);
        Remove();
    }
}

TEST_P(OverPcsc, UnlockedWritesReachTheCardFileAndReadBack) {
    auto card = BlankCard();
    Insert(card);
    ASSERT_EQ(IdentifyCard(state), kIdentifyNotOurs);
    EXPECT_EQ(state.InfoMessage, "cette carte n'est pas formatée ");
    // Identification ended the session of a card that is not ours.
    ASSERT_TRUE(StartCardSession(state));
    ASSERT_TRUE(UnlockCard(state));
    EXPECT_EQ(ReadErrorCounter(state), 7);
    for (int i = 0; i < 224; ++i)
        state.WriteImage[static_cast<std::size_t>(32 + i)] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(WriteCardMemory(state, 32, 224), 0);
    EndCardSession(state);
    const Sle4442Chip saved = Saved(card);
    EXPECT_TRUE(std::equal(saved.memory().begin() + 32, saved.memory().end(),
                           state.WriteImage.begin() + 32));
}

TEST_P(OverPcsc, WrongCodesCostAttemptsUntilTheCardIsLockedForGood) {
    auto card = BlankCard();
    Insert(card);
    ASSERT_TRUE(StartCardSession(state));
    EXPECT_EQ(PresentSecurityCode(state, 0x000001), 2);
    EXPECT_EQ(Saved(card).attemptsLeft(), 2);
    EXPECT_EQ(AttemptsLeft(ReadErrorCounter(state)), 2);
    EXPECT_EQ(PresentSecurityCode(state, 0x000001), 1);
    EXPECT_EQ(PresentSecurityCode(state, 0x000001), 0);
    EXPECT_EQ(PresentSecurityCode(state, kTransportCode), 0);
    EXPECT_EQ(Saved(card).errorCounter(), 0);
    EndCardSession(state);

    Remove();
    Insert(DemoCard("locked-for-good.card"));
    ASSERT_TRUE(StartCardSession(state));
    EXPECT_FALSE(UnlockCard(state));
    EXPECT_EQ(state.InfoMessage, kTextLockedForGood);
}

TEST_P(OverPcsc, EndingTheSessionLeavesTheCardLocked) {
    auto card = BlankCard();
    Insert(card);
    ASSERT_TRUE(StartCardSession(state));
    ASSERT_EQ(PresentSecurityCode(state, kTransportCode), 7);
    EndCardSession(state);
    ASSERT_TRUE(StartCardSession(state));
    state.WriteImage[100] = 0x42;
    EXPECT_EQ(WriteCardMemory(state, 100, 1), NotTaken());
    EXPECT_EQ(Saved(card).memory()[100], 0xFF);
}

TEST_P(OverPcsc, ProtectedBytesKeepTheirValueAndTheWriteFails) {
    auto card = BlankCard();
    card->chip().setProtectionBit(20, false);
    Insert(card);
    ASSERT_TRUE(StartCardSession(state));
    ASSERT_EQ(PresentSecurityCode(state, kTransportCode), 7);
    state.WriteImage.fill(0xFF);
    state.WriteImage[20] = 0x00;
    state.WriteImage[21] = 0x00;
    EXPECT_EQ(WriteCardMemory(state, 20, 2), NotTaken());
    EXPECT_EQ(Saved(card).memory()[21], 0x00); // the writable neighbour was written
    EXPECT_EQ(Saved(card).memory()[20], 0xFF);
}

TEST_P(OverPcsc, ACardPulledInSessionGivesNegativesUntilItIsBack) {
    Insert(DemoCard("formatted-serial-1000000.card"));
    ASSERT_TRUE(StartCardSession(state));
    served->remove();
    // Before pcscd notices, and after: always a failure, never a hang.
    CommandRecord read;
    read.ins = kInsReadMemory;
    read.le = 16;
    EXPECT_LT(reader.ExchangeAPDU(state.ReaderHandle, read), 0);
    ASSERT_TRUE(WaitForCard(reader, state.ReaderHandle, false));
    EXPECT_LT(reader.ExchangeAPDU(state.ReaderHandle, read), 0);
    EXPECT_FALSE(StartCardSession(state));
    EXPECT_EQ(IdentifyCard(state), kIdentifyNoAnswer);
    EXPECT_EQ(state.InfoMessage, kTextUnknownCard);

    ASSERT_TRUE(served->insert());
    ASSERT_TRUE(WaitForCard(reader, state.ReaderHandle, true));
    EXPECT_GE(IdentifyCard(state), 0);
    EXPECT_EQ(state.InfoMessage, "carte valide");
}

TEST_P(OverPcsc, ReadersAreChosenByNameOrByTheStartOfIt) {
    pcsc::PcscReader spare(kSpareReader);
    EXPECT_GE(spare.Open(kReaderTypeAny, kReaderPortAny), 0);
    EXPECT_EQ(spare.readerName(), kSpareReader);
    pcsc::PcscReader byStart("Virtual PCD");
    EXPECT_GE(byStart.Open(kReaderTypeAny, kReaderPortAny), 0);
    EXPECT_EQ(byStart.readerName(), kVpcdReader);
    pcsc::PcscReader first;
    EXPECT_GE(first.Open(kReaderTypeAny, kReaderPortAny), 0);
    EXPECT_FALSE(first.readerName().empty());
    pcsc::PcscReader missing("Lecteur qui n'existe pas");
    EXPECT_LT(missing.Open(kReaderTypeAny, kReaderPortAny), 0);
    EXPECT_TRUE(missing.readerName().empty());
}

TEST_P(OverPcsc, HandlesOfAClosedReaderAreRefused) {
    // The reader monitor closes handle 0 before every open: nothing happens to the open reader.
    EXPECT_LT(reader.Close(0), 0);
    InfoRecord info;
    EXPECT_EQ(reader.GetInfo(state.ReaderHandle, info), 0);

    const std::int32_t old = state.ReaderHandle;
    EXPECT_EQ(reader.Close(old), 0);
    EXPECT_LT(reader.GetInfo(old, info), 0);
    EXPECT_LT(reader.Close(old), 0);
    state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
    ASSERT_GE(state.ReaderHandle, 0);
    EXPECT_NE(state.ReaderHandle, old);
    EXPECT_LT(reader.GetInfo(old, info), 0);
    EXPECT_EQ(reader.GetInfo(state.ReaderHandle, info), 0);
}

TEST_P(OverPcsc, AnotherProgramHoldingTheCardMakesTheSessionFailNotHang) {
    Insert(DemoCard("formatted-serial-1000000.card"));
    pcsc::PcscReader other(kVpcdReader);
    SharedState otherState(other);
    otherState.ReaderHandle = other.Open(kReaderTypeAny, kReaderPortAny);
    ASSERT_TRUE(StartCardSession(otherState));
    EXPECT_FALSE(StartCardSession(state));
    EndCardSession(otherState);
    EXPECT_TRUE(StartCardSession(state));
}

INSTANTIATE_TEST_SUITE_P(Dialects, OverPcsc, kEveryDialect, DialectName);

} // namespace
