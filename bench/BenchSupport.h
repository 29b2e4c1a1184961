#pragma once

// Small helpers shared by the measuring programs: the clock, medians and percentiles, the check
// that a received flood line is the one expected at its place, and a private settings folder.

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// The number after `name` on the command line ("--rounds 5"), or `fallback`.
inline std::size_t ArgValue(int argc, char** argv, const char* name, std::size_t fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::strtoull(argv[i + 1], nullptr, 10);
        }
    }
    return fallback;
}

// Seconds between two readings of the clock.
inline double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Nanoseconds of the system-wide monotonic clock; comparable between processes on one machine.
inline std::int64_t MonotonicNs(Clock::time_point at = Clock::now()) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

// The value below which a fraction `p` (0..1) of the samples lie, by linear interpolation; NaN for
// no samples.
inline double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) {
        return std::nan("");
    }
    std::sort(samples.begin(), samples.end());
    const double rank = p * static_cast<double>(samples.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, samples.size() - 1);
    const double weight = rank - static_cast<double>(below);
    return samples[below] * (1 - weight) + samples[above] * weight;
}

inline double Median(std::vector<double> samples) {
    return Percentile(std::move(samples), 0.5);
}

// The last pulse of flood frame `index` carries 560 + index % 1000; a line that ends in another
// number, or has another length than the one sent at that place, was lost, merged or corrupted.
inline int FloodMarker(std::size_t index) {
    return 560 + static_cast<int>(index % 1000);
}

inline std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    return line;
}

inline bool FloodLineMatches(std::string_view line, std::size_t index, std::size_t expectedLength) {
    line = TrimLineEnd(line);
    if (line.size() != expectedLength) {
        return false;
    }
    const std::size_t comma = line.rfind(',');
    if (comma == std::string_view::npos) {
        return false;
    }
    int marker = 0;
    const char* const end = line.data() + line.size();
    const auto [last, error] = std::from_chars(line.data() + comma + 1, end, marker);
    return error == std::errc() && last == end && marker == FloodMarker(index);
}

// Counts the lines of one flood as a reader takes them and keeps the first and last arrival.
class FloodTally {
public:
    // `lengths`: the length of each line without its CR LF, in flood order.
    explicit FloodTally(std::vector<std::size_t> lengths) : lengths_(std::move(lengths)) {}

    void Take(std::string_view line) {
        const Clock::time_point now = Clock::now();
        if (count_ == 0) {
            first_ = now;
        }
        last_ = now;
        if (count_ < lengths_.size() && FloodLineMatches(line, count_, lengths_[count_])) {
            ++good_;
        }
        ++count_;
    }

    bool Done() const { return count_ >= lengths_.size(); }
    std::size_t Expected() const { return lengths_.size(); }
    std::size_t Count() const { return count_; }
    std::size_t Good() const { return good_; }
    // Lines missing or not as sent.
    std::size_t Lost() const { return lengths_.size() - good_; }
    // Lines per second between the first and the last arrival.
    double Rate() const {
        return count_ > 1 ? static_cast<double>(count_ - 1) / Seconds(first_, last_) : 0.0;
    }

private:
    std::vector<std::size_t> lengths_;
    std::size_t count_ = 0;
    std::size_t good_ = 0;
    Clock::time_point first_{};
    Clock::time_point last_{};
};

// Runs the event loop until `done` holds or `timeout` passes; true when it holds. `done` is tested
// every millisecond and whenever the loop is woken.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Points XDG_CONFIG_HOME at a fresh folder for the life of the object (inherited by the programs
// started meanwhile), so no run reads or writes the user's own settings.
class PrivateConfigHome {
public:
    PrivateConfigHome()
        : hadPrevious_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")),
          previous_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
    }
    ~PrivateConfigHome() {
        if (hadPrevious_) {
            qputenv("XDG_CONFIG_HOME", previous_);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
    }
    PrivateConfigHome(const PrivateConfigHome&) = delete;
    PrivateConfigHome& operator=(const PrivateConfigHome&) = delete;

private:
    bool hadPrevious_;
    QByteArray previous_;
    QTemporaryDir dir_;
};

// Rows of a Markdown table on standard output; the run script collects them.
inline void PrintRow(const std::vector<std::string>& cells) {
    std::string row = "|";
    for (const std::string& cell : cells) {
        row += " " + cell + " |";
    }
    std::printf("%s\n", row.c_str());
    std::fflush(stdout);
}

inline std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

inline std::string Verdict(bool met) {
    return met ? "met" : "**not met**";
}

} // namespace bench
