#include "ui/Pictures.h"

#include <QSet>
#include <gmock/gmock.h>

namespace ui {
namespace {

bool HasManyColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours.size() > 8;
}

TEST(ChartPictures, HeaderPicturesAreDecodedAtTheirSizes) {
    const QPixmap logo = HeaderLogo();
    const QPixmap icon = HeaderIcon();
    EXPECT_EQ(logo.size(), QSize(100, 36));
    EXPECT_EQ(icon.size(), QSize(32, 32));
    // A picture, not the plain white stand-in for a failed decode.
    EXPECT_TRUE(HasManyColours(logo.toImage()));
    EXPECT_TRUE(HasManyColours(icon.toImage()));
}

TEST(ChartPictures, ImageListHasSixDistinctSixteenPixelIcons) {
    QList<QImage> seen;
    for (int index = 0; index < ImageListCount; ++index) {
        const QIcon icon = ImageListIcon(index);
        ASSERT_FALSE(icon.isNull()) << index;
        EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16))) << index;
        const QImage image = icon.pixmap(QSize(16, 16)).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_FALSE(seen.contains(image)) << index;
        seen.append(image);
    }
    EXPECT_TRUE(ImageListIcon(-1).isNull());
    EXPECT_TRUE(ImageListIcon(ImageListCount).isNull());
}

TEST(ChartPictures, ApplicationIconHasLargeAndSmallSizes) {
    const QIcon icon = ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(QSize(64, 64)).isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(128, 128)));
}

} // namespace
} // namespace ui
