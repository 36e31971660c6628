#include "workflow_test_support.h"

#include "workflows/disposable_workflow.h"
#include "workflows/workflow_texts.h"

using namespace ostrel;
using workflows::DisposableOutcome;
using workflows::Indicator;
namespace texts = workflows::texts;

namespace {

struct DisposableTest : ReaderFixture {
    std::unique_ptr<workflows::DisposableWorkflow> window;

    void Open(bool spendLast = false) {
        window = std::make_unique<workflows::DisposableWorkflow>(state, TestOptions(spendLast));
        window->Load();
    }
    void Handle(const std::shared_ptr<reader::VirtualCard>& card) {
        Insert(card);
        window->CardInserted();
    }
};

// What a disposable writer leaves on a card read as before: header, date, kind and value.
card::CardMemory Disposable(card::CardMemory memory, std::uint8_t kind, std::uint8_t value) {
    memory[7] = 0x15;
    memory[17] = 1;
    memory[18] = 0x07;
    memory[19] = 0x0C;
    memory[20] = 0x1A;
    memory[64] = kind;
    memory[65] = value;
    return memory;
}

} // namespace

TEST_F(DisposableTest, LoadAndRemovalPromptDiffer) {
    Open();
    EXPECT_TRUE(state.DisposableActive);
    EXPECT_EQ(window->info(), "Introduire la carte à écrire");
    EXPECT_EQ(window->indicator(), Indicator::Green);
    EXPECT_EQ(window->fields().maxValue, "255");
    EXPECT_EQ(window->fields().programme, "");
    Handle(BlankCard());
    Remove();
    window->CardRemoved();
    EXPECT_EQ(window->info(), "Introduire carte à écrire");
    EXPECT_EQ(window->indicator(), Indicator::Green);
    window->Unload();
    EXPECT_FALSE(state.DisposableActive);
}

TEST_F(DisposableTest, InsertionShowsTheKindOfABlankCardWithoutWriting) {
    const struct {
        std::uint8_t kind;
        const char* text;
        DisposableOutcome outcome;
    } kinds[] = {{0, "carte JETON", DisposableOutcome::ShownToken},
                 {1, "carte CREDIT", DisposableOutcome::ShownCredit},
                 {2, "carte inconnue", DisposableOutcome::ShownUnknown}};
    for (const auto& k : kinds) {
        Open();
        auto card = BlankCard(0x35, 0x93C4E7); // the supplier's code is presented
        card->chip().memory()[64] = k.kind;
        card->chip().memory()[65] = 12;
        const card::CardMemory before = card->chip().memory();
        Handle(card);
        EXPECT_EQ(window->outcome(), k.outcome);
        EXPECT_EQ(window->info(), k.text);
        EXPECT_EQ(window->indicator(), Indicator::Yellow);
        EXPECT_EQ(window->fields().credit, k.kind == 0 ? "12" : "");
        EXPECT_EQ(window->fields().nbcredit, k.kind == 1 ? "12" : "");
        EXPECT_EQ(card->chip().memory(), before);
        Remove();
    }
}

TEST_F(DisposableTest, CreditCardsStoreTheRoundedCount) {
    const struct {
        const char* typed;
        std::uint8_t stored;
    } cases[] = {{"", 0}, {"2.5", 2}, {"3.5", 4}, {"255", 255}, {"12 crédits", 12}};
    for (const auto& c : cases) {
        Open();
        auto card = BlankCard();
        card->chip().memory()[21] = 0x77;
        const card::CardMemory before = card->chip().memory();
        Handle(card);
        window->fields().nbcredit = c.typed;
        window->WriteCreditCard();
        EXPECT_EQ(window->outcome(), DisposableOutcome::Written) << c.typed;
        EXPECT_EQ(window->info(), "Retirez la carte");
        EXPECT_EQ(window->indicator(), Indicator::Green);
        // Serial bytes and byte 21 go back as read: the button never changes the serial.
        EXPECT_EQ(card->chip().memory(), Disposable(before, 1, c.stored)) << c.typed;
        Remove();
    }
}

TEST_F(DisposableTest, ProgrammesOneToFiveFixTheTokenCredits) {
    const struct {
        const char* programme;
        const char* typed;
        const char* shown;
        std::uint8_t stored;
    } cases[] = {{"1", "99", "3", 3}, {"2", "99", "5", 5},  {"3", "", "7", 7},
                 {"4", "1", "8", 8},  {"5", "0", "10", 10}, {"6", "42", "42", 42},
                 {"0", "", "", 0},    {"2.5", "9", "5", 5}, {"abc", "7.5", "7.5", 8}};
    for (const auto& c : cases) {
        Open();
        auto card = BlankCard();
        const card::CardMemory before = card->chip().memory();
        Handle(card);
        window->fields().programme = c.programme;
        window->fields().credit = c.typed;
        window->WriteTokenCard();
        EXPECT_EQ(window->outcome(), DisposableOutcome::Written) << c.programme;
        EXPECT_EQ(window->fields().credit, c.shown) << c.programme;
        EXPECT_EQ(card->chip().memory(), Disposable(before, 0, c.stored)) << c.programme;
        Remove();
    }
}

TEST_F(DisposableTest, AWrittenCardReadsBackAsItsKind) {
    Open();
    auto card = BlankCard();
    Handle(card);
    window->fields().programme = "4";
    window->WriteTokenCard();
    Remove();
    window->CardRemoved();
    Open(); // fields empty again
    Handle(card);
    EXPECT_EQ(window->info(), "carte JETON");
    EXPECT_EQ(window->fields().credit, "8");
}

TEST_F(DisposableTest, ButtonsRefuseBadInputAndMissingCardsWithoutCardTraffic) {
    Open();
    // No card yet.
    reader.resetExchangeCount();
    window->WriteCreditCard();
    EXPECT_EQ(window->info(), texts::kNoCardRead);
    EXPECT_EQ(window->outcome(), DisposableOutcome::Refused);

    // A card that did not answer at insertion.
    auto foreign = BlankCard();
    foreign->chip().memory()[0] = 0x3B;
    Handle(foreign);
    reader.resetExchangeCount();
    window->WriteTokenCard();
    EXPECT_EQ(window->info(), texts::kNoCardRead);
    EXPECT_EQ(reader.exchangeCount(), 0);
    Remove();
    window->CardRemoved();

    // Read at insertion, then removed: the buttons need it inside.
    auto card = BlankCard();
    Handle(card);
    Remove();
    window->CardRemoved();
    reader.resetExchangeCount();
    window->WriteCreditCard();
    EXPECT_EQ(window->info(), texts::kNoCardRead);

    Handle(card);
    const card::CardMemory before = card->chip().memory();
    const struct {
        const char* programme;
        const char* credit;
        const char* nbcredit;
        bool token;
        const char* text;
    } refused[] = {
        {"", "", "256", false, texts::kBadCredits},   {"", "", "-1", false, texts::kBadCredits},
        {"", "", "255.5", false, texts::kBadCredits}, {"256", "", "", true, texts::kBadProgramme},
        {"-2", "", "", true, texts::kBadProgramme},   {"6", "300", "", true, texts::kBadCredits},
    };
    for (const auto& r : refused) {
        window->fields() = {r.programme, r.credit, r.nbcredit, "255"};
        reader.resetExchangeCount();
        r.token ? window->WriteTokenCard() : window->WriteCreditCard();
        EXPECT_EQ(window->info(), r.text) << r.programme << r.credit << r.nbcredit;
        EXPECT_EQ(window->outcome(), DisposableOutcome::Refused);
        EXPECT_EQ(reader.exchangeCount(), 0);
    }
    EXPECT_EQ(card->chip().memory(), before);
    EXPECT_EQ(card->chip().errorCounter(), 7);
}

TEST_F(DisposableTest, AYearPast2255IsRefusedBeforeAnyCardTraffic) {
    workflows::WorkflowOptions options;
    options.today = [] {
        using namespace std::chrono;
        return year{2256} / March / 1;
    };
    window = std::make_unique<workflows::DisposableWorkflow>(state, options);
    window->Load();
    auto card = BlankCard();
    Handle(card);
    reader.resetExchangeCount();
    window->WriteCreditCard();
    EXPECT_EQ(window->info(), texts::kBadDate);
    EXPECT_EQ(reader.exchangeCount(), 0);
}

TEST_F(DisposableTest, AFormattedCardIsRewrittenWithItsOwnBytes) {
    Open();
    state.WriteImage.fill(0xAB); // staging of an earlier card
    auto card = FormattedCard();
    card->chip().memory()[64] = 0;
    card->chip().memory()[65] = 9;
    const card::CardMemory before = card->chip().memory();
    Handle(card);
    EXPECT_EQ(window->outcome(), DisposableOutcome::Rewritten);
    EXPECT_EQ(window->info(), "ecriture OK, retirez la carte");
    EXPECT_EQ(window->indicator(), Indicator::Green);
    EXPECT_EQ(card->chip().memory(), before);
    EXPECT_EQ(reader.count(reader::kInsWriteMemory), 0); // its own bytes: nothing to write
}

TEST_F(DisposableTest, RefusedCodesAndTheLastAttempt) {
    // Insertion of a formatted card whose own code is not its supplier's: refused, red.
    Open();
    auto card = FormattedCard();
    card->chip().setCode(0x123456);
    Handle(card);
    EXPECT_EQ(window->outcome(), DisposableOutcome::CodeRefused);
    EXPECT_EQ(window->indicator(), Indicator::Red);
    EXPECT_EQ(window->info(),
              "Carte vérouillée. Nombre de tentative restante = 2, Retirez la carte");

    // The credit button on a blank card with one attempt left: nothing is presented.
    auto last = BlankWithCounter(7, 0x04, 0x5E2B71);
    Handle(last);
    last->chip().setErrorCounter(1);
    window->WriteCreditCard();
    EXPECT_EQ(window->outcome(), DisposableOutcome::CodeRefused);
    EXPECT_EQ(window->indicator(), Indicator::Red);
    EXPECT_EQ(window->info(),
              "Carte vérouillée. Nombre de tentative restante = 1, Retirez la carte");
    EXPECT_EQ(last->chip().errorCounter(), 1);
    EXPECT_EQ(last->chip().memory()[64], 0xFF);
}

TEST_F(DisposableTest, TheButtonsPresentTheCodeOfTheCardsSupplier) {
    // Once the transport code of supplier 04 was presented to every card: each click cost a
    // card of supplier 35 or 46 one of its attempts.
    Open();
    for (const auto& [supplier, code] :
         {std::pair{0x35, 0x93C4E7}, std::pair{0x46, 0x2F6AD8}, std::pair{0x04, 0x5E2B71}}) {
        for (const bool token : {false, true}) {
            auto card = BlankCard(static_cast<std::uint8_t>(supplier), code);
            Handle(card);
            window->fields().nbcredit = "9";
            window->fields().programme = "3";
            token ? window->WriteTokenCard() : window->WriteCreditCard();
            EXPECT_EQ(window->outcome(), DisposableOutcome::Written) << supplier;
            EXPECT_EQ(card->chip().errorCounter(), 7) << supplier;
            EXPECT_EQ(card->chip().memory()[65], token ? 7 : 9) << supplier;
            Remove();
            window->CardRemoved();
        }
    }
}
