#include "reader/simulated_reader.h"
#include "test_cards.h"

#include "reader/virtual_card_file.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace ostrel::reader;

TEST(SimulatedReader, AbsentReaderAndFailingPoll) {
    SimulatedReader reader;
    reader.unplug();
    EXPECT_LT(reader.Open(kReaderTypeAny, kReaderPortAny), 0);
    reader.plug();
    const std::int32_t handle = reader.Open(kReaderTypeAny, kReaderPortAny);
    ASSERT_GE(handle, 0);
    InfoRecord info;
    EXPECT_EQ(reader.GetInfo(handle, info), 0);
    EXPECT_FALSE(info.cardPresent());
    reader.insertCard(BlankCard());
    EXPECT_EQ(reader.GetInfo(handle, info), 0);
    EXPECT_TRUE(info.cardPresent());
    reader.setPollFails(true);
    EXPECT_LT(reader.GetInfo(handle, info), 0);
    reader.setPollFails(false);
    reader.unplug();
    EXPECT_LT(reader.GetInfo(handle, info), 0);
}

TEST(SimulatedReader, FaultPlanHitsTheNthExchange) {
    SimulatedReader reader;
    reader.insertCard(BlankCard());
    const std::int32_t h = reader.Open(kReaderTypeAny, kReaderPortAny);
    SessionRecord session;
    CommandRecord read;
    read.ins = kInsReadMemory;
    read.le = 16;

    reader.planFault(2, FaultKind::Fail);
    EXPECT_EQ(reader.StartSession(h, session), 0);
    EXPECT_LT(reader.ExchangeAPDU(h, read), 0);
    EXPECT_EQ(reader.ExchangeAPDU(h, read), 0);

    // A reply lost after the chip carried the command out.
    CommandRecord present;
    present.ins = kInsPresentCode;
    present.lc = 3;
    present.le = 4;
    reader.resetExchangeCount();
    reader.planFault(1, FaultKind::FailAfter);
    EXPECT_LT(reader.ExchangeAPDU(h, present), 0);
    EXPECT_EQ(reader.card()->chip().errorCounter(), 6);

    reader.resetExchangeCount();
    reader.planFault(1, FaultKind::RemoveCard);
    EXPECT_LT(reader.ExchangeAPDU(h, read), 0);
    InfoRecord info;
    reader.GetInfo(h, info);
    EXPECT_FALSE(info.cardPresent());
}

TEST(SimulatedReader, CardFileSavedAfterEveryChangingExchange) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("ostrel-sim-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "card.card").string();
    ASSERT_TRUE(SaveCardFile(path, Sle4442Chip::Blank(0x04, 0x5E2B71)).ok);
    std::string error;
    auto card = VirtualCard::FromFile(path, error);
    ASSERT_TRUE(card) << error;

    SimulatedReader reader;
    reader.insertCard(card);
    const std::int32_t h = reader.Open(kReaderTypeAny, kReaderPortAny);
    SessionRecord session;
    ASSERT_EQ(reader.StartSession(h, session), 0);
    CommandRecord present;
    present.ins = kInsPresentCode;
    present.lc = 3;
    present.le = 4; // wrong code 000000
    ASSERT_EQ(reader.ExchangeAPDU(h, present), 0);
    Sle4442Chip onDisk;
    ASSERT_TRUE(LoadCardFile(path, onDisk).ok);
    EXPECT_EQ(onDisk.errorCounter(), 6);

    const auto code = CodeBytes(0x5E2B71);
    std::copy(code.begin(), code.end(), present.dataIn);
    ASSERT_EQ(reader.ExchangeAPDU(h, present), 0);
    CommandRecord write;
    write.ins = kInsWriteMemory;
    write.p2 = 100;
    write.lc = 2;
    write.dataIn[0] = 0xAB;
    write.dataIn[1] = 0xCD;
    ASSERT_EQ(reader.ExchangeAPDU(h, write), 0);
    ASSERT_TRUE(LoadCardFile(path, onDisk).ok);
    EXPECT_EQ(onDisk.errorCounter(), 7);
    EXPECT_EQ(onDisk.memory()[101], 0xCD);
    std::filesystem::remove_all(dir);
}

TEST(SimulatedReader, RefusesCommandsOutsideTheMemory) {
    SimulatedReader reader;
    reader.insertCard(BlankCard());
    const std::int32_t h = reader.Open(kReaderTypeAny, kReaderPortAny);
    CommandRecord read;
    read.ins = kInsReadMemory;
    read.p2 = 250;
    read.le = 16;
    EXPECT_LT(reader.ExchangeAPDU(h, read), 0); // no session yet
    SessionRecord session;
    ASSERT_EQ(reader.StartSession(h, session), 0);
    EXPECT_LT(reader.ExchangeAPDU(h, read), 0);
    read.le = -1;
    read.p2 = 0;
    EXPECT_LT(reader.ExchangeAPDU(h, read), 0);
    read.ins = 0x77;
    read.le = 1;
    EXPECT_LT(reader.ExchangeAPDU(h, read), 0);
}
