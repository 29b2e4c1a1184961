#include "ui/CompareOverlay.h"

#include "frame/FrameCore.h"
#include "ui/ChartView.h"

#include <qcustomplot.h>

#include <cstdlib>

namespace ui {

namespace {

// The levels of the drawn wave, as the frame's own drawing uses them.
constexpr double HighLevel = frame::WaveHighLevel;
constexpr double LowLevel = frame::WaveLowLevel;

const QColor ReferenceColour(0x10, 0x40, 0xD0);
const QColor DifferenceColour(0xFF, 0x90, 0x00, 0x50);

// The start time of every duration and the end of the last one (64-bit sums, as the frame's own
// drawing does, so absurd values still give true times).
std::vector<double> Edges(std::span<const int32_t> durations) {
    std::vector<double> edges{0.0};
    int64_t x = 0;
    for (const int32_t d : durations) {
        x += d;
        edges.push_back(static_cast<double>(x));
    }
    return edges;
}

} // namespace

CompareOverlay::CompareOverlay(ChartView& chart) : plot_(chart.Plot()) {}

CompareOverlay::~CompareOverlay() {
    Clear();
}

analysis::Comparison CompareOverlay::Show(std::span<const int32_t> reference,
                                          std::span<const int32_t> current, int32_t mode) {
    Clear();
    const analysis::Comparison comparison = analysis::Compare(reference, current);

    curve_ = new QCPCurve(plot_->xAxis, plot_->yAxis);
    curve_->setName(QStringLiteral("reference"));
    curve_->setPen(QPen(ReferenceColour, 2, Qt::DashLine));
    curve_->setSelectable(QCP::stNone);
    const std::vector<double> edges = Edges(reference);
    double level = (mode ^ 1) != 0 ? HighLevel : LowLevel;
    QVector<QCPCurveData> points;
    points.reserve(static_cast<qsizetype>(reference.size() * 2 + 1));
    int t = 0;
    points.append({static_cast<double>(t++), 0.0, level});
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
        points.append({static_cast<double>(t++), edges[i], level});
        points.append({static_cast<double>(t++), edges[i + 1], level});
        level = level == HighLevel ? LowLevel : HighLevel;
    }
    curve_->data()->set(points, true);

    const std::vector<double> currentEdges = Edges(current);
    for (size_t i = 0; i < comparison.differs.size(); ++i) {
        if (!comparison.differs[i])
            continue;
        auto* rect = new QCPItemRect(plot_);
        rect->setSelectable(false);
        rect->setPen(Qt::NoPen);
        rect->setBrush(DifferenceColour);
        rect->topLeft->setCoords(currentEdges[i], 1.15);
        rect->bottomRight->setCoords(currentEdges[i + 1], 0.0);
        flags_.push_back(rect);
    }

    summary_ = new QCPItemText(plot_);
    summary_->setSelectable(false);
    summary_->position->setType(QCPItemPosition::ptAxisRectRatio);
    summary_->position->setCoords(0.01, 0.01);
    summary_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    summary_->setColor(ReferenceColour);
    summary_->setText(SummaryText(comparison));
    plot_->replot(QCustomPlot::rpQueuedReplot);
    return comparison;
}

void CompareOverlay::Clear() {
    if (!curve_)
        return;
    plot_->removePlottable(curve_);
    curve_ = nullptr;
    for (QCPAbstractItem* item : flags_)
        plot_->removeItem(item);
    flags_.clear();
    plot_->removeItem(summary_);
    summary_ = nullptr;
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

QString CompareOverlay::Summary() const {
    return summary_ ? summary_->text() : QString();
}

QString CompareOverlay::SummaryText(const analysis::Comparison& comparison) {
    QString text = QStringLiteral("Porównanie: %1 czasów, %2 różnych")
                       .arg(comparison.compared)
                       .arg(comparison.differing);
    if (comparison.extra > 0)
        text += QStringLiteral(" (+%1 bez pary)").arg(comparison.extra);
    text += QStringLiteral(", największa różnica %1 µs, średnia %2 µs")
                .arg(comparison.largest)
                .arg(comparison.mean, 0, 'f', 0);
    return text;
}

} // namespace ui
