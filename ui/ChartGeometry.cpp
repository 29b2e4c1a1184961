#include "ui/ChartGeometry.h"

#include <algorithm>
#include <cmath>

namespace ui {

double NextLabelStep(double step) {
    // step = mantissa * 10^exponent with mantissa 1, 2 or 5 (up to rounding).
    const double magnitude = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    const double mantissa = step / magnitude;
    if (mantissa < 1.5) {
        return 2.0 * magnitude;
    }
    if (mantissa < 3.5) {
        return 5.0 * magnitude;
    }
    return 10.0 * magnitude;
}

double BottomAxisLabelStep(double rangeWidth, double axisPixels, double labelPixels) {
    if (!std::isfinite(rangeWidth) || rangeWidth <= 0.0 || !std::isfinite(labelPixels) ||
        std::isnan(axisPixels)) {
        return BaseLabelStep;
    }
    const double needed = std::max(labelPixels, 0.0) + LabelGapPixels;
    double step = BaseLabelStep;
    // An axis without room fits no label at all; the step then grows past the range and at most
    // one label remains.
    while (step <= rangeWidth && std::isfinite(step)) {
        const double spacing = axisPixels > 0.0 ? step * (axisPixels / rangeWidth) : 0.0;
        if (spacing >= needed) {
            break;
        }
        step = NextLabelStep(step);
    }
    return std::isfinite(step) ? step : BaseLabelStep;
}

QString FormatMarkNumber(double value, const QLocale& locale) {
    double rounded = std::round(value * 1000.0) / 1000.0;
    if (!std::isfinite(rounded)) {
        rounded = value; // too large to scale: it has no decimals anyway
    }
    if (rounded == 0.0) {
        rounded = 0.0; // no "-0"
    }
    // Grouped by hand: "#,##0" groups every three digits, while some locales' own rules leave
    // four-digit numbers ungrouped, which would set "5000" beside "10 000" on the axis.
    QLocale plain = locale;
    plain.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    QString text = plain.toString(rounded, 'f', 3);

    const QString point = plain.decimalPoint();
    const QString zero = plain.zeroDigit();
    qsizetype integerEnd = text.lastIndexOf(point);
    if (integerEnd >= 0) {
        qsizetype end = text.size();
        while (end > integerEnd + point.size() &&
               text.mid(end - zero.size(), zero.size()) == zero) {
            end -= zero.size();
        }
        text.truncate(end == integerEnd + point.size() ? integerEnd : end);
    } else {
        integerEnd = text.size();
    }
    const QString minus = plain.negativeSign();
    const qsizetype integerStart = text.startsWith(minus) ? minus.size() : 0;
    const qsizetype digit = std::max<qsizetype>(zero.size(), 1);
    for (qsizetype at = integerEnd - 3 * digit; at > integerStart; at -= 3 * digit) {
        text.insert(at, plain.groupSeparator());
    }
    return text;
}

AxisSpan AutomaticSpan(double minX, double maxX) {
    if (maxX > minX) {
        return {minX, maxX};
    }
    return {minX - BaseLabelStep / 2.0, minX + BaseLabelStep / 2.0};
}

double DepthPixels(QSizeF chartSize, double percent) {
    const double side = std::max(0.0, std::min(chartSize.width(), chartSize.height()));
    return std::round(side * percent / 100.0);
}

MarkPlacement PlaceMark(QPointF point, QSizeF boxSize, double connectorPixels) {
    const QPointF end(point.x(), point.y() - connectorPixels);
    const QRectF box(end.x() - boxSize.width() / 2.0, end.y() - boxSize.height(), boxSize.width(),
                     boxSize.height());
    return {point, end, box};
}

} // namespace ui
