#include "workflow_test_support.h"

#include "card/codecs.h"
#include "workflows/format_workflow.h"
#include "workflows/serial_numbers.h"
#include "workflows/workflow_texts.h"

#include <set>

using namespace ostrel;
using workflows::FormatOutcome;
using workflows::Indicator;
namespace texts = workflows::texts;

namespace {

struct FormatTest : ReaderFixture {
    MemorySerialStore store;
    std::unique_ptr<workflows::FormatWorkflow> format;

    void Open(bool spendLast = false) {
        format = std::make_unique<workflows::FormatWorkflow>(state, store, TestOptions(spendLast));
        format->Load();
    }
    // Inserts card and lets the window handle it, as the reader monitor does.
    void Handle(const std::shared_ptr<reader::VirtualCard>& card) {
        Insert(card);
        format->CardInserted();
    }
};

// The bytes a blank card holds once formatted with serial on 7 December 2026.
card::CardMemory Formatted(card::CardMemory memory, std::int64_t serial) {
    memory[7] = 0x15;
    card::WriteCardLong(memory, 13, serial);
    memory[17] = 1;
    memory[18] = 0x07;
    memory[19] = 0x0C;
    memory[20] = 0x1A;
    memory[255] = 0;
    return memory;
}

} // namespace

TEST_F(FormatTest, LoadShowsThePromptAndTheConfiguredSerial) {
    store.text = "1000191";
    Open();
    EXPECT_TRUE(state.FormatActive);
    EXPECT_EQ(format->info(), "Introduire la carte à formater");
    EXPECT_EQ(format->indicator(), Indicator::Green);
    EXPECT_EQ(format->nextSerialText(), "1000191");
    EXPECT_EQ(format->oldSerialText(), "");
    format->Unload();
    EXPECT_FALSE(state.FormatActive);
}

TEST_F(FormatTest, BlankCardsOfEverySupplierGetHeaderSerialMarkerAndDate) {
    const struct {
        std::uint8_t supplier;
        std::uint32_t code;
    } suppliers[] = {{0x04, 0x5E2B71}, {0x35, 0x93C4E7}, {0x46, 0x2F6AD8}, {0x7A, 0x000000}};
    Open();
    std::int64_t serial = 1000000;
    for (const auto& s : suppliers) {
        auto card = BlankCard(s.supplier, s.code);
        card->chip().memory()[21] = 0x5A; // rewritten with the range, never changed
        card->chip().memory()[100] = 0x33;
        const card::CardMemory before = card->chip().memory();
        Handle(card);
        EXPECT_EQ(format->outcome(), FormatOutcome::Formatted) << int{s.supplier};
        EXPECT_EQ(format->info(), "Formatage OK, retirez la carte");
        EXPECT_EQ(format->indicator(), Indicator::Yellow); // until the card is removed
        EXPECT_EQ(card->chip().memory(), Formatted(before, serial)) << int{s.supplier};
        EXPECT_EQ(card->chip().errorCounter(), 7);
        EXPECT_EQ(format->serialWritten(), serial);
        serial = *workflows::NextMarkedSerial(serial);
        EXPECT_EQ(format->nextSerialText(), std::to_string(serial));
        EXPECT_EQ(store.text, std::to_string(serial));
        Remove();
        format->CardRemoved();
        EXPECT_EQ(format->info(), "Introduire la carte à formater");
        EXPECT_EQ(format->indicator(), Indicator::Green);
    }
}

TEST_F(FormatTest, AbsentKeyGivesTheDefaultSerial) {
    Open();
    EXPECT_EQ(format->nextSerialText(), "1000000");
    auto card = BlankCard();
    Handle(card);
    const auto& m = card->chip().memory();
    EXPECT_EQ((std::array<int, 4>{m[13], m[14], m[15], m[16]}),
              (std::array<int, 4>{0x00, 0x0F, 0x42, 0x40}));
}

TEST_F(FormatTest, TheSerialCrossesTheMarkerBoundaryAndTheCardStaysFormatted) {
    store.text = "1000191";
    Open();
    auto first = BlankCard();
    Handle(first);
    EXPECT_EQ(card::ReadCardLong(first->chip().memory(), 13), 1000191);
    EXPECT_EQ(format->nextSerialText(), "1065472");
    EXPECT_EQ(store.text, "1065472");
    Remove();
    auto second = BlankCard();
    Handle(second);
    EXPECT_EQ(card::ReadCardLong(second->chip().memory(), 13), 1065472);
    EXPECT_EQ(second->chip().memory()[15], 0x42);
    // Both read back as formatted cards, with their own serials.
    Remove();
    format->CardRemoved();
    Handle(first);
    EXPECT_EQ(format->outcome(), FormatOutcome::AlreadyFormatted);
    EXPECT_EQ(format->oldSerialText(), "1000191");
}

TEST_F(FormatTest, AFormattedCardKeepsItsBytesAndItsCounter) {
    store.text = "1065472";
    Open();
    // Staging left over from another card must not reach this one.
    state.WriteImage.fill(0xAB);
    auto card = FormattedCard();
    card->chip().memory()[200] = 0x12;
    const card::CardMemory before = card->chip().memory();
    Handle(card);
    EXPECT_EQ(format->outcome(), FormatOutcome::AlreadyFormatted);
    EXPECT_EQ(format->info(), "Formatage OK, retirez la carte");
    EXPECT_EQ(format->indicator(), Indicator::Green);
    EXPECT_EQ(format->oldSerialText(), "1000000");
    EXPECT_EQ(card->chip().memory(), before);
    EXPECT_EQ(card->chip().errorCounter(), 7);
    EXPECT_EQ(reader.count(reader::kInsWriteMemory), 0); // its own bytes: nothing to write
    EXPECT_EQ(store.saves, 0);
    EXPECT_EQ(format->nextSerialText(), "1065472");
}

TEST_F(FormatTest, RefusedCodesSayHowManyAttemptsAreLeft) {
    // Wrong code (the card's is not its supplier's): what the counter allows and what it says.
    const struct {
        std::uint8_t counter;
        bool spendLast;
        const char* text;
        Indicator indicator;
        std::uint8_t counterAfterLeft; // attempts left afterwards
    } cases[] = {
        {7, false, "Carte vérouillée. Nombre de tentative restante = 2, Retirez la carte",
         Indicator::Yellow, 2},
        {6, false, "Carte vérouillée. Nombre de tentative restante = 1, Retirez la carte",
         Indicator::Yellow, 1},
        {3, false, "Carte vérouillée. Nombre de tentative restante = 1, Retirez la carte",
         Indicator::Yellow, 1},
        // One attempt left: nothing is presented.
        {4, false, "Carte vérouillée. Nombre de tentative restante = 1, Retirez la carte",
         Indicator::Red, 1},
        {1, false, "Carte vérouillée. Nombre de tentative restante = 1, Retirez la carte",
         Indicator::Red, 1},
        {0, false, "Carte définitivement vérouillée, HS !", Indicator::Red, 0},
        {0, true, "Carte définitivement vérouillée, HS !", Indicator::Red, 0},
        // Told to spend it: the refusal locks the card for good.
        {2, true, "Carte définitivement vérouillée, HS !", Indicator::Yellow, 0},
    };
    for (const auto& c : cases) {
        Open(c.spendLast);
        auto card = BlankWithCounter(c.counter, 0x04, 0x111111);
        const card::CardMemory before = card->chip().memory();
        Handle(card);
        EXPECT_EQ(format->outcome(), FormatOutcome::CodeRefused) << int{c.counter};
        EXPECT_EQ(format->info(), c.text) << int{c.counter};
        EXPECT_EQ(format->indicator(), c.indicator) << int{c.counter};
        EXPECT_EQ(card->chip().attemptsLeft(), c.counterAfterLeft) << int{c.counter};
        EXPECT_EQ(card->chip().memory(), before);
        Remove();
    }
}

TEST_F(FormatTest, TheLastAttemptIsSpentOnlyWhenToldAndThenFormats) {
    Open(true);
    auto card = BlankWithCounter(4);
    Handle(card);
    EXPECT_EQ(format->outcome(), FormatOutcome::Formatted);
    EXPECT_EQ(card->chip().errorCounter(), 7); // a match erases the counter back
}

TEST_F(FormatTest, TheFormattedCardBranchAlsoKeepsTheLastAttempt) {
    Open();
    auto card = FormattedCard();
    card->chip().setErrorCounter(2);
    Handle(card);
    EXPECT_EQ(format->outcome(), FormatOutcome::CodeRefused);
    EXPECT_EQ(format->indicator(), Indicator::Red);
    EXPECT_EQ(format->info(),
              "Carte vérouillée. Nombre de tentative restante = 1, Retirez la carte");
    EXPECT_EQ(card->chip().errorCounter(), 2);
    EXPECT_EQ(format->oldSerialText(), "");
}

TEST_F(FormatTest, UnusableConfiguredSerialsFormatNothing) {
    for (const char* text : {"abc", "1000192", "-5", "", "1000000.5"}) {
        store.text = text;
        Open();
        EXPECT_TRUE(format->formattingBlocked()) << text;
        EXPECT_EQ(format->indicator(), Indicator::Red);
        EXPECT_EQ(format->info().rfind("Configuration refusée : ", 0), 0u) << format->info();
        EXPECT_NE(format->problem().find("NextSerial"), std::string::npos);
        auto card = BlankCard();
        const card::CardMemory before = card->chip().memory();
        Handle(card);
        EXPECT_EQ(format->outcome(), FormatOutcome::Blocked);
        EXPECT_EQ(card->chip().memory(), before);
        EXPECT_EQ(card->chip().errorCounter(), 7);
        Remove();
        format->CardRemoved();
        EXPECT_EQ(format->info().rfind("Configuration refusée : ", 0), 0u); // not the prompt
    }
    store.readFails = true;
    Open();
    EXPECT_TRUE(format->formattingBlocked());
}

TEST_F(FormatTest, ASerialThatCannotBeLockedOrSavedFormatsNothing) {
    Open();
    for (const bool lockFails : {true, false}) {
        store.lockFails = lockFails;
        store.saveFails = !lockFails;
        auto card = BlankCard();
        const card::CardMemory before = card->chip().memory();
        Handle(card);
        EXPECT_EQ(format->outcome(), FormatOutcome::Blocked);
        EXPECT_EQ(format->indicator(), Indicator::Red);
        EXPECT_NE(format->problem().find(lockFails ? "verrou refusé" : "disque plein"),
                  std::string::npos);
        EXPECT_EQ(card->chip().memory(), before);
        EXPECT_EQ(card->chip().errorCounter(), 7);
        Remove();
    }
    store.saveFails = false;
    auto card = BlankCard();
    Handle(card);
    EXPECT_EQ(format->outcome(), FormatOutcome::Formatted);
    EXPECT_EQ(card::ReadCardLong(card->chip().memory(), 13), 1000000);
    EXPECT_EQ(store.text, "1000001");
}

TEST_F(FormatTest, ADateTheCardCannotHoldFormatsNothing) {
    workflows::WorkflowOptions options;
    options.today = [] {
        using namespace std::chrono;
        return year{2256} / January / 1;
    };
    format = std::make_unique<workflows::FormatWorkflow>(state, store, options);
    format->Load();
    auto card = BlankCard();
    const card::CardMemory before = card->chip().memory();
    Handle(card);
    EXPECT_EQ(format->info(), texts::kBadDate);
    EXPECT_EQ(card->chip().memory(), before);
    EXPECT_EQ(card->chip().errorCounter(), 7);
}

TEST_F(FormatTest, ACardThatDoesNotAnswerLeavesThePromptYellow) {
    Open();
    auto card = BlankCard();
    card->chip().memory()[0] = 0x3B;
    Handle(card);
    EXPECT_EQ(format->outcome(), FormatOutcome::Nothing);
    EXPECT_EQ(format->info(), "Introduire la carte à formater");
    EXPECT_EQ(format->indicator(), Indicator::Yellow);
}

TEST_F(FormatTest, TheIndicatorIsYellowBeforeAnyCardTraffic) {
    Open();
    int exchangesSeen = -1;
    format->onHandling = [&] {
        EXPECT_EQ(format->indicator(), Indicator::Yellow);
        exchangesSeen = reader.exchangeCount();
    };
    reader.resetExchangeCount();
    Handle(BlankCard());
    EXPECT_EQ(exchangesSeen, 0);
}

TEST_F(FormatTest, AFormatInterruptedAfterItsReservationLeavesAGapNeverADuplicate) {
    // The last read-back's reply was lost: the card holds 1000000 but nothing says OK.
    TempJournal journal;
    format = std::make_unique<workflows::FormatWorkflow>(state, store,
                                                         TestOptions(false, journal.writer()));
    format->Load();
    auto card = BlankCard();
    Insert(card);
    reader.resetExchangeCount();
    reader.planFault(26, reader::FaultKind::FailAfter);
    format->CardInserted();
    reader.clearFaults();
    EXPECT_EQ(format->outcome(), FormatOutcome::Failed);
    EXPECT_EQ(format->nextSerialText(), "1000001"); // taken before the card was written
    EXPECT_EQ(store.text, "1000001");
    Remove();
    format->CardRemoved();
    Handle(card); // the operator tries the same card again: its format is finished
    EXPECT_EQ(format->outcome(), FormatOutcome::Formatted);
    EXPECT_EQ(format->serialWritten(), 1000000);
    EXPECT_EQ(format->oldSerialText(), "1000000");
    EXPECT_EQ(store.text, "1000001");

    const auto entries = journal.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].operation, "formatage");
    EXPECT_EQ(entries[0].serialNew, 1000000);
    EXPECT_EQ(entries[0].outcome, "écrite et vérifiée"); // the entry of the first attempt
}

TEST_F(FormatTest, TheJournalRecordsEveryOutcomeAndAnUnusableOneStopsBeforeTheCard) {
    TempJournal journal;
    format = std::make_unique<workflows::FormatWorkflow>(state, store,
                                                         TestOptions(false, journal.writer()));
    format->Load();
    auto good = BlankCard(0x46, 0x2F6AD8);
    const card::CardMemory before = good->chip().memory();
    Handle(good);
    Remove();
    Handle(BlankWithCounter(7, 0x04, 0x111111)); // its code is not its supplier's
    Remove();
    const auto entries = journal.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].serialNew, 1000000);
    EXPECT_EQ(entries[1].supplier, 0x46);
    EXPECT_EQ(entries[1].outcome, "écrite et vérifiée");
    EXPECT_EQ(entries[1].before, std::string(before.begin(), before.end()));
    const card::CardMemory& after = good->chip().memory();
    EXPECT_EQ(entries[1].after, std::string(after.begin(), after.end()));
    EXPECT_EQ(entries[0].serialNew, std::nullopt); // refused before a serial was taken
    EXPECT_EQ(entries[0].outcome, "code refusé");
    EXPECT_EQ(entries[0].attemptsLeft, 2);
    EXPECT_EQ(entries[0].after, "");

    // A journal that cannot be opened: not even the card's identification is read.
    ostrel::journal::SqliteJournal folder(journal.folder.string());
    format = std::make_unique<workflows::FormatWorkflow>(
        state, store, TestOptions(false, {&folder, "tests", "sim"}));
    format->Load();
    reader.resetExchangeCount();
    Handle(BlankCard());
    EXPECT_EQ(reader.exchangeCount(), 0);
    EXPECT_EQ(format->outcome(), FormatOutcome::Blocked);
    EXPECT_EQ(format->info(), "Journal inutilisable : aucune carte n'est écrite");
    EXPECT_NE(format->problem().find("c'est un dossier"), std::string::npos) << format->problem();
    EXPECT_EQ(store.text, "1000001");
}

namespace {

// The journal of the tests, refusing the entries that take a serial when told to, as a full
// disk or a read-only folder would.
struct RefusingJournal : journal::Journal {
    journal::Journal* inner;
    bool refuseSerials = false;
    bool refuseFinish = false; // as a program killed before it finished its entries
    explicit RefusingJournal(journal::Journal& j) : inner(&j) {}
    bool Open(std::string& error) override { return inner->Open(error); }
    bool Add(const journal::Entry& entry, std::int64_t& id, std::string& error) override {
        if (refuseSerials && entry.serialNew) {
            error = "disque plein";
            return false;
        }
        return inner->Add(entry, id, error);
    }
    bool Finish(std::int64_t id, const std::string& outcome, std::optional<int> attemptsLeft,
                const std::string& after, std::string& error) override {
        if (refuseFinish) {
            error = "tué";
            return false;
        }
        return inner->Finish(id, outcome, attemptsLeft, after, error);
    }
    bool IssuedAt(std::int64_t serial, std::optional<std::string>& time,
                  std::string& error) override {
        return inner->IssuedAt(serial, time, error);
    }
    bool UnfinishedFormat(std::int64_t serial, std::optional<std::int64_t>& id,
                          std::string& error) override {
        return inner->UnfinishedFormat(serial, id, error);
    }
    bool List(const journal::Filter& filter, std::vector<journal::Entry>& entries,
              std::string& error) override {
        return inner->List(filter, entries, error);
    }
    bool Page(const journal::RowFilter& filter, std::optional<std::int64_t> after, int limit,
              std::vector<journal::Entry>& rows, std::string& error) override {
        return inner->Page(filter, after, limit, rows, error);
    }
    bool CountUpTo(const journal::RowFilter& filter, std::int64_t cap, std::int64_t& count,
                   std::string& error) override {
        return inner->CountUpTo(filter, cap, count, error);
    }
    bool Images(std::int64_t id, std::string& before, std::string& after,
                std::string& error) override {
        return inner->Images(id, before, after, error);
    }
    bool History(std::int64_t serial, std::vector<journal::Entry>& rows,
                 std::string& error) override {
        return inner->History(serial, rows, error);
    }
    bool CountByDay(const std::string& zone, const std::string& since, const std::string& until,
                    bool byStation, std::vector<journal::DayCount>& counts,
                    std::string& error) override {
        return inner->CountByDay(zone, since, until, byStation, counts, error);
    }
    bool Record(const journal::Entry& entry, std::int64_t& id, std::string& error) override {
        return inner->Record(entry, id, error);
    }
    std::string Location() const override { return inner->Location(); }
    bool Keep(const journal::Entry& finished, std::string& error) override {
        if (refuseFinish) { // killed: nothing is kept either
            error = "tué";
            return false;
        }
        return inner->Keep(finished, error);
    }
    bool SendPending(std::string& error) override { return inner->SendPending(error); }
    std::size_t PendingCount() override { return inner->PendingCount(); }
    bool ListPending(bool withSetAside, std::vector<journal::PendingOutcome>& outcomes,
                     std::string& error) override {
        return inner->ListPending(withSetAside, outcomes, error);
    }
    std::string SpoolLocation() const override { return inner->SpoolLocation(); }
};

} // namespace

TEST_F(FormatTest, NoSerialIsUsedUpByACardRefusedBeforeItIsWritten) {
    TempJournal journal;
    RefusingJournal refusing(*journal.journal);
    const struct {
        const char* name;
        std::uint8_t counter;
        std::uint32_t code; // the card's own; its supplier's is 5E2B71
        bool journalRefuses, lockFails, saveFails;
    } cases[] = {
        {"code refused", 7, 0x111111, false, false, false},
        {"last attempt withheld", 4, 0x111111, false, false, false},
        {"journal cannot write", 7, 0x5E2B71, true, false, false},
        {"configuration lock refused", 7, 0x5E2B71, false, true, false},
        {"configuration cannot be saved", 7, 0x5E2B71, false, false, true},
    };
    for (const auto& c : cases) {
        store.text = "1000000";
        format = std::make_unique<workflows::FormatWorkflow>(
            state, store, TestOptions(false, {&refusing, "tests", "sim"}));
        format->Load();
        refusing.refuseSerials = c.journalRefuses;
        store.lockFails = c.lockFails;
        store.saveFails = c.saveFails;
        auto refused = BlankWithCounter(c.counter, 0x04, c.code);
        const card::CardMemory before = refused->chip().memory();
        Handle(refused);
        EXPECT_NE(format->outcome(), FormatOutcome::Formatted) << c.name;
        EXPECT_EQ(refused->chip().memory(), before) << c.name;
        EXPECT_EQ(store.text, "1000000") << c.name;
        EXPECT_EQ(format->nextSerialText(), "1000000") << c.name;
        Remove();
        format->CardRemoved();

        // Once the cause is gone, the next card gets the very serial the refused one did not.
        refusing.refuseSerials = store.lockFails = store.saveFails = false;
        auto next = BlankCard();
        Handle(next);
        EXPECT_EQ(format->outcome(), FormatOutcome::Formatted) << c.name << ": " << format->info();
        EXPECT_EQ(card::ReadCardLong(next->chip().memory(), 13), 1000000) << c.name;
        Remove();
        format->CardRemoved();
        // The journal forgets the serial for the next case.
        journal.journal = std::make_unique<ostrel::journal::SqliteJournal>(
            (journal.folder / (std::string(c.name) + ".sqlite")).string());
        refusing.inner = journal.journal.get();
    }
}

TEST_F(FormatTest, AJournalThatVanishedOrWasReplacedIsOpenedAnewWithAWarning) {
    for (const bool removed : {true, false}) {
        TempJournal journal;
        const std::string file = journal.journal->Location();
        std::string error;
        ASSERT_TRUE(journal.journal->Open(error)) << error;
        const std::string copy = file + ".copy"; // the journal as it was before the first card
        std::filesystem::copy_file(file, copy);
        store.text = "1000000";
        format = std::make_unique<workflows::FormatWorkflow>(state, store,
                                                             TestOptions(false, journal.writer()));
        format->Load();
        Handle(BlankCard());
        Remove();
        format->CardRemoved();
        EXPECT_EQ(format->warning(), "");
        if (removed)
            std::filesystem::remove(file);
        else
            std::filesystem::rename(copy, file); // another file, without the first card's row

        auto next = BlankCard();
        Handle(next);
        EXPECT_EQ(format->outcome(), FormatOutcome::Formatted) << format->info();
        EXPECT_EQ(card::ReadCardLong(next->chip().memory(), 13), 1000001) << removed;
        EXPECT_NE(format->warning().find(file), std::string::npos) << format->warning();
        EXPECT_NE(format->warning().find("seule la configuration"), std::string::npos);
        // The row is in the file now at that place, as any other program reads it.
        ostrel::journal::SqliteJournal reader(file);
        std::vector<ostrel::journal::Entry> entries;
        ASSERT_TRUE(reader.List({}, entries, error)) << error;
        ASSERT_EQ(entries.size(), 1u) << removed;
        EXPECT_EQ(entries[0].serialNew, 1000001);
        EXPECT_EQ(entries[0].outcome, "écrite et vérifiée");
        Remove();
    }
}

TEST_F(FormatTest, AFormatCutOffAtAnyExchangeIsFinishedWithItsSerialAtTheNextInsertion) {
    // Every exchange of a format cut off, as a program killed there (its entry left
    // "interrompue") or a card pulled there (the write failed); then the card comes back.
    for (const bool killed : {true, false}) {
        for (int cut = 1;; ++cut) {
            TempJournal journal;
            RefusingJournal records(*journal.journal);
            store.text = "1000000";
            format = std::make_unique<workflows::FormatWorkflow>(
                state, store, TestOptions(false, {&records, "tests", "sim"}));
            format->Load();
            auto card = BlankCard();
            const card::CardMemory before = card->chip().memory();
            Insert(card);
            reader.resetExchangeCount();
            reader.planFault(cut, killed ? reader::FaultKind::Fail : reader::FaultKind::RemoveCard);
            records.refuseFinish = killed;
            format->CardInserted();
            const bool cutOff = reader.exchangeCount() >= cut;
            reader.clearFaults();
            records.refuseFinish = false;
            const card::CardMemory left = card->chip().memory();
            Remove();
            format->CardRemoved();
            if (!cutOff)
                break; // the format ended before this exchange: every one was tried
            const bool heldSerial = left[15] == 0x42 && left[17] == 1;

            Handle(card);
            const std::string at =
                std::string(killed ? "killed" : "pulled") + " at exchange " + std::to_string(cut);
            EXPECT_EQ(format->outcome(), FormatOutcome::Formatted) << at << ": " << format->info();
            EXPECT_EQ(format->info(), "Formatage OK, retirez la carte") << at;
            // A serial the card already held is kept; otherwise it was never written.
            if (heldSerial) {
                EXPECT_EQ(format->serialWritten(), 1000000) << at;
            }
            EXPECT_EQ(card->chip().memory(), Formatted(before, format->serialWritten())) << at;
            // No serial is left on two entries that say a card may hold it, nor "interrompue".
            std::set<std::int64_t> given;
            for (const auto& e : journal.Entries()) {
                if (e.operation != "formatage" || !e.serialNew)
                    continue;
                EXPECT_TRUE(given.insert(*e.serialNew).second) << at;
                if (*e.serialNew == format->serialWritten()) {
                    EXPECT_EQ(e.outcome, "écrite et vérifiée") << at;
                }
            }
            Remove();
        }
    }
}

TEST_F(FormatTest, APartFormattedCardTheJournalDoesNotKnowIsFormattedAnewAndSaysSo) {
    TempJournal journal; // knows nothing of the card
    store.text = "1000001";
    format = std::make_unique<workflows::FormatWorkflow>(state, store,
                                                         TestOptions(false, journal.writer()));
    format->Load();
    auto card = BlankCard();
    const card::CardMemory before = card->chip().memory();
    auto& m = card->chip().memory(); // the serial written, byte 255 not yet
    m[7] = 0x15;
    card::WriteCardLong(m, 13, 1000000);
    m[17] = 1;
    Handle(card);
    EXPECT_EQ(format->outcome(), FormatOutcome::Formatted);
    EXPECT_EQ(format->info(), "formatage incomplet : carte formatée à nouveau, retirez la carte");
    EXPECT_EQ(card->chip().memory(), Formatted(before, 1000001));
    const auto entries = journal.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].serialNew, 1000001);
    EXPECT_EQ(entries[0].serialOld, 1000000); // never given again
}
