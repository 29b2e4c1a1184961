// Lines per second a flooding device gets through four readers, each on its own run of the same
// flood (301-pulse frame lines from the simulator on a pseudo-terminal):
//   - the port component: driver, worker and delivery of every line to OnRxString on the main
//     thread (QCoreApplication event loop);
//   - a QSerialPort line reader in its event loop;
//   - a Python pyserial readline loop;
//   - a plain read() loop that only counts line ends: the terminal's own ceiling.
// Every reader but the last checks each line against the one sent at its place. The readers take
// turns round by round so a busy machine slows them alike; the medians are reported.
//
// Usage: flood_bench [--rounds N] [--lines N] [--py-lines N] [--only READER]
#include "bench/BenchSupport.h"
#include "serial/SerialLine.h"
#include "serial/ZorComMainCall.h"
#include "serial/ZorComPort.h"
#include "tools/irsim/Protocol.h"
#include "tools/irsim/Simulator.h"

#ifdef DEKODER_BENCH_QSERIALPORT
#include <QSerialPort>
#endif

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryFile>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using bench::Clock;

struct RunResult {
    double rate = 0;      // lines per second
    std::size_t lost = 0; // lines missing or not as sent
    bool finished = false;
};

// Lengths of the flood's lines without CR LF, in order.
std::vector<std::size_t> FloodLineLengths(std::size_t count) {
    std::vector<std::size_t> lengths;
    lengths.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        lengths.push_back(irsim::FrameLine(irsim::FloodFrame(i)).size() - 2);
    }
    return lengths;
}

// Runs the event loop until `tally` is complete, `timeout` passes, or `quit` is called.
class FloodLoop {
public:
    void Quit() { loop_.quit(); }
    void Run(std::chrono::milliseconds timeout) {
        QTimer::singleShot(timeout, &loop_, &QEventLoop::quit);
        loop_.exec();
    }

private:
    QEventLoop loop_;
};

RunResult Finish(const bench::FloodTally& tally) {
    return {tally.Rate(), tally.Lost(), tally.Done()};
}

std::optional<RunResult> RunPortComponent(const std::vector<std::size_t>& lengths) {
    irsim::Simulator device;
    serial::TZorComPort port;
    port.SetComPort(device.SlavePath());
    port.SetBaudRate("38400");
    bool connected = false;
    port.OnConnected = [&](QObject*) { connected = true; };
    bench::FloodTally tally(lengths);
    FloodLoop loop;
    port.OnRxString = [&](QObject*, const std::string& line) {
        tally.Take(line);
        if (tally.Done()) {
            loop.Quit();
        }
    };
    port.SetActive(true);
    port.SetConnected(true);
    if (!bench::WaitUntil([&] { return connected; }, 5s)) {
        std::fprintf(stderr, "port component: no connection to %s\n", device.SlavePath().c_str());
        return std::nullopt;
    }
    device.Flood(lengths.size());
    loop.Run(120s);
    port.SetActive(false);
    return Finish(tally);
}

#ifdef DEKODER_BENCH_QSERIALPORT
std::optional<RunResult> RunQSerialPort(const std::vector<std::size_t>& lengths) {
    irsim::Simulator device;
    QSerialPort port;
    port.setPortName(QString::fromStdString(device.SlavePath()));
    port.setBaudRate(38400);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "QSerialPort: %s\n", port.errorString().toLocal8Bit().constData());
        return std::nullopt;
    }
    bench::FloodTally tally(lengths);
    FloodLoop loop;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        while (port.canReadLine()) {
            const QByteArray line = port.readLine();
            tally.Take(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
        }
        if (tally.Done()) {
            loop.Quit();
        }
    });
    device.Flood(lengths.size());
    loop.Run(120s);
    return Finish(tally);
}
#endif

// The terminal's ceiling: large reads, line ends counted, nothing else.
std::optional<RunResult> RunRawRead(std::size_t count) {
    irsim::Simulator device;
    const int fd = ::open(device.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::perror("open");
        return std::nullopt;
    }
    device.Flood(count);
    std::vector<char> buffer(1 << 16);
    std::size_t lines = 0;
    Clock::time_point first{};
    Clock::time_point last{};
    const Clock::time_point deadline = Clock::now() + 120s;
    while (lines < count && Clock::now() < deadline) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        const std::size_t ends =
            static_cast<std::size_t>(std::count(buffer.data(), buffer.data() + n, '\n'));
        if (ends > 0) {
            last = Clock::now();
            if (lines == 0) {
                first = last;
            }
            lines += ends;
        }
    }
    ::close(fd);
    RunResult result;
    result.finished = lines >= count;
    result.lost = lines >= count ? 0 : count - lines;
    // Lines after the first read that held a line end, over the time until the last one.
    result.rate = lines > 1 ? static_cast<double>(lines - 1) / bench::Seconds(first, last) : 0;
    return result;
}

// The pyserial reader runs as its own process; it reports its own first and last arrival.
std::optional<RunResult> RunPyserial(const std::vector<std::size_t>& lengths,
                                     const std::string& script) {
    irsim::Simulator device;
    QTemporaryFile lengthFile;
    if (!lengthFile.open()) {
        return {};
    }
    for (const std::size_t length : lengths) {
        lengthFile.write(QByteArray::number(static_cast<qulonglong>(length)) + '\n');
    }
    lengthFile.flush();
    const char* const python = std::getenv("DEKODER_PYTHON");
    const std::string command = std::string(python && *python ? python : "/usr/bin/python3") +
                                " '" + script + "' '" + device.SlavePath() + "' " +
                                std::to_string(lengths.size()) + " '" +
                                lengthFile.fileName().toStdString() + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> reader(::popen(command.c_str(), "r"), ::pclose);
    if (!reader) {
        std::perror("popen");
        return {};
    }
    std::array<char, 256> text{};
    if (!std::fgets(text.data(), text.size(), reader.get()) ||
        std::strncmp(text.data(), "READY", 5) != 0) {
        std::fprintf(stderr, "pyserial reader did not start\n");
        return {};
    }
    device.Flood(lengths.size());
    if (!std::fgets(text.data(), text.size(), reader.get())) {
        return {};
    }
    unsigned long long lines = 0;
    unsigned long long good = 0;
    long long first = 0;
    long long last = 0;
    if (std::sscanf(text.data(), "RESULT %llu %llu %lld %lld", &lines, &good, &first, &last) != 4) {
        std::fprintf(stderr, "pyserial reader: %s", text.data());
        return {};
    }
    RunResult result;
    result.finished = lines >= lengths.size();
    result.lost = lengths.size() - std::min<std::size_t>(good, lengths.size());
    result.rate =
        lines > 1 ? static_cast<double>(lines - 1) * 1e9 / static_cast<double>(last - first) : 0;
    return result;
}

// Where the port component's time per line goes, measured apart: the driver alone, making the
// worker's passes (wait, line, presence probe, one read of the modem lines) on the flood with
// nobody to hand the lines to ...
std::optional<RunResult> RunDriverPasses(const std::vector<std::size_t>& lengths) {
    irsim::Simulator device;
    serial::TSerialLine line;
    line.OpenPort(device.SlavePath());
    line.ConfigureLine(38400, 8, 'N', 0, false, false);
    if (line.LastErrorCode() != 0) {
        std::fprintf(stderr, "driver: %s\n", line.LastErrorText().c_str());
        return std::nullopt;
    }
    bench::FloodTally tally(lengths);
    device.Flood(lengths.size());
    const Clock::time_point deadline = Clock::now() + 120s;
    while (!tally.Done() && Clock::now() < deadline) {
        if (line.WaitReadableOrBuffered(2)) {
            const std::string received = line.ReceiveLine(200);
            if (!received.empty()) {
                tally.Take(received);
            }
        }
        line.ReadLineSettings();
        line.ReadModemLines();
    }
    return Finish(tally);
}

// ... and the hand-over alone: a thread running empty calls on the main thread through the
// component's call channel and waiting for each, as the worker does for every line.
class ChannelReceiver : public QObject {
public:
    static int EventType() {
        static const int type = QEvent::registerEventType();
        return type;
    }
    serial::TMainCallChannel channel{[this] {
        QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(EventType())));
    }};

protected:
    void customEvent(QEvent*) override { channel.RunPending(); }
};

double RunHandOvers(std::size_t count) {
    ChannelReceiver receiver;
    std::atomic<bool> done{false};
    Clock::time_point start = Clock::now();
    Clock::time_point end = start;
    std::thread worker([&] {
        start = Clock::now();
        for (std::size_t i = 0; i < count; ++i) {
            receiver.channel.Call([] {});
        }
        end = Clock::now();
        done.store(true);
    });
    bench::WaitUntil([&] { return done.load(); }, 120s);
    receiver.channel.Close();
    worker.join();
    return static_cast<double>(count) / bench::Seconds(start, end);
}

struct Series {
    std::vector<double> rates;
    std::map<std::size_t, double> byRound;
    std::size_t lost = 0;
    std::size_t lines = 0;
    bool complete = true;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::size_t rounds = bench::ArgValue(argc, argv, "--rounds", 5);
    const std::size_t lines = bench::ArgValue(argc, argv, "--lines", 20000);
    const std::size_t pyLines = bench::ArgValue(argc, argv, "--py-lines", 300);
    const std::string script = DEKODER_BENCH_DIR "/pyserial_reader.py";

    const std::vector<std::size_t> lengths = FloodLineLengths(lines);
    const std::vector<std::size_t> pyLengths = FloodLineLengths(pyLines);
    double bytes = 0;
    for (const std::size_t length : lengths) {
        bytes += static_cast<double>(length + 2);
    }
    const double lineBytes = bytes / static_cast<double>(lines);

    const std::vector<std::string> readers = {"TZorComPort", "QSerialPort", "pyserial",
                                              "read() loop", "driver passes alone"};
    // --only NAME measures one reader alone (for profiling).
    std::string only;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--only") == 0) {
            only = argv[i + 1];
        }
    }
    std::map<std::string, Series> series;
    for (std::size_t round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < readers.size(); ++k) {
            const std::string& name = readers[(round + k) % readers.size()];
            if (!only.empty() && name != only) {
                continue;
            }
            std::optional<RunResult> result;
            std::size_t expected = lines;
            if (name == "TZorComPort") {
                result = RunPortComponent(lengths);
            } else if (name == "QSerialPort") {
#ifdef DEKODER_BENCH_QSERIALPORT
                result = RunQSerialPort(lengths);
#endif
            } else if (name == "pyserial") {
                expected = pyLines;
                result = RunPyserial(pyLengths, script);
            } else if (name == "driver passes alone") {
                result = RunDriverPasses(lengths);
            } else {
                result = RunRawRead(lines);
            }
            if (!result) {
                continue;
            }
            Series& s = series[name];
            s.rates.push_back(result->rate);
            s.byRound[round] = result->rate;
            s.lost += result->lost;
            s.lines += expected;
            s.complete = s.complete && result->finished;
            std::fprintf(stderr, "round %zu %-12s %10.0f lines/s lost %zu\n", round + 1,
                         name.c_str(), result->rate, result->lost);
        }
    }

    // The port component against a peer: the median of the rounds' ratios, each taken between
    // runs made one right after the other, so a change of load between rounds cancels out.
    const auto ratio = [&](const std::string& peer) {
        const auto a = series.find("TZorComPort");
        const auto b = series.find(peer);
        std::vector<double> ratios;
        if (a != series.end() && b != series.end()) {
            for (const auto& [round, rate] : a->second.byRound) {
                const auto other = b->second.byRound.find(round);
                if (other != b->second.byRound.end() && other->second > 0) {
                    ratios.push_back(rate / other->second);
                }
            }
        }
        return ratios.empty() ? 0.0 : bench::Median(ratios);
    };
    std::printf("Flood of %zu lines (pyserial: %zu) of %.0f bytes on average, %zu rounds; "
                "medians, with the lowest and highest round.\n\n",
                lines, pyLines, lineBytes, rounds);
    bench::PrintRow({"Reader", "lines/s (median)", "min – max", "MB/s", "lost lines",
                     "TZorComPort ÷ reader (median of rounds)"});
    bench::PrintRow({"---", "---:", "---:", "---:", "---:", "---:"});
    for (const std::string& name : readers) {
        const auto found = series.find(name);
        if (found == series.end()) {
            bench::PrintRow({name, "not measured", "", "", "", ""});
            continue;
        }
        const Series& s = found->second;
        const double rate = bench::Median(s.rates);
        const auto [low, high] = std::minmax_element(s.rates.begin(), s.rates.end());
        bench::PrintRow({name, bench::Fixed(rate, 0),
                         bench::Fixed(*low, 0) + " – " + bench::Fixed(*high, 0),
                         bench::Fixed(rate * lineBytes / 1e6, 1),
                         std::to_string(s.lost) + " of " + std::to_string(s.lines) +
                             (s.complete ? "" : " (incomplete)"),
                         ratio(name) > 0 ? bench::Fixed(ratio(name), 2) + "×" : "–"});
    }
    std::vector<double> handOvers;
    for (std::size_t round = 0; round < rounds && (only.empty() || only == "hand-over"); ++round) {
        handOvers.push_back(RunHandOvers(lines));
    }
    if (!handOvers.empty()) {
        const double perSecond = bench::Median(handOvers);
        std::printf("\nWhere the port component's time goes: the driver's passes alone (row "
                    "above) and the worker-to-main-thread hand-over alone: %.0f empty calls/s "
                    "(%.1f µs each, median of %zu rounds).\n",
                    perSecond, 1e6 / perSecond, handOvers.size());
    }
    const double py = ratio("pyserial");
    const double qsp = ratio("QSerialPort");
    const std::size_t ourLost = series.count("TZorComPort") ? series["TZorComPort"].lost : lines;
    std::printf("\n");
    bench::PrintRow({"Target", "Measured", "Verdict"});
    bench::PrintRow({"---", "---:", "---"});
    bench::PrintRow(
        {"≥ 100× pyserial", py > 0 ? bench::Fixed(py, 1) + "×" : "–", bench::Verdict(py >= 100)});
    bench::PrintRow({"≥ 0.3× QSerialPort", qsp > 0 ? bench::Fixed(qsp, 2) + "×" : "–",
                     bench::Verdict(qsp >= 0.3)});
    bench::PrintRow(
        {"0 lost lines (TZorComPort)", std::to_string(ourLost), bench::Verdict(ourLost == 0)});
    return 0;
}
