#pragma once

#include "analysis/Analysis.h"
#include "frame/FrameSinks.h"
#include "ui/AnnotationLayout.h"
#include "ui/FrameCleanUp.h"

#include <QPointer>

#include <functional>
#include <optional>
#include <span>
#include <vector>

class QCPLayerable;

namespace ui {

class ChartView;

// The analysis behind the overlay. Empty members take the real ones; tests replace them.
struct DecodeEngine {
    std::function<analysis::Result(std::span<const int32_t>)> Analyse;
    NominalTimings Nominal;
};

// The protocol decode drawn on the chart: it stands between the frame core and the chart, passes
// the drawing on unchanged, and analyses each frame once its drawing is complete. While enabled
// and holding a frame it widens the chart by an annotation row under the wave (leads, bits, fields,
// repeats and the summary), draws durations outside their window in a warning colour, and on
// request shades each duration's allowed window. Disabled, the chart is exactly as without it.
// Main thread only.
class DecodeOverlay final : public frame::ChartSink {
public:
    // `chart` must outlive the overlay.
    explicit DecodeOverlay(ChartView& chart, DecodeEngine engine = {});
    ~DecodeOverlay() override;

    DecodeOverlay(const DecodeOverlay&) = delete;
    DecodeOverlay& operator=(const DecodeOverlay&) = delete;

    // frame::ChartSink
    void ClearSeries() override;
    void AddPoint(double x, double y, std::string_view label) override;
    void SetBottomAxisAutomatic() override;
    void FrameDrawn(std::span<const int32_t> durations, double firstLevel) override;

    // Enabling analyses the frame on the chart at once; disabling drops the annotation.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }
    void SetBandsVisible(bool on);
    bool BandsVisible() const { return bandsVisible_; }

    // The protocols found in the frame on the chart; empty while disabled.
    const std::vector<analysis::Decode>& Decodes() const {
        Refresh();
        return result_.decodes;
    }
    const AnnotationLayout& Layout() const {
        Refresh();
        return layout_;
    }
    // The durations of the frame on the chart, as drawn.
    std::span<const int32_t> Durations() const { return durations_; }
    // The frame on the chart with its decoded stretches at nominal timings (CleanDurations);
    // nullopt while nothing is decoded.
    std::optional<std::vector<int32_t>> CleanFrame() const;
    // The height of one line of the annotation row in pixels.
    int RowHeight() const;

private:
    // A drawn frame is analysed when it is about to be shown or asked about, not at every
    // drawing: a burst of frames between two repaints costs one analysis, not one per frame.
    void Refresh() const;
    void Analyse() const;
    void Apply(bool repaint) const;

    ChartView& chart_;
    DecodeEngine engine_;
    bool enabled_ = true;
    bool bandsVisible_ = false;
    std::vector<int32_t> durations_;
    double firstLevel_ = 0.0;
    bool drawn_ = false;
    mutable bool stale_ = false;
    mutable analysis::Result result_;
    mutable AnnotationLayout layout_;
    // Owned by the chart's plot, which may be gone first.
    std::vector<QPointer<QCPLayerable>> layers_;
};

} // namespace ui
