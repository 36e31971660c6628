#include "dialect_apdu_tables.h"
#include "vpcd_support.h"

#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/security_code.h"
#include "reader/virtual_card_file.h"

#include <PCSC/winscard.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace ostrel::reader;
using namespace vpcd_support;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct DialectOverPcsc : ::testing::TestWithParam<Emulation> {
    void SetUp() override {
        if (const std::string why = VpcdUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(ReaderEmptied());
    }
    const apdu_tables::DialectRows& rows() const {
        for (const auto& table : apdu_tables::Tables()) {
            if (table.dialect == GetParam().dialect && table.variant == GetParam().variant)
                return table;
        }
        throw std::logic_error("no table");
    }
};

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The served card answers the literal APDUs of its dialect's (or variant's) table, sent by plain
// pcsc-lite calls: the emulator is held against the readers' documented replies, not against
// our client.
TEST_P(DialectOverPcsc, TheServedCardAnswersTheLiteralApdusOfItsDialect) {
    ServedCard served(std::make_shared<VirtualCard>(apdu_tables::TableCard()), GetParam());
    ASSERT_TRUE(served.insert());
    SCARDCONTEXT context = 0;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context),
              SCARD_S_SUCCESS);
    SCARD_READERSTATE state{};
    state.szReader = kVpcdReader;
    state.dwCurrentState = SCARD_STATE_EMPTY;
    ASSERT_EQ(SCardGetStatusChange(context, 10000, &state, 1), SCARD_S_SUCCESS);
    ASSERT_TRUE(state.dwEventState & SCARD_STATE_PRESENT);
    EXPECT_EQ(Bytes(state.rgbAtr, state.rgbAtr + state.cbAtr),
              (Bytes{0x3B, 0x04, 0xA2, 0x13, 0x10, 0x91}));

    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    ASSERT_EQ(SCardConnect(context, kVpcdReader, SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol),
              SCARD_S_SUCCESS);
    const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
    for (const auto& row : rows().rows) {
        std::uint8_t reply[300];
        DWORD length = sizeof reply;
        ASSERT_EQ(SCardTransmit(card, pci, row.command.data(),
                                static_cast<DWORD>(row.command.size()), nullptr, reply, &length),
                  SCARD_S_SUCCESS)
            << row.what;
        EXPECT_EQ(Bytes(reply, reply + length), row.reply) << row.what;
    }
    SCardDisconnect(card, SCARD_RESET_CARD);
    SCardReleaseContext(context);
}

// Auto finds the dialect of the reader the card is served in, in every shape of its replies,
// without presenting a code or writing: the card file, its counter at two attempts with it, is
// the same byte for byte; the session it opened is a normal one, where the card's code unlocks
// writing.
TEST_P(DialectOverPcsc, AutoFindsTheDialectWithoutPresentingOrWriting) {
    const fs::path dir = TestFolder("ostrel-dialect");
    const fs::path file = dir / "two-attempts.card";
    fs::copy_file(fs::path(OSTREL_DEMO_DECK_DIR) / "formatted-serial-1000000.card", file);
    std::string error;
    auto card = VirtualCard::FromFile(file.string(), error);
    ASSERT_TRUE(card) << error;
    card->chip().setErrorCounter(0x03); // a presentation would cost one of the last two
    ASSERT_TRUE(card->persist(error)) << error;
    const std::string before = FileText(file);

    pcsc::PcscReader reader(kVpcdReader);
    SharedState state(reader);
    state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
    ASSERT_GE(state.ReaderHandle, 0);
    EXPECT_EQ(reader.dialect(), std::nullopt);
    {
        ServedCard served(card, GetParam());
        ASSERT_TRUE(served.insert());
        ASSERT_TRUE(WaitForCard(reader, state.ReaderHandle, true));
        EXPECT_GE(IdentifyCard(state), 0);
        EXPECT_EQ(state.InfoMessage, "carte valide");
        EXPECT_EQ(reader.dialect(), GetParam().dialect);
        EXPECT_EQ(reader.dialectProblem(), "");
        EXPECT_EQ(FileText(file), before);
        EXPECT_FALSE(card->chip().unlocked());

        ASSERT_EQ(PresentSecurityCode(state, CardSecurityCode(state)), 7);
        state.WriteImage[200] = 0x5A;
        EXPECT_EQ(WriteCardMemory(state, 200, 1), 0);
        EndCardSession(state);
        // Known from now on: the next session starts without probing.
        EXPECT_TRUE(StartCardSession(state));
        EXPECT_EQ(reader.dialect(), GetParam().dialect);
        EndCardSession(state);
    }
    reader.Close(state.ReaderHandle);
    EXPECT_TRUE(ReaderEmptied());
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Emulations, DialectOverPcsc, kEveryEmulation, EmulationName);

} // namespace
