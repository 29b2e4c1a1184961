#pragma once

// A Flipper Zero on its USB command line (the CLI on /dev/ttyACM*), as a DeviceSource. It waits
// for the CLI's prompt, asks for the firmware version, then keeps "ir rx raw" running and reports
// each raw capture as a frame. Emitting stops the receiver (Ctrl+C), sends "ir tx RAW ..." and
// starts the receiver again. The link is the port itself plus the prompt: silence for a long time
// makes the source stop the receiver and expect the prompt back for an empty line.

#include "serial/DeviceSource.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace serial {

// The CLI's prompt; it ends a command's output and is not followed by a line end.
inline constexpr std::string_view FlipperPrompt = ">: ";
// What the Flipper's transmitter takes (its CLI refuses anything else).
inline constexpr int FlipperMinCarrierHz = 10000;
inline constexpr int FlipperMaxCarrierHz = 56000;
inline constexpr std::size_t FlipperMaxTxDurations = 512;
inline constexpr char FlipperBusyHint[] = "Zamknij aplikację Infrared na Flipperze: zajmuje ona "
                                          "odbiornik podczerwieni.";

// Reads the CLI's output: cuts it into lines and prompts and recognises raw captures, the version
// in "info device" and the "busy" answer. No I/O; the source feeds it what the port gives.
class FlipperCliReader {
public:
    struct Item {
        enum Kind { Prompt, Line, Frame, Busy, Version } kind = Line;
        std::string text;               // Line: the line; Version: the version
        std::vector<int32_t> durations; // Frame
    };

    // Takes more output and returns what it completed, in order.
    std::vector<Item> Feed(std::string_view bytes);

private:
    void TakeLine(std::string_view line, std::vector<Item>& items);

    std::string pending_;
    // Set after "RAW, N samples:": the next line holds the N durations.
    std::optional<std::size_t> expectedSamples_;
};

// The command that makes the Flipper emit `durations` on `carrier`, CR included; or the reason
// (Polish) it cannot: no durations, too many, a duration that is not positive, a carrier or duty
// cycle outside what the Flipper makes.
struct FlipperTxCommand {
    std::string command;
    std::string refusal;
};
FlipperTxCommand MakeFlipperTxCommand(const std::vector<int32_t>& durations,
                                      const DeviceCarrier& carrier);

struct FlipperTimings {
    // How long the CLI may take to show its prompt when it is expected.
    int answerMs = 3000;
    // Silence after which the source checks that the CLI still answers.
    int silenceMs = 15000;
    // How long the source waits before it asks for the receiver again after "busy".
    int busyRetryMs = 3000;
};

std::unique_ptr<DeviceSource> MakeFlipperSource(const std::string& port, DeviceSourceEvents events,
                                                FlipperTimings timings = {});

// Whether a line the AT device's port delivered is the Flipper's CLI talking (its prompt begins
// the line): a Flipper on a port whose USB ids are not known.
bool IsFlipperPromptLine(std::string_view line);

} // namespace serial
