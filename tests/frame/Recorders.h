#pragma once

#include "frame/FrameSinks.h"

#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace frame::testing {

struct ChartPoint {
    double x = 0;
    double y = 0;
    std::string label;
    friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
    friend std::ostream& operator<<(std::ostream& out, const ChartPoint& p) {
        return out << "(" << p.x << ", " << p.y << ", \"" << p.label << "\")";
    }
};

class RecordingStatus : public StatusSink {
public:
    void SetPanelText(int index, std::string_view text) override {
        writes.emplace_back(index, std::string(text));
        panels[index] = std::string(text);
    }
    int WritesTo(int index) const {
        int n = 0;
        for (const auto& write : writes) {
            n += write.first == index ? 1 : 0;
        }
        return n;
    }
    std::vector<std::pair<int, std::string>> writes;
    std::map<int, std::string> panels;
};

// Keeps the points of the current drawing and counts what was done to the series.
class RecordingChart : public ChartSink {
public:
    void ClearSeries() override {
        ++clears;
        points.clear();
        events.push_back("clear");
    }
    void AddPoint(double x, double y, std::string_view label) override {
        points.push_back({x, y, std::string(label)});
        events.push_back("point");
    }
    void SetBottomAxisAutomatic() override {
        ++automaticAxis;
        events.push_back("axis");
    }
    int clears = 0;
    int automaticAxis = 0;
    std::vector<ChartPoint> points;
    std::vector<std::string> events;
};

class RecordingCommands : public CommandSink {
public:
    void SendCommand(std::string_view command) override { sent.emplace_back(command); }
    std::vector<std::string> sent;
};

} // namespace frame::testing
