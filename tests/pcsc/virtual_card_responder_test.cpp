#include "dialect_apdu_tables.h"
#include "reader/pcsc/dialect_commands.h"
#include "reader/virtual_card_file.h"
#include "reader/vpcd/virtual_card_responder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ostrel::reader;
using vpcd::VirtualCardResponder;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kCode = 0x5E2B71;
const Bytes kPresentRight{0xFF, 0x20, 0x00, 0x00, 0x03, 0x71, 0x2B, 0x5E};
const Bytes kPresentWrong{0xFF, 0x20, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00};
const Bytes kOk{0x90, 0x00};

struct Responder : ::testing::Test {
    std::filesystem::path file = std::filesystem::temp_directory_path() /
                                 ("ostrel-responder-" + std::to_string(::getpid()) + ".card");
    std::shared_ptr<VirtualCard> card;
    std::unique_ptr<VirtualCardResponder> responder;

    void SetUp() override {
        card = std::make_shared<VirtualCard>(Sle4442Chip::Blank(0x04, kCode), file.string());
        responder = std::make_unique<VirtualCardResponder>(card);
    }
    void TearDown() override { std::filesystem::remove(file); }

    Bytes respond(const Bytes& apdu) { return responder->respond(apdu); }
    Sle4442Chip saved() const {
        Sle4442Chip chip;
        EXPECT_TRUE(LoadCardFile(file.string(), chip).ok);
        return chip;
    }
};

TEST_F(Responder, AnswerToResetIsThePrefixAndTheCardsFirstFourBytes) {
    EXPECT_EQ(responder->answerToReset(), (Bytes{0x3B, 0x04, 0xA2, 0x13, 0x10, 0x91}));
    card->chip().memory()[0] = 0x3B;
    card->chip().memory()[1] = 0x02;
    EXPECT_EQ(responder->answerToReset(), (Bytes{0x3B, 0x04, 0x3B, 0x02, 0x10, 0x91}));
}

TEST_F(Responder, ReadsMemoryIncludingAll256Bytes) {
    Bytes expected(card->chip().memory().begin() + 0x10, card->chip().memory().begin() + 0x20);
    expected.insert(expected.end(), kOk.begin(), kOk.end());
    EXPECT_EQ(respond({0xFF, 0xB0, 0x00, 0x10, 0x10}), expected);
    EXPECT_EQ(respond({0xFF, 0xB0, 0x00, 0x00, 0x00}).size(), 258u);
    EXPECT_EQ(respond({0xFF, 0xB0, 0x00, 0xF8, 0x10}), (Bytes{0x6B, 0x00}));
}

TEST_F(Responder, WritingNeedsTheCodeAndIsSavedAtOnce) {
    const Bytes write{0xFF, 0xD0, 0x00, 0x40, 0x02, 0x12, 0x34};
    // Refused silently, as the chip does: only a read-back shows it.
    EXPECT_EQ(respond(write), kOk);
    EXPECT_EQ(card->chip().memory()[0x40], 0xFF);
    EXPECT_FALSE(std::filesystem::exists(file));

    EXPECT_EQ(respond(kPresentRight), (Bytes{0x90, 0x07}));
    EXPECT_EQ(respond(write), kOk);
    EXPECT_EQ(saved().memory()[0x40], 0x12);
    EXPECT_EQ(saved().memory()[0x41], 0x34);
}

TEST_F(Responder, SelectingTheCardTypeAndPowerCyclingEndTheUnlock) {
    EXPECT_EQ(respond(kPresentRight), (Bytes{0x90, 0x07}));
    EXPECT_EQ(respond({0xFF, 0xA4, 0x00, 0x00, 0x01, 0x06}), kOk);
    EXPECT_FALSE(card->chip().unlocked());
    EXPECT_EQ(respond(kPresentRight), (Bytes{0x90, 0x07}));
    responder->powerCycle();
    EXPECT_FALSE(card->chip().unlocked());
    // Only the SLE4432/4442/5542 family is known.
    EXPECT_EQ(respond({0xFF, 0xA4, 0x00, 0x00, 0x01, 0x01}), (Bytes{0x6A, 0x80}));
}

TEST_F(Responder, AWrongCodeCostsAnAttemptThatTheFileKeeps) {
    EXPECT_EQ(respond(kPresentWrong), (Bytes{0x90, 0x06}));
    EXPECT_EQ(saved().errorCounter(), 6);
    EXPECT_EQ(respond(kPresentWrong), (Bytes{0x90, 0x04}));
    EXPECT_EQ(respond(kPresentWrong), (Bytes{0x90, 0x00}));
    EXPECT_EQ(saved().errorCounter(), 0);
    // Locked for good: even the right code is not compared.
    EXPECT_EQ(respond(kPresentRight), (Bytes{0x90, 0x00}));
    EXPECT_FALSE(card->chip().unlocked());
}

TEST_F(Responder, ErrorCounterShowsTheCodeOnlyOnceItWasPresented) {
    const Bytes read{0xFF, 0xB1, 0x00, 0x00, 0x04};
    EXPECT_EQ(respond(read), (Bytes{0x07, 0, 0, 0, 0x90, 0x00}));
    respond(kPresentRight);
    EXPECT_EQ(respond(read), (Bytes{0x07, 0x71, 0x2B, 0x5E, 0x90, 0x00}));
}

TEST_F(Responder, ProtectionBitsHaveAddressZeroInBitZero) {
    card->chip().setProtectionBit(0, false);
    card->chip().setProtectionBit(9, false);
    EXPECT_EQ(respond({0xFF, 0xB2, 0x00, 0x00, 0x04}), (Bytes{0xFE, 0xFD, 0xFF, 0xFF, 0x90, 0x00}));
}

TEST_F(Responder, MalformedCommandsAreRefusedAndChangeNothing) {
    respond(kPresentRight);
    const std::pair<Bytes, Bytes> cases[] = {
        {{}, {0x67, 0x00}},
        {{0xFF, 0xB0, 0x00, 0x00}, {0x67, 0x00}},                   // no length byte
        {{0x00, 0xB0, 0x00, 0x00, 0x10}, {0x6E, 0x00}},             // class of a processor card
        {{0xFF, 0xB0, 0x01, 0x00, 0x10}, {0x6B, 0x00}},             // P1 is always 0
        {{0xFF, 0xD0, 0x00, 0x40, 0x03, 0x01, 0x02}, {0x67, 0x00}}, // fewer bytes than Lc
        {{0xFF, 0xD0, 0x00, 0x40, 0x00}, {0x67, 0x00}},             // nothing to write
        {{0xFF, 0xD0, 0x00, 0xFF, 0x02, 0x01, 0x02}, {0x6B, 0x00}}, // past the end
        {{0xFF, 0xB0, 0x00, 0x00, 0x10, 0x00}, {0x67, 0x00}},       // a read carries no data
        {{0xFF, 0x20, 0x00, 0x00, 0x02, 0x71, 0x2B}, {0x67, 0x00}}, // a code is three bytes
        {{0xFF, 0xB1, 0x00, 0x00, 0x02}, {0x67, 0x00}},
        {{0xFF, 0xD2, 0x00, 0x01, 0x02, 0x01, 0x02}, {0x67, 0x00}}, // a code is three bytes
    };
    const auto before = card->chip().memory();
    for (const auto& [apdu, status] : cases) {
        EXPECT_EQ(respond(apdu), status) << apdu.size() << " bytes";
    }
    EXPECT_EQ(card->chip().memory(), before);
    EXPECT_EQ(card->chip().code(), kCode);
}

// What the virtual card serves is what its file holds: a change that could not be saved is
// undone and the reader told, so the same command sent again fails again.
TEST_F(Responder, AFailedSaveIsReportedToTheReaderAndUndone) {
    card = std::make_shared<VirtualCard>(Sle4442Chip::Blank(0x04, kCode),
                                         "/nonexistent-folder/x.card");
    responder = std::make_unique<VirtualCardResponder>(card);
    EXPECT_EQ(respond(kPresentRight), (Bytes{0x90, 0x07})); // the counter did not change
    const Bytes write{0xFF, 0xD0, 0x00, 0x40, 0x01, 0x00};
    for (int again = 0; again < 2; ++again) {
        EXPECT_EQ(respond(write), (Bytes{0x65, 0x81}));
        EXPECT_EQ(card->chip().memory()[0x40], 0xFF);
    }
    EXPECT_FALSE(responder->lastSaveError().empty());
    for (int again = 0; again < 2; ++again) {
        EXPECT_EQ(respond(kPresentWrong), (Bytes{0x65, 0x81}));
        EXPECT_EQ(card->chip().errorCounter(), 7);
    }
}

TEST(ResponderTables, EachDialectAnswersItsLiteralApduTable) {
    for (const auto& table : apdu_tables::Tables()) {
        auto card = std::make_shared<VirtualCard>(apdu_tables::TableCard());
        VirtualCardResponder responder(card, table.dialect, table.variant);
        responder.powerCycle();
        for (const auto& row : table.rows) {
            EXPECT_EQ(responder.respond(row.command), row.reply)
                << dialect::TableOf(table.dialect).name << "/" << dialect::NameOf(table.variant)
                << ": " << row.what;
        }
    }
}

// The records of the reader library, turned into APDUs as the PC/SC reader does, answered by the
// virtual card and read back: the two ends agree on every command of every dialect.
TEST(ResponderTables, ThePcscReadersCommandsAndTheVirtualCardAgree) {
    for (const auto* table : dialect::kTables) {
        SCOPED_TRACE(table->name);
        auto card = std::make_shared<VirtualCard>(Sle4442Chip::Blank(0x04, kCode));
        VirtualCardResponder responder(card, table->dialect);
        auto send = [&](const pcsc::Apdu& apdu) {
            return responder.respond(
                Bytes(apdu.bytes.begin(), apdu.bytes.begin() + static_cast<long>(apdu.length)));
        };
        if (table->sessionStart.length > 0) {
            ASSERT_EQ(send(pcsc::FixedCommand(table->sessionStart)), kOk);
        }
        auto exchange = [&](CommandRecord& command) {
            pcsc::Apdu apdu;
            EXPECT_EQ(pcsc::BuildApdu(*table, command, apdu), 0);
            return pcsc::ReadReply(*table, command, send(apdu));
        };
        CommandRecord present;
        present.ins = kInsPresentCode, present.lc = 3, present.le = 4;
        const auto code = CodeBytes(kCode);
        std::copy(code.begin(), code.end(), present.dataIn);
        ASSERT_EQ(exchange(present), 0);
        EXPECT_EQ(present.dataOut[0], 7);

        CommandRecord write;
        write.ins = kInsWriteMemory, write.p2 = 0x80, write.lc = 32;
        for (int i = 0; i < 32; ++i)
            write.dataIn[i] = static_cast<std::uint8_t>(i * 7);
        ASSERT_EQ(exchange(write), 0);

        pcsc::Apdu read;
        ASSERT_EQ(pcsc::BuildRead(*table, 0x80, 32, read), 0);
        std::uint8_t data[32];
        std::size_t got = 0;
        ASSERT_EQ(pcsc::ReadDataReply(*table, send(read), 32, data, got), 0);
        EXPECT_EQ(got, 32u);
        EXPECT_TRUE(std::equal(data, data + 32, write.dataIn));
    }
}

} // namespace
