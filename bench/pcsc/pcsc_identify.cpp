// Times identifications of a served virtual card over pcscd and its vpcd reader, in each reader
// dialect: through the PC/SC reader (dialect found by itself, the card read whole in one APDU)
// and the card session routines, and as a bare pcsc-lite client sends the reader library's
// reads one by one (connect, the dialect's session start if it has one, 16 reads of 16 bytes,
// disconnect). The two alternate, so that both see the same machine.
// Usage: pcsc_identify [N]   (N identifications of each kind per dialect, default 1000)

#include "card/card_layout.h"
#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/pcsc/pcsc_reader.h"
#include "reader/security_code.h"
#include "reader/shared_state.h"
#include "reader/vpcd/virtual_card_server.h"

#include <PCSC/winscard.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace ostrel::reader;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kReader = "Virtual PCD 00 00";

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The bare client: what an identification sends, and nothing else.
bool BareIdentification(SCARDCONTEXT context, const dialect::Table& table) {
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    if (SCardConnect(context, kReader, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                     &card, &protocol) != SCARD_S_SUCCESS)
        return false;
    const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
    std::uint8_t reply[258];
    DWORD length = sizeof reply;
    bool ok = table.sessionStart.length == 0 ||
              SCardTransmit(card, pci, table.sessionStart.bytes.data(), table.sessionStart.length,
                            nullptr, reply, &length) == SCARD_S_SUCCESS;
    for (int block = 0; ok && block < 16; ++block) {
        const std::uint8_t read[] = {table.read.cla, table.read.ins, 0,
                                     static_cast<std::uint8_t>(16 * block), 16};
        length = sizeof reply;
        ok = SCardTransmit(card, pci, read, sizeof read, nullptr, reply, &length) ==
                 SCARD_S_SUCCESS &&
             length == 18;
    }
    return SCardDisconnect(card, SCARD_RESET_CARD) == SCARD_S_SUCCESS && ok;
}

bool WaitForCard(ReaderLibrary& reader, std::int32_t handle, bool present) {
    for (const auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end;) {
        InfoRecord info;
        if (reader.GetInfo(handle, info) < 0)
            return false;
        if (info.cardPresent() == present)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// n identifications of each kind on a card served in the dialect of table; false when they
// could not be made.
bool TimeDialect(const dialect::Table& table, int n) {
    // A formatted card: identification reads it whole and finds it valid.
    auto card = std::make_shared<VirtualCard>(Sle4442Chip::Blank(0x04, kTransportCode));
    auto& memory = card->chip().memory();
    memory[ostrel::card::layout::kFormatMarker] = ostrel::card::layout::kFormatMarkerValue;
    memory[ostrel::card::layout::kApplicationCode] = 1;
    pcsc::PcscReader reader(kReader);
    SharedState state(reader);
    state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
    // pcscd takes a while to notice that the card of an earlier run went.
    if (state.ReaderHandle < 0 || !WaitForCard(reader, state.ReaderHandle, false)) {
        std::fprintf(stderr, "pcsc_identify: pcscd with an empty vpcd reader is needed\n");
        return false;
    }
    vpcd::VirtualCardServer server(card, vpcd::kDefaultVpcdPort, table.dialect);
    std::string error;
    if (!server.insert(error)) {
        std::fprintf(stderr, "pcsc_identify: %s\n", error.c_str());
        return false;
    }
    std::thread serving([&] { server.serve(); });

    SCARDCONTEXT context = 0;
    bool done = false;
    if (!WaitForCard(reader, state.ReaderHandle, true) ||
        SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
        std::fprintf(stderr,
                     "pcsc_identify: pcscd with the vpcd reader and the served card are needed\n");
    } else {
        std::vector<double> ours, bare;
        bool ok = true;
        // Each kind goes first in every other round: whoever follows a disconnect may wait for
        // the reset it asked for.
        auto timeOurs = [&] {
            const auto t0 = Clock::now();
            const bool identified = IdentifyCard(state) >= 0;
            EndCardSession(state);
            ours.push_back(Milliseconds(t0, Clock::now()));
            return identified;
        };
        auto timeBare = [&] {
            const auto t0 = Clock::now();
            const bool identified = BareIdentification(context, table);
            bare.push_back(Milliseconds(t0, Clock::now()));
            return identified;
        };
        // The first identification finds the dialect; the rounds measure the ones after it.
        // vpcd may take a few seconds to power a card served soon after the last one went.
        for (int tries = 0; !(ok = timeOurs()) && tries < 100; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ours.clear();
        for (int i = 0; i < n && ok; ++i) {
            ok = i % 2 ? timeBare() && timeOurs() : timeOurs() && timeBare();
        }
        if (!ok) {
            std::fprintf(stderr,
                         "pcsc_identify: %s: an identification failed after %zu rounds: %s %s\n",
                         std::string(table.name).c_str(), ours.size(), state.InfoMessage.c_str(),
                         reader.dialectProblem().c_str());
        } else {
            const double mo = Median(ours), mb = Median(bare);
            std::printf("%-8s ours %.3f ms   bare %.3f ms   ratio %.3f\n",
                        std::string(table.name).c_str(), mo, mb, mo / mb);
            done = true;
        }
        SCardReleaseContext(context);
    }
    reader.Close(state.ReaderHandle);
    server.stop();
    serving.join();
    return done;
}

} // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    std::printf("identifications: %d of each kind per dialect, interleaved, medians\n"
                "ours: PcscReader (dialect auto) + IdentifyCard + EndCardSession\n"
                "bare: pcsc-lite connect, session start, 16 reads, disconnect\n",
                n);
    for (const dialect::Table* table : dialect::kTables) {
        if (!TimeDialect(*table, n))
            return 1;
    }
    return 0;
}
