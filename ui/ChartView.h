#pragma once

#include "frame/FrameSinks.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <qcustomplot.h>

#include <functional>
#include <string_view>
#include <vector>

class QIODevice;
class QMenu;
class QTimer;

namespace ui {

namespace detail {
class ChartPlot;
} // namespace detail

// The frame chart: one red line series over a time axis in microseconds, optional marks with each
// point's label, an optional three-dimensional view, mouse zoom and scroll, bitmap export.
//
// Mouse: a left-button drag toward the right zooms into the dragged rectangle; a left-button drag
// toward the left, or a double click, undoes the zoom; a right-button drag scrolls in both
// directions; a right click without a drag opens the popup menu; the wheel zooms the time axis
// about the cursor.
//
// Repaints are queued and coalesce: the first change after a quiet spell repaints on the next pass
// of the event loop; changes within RepaintGapMs of the start of a repaint are folded into one more
// repaint at the end of that gap, so a burst of frames costs a few repaints, not one per frame. The
// points themselves are always current (Points(), Render()). Main thread only.
class ChartView : public QWidget, public frame::ChartSink {
    Q_OBJECT
public:
    // The shortest time from the start of one repaint to the start of the next (about a display
    // frame).
    static constexpr int RepaintGapMs = 16;

    explicit ChartView(QWidget* parent = nullptr);
    ~ChartView() override;

    ChartView(const ChartView&) = delete;
    ChartView& operator=(const ChartView&) = delete;

    // frame::ChartSink
    void ClearSeries() override;
    // Places the point after every point whose X is smaller than or equal to its own. A point with
    // a non-finite coordinate cannot be drawn and is ignored. `label` is UTF-8.
    void AddPoint(double x, double y, std::string_view label) override;
    void SetBottomAxisAutomatic() override;

    void SetMarksVisible(bool on);
    bool MarksVisible() const { return marksVisible_; }
    void SetView3D(bool on);
    bool View3D() const { return view3D_; }
    // An empty text removes the title line; the plotting area takes its room.
    void SetTitle(const QString& text);
    QString Title() const { return title_; }
    // An empty text removes the footer line.
    void SetFooter(const QString& text);
    QString Footer() const { return footer_; }
    // Runs before every layout of the chart (a repaint, a picture export), so that what is drawn
    // from the current frame can be worked out once, when it is about to be shown. Empty: none.
    void SetBeforeLayout(std::function<void()> hook) { beforeLayout_ = std::move(hook); }
    // Opened on a right click on the chart. Not owned; may be null.
    void SetPopupMenu(QMenu* menu);
    QMenu* PopupMenu() const { return popupMenu_; }
    // Undoes the user's zoom and scroll: the bottom axis follows the series, the left one shows
    // 0-1.2.
    void ResetZoom();

    // The chart as shown, at the widget's current size, drawn over white.
    QImage Render() const;
    enum class PictureFormat { Bmp, Png, Svg };
    // Writes the chart as shown, at the widget's current size, over white: Render() as a BMP or
    // PNG file, or the same drawing as SVG. Replaces any file of that name only once the new one
    // is complete. Throws frame::FileError "Cannot create file "<name>". <reason>" on failure.
    void SavePicture(const QString& fileName, PictureFormat format) const;
    void SaveBitmap(const QString& fileName) const { SavePicture(fileName, PictureFormat::Bmp); }

    struct Point {
        double X;
        double Y;
        QString Label;
    };
    // The series in its kept order.
    const std::vector<Point>& Points() const { return points_; }
    // The label of point `index`, or its Y as "#,##0.###" in the widget's locale when the label is
    // empty. Empty for an index out of range.
    QString MarkText(int index) const;
    bool BottomAxisAutomatic() const { return bottomAutomatic_; }
    // A change has not been painted yet (its repaint is queued or waits for the gap to end).
    bool RepaintPending() const;

    QCustomPlot* Plot() const;
    QCPRange BottomRange() const;
    QCPRange LeftRange() const;

    // Used by the mouse handling of the plot; coordinates are the plot widget's pixels.
    void ZoomToPixelRect(const QRect& rect);
    void ScrollByPixels(const QCPRange& bottomStart, const QCPRange& leftStart, QPoint delta);
    void ZoomBottomAbout(double pixelX, double factor);
    void OpenPopupMenu(QPoint globalPos);

    // Queues a repaint, coalesced with the others (for layers drawn over the chart by others).
    void ScheduleReplot();

private:
    friend class detail::ChartPlot;

    void SetUpAxes();
    void SetUpLayers();
    void ApplyTextRow(QCPTextElement* element, const QString& text, bool top);
    // Brings the axis ranges, the 3D margins and the grid in line with the state before a layout.
    void SyncBeforeLayout(QSize chartSize) const;
    bool WriteSvg(QIODevice& device) const;
    void RepaintGapEnded();
    void RebuildCurve();
    void ResetLeftAxis();

    std::vector<Point> points_;
    std::function<void()> beforeLayout_;
    bool marksVisible_ = false;
    bool view3D_ = false;
    bool bottomAutomatic_ = true;
    QString title_;
    QString footer_;
    QPointer<QMenu> popupMenu_;
    // Runs from the start of each repaint; changes meanwhile only set repaintOwed_.
    QTimer* repaintGap_ = nullptr;
    bool repaintOwed_ = false;
    bool repaintQueued_ = false;

    // The plot is our child widget; the rest belong to the plot.
    detail::ChartPlot* plot_ = nullptr;
    QCPCurve* series_ = nullptr;
    QCPTextElement* titleElement_ = nullptr;
    QCPTextElement* footerElement_ = nullptr;
};

} // namespace ui
