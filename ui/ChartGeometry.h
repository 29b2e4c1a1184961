#pragma once

#include <QLocale>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace ui {

// Pure geometry and text of the chart, kept apart from the widget so it can be tested on its own.

// The first step the bottom axis labels try.
inline constexpr double BaseLabelStep = 500.0;
// The room kept free between two neighbouring axis labels.
inline constexpr double LabelGapPixels = 8.0;

// The step between bottom-axis labels: 500, growing through 1000, 2000, 5000, 10000, ... (1, 2 or 5
// times a power of ten) while the labels would not fit side by side. Labels fit when neighbouring
// labels lie at least `labelPixels` (the widest label) plus LabelGapPixels apart along an axis of
// `axisPixels` showing `rangeWidth` units. The step stops growing once it exceeds the range (at
// most one label is shown then). Degenerate input (no range, non-finite values) gives 500.
double BottomAxisLabelStep(double rangeWidth, double axisPixels, double labelPixels);

// The next step of the 1-2-5 sequence above `step`.
double NextLabelStep(double step);

// "#,##0.###": grouped thousands, at most three decimals without trailing zeros, in `locale`'s
// digits and separators. A value that rounds to zero shows as "0".
QString FormatMarkNumber(double value, const QLocale& locale);

// The bottom axis range when it follows the series: smallest to largest X. A single X (or none,
// given as 0..0) gets a range of BaseLabelStep centred on it so that the point stays visible.
struct AxisSpan {
    double Lower;
    double Upper;
};
AxisSpan AutomaticSpan(double minX, double maxX);

// The depth of the three-dimensional view in pixels: `percent` of the smaller side of the chart.
double DepthPixels(QSizeF chartSize, double percent);
inline constexpr double DepthPercent = 8.0;
// The offset from the front plane to the back plane: right and up.
inline QPointF DepthOffset(double depthPixels) {
    return {depthPixels, -depthPixels};
}

// Where a mark goes: its box is centred above the point with a connector of `connectorPixels`
// between the point and the box's lower edge.
inline constexpr double MarkConnectorPixels = 8.0;
struct MarkPlacement {
    QPointF ConnectorStart; // at the point
    QPointF ConnectorEnd;   // on the box's lower edge
    QRectF Box;
};
MarkPlacement PlaceMark(QPointF point, QSizeF boxSize,
                        double connectorPixels = MarkConnectorPixels);

} // namespace ui
