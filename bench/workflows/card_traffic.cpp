// Counts, for each card operation, the reader exchanges and the bytes the chip writes, on the
// simulated reader, and prices the writes with a chip-time model: a real SLE4442 spends about
// 5 ms (erase and write) on every byte it is sent, changed or not, and has some 10^4 erase
// cycles per byte. The reference is the fewest exchanges the operation can take with the card
// session routines: 16 reads of 16 bytes to read the card, the error counter and the code for
// each code presentation the operation makes by design, and each changed run of bytes written in
// chunks of up to 32 and read back.
// Usage: card_traffic

#include "card/card_layout.h"
#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/security_code.h"
#include "reader/simulated_reader.h"
#include "workflows/disposable_workflow.h"
#include "workflows/format_workflow.h"
#include "workflows/serial_store.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

using namespace ostrel;

namespace {

constexpr double kMillisecondsPerByteWritten = 5.0;
constexpr int kReadsOfACard = 16;
constexpr int kWriteChunk = 32;

// A simulated reader that counts what passes through it.
class CountingReader : public reader::SimulatedReader {
public:
    std::int32_t ExchangeAPDU(std::int32_t handle, reader::CommandRecord& command) override {
        ++exchanges;
        if (command.ins == reader::kInsWriteMemory)
            bytesWritten += command.lc;
        return SimulatedReader::ExchangeAPDU(handle, command);
    }
    int exchanges = 0;
    int bytesWritten = 0;
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

struct Bench {
    CountingReader reader;
    reader::SharedState state{reader};
    NoStore store;
    workflows::WorkflowOptions options;

    Bench() {
        state.ReaderHandle = reader.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
        options.today = [] {
            using namespace std::chrono;
            return year{2026} / December / 7;
        };
    }

    // Runs operation on card and prints its line.
    void Measure(const char* name, const std::shared_ptr<reader::VirtualCard>& card,
                 int presentations, const std::function<void()>& operation) {
        reader.insertCard(card);
        state.ReaderState = reader::kReaderCardInside;
        const card::CardMemory before = card->chip().memory();
        reader.exchanges = 0;
        reader.bytesWritten = 0;
        operation();
        const int fewest = FewestExchanges(before, card->chip().memory(), presentations);
        std::printf("%-34s %9d %7d %6.2f %8d %10.0f\n", name, reader.exchanges, fewest,
                    static_cast<double>(reader.exchanges) / fewest, reader.bytesWritten,
                    reader.bytesWritten * kMillisecondsPerByteWritten);
        reader.removeCard();
        state.ReaderState = reader::kReaderEmpty;
    }
};

std::shared_ptr<reader::VirtualCard> Blank() {
    return std::make_shared<reader::VirtualCard>(reader::Sle4442Chip::Blank(0x04, 0x5E2B71));
}

} // namespace

int main() {
    Bench bench;
    std::printf("%-34s %9s %7s %6s %8s %10s\n", "operation", "exchanges", "fewest", "ratio",
                "written", "chip ms");

    auto formatted = Blank();
    workflows::FormatWorkflow format(bench.state, bench.store, bench.options);
    format.Load();
    bench.Measure("format a blank card", formatted, 1, [&] { format.CardInserted(); });
    format.CardRemoved();
    if (format.outcome() != workflows::FormatOutcome::Formatted) {
        std::fprintf(stderr, "card_traffic: the blank card was not formatted: %s\n",
                     format.info().c_str());
        return 1;
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
    std::printf("chip time model: %.0f ms per byte written\n", kMillisecondsPerByteWritten);
    return 0;
}
