#include "ui/ChartView.h"

#include "frame/FrameFile.h"
#include "ui/ChartGeometry.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <memory>

namespace ui {
namespace {

const QColor Silver(192, 192, 192);
const QColor SeriesRed(255, 0, 0);
const QColor TitleBlue(0, 128, 255);
const QColor FooterGrey(128, 128, 128);
const QColor BackgroundBottom(239, 239, 239);
const QColor MarkFill(255, 255, 225);

constexpr double LeftLower = 0.0;
constexpr double LeftUpper = 1.2;

// Room around the plotting area beyond what the bottom axis itself takes.
const QMargins BaseMargins(24, 12, 24, 4);

// The first installed family of `families` (the designed one, then its relatives), or all of them
// when none is installed. A missing family sends every size and style asked for through the font
// database's fallback search, which sorts all installed fonts; an installed one is found at once.
QStringList InstalledFirst(const QStringList& families) {
    for (const QString& family : families) {
        if (QFontDatabase::hasFamily(family)) {
            return {family};
        }
    }
    return families;
}

QFont SansFont(int pixelSize) {
    static const QStringList families =
        InstalledFirst({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                        QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

QFont TitleFont() {
    static const QStringList families =
        InstalledFirst({QStringLiteral("Bookman Old Style"), QStringLiteral("URW Bookman"),
                        QStringLiteral("URW Bookman L"), QStringLiteral("TeX Gyre Bonum"),
                        QStringLiteral("DejaVu Serif")});
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(13);
    return font;
}

QFont FooterFont() {
    QFont font = SansFont(11);
    font.setItalic(true);
    return font;
}

// The depth of the three-dimensional view for the size the plot is being laid out or drawn at.
double ViewDepth(const QCustomPlot& plot) {
    return DepthPixels(QSizeF(plot.viewport().size()), DepthPercent);
}

} // namespace

namespace detail {

// Bottom-axis ticks at the label step of BottomAxisLabelStep, written as "#,##0.###" numbers.
class BottomTicker : public QCPAxisTicker {
public:
    BottomTicker(const QWidget& owner, const QCPAxis& axis) : owner_(owner), axis_(axis) {}

protected:
    double getTickStep(const QCPRange& range) override {
        const QFontMetricsF metrics(axis_.tickLabelFont());
        const QLocale locale = owner_.locale();
        const double widest =
            std::max(metrics.horizontalAdvance(FormatMarkNumber(std::floor(range.lower), locale)),
                     metrics.horizontalAdvance(FormatMarkNumber(std::ceil(range.upper), locale)));
        return BottomAxisLabelStep(range.size(), axis_.axisRect()->width(), widest);
    }
    int getSubTickCount(double) override { return 0; }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        return FormatMarkNumber(tick, owner_.locale());
    }

private:
    const QWidget& owner_;
    const QCPAxis& axis_;
};

// The plot widget: lays out with the view's state and turns mouse gestures into view operations.
class ChartPlot : public QCustomPlot {
public:
    ChartPlot(ChartView& owner, QWidget* parent) : QCustomPlot(parent), owner_(owner) {
        setContextMenuPolicy(Qt::PreventContextMenu); // right-button events stay ours
    }

    // Draws the chart at `size` into `painter`, then restores the on-screen layout.
    void RenderTo(QCPPainter* painter, QSize size) {
        const QRect onScreen = viewport();
        setViewport(QRect(QPoint(0, 0), size));
        updateLayout();
        toPainter(painter, size.width(), size.height());
        setViewport(onScreen);
        updateLayout();
    }

protected:
    void updateLayout() override {
        owner_.SyncBeforeLayout(viewport().size());
        // The tick step depends on the axis length, which the first pass settles; the second
        // pass places the ticks for that length.
        QCustomPlot::updateLayout();
        QCustomPlot::updateLayout();
    }

    void mousePressEvent(QMouseEvent* event) override {
        QCustomPlot::mousePressEvent(event);
        const QPoint pos = event->position().toPoint();
        if (event->button() == Qt::LeftButton) {
            zoomStart_ = pos;
            zooming_ = true;
            if (!band_) {
                band_ = std::make_unique<QRubberBand>(QRubberBand::Rectangle, this);
            }
            band_->setGeometry(QRect(pos, QSize()));
            band_->show();
        } else if (event->button() == Qt::RightButton) {
            owner_.SyncBeforeLayout(viewport().size());
            scrollStart_ = pos;
            scrollBottom_ = xAxis->range();
            scrollLeft_ = yAxis->range();
            rightDown_ = true;
            scrolling_ = false;
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        QCustomPlot::mouseMoveEvent(event);
        const QPoint pos = event->position().toPoint();
        if (zooming_ && band_) {
            band_->setGeometry(QRect(zoomStart_, pos).normalized());
        }
        if (rightDown_) {
            const QPoint delta = pos - scrollStart_;
            if (!scrolling_ && delta.manhattanLength() >= QApplication::startDragDistance()) {
                scrolling_ = true;
            }
            if (scrolling_) {
                owner_.ScrollByPixels(scrollBottom_, scrollLeft_, delta);
            }
        }
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        QCustomPlot::mouseReleaseEvent(event);
        const QPoint pos = event->position().toPoint();
        if (event->button() == Qt::LeftButton && zooming_) {
            zooming_ = false;
            if (band_) {
                band_->hide();
            }
            const QRect dragged = QRect(zoomStart_, pos).normalized();
            if (pos.x() < zoomStart_.x() - MinimumZoomPixels) {
                owner_.ResetZoom();
            } else if (pos.x() > zoomStart_.x() && dragged.width() >= MinimumZoomPixels &&
                       dragged.height() >= MinimumZoomPixels) {
                owner_.ZoomToPixelRect(dragged);
            }
        } else if (event->button() == Qt::RightButton && rightDown_) {
            rightDown_ = false;
            if (!scrolling_) {
                owner_.OpenPopupMenu(event->globalPosition().toPoint());
            }
            scrolling_ = false;
        }
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QCustomPlot::mouseDoubleClickEvent(event);
        if (event->button() == Qt::LeftButton) {
            owner_.ResetZoom();
        }
    }

    void wheelEvent(QWheelEvent* event) override {
        QCustomPlot::wheelEvent(event);
        const double steps = event->angleDelta().y() / 120.0;
        if (steps != 0.0) {
            owner_.SyncBeforeLayout(viewport().size());
            owner_.ZoomBottomAbout(event->position().x(), std::pow(0.85, steps));
        }
        event->accept();
    }

private:
    static constexpr int MinimumZoomPixels = 4;

    ChartView& owner_;
    std::unique_ptr<QRubberBand> band_;
    QPoint zoomStart_;
    bool zooming_ = false;
    QPoint scrollStart_;
    QCPRange scrollBottom_;
    QCPRange scrollLeft_;
    bool rightDown_ = false;
    bool scrolling_ = false;
};

// Base of the layers drawn by the view itself; they read the view's state when painting.
class ViewLayer : public QCPLayerable {
public:
    ViewLayer(const ChartView& view, QCustomPlot* plot, const QString& layer)
        : QCPLayerable(plot, layer), view_(view) {}

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        painter->setAntialiasing(false);
    }
    const ChartView& View() const { return view_; }
    QRectF PlotArea() const { return QRectF(parentPlot()->axisRect()->rect()); }
    QPointF PixelOf(const ChartView::Point& point) const {
        return {parentPlot()->xAxis->coordToPixel(point.X),
                parentPlot()->yAxis->coordToPixel(point.Y)};
    }

private:
    const ChartView& view_;
};

// The plotting area's outline; in the three-dimensional view also the back wall, the left wall,
// the floor and the grid drawn on the back wall and the floor.
class DepthLayer : public ViewLayer {
public:
    using ViewLayer::ViewLayer;

protected:
    void draw(QCPPainter* painter) override {
        const QRectF area = PlotArea();
        painter->setPen(QPen(Silver, 1));
        if (!View().View3D()) {
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(area);
            return;
        }
        const QPointF depth = DepthOffset(ViewDepth(*parentPlot()));
        const QPolygonF leftWall(
            {area.topLeft(), area.bottomLeft(), area.bottomLeft() + depth, area.topLeft() + depth});
        const QPolygonF floor({area.bottomLeft(), area.bottomRight(), area.bottomRight() + depth,
                               area.bottomLeft() + depth});
        painter->setBrush(Qt::white);
        painter->drawRect(area.translated(depth));
        painter->setBrush(QColor(232, 232, 232));
        painter->drawPolygon(leftWall);
        painter->setBrush(QColor(216, 216, 216));
        painter->drawPolygon(floor);

        const QCPAxis* axis = parentPlot()->xAxis;
        for (const double tick : axis->tickVector()) {
            const double x = axis->coordToPixel(tick);
            if (x < area.left() || x > area.right()) {
                continue;
            }
            const QPointF front(x, area.bottom());
            painter->drawLine(front, front + depth);
            painter->drawLine(QPointF(x, area.top()) + depth, front + depth);
        }
    }
};

// The series as a ribbon running back into the depth of the three-dimensional view; the series'
// own line is drawn over its front edge.
class RibbonLayer : public ViewLayer {
public:
    using ViewLayer::ViewLayer;

protected:
    QRect clipRect() const override {
        const QRect area = parentPlot()->axisRect()->rect();
        const QPointF depth = DepthOffset(ViewDepth(*parentPlot()));
        return area.united(area.translated(depth.toPoint()));
    }

    void draw(QCPPainter* painter) override {
        const auto& points = View().Points();
        if (!View().View3D() || points.size() < 2) {
            return;
        }
        const QPointF depth = DepthOffset(ViewDepth(*parentPlot()));
        painter->setPen(QPen(QColor(176, 0, 0), 1));
        painter->setBrush(QColor(255, 112, 112));
        QPointF previous = PixelOf(points.front());
        for (std::size_t i = 1; i < points.size(); ++i) {
            const QPointF current = PixelOf(points[i]);
            const QPointF face[] = {previous, current, current + depth, previous + depth};
            painter->drawPolygon(face, 4);
            previous = current;
        }
    }
};

// Every mark in one pass over the series' points: a box with the mark text above the point,
// joined to it by a black connector.
class MarksLayer : public ViewLayer {
public:
    MarksLayer(const ChartView& view, QCustomPlot* plot, const QString& layer)
        : ViewLayer(view, plot, layer), font_(SansFont(10)) {}

protected:
    void draw(QCPPainter* painter) override {
        if (!View().MarksVisible()) {
            return;
        }
        const auto& points = View().Points();
        const QRectF area = PlotArea().adjusted(-1, -1, 1, 1);
        const QFontMetricsF metrics(font_);
        const QPen connectorPen(Qt::black, 1);
        const QPen boxPen(QColor(128, 128, 128), 1);
        painter->setFont(font_);
        painter->setBrush(MarkFill);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const QPointF at = PixelOf(points[i]);
            if (!area.contains(at)) {
                continue; // zoomed or scrolled out of sight
            }
            const QString text = View().MarkText(static_cast<int>(i));
            const QSizeF box(metrics.horizontalAdvance(text) + 6.0, metrics.height() + 2.0);
            const MarkPlacement mark = PlaceMark(at, box);
            painter->setPen(connectorPen);
            painter->drawLine(mark.ConnectorStart, mark.ConnectorEnd);
            painter->setPen(boxPen);
            painter->drawRect(mark.Box);
            painter->setPen(Qt::black);
            painter->drawText(mark.Box, Qt::AlignCenter, text);
        }
    }

private:
    QFont font_;
};

} // namespace detail

ChartView::ChartView(QWidget* parent)
    : QWidget(parent), title_(QStringLiteral("Dekoder - wykres")) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    plot_ = new detail::ChartPlot(*this, this);
    // The plot queues a repaint of itself when made. Ours below replaces it, and is skipped when
    // the first showing has repainted the plot already (its resize), instead of painting twice.
    QCoreApplication::removePostedEvents(plot_, QEvent::MetaCall);
    layout->addWidget(plot_);

    QLinearGradient gradient(0.0, 0.0, 0.0, 1.0);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0.0, Qt::white);
    gradient.setColorAt(1.0, BackgroundBottom);
    plot_->setBackground(QBrush(gradient));
    plot_->legend->setVisible(false);

    SetUpAxes();
    SetUpLayers();

    series_ = new QCPCurve(plot_->xAxis, plot_->yAxis); // owned by the plot
    series_->setName(QStringLiteral("Series2"));
    series_->setPen(QPen(SeriesRed, 1));
    series_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    series_->setLineStyle(QCPCurve::lsLine);

    titleElement_ = new QCPTextElement(plot_, QString(), TitleFont());
    titleElement_->setTextColor(TitleBlue);
    titleElement_->setTextFlags(Qt::AlignLeft | Qt::AlignVCenter);
    titleElement_->setMargins(QMargins(10, 6, 10, 0));
    footerElement_ = new QCPTextElement(plot_, QString(), FooterFont());
    footerElement_->setTextColor(FooterGrey);
    footerElement_->setTextFlags(Qt::AlignRight | Qt::AlignVCenter);
    footerElement_->setMargins(QMargins(10, 0, 10, 4));
    titleElement_->setVisible(false);
    footerElement_->setVisible(false);

    repaintGap_ = new QTimer(this);
    repaintGap_->setSingleShot(true);
    repaintGap_->setInterval(RepaintGapMs);
    connect(repaintGap_, &QTimer::timeout, this, &ChartView::RepaintGapEnded);
    // Whatever starts a repaint (ours, or the plot's own on a resize), the changes made so far are
    // in it, and the gap runs from its start.
    connect(plot_, &QCustomPlot::beforeReplot, this, [this] {
        repaintQueued_ = false;
        repaintOwed_ = false;
        repaintGap_->start();
    });

    ApplyTextRow(titleElement_, title_, true);

    ScheduleReplot();
}

ChartView::~ChartView() {
    // The plot's layers and ticker read this view while drawing; end the plot while the view is
    // still whole instead of leaving it to QWidget's teardown of the children.
    delete plot_;
}

void ChartView::SetUpAxes() {
    QCPAxis* bottom = plot_->xAxis;
    bottom->setLabel(QStringLiteral("mikrosekundy"));
    bottom->setLabelFont(SansFont(11));
    bottom->setTickLabelFont(SansFont(11));
    bottom->setTicker(QSharedPointer<QCPAxisTicker>(new detail::BottomTicker(*this, *bottom)));
    bottom->setSubTicks(false);
    bottom->setTickLength(0, 4);
    bottom->setBasePen(QPen(Silver, 1));
    bottom->setTickPen(QPen(QColor(128, 128, 128), 1));
    bottom->grid()->setPen(QPen(Silver, 1, Qt::SolidLine));
    bottom->grid()->setSubGridVisible(false);
    bottom->grid()->setZeroLinePen(Qt::NoPen);

    QCPAxis* left = plot_->yAxis;
    left->setVisible(false);
    left->grid()->setVisible(false);
    left->setRange(LeftLower, LeftUpper);

    plot_->axisRect()->setMinimumMargins(BaseMargins);
    plot_->axisRect()->setBackground(QBrush(Qt::white));
    plot_->setInteractions(QCP::Interactions()); // the gestures are ours
}

void ChartView::SetUpLayers() {
    plot_->addLayer(QStringLiteral("walls"), plot_->layer(QStringLiteral("background")),
                    QCustomPlot::limAbove);
    plot_->addLayer(QStringLiteral("ribbon"), plot_->layer(QStringLiteral("grid")),
                    QCustomPlot::limAbove);
    plot_->addLayer(QStringLiteral("marks"), plot_->layer(QStringLiteral("axes")),
                    QCustomPlot::limAbove);
    // Owned by the plot (their QObject parent), like everything placed on it.
    new detail::DepthLayer(*this, plot_, QStringLiteral("walls"));
    new detail::RibbonLayer(*this, plot_, QStringLiteral("ribbon"));
    new detail::MarksLayer(*this, plot_, QStringLiteral("marks"));
    plot_->setCurrentLayer(QStringLiteral("main"));
}

void ChartView::ApplyTextRow(QCPTextElement* element, const QString& text, bool top) {
    element->setText(text);
    QCPLayoutGrid* grid = plot_->plotLayout();
    const bool placed = element->layout() != nullptr;
    if (text.isEmpty() && placed) {
        grid->take(element);
        grid->simplify();
        element->setVisible(false);
    } else if (!text.isEmpty() && !placed) {
        const int row = top ? 0 : grid->rowCount();
        grid->insertRow(row);
        grid->addElement(row, 0, element);
        element->setVisible(true);
    }
    ScheduleReplot();
}

void ChartView::ClearSeries() {
    points_.clear();
    series_->data()->clear();
    ScheduleReplot();
}

void ChartView::AddPoint(double x, double y, std::string_view label) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return;
    }
    Point point{x, y, QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()))};
    if (points_.empty() || x >= points_.back().X) {
        // The common case: time only moves forward. The curve's parameter is the point's index.
        series_->data()->add(QCPCurveData(static_cast<double>(points_.size()), x, y));
        points_.push_back(std::move(point));
    } else {
        const auto after =
            std::upper_bound(points_.begin(), points_.end(), x,
                             [](double value, const Point& p) { return value < p.X; });
        points_.insert(after, std::move(point));
        RebuildCurve();
    }
    ScheduleReplot();
}

void ChartView::RebuildCurve() {
    QVector<QCPCurveData> data;
    data.reserve(static_cast<qsizetype>(points_.size()));
    for (std::size_t i = 0; i < points_.size(); ++i) {
        data.append(QCPCurveData(static_cast<double>(i), points_[i].X, points_[i].Y));
    }
    series_->data()->set(data, true);
}

void ChartView::SetBottomAxisAutomatic() {
    bottomAutomatic_ = true;
    ScheduleReplot();
}

void ChartView::SetMarksVisible(bool on) {
    marksVisible_ = on;
    ScheduleReplot();
}

void ChartView::SetView3D(bool on) {
    view3D_ = on;
    ScheduleReplot();
}

void ChartView::SetTitle(const QString& text) {
    title_ = text;
    ApplyTextRow(titleElement_, title_, true);
}

void ChartView::SetFooter(const QString& text) {
    footer_ = text;
    ApplyTextRow(footerElement_, footer_, false);
}

void ChartView::SetPopupMenu(QMenu* menu) {
    popupMenu_ = menu;
}

void ChartView::OpenPopupMenu(QPoint globalPos) {
    if (popupMenu_) {
        popupMenu_->popup(globalPos);
    }
}

void ChartView::ResetZoom() {
    bottomAutomatic_ = true;
    ResetLeftAxis();
    ScheduleReplot();
}

void ChartView::ResetLeftAxis() {
    plot_->yAxis->setRange(LeftLower, LeftUpper);
}

void ChartView::ZoomToPixelRect(const QRect& rect) {
    const QRect area = rect.intersected(plot_->axisRect()->rect());
    if (area.width() < 2 || area.height() < 2) {
        return;
    }
    const QCPAxis* bottom = plot_->xAxis;
    const QCPAxis* left = plot_->yAxis;
    const QCPRange keys(bottom->pixelToCoord(area.left()), bottom->pixelToCoord(area.right()));
    const QCPRange values(left->pixelToCoord(area.bottom()), left->pixelToCoord(area.top()));
    if (!QCPRange::validRange(keys) || !QCPRange::validRange(values)) {
        return; // already zoomed as deep as numbers allow
    }
    bottomAutomatic_ = false;
    plot_->xAxis->setRange(keys);
    plot_->yAxis->setRange(values);
    ScheduleReplot();
}

void ChartView::ScrollByPixels(const QCPRange& bottomStart, const QCPRange& leftStart,
                               QPoint delta) {
    const QRect area = plot_->axisRect()->rect();
    if (area.width() <= 0 || area.height() <= 0) {
        return;
    }
    bottomAutomatic_ = false;
    const double dx = -delta.x() * bottomStart.size() / area.width();
    const double dy = delta.y() * leftStart.size() / area.height();
    plot_->xAxis->setRange(bottomStart.lower + dx, bottomStart.upper + dx);
    plot_->yAxis->setRange(leftStart.lower + dy, leftStart.upper + dy);
    ScheduleReplot();
}

void ChartView::ZoomBottomAbout(double pixelX, double factor) {
    QCPAxis* bottom = plot_->xAxis;
    const double centre = bottom->pixelToCoord(pixelX);
    const QCPRange before = bottom->range();
    const QCPRange after((before.lower - centre) * factor + centre,
                         (before.upper - centre) * factor + centre);
    if (!QCPRange::validRange(after)) {
        return;
    }
    bottomAutomatic_ = false;
    bottom->setRange(after);
    ScheduleReplot();
}

QString ChartView::MarkText(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= points_.size()) {
        return {};
    }
    const Point& point = points_[static_cast<std::size_t>(index)];
    return point.Label.isEmpty() ? FormatMarkNumber(point.Y, locale()) : point.Label;
}

QCustomPlot* ChartView::Plot() const {
    return plot_;
}

QCPRange ChartView::BottomRange() const {
    if (!bottomAutomatic_) {
        return plot_->xAxis->range();
    }
    const AxisSpan span = points_.empty() ? AutomaticSpan(0.0, 0.0)
                                          : AutomaticSpan(points_.front().X, points_.back().X);
    return {span.Lower, span.Upper};
}

QCPRange ChartView::LeftRange() const {
    return plot_->yAxis->range();
}

void ChartView::SyncBeforeLayout(QSize chartSize) const {
    if (beforeLayout_) {
        beforeLayout_();
    }
    if (bottomAutomatic_) {
        plot_->xAxis->setRange(BottomRange());
    }
    const int depth = view3D_ ? static_cast<int>(DepthPixels(QSizeF(chartSize), DepthPercent)) : 0;
    plot_->axisRect()->setMinimumMargins(BaseMargins + QMargins(0, depth, depth, 0));
    plot_->axisRect()->setBackground(view3D_ ? QBrush(Qt::NoBrush) : QBrush(Qt::white));
    plot_->xAxis->grid()->setVisible(!view3D_);
}

void ChartView::ScheduleReplot() {
    if (repaintGap_->isActive()) {
        repaintOwed_ = true;
        return;
    }
    if (repaintQueued_) {
        return;
    }
    repaintQueued_ = true;
    // Our own queued call rather than the plot's: it is skipped when a repaint has come first (the
    // plot's own, on the first showing or a resize), so the changes are not painted twice.
    QTimer::singleShot(0, this, [this] {
        if (repaintQueued_) {
            plot_->replot();
        }
    });
}

void ChartView::RepaintGapEnded() {
    if (repaintOwed_) {
        plot_->replot();
    }
}

bool ChartView::RepaintPending() const {
    return repaintQueued_ || repaintOwed_;
}

QImage ChartView::Render() const {
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull()) {
        return image;
    }
    image.fill(Qt::white);
    QCPPainter painter(&image);
    plot_->RenderTo(&painter, size());
    return image;
}

void ChartView::SavePicture(const QString& fileName, PictureFormat format) const {
    const auto fail = [&fileName](const QString& reason) {
        return frame::FileError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, reason).toStdString());
    };
    const QImage image = format == PictureFormat::Svg ? QImage() : Render();
    if (size().isEmpty() || (format != PictureFormat::Svg && image.isNull())) {
        throw fail(QStringLiteral("The chart has no area to draw."));
    }
    QSaveFile file(fileName);
    // A folder we may not create files in can still hold a file we may overwrite.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        throw fail(file.errorString());
    }
    const bool written = format == PictureFormat::Svg
                             ? WriteSvg(file)
                             : image.save(&file, format == PictureFormat::Bmp ? "BMP" : "PNG");
    if (!written || file.error() != QFileDevice::NoError) {
        const QString reason = file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("The picture could not be written.");
        file.cancelWriting();
        throw fail(reason);
    }
    if (!file.commit()) {
        throw fail(file.errorString());
    }
}

bool ChartView::WriteSvg(QIODevice& device) const {
    QSvgGenerator generator;
    generator.setOutputDevice(&device);
    generator.setSize(size());
    generator.setViewBox(rect());
    generator.setTitle(title_);
    QCPPainter painter;
    if (!painter.begin(&generator)) {
        return false;
    }
    painter.fillRect(rect(), Qt::white);
    plot_->RenderTo(&painter, size());
    return painter.end();
}

} // namespace ui
