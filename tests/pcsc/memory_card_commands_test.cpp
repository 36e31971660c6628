#include "reader/pcsc/memory_card_commands.h"
#include "reader/pcsc/pcsc_result.h"

#include <PCSC/pcsclite.h>
#include <gtest/gtest.h>
#include <vector>

using namespace ostrel::reader;
using namespace ostrel::reader::pcsc;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Built(const CommandRecord& command) {
    Apdu apdu;
    EXPECT_EQ(BuildApdu(command, apdu), 0);
    return {apdu.bytes.begin(), apdu.bytes.begin() + static_cast<std::ptrdiff_t>(apdu.length)};
}

CommandRecord Record(std::uint8_t ins, std::uint8_t p2, std::int32_t lc, std::int32_t le) {
    CommandRecord command;
    command.ins = ins;
    command.p2 = p2;
    command.lc = lc;
    command.le = le;
    return command;
}

TEST(MemoryCardApdu, EachCommandBecomesTheReadersMemoryCardApdu) {
    EXPECT_EQ(Built(Record(kInsReadMemory, 0x30, 0, 16)), (Bytes{0xFF, 0xB0, 0x00, 0x30, 0x10}));
    // 256 bytes travel as a length byte of 00.
    EXPECT_EQ(Built(Record(kInsReadMemory, 0, 0, 256)), (Bytes{0xFF, 0xB0, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Built(Record(kInsReadErrorCounter, 0, 0, 4)), (Bytes{0xFF, 0xB1, 0x00, 0x00, 0x04}));

    CommandRecord write = Record(kInsWriteMemory, 0xFD, 3, 0);
    write.dataIn[0] = 0x11, write.dataIn[1] = 0x22, write.dataIn[2] = 0x33;
    EXPECT_EQ(Built(write), (Bytes{0xFF, 0xD0, 0x00, 0xFD, 0x03, 0x11, 0x22, 0x33}));

    CommandRecord present = Record(kInsPresentCode, 0, 3, 4);
    present.dataIn[0] = 0x71, present.dataIn[1] = 0x2B, present.dataIn[2] = 0x5E;
    EXPECT_EQ(Built(present), (Bytes{0xFF, 0x20, 0x00, 0x00, 0x03, 0x71, 0x2B, 0x5E}));

    const Apdu select = SelectCardTypeApdu();
    EXPECT_EQ(Bytes(select.bytes.begin(),
                    select.bytes.begin() + static_cast<std::ptrdiff_t>(select.length)),
              (Bytes{0xFF, 0xA4, 0x00, 0x00, 0x01, 0x06}));
}

TEST(MemoryCardApdu, NothingIsSentForNoBytes) {
    Apdu apdu;
    EXPECT_EQ(BuildApdu(Record(kInsReadMemory, 0, 0, 0), apdu), 0);
    EXPECT_EQ(apdu.length, 0u);
    EXPECT_EQ(BuildApdu(Record(kInsWriteMemory, 0, 0, 0), apdu), 0);
    EXPECT_EQ(apdu.length, 0u);
}

TEST(MemoryCardApdu, RecordsThatAreNoCommandOrDoNotFitAreRefusedUnsent) {
    CommandRecord foreignClass = Record(kInsReadMemory, 0, 0, 16);
    foreignClass.cla = 0x80;
    const CommandRecord refused[] = {
        foreignClass,
        Record(0x09, 0, 0, 16),                // unknown instruction
        Record(kInsReadMemory, 0xF8, 0, 16),   // past the end of memory
        Record(kInsReadMemory, 0, 0, -1),      // negative length
        Record(kInsWriteMemory, 0xF0, 17, 0),  // past the end of memory
        Record(kInsWriteMemory, 0, 256, 0),    // longer than one APDU carries
        Record(kInsWriteMemory, 0, -5, 0),     // negative length
        Record(kInsPresentCode, 0, 2, 4),      // a code is three bytes
        Record(kInsPresentCode, 0, 3, 0),      // no room for the counter
        Record(kInsPresentCode, 0, 3, 5),      // more than the reply holds
        Record(kInsReadErrorCounter, 0, 0, 0), // no room for the counter
        Record(kInsReadErrorCounter, 0, 0, 300),
    };
    for (const auto& command : refused) {
        Apdu apdu;
        EXPECT_EQ(BuildApdu(command, apdu), kErrBadCommand)
            << "ins " << int(command.ins) << " p2 " << int(command.p2) << " lc " << command.lc
            << " le " << command.le;
        EXPECT_EQ(apdu.length, 0u);
    }
}

TEST(MemoryCardReply, ReadTakesTheDataWithOrWithoutTrailingProtectionBytes) {
    CommandRecord read = Record(kInsReadMemory, 0, 0, 4);
    EXPECT_EQ(ReadReply(read, Bytes{1, 2, 3, 4, 0x90, 0x00}), 0);
    EXPECT_EQ(Bytes(read.dataOut, read.dataOut + 5), (Bytes{1, 2, 3, 4, 0}));

    CommandRecord older = Record(kInsReadMemory, 0, 0, 4);
    EXPECT_EQ(ReadReply(older, Bytes{5, 6, 7, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0x90, 0x00}), 0);
    EXPECT_EQ(Bytes(older.dataOut, older.dataOut + 5), (Bytes{5, 6, 7, 8, 0}));
}

TEST(MemoryCardReply, PresentCodeCounterComesFirstInEitherShape) {
    CommandRecord present = Record(kInsPresentCode, 0, 3, 4);
    EXPECT_EQ(ReadReply(present, Bytes{0x90, 0x07}), 0);
    EXPECT_EQ(Bytes(present.dataOut, present.dataOut + 4), (Bytes{7, 0, 0, 0}));
    EXPECT_EQ(ReadReply(present, Bytes{0x90, 0x00}), 0); // locked for good
    EXPECT_EQ(present.dataOut[0], 0);
    EXPECT_EQ(ReadReply(present, Bytes{0x03, 0x71, 0x2B, 0x5E, 0x90, 0x00}), 0);
    EXPECT_EQ(Bytes(present.dataOut, present.dataOut + 4), (Bytes{3, 0, 0, 0}));
    // Only the three counter bits count: stray high bits must not read as more attempts.
    EXPECT_EQ(ReadReply(present, Bytes{0x90, 0xF3}), 0);
    EXPECT_EQ(present.dataOut[0], 3);
}

TEST(MemoryCardReply, ErrorCounterReplyFillsOnlyWhatWasAskedFor) {
    CommandRecord counter = Record(kInsReadErrorCounter, 0, 0, 2);
    counter.dataOut[2] = 0xAA;
    EXPECT_EQ(ReadReply(counter, Bytes{0x06, 0x11, 0x22, 0x33, 0x90, 0x00}), 0);
    EXPECT_EQ(Bytes(counter.dataOut, counter.dataOut + 3), (Bytes{6, 0x11, 0xAA}));
}

TEST(MemoryCardReply, WrongStatusOrShapeIsNegative) {
    struct Case {
        std::uint8_t ins;
        std::int32_t le;
        Bytes reply;
        std::int32_t expected;
    };
    const Case cases[] = {
        {kInsReadMemory, 4, {0x6B, 0x00}, kErrBadCommand},                  // refused
        {kInsReadMemory, 4, {1, 2, 3, 0x90, 0x00}, kErrTransmission},       // short
        {kInsReadMemory, 4, {1, 2, 3, 4, 5, 0x90, 0x00}, kErrTransmission}, // neither shape
        {kInsReadMemory, 4, {1, 2, 3, 4, 0x62, 0x81}, kErrTransmission},    // data, then a warning
        {kInsReadMemory, 4, {}, kErrTransmission},
        {kInsWriteMemory, 0, {0x65, 0x81}, kErrBadCommand},
        {kInsWriteMemory, 0, {0x90}, kErrTransmission},
        {kInsWriteMemory, 0, {0x00, 0x90, 0x00}, kErrTransmission},
        {kInsPresentCode, 4, {0x63, 0x00}, kErrBadCommand},
        {kInsPresentCode, 4, {0x90}, kErrTransmission},
        {kInsPresentCode, 4, {0x07, 0x90, 0x00}, kErrTransmission},
        {kInsPresentCode, 4, {0x07, 0, 0, 0, 0x6A, 0x80}, kErrTransmission},
        {kInsReadErrorCounter, 4, {0x07, 0x90, 0x00}, kErrTransmission},
        {kInsReadErrorCounter, 4, {0x6D, 0x00}, kErrBadCommand},
    };
    for (const auto& c : cases) {
        CommandRecord command = Record(c.ins, 0, c.ins == kInsPresentCode ? 3 : 0, c.le);
        EXPECT_EQ(ReadReply(command, c.reply), c.expected)
            << "ins " << int(c.ins) << ", " << c.reply.size() << " bytes";
    }
}

TEST(MemoryCardAtr, TheReadersPrefixIsDropped) {
    const Bytes reader{0x3B, 0x04, 0xA2, 0x13, 0x10, 0x91};
    EXPECT_EQ(Bytes(CardAnswerToReset(reader).begin(), CardAnswerToReset(reader).end()),
              (Bytes{0xA2, 0x13, 0x10, 0x91}));
    // A bare card ATR, and an ATR of some other card, are left as they are.
    const Bytes bare{0xA2, 0x13, 0x10, 0x91};
    EXPECT_EQ(CardAnswerToReset(bare).size(), 4u);
    const Bytes other{0x3B, 0x04, 0x49, 0x32, 0x43, 0x2E, 0x01};
    EXPECT_EQ(CardAnswerToReset(other).size(), other.size());
    EXPECT_TRUE(CardAnswerToReset(Bytes{}).empty());
}

TEST(PcscResult, ServiceAndReaderLossAskForAReopenCardLossDoesNot) {
    EXPECT_EQ(PcscResult(SCARD_S_SUCCESS), 0);
    EXPECT_EQ(PcscResult(SCARD_E_NO_SERVICE), kErrNoReader);
    EXPECT_EQ(PcscResult(SCARD_F_COMM_ERROR), kErrNoReader);
    EXPECT_EQ(PcscResult(SCARD_E_NO_READERS_AVAILABLE), kErrNoReader);
    EXPECT_EQ(PcscResult(SCARD_E_NO_SMARTCARD), kErrNoCard);
    EXPECT_EQ(PcscResult(SCARD_W_REMOVED_CARD), kErrCardRemoved);
    EXPECT_EQ(PcscResult(SCARD_E_NOT_TRANSACTED), kErrTransmission);
    // A code nobody knows is still a failure.
    EXPECT_LT(PcscResult(static_cast<LONG>(0x80100FFF)), 0);
}

} // namespace
