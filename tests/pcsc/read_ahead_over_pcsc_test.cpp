#include "vpcd_support.h"

#include "reader/card_session.h"
#include "reader/security_code.h"
#include "reader/virtual_card_file.h"

#include <gtest/gtest.h>

using namespace ostrel::reader;
using namespace vpcd_support;

namespace {

// Counts the APDUs that cross PC/SC (a driver control is none).
struct ApduCounter : WireObserver {
    void crossed(const Crossing& crossing) override {
        if (crossing.wire == Wire::Pcsc && crossing.operation.empty())
            ++apdus;
    }
    int apdus = 0;
};

struct ReadAheadOverPcsc : ::testing::TestWithParam<Emulation> {
    void SetUp() override {
        if (const std::string why = VpcdUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(ReaderEmptied());
    }
    // The APDUs of one whole read: one, or 64 bytes each on a capped reader, where a storage
    // reader first asks for that length until its size is known.
    int readApdus(bool sizeKnown) const {
        if (GetParam().variant != Variant::Capped)
            return 1;
        return GetParam().dialect == Dialect::Storage && !sizeKnown ? 5 : 4;
    }
};

// The 16 reads of a session cost the APDUs of one whole read and give the card as it is; a card
// changed by another program between two sessions is read afresh.
TEST_P(ReadAheadOverPcsc, TheCardIsReadWholeOncePerSession) {
    auto card = std::make_shared<VirtualCard>(Sle4442Chip::Blank(0x04, kTransportCode));
    for (std::size_t i = 64; i < card->chip().memory().size(); ++i)
        card->chip().memory()[i] = static_cast<std::uint8_t>(i * 13);
    ServedCard served(card, GetParam());
    ASSERT_TRUE(served.insert());

    pcsc::PcscReader reader(kVpcdReader);
    ApduCounter counter;
    reader.setWireObserver(&counter);
    SharedState state(reader);
    state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
    ASSERT_TRUE(WaitForCard(reader, state.ReaderHandle, true));
    for (int session = 0; session < 2; ++session) {
        SCOPED_TRACE(session);
        ASSERT_TRUE(StartCardSession(state));
        counter.apdus = 0;
        ASSERT_EQ(ReadCardMemory(state), 0);
        EXPECT_EQ(counter.apdus, readApdus(session > 0));
        EXPECT_EQ(state.CardImage, card->chip().memory());
        EndCardSession(state);

        pcsc::PcscReader other(kVpcdReader);
        SharedState writer(other);
        writer.ReaderHandle = other.Open(kReaderTypeAny, kReaderPortAny);
        ASSERT_TRUE(StartCardSession(writer));
        ASSERT_EQ(PresentSecurityCode(writer, kTransportCode), 7);
        for (int i = 0; i < 40; ++i)
            writer.WriteImage[0x90 + i] = static_cast<std::uint8_t>(session * 40 + i);
        EXPECT_EQ(WriteCardMemory(writer, 0x90, 40), 0);
        EndCardSession(writer);
        other.Close(writer.ReaderHandle);
    }
    reader.Close(state.ReaderHandle);
    served.remove();
    EXPECT_TRUE(ReaderEmptied());
}

INSTANTIATE_TEST_SUITE_P(Emulations, ReadAheadOverPcsc, kEveryEmulation, EmulationName);

} // namespace
