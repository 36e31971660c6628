#pragma once

#include "journal/sqlite_journal.h"
#include "reader/shared_state.h"
#include "reader/simulated_reader.h"
#include "recording_reader.h"
#include "test_cards.h"
#include "workflows/serial_store.h"
#include "workflows/workflow_options.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <unistd.h>

// A configuration held in memory; a test can make its saves fail.
class MemorySerialStore : public ostrel::workflows::SerialStore {
public:
    std::optional<std::string> text; // absent key when empty
    bool readFails = false;
    bool saveFails = false;
    bool lockFails = false;
    int saves = 0;
    bool locked = false;

    bool Read(std::string& out, std::string& error) override {
        if (readFails) {
            error = "illisible";
            return false;
        }
        out = text.value_or("1000000");
        return true;
    }
    ostrel::workflows::LockResult Lock(std::string& error) override {
        if (lockFails)
            error = "verrou refusé";
        locked = !lockFails;
        return locked ? ostrel::workflows::LockResult::Taken
                      : ostrel::workflows::LockResult::Failed;
    }
    void Unlock() override { locked = false; }
    bool Save(std::int64_t next, std::string& error) override {
        EXPECT_TRUE(locked) << "a serial is saved under the lock";
        if (saveFails) {
            error = "disque plein";
            return false;
        }
        ++saves;
        text = std::to_string(next);
        return true;
    }
    std::string Location() const override { return "mémoire"; }
};

// 7 December 2026, the date the tests stamp on cards: 07 0C 1A.
inline std::chrono::year_month_day TestDate() {
    using namespace std::chrono;
    return year{2026} / December / 7;
}

inline ostrel::workflows::WorkflowOptions TestOptions(bool spendLast = false,
                                                      ostrel::journal::Writer journal = {}) {
    ostrel::workflows::WorkflowOptions options;
    options.today = TestDate;
    options.spendLastAttempt = spendLast;
    options.journal = std::move(journal);
    return options;
}

// A journal in a fresh temporary folder, removed with it.
struct TempJournal {
    std::filesystem::path folder;
    std::unique_ptr<ostrel::journal::SqliteJournal> journal;

    TempJournal() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("ostrel-journal-" + std::to_string(::getpid()) + "-" + test->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        journal = std::make_unique<ostrel::journal::SqliteJournal>((folder / "j.sqlite").string());
    }
    ~TempJournal() { std::filesystem::remove_all(folder); }
    ostrel::journal::Writer writer() const { return {journal.get(), "tests", "sim"}; }
    std::vector<ostrel::journal::Entry> Entries() const {
        std::vector<ostrel::journal::Entry> entries;
        std::string error;
        EXPECT_TRUE(journal->List({}, entries, error)) << error;
        return entries;
    }
};

// A simulated reader, opened, with the state the workflows share; the test moves cards in and
// out as the reader monitor would report them.
struct ReaderFixture : ::testing::Test {
    RecordingReader reader;
    ostrel::reader::SharedState state{reader};

    ReaderFixture() {
        state.ReaderHandle =
            reader.Open(ostrel::reader::kReaderTypeAny, ostrel::reader::kReaderPortAny);
        state.ReaderState = ostrel::reader::kReaderEmpty;
    }
    void Insert(const std::shared_ptr<ostrel::reader::VirtualCard>& card) {
        reader.insertCard(card);
        state.ReaderState = ostrel::reader::kReaderCardInside;
    }
    void Remove() {
        reader.removeCard();
        state.ReaderState = ostrel::reader::kReaderEmpty;
    }
};

// A blank card whose error counter is set.
inline std::shared_ptr<ostrel::reader::VirtualCard>
BlankWithCounter(std::uint8_t counter, std::uint8_t supplier = 0x04,
                 std::uint32_t code = 0x5E2B71) {
    auto card = BlankCard(supplier, code);
    card->chip().setErrorCounter(counter);
    return card;
}
