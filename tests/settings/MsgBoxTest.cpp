#include "settings/MsgBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <gmock/gmock.h>

#include <stdexcept>
#include <vector>

namespace {

using namespace settings;

struct Shown {
    QString text;
    QString caption;
    int flags = -1;
};

// Installs a recording hook for the life of the object and puts the previous one back.
class RecordingHook {
public:
    explicit RecordingHook(int answer)
        : previous_(SetMsgBoxHook([this, answer](const QString& t, const QString& c, int f) {
              shown.push_back({t, c, f});
              return answer;
          })) {}
    ~RecordingHook() { SetMsgBoxHook(previous_); }
    RecordingHook(const RecordingHook&) = delete;
    RecordingHook& operator=(const RecordingHook&) = delete;

    std::vector<Shown> shown;

private:
    MsgBoxHook previous_;
};

TEST(SettingsMsgBoxHookTest, RecordsTheBoxAndReturnsTheHooksAnswer) {
    RecordingHook hook(IDYES);
    EXPECT_EQ(MsgBox(QStringLiteral("Brak ramki danych do zapisu!   "), QStringLiteral(" BŁĄD !"),
                     MB_ICONERROR),
              IDYES);
    ASSERT_EQ(hook.shown.size(), 1u);
    EXPECT_EQ(hook.shown[0].text, QStringLiteral("Brak ramki danych do zapisu!   "));
    EXPECT_EQ(hook.shown[0].caption, QStringLiteral(" BŁĄD !"));
    EXPECT_EQ(hook.shown[0].flags, 16);
}

TEST(SettingsMsgBoxHookTest, SettingAHookReturnsThePreviousOne) {
    const MsgBoxHook first = [](const QString&, const QString&, int) { return 11; };
    const MsgBoxHook before = SetMsgBoxHook(first);
    const MsgBoxHook returned = SetMsgBoxHook(MsgBoxHook());
    ASSERT_TRUE(returned);
    EXPECT_EQ(returned(QString(), QString(), 0), 11);
    SetMsgBoxHook(before);
}

TEST(SettingsMsgBoxHookTest, AHookMayReplaceItselfWhileRunning) {
    MsgBoxHook previous;
    previous = SetMsgBoxHook([&previous](const QString&, const QString&, int) {
        SetMsgBoxHook(previous);
        return IDOK;
    });
    EXPECT_EQ(MsgBox(QStringLiteral("x"), QStringLiteral("y"), MB_OK), IDOK);
}

TEST(SettingsReportExceptionTest, ShowsTheTextInAnErrorBoxCaptionedWithTheApplicationName) {
    RecordingHook hook(IDOK);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Dekoder IR"));
    ReportException(std::runtime_error("Cannot open file \"/tmp/ł.txt\". No such file"));
    ASSERT_EQ(hook.shown.size(), 1u);
    EXPECT_EQ(hook.shown[0].text, QStringLiteral("Cannot open file \"/tmp/ł.txt\". No such file"));
    EXPECT_EQ(hook.shown[0].caption, QStringLiteral("Dekoder IR"));
    EXPECT_EQ(hook.shown[0].flags, MB_ICONERROR);
}

// The real box, answered by a timer that inspects it and presses one of its buttons.
struct RealBoxCase {
    int flags;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton press;
    int result;
};

class SettingsRealBoxTest : public ::testing::TestWithParam<RealBoxCase> {};

TEST_P(SettingsRealBoxTest, MapsFlagsToIconAndButtonsAndTheButtonToItsCode) {
    const RealBoxCase c = GetParam();
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
    QString title;
    bool found = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        poll.stop();
        found = true;
        icon = box->icon();
        buttons = box->standardButtons();
        format = box->textFormat();
        title = box->windowTitle();
        box->button(c.press)->click();
    });
    poll.start();
    const int result =
        MsgBox(QStringLiteral("<b>not bold</b>"), QStringLiteral(" BŁĄD !"), c.flags);
    ASSERT_TRUE(found);
    EXPECT_EQ(icon, c.icon);
    EXPECT_EQ(buttons, c.buttons);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(title, QStringLiteral(" BŁĄD !"));
    EXPECT_EQ(result, c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, SettingsRealBoxTest,
    ::testing::Values(
        RealBoxCase{MB_ICONERROR, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, IDOK},
        RealBoxCase{MB_OK, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, IDOK},
        RealBoxCase{MB_OKCANCEL | MB_ICONWARNING, QMessageBox::Warning,
                    QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, IDCANCEL},
        RealBoxCase{MB_YESNO | MB_ICONQUESTION, QMessageBox::Question,
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, IDYES},
        RealBoxCase{MB_YESNO | MB_ICONINFORMATION, QMessageBox::Information,
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No, IDNO},
        RealBoxCase{MB_YESNOCANCEL, QMessageBox::NoIcon,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel,
                    IDCANCEL},
        RealBoxCase{MB_ABORTRETRYIGNORE, QMessageBox::NoIcon,
                    QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                    QMessageBox::Retry, IDRETRY},
        RealBoxCase{MB_RETRYCANCEL, QMessageBox::NoIcon, QMessageBox::Retry | QMessageBox::Cancel,
                    QMessageBox::Retry, IDRETRY}));

// Escape and the close button answer with the box's escape button: the only one, else Cancel/No.
TEST(SettingsRealBoxEscapeTest, EscapeAndCloseAnswerWithTheEscapeButton) {
    struct Case {
        int flags;
        bool useEscapeKey;
        int result;
    };
    for (const Case c : {Case{MB_ICONERROR, true, IDOK}, Case{MB_ICONERROR, false, IDOK},
                         Case{MB_OKCANCEL, true, IDCANCEL}, Case{MB_YESNO, false, IDNO}}) {
        QTimer poll;
        poll.setInterval(5);
        bool found = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                poll.stop();
                found = true;
                if (c.useEscapeKey) {
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QCoreApplication::sendEvent(box, &escape);
                } else {
                    box->close();
                }
            }
        });
        poll.start();
        EXPECT_EQ(MsgBox(QStringLiteral("x"), QStringLiteral("y"), c.flags), c.result) << c.flags;
        EXPECT_TRUE(found);
    }
}

} // namespace
