#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace frame {

// What the frame core needs of the main window. The window implements these; tests implement them
// with recorders. All calls are made on the main thread.

class StatusSink {
public:
    virtual ~StatusSink() = default;
    // Sets the text of status panel `index` (0-based).
    virtual void SetPanelText(int index, std::string_view text) = 0;
};

class ChartSink {
public:
    virtual ~ChartSink() = default;
    // Removes all points and labels of the series.
    virtual void ClearSeries() = 0;
    // Adds one point in the series' own colour; `label` may be empty.
    virtual void AddPoint(double x, double y, std::string_view label) = 0;
    // Lets the bottom axis follow the series again, undoing a zoom or scroll.
    virtual void SetBottomAxisAutomatic() = 0;
    // The drawing is complete: every point of `durations` has been added, the first pulse at
    // `firstLevel`. Layers that read the frame as a whole refresh here, once per drawing.
    virtual void FrameDrawn(std::span<const int32_t> /*durations*/, double /*firstLevel*/) {}
};

class CommandSink {
public:
    virtual ~CommandSink() = default;
    // Hands one command to the device link exactly as given (the caller includes its own "\r").
    virtual void SendCommand(std::string_view command) = 0;
};

} // namespace frame
