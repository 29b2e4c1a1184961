#pragma once

#include "analysis/Compare.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

class QCPCurve;
class QCPItemText;
class QCPAbstractItem;
class QCustomPlot;

namespace ui {

class ChartView;

// Draws a reference frame over the chart in a second colour, shades every duration of the current
// frame that differs from the reference by more than the analysis's tolerance, and writes the
// comparison's summary into the chart (so the picture exports carry it). Owns nothing but what it
// adds to the chart's plot. Main thread only.
class CompareOverlay {
public:
    explicit CompareOverlay(ChartView& chart);
    ~CompareOverlay();

    CompareOverlay(const CompareOverlay&) = delete;
    CompareOverlay& operator=(const CompareOverlay&) = delete;

    // Compares `current` with `reference` and draws both in display mode `mode` (1: first pulse
    // low). Returns the comparison.
    analysis::Comparison Show(std::span<const int32_t> reference, std::span<const int32_t> current,
                              int32_t mode);
    // Removes everything the overlay drew.
    void Clear();
    bool Shown() const { return curve_ != nullptr; }
    // "Porównanie: 67 czasów, 2 różne (+1 nadmiarowy), największa różnica 180 µs, średnia 31 µs"
    static QString SummaryText(const analysis::Comparison& comparison);
    QString Summary() const;

private:
    QCustomPlot* plot_;
    QCPCurve* curve_ = nullptr;
    QCPItemText* summary_ = nullptr;
    std::vector<QCPAbstractItem*> flags_;
};

} // namespace ui
