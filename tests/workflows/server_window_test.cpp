// The formatting window on the series of a PostgreSQL server (the private one scripts/test.sh
// starts): whatever the server does, the window's thread keeps answering while the card waits.
#include "base/waiting.h"
#include "journal/pg_journal.h"
#include "pg_test_database.h"
#include "temp_folder.h"
#include "test_cards.h"
#include "window_test_support.h"
#include "workflows/format_window.h"
#include "workflows/server_serial_series.h"
#include "workflows/workflow_texts.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <iostream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ostrel;
using Clock = std::chrono::steady_clock;

namespace {

// The window's thread runs its event loop, as between the operator's acts, while a 10 ms timer
// of its own records the longest it went without firing.
struct Responsiveness {
    QTimer tick;
    Clock::time_point last = Clock::now();
    Clock::duration longest{};
    int ticks = 0;
    Responsiveness() {
        QObject::connect(&tick, &QTimer::timeout, [this] { Note(); });
        tick.start(10);
    }
    void Note() {
        const auto now = Clock::now();
        longest = std::max(longest, now - last);
        last = now;
        ++ticks;
    }
    // A call made on the window's thread counts as a stall of its own length.
    template <typename Act> void On(Act act) {
        Note();
        act();
        Note();
    }
    void Spin(int milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    }
    long longestMs() const {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(longest).count());
    }
};

workflows::WorkflowOptions Fixed(journal::PgJournal& server, base::Waiting& waiting) {
    workflows::WorkflowOptions options;
    options.today = [] {
        using namespace std::chrono;
        return year{2026} / December / 7;
    };
    options.journal = {&server, "tests", "sim", "Guichet"};
    options.waiting = &waiting;
    return options;
}

struct ServerWindowTest : ::testing::Test {
    TempFolder dir{"ostrel-server-window"};
    PgTestDatabase db{"window", dir.dir().string()};
    reader::SimulatedReader simulator;
    SpyReader spy{simulator};
    reader::SharedState state{spy};
    FakeHost host;

    void SetUp() override {
        if (!db.present()) {
            if (std::getenv("CI"))
                FAIL() << db.why();
            GTEST_SKIP() << db.why();
        }
        ASSERT_TRUE(db.ok()) << db.why();
        ASSERT_EQ(PgTestDatabase::Run(db.adminUri(),
                                      "INSERT INTO ostrel.series(next_serial) VALUES(1000000)"),
                  "");
        state.ReaderHandle = spy.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
        state.ReaderState = reader::kReaderEmpty;
    }
    void Insert(const std::shared_ptr<reader::VirtualCard>& card, workflows::CardEvents& window) {
        simulator.insertCard(card);
        state.ReaderState = reader::kReaderCardInside;
        window.CardInserted();
    }
    void Remove(workflows::CardEvents& window) {
        simulator.removeCard();
        state.ReaderState = reader::kReaderEmpty;
        window.CardRemoved();
    }
    bool Told(const std::string& text) const {
        return std::find(host.waits.begin(), host.waits.end(), text) != host.waits.end();
    }
};

} // namespace

TEST_F(ServerWindowTest, TheSeriesRowHeldByAnotherStationIsAwaitedWhileTheWindowAnswers) {
    const std::string station = db.Station("w");
    enum class End { LetGo, PastTheLimit, CardPulled };
    const struct {
        const char* name;
        End end;
    } cases[] = {
        {"let go", End::LetGo},
        {"held past the limit", End::PastTheLimit},
        {"card pulled while waiting", End::CardPulled},
    };
    for (const auto& c : cases) {
        const std::string next = db.Query("SELECT next_serial FROM ostrel.series");
        // Another station in the middle of its reservation: the series row locked.
        journal::PgConnection other(db.adminUri());
        std::string error;
        ASSERT_TRUE(other.Exec("BEGIN", {}, nullptr, error)) << error;
        ASSERT_TRUE(other.Exec("SELECT next_serial FROM ostrel.series FOR UPDATE", {}, nullptr,
                               error, false))
            << error;
        base::Waiting waiting(c.end == End::PastTheLimit ? std::chrono::milliseconds(400)
                                                         : std::chrono::milliseconds(60000));
        journal::PgJournal server(station, dir.path("spool.sqlite"));
        server.SetWaiting(&waiting);
        workflows::ServerSerialSeries series(server);
        workflows::FormatWindow window(state, host, series, Fixed(server, waiting));
        Responsiveness watch;
        for (int i = 0; i < 200 && LabelText(&window, "lblNextSerial") != next.c_str(); ++i)
            watch.Spin(10);
        EXPECT_EQ(LabelText(&window, "lblNextSerial"), next.c_str()) << c.name;

        auto card = BlankCard();
        const card::CardMemory before = card->chip().memory();
        host.waits.clear();
        watch.On([&] { Insert(card, window); });
        EXPECT_TRUE(window.workflow().pending()) << c.name;
        const int ticksBefore = watch.ticks;
        int toldFor = 0; // spins since the status line said it waits
        bool pulled = false;
        for (int i = 0; window.workflow().pending() && i < 1500; ++i) {
            watch.Spin(20);
            toldFor += Told(journal::kServerWaiting);
            if (toldFor == 10 && c.end == End::LetGo)
                other.Exec("ROLLBACK", {}, nullptr, error, false);
            if (toldFor == 10 && c.end == End::CardPulled) {
                watch.On([&] { Remove(window); });
                pulled = true;
            }
        }
        EXPECT_FALSE(window.workflow().pending()) << c.name;
        EXPECT_GT(watch.ticks, ticksBefore + 5)
            << c.name << ": the window's timers fired meanwhile";
        EXPECT_TRUE(Told(journal::kServerWaiting)) << c.name;
        EXPECT_EQ(host.waits.back(), "") << c.name << ": the status line no longer waits";
        if (c.end == End::LetGo) {
            EXPECT_EQ(LabelText(&window, "lblInfo"), "Formatage OK, retirez la carte") << c.name;
            EXPECT_EQ(card::ReadCardLong(card->chip().memory(), 13), std::stoll(next)) << c.name;
        } else {
            EXPECT_EQ(card->chip().memory(), before) << c.name << ": card touched";
            EXPECT_EQ(card->chip().errorCounter(), 7) << c.name;
        }
        if (c.end == End::PastTheLimit) {
            EXPECT_EQ(LabelText(&window, "lblInfo"), workflows::texts::kServerBusy);
            EXPECT_NE(window.workflow().problem().find("serveur " + station + " : occupé"),
                      std::string::npos)
                << window.workflow().problem();
        }
        EXPECT_EQ(pulled, c.end == End::CardPulled);
        if (!pulled)
            watch.On([&] { Remove(window); });
        other.Exec("ROLLBACK", {}, nullptr, error, false);
        std::cout << "series row " << c.name << ": the window's longest stall " << watch.longestMs()
                  << " ms\n";
    }
    // Only the card let through took a serial: a reservation given up took none.
    EXPECT_EQ(db.Query("SELECT next_serial FROM ostrel.series"), "1000001");
    EXPECT_EQ(db.Query("SELECT count(*) FROM ostrel.operations"), "1");
}

TEST_F(ServerWindowTest, AServerThatNeverAnswersNeverFreezesTheWindow) {
    // A server that takes the connection and then says nothing, as a hung one does: each
    // connection attempt lasts connect_timeout.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof where;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
    ASSERT_EQ(::listen(silent, 16), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&where), &size), 0);
    const std::string address =
        "postgresql://nobody@127.0.0.1:" + std::to_string(ntohs(where.sin_port)) +
        "/x?connect_timeout=2";

    base::Waiting waiting(std::chrono::milliseconds(60000));
    journal::PgJournal server(address, dir.path("spool.sqlite"));
    server.SetWaiting(&waiting);
    workflows::ServerSerialSeries series(server);
    Responsiveness watch;
    auto* window = new workflows::FormatWindow(state, host, series, Fixed(server, waiting));
    watch.On([] {});
    watch.Spin(100); // the next serial is being read

    // A card in while that read waits, taken out while its own operation waits, another in until
    // it is refused, then the window closed while it reads again.
    auto card = BlankCard();
    const card::CardMemory before = card->chip().memory();
    watch.On([&] { Insert(card, *window); });
    watch.Spin(300);
    EXPECT_TRUE(window->workflow().pending());
    watch.On([&] { Remove(*window); });
    EXPECT_FALSE(window->workflow().pending()) << "called off";
    watch.On([&] { Insert(card, *window); });
    for (int i = 0; window->workflow().pending() && i < 500; ++i)
        watch.Spin(20);
    EXPECT_FALSE(window->workflow().pending());
    EXPECT_EQ(LabelText(window, "lblInfo"), workflows::texts::kJournalUnusable);
    EXPECT_NE(window->workflow().problem().find("serveur " + address + " : connexion impossible"),
              std::string::npos)
        << window->workflow().problem();
    EXPECT_EQ(card->chip().memory(), before) << "card touched";
    watch.On([&] { Remove(*window); });
    watch.Spin(100);
    const int ticks = watch.ticks;
    watch.On([&] {
        window->close();
        delete window;
    });
    EXPECT_GT(ticks, 50) << "the window's timers fired throughout";
    ::close(silent);
    std::cout << "server silent: the window's longest stall " << watch.longestMs() << " ms over "
              << ticks << " ticks\n";
}
