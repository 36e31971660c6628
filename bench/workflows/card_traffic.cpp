// Counts, for each card operation, the reader exchanges and the bytes the chip writes, on the
// simulated reader, and prices the writes with a chip-time model: a real SLE4442 spends about
// 5 ms (erase and write) on every byte it is sent, changed or not, and has some 10^4 erase
// cycles per byte. The reference is the fewest exchanges the operation can take with the card
// session routines: 16 reads of 16 bytes to read the card, the error counter and the code for
// each code presentation the operation makes by design, and each changed run of bytes written in
// chunks of up to 32 and read back.
// Then, when pcscd runs with its vpcd reader, the same operations through the PC/SC reader on a
// card served in each reader command set: the reader-library exchanges and the APDUs that
// crossed PC/SC, session starts included (on a USB reader each APDU is a round trip through
// the reader's firmware).
// Usage: card_traffic

#include "card/card_layout.h"
#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/security_code.h"
#include "reader/simulated_reader.h"
#include "workflows/disposable_workflow.h"
#include "workflows/format_workflow.h"
#include "workflows/serial_store.h"

#ifdef OSTREL_BENCH_PCSC
#include "reader/pcsc/pcsc_reader.h"
#include "reader/vpcd/virtual_card_server.h"

#include <chrono>
#include <thread>
#endif

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace ostrel;

namespace {

constexpr double kMillisecondsPerByteWritten = 5.0;
constexpr int kReadsOfACard = 16;
constexpr int kWriteChunk = 32;

// Counts what passes through a reader library, and the APDUs below it.
class CountingLibrary : public reader::ReaderLibrary, public reader::WireObserver {
public:
    explicit CountingLibrary(reader::ReaderLibrary& inner) : inner_(inner) {}
    std::int32_t Open(std::int32_t type, std::int32_t port) override {
        return inner_.Open(type, port);
    }
    std::int32_t Close(std::int32_t handle) override { return inner_.Close(handle); }
    std::int32_t GetInfo(std::int32_t handle, reader::InfoRecord& info) override {
        return inner_.GetInfo(handle, info);
    }
    std::int32_t StartSession(std::int32_t handle, reader::SessionRecord& session) override {
        return inner_.StartSession(handle, session);
    }
    std::int32_t EndSession(std::int32_t handle) override { return inner_.EndSession(handle); }
    std::int32_t ExchangeAPDU(std::int32_t handle, reader::CommandRecord& command) override {
        ++exchanges;
        if (command.ins == reader::kInsWriteMemory)
            bytesWritten += command.lc;
        return inner_.ExchangeAPDU(handle, command);
    }
    void crossed(const Crossing& crossing) override {
        if (crossing.wire == Wire::Pcsc && crossing.operation.empty()) // not a control
            ++apdus;
    }
    void reset() { exchanges = bytesWritten = apdus = 0; }

    int exchanges = 0;
    int bytesWritten = 0;
    int apdus = 0;

private:
    reader::ReaderLibrary& inner_;
};

class NoStore : public workflows::SerialStore {
public:
    bool Read(std::string& text, std::string&) override {
        text = next;
        return true;
    }
    workflows::LockResult Lock(std::string&) override { return workflows::LockResult::Taken; }
    void Unlock() override {}
    bool Save(std::int64_t serial, std::string&) override {
        next = std::to_string(serial);
        return true;
    }
    std::string Location() const override { return "mémoire"; }
    std::string next = "1000000";
};

// The fewest exchanges that turn before into after with presentations code presentations.
int FewestExchanges(const card::CardMemory& before, const card::CardMemory& after,
                    int presentations) {
    int writes = 0;
    for (std::size_t at = 0; at < before.size();) {
        if (before[at] == after[at]) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < before.size() && before[end] != after[end])
            ++end;
        writes += static_cast<int>((end - at + kWriteChunk - 1) / kWriteChunk);
        at = end;
    }
    return kReadsOfACard + 2 * presentations + 2 * writes;
}

// Where the operations put their cards: a reader with a slot.
class Slot {
public:
    virtual ~Slot() = default;
    virtual reader::ReaderLibrary& library() = 0;
    // The card goes in; take() gives back what it holds once it comes out.
    virtual void put(const std::shared_ptr<reader::VirtualCard>& card) = 0;
    virtual void take(const std::shared_ptr<reader::VirtualCard>& card) = 0;
};

class SimulatedSlot : public Slot {
public:
    reader::ReaderLibrary& library() override { return reader_; }
    void put(const std::shared_ptr<reader::VirtualCard>& card) override {
        reader_.insertCard(card);
    }
    void take(const std::shared_ptr<reader::VirtualCard>&) override { reader_.removeCard(); }

private:
    reader::SimulatedReader reader_;
};

struct Figures {
    std::string operation;
    int exchanges = 0;
    int fewest = 0;
    int bytesWritten = 0;
    int apdus = 0;
};

struct Bench {
    Slot& slot;
    CountingLibrary counting{slot.library()};
    reader::SharedState state{counting};
    NoStore store;
    workflows::WorkflowOptions options;
    std::vector<Figures> figures;

    explicit Bench(Slot& s) : slot(s) {
        state.ReaderHandle = counting.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
        options.today = [] {
            using namespace std::chrono;
            return year{2026} / December / 7;
        };
    }

    // Runs operation on card and keeps its figures.
    void Measure(const char* name, const std::shared_ptr<reader::VirtualCard>& card,
                 int presentations, const std::function<void()>& operation) {
        slot.put(card);
        state.ReaderState = reader::kReaderCardInside;
        const card::CardMemory before = card->chip().memory();
        counting.reset();
        operation();
        slot.take(card);
        state.ReaderState = reader::kReaderEmpty;
        figures.push_back({name, counting.exchanges,
                           FewestExchanges(before, card->chip().memory(), presentations),
                           counting.bytesWritten, counting.apdus});
    }
};

std::shared_ptr<reader::VirtualCard> Blank() {
    return std::make_shared<reader::VirtualCard>(reader::Sle4442Chip::Blank(0x04, 0x5E2B71));
}

// The card operations of the programs, each on its card; false when formatting failed.
bool RunOperations(Bench& bench) {
    auto formatted = Blank();
    workflows::FormatWorkflow format(bench.state, bench.store, bench.options);
    format.Load();
    bench.Measure("format a blank card", formatted, 1, [&] { format.CardInserted(); });
    format.CardRemoved();
    if (format.outcome() != workflows::FormatOutcome::Formatted) {
        std::fprintf(stderr, "card_traffic: the blank card was not formatted: %s\n",
                     format.info().c_str());
        return false;
    }
    bench.Measure("identify a formatted card", formatted, 0, [&] {
        reader::IdentifyCard(bench.state);
        reader::EndCardSession(bench.state);
    });
    bench.Measure("formatted card, formatting window", formatted, 1,
                  [&] { format.CardInserted(); });
    format.CardRemoved();
    format.Unload();

    workflows::DisposableWorkflow disposable(bench.state, bench.options);
    disposable.Load();
    bench.Measure("formatted card, disposable window", formatted, 1,
                  [&] { disposable.CardInserted(); });
    disposable.CardRemoved();
    // A blank card is shown after its code on insertion; the button presents it again to write.
    bench.Measure("credit card (7 credits)", Blank(), 2, [&] {
        disposable.CardInserted();
        disposable.fields().nbcredit = "7";
        disposable.WriteCreditCard();
    });
    disposable.CardRemoved();
    bench.Measure("token card (programme 2)", Blank(), 2, [&] {
        disposable.CardInserted();
        disposable.fields().programme = "2";
        disposable.WriteTokenCard();
    });
    disposable.CardRemoved();
    return true;
}

#ifdef OSTREL_BENCH_PCSC
constexpr const char* kVpcdReader = "Virtual PCD 00 00";

bool WaitForCard(reader::ReaderLibrary& library, std::int32_t handle, bool present) {
    using Clock = std::chrono::steady_clock;
    for (const auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end;) {
        reader::InfoRecord info;
        if (library.GetInfo(handle, info) < 0)
            return false;
        if (info.cardPresent() == present)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<std::pair<const reader::dialect::Table*, reader::dialect::Variant>> Emulations() {
    std::vector<std::pair<const reader::dialect::Table*, reader::dialect::Variant>> all;
    for (const reader::dialect::Table* table : reader::dialect::kTables) {
        for (const auto& variant : reader::dialect::kVariants) {
            // A reader that drops writes measures nothing worth timing.
            if (variant.variant != reader::dialect::Variant::DropsWrites &&
                reader::dialect::VariantExists(table->dialect, variant.variant))
                all.emplace_back(table, variant.variant);
        }
    }
    return all;
}

// One card served to the vpcd reader for the whole run, in one command set: putting a card in
// gives the served card that card's chip, so that pcscd sees one insertion only.
class PcscSlot : public Slot {
public:
    PcscSlot(reader::dialect::Dialect dialect, reader::dialect::Variant variant)
        : served_(Blank()), server_(served_, reader::vpcd::kDefaultVpcdPort, dialect, variant) {}
    ~PcscSlot() override {
        pause();
        server_.remove();
        if (handle_ >= 0) {
            WaitForCard(reader_, handle_, false);
            reader_.Close(handle_);
        }
    }
    // False when pcscd with an empty vpcd reader is not there.
    bool ready() {
        handle_ = reader_.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
        std::string error;
        if (handle_ < 0 || reader_.readerName() != kVpcdReader ||
            !WaitForCard(reader_, handle_, false) || !server_.insert(error))
            return false;
        resume();
        return WaitForCard(reader_, handle_, true);
    }
    reader::ReaderLibrary& library() override { return reader_; }
    reader::pcsc::PcscReader& pcsc() { return reader_; }
    void put(const std::shared_ptr<reader::VirtualCard>& card) override {
        pause();
        served_->chip() = card->chip();
        resume();
    }
    void take(const std::shared_ptr<reader::VirtualCard>& card) override {
        pause();
        card->chip() = served_->chip();
        resume();
    }

private:
    void pause() {
        if (serving_.joinable()) {
            server_.stop();
            serving_.join();
        }
    }
    void resume() {
        serving_ = std::thread([this] { server_.serve(); });
    }

    reader::pcsc::PcscReader reader_{kVpcdReader};
    std::int32_t handle_ = -1;
    std::shared_ptr<reader::VirtualCard> served_;
    reader::vpcd::VirtualCardServer server_;
    std::thread serving_;
};

// The operations over PC/SC in each command set and each variant of its replies; false when
// pcscd is not there.
bool MeasurePcsc(std::vector<std::string>& columns, std::vector<std::vector<Figures>>& results) {
    for (const auto& [table, variant] : Emulations()) {
        PcscSlot slot(table->dialect, variant);
        if (!slot.ready())
            return false;
        Bench bench(slot);
        slot.pcsc().setWireObserver(&bench.counting);
        // The command set is found at the first card; the operations measure the ones after.
        bench.Measure("finding the command set", Blank(), 0, [&] {
            reader::IdentifyCard(bench.state);
            reader::EndCardSession(bench.state);
        });
        bench.figures.clear();
        // A reader that cannot format a card shows "-" in its column.
        if (!RunOperations(bench))
            bench.figures.clear();
        columns.push_back(std::string(table->name) +
                          (variant == reader::dialect::Variant::Plain
                               ? ""
                               : "/" + std::string(reader::dialect::NameOf(variant))));
        results.push_back(bench.figures);
    }
    return true;
}
#endif

} // namespace

int main() {
    SimulatedSlot simulated;
    Bench bench(simulated);
    if (!RunOperations(bench))
        return 1;
    std::printf("%-34s %9s %7s %6s %8s %10s\n", "operation", "exchanges", "fewest", "ratio",
                "written", "chip ms");
    for (const Figures& f : bench.figures) {
        std::printf("%-34s %9d %7d %6.2f %8d %10.0f\n", f.operation.c_str(), f.exchanges, f.fewest,
                    static_cast<double>(f.exchanges) / f.fewest, f.bytesWritten,
                    f.bytesWritten * kMillisecondsPerByteWritten);
    }
    std::printf("chip time model: %.0f ms per byte written\n", kMillisecondsPerByteWritten);
#ifdef OSTREL_BENCH_PCSC
    std::vector<std::string> columns;
    std::vector<std::vector<Figures>> results;
    if (!MeasurePcsc(columns, results)) {
        std::printf("PC/SC: skipped, pcscd with an empty vpcd reader is needed\n");
        return 0;
    }
    std::printf("\nPC/SC APDUs per operation (reader-library exchanges after the slash)\n%-34s",
                "operation");
    for (const auto& column : columns)
        std::printf(" %15s", column.c_str());
    std::printf("\n");
    for (std::size_t row = 0; row < bench.figures.size(); ++row) {
        std::printf("%-34s", bench.figures[row].operation.c_str());
        for (const auto& figures : results) {
            const std::string cell = row < figures.size()
                                         ? std::to_string(figures[row].apdus) + " / " +
                                               std::to_string(figures[row].exchanges)
                                         : "-";
            std::printf(" %15s", cell.c_str());
        }
        std::printf("\n");
    }
#endif
    return 0;
}
