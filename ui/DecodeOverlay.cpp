#include "ui/DecodeOverlay.h"

#include "frame/FrameCore.h"
#include "ui/ChartView.h"

#include <QFontMetricsF>
#include <qcustomplot.h>

#include <algorithm>

namespace ui {
namespace {

constexpr double HighLevel = frame::WaveHighLevel;
constexpr double LowLevel = frame::WaveLowLevel;
// Room between the plotting area and the annotation row, and below the row.
constexpr int RowGap = 3;

const QColor Outline(160, 160, 160);
const QColor WarningColour(255, 128, 0);
const QColor InsideBand(0, 170, 0, 48);
const QColor OutsideBand(255, 128, 0, 72);
const QColor SummaryBlue(0, 128, 255);

QColor BoxFill(analysis::Span::Kind kind) {
    switch (kind) {
    case analysis::Span::Kind::Lead:
        return {214, 234, 255};
    case analysis::Span::Kind::Trailer:
        return {230, 230, 230};
    case analysis::Span::Kind::Repeat:
        return {255, 243, 204};
    case analysis::Span::Kind::Field:
        return {230, 255, 204};
    case analysis::Span::Kind::Bit:
        break;
    }
    return Qt::white;
}

QFont AnnotationFont(const QWidget& chart) {
    QFont font = chart.font();
    font.setPixelSize(10);
    return font;
}

int RowsOf(const AnnotationLayout& layout) {
    return int(!layout.Symbols.empty()) + int(!layout.Fields.empty()) +
           int(!layout.Summary.empty());
}

// Base of the overlay's layers: each paints one part of the overlay's layout.
class OverlayLayer : public QCPLayerable {
public:
    OverlayLayer(const DecodeOverlay& overlay, QCustomPlot* plot, const QString& layer)
        : QCPLayerable(plot, layer), overlay_(overlay) {}

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        painter->setAntialiasing(false);
    }
    QRect clipRect() const override { return parentPlot()->axisRect()->rect(); }
    const DecodeOverlay& Overlay() const { return overlay_; }
    double X(double time) const { return parentPlot()->xAxis->coordToPixel(time); }
    double Y(double level) const { return parentPlot()->yAxis->coordToPixel(level); }

private:
    const DecodeOverlay& overlay_;
};

// Each decoded duration's allowed window, shaded around its closing edge, under the wave.
class BandsLayer final : public OverlayLayer {
public:
    using OverlayLayer::OverlayLayer;

protected:
    void draw(QCPPainter* painter) override {
        if (!Overlay().BandsVisible()) {
            return;
        }
        painter->setPen(Qt::NoPen);
        const double top = Y(HighLevel);
        const double bottom = Y(LowLevel);
        for (const TimedDuration& timing : Overlay().Layout().Timings) {
            const double left = X(timing.WindowStart);
            const double width = std::max(1.0, X(timing.WindowEnd) - left);
            painter->setBrush(timing.Outside ? OutsideBand : InsideBand);
            painter->drawRect(QRectF(left, top, width, bottom - top));
        }
    }
};

// Durations outside their window, drawn over the wave in the warning colour.
class WarningsLayer final : public OverlayLayer {
public:
    using OverlayLayer::OverlayLayer;

protected:
    void draw(QCPPainter* painter) override {
        painter->setPen(QPen(WarningColour, 3));
        for (const TimedDuration& timing : Overlay().Layout().Timings) {
            if (timing.Outside) {
                const double y = Y(timing.Level);
                painter->drawLine(QPointF(X(timing.Start), y), QPointF(X(timing.End), y));
            }
        }
    }
};

// The annotation row under the plotting area: symbols, fields and the summary, one line each.
class RowLayer final : public OverlayLayer {
public:
    RowLayer(const DecodeOverlay& overlay, QCustomPlot* plot, const QString& layer,
             const QFont& font)
        : OverlayLayer(overlay, plot, layer), font_(font) {}

protected:
    QRect clipRect() const override { return parentPlot()->viewport(); }

    void draw(QCPPainter* painter) override {
        const AnnotationLayout& layout = Overlay().Layout();
        const int rows = RowsOf(layout);
        if (rows == 0) {
            return;
        }
        const QRect area = parentPlot()->axisRect()->rect();
        const double height = Overlay().RowHeight();
        const QRectF strip(area.left(), area.bottom() + 1 + RowGap, area.width(), rows * height);
        painter->setPen(QPen(QColor(192, 192, 192), 1));
        painter->setBrush(Qt::white);
        painter->drawRect(strip);
        painter->setClipRect(strip);
        painter->setFont(font_);
        double top = strip.top();
        for (const auto* boxes : {&layout.Symbols, &layout.Fields}) {
            if (!boxes->empty()) {
                DrawBoxes(painter, *boxes, top, height);
                top += height;
            }
        }
        DrawSummary(painter, layout.Summary, QRectF(strip.left(), top, strip.width(), height));
    }

private:
    void DrawBoxes(QCPPainter* painter, const std::vector<AnnotationBox>& boxes, double top,
                   double height) const {
        const QFontMetricsF metrics(font_);
        for (const AnnotationBox& box : boxes) {
            const double left = X(box.Start);
            const QRectF rect(left, top + 1, std::max(1.0, X(box.End) - left), height - 2);
            painter->setPen(QPen(Outline, 1));
            painter->setBrush(BoxFill(box.Kind));
            painter->drawRect(rect);
            const QString text = metrics.elidedText(QString::fromStdString(box.Text),
                                                    Qt::ElideRight, rect.width() - 2);
            if (text.size() > 1 || text == QString::fromStdString(box.Text)) {
                painter->setPen(Qt::black);
                painter->drawText(rect, Qt::AlignCenter, text);
            }
        }
    }

    void DrawSummary(QCPPainter* painter, const std::vector<AnnotationText>& texts,
                     const QRectF& row) const {
        QFont bold = font_;
        bold.setBold(true);
        const QFontMetricsF metrics(bold);
        painter->setFont(bold);
        painter->setPen(SummaryBlue);
        // Each summary starts under its decode, after the one before it.
        double next = row.left() + 4;
        for (const AnnotationText& text : texts) {
            const QString line = QString::fromStdString(text.Text);
            const double left = std::max(next, X(text.Start));
            painter->drawText(QRectF(left, row.top(), row.right() - left, row.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, line);
            next = left + metrics.horizontalAdvance(line) + 16;
        }
    }

    QFont font_;
};

QCPLayer* LayerAbove(QCustomPlot& plot, const QString& name, const QString& below) {
    if (QCPLayer* layer = plot.layer(name)) {
        return layer;
    }
    plot.addLayer(name, plot.layer(below), QCustomPlot::limAbove);
    return plot.layer(name);
}

} // namespace

DecodeOverlay::DecodeOverlay(ChartView& chart, DecodeEngine engine)
    : chart_(chart), engine_(std::move(engine)) {
    if (!engine_.Analyse) {
        engine_.Analyse = &analysis::Analyse;
    }
    if (!engine_.Nominal) {
        engine_.Nominal = &analysis::CleanUp;
    }
    QCustomPlot& plot = *chart_.Plot();
    const QString current = plot.currentLayer()->name();
    const QCPLayer* bands = LayerAbove(plot, QStringLiteral("bands"), QStringLiteral("grid"));
    const QCPLayer* decode = LayerAbove(plot, QStringLiteral("decode"), QStringLiteral("main"));
    layers_.emplace_back(new BandsLayer(*this, &plot, bands->name()));
    layers_.emplace_back(new WarningsLayer(*this, &plot, decode->name()));
    layers_.emplace_back(new RowLayer(*this, &plot, decode->name(), AnnotationFont(chart_)));
    plot.setCurrentLayer(current);
    chart_.SetBeforeLayout([this] { Refresh(); });
}

DecodeOverlay::~DecodeOverlay() {
    chart_.SetBeforeLayout({});
    for (const QPointer<QCPLayerable>& layer : layers_) {
        delete layer.data();
    }
}

void DecodeOverlay::ClearSeries() {
    drawn_ = false;
    stale_ = false;
    durations_.clear();
    result_ = {};
    layout_ = {};
    chart_.ClearSeries();
    Apply(true);
}

void DecodeOverlay::AddPoint(double x, double y, std::string_view label) {
    chart_.AddPoint(x, y, label);
}

void DecodeOverlay::SetBottomAxisAutomatic() {
    chart_.SetBottomAxisAutomatic();
}

void DecodeOverlay::FrameDrawn(std::span<const int32_t> durations, double firstLevel) {
    drawn_ = true;
    durations_.assign(durations.begin(), durations.end());
    firstLevel_ = firstLevel;
    stale_ = true;
    chart_.ScheduleReplot();
}

void DecodeOverlay::SetEnabled(bool on) {
    enabled_ = on;
    stale_ = false;
    Analyse();
    Apply(true);
}

void DecodeOverlay::SetBandsVisible(bool on) {
    bandsVisible_ = on;
    chart_.ScheduleReplot();
}

std::optional<std::vector<int32_t>> DecodeOverlay::CleanFrame() const {
    Refresh();
    return CleanDurations(durations_, result_.decodes, engine_.Nominal);
}

int DecodeOverlay::RowHeight() const {
    return static_cast<int>(QFontMetricsF(AnnotationFont(chart_)).height()) + 4;
}

void DecodeOverlay::Refresh() const {
    if (stale_) {
        stale_ = false;
        Analyse();
        // Called before a layout or while answering: the repaint under way, or the next one,
        // shows the result.
        Apply(false);
    }
}

void DecodeOverlay::Analyse() const {
    result_ = {};
    layout_ = {};
    if (enabled_ && drawn_) {
        result_ = engine_.Analyse(durations_);
        layout_ = LayOutAnnotation(durations_, firstLevel_, result_);
    }
}

void DecodeOverlay::Apply(bool repaint) const {
    const int rows = RowsOf(layout_);
    // The bottom axis moves down to make room for the row; with nothing to show it stays put.
    chart_.Plot()->xAxis->setOffset(rows == 0 ? 0 : rows * RowHeight() + 2 * RowGap);
    if (repaint) {
        chart_.ScheduleReplot();
    }
}

} // namespace ui
