// The C table window and the command that fills it.

#include "tests/ui/FormTestSupport.h"

#include "ui/frmCodeCu.h"

#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>

#include <gmock/gmock.h>

namespace {

using formtest::FrameLine;
using formtest::MakeWindow;
using ::testing::ElementsAre;

TEST(CTableWindow, Design) {
    ui::TForm2 form2;
    EXPECT_EQ(form2.windowTitle(), "C table generator");
    EXPECT_EQ(form2.size(), QSize(554, 290));
    const QPlainTextEdit* memo = form2.Memo1();
    EXPECT_EQ(memo->objectName(), "Memo1");
    EXPECT_EQ(memo->toPlainText(), "Memo1");
    EXPECT_FALSE(memo->isReadOnly());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // Out of the tab order, but the user can still click into it to edit and copy.
    EXPECT_EQ(memo->focusPolicy(), Qt::ClickFocus);
    EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());
    EXPECT_FALSE(form2.isVisible());
}

TEST(CTableWindow, MemoKeepsTheTablesLines) {
    ui::TForm2 form2;
    form2.SetMemoText(
        "uint16_t tab[7] PROGMEM = { \r\n\t9000,4500,560,560,560,\r\n\t1690,560 \r\n};");
    EXPECT_THAT(form2.Memo1()->toPlainText().split('\n'),
                ElementsAre("uint16_t tab[7] PROGMEM = { ", "\t9000,4500,560,560,560,",
                            "\t1690,560 ", "};"));
    EXPECT_EQ(form2.Memo1()->document()->blockCount(), 4);
}

TEST(CTableWindow, CommandFillsTheWindowAndShowsItModally) {
    auto window = MakeWindow();
    ui::TForm2 form2;
    window->SetForm2(&form2);
    window->ZorComPort1RxString(nullptr, FrameLine("9000,4500,560,560,560,1690,560"));

    QStringList shown;
    QPoint centre;
    form2.SetShowModalHook([&](ui::TForm2& form) {
        shown = form.Memo1()->toPlainText().split('\n');
        centre = form.frameGeometry().center();
        // The user edits the text; the frame must not change.
        form.Memo1()->setPlainText(QStringLiteral("edited"));
    });
    window->PopupMenu1()->actions()[11]->trigger(); // "Generuj tablicę C"
    EXPECT_THAT(shown, ElementsAre("uint16_t tab[7] PROGMEM = { ", "\t9000,4500,560,560,560,",
                                   "\t1690,560 ", "};"));
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 2);
    EXPECT_EQ(window->PulseFrame().Count, 7);
    EXPECT_EQ(window->PulseFrame().Durations[0], 9000);

    // The next use builds fresh text.
    window->ZorComPort1RxString(nullptr, FrameLine("9000"));
    window->GenerujtablicC1Click();
    EXPECT_THAT(shown, ElementsAre("uint16_t tab[1] PROGMEM = { 9000 ", "};"));
}

TEST(CTableWindow, CommandWithoutTheWindowDoesNothing) {
    auto window = MakeWindow();
    ui::TForm2* gone = new ui::TForm2;
    window->SetForm2(gone);
    delete gone;
    window->ZorComPort1RxString(nullptr, FrameLine("560"));
    window->GenerujtablicC1Click();
    SUCCEED();
}

} // namespace
