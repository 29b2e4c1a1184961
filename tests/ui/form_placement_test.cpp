// The main window comes back where the user left it: placement saved on close, restored on show.

#include "tests/ui/FormTestSupport.h"

#include "settings/ZorFormStorage.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <gmock/gmock.h>

namespace {

using formtest::MakeWindow;
using formtest::StoredString;

QString PlacementKey(const formtest::Window& window) {
    return window->ZorFormStorage1()->PlacementKey();
}

TEST(MainWindowPlacement, StoreIsConfiguredForTheSettingsFile) {
    auto window = MakeWindow();
    EXPECT_TRUE(window->ZorFormStorage1()->UseRegistry);
    EXPECT_TRUE(window->ZorFormStorage1()->Active);
    EXPECT_EQ(window->ZorFormStorage1()->TypeIniName(),
              settings::TApplicationIniName::asAppIniName);
    EXPECT_TRUE(PlacementKey(window).endsWith(QStringLiteral("\\Form1")));
}

TEST(MainWindowPlacement, FirstStartIsCentredWithTheDesignedSize) {
    auto window = MakeWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.form.get()));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const QRect outer = window->frameGeometry();
    EXPECT_EQ(window->size(), QSize(811, 312));
    // The window system may add its frame only once the window is up; allow for its few pixels.
    EXPECT_NEAR(outer.left(), (screen.width() - outer.width()) / 2, 4);
    EXPECT_NEAR(outer.top(), (screen.height() - outer.height()) / 2, 4);
}

TEST(MainWindowPlacement, SavedOnCloseAndRestoredOnTheNextStart) {
    QString key;
    QRect left;
    {
        auto window = MakeWindow();
        key = PlacementKey(window);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.form.get()));
        window->setGeometry(100, 120, 900, 400);
        formtest::Pump();
        left = window->frameGeometry();
        EXPECT_TRUE(window->close());
        EXPECT_EQ(StoredString(QStringLiteral("Left"), key), QString::number(left.left()));
        EXPECT_EQ(StoredString(QStringLiteral("Top"), key), QString::number(left.top()));
        EXPECT_EQ(StoredString(QStringLiteral("Width"), key), QString::number(left.width()));
        EXPECT_EQ(StoredString(QStringLiteral("Height"), key), QString::number(left.height()));
    }
    auto next = MakeWindow();
    next->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(next.form.get()));
    EXPECT_EQ(next->frameGeometry(), left);
}

TEST(MainWindowPlacement, OffScreenValuesAreLeftAsTheyAre) {
    const QString key = PlacementKey(MakeWindow());
    settings::WriteRegString(QStringLiteral("Left"), QStringLiteral("5000"), key);
    settings::WriteRegString(QStringLiteral("Top"), QStringLiteral("-300"), key);
    auto window = MakeWindow();
    window->show();
    formtest::Pump();
    // Nothing pulls the window back onto the screen (a frame added on showing may shift it a
    // few pixels).
    EXPECT_NEAR(window->frameGeometry().left(), 5000, 4);
    EXPECT_NEAR(window->frameGeometry().top(), -300, 4);
}

} // namespace
