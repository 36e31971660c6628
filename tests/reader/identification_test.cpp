#include "reader/identification.h"
#include "test_cards.h"

#include "reader/card_session.h"
#include "reader/security_code.h"
#include "reader/simulated_reader.h"

#include <gtest/gtest.h>

using namespace ostrel::reader;

namespace {

struct IdentifyFixture : ::testing::Test {
    SimulatedReader reader;
    SharedState state{reader};
    void SetUp() override { state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny); }
};

} // namespace

TEST_F(IdentifyFixture, ValidCardGivesItsTypeAndKeepsTheSession) {
    reader.insertCard(FormattedCard(7));
    EXPECT_EQ(IdentifyCard(state), 7);
    EXPECT_EQ(state.InfoMessage, "carte valide");
    EXPECT_EQ(state.CardImage[15], 0x42);
    // The session is still open: the caller ends it.
    EXPECT_EQ(reader.EndSession(state.ReaderHandle), 0);
}

TEST_F(IdentifyFixture, BlankAndForeignCardsAreReadButNotOurs) {
    reader.insertCard(BlankCard());
    EXPECT_EQ(IdentifyCard(state), kIdentifyNotOurs);
    EXPECT_EQ(state.InfoMessage, "cette carte n'est pas formatée ");
    EXPECT_EQ(state.CardImage[0], 0xA2);
    EXPECT_EQ(state.CardImage[25], 0x04);

    reader.insertCard(FormattedCard(7, 9));
    EXPECT_EQ(IdentifyCard(state), kIdentifyNotOurs);
    EXPECT_EQ(state.InfoMessage, "cette carte n'est pas une application QEL ");
}

TEST_F(IdentifyFixture, NonSle4442CardLeavesImageAllFF) {
    auto card = FormattedCard();
    card->chip().memory()[0] = 0x3B;
    reader.insertCard(card);
    state.CardImage.fill(0x00);
    EXPECT_EQ(IdentifyCard(state), kIdentifyNoAnswer);
    EXPECT_EQ(state.InfoMessage, "Carte inconnue. Erreur de lecture.");
    EXPECT_EQ(state.CardImage, ostrel::card::FilledMemory(0xFF));

    reader.removeCard();
    EXPECT_EQ(IdentifyCard(state), kIdentifyNoAnswer);
}

TEST_F(IdentifyFixture, ReadFailingPartWayIsReported) {
    reader.insertCard(FormattedCard());
    reader.planFault(3, FaultKind::Fail); // session start, block 0, then block 1 fails
    std::int32_t read = 0;
    IdentifyCard(state, &read);
    EXPECT_LT(read, 0);
    EXPECT_EQ(state.CardImage[16], 0xFF);
}

TEST_F(IdentifyFixture, UnlockUsesTheSupplierFactoryCode) {
    for (std::uint8_t supplier : {0x04, 0x35, 0x46}) {
        reader.insertCard(BlankCard(supplier, FactoryCode(supplier)));
        ASSERT_EQ(IdentifyCard(state), kIdentifyNotOurs);
        ASSERT_TRUE(StartCardSession(state));
        EXPECT_TRUE(UnlockCard(state)) << int(supplier);
        EXPECT_EQ(reader.card()->chip().errorCounter(), 7);
    }
    reader.insertCard(BlankCard(0x04, 0x123456));
    IdentifyCard(state);
    ASSERT_TRUE(StartCardSession(state));
    EXPECT_FALSE(UnlockCard(state));
    EXPECT_EQ(state.InfoMessage,
              "Carte vérouillée. Nombre de tentative restante = 2, Retirez la carte");
    reader.card()->chip().setErrorCounter(0);
    ASSERT_TRUE(StartCardSession(state));
    EXPECT_FALSE(UnlockCard(state));
    EXPECT_EQ(state.InfoMessage, "Carte définitivement vérouillée, HS !");
}
