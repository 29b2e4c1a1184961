#include "ui/ChartView.h"

#include "frame/FrameFile.h"
#include "ui/ChartGeometry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <gmock/gmock.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

namespace ui {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<QString> Labels(const ChartView& view) {
    std::vector<QString> labels;
    for (const auto& point : view.Points()) {
        labels.push_back(point.Label);
    }
    return labels;
}

std::vector<double> Xs(const ChartView& view) {
    std::vector<double> xs;
    for (const auto& point : view.Points()) {
        xs.push_back(point.X);
    }
    return xs;
}

// The curve drawn on the plot must follow the kept order point for point.
void ExpectCurveFollowsPoints(const ChartView& view) {
    auto* curve = qobject_cast<QCPCurve*>(view.Plot()->plottable(0));
    ASSERT_NE(curve, nullptr);
    ASSERT_EQ(static_cast<std::size_t>(curve->data()->size()), view.Points().size());
    for (int i = 0; i < curve->data()->size(); ++i) {
        const auto data = curve->data()->at(i);
        EXPECT_DOUBLE_EQ(data->key, view.Points()[static_cast<std::size_t>(i)].X) << i;
        EXPECT_DOUBLE_EQ(data->value, view.Points()[static_cast<std::size_t>(i)].Y) << i;
    }
}

// A frame as DrawFrame draws it: a square wave of `pulses` pulses whose lengths depend on `seed`,
// each labelled with its length.
void AddWave(ChartView& view, int seed, int pulses = 150) {
    view.ClearSeries();
    view.SetBottomAxisAutomatic();
    double x = 0;
    double level = 1.0;
    view.AddPoint(x, level, "");
    for (int i = 0; i < pulses; ++i) {
        const int length = 300 + (seed * 37 + i * 101) % 900;
        view.AddPoint(x, level, ".");
        x += length;
        view.AddPoint(x, level, std::to_string(length));
        level = level == 1.0 ? 0.1 : 1.0;
    }
}

// Runs the view's queued repaints, also one held back until the repaint gap has passed.
void SettleView(const ChartView& view) {
    QApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    while (view.RepaintPending() && clock.elapsed() < 10000) {
        QThread::msleep(1);
        QApplication::processEvents();
    }
    QApplication::processEvents();
}

// The points DrawFrame gives for 9000, 4500, 560 in transmitter view.
void AddSampleFrame(ChartView& view) {
    view.AddPoint(0, 1.0, "");
    view.AddPoint(0, 1.0, ".");
    view.AddPoint(9000, 1.0, "9000");
    view.AddPoint(9000, 0.1, ".");
    view.AddPoint(13500, 0.1, "4500");
    view.AddPoint(13500, 1.0, ".");
    view.AddPoint(14060, 1.0, "560");
}

class ChartViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view_.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        view_.resize(811, 250);
        view_.show();
        Settle();
    }
    void Settle() { SettleView(view_); }
    // Lets `ms` pass with the event loop running.
    static void Pump(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QThread::msleep(1);
            QApplication::processEvents();
        }
    }
    QRect PlotArea() const { return view_.Plot()->axisRect()->rect(); }

    ChartView view_;
};

TEST_F(ChartViewTest, StartsWithTheDesignedConfiguration) {
    EXPECT_EQ(view_.Title(), "Dekoder - wykres");
    EXPECT_FALSE(view_.MarksVisible());
    EXPECT_FALSE(view_.View3D());
    EXPECT_EQ(view_.Plot()->plottableCount(), 1);
    EXPECT_EQ(view_.Plot()->plottable(0)->name(), "Series2");
    EXPECT_EQ(view_.Plot()->plottable(0)->pen().color(), QColor(255, 0, 0));
    EXPECT_FALSE(view_.Plot()->legend->visible());
    EXPECT_FALSE(view_.Plot()->yAxis->visible());
    EXPECT_EQ(view_.Plot()->xAxis->label(), "mikrosekundy");
    EXPECT_DOUBLE_EQ(view_.LeftRange().lower, 0.0);
    EXPECT_DOUBLE_EQ(view_.LeftRange().upper, 1.2);
}

// The designed family when it is installed, else an installed relative, so that drawing does not
// search the font database's fallbacks for a missing family.
TEST_F(ChartViewTest, FontsAskForTheDesignedFamilyOrAnInstalledRelative) {
    auto* title = qobject_cast<QCPTextElement*>(view_.Plot()->plotLayout()->element(0, 0));
    ASSERT_NE(title, nullptr);
    const std::pair<QFont, QString> fonts[] = {
        {title->font(), QStringLiteral("Bookman Old Style")},
        {view_.Plot()->xAxis->tickLabelFont(), QStringLiteral("Arial")},
        {view_.Plot()->xAxis->labelFont(), QStringLiteral("Arial")}};
    for (const auto& [font, designed] : fonts) {
        if (QFontDatabase::hasFamily(designed)) {
            EXPECT_EQ(font.family(), designed);
        } else if (font.families().size() == 1) {
            EXPECT_TRUE(QFontDatabase::hasFamily(font.family())) << font.family().toStdString();
        } else {
            EXPECT_EQ(font.families().front(), designed) << "nothing installed: the whole list";
        }
    }
    EXPECT_EQ(title->font().pixelSize(), 13);
    EXPECT_EQ(view_.Plot()->xAxis->tickLabelFont().pixelSize(), 11);
}

TEST_F(ChartViewTest, PointsWithEqualXKeepTheirOrder) {
    view_.AddPoint(0, 0.1, "");
    view_.AddPoint(0, 0.1, ".");
    view_.AddPoint(560, 0.1, "560");
    EXPECT_THAT(Labels(view_), ElementsAre("", ".", "560"));
    ExpectCurveFollowsPoints(view_);
}

TEST_F(ChartViewTest, SmallerXGoesAfterEveryPointNotLargerThanIt) {
    view_.AddPoint(0, 0.1, "a");
    view_.AddPoint(100, 0.1, "b");
    view_.AddPoint(50, 1.0, "c");
    view_.AddPoint(100, 1.0, "d");
    view_.AddPoint(50, 0.1, "e");
    view_.AddPoint(-10, 0.1, "f");
    view_.AddPoint(0, 1.0, "g");
    EXPECT_THAT(Labels(view_), ElementsAre("f", "a", "g", "c", "e", "b", "d"));
    EXPECT_THAT(Xs(view_), ElementsAre(-10, 0, 0, 50, 50, 100, 100));
    ExpectCurveFollowsPoints(view_);
    // Appending after an insertion still keeps the curve in step.
    view_.AddPoint(200, 1.0, "h");
    ExpectCurveFollowsPoints(view_);
}

TEST_F(ChartViewTest, IgnoresPointsThatCannotBeDrawn) {
    view_.AddPoint(0, 0.1, "");
    view_.AddPoint(std::numeric_limits<double>::quiet_NaN(), 1.0, "nan");
    view_.AddPoint(5, std::numeric_limits<double>::infinity(), "inf");
    view_.AddPoint(10, 0.1, "10");
    EXPECT_THAT(Labels(view_), ElementsAre("", "10"));
    ExpectCurveFollowsPoints(view_);
}

TEST_F(ChartViewTest, ClearRemovesEveryPoint) {
    AddSampleFrame(view_);
    view_.ClearSeries();
    EXPECT_TRUE(view_.Points().empty());
    ExpectCurveFollowsPoints(view_);
    view_.AddPoint(3, 0.1, "");
    EXPECT_EQ(view_.Points().size(), 1u);
}

TEST_F(ChartViewTest, LabelsAreUtf8) {
    view_.AddPoint(0, 0.1, "\xc5\x82\xc4\x85"); // "łą"
    EXPECT_EQ(view_.MarkText(0), QStringLiteral("łą"));
}

struct MarkCase {
    QLocale::Language Language;
    QLocale::Territory Territory;
    const char* Level01;
    const char* Large;
};

void PrintTo(const MarkCase& c, std::ostream* os) {
    *os << QLocale(c.Language, c.Territory).name().toStdString();
}

class ChartMarkTextTest : public ChartViewTest, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(ChartMarkTextTest, ShowsTheLabelOrTheLevelInTheLocale) {
    const MarkCase c = GetParam();
    view_.setLocale(QLocale(c.Language, c.Territory));
    view_.AddPoint(0, 0.1, "");
    view_.AddPoint(0, 0.1, ".");
    view_.AddPoint(560, 0.1, "560");
    view_.AddPoint(560, 1.0, "");
    view_.AddPoint(600, 12345.6789, "");
    EXPECT_EQ(view_.MarkText(0), QString::fromUtf8(c.Level01));
    EXPECT_EQ(view_.MarkText(1), ".");
    EXPECT_EQ(view_.MarkText(2), "560");
    EXPECT_EQ(view_.MarkText(3), "1");
    EXPECT_EQ(view_.MarkText(4), QString::fromUtf8(c.Large));
    EXPECT_EQ(view_.MarkText(5), "");
    EXPECT_EQ(view_.MarkText(-1), "");
}

INSTANTIATE_TEST_SUITE_P(
    Locales, ChartMarkTextTest,
    ::testing::Values(MarkCase{QLocale::English, QLocale::UnitedStates, "0.1", "12,345.679"},
                      MarkCase{QLocale::Polish, QLocale::Poland, "0,1", "12\u00a0345,679"}));

TEST_F(ChartViewTest, BottomAxisFollowsTheSeriesWhileAutomatic) {
    AddSampleFrame(view_);
    EXPECT_DOUBLE_EQ(view_.BottomRange().lower, 0);
    EXPECT_DOUBLE_EQ(view_.BottomRange().upper, 14060);
    Settle();
    EXPECT_DOUBLE_EQ(view_.Plot()->xAxis->range().lower, 0);
    EXPECT_DOUBLE_EQ(view_.Plot()->xAxis->range().upper, 14060);
}

TEST_F(ChartViewTest, ASinglePointStillGetsARange) {
    view_.AddPoint(0, 0.1, "");
    Settle();
    const QCPRange range = view_.Plot()->xAxis->range();
    EXPECT_LT(range.lower, 0);
    EXPECT_GT(range.upper, 0);
}

TEST_F(ChartViewTest, AutomaticScalingUndoesAZoomOnTheBottomAxisOnly) {
    AddSampleFrame(view_);
    Settle();
    const QRect area = PlotArea();
    view_.ZoomToPixelRect(QRect(area.left() + 100, area.top() + 20, 200, 80));
    EXPECT_FALSE(view_.BottomAxisAutomatic());
    const QCPRange zoomedBottom = view_.BottomRange();
    const QCPRange zoomedLeft = view_.LeftRange();
    EXPECT_GT(zoomedBottom.lower, 0);
    EXPECT_LT(zoomedBottom.upper, 14060);
    EXPECT_GT(zoomedLeft.lower, 0);
    EXPECT_LT(zoomedLeft.upper, 1.2);

    view_.SetBottomAxisAutomatic();
    Settle();
    EXPECT_DOUBLE_EQ(view_.Plot()->xAxis->range().lower, 0);
    EXPECT_DOUBLE_EQ(view_.Plot()->xAxis->range().upper, 14060);
    EXPECT_DOUBLE_EQ(view_.LeftRange().lower, zoomedLeft.lower);
    EXPECT_DOUBLE_EQ(view_.LeftRange().upper, zoomedLeft.upper);

    view_.ResetZoom();
    EXPECT_DOUBLE_EQ(view_.LeftRange().lower, 0.0);
    EXPECT_DOUBLE_EQ(view_.LeftRange().upper, 1.2);
}

TEST_F(ChartViewTest, NewPointsDoNotMoveTheLeftAxis) {
    view_.AddPoint(0, 4.0, ""); // a level above the visible range
    view_.AddPoint(10, -3.0, "");
    Settle();
    EXPECT_DOUBLE_EQ(view_.LeftRange().lower, 0.0);
    EXPECT_DOUBLE_EQ(view_.LeftRange().upper, 1.2);
}

TEST_F(ChartViewTest, BottomTicksAreNumbersAtTheLabelStep) {
    AddSampleFrame(view_);
    view_.SetMarksVisible(true);
    Settle();
    const QCPAxis* axis = view_.Plot()->xAxis;
    const QVector<double> ticks = axis->tickVector();
    const QVector<QString> labels = axis->tickVectorLabels();
    ASSERT_GE(ticks.size(), 3);
    const double step = ticks[1] - ticks[0];
    const QFontMetricsF metrics(axis->tickLabelFont());
    const double widest = metrics.horizontalAdvance(QStringLiteral("14,060"));
    EXPECT_DOUBLE_EQ(step, BottomAxisLabelStep(14060, PlotArea().width(), widest));
    for (int i = 0; i < ticks.size(); ++i) {
        EXPECT_DOUBLE_EQ(std::fmod(ticks[i], step), 0.0);
        EXPECT_EQ(labels[i], FormatMarkNumber(ticks[i], view_.locale()));
        if (i > 0) {
            EXPECT_DOUBLE_EQ(ticks[i] - ticks[i - 1], step);
        }
    }
    EXPECT_FALSE(labels.contains("."));
    EXPECT_FALSE(labels.contains("4500"));
}

TEST_F(ChartViewTest, TickStepGrowsOnANarrowChart) {
    AddSampleFrame(view_);
    Settle();
    const QVector<double> wide = view_.Plot()->xAxis->tickVector();
    view_.resize(300, 250);
    Settle();
    const QVector<double> narrow = view_.Plot()->xAxis->tickVector();
    ASSERT_GE(wide.size(), 2);
    ASSERT_GE(narrow.size(), 2);
    EXPECT_GT(narrow[1] - narrow[0], wide[1] - wide[0]);
}

TEST_F(ChartViewTest, RepaintsCoalesce) {
    int replots = 0;
    QObject::connect(view_.Plot(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
    view_.ClearSeries();
    view_.SetBottomAxisAutomatic();
    for (int i = 0; i < 603; ++i) {
        view_.AddPoint(i * 100.0, i % 2 ? 1.0 : 0.1, i % 2 ? "." : "560");
    }
    EXPECT_EQ(replots, 0); // nothing is painted while points arrive
    Settle();
    EXPECT_EQ(replots, 1);
}

// What the widget shows on screen: the plot's last repaint, not a fresh drawing.
QImage OnScreen(const ChartView& view) {
    return view.Plot()->grab().toImage();
}

TEST_F(ChartViewTest, ALoneChangeAfterAQuietSpellRepaintsOnTheNextPass) {
    Pump(3 * ChartView::RepaintGapMs);
    int replots = 0;
    QObject::connect(view_.Plot(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
    AddSampleFrame(view_);
    QApplication::processEvents();
    EXPECT_EQ(replots, 1);
    EXPECT_FALSE(view_.RepaintPending());
}

TEST_F(ChartViewTest, ABurstOfFramesCostsAFewRepaintsAndShowsTheLastFrame) {
    view_.SetMarksVisible(true);
    Settle();
    Pump(3 * ChartView::RepaintGapMs);
    int replots = 0;
    QObject::connect(view_.Plot(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
    QElapsedTimer burst;
    burst.start();
    constexpr int Frames = 100;
    for (int frame = 0; frame < Frames; ++frame) {
        AddWave(view_, frame);
        // Every frame gets its own pass of the event loop, as frames from the port do.
        QApplication::processEvents();
    }
    const qint64 burstMs = burst.elapsed();
    // Every point of every frame went through: the chart holds the last frame now, before any
    // repaint has caught up with it.
    ASSERT_EQ(view_.Points().size(), 301u);
    EXPECT_EQ(view_.Points().back().Label, QString::number(300 + (99 * 37 + 149 * 101) % 900));
    EXPECT_EQ(view_.Render(), [] {
        ChartView fresh;
        fresh.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        fresh.resize(811, 250);
        fresh.SetMarksVisible(true);
        AddWave(fresh, 99);
        return fresh.Render();
    }());

    Settle();
    // The first frame repaints at once; after that at most one repaint per gap, however slowly
    // a loaded machine (or a sanitizer) lets the burst go by.
    EXPECT_GE(replots, 2);
    EXPECT_LE(replots, 2 + burstMs / ChartView::RepaintGapMs);

    // What is on screen is the last frame, not one from the middle of the burst.
    ChartView last;
    last.setLocale(view_.locale());
    last.resize(view_.size());
    last.SetMarksVisible(true);
    last.show();
    AddWave(last, 99);
    SettleView(last);
    ChartView previous;
    previous.setLocale(view_.locale());
    previous.resize(view_.size());
    previous.SetMarksVisible(true);
    previous.show();
    AddWave(previous, 98);
    SettleView(previous);
    const QImage shown = OnScreen(view_);
    EXPECT_EQ(shown, OnScreen(last));
    EXPECT_NE(shown, OnScreen(previous));
}

TEST(ChartViewShowTest, FirstShowingPaintsTheChartOnce) {
    ChartView view;
    int replots = 0;
    QObject::connect(view.Plot(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
    AddSampleFrame(view);
    view.SetFooter(QStringLiteral("footer"));
    view.resize(640, 240);
    view.show();
    SettleView(view);
    EXPECT_EQ(replots, 1);
    EXPECT_EQ(view.Plot()->viewport().size(), view.Plot()->size());
}

TEST_F(ChartViewTest, RepaintsGoQuietAfterABurst) {
    AddSampleFrame(view_);
    Settle();
    AddSampleFrame(view_);
    Settle();
    int replots = 0;
    QObject::connect(view_.Plot(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
    Pump(4 * ChartView::RepaintGapMs);
    EXPECT_EQ(replots, 0); // no repaint without a change
    EXPECT_FALSE(view_.RepaintPending());
}

TEST_F(ChartViewTest, RenderHasTheWidgetSizeOnWhite) {
    AddSampleFrame(view_);
    const QImage image = view_.Render();
    EXPECT_EQ(image.size(), view_.size());
    EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(Qt::white));
    // The background darkens toward the bottom.
    EXPECT_LT(qGray(image.pixel(2, image.height() - 1)), 245);
    // Inside the plotting area, away from the wave and the grid: white.
    const QRect area = PlotArea();
    EXPECT_EQ(QColor(image.pixel(area.left() + 3, area.top() + 3)), QColor(Qt::white));
    // The wave is drawn in red, one pixel thick: in a column between two grid lines, the rows
    // about the high level hold one pixel of red in all, however the smoothing spreads it.
    const QVector<double> ticks = view_.Plot()->xAxis->tickVector();
    ASSERT_GE(ticks.size(), 3);
    ASSERT_LT(ticks[1], 9000.0); // within the first pulse, which is high
    const int x = qRound(view_.Plot()->xAxis->coordToPixel((ticks[0] + ticks[1]) / 2));
    const int highY = qRound(view_.Plot()->yAxis->coordToPixel(1.0));
    double red = 0;
    for (int y = highY - 3; y <= highY + 3; ++y) {
        const QColor pixel = image.pixelColor(x, y);
        EXPECT_EQ(pixel.red(), 255) << "a red line over white, row " << y;
        EXPECT_EQ(pixel.green(), pixel.blue()) << "row " << y;
        red += (255 - pixel.green()) / 255.0;
    }
    EXPECT_NEAR(red, 1.0, 0.15);
}

TEST_F(ChartViewTest, RenderFollowsAResize) {
    view_.resize(500, 200);
    EXPECT_EQ(view_.Render().size(), QSize(500, 200));
}

TEST_F(ChartViewTest, EmptyTitleRemovesTheTitleLine) {
    AddSampleFrame(view_);
    Settle();
    const QImage titled = view_.Render();
    const int titledTop = PlotArea().top();

    view_.SetTitle("");
    EXPECT_EQ(view_.Title(), "");
    Settle();
    EXPECT_LT(PlotArea().top(), titledTop - 5);
    EXPECT_NE(view_.Render(), titled);

    view_.SetTitle("C:/ramki/pilot.txt");
    Settle();
    EXPECT_EQ(PlotArea().top(), titledTop);
}

TEST_F(ChartViewTest, FooterTakesALineOfItsOwn) {
    AddSampleFrame(view_);
    Settle();
    const int bottom = PlotArea().bottom();
    view_.SetFooter("dekoder-ir.example");
    EXPECT_EQ(view_.Footer(), "dekoder-ir.example");
    Settle();
    EXPECT_LT(PlotArea().bottom(), bottom);
    view_.SetFooter("");
    Settle();
    EXPECT_EQ(PlotArea().bottom(), bottom);
}

TEST_F(ChartViewTest, MarksAndTheThreeDimensionalViewChangeThePicture) {
    AddSampleFrame(view_);
    const QImage flat = view_.Render();
    view_.SetMarksVisible(true);
    EXPECT_TRUE(view_.MarksVisible());
    const QImage marked = view_.Render();
    EXPECT_NE(marked, flat);
    view_.SetView3D(true);
    EXPECT_TRUE(view_.View3D());
    const QImage deep = view_.Render();
    EXPECT_NE(deep, marked);
    view_.SetMarksVisible(false);
    view_.SetView3D(false);
    EXPECT_EQ(view_.Render(), flat);
}

TEST_F(ChartViewTest, ThreeDimensionalViewMakesRoomForTheDepth) {
    AddSampleFrame(view_);
    Settle();
    const QRect flat = PlotArea();
    view_.SetView3D(true);
    Settle();
    const QRect front = PlotArea();
    const int depth = static_cast<int>(DepthPixels(QSizeF(view_.size()), DepthPercent));
    EXPECT_EQ(front.right(), flat.right() - depth);
    EXPECT_EQ(front.top(), flat.top() + depth);
}

// Reads a little-endian field of a BMP header.
template <typename T>
T Field(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

TEST_F(ChartViewTest, SaveBitmapWritesAValidBmpReplacingAnyFile) {
    AddSampleFrame(view_);
    QTemporaryDir dir;
    const QString name = dir.filePath("chart.bmp");
    {
        QFile old(name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1 << 20, 'x')); // larger than the picture
    }
    view_.SaveBitmap(name);

    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 54);
    EXPECT_EQ(bytes.left(2), "BM");
    EXPECT_EQ(Field<quint32>(bytes, 2), static_cast<quint32>(bytes.size()));
    const quint32 dataOffset = Field<quint32>(bytes, 10);
    EXPECT_GE(Field<quint32>(bytes, 14), 40u); // info header size
    const qint32 width = Field<qint32>(bytes, 18);
    const qint32 height = Field<qint32>(bytes, 22);
    const quint16 bits = Field<quint16>(bytes, 28);
    EXPECT_EQ(width, view_.width());
    EXPECT_EQ(std::abs(height), view_.height());
    EXPECT_TRUE(bits == 24 || bits == 32) << bits;
    const quint32 rowBytes = ((static_cast<quint32>(width) * bits + 31) / 32) * 4;
    EXPECT_EQ(dataOffset + rowBytes * static_cast<quint32>(std::abs(height)),
              static_cast<quint32>(bytes.size()));

    const QImage read(name, "BMP");
    EXPECT_EQ(read.size(), view_.size());
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), view_.Render());
}

TEST_F(ChartViewTest, SaveBitmapToAnUnwritablePlaceThrowsFileError) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("no/such/folder/chart.bmp");
    try {
        view_.SaveBitmap(missing);
        FAIL() << "no exception";
    } catch (const frame::FileError& error) {
        const std::string prefix = "Cannot create file \"" + missing.toStdString() + "\". ";
        EXPECT_THAT(error.what(), StartsWith(prefix));
        EXPECT_GT(std::string(error.what()).size(), prefix.size()); // the reason follows
    }
    EXPECT_THROW(view_.SaveBitmap(dir.path()), frame::FileError); // a folder
    EXPECT_THROW(view_.SaveBitmap(""), frame::FileError);
}

void SendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, QPoint pos,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void Drag(QWidget* target, Qt::MouseButton button, QPoint from, QPoint to) {
    SendMouse(target, QEvent::MouseButtonPress, button, from, button);
    SendMouse(target, QEvent::MouseMove, Qt::NoButton, (from + to) / 2, button);
    SendMouse(target, QEvent::MouseMove, Qt::NoButton, to, button);
    SendMouse(target, QEvent::MouseButtonRelease, button, to, Qt::NoButton);
}

TEST_F(ChartViewTest, RightClickOpensThePopupMenu) {
    QMenu menu;
    menu.addAction("Wczytaj ramkę");
    int shown = 0;
    QObject::connect(&menu, &QMenu::aboutToShow, [&shown] { ++shown; });
    view_.SetPopupMenu(&menu);
    const QPoint at = PlotArea().center();
    SendMouse(view_.Plot(), QEvent::MouseButtonPress, Qt::RightButton, at, Qt::RightButton);
    SendMouse(view_.Plot(), QEvent::MouseButtonRelease, Qt::RightButton, at, Qt::NoButton);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
}

TEST_F(ChartViewTest, RightDragScrollsInBothDirectionsWithoutAMenu) {
    AddSampleFrame(view_);
    Settle();
    QMenu menu;
    menu.addAction("x");
    view_.SetPopupMenu(&menu);
    const QPoint from = PlotArea().center();
    Drag(view_.Plot(), Qt::RightButton, from, from + QPoint(-100, 30));
    EXPECT_FALSE(menu.isVisible());
    EXPECT_FALSE(view_.BottomAxisAutomatic());
    const double unitsPerPixel = 14060.0 / PlotArea().width();
    EXPECT_NEAR(view_.BottomRange().lower, 100 * unitsPerPixel, 1e-6);
    EXPECT_NEAR(view_.BottomRange().upper, 14060 + 100 * unitsPerPixel, 1e-6);
    EXPECT_GT(view_.LeftRange().lower, 0.0); // dragged down: higher values come into view
}

TEST_F(ChartViewTest, LeftDragZoomsAndADragBackUndoesIt) {
    AddSampleFrame(view_);
    Settle();
    const QRect area = PlotArea();
    const QPoint from = area.topLeft() + QPoint(50, 10);
    Drag(view_.Plot(), Qt::LeftButton, from, from + QPoint(200, 100));
    EXPECT_FALSE(view_.BottomAxisAutomatic());
    EXPECT_GT(view_.BottomRange().lower, 0);
    EXPECT_LT(view_.BottomRange().size(), 14060.0 / 2);
    EXPECT_LT(view_.LeftRange().size(), 1.2);
    Settle();

    Drag(view_.Plot(), Qt::LeftButton, area.center(), area.center() - QPoint(60, 40));
    EXPECT_TRUE(view_.BottomAxisAutomatic());
    EXPECT_DOUBLE_EQ(view_.LeftRange().lower, 0.0);
    EXPECT_DOUBLE_EQ(view_.LeftRange().upper, 1.2);
}

TEST_F(ChartViewTest, DoubleClickUndoesAZoom) {
    AddSampleFrame(view_);
    Settle();
    view_.ZoomToPixelRect(PlotArea().adjusted(50, 20, -50, -20));
    ASSERT_FALSE(view_.BottomAxisAutomatic());
    SendMouse(view_.Plot(), QEvent::MouseButtonDblClick, Qt::LeftButton, PlotArea().center(),
              Qt::LeftButton);
    EXPECT_TRUE(view_.BottomAxisAutomatic());
    EXPECT_DOUBLE_EQ(view_.LeftRange().upper, 1.2);
}

TEST_F(ChartViewTest, WheelZoomsTheTimeAxisAboutTheCursor) {
    AddSampleFrame(view_);
    Settle();
    const QPoint at = PlotArea().center();
    const double before = view_.Plot()->xAxis->pixelToCoord(at.x());
    QWheelEvent wheel(QPointF(at), QPointF(view_.Plot()->mapToGlobal(at)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view_.Plot(), &wheel);
    EXPECT_LT(view_.BottomRange().size(), 14060);
    EXPECT_NEAR(view_.Plot()->xAxis->pixelToCoord(at.x()), before, 1e-6);
}

} // namespace
} // namespace ui
