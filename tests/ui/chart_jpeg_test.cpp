#include "ui/JpegImage.h"

#include <gmock/gmock.h>

#include <ostream>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>

#include <jpeglib.h>

namespace ui {
namespace {

struct Sample {
    unsigned char C[4];
};

struct EncodeOptions {
    int Width = 32;
    int Height = 16;
    int Components = 3;
    J_COLOR_SPACE Input = JCS_RGB;
    bool Cmyk = false;
    bool AdobeMarker = true;
    bool Progressive = false;
};

// Test pictures made with libjpeg's encoder; `pixel` gives the samples at (x, y).
QByteArray Encode(const EncodeOptions& options, const std::function<Sample(int, int)>& pixel) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(options.Width);
    info.image_height = static_cast<JDIMENSION>(options.Height);
    info.input_components = options.Components;
    info.in_color_space = options.Input;
    jpeg_set_defaults(&info);
    if (options.Cmyk) {
        jpeg_set_colorspace(&info, JCS_CMYK);
        info.write_Adobe_marker = options.AdobeMarker ? TRUE : FALSE;
    }
    jpeg_set_quality(&info, 100, TRUE);
    if (options.Progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(options.Width * options.Components));
    for (int y = 0; y < options.Height; ++y) {
        for (int x = 0; x < options.Width; ++x) {
            const Sample s = pixel(x, y);
            for (int c = 0; c < options.Components; ++c) {
                row[static_cast<std::size_t>(x * options.Components + c)] = s.C[c];
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

MATCHER_P(IsColour, rgb, "") {
    constexpr int tolerance = 12;
    return std::abs(qRed(arg) - qRed(rgb)) <= tolerance &&
           std::abs(qGreen(arg) - qGreen(rgb)) <= tolerance &&
           std::abs(qBlue(arg) - qBlue(rgb)) <= tolerance;
}

// A picture whose left half has the samples `left` and right half `right`, and the colours they
// must decode to.
struct HalvesCase {
    const char* name;
    EncodeOptions options;
    Sample left, right;
    QRgb leftColour, rightColour;
};

void PrintTo(const HalvesCase& c, std::ostream* out) {
    *out << c.name;
}

class ChartDecodeJpegTest : public ::testing::TestWithParam<HalvesCase> {};

TEST_P(ChartDecodeJpegTest, DecodesBothHalves) {
    const HalvesCase& c = GetParam();
    const QImage image =
        DecodeJpeg(Encode(c.options, [&](int x, int) { return x < 16 ? c.left : c.right; }));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(32, 16));
    EXPECT_THAT(image.pixel(4, 8), IsColour(c.leftColour));
    EXPECT_THAT(image.pixel(28, 8), IsColour(c.rightColour));
}

const Sample Red{{255, 0, 0, 0}}, Blue{{0, 0, 255, 0}};

constexpr EncodeOptions Cmyk{.Components = 4, .Input = JCS_CMYK, .Cmyk = true};
constexpr EncodeOptions PlainCmyk{
    .Components = 4, .Input = JCS_CMYK, .Cmyk = true, .AdobeMarker = false};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Kinds, ChartDecodeJpegTest, ::testing::Values(
    HalvesCase{"Rgb", {}, Red, Blue, qRgb(255, 0, 0), qRgb(0, 0, 255)},
    HalvesCase{"Progressive", {.Progressive = true}, Red, Blue, qRgb(255, 0, 0), qRgb(0, 0, 255)},
    HalvesCase{"Grey", {.Components = 1, .Input = JCS_GRAYSCALE}, {{40}}, {{200}},
               qRgb(40, 40, 40), qRgb(200, 200, 200)},
    // Adobe files store 255 - ink: full magenta and yellow make red, cyan and magenta blue.
    HalvesCase{"AdobeCmyk", Cmyk, {{255, 0, 0, 255}}, {{0, 0, 255, 255}},
               qRgb(255, 0, 0), qRgb(0, 0, 255)},
    HalvesCase{"PlainCmyk", PlainCmyk, {{0, 255, 255, 0}}, {{0, 0, 0, 128}},
               qRgb(255, 0, 0), qRgb(127, 127, 127)}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

QByteArray Noise() {
    EncodeOptions options;
    options.Width = 64;
    options.Height = 64;
    std::mt19937 random(7);
    return Encode(options, [&random](int, int) {
        return Sample{{static_cast<unsigned char>(random()), static_cast<unsigned char>(random()),
                       static_cast<unsigned char>(random()), 0}};
    });
}

TEST(ChartDecodeJpeg, RefusesTruncatedGarbageAndOversizedInput) {
    const QByteArray whole = Noise();
    ASSERT_FALSE(DecodeJpeg(whole).isNull());
    for (const double part : {0.0, 0.01, 0.1, 0.5, 0.9, 0.99}) {
        const QByteArray cut = whole.left(static_cast<qsizetype>(whole.size() * part));
        EXPECT_TRUE(DecodeJpeg(cut).isNull()) << part;
    }
    EXPECT_TRUE(DecodeJpeg(whole.left(whole.size() - 2)).isNull()); // no end marker

    EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture at all")).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("\xff\xd8", 2)).isNull());
    std::mt19937 random(11);
    for (int round = 0; round < 50; ++round) {
        QByteArray bytes(200 + round * 13, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        EXPECT_TRUE(DecodeJpeg(bytes).isNull());
    }

    // A frame header claiming 65000 x 65000 is refused before anything is allocated.
    QByteArray huge = Encode({}, [](int, int) { return Red; });
    const qsizetype sof = huge.indexOf(QByteArray("\xff\xc0", 2));
    ASSERT_GE(sof, 0);
    for (const qsizetype field : {sof + 5, sof + 7}) {
        huge[field] = static_cast<char>(65000 >> 8);
        huge[field + 1] = static_cast<char>(65000 & 0xff);
    }
    EXPECT_TRUE(DecodeJpeg(huge).isNull());
}

TEST(ChartDecodeJpeg, SurvivesCorruptedScanData) {
    const QByteArray whole = Noise();
    std::mt19937 random(3);
    for (int round = 0; round < 50; ++round) {
        QByteArray bytes = whole;
        for (int flips = 0; flips < 8; ++flips) {
            const auto at = static_cast<qsizetype>(random() % static_cast<unsigned>(bytes.size()));
            bytes[at] = static_cast<char>(random());
        }
        const QImage image = DecodeJpeg(bytes); // null or a picture; never a crash or an exit
        if (!image.isNull()) {
            EXPECT_EQ(image.format(), QImage::Format_RGB32);
        }
    }
}

} // namespace
} // namespace ui
