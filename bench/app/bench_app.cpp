// Figures of ostrel-admin with the simulated reader and no card:
//   idle      CPU time of the real program over a stretch of idle time (30 s unless given)
//   start-up  from exec to the main window's first paint, median of several runs
//   tick      cost of one reader-monitor tick that sees no change
// usage: bench_app [IDLE_SECONDS]
#include "admin_program.h"
#include "main_kestrix.h"
#include "monitor_view.h"
#include "reader/simulated_reader.h"
#include "reader/tracing_reader.h"
#include "reader_monitor.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kStartEnv = "OSTREL_BENCH_EXEC_NS";

long long MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// The child's environment: a headless display unless one is there, and a deck of its own.
void PrepareEnvironment(const std::string& dataDir) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("OSTREL_DATA_DIR", dataDir.c_str(), 1);
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// User plus system CPU time of a process, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

void BenchIdle(double seconds) {
    const pid_t pid = Spawn(OSTREL_ADMIN_PATH, {"--reader", "sim"});
    std::this_thread::sleep_for(std::chrono::seconds(2)); // start-up is not idle time
    const double cpuBefore = CpuSeconds(pid);
    const long long wallBefore = MonotonicNs();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = CpuSeconds(pid) - cpuBefore;
    const double wall = double(MonotonicNs() - wallBefore) / 1e9;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::printf("idle: %.2f s of CPU over %.1f s = %.3f %% of one core (ostrel-admin --reader sim, "
                "no card)\n",
                cpu, wall, 100.0 * cpu / wall);
}

// Child side of the start-up figure: the program's own start, watched until its first paint.
int RunStartupChild(int argc, char** argv, long long execNs) {
    QApplication application(argc, argv);
    struct FirstPaint : QObject {
        long long execNs = 0;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                std::printf("%lld\n", MonotonicNs() - execNs);
                std::fflush(stdout);
                watched->removeEventFilter(this);
                QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            }
            return false;
        }
    } watcher;
    watcher.execNs = execNs;
    return ostrel::app::RunAdmin(application, [&](ostrel::app::MainKestrix& window) {
        window.installEventFilter(&watcher);
    });
}

void BenchStartup(const std::string& self, int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        setenv(kStartEnv, std::to_string(MonotonicNs()).c_str(), 1);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(pipeFds[1], STDOUT_FILENO);
            execl(self.c_str(), self.c_str(), "--reader", "sim", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        char buffer[64] = {};
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer - 1);
        close(pipeFds[0]);
        waitpid(pid, nullptr, 0);
        if (n > 0)
            ms.push_back(std::atof(buffer) / 1e6);
    }
    unsetenv(kStartEnv);
    if (ms.empty()) {
        std::printf("start-up: no figure (the child did not paint)\n");
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("start-up: %.1f ms median from exec to the main window's first paint (%zu runs, "
                "%.1f..%.1f ms)\n",
                ms[ms.size() / 2], ms.size(), ms.front(), ms.back());
}

class NullView : public ostrel::app::MonitorView {
public:
    void setCaption(const std::string&) override {}
    void showDump() override {}
    void unloadDump() override {}
    void showWelcome() override {}
    ostrel::workflows::CardEvents* formatWindow() override { return nullptr; }
    ostrel::workflows::CardEvents* disposableWindow() override { return nullptr; }
};

// A trace that goes nowhere: what the trace itself costs, without the terminal's.
class DiscardedTrace : public ostrel::reader::TraceSink {
public:
    void line(std::string_view) override {}
};

// Nanoseconds per tick that sees no change, over ticks ticks of reader.
double TickNs(ostrel::reader::ReaderLibrary& reader, int ticks) {
    ostrel::reader::SharedState state(reader);
    NullView view;
    ostrel::app::ReaderMonitor monitor(state, view);
    monitor.tick();
    const long long start = MonotonicNs();
    for (int i = 0; i < ticks; ++i)
        monitor.tick();
    return double(MonotonicNs() - start) / ticks;
}

// Without a trace the reader is used directly; with one, the desktop program's trace counts the
// quiet polls. Three rounds, interleaved, the best of each kept.
void BenchTick() {
    constexpr int kTicks = 300000;
    double plain = 1e18;
    double traced = 1e18;
    int polls = 0;
    for (int round = 0; round < 3; ++round) {
        ostrel::reader::SimulatedReader simulated;
        plain = std::min(plain, TickNs(simulated, kTicks));
        polls += simulated.pollCount() - 1;
        ostrel::reader::TracingReader tracing(std::make_unique<ostrel::reader::SimulatedReader>(),
                                              std::make_unique<DiscardedTrace>(),
                                              {.showCodes = false, .quietPolls = true});
        traced = std::min(traced, TickNs(tracing, kTicks));
    }
    std::printf("tick: %.1f ns for a tick that sees no change, tracing off (%d ticks, %d polls); "
                "%.1f ns with --trace (%.2f times)\n",
                plain, 3 * kTicks, polls, traced, traced / plain);
}

} // namespace

int main(int argc, char** argv) {
    if (const char* execNs = std::getenv(kStartEnv))
        return RunStartupChild(argc, argv, std::atoll(execNs));
    const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    const std::string dataDir =
        (std::filesystem::temp_directory_path() / ("bench-app-" + std::to_string(getpid())))
            .string();
    PrepareEnvironment(dataDir);
    BenchTick();
    BenchStartup(std::filesystem::canonical("/proc/self/exe").string(), 7);
    BenchIdle(idleSeconds);
    std::filesystem::remove_all(dataDir);
    return 0;
}
