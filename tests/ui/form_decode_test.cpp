// The protocol decode in the main window: its popup items and their remembered state, the chart
// left exactly as it was while decoding is off, the annotation of a decoded frame, the clean-up
// of a frame to nominal timings, and the chart's export as PNG and SVG.

#include "tests/ui/FormTestSupport.h"

#include "frame/FrameCore.h"
#include "ui/ChartView.h"
#include "ui/DecodeMenu.h"
#include "ui/DecodeOverlay.h"

#include <QFile>
#include <QXmlStreamReader>

#include <gmock/gmock.h>

namespace {

using analysis::Span;
using formtest::FrameLine;
using formtest::MakeWindow;
using formtest::StoredString;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Field;

// A lead, two bits and a stop mark at their nominal timings.
const std::vector<int32_t> Nominal{9000, 4500, 560, 560, 560, 1690, 560};
// The frame as a receiver delivers it; its lead is 9001 us when its clean-up is to be too long.
const char* const Captured = "9100,4400,600,500,620,1750,540";

std::string Line(const std::vector<int32_t>& durations) {
    std::string text;
    for (const int32_t d : durations) {
        text += (text.empty() ? "" : ",") + std::to_string(d);
    }
    return FrameLine(text);
}

// Stands in for the analysis: any seven durations are one short frame of "NEC1 D=4".
ui::DecodeEngine FakeEngine() {
    ui::DecodeEngine engine;
    engine.Analyse = [](std::span<const int32_t> durations) {
        analysis::Result result;
        result.generic.encoding = "pulse distance";
        if (durations.size() != Nominal.size()) {
            return result;
        }
        analysis::Decode decode;
        decode.protocol = "NEC1";
        decode.params = {{"D", 4}};
        decode.last = durations.size() - 1;
        decode.repeats = durations[0] == 9001 ? 99 : 0;
        for (const int32_t n : Nominal) {
            decode.windows.push_back({n, n - 200, n + 200});
        }
        decode.spans = {{Span::Kind::Lead, "", 0, 1},
                        {Span::Kind::Bit, "0", 2, 3},
                        {Span::Kind::Bit, "1", 4, 5},
                        {Span::Kind::Field, "D=4", 2, 5},
                        {Span::Kind::Trailer, "", 6, 6}};
        result.decodes.push_back(decode);
        return result;
    };
    engine.Nominal = [](const analysis::Decode& decode) {
        return decode.repeats == 0 ? Nominal : analysis::Durations(303, 560);
    };
    return engine;
}

class NullSinks final : public frame::StatusSink, public frame::CommandSink {
public:
    void SetPanelText(int, std::string_view) override {}
    void SendCommand(std::string_view) override {}
};

TEST(DecodeItems, FollowTheDesignedMenuAndKeepTheirStateAcrossRuns) {
    {
        auto window = MakeWindow();
        const QList<QAction*> items = window->PopupMenu1()->actions();
        ASSERT_GE(items.size(), 18);
        EXPECT_EQ(items[11]->objectName(), "GenerujtablicC1");
        EXPECT_TRUE(items[12]->isSeparator());
        const QStringList captions{"Dekoduj protokół", "Pasma tolerancji", "Wyczyść ramkę",
                                   "Zapisz wykres jako PNG…", "Zapisz wykres jako SVG…"};
        for (int i = 0; i < captions.size(); ++i) {
            EXPECT_EQ(items[13 + i]->text(), captions[i]);
        }
        // Decoding on and the bands off by default.
        EXPECT_TRUE(items[13]->isChecked());
        EXPECT_FALSE(items[14]->isChecked());
        items[13]->trigger();
        items[14]->trigger();
        EXPECT_FALSE(window->Decoder()->Enabled());
        EXPECT_TRUE(window->Decoder()->BandsVisible());
    }
    EXPECT_EQ(StoredString(ui::DecodeMenu::DecodeValue), "0");
    EXPECT_EQ(StoredString(ui::DecodeMenu::BandsValue), "1");
    auto again = MakeWindow();
    EXPECT_FALSE(again->DecodeItems()->Dekodujprotok1->isChecked());
    EXPECT_TRUE(again->DecodeItems()->Pasmatolerancji1->isChecked());
    EXPECT_FALSE(again->Decoder()->Enabled());
    EXPECT_TRUE(again->Decoder()->BandsVisible());
}

TEST(DecodeOff, ChartIsExactlyTheChartWithoutTheFeature) {
    auto window = MakeWindow(FakeEngine());
    ASSERT_TRUE(window.Show());
    window->DecodeItems()->Pasmatolerancji1->setChecked(true);
    window->DecodeItems()->Dekodujprotok1->setChecked(false);
    window->ZorComPort1RxString(nullptr, FrameLine(Captured));
    ui::ChartView* chart = window->Chart1();
    chart->SetMarksVisible(true);

    // The same frame drawn straight onto a chart of its own.
    ui::ChartView bare;
    bare.resize(chart->size());
    bare.SetFooter(chart->Footer());
    bare.SetMarksVisible(true);
    frame::PulseFrame pulses = window->PulseFrame();
    NullSinks sinks;
    frame::FrameCore(pulses, sinks, bare, sinks).DrawFrame(pulses.Mode);

    ASSERT_EQ(chart->Points().size(), bare.Points().size());
    for (std::size_t i = 0; i < bare.Points().size(); ++i) {
        EXPECT_EQ(chart->Points()[i].X, bare.Points()[i].X);
        EXPECT_EQ(chart->Points()[i].Y, bare.Points()[i].Y);
        EXPECT_EQ(chart->MarkText(int(i)), bare.MarkText(int(i)));
    }
    EXPECT_EQ(chart->Render(), bare.Render());
    // Switched on, the same chart carries the annotation.
    window->DecodeItems()->Dekodujprotok1->setChecked(true);
    EXPECT_NE(chart->Render(), bare.Render());
}

TEST(DecodeOn, AnnotatesTheFrameUnderTheWaveAndFlagsDurationsOutsideTheirWindow) {
    auto window = MakeWindow(FakeEngine());
    ASSERT_TRUE(window.Show());
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,560,560,560,2000,560"));
    const ui::DecodeOverlay& overlay = *window->Decoder();
    const ui::AnnotationLayout& layout = overlay.Layout();
    EXPECT_THAT(layout.Summary, ElementsAre(Field(&ui::AnnotationText::Text, "NEC1  D=4")));
    EXPECT_THAT(layout.Fields, ElementsAre(Field(&ui::AnnotationBox::Text, "D=4")));
    EXPECT_EQ(layout.Symbols.size(), 4u);
    std::vector<bool> outside;
    for (const ui::TimedDuration& timing : layout.Timings) {
        outside.push_back(timing.Outside);
    }
    EXPECT_THAT(outside, ElementsAre(false, false, false, false, false, true, false));
    // The bottom axis made room for three lines: symbols, fields, summary.
    EXPECT_GE(window->Chart1()->Plot()->xAxis->offset(), 3 * overlay.RowHeight());

    const QImage withoutBands = window->Chart1()->Render();
    window->DecodeItems()->Pasmatolerancji1->trigger();
    EXPECT_NE(window->Chart1()->Render(), withoutBands);

    // A frame no protocol fits shows the generic reading only.
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,560"));
    EXPECT_THAT(overlay.Layout().Summary,
                ElementsAre(Field(&ui::AnnotationText::Text,
                                  "Nieznany protokół: kodowanie odstępem impulsów")));
    EXPECT_TRUE(overlay.Decodes().empty());
}

// Frames drawn between two repaints are analysed once, when the chart is shown or asked about:
// the analysis sees the last frame only.
TEST(DecodeOn, ABurstOfFramesCostsOneAnalysisOfTheLastFrame) {
    int analysed = 0;
    std::vector<int32_t> seen;
    ui::DecodeEngine engine = FakeEngine();
    engine.Analyse = [&analysed, &seen, fake = engine.Analyse](std::span<const int32_t> d) {
        ++analysed;
        seen.assign(d.begin(), d.end());
        return fake(d);
    };
    auto window = MakeWindow(std::move(engine));
    analysed = 0;
    for (int i = 0; i < 50; ++i) {
        window->ZorComPort1RxString(nullptr, FrameLine(std::to_string(1000 + i) + ",500"));
    }
    window->ZorComPort1RxString(nullptr, Line(Nominal));
    EXPECT_EQ(window->Decoder()->Decodes().size(), 1u);
    EXPECT_EQ(window->Decoder()->Decodes().size(), 1u);
    EXPECT_EQ(analysed, 1);
    EXPECT_EQ(seen, Nominal);
}

TEST(CleanFrame, ReplacesTheFrameByNominalTimingsOnlyWhenDecodedAndItFits) {
    formtest::MessageBoxRecorder boxes;
    auto window = MakeWindow(FakeEngine());
    QAction* clean = window->DecodeItems()->Wyczyramk1;
    window->ZorComPort1RxString(nullptr, FrameLine("9100,4400,600"));
    window->PopupMenu1Popup();
    EXPECT_FALSE(clean->isEnabled());

    window->ZorComPort1RxString(nullptr, FrameLine(Captured));
    window->PopupMenu1Popup();
    ASSERT_TRUE(clean->isEnabled());
    window->SetPanelText(frame::PanelPulseCount, "");
    clean->trigger();
    const frame::PulseFrame& pulses = window->PulseFrame();
    EXPECT_THAT(
        std::vector<int32_t>(pulses.Durations.begin(), pulses.Durations.begin() + pulses.Count),
        ElementsAreArray(Nominal));
    EXPECT_EQ(window->PanelText(frame::PanelPulseCount), "7");
    EXPECT_EQ(window->Chart1()->Points().back().Label, "560");
    EXPECT_TRUE(boxes.boxes.empty());

    // A clean-up the frame cannot hold changes nothing and says so.
    const std::string tooLong = Line({9001, 4400, 600, 500, 620, 1750, 540});
    window->ZorComPort1RxString(nullptr, tooLong);
    const frame::PulseFrame before = window->PulseFrame();
    window->Wyczyramk1Click();
    EXPECT_EQ(window->PulseFrame().Durations, before.Durations);
    EXPECT_EQ(window->PulseFrame().Count, 7);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, " BŁĄD !");
}

TEST(ChartPictures, PngHasTheChartsSizeAndSvgIsAnSvgDocument) {
    QTemporaryDir folder;
    auto window = MakeWindow(FakeEngine());
    ASSERT_TRUE(window.Show());
    window->ZorComPort1RxString(nullptr, FrameLine(Captured));
    const QString png = folder.filePath(QStringLiteral("chart.png"));
    const QString svg = folder.filePath(QStringLiteral("chart.svg"));
    window.dialogs->answers = {png, svg};
    window->DecodeItems()->ZapiszwykresjakoPNG1->trigger();
    window->DecodeItems()->ZapiszwykresjakoSVG1->trigger();

    ASSERT_EQ(window.dialogs->calls.size(), 2u);
    EXPECT_EQ(window.dialogs->calls[0].request.filterPattern, "*.png");
    EXPECT_EQ(window.dialogs->calls[1].request.filterPattern, "*.svg");
    EXPECT_EQ(StoredString(QStringLiteral("PngInitDir")), QDir::homePath());
    EXPECT_EQ(StoredString(QStringLiteral("SvgInitDir")), QDir::homePath());

    QImage picture;
    ASSERT_TRUE(picture.load(png, "PNG"));
    EXPECT_EQ(picture.size(), window->Chart1()->size());

    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), QStringLiteral("svg"));
    while (!xml.atEnd()) {
        xml.readNext();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
}

TEST(RealDecoder, NamesAnNecFrameWithItsRepeatsAndCleansItToNominalTimings) {
    const auto nominal = analysis::Render("NEC1", {{"D", 4}, {"S", 251}, {"F", 8}}, 3);
    ASSERT_TRUE(nominal);
    // As a receiver delivers it: marks longer, spaces shorter.
    std::vector<int32_t> captured = *nominal;
    for (std::size_t i = 0; i < captured.size(); ++i) {
        captured[i] += i % 2 == 0 ? 90 : -90;
    }
    auto window = MakeWindow();
    window->ZorComPort1RxString(nullptr, Line(captured));
    EXPECT_THAT(window->Decoder()->Layout().Summary,
                ElementsAre(Field(&ui::AnnotationText::Text, "NEC1  D=4  S=251  F=8  ×3")));

    window->PopupMenu1Popup();
    ASSERT_TRUE(window->DecodeItems()->Wyczyramk1->isEnabled());
    window->DecodeItems()->Wyczyramk1->trigger();
    const frame::PulseFrame& pulses = window->PulseFrame();
    EXPECT_THAT(
        std::vector<int32_t>(pulses.Durations.begin(), pulses.Durations.begin() + pulses.Count),
        ElementsAreArray(*nominal));
    EXPECT_EQ(window->PanelText(frame::PanelPulseCount), QString::number(nominal->size()));
}

} // namespace
