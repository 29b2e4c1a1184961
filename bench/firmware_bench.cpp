// The device's firmware in the simulated ATmega328P: frames per second through capture and UART
// against the line-rate limit, the capture's timing error, and the RAM and flash it takes.
// Prints Markdown for docs/performance.md.
//
//   firmware_bench [--frames N]   N frames per measurement (default 40)

#include "firmware/sim/SimDevice.h"
#include "frame/PulseFrame.h"
#include "tools/irsim/Remotes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using irsim::Durations;

// What UART0 moves per second at 38400 baud, 8N1: ten bits a byte on a board; simavr counts 11.
constexpr double BoardBytesPerS = 38400.0 / 10;
constexpr double SimBytesPerS = 38400.0 / 11;
// A frame ends after 65 ms of silence; one more millisecond makes the next frame a frame of its
// own.
constexpr uint64_t GapUs = 66000;

struct Throughput {
    double offeredPerS = 0;
    double linesPerS = 0;
    double lineBytes = 0;
    std::size_t lines = 0;
    std::size_t frames = 0;
};

// Plays `frames` back to back and counts the lines that come out.
Throughput Measure(const std::vector<Durations>& frames) {
    fwsim::SimDevice device(fwsim::FirmwareElfPath());
    device.RunUs(2000);
    const uint64_t start = device.Cycle();
    for (const Durations& frame : frames)
        device.Play(frame, &frame == &frames.front() ? 1000 : GapUs);
    const uint64_t played = device.PlayedUntil() + GapUs * fwsim::CyclesPerUs;
    std::size_t lines = 0;
    uint64_t lastLine = start;
    device.RunUntil(
        [&] {
            if (const std::size_t n = device.TakeLines().size(); n > 0) {
                lines += n;
                lastLine = device.Cycle();
            }
            return lines >= frames.size() ||
                   device.Cycle() > played + 4'000'000 * fwsim::CyclesPerUs;
        },
        120'000'000);
    const double seconds = double(lastLine - start) / double(fwsim::CpuHz);
    const double offered = double(played - start) / double(fwsim::CpuHz);
    Throughput result;
    result.frames = frames.size();
    result.lines = lines;
    result.offeredPerS = double(frames.size()) / offered;
    result.linesPerS = double(lines) / seconds;
    result.lineBytes = lines > 0 ? double(device.Output().size()) / double(lines) : 0;
    if (device.ResetSeen())
        std::fprintf(stderr, "firmware_bench: the firmware restarted\n");
    return result;
}

Durations ShortPulses(std::size_t count) {
    Durations frame;
    for (std::size_t i = 0; i < count; ++i)
        frame.push_back(i % 2 ? 300 : 250);
    return frame;
}

// Receiver-distorted frames of random remotes; |captured - played| for every duration.
std::vector<int> TimingErrors(std::size_t count) {
    irsim::Receiver receiver(11, irsim::Jitter{});
    fwsim::SimDevice device(fwsim::FirmwareElfPath());
    device.RunUs(2000);
    std::vector<int> errors;
    const std::string prefix = std::string(frame::DeviceSignature) + ",";
    for (std::size_t i = 0; i < count; ++i) {
        Durations played = receiver.Capture(irsim::NominalFrame(receiver.RandomCode()));
        if (played.size() > std::size_t(frame::FrameCapacity))
            played.resize(frame::FrameCapacity);
        device.Play(played);
        const std::string line = device.RunUntilLine(2'000'000);
        const auto got = irsim::ParseDurationList(std::string_view(line).substr(prefix.size()));
        if (!got || got->size() != played.size()) {
            std::fprintf(stderr, "firmware_bench: frame %zu came back wrong\n", i);
            continue;
        }
        for (std::size_t k = 0; k < played.size(); ++k)
            errors.push_back(std::abs((*got)[k] - played[k]));
    }
    std::sort(errors.begin(), errors.end());
    return errors;
}

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    return out;
}

// "Program:    6636 bytes (20.3% Full)" -> "6636 bytes (20.3% Full)".
std::string SizeLine(const std::string& report, const std::string& key) {
    const auto at = report.find(key);
    if (at == std::string::npos)
        return "unknown";
    const auto from = report.find_first_not_of(' ', at + key.size());
    return report.substr(from, report.find('\n', from) - from);
}

} // namespace

int main(int argc, char** argv) {
    std::size_t count = 40;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string_view(argv[i]) == "--frames")
            count = std::size_t(std::atoi(argv[i + 1]));

    const Durations nec = irsim::NominalFrame({irsim::Remote::Nec, 0x04, 0x08});
    const Durations repeat = irsim::NominalFrame({irsim::Remote::NecRepeat});
    struct Case {
        const char* name;
        std::vector<Durations> frames;
    } cases[] = {
        {"NEC frames, 66 ms apart", std::vector<Durations>(count, nec)},
        {"NEC repeat codes, 66 ms apart", std::vector<Durations>(count, repeat)},
        {"301 short pulses (250/300 us), 66 ms apart",
         std::vector<Durations>(count / 2, ShortPulses(301))},
    };
    std::printf("| frames | offered (frames/s) | lines out (lines/s) | line-rate limit, simavr / "
                "board (lines/s) | of the simavr limit | frames dropped |\n");
    std::printf("| --- | --- | --- | --- | --- | --- |\n");
    for (const Case& c : cases) {
        const Throughput t = Measure(c.frames);
        const double simLimit = SimBytesPerS / t.lineBytes;
        const double boardLimit = BoardBytesPerS / t.lineBytes;
        std::printf("| %s | %.1f | %.1f | %.1f / %.1f | %.0f %% | %zu of %zu |\n", c.name,
                    t.offeredPerS, t.linesPerS, simLimit, boardLimit,
                    100.0 * std::min(t.linesPerS, t.offeredPerS) /
                        std::min(simLimit, t.offeredPerS),
                    t.frames - t.lines, t.frames);
    }

    const std::vector<int> errors = TimingErrors(count);
    std::printf(
        "\nCapture timing error over %zu durations of %zu receiver-distorted frames of random "
        "remotes: max %d us, median %d us.\n",
        errors.size(), count, errors.empty() ? -1 : errors.back(),
        errors.empty() ? -1 : errors[errors.size() / 2]);

#ifdef DEKODER_AVR_SIZE
    const std::string report = Run(std::string(DEKODER_AVR_SIZE) +
                                   " --format=avr --mcu=atmega328p " + fwsim::FirmwareElfPath());
    std::printf("\nFlash (program): %s; static RAM (data + bss): %s (`avr-size`).\n",
                SizeLine(report, "Program:").c_str(), SizeLine(report, "Data:").c_str());
#endif
    return 0;
}
