#include "reader/pcsc/dialect_commands.h"
#include "reader/pcsc/dialect_probe.h"
#include "reader/pcsc/pcsc_result.h"

#include <PCSC/pcsclite.h>
#include <gtest/gtest.h>
#include <vector>

using namespace ostrel::reader;
using namespace ostrel::reader::pcsc;
using dialect::kIso;
using dialect::kMemcard;
using dialect::kStorage;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Built(const dialect::Table& table, const CommandRecord& command) {
    Apdu apdu;
    EXPECT_EQ(BuildApdu(table, command, apdu), 0);
    return {apdu.bytes.begin(), apdu.bytes.begin() + static_cast<std::ptrdiff_t>(apdu.length)};
}

Bytes BuiltRead(const dialect::Table& table, int address, int length) {
    Apdu apdu;
    EXPECT_EQ(BuildRead(table, address, length, apdu), 0);
    return {apdu.bytes.begin(), apdu.bytes.begin() + static_cast<std::ptrdiff_t>(apdu.length)};
}

CommandRecord Record(std::uint8_t ins, std::uint8_t p2, std::int32_t lc, std::int32_t le) {
    CommandRecord command;
    command.ins = ins;
    command.p2 = p2;
    command.lc = lc;
    command.le = le;
    command.dataIn[0] = 0x71, command.dataIn[1] = 0x2B, command.dataIn[2] = 0x5E;
    return command;
}

TEST(DialectApdu, EachCommandBecomesTheDialectsApdu) {
    struct Case {
        const dialect::Table& table;
        Bytes read, readAll, write, present, counter;
    };
    const Case cases[] = {
        {kMemcard,
         {0xFF, 0xB0, 0x00, 0x30, 0x10},
         {0xFF, 0xB0, 0x00, 0x00, 0x00},
         {0xFF, 0xD0, 0x00, 0xFD, 0x03, 0x71, 0x2B, 0x5E},
         {0xFF, 0x20, 0x00, 0x00, 0x03, 0x71, 0x2B, 0x5E},
         {0xFF, 0xB1, 0x00, 0x00, 0x04}},
        {kStorage,
         {0xFF, 0xB0, 0x00, 0x30, 0x10},
         {0xFF, 0xB0, 0x00, 0x00, 0x00},
         {0xFF, 0xD6, 0x00, 0xFD, 0x03, 0x71, 0x2B, 0x5E},
         {0xFF, 0x20, 0x00, 0x00, 0x03, 0x71, 0x2B, 0x5E},
         {}}, // no such command: nothing is sent
        {kIso,
         {0x00, 0xB0, 0x00, 0x30, 0x10},
         {0x00, 0xB0, 0x00, 0x00, 0x00},
         {0x00, 0xD6, 0x00, 0xFD, 0x03, 0x71, 0x2B, 0x5E},
         {0x00, 0x20, 0x00, 0x00, 0x03, 0x71, 0x2B, 0x5E},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.name);
        EXPECT_EQ(BuiltRead(c.table, 0x30, 16), c.read);
        EXPECT_EQ(BuiltRead(c.table, 0, 256), c.readAll); // 256 travels as 00
        EXPECT_EQ(Built(c.table, Record(kInsWriteMemory, 0xFD, 3, 0)), c.write);
        EXPECT_EQ(Built(c.table, Record(kInsPresentCode, 0, 3, 4)), c.present);
        EXPECT_EQ(Built(c.table, Record(kInsReadErrorCounter, 0, 0, 4)), c.counter);
        EXPECT_EQ(Built(c.table, Record(kInsWriteMemory, 0, 0, 0)), Bytes{});
    }
}

TEST(DialectApdu, RecordsThatAreNoCommandOrDoNotFitAreRefusedUnsent) {
    CommandRecord foreignClass = Record(kInsWriteMemory, 0, 1, 0);
    foreignClass.cla = 0x80;
    const CommandRecord refused[] = {
        foreignClass,
        Record(0x09, 0, 0, 16),                // unknown instruction
        Record(kInsWriteMemory, 0xF0, 17, 0),  // past the end of memory
        Record(kInsWriteMemory, 0, 256, 0),    // longer than one APDU carries
        Record(kInsWriteMemory, 0, -5, 0),     // negative length
        Record(kInsPresentCode, 0, 2, 4),      // a code is three bytes
        Record(kInsPresentCode, 0, 3, 0),      // no room for the counter
        Record(kInsPresentCode, 0, 3, 5),      // more than the reply holds
        Record(kInsReadErrorCounter, 0, 0, 0), // no room for the counter
        Record(kInsReadErrorCounter, 0, 0, 300),
    };
    for (const auto* table : dialect::kTables) {
        for (const auto& command : refused) {
            Apdu apdu;
            EXPECT_EQ(BuildApdu(*table, command, apdu), kErrBadCommand)
                << table->name << " ins " << int(command.ins) << " lc " << command.lc << " le "
                << command.le;
            EXPECT_EQ(apdu.length, 0u);
        }
        Apdu apdu;
        EXPECT_EQ(BuildRead(*table, 0xF8, 16, apdu), kErrBadCommand); // past the end
        EXPECT_EQ(BuildRead(*table, 0, 0, apdu), kErrBadCommand);
        EXPECT_EQ(apdu.length, 0u);
    }
}

// Reads: the data, possibly fewer bytes than asked (read on), the older memcard shape.
TEST(DialectReply, ReadRepliesGiveTheirDataOrAreRefused) {
    struct Case {
        const dialect::Table& table;
        Bytes reply;
        std::int32_t result;
        std::size_t got;
    };
    const Case cases[] = {
        {kMemcard, {1, 2, 3, 4, 0x90, 0x00}, 0, 4},
        {kMemcard, {1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0x90, 0x00}, 0, 4}, // older drivers
        {kStorage, {1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0x90, 0x00}, kErrTransmission, 0},
        {kStorage, {1, 2, 0x90, 0x00}, 0, 2}, // capped by the reader
        {kIso, {1, 2, 0x62, 0x82}, 0, 2},     // the end of memory
        {kStorage, {1, 2, 0x62, 0x82}, 0, 2},
        {kMemcard, {1, 2, 0x62, 0x82}, kErrTransmission, 0},
        {kMemcard, {0x6B, 0x00}, kErrBadCommand, 0},
        {kStorage, {0x6B, 0x00}, kErrBadCommand, 0},
        {kIso, {0x69, 0x86}, kErrBadCommand, 0},
        {kMemcard, {1, 2, 3, 4, 5, 0x90, 0x00}, kErrTransmission, 0},
        {kMemcard, {1, 2, 3, 4, 0x62, 0x81}, kErrTransmission, 0},
        {kIso, {0x90, 0x00}, kErrTransmission, 0}, // no data: reading on would never end
        {kIso, {}, kErrTransmission, 0},
    };
    for (const auto& c : cases) {
        std::uint8_t out[8] = {};
        std::size_t got = 99;
        EXPECT_EQ(ReadDataReply(c.table, c.reply, 4, out, got), c.result)
            << c.table.name << ", " << c.reply.size() << " bytes";
        EXPECT_EQ(got, c.got);
        if (c.got) {
            EXPECT_EQ(Bytes(out, out + c.got), Bytes(c.reply.begin(), c.reply.begin() + c.got));
        }
    }
}

// Every dialect's answer to a presented code reads as the chip's error counter; a refusal never
// reads as an acceptance.
TEST(DialectReply, PresentedCodesReadAsTheErrorCounterInEveryDialect) {
    struct Case {
        const dialect::Table& table;
        Bytes reply;
        std::int32_t result;
        std::uint8_t counter;
    };
    const Case cases[] = {
        {kMemcard, {0x90, 0x07}, 0, 7},
        {kMemcard, {0x90, 0x00}, 0, 0}, // locked for good
        {kMemcard, {0x03, 0x71, 0x2B, 0x5E, 0x90, 0x00}, 0, 3},
        {kMemcard, {0x90, 0xF3}, 0, 3}, // only the counter bits count
        {kMemcard, {0x63, 0x00}, kErrBadCommand, 0},
        {kMemcard, {0x07, 0x90, 0x00}, kErrTransmission, 0},
        {kStorage, {0x90, 0x00}, 0, 7}, // accepted, not locked
        {kStorage, {0x63, 0xC2}, 0, 3},
        {kStorage, {0x63, 0xC1}, 0, 1},
        {kStorage, {0x63, 0xC0}, 0, 0},
        {kStorage, {0x69, 0x83}, 0, 0},
        {kStorage, {0x63, 0xC3}, kErrTransmission, 0}, // no SLE4442 says so after a refusal
        {kStorage, {0x90, 0x07}, kErrBadCommand, 0},
        {kStorage, {0x07, 0x71, 0x2B, 0x5E, 0x90, 0x00}, kErrTransmission, 0},
        {kIso, {0x90, 0x00}, 0, 7},
        {kIso, {0x63, 0xC1}, 0, 1},
        {kIso, {0x69, 0x83}, 0, 0},
        {kIso, {0x6D, 0x00}, kErrBadCommand, 0},
    };
    for (const auto& c : cases) {
        CommandRecord present = Record(kInsPresentCode, 0, 3, 4);
        present.dataOut[0] = 0xAA;
        EXPECT_EQ(ReadReply(c.table, present, c.reply), c.result) << c.table.name;
        if (c.result == 0) {
            EXPECT_EQ(Bytes(present.dataOut, present.dataOut + 4), (Bytes{c.counter, 0, 0, 0}))
                << c.table.name;
        }
    }
}

TEST(DialectReply, WritesAreAcceptedOnlyBy9000AndTheCounterFillsWhatWasAsked) {
    for (const auto* table : dialect::kTables) {
        CommandRecord write = Record(kInsWriteMemory, 0, 1, 0);
        EXPECT_EQ(ReadReply(*table, write, Bytes{0x90, 0x00}), 0);
        for (const Bytes& refusal : {Bytes{0x69, 0x82}, Bytes{0x65, 0x81}, Bytes{0x62, 0x00}})
            EXPECT_EQ(ReadReply(*table, write, refusal), kErrBadCommand) << table->name;
        EXPECT_EQ(ReadReply(*table, write, Bytes{0x90}), kErrTransmission);
        EXPECT_EQ(ReadReply(*table, write, Bytes{0x00, 0x90, 0x00}), kErrTransmission);
    }
    CommandRecord counter = Record(kInsReadErrorCounter, 0, 0, 2);
    counter.dataOut[2] = 0xAA;
    EXPECT_EQ(ReadReply(kMemcard, counter, Bytes{0x06, 0x11, 0x22, 0x33, 0x90, 0x00}), 0);
    EXPECT_EQ(Bytes(counter.dataOut, counter.dataOut + 3), (Bytes{6, 0x11, 0xAA}));
    EXPECT_EQ(ReadReply(kMemcard, counter, Bytes{0x07, 0x90, 0x00}), kErrTransmission);
}

// Probing stops at the first fitting reply and never sends a code or a write. Older memcard
// firmware answers the selection with the card's ATR bytes and the counter read with Le 00
// only; a reader refusing the selection gets the card type through its driver when it takes
// that control, and the counter read still has to confirm memcard.
TEST(DialectProbe, TheFirstFittingProbeNamesTheDialect) {
    struct Case {
        std::vector<Bytes> replies;
        std::optional<std::int32_t> control; // what the driver control answers; none: not sent
        std::optional<dialect::Dialect> found;
        std::size_t sent;
        bool byControl = false;
    };
    const Bytes ok{0x90, 0x00};
    const Bytes counter{0x07, 0x00, 0x00, 0x00, 0x90, 0x00};
    const Bytes atr{0xA2, 0x13, 0x10, 0x91, 0x90, 0x00};
    using enum dialect::Dialect;
    const Case cases[] = {
        {{ok, counter}, {}, Memcard, 2},
        {{atr, counter}, {}, Memcard, 2},
        {{ok, {0x67, 0x00}, counter}, {}, Memcard, 3},
        {{{0x6E, 0x00}, ok}, {}, Iso, 2},
        // A reader that takes the card-type selection but has no error counter is not memcard.
        {{ok, {0x6D, 0x00}, {0x6E, 0x00}, atr}, {}, Storage, 4},
        {{{0x6D, 0x00}, {0x6E, 0x00}, atr}, {}, Storage, 3},
        {{{0x6A, 0x81}, {0x6E, 0x00}, {0xA2, 0x13, 0x90, 0x00}}, {}, std::nullopt, 3},
        {{{0x6A, 0x81}, {0x6D, 0x00}, {0x6E, 0x00}}, {}, std::nullopt, 3},
        // Not the card's bytes: no selection, and no reason to ask the driver.
        {{{0xA2, 0x13, 0x10, 0x92, 0x90, 0x00}, {0x6E, 0x00}, {0x6E, 0x00}}, 0, std::nullopt, 3},
        {{{0x6D, 0x00}, counter}, 0, Memcard, 2, true},
        {{{0x6D, 0x00}, {0x6E, 0x00}, atr}, 1, Storage, 3},
        {{{0x6D, 0x00}, {0x6D, 0x00}, {0x6E, 0x00}, {0x6E, 0x00}}, 0, std::nullopt, 4},
    };
    const Bytes cardAtr{0xA2, 0x13, 0x10, 0x91};
    for (const auto& c : cases) {
        std::vector<Bytes> sent;
        int controls = 0;
        const auto transmit = [&](std::span<const std::uint8_t> apdu, Bytes& reply) {
            sent.emplace_back(apdu.begin(), apdu.end());
            reply = c.replies[sent.size() - 1];
            return 0;
        };
        CardTypeControl control;
        if (c.control)
            control = [&] { return ++controls, *c.control; };
        const ProbeResult probed = ProbeDialect(transmit, cardAtr, control);
        EXPECT_EQ(probed.result, 0);
        EXPECT_EQ(probed.dialect, c.found);
        EXPECT_EQ(probed.typeByControl, c.byControl);
        EXPECT_EQ(controls, c.control && c.replies[0].size() == 2 ? 1 : 0);
        ASSERT_EQ(sent.size(), c.sent);
        for (const Bytes& apdu : sent)
            EXPECT_TRUE(apdu[1] == 0xA4 || apdu[1] == 0xB0 || apdu[1] == 0xB1) << int(apdu[1]);
        if (c.replies.size() > 1 && c.replies[1] == Bytes{0x67, 0x00}) {
            EXPECT_EQ(sent[2], (Bytes{0xFF, 0xB1, 0x00, 0x00, 0x00}));
        }
    }
    EXPECT_EQ(ProbeDialect([](auto, Bytes&) { return kErrCardRemoved; }, cardAtr).result,
              kErrCardRemoved);
    EXPECT_EQ(ProbeDialect(
                  [](auto, Bytes& reply) {
                      return reply = {0x6D, 0x00}, 0;
                  },
                  cardAtr, [] { return kErrNoReader; })
                  .result,
              kErrNoReader);
    EXPECT_TRUE(NoDialectText("R").ends_with("; choisissez --dialect"));
}

// A selection is done by 90 00, or by the card's own bytes before it on memcard; a reader asks
// for another length by 6C xx or, older firmware, 67 00; a refused long read is tried shorter,
// down to the 16 bytes every reader answers.
TEST(DialectReply, SelectionsAndLengthRequestsAreTakenOnlyInTheirShapes) {
    const Bytes cardAtr{0xA2, 0x13, 0x10, 0x91};
    struct Started {
        const dialect::Table& table;
        Bytes reply;
        bool started;
    };
    const Started starts[] = {
        {kMemcard, {0x90, 0x00}, true},
        {kMemcard, {0xA2, 0x13, 0x10, 0x91, 0x90, 0x00}, true},
        {kMemcard, {0xA2, 0x13, 0x10, 0x92, 0x90, 0x00}, false},
        {kMemcard, {0xA2, 0x13, 0x10, 0x91, 0x6A, 0x81}, false},
        {kMemcard, {0x13, 0x10, 0x91, 0x90, 0x00}, false},
        {kIso, {0xA2, 0x13, 0x10, 0x91, 0x90, 0x00}, false},
        {kIso, {0x6A, 0x82}, false},
    };
    for (const auto& c : starts)
        EXPECT_EQ(SessionStarted(c.table, c.reply, cardAtr), c.started) << c.table.name;

    struct Asked {
        Bytes reply;
        std::uint8_t le;
        std::optional<std::uint8_t> again; // the Le sent again; none: not sent again
    };
    const Asked asks[] = {
        {{0x67, 0x00}, 0x04, 0x00},  {{0x6C, 0x00}, 0x04, 0x00}, {{0x6C, 0x02}, 0x04, 0x02},
        {{0x6C, 0x04}, 0x04, {}},    {{0x67, 0x00}, 0x00, {}},   {{0x6D, 0x00}, 0x04, {}},
        {{1, 0x67, 0x00}, 0x04, {}},
    };
    for (const auto& c : asks) {
        Apdu apdu = FixedCommand({{0xFF, 0xB1, 0x00, 0x00, c.le}, 5});
        EXPECT_EQ(AskedAgain(c.reply, apdu), c.again.has_value()) << int(c.reply[0]);
        EXPECT_EQ(apdu.bytes[4], c.again.value_or(c.le));
    }
    Apdu withData = FixedCommand({{0xFF, 0xD0, 0x00, 0x40, 0x01, 0x00}, 6});
    EXPECT_FALSE(AskedAgain(Bytes{0x67, 0x00}, withData));

    struct Shorter {
        Bytes reply;
        int wanted;
        int read;
    };
    const Shorter shorter[] = {
        {{0x6C, 0x40}, 256, 64},   {{0x6C, 0x40}, 64, 32}, {{0x6C, 0x00}, 256, 128},
        {{0x67, 0x00}, 256, 128},  {{0x67, 0x00}, 20, 16}, {{0x67, 0x00}, 16, 0},
        {{0x6B, 0x00}, 256, 128},  {{0x6B, 0x00}, 16, 0},  {{0x90, 0x00}, 256, 128},
        {{1, 0x90, 0x00}, 256, 0},
    };
    for (const auto& c : shorter)
        EXPECT_EQ(ShorterRead(c.reply, c.wanted), c.read) << int(c.reply[0]) << " " << c.wanted;
}

TEST(DialectAtr, TheReadersPrefixIsDropped) {
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
