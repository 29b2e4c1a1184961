#pragma once

#include "frame/FrameSinks.h"

#include <string>
#include <utility>
#include <vector>

namespace frame::fuzz {

struct Point {
    double x = 0;
    double y = 0;
    std::string label;
};

// Records what one step of the frame core did to the window: the panel writes, the chart calls
// in order, the points of the series as it stands, and the commands. Clear() starts a new step;
// the series itself lives on across steps, as the chart's does.
class Recorder : public StatusSink, public ChartSink, public CommandSink {
public:
    enum class ChartCall { Clear, Axis, Point };

    void SetPanelText(int index, std::string_view text) override {
        panelWrites.emplace_back(index, std::string(text));
    }
    void ClearSeries() override {
        chartCalls.push_back(ChartCall::Clear);
        series.clear();
    }
    void AddPoint(double x, double y, std::string_view label) override {
        chartCalls.push_back(ChartCall::Point);
        series.push_back({x, y, std::string(label)});
    }
    void SetBottomAxisAutomatic() override { chartCalls.push_back(ChartCall::Axis); }
    void SendCommand(std::string_view command) override { commands.emplace_back(command); }

    void Clear() {
        panelWrites.clear();
        chartCalls.clear();
        commands.clear();
    }

    std::vector<std::pair<int, std::string>> panelWrites;
    std::vector<ChartCall> chartCalls;
    std::vector<Point> series;
    std::vector<std::string> commands;
};

} // namespace frame::fuzz
