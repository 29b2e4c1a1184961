// The program as a process: start-up to the main window shown (against a bare Qt window program
// in the same run), closing with the port open, peak memory, and the processor time it uses while
// idle with the port open and with no port. The simulated device lives in this process; the
// program (bench/probe_main.cpp) and the bare window are started as child processes and report
// their moments on standard output.
//
// Usage: process_bench PROBE BARE_WINDOW [--rounds N] [--idle-ms N] [--frames N]
#include "bench/BenchSupport.h"
#include "serial/SerialLine.h"
#include "settings/ZorTools.h"
#include "tools/irsim/Simulator.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using bench::Clock;

// One child process with its standard output on a pipe, read line by line.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& extraEnv) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            env.emplace_back(*e);
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (std::string& entry : env) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        std::string arg0 = program;
        char* argv[] = {arg0.data(), nullptr};

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        start_ = Clock::now();
        const int error =
            ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
        if (error != 0) {
            pid_ = -1;
            std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), std::strerror(error));
        }
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL); // our own child, left behind by a failed run
            Reap();
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    Clock::time_point Start() const { return start_; }

    // The next line of output whose first word is `key`, with the key removed; nullopt on time-out
    // or end of output.
    std::optional<std::string> Expect(const std::string& key, std::chrono::milliseconds timeout) {
        const Clock::time_point deadline = Clock::now() + timeout;
        for (;;) {
            const std::size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                const std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (line.rfind(key + " ", 0) == 0) {
                    return line.substr(key.size() + 1);
                }
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return std::nullopt;
            }
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) {
                return std::nullopt;
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Waits for the exit; the moment it was seen, and the peak resident memory in KiB.
    struct Exit {
        Clock::time_point at;
        long maxRssKiB = 0;
        int status = 0;
    };
    std::optional<Exit> Wait(std::chrono::milliseconds timeout) {
        const Clock::time_point deadline = Clock::now() + timeout;
        while (pid_ > 0) {
            int status = 0;
            rusage usage{};
            const pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
            if (done == pid_) {
                pid_ = -1;
                return Exit{Clock::now(), usage.ru_maxrss, status};
            }
            if (Clock::now() >= deadline) {
                return std::nullopt;
            }
            ::usleep(200);
        }
        return std::nullopt;
    }

private:
    void Reap() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
    Clock::time_point start_{};
};

Clock::time_point FromNs(const std::string& text) {
    return Clock::time_point(std::chrono::nanoseconds(std::stoll(text)));
}

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The start-up's phases, ms: exec and loading up to main(), the application object, the windows'
// creation, the first paint.
constexpr const char* PhaseNames[] = {"process start → main() entered", "application object made",
                                      "windows created", "window shown (first paint done)"};
constexpr std::size_t PhaseCount = 4;

struct StartClose {
    double phases[PhaseCount] = {};
    double startMs = 0; // process start to window shown
    double closeMs = 0; // close asked to process gone
    double rssMiB = 0;
};

std::optional<StartClose> RunStartClose(const std::string& program,
                                        const std::vector<std::string>& env, bool link) {
    Child child(program, env);
    if (!child.Started()) {
        return std::nullopt;
    }
    const auto entered = child.Expect("MAIN", 30s);
    const auto made = child.Expect("APP", 30s);
    const auto created = child.Expect("CREATED", 30s);
    const auto shown = child.Expect("SHOWN", 30s);
    if (!entered || !made || !created) {
        std::fprintf(stderr, "%s: start-up moments missing\n", program.c_str());
        return std::nullopt;
    }
    if (link && !child.Expect("LINKED", 10s)) {
        std::fprintf(stderr, "%s: no link\n", program.c_str());
        return std::nullopt;
    }
    const auto close = child.Expect("CLOSE", 10s);
    const auto exit = child.Wait(10s);
    if (!shown || !close || !exit) {
        std::fprintf(stderr, "%s did not show, close or end in time\n", program.c_str());
        return std::nullopt;
    }
    StartClose result;
    result.phases[0] = Ms(child.Start(), FromNs(*entered));
    result.phases[1] = Ms(FromNs(*entered), FromNs(*made));
    result.phases[2] = Ms(FromNs(*made), FromNs(*created));
    result.phases[3] = Ms(FromNs(*created), FromNs(*shown));
    result.startMs = Ms(child.Start(), FromNs(*shown));
    result.closeMs = Ms(FromNs(*close), exit->at);
    result.rssMiB = static_cast<double>(exit->maxRssKiB) / 1024.0;
    return result;
}

std::optional<double> RunIdle(const std::string& program, const std::vector<std::string>& env,
                              bool link) {
    Child child(program, env);
    if (!child.Started() || (link && !child.Expect("LINKED", 30s))) {
        return std::nullopt;
    }
    const auto idle = child.Expect("IDLE", 60s);
    child.Wait(10s);
    if (!idle) {
        return std::nullopt;
    }
    std::istringstream numbers(*idle);
    double cpu = 0;
    double wall = 1;
    numbers >> cpu >> wall;
    return 100.0 * cpu / wall;
}

void SavePort(const std::string& port) {
    settings::WriteRegString(QStringLiteral("Port komunikacyjny"), QString::fromStdString(port),
                             settings::AppKeyPath);
}

struct Loaded {
    double rssMiB = 0;
    double closeMs = 0; // asked while the device still floods
};

// The program draws `frames` flood frames and is closed while the device sends as many again.
std::optional<Loaded> RunFrames(const std::string& program, const std::vector<std::string>& env,
                                std::size_t frames) {
    irsim::Simulator device;
    SavePort(device.SlavePath());
    Child child(program, env);
    if (!child.Started() || !child.Expect("LINKED", 30s)) {
        return std::nullopt;
    }
    device.Flood(2 * frames);
    const bool all = child.Expect("FRAMES", 60s).has_value();
    const auto close = child.Expect("CLOSE", 10s);
    const auto exit = child.Wait(10s);
    if (!all || !close || !exit) {
        return std::nullopt;
    }
    return Loaded{static_cast<double>(exit->maxRssKiB) / 1024.0, Ms(FromNs(*close), exit->at)};
}

// CPU share of the worker's passes alone on an open, silent port: a thread making them as the
// worker does (2 ms wait for input, presence probe, four modem reads) for `duration`.
struct PassCost {
    double percent = 0;
    double passesPerSecond = 0;
    double microsPerPass = 0;
};

std::optional<PassCost> IdlePassCost(std::chrono::milliseconds duration) {
    irsim::SimulatorOptions options;
    options.silent = true;
    irsim::Simulator device(options);
    serial::TSerialLine line;
    line.OpenPort(device.SlavePath());
    line.ConfigureLine(38400, 8, 'N', 0, false, false);
    if (line.LastErrorCode() != 0) {
        return std::nullopt;
    }
    const auto cpu = [] {
        rusage usage{};
        ::getrusage(RUSAGE_THREAD, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const double cpu0 = cpu();
    const Clock::time_point start = Clock::now();
    std::size_t passes = 0;
    while (Clock::now() - start < duration) {
        if (line.WaitReadableOrBuffered(2)) {
            line.ReceiveLine(200);
        }
        line.ReadLineSettings();
        line.ClearToSend();
        line.DataSetReady();
        line.CarrierDetect();
        line.RingIndicator();
        ++passes;
    }
    const double wall = bench::Seconds(start, Clock::now());
    const double used = cpu() - cpu0;
    return PassCost{100.0 * used / wall, static_cast<double>(passes) / wall,
                    1e6 * used / static_cast<double>(passes)};
}

std::string Range(const std::vector<double>& v, int decimals) {
    const auto [low, high] = std::minmax_element(v.begin(), v.end());
    return bench::Fixed(*low, decimals) + " – " + bench::Fixed(*high, decimals);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PROBE BARE_WINDOW [--rounds N] [--idle-ms N]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const std::string probe = argv[1];
    const std::string bare = argv[2];
    const std::size_t rounds = bench::ArgValue(argc, argv, "--rounds", 7);
    const std::size_t idleMs = bench::ArgValue(argc, argv, "--idle-ms", 10000);
    const std::size_t frames = bench::ArgValue(argc, argv, "--frames", 1000);

    bench::PrivateConfigHome config;
    const std::string platform = qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
                                     ? qEnvironmentVariable("QT_QPA_PLATFORM").toStdString()
                                     : std::string("offscreen");
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=" + platform};
    std::vector<std::string> textEnv = env;
    textEnv.emplace_back("BARE_WINDOW_TEXT=1");
    std::vector<std::string> linked = env;
    linked.emplace_back("DEKODER_PROBE_LINK=1");

    // Start and close: the program (its saved port open, the device answering), the bare window
    // and the bare window with a line of text take turns.
    std::vector<double> programStart;
    std::vector<double> bareStart;
    std::vector<double> textStart;
    std::vector<double> programClose;
    std::vector<double> bareClose;
    std::vector<double> ratios;
    std::vector<double> textRatios;
    std::vector<double> programRss;
    std::vector<double> bareRss;
    std::vector<double> programPhases[PhaseCount];
    std::vector<double> barePhases[PhaseCount];
    std::vector<double> textPhases[PhaseCount];
    {
        irsim::Simulator device;
        SavePort(device.SlavePath());
        for (std::size_t round = 0; round < rounds; ++round) {
            const auto ours = RunStartClose(probe, env, false);
            const auto theirs = RunStartClose(bare, env, false);
            const auto text = RunStartClose(bare, textEnv, false);
            if (ours && theirs && text) {
                programStart.push_back(ours->startMs);
                bareStart.push_back(theirs->startMs);
                textStart.push_back(text->startMs);
                bareClose.push_back(theirs->closeMs);
                ratios.push_back(ours->startMs / theirs->startMs);
                textRatios.push_back(ours->startMs / text->startMs);
                programRss.push_back(ours->rssMiB);
                bareRss.push_back(theirs->rssMiB);
                for (std::size_t p = 0; p < PhaseCount; ++p) {
                    programPhases[p].push_back(ours->phases[p]);
                    barePhases[p].push_back(theirs->phases[p]);
                    textPhases[p].push_back(text->phases[p]);
                }
            }
            if (const auto closing = RunStartClose(probe, linked, true)) {
                programClose.push_back(closing->closeMs);
            }
            std::fprintf(stderr, "start and close: round %zu done\n", round + 1);
        }
    }

    std::vector<std::string> framesEnv = env;
    framesEnv.emplace_back("DEKODER_PROBE_MODE=frames");
    framesEnv.emplace_back("DEKODER_PROBE_FRAMES=" + std::to_string(frames));
    const std::optional<Loaded> loaded = RunFrames(probe, framesEnv, frames);

    std::vector<std::string> idleEnv = env;
    idleEnv.emplace_back("DEKODER_PROBE_MODE=idle");
    idleEnv.emplace_back("DEKODER_PROBE_IDLE_MS=" + std::to_string(idleMs));
    std::vector<std::string> idleLinked = idleEnv;
    idleLinked.emplace_back("DEKODER_PROBE_LINK=1");
    std::optional<double> idleOpen;
    {
        irsim::Simulator device;
        SavePort(device.SlavePath());
        idleOpen = RunIdle(probe, idleLinked, true);
    }
    SavePort("/nonexistent/ttyIR0");
    const std::optional<double> idleNoPort = RunIdle(probe, idleEnv, false);
    const std::optional<PassCost> passCost = IdlePassCost(2s);

    const auto text = [](const std::optional<double>& v, int decimals) {
        return v ? bench::Fixed(*v, decimals) : std::string("not measured");
    };
    const auto withRange = [](const std::vector<double>& v) {
        return bench::Fixed(bench::Median(v), 1) + " (" + Range(v, 1) + ")";
    };
    std::printf("Start and close: %zu rounds on the %s platform, the program and the bare windows "
                "taking turns; medians, with the lowest and highest round in brackets.\n\n",
                rounds, platform.c_str());
    bench::PrintRow(
        {"Measure", "Program", "Bare Qt window", "Bare window with text", "Target", "Verdict"});
    bench::PrintRow({"---", "---:", "---:", "---:", "---:", "---"});
    if (!ratios.empty()) {
        const double ratio = bench::Median(ratios);
        bench::PrintRow({"process start → main window shown (ms)", withRange(programStart),
                         withRange(bareStart), withRange(textStart), "", ""});
        bench::PrintRow({"start-up, program ÷ yardstick (median of the rounds' ratios)", "",
                         bench::Fixed(ratio, 2) + "×",
                         bench::Fixed(bench::Median(textRatios), 2) + "×", "≤ 1.5× bare",
                         bench::Verdict(ratio <= 1.5)});
        const double rss = *std::max_element(programRss.begin(), programRss.end());
        bench::PrintRow({"peak resident memory, start and close (MiB, highest round)",
                         bench::Fixed(rss, 1),
                         bench::Fixed(*std::max_element(bareRss.begin(), bareRss.end()), 1), "",
                         "≤ 80", bench::Verdict(rss <= 80)});
    }
    if (loaded) {
        bench::PrintRow({"peak resident memory, " + std::to_string(frames) + " frames drawn (MiB)",
                         bench::Fixed(loaded->rssMiB, 1), "", "", "≤ 80",
                         bench::Verdict(loaded->rssMiB <= 80)});
    } else {
        bench::PrintRow(
            {"peak resident memory, frames drawn", "not measured", "", "", "≤ 80", "not measured"});
    }
    if (!programClose.empty()) {
        const double close = bench::Median(programClose);
        bench::PrintRow({"close asked → process gone, port open (ms)", withRange(programClose),
                         bareClose.empty() ? "" : bench::Fixed(bench::Median(bareClose), 1), "",
                         "≤ 300", bench::Verdict(close <= 300)});
    }
    if (loaded) {
        bench::PrintRow({"close asked → process gone, port open, device flooding (ms, one run)",
                         bench::Fixed(loaded->closeMs, 1), "", "", "≤ 300",
                         bench::Verdict(loaded->closeMs <= 300)});
    }
    if (!ratios.empty()) {
        std::printf("\nWhere the start-up goes (medians of each phase, ms):\n\n");
        bench::PrintRow({"Phase", "Program", "Bare Qt window", "Bare window with text"});
        bench::PrintRow({"---", "---:", "---:", "---:"});
        for (std::size_t p = 0; p < PhaseCount; ++p) {
            bench::PrintRow({PhaseNames[p], bench::Fixed(bench::Median(programPhases[p]), 1),
                             bench::Fixed(bench::Median(barePhases[p]), 1),
                             bench::Fixed(bench::Median(textPhases[p]), 1)});
        }
    }
    std::printf("\nIdle: processor time of the whole program (all threads) over %.1f s, the device "
                "silent, after 1 s of settling.\n\n",
                static_cast<double>(idleMs) / 1000.0);
    bench::PrintRow({"Measure", "CPU, % of one core", "Target", "Verdict"});
    bench::PrintRow({"---", "---:", "---:", "---"});
    bench::PrintRow({"port open, device answering, no frames", text(idleOpen, 2), "≤ 1",
                     idleOpen ? bench::Verdict(*idleOpen <= 1) : std::string("not measured")});
    bench::PrintRow({"no port (the saved port does not exist)", text(idleNoPort, 2), "≤ 1",
                     idleNoPort ? bench::Verdict(*idleNoPort <= 1) : std::string("not measured")});
    if (passCost) {
        bench::PrintRow({"the worker's passes alone on an open silent port (" +
                             bench::Fixed(passCost->passesPerSecond, 0) + " passes/s, " +
                             bench::Fixed(passCost->microsPerPass, 1) + " µs CPU each)",
                         bench::Fixed(passCost->percent, 2), "", ""});
    }
    return 0;
}
