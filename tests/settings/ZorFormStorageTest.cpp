#include "settings/ZorFormStorage.h"
#include "settings/HookableFormBase.h"
#include "settings/MsgBox.h"
#include "settings/ZorTools.h"
#include "tests/settings/FileReplacements.h"
#include "tests/support/TempConfigHome.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <gmock/gmock.h>

#include <memory>
#include <vector>

namespace {

using namespace settings;

class TestForm : public THookableForm<QWidget> {
public:
    TestForm() {
        setObjectName(QStringLiteral("Form1"));
        resize(400, 300);
    }
    ~TestForm() override { FireDestroy(); }
};

const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kTop = QStringLiteral("Top");
const QString kLeft = QStringLiteral("Left");

QSize ScreenSize() {
    return QGuiApplication::primaryScreen()->geometry().size();
}

class SettingsFormStorageTest : public ::testing::Test {
protected:
    SettingsFormStorageTest()
        : previousHook_(SetMsgBoxHook([this](const QString& text, const QString&, int) {
              boxes.push_back(text);
              return IDOK;
          })) {}
    ~SettingsFormStorageTest() override { SetMsgBoxHook(previousHook_); }

    // A form with its storage in registry mode, hooked as after loading.
    std::unique_ptr<TestForm> MakeForm() {
        auto form = std::make_unique<TestForm>();
        storage = new TZorFormStorage(form.get()); // owned by the form
        storage->UseRegistry = true;
        key = storage->PlacementKey();
        return form;
    }
    void Load() { storage->Loaded(); }

    QString Stored(const QString& name) const {
        QString value = QStringLiteral("<missing>");
        ReadRegString(name, QStringLiteral("<missing>"), key, value);
        return value;
    }
    void Store(const QString& name, const QString& value) const {
        ASSERT_TRUE(WriteRegString(name, value, key));
    }

    testsupport::TempConfigHome home;
    TZorFormStorage* storage = nullptr; // owned by the form made last
    QString key;                        // its placement key, usable after the form is gone
    std::vector<QString> boxes;

private:
    MsgBoxHook previousHook_;
};

TEST_F(SettingsFormStorageTest, KeyEndsInTheFormNameUnderTheProgramName) {
    auto form = MakeForm();
    EXPECT_EQ(storage->PlacementKey(),
              QStringLiteral("\\Software\\settings_formstorage_test\\Form1"));
    EXPECT_EQ(TZorFormStorage::ProgramName(), QStringLiteral("settings_formstorage_test"));
}

TEST_F(SettingsFormStorageTest, NothingStoredKeepsTheDesignedSizeCentred) {
    auto form = MakeForm();
    Load();
    form->show();
    const QSize screen = ScreenSize();
    const QSize outer = form->frameGeometry().size();
    EXPECT_EQ(form->size(), QSize(400, 300));
    EXPECT_EQ(form->pos(),
              QPoint((screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2));
}

TEST_F(SettingsFormStorageTest, CentringOfAWindowLargerThanTheScreenHalvesTowardZero) {
    auto form = MakeForm();
    const QSize screen = ScreenSize();
    Store(kWidth, QString::number(screen.width() + 5));
    Store(kHeight, QString::number(screen.height() + 7));
    Load();
    form->show();
    EXPECT_EQ(form->frameGeometry(), QRect(QPoint(-2, -3), screen + QSize(5, 7)));
}

TEST_F(SettingsFormStorageTest, CloseSavesFourDecimalStrings) {
    auto form = MakeForm();
    Load();
    form->show();
    form->move(-30, 45);
    form->resize(420, 310);
    const QSize frame = form->frameGeometry().size() - form->size();
    EXPECT_TRUE(form->close());
    // Width and Height are the outer size, Top and Left the frame's corner.
    EXPECT_EQ(Stored(kWidth), QString::number(420 + frame.width()));
    EXPECT_EQ(Stored(kHeight), QString::number(310 + frame.height()));
    EXPECT_EQ(Stored(kTop), QStringLiteral("45"));
    EXPECT_EQ(Stored(kLeft), QStringLiteral("-30"));
    const QSettings raw(RegistryFilePath(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Software/settings_formstorage_test/Form1/Top")).toString(),
              QStringLiteral("45"));
}

TEST_F(SettingsFormStorageTest, EachSaveWritesTheFileOnce) {
    auto form = MakeForm();
    Store(QStringLiteral("Other"), QStringLiteral("x")); // makes the settings folder to watch
    Load();
    form->show();
    testsupport::FileReplacements replacements(RegistryFilePath());
    ASSERT_TRUE(replacements.Watching());
    EXPECT_TRUE(form->close());
    EXPECT_EQ(replacements.Take(), 1);
    form.reset();
    EXPECT_EQ(replacements.Take(), 1); // the save at destruction
    EXPECT_NE(Stored(kLeft), QStringLiteral("<missing>"));
}

TEST_F(SettingsFormStorageTest, NextShowRestoresStoredValuesEvenOffScreen) {
    {
        auto form = MakeForm();
        Store(kWidth, QStringLiteral("500"));
        Store(kHeight, QStringLiteral("350"));
        Store(kTop, QStringLiteral("40"));
        Store(kLeft, QStringLiteral("5000"));
    }
    auto form = MakeForm();
    Load();
    form->show();
    EXPECT_EQ(form->frameGeometry(), QRect(5000, 40, 500, 350));
}

TEST_F(SettingsFormStorageTest, SaveThenRestoreGivesBackTheSameGeometry) {
    {
        auto form = MakeForm();
        Load();
        form->show();
        form->move(12, 34);
        form->resize(456, 321);
        form->close();
    }
    auto form = MakeForm();
    Load();
    form->show();
    EXPECT_EQ(form->pos(), QPoint(12, 34));
    EXPECT_EQ(form->size(), QSize(456, 321));
}

TEST_F(SettingsFormStorageTest, ValueThatIsNotANumberFallsBackToItsDefault) {
    auto form = MakeForm();
    Store(kWidth, QStringLiteral("wide"));
    Store(kHeight, QStringLiteral("200"));
    Store(kLeft, QStringLiteral("15"));
    {
        // A value of another type than a plain string.
        QSettings raw(RegistryFilePath(), QSettings::IniFormat);
        raw.setValue(QStringLiteral("Software/settings_formstorage_test/Form1/Top"), QPoint(1, 2));
    }
    Load();
    form->show();
    // Top's default uses the height just restored.
    EXPECT_EQ(form->frameGeometry().size(), QSize(form->frameGeometry().width(), 200));
    EXPECT_EQ(form->width(), 400);
    EXPECT_EQ(form->pos(), QPoint(15, (ScreenSize().height() - 200) / 2));
}

TEST_F(SettingsFormStorageTest, FramelessWindowGetsTheStoredValuesAsTheyAre) {
    auto form = MakeForm();
    form->setWindowFlag(Qt::FramelessWindowHint);
    Store(kWidth, QStringLiteral("510"));
    Store(kHeight, QStringLiteral("320"));
    Store(kTop, QStringLiteral("11"));
    Store(kLeft, QStringLiteral("22"));
    Load();
    form->show();
    Delay(20); // let the window system's geometry reports arrive
    EXPECT_EQ(form->frameGeometry(), QRect(22, 11, 510, 320));
    EXPECT_EQ(form->geometry(), QRect(22, 11, 510, 320));
}

TEST_F(SettingsFormStorageTest, EveryShowingRestoresAgain) {
    auto form = MakeForm();
    Load();
    form->show();
    form->hide();
    Store(kLeft, QStringLiteral("77"));
    form->show();
    EXPECT_EQ(form->pos().x(), 77);
}

TEST_F(SettingsFormStorageTest, RefusedCloseSavesNothing) {
    auto form = MakeForm();
    int asked = 0;
    form->Events().OnCloseQuery = [&asked](QObject*, bool& CanClose) {
        ++asked;
        CanClose = false;
    };
    Load();
    form->show();
    EXPECT_FALSE(form->close());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Stored(kWidth), QStringLiteral("<missing>"));
}

TEST_F(SettingsFormStorageTest, CloseOfAFormWithoutAWindowSavesNothing) {
    auto form = MakeForm();
    Load();
    ASSERT_FALSE(form->HasWindow());
    form->close();
    EXPECT_EQ(Stored(kWidth), QStringLiteral("<missing>"));
}

TEST_F(SettingsFormStorageTest, DestructionSavesTheLatestPlacement) {
    auto form = MakeForm();
    Load();
    form->show();
    form->close();
    form->move(66, 88);
    const QRect outer = form->frameGeometry();
    form.reset();
    EXPECT_EQ(Stored(kLeft), QString::number(outer.x()));
    EXPECT_EQ(Stored(kTop), QString::number(outer.y()));
    EXPECT_NE(outer.x(), (ScreenSize().width() - outer.width()) / 2);
}

TEST_F(SettingsFormStorageTest, InactiveStorageNeitherRestoresNorSavesButTheFormsHandlersRun) {
    auto form = MakeForm();
    Store(kLeft, QStringLiteral("5"));
    std::vector<QString> calls;
    form->Events().OnShow = [&calls](QObject*) { calls.push_back(QStringLiteral("show")); };
    form->Events().OnCloseQuery = [&calls](QObject*, bool&) {
        calls.push_back(QStringLiteral("close"));
    };
    form->Events().OnDestroy = [&calls](QObject*) { calls.push_back(QStringLiteral("destroy")); };
    storage->Active = false;
    Load();
    form->show();
    EXPECT_NE(form->pos().x(), 5);
    form->move(123, 45);
    form->close();
    form.reset();
    EXPECT_EQ(Stored(kLeft), QStringLiteral("5"));
    EXPECT_EQ(Stored(kWidth), QStringLiteral("<missing>"));
    EXPECT_THAT(calls, ::testing::ElementsAre(QStringLiteral("show"), QStringLiteral("close"),
                                              QStringLiteral("destroy")));
}

// The port component hooks the close query before the storage does; its hook must run first, and
// the placement is saved only after it and only if it still allows closing.
TEST_F(SettingsFormStorageTest, EarlierCloseQueryHookRunsFirst) {
    auto form = MakeForm();
    std::vector<QString> order;
    bool allow = false;
    form->Events().OnCloseQuery = [&](QObject* sender, bool& CanClose) {
        EXPECT_EQ(sender, form.get());
        order.push_back(QStringLiteral("port:") + Stored(kWidth));
        CanClose = allow;
    };
    Load();
    form->show();
    form->close();
    allow = true;
    form->close();
    EXPECT_THAT(order, ::testing::ElementsAre(QStringLiteral("port:<missing>"),
                                              QStringLiteral("port:<missing>")));
    EXPECT_EQ(Stored(kWidth), QString::number(form->frameGeometry().width()));
}

TEST_F(SettingsFormStorageTest, DestroyingTheStorageGivesTheFormItsHandlersBack) {
    auto form = MakeForm();
    int asked = 0;
    form->Events().OnCloseQuery = [&asked](QObject*, bool&) { ++asked; };
    Load();
    delete storage;
    form->show();
    form->close();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Stored(kWidth), QStringLiteral("<missing>"));
}

TEST_F(SettingsFormStorageTest, HookChainedOverTheStorageStaysSafeAfterTheStorageIsGone) {
    auto form = MakeForm();
    int first = 0;
    int later = 0;
    form->Events().OnCloseQuery = [&first](QObject*, bool&) { ++first; };
    Load();
    auto kept = form->Events().OnCloseQuery;
    form->Events().OnCloseQuery = [&later, kept](QObject* sender, bool& CanClose) {
        ++later;
        kept(sender, CanClose);
    };
    delete storage;
    form->show();
    form->close();
    EXPECT_EQ(later, 1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(Stored(kWidth), QStringLiteral("<missing>"));
}

TEST_F(SettingsFormStorageTest, LoadedTwiceHooksOnce) {
    auto form = MakeForm();
    int shows = 0;
    form->Events().OnShow = [&shows](QObject*) { ++shows; };
    Load();
    Load();
    form->show();
    form->close();
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(Stored(kWidth), QString::number(form->frameGeometry().width()));
}

TEST_F(SettingsFormStorageTest, UnwritableRegistryIsSilent) {
    auto form = MakeForm();
    Load();
    form->show();
    // The settings folder's place is taken by a file.
    QFile blocker(home.path() + QStringLiteral("/dekoder-ir"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsFormStorageTest, IniModeRoundTrip) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("place.ini"));
    QRect outer;
    {
        auto form = MakeForm();
        storage->UseRegistry = false;
        storage->SetIniFileName(file);
        Load();
        form->show();
        form->setGeometry(21, 43, 410, 305);
        outer = form->frameGeometry();
        form->close();
        const QSettings ini(file, QSettings::IniFormat);
        EXPECT_EQ(ini.value(QStringLiteral("Form1/Top")).toString(), QString::number(outer.y()));
        EXPECT_EQ(ini.value(QStringLiteral("Form1/Left")).toString(), QString::number(outer.x()));
        EXPECT_EQ(ini.value(QStringLiteral("Form1/Width")).toString(),
                  QString::number(outer.width()));
        EXPECT_EQ(ini.value(QStringLiteral("Form1/Height")).toString(),
                  QString::number(outer.height()));
    }
    auto form = MakeForm();
    storage->UseRegistry = false;
    storage->SetIniFileName(file);
    Load();
    form->show();
    EXPECT_EQ(form->frameGeometry(), outer);
    EXPECT_EQ(form->geometry(), QRect(21, 43, 410, 305));
    EXPECT_FALSE(QFileInfo::exists(RegistryFilePath()));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsFormStorageTest, IniModeWritesTheFileOncePerSave) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("place.ini"));
    auto form = MakeForm();
    storage->UseRegistry = false;
    storage->SetIniFileName(file);
    Load();
    form->show();
    testsupport::FileReplacements replacements(file);
    ASSERT_TRUE(replacements.Watching());
    EXPECT_TRUE(form->close());
    EXPECT_EQ(replacements.Take(), 1);
    const QSettings ini(file, QSettings::IniFormat);
    EXPECT_EQ(ini.value(QStringLiteral("Form1/Height")).toString(),
              QString::number(form->frameGeometry().height()));
}

TEST_F(SettingsFormStorageTest, UnwritableIniFileIsReportedAndClosingGoesOn) {
    // The folder's place is taken by a plain file, so no one (root included) can write there.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString file = dir.filePath(QStringLiteral("blocker/place.ini"));
    auto form = MakeForm();
    storage->UseRegistry = false;
    storage->SetIniFileName(file);
    Load();
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], QStringLiteral("Unable to write to ") + file);
    form.reset();
    EXPECT_EQ(boxes.size(), 2u); // once more at destruction
}

TEST_F(SettingsFormStorageTest, IniFileNameAndTypeSetters) {
    auto form = MakeForm();
    const QString appIni = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() +
                           QStringLiteral("/settings_formstorage_test.ini");
    EXPECT_EQ(TZorFormStorage::AppIniFilePath(), appIni);
    EXPECT_EQ(storage->IniFileName(), QStringLiteral("[ApplicationExeName.ini]"));
    EXPECT_EQ(storage->TypeIniName(), TApplicationIniName::asAppIniName);

    storage->SetIniFileName(QStringLiteral(" [ApplicationExeName.ini] "));
    EXPECT_EQ(storage->IniFileName(), appIni);
    EXPECT_EQ(storage->TypeIniName(), TApplicationIniName::asAppIniName);

    storage->SetIniFileName(QStringLiteral("settings.ini"));
    EXPECT_EQ(storage->TypeIniName(), TApplicationIniName::asCustom);
    EXPECT_EQ(storage->IniFileName(), QStringLiteral("settings.ini"));

    // A custom type takes even the marker unchanged.
    storage->SetIniFileName(QStringLiteral("[ApplicationExeName.ini]"));
    EXPECT_EQ(storage->IniFileName(), QStringLiteral("[ApplicationExeName.ini]"));

    storage->SetTypeIniName(TApplicationIniName::asAppIniName);
    EXPECT_EQ(storage->IniFileName(), appIni);

    storage->SetTypeIniName(TApplicationIniName::asCustom);
    EXPECT_EQ(storage->IniFileName(), appIni);
}

TEST_F(SettingsFormStorageTest, RegistryModeDependsOnTheUser) {
    TestForm form;
    const auto* fresh = new TZorFormStorage(&form);
    EXPECT_TRUE(fresh->Active);
    EXPECT_EQ(fresh->UseRegistry, !TZorFormStorage::IsUserAdmin());
}

TEST(SettingsHookableFormTest, FiresEachEventAsDocumented) {
    int shows = 0;
    int destroys = 0;
    {
        TestForm form;
        form.Events().OnShow = [&shows](QObject*) { ++shows; };
        form.Events().OnDestroy = [&destroys](QObject*) { ++destroys; };
        EXPECT_FALSE(form.HasWindow());
        form.show();
        EXPECT_TRUE(form.HasWindow());
        form.hide();
        form.show();
        EXPECT_EQ(shows, 2);
        form.FireDestroy();
        EXPECT_EQ(destroys, 1);
    }
    EXPECT_EQ(destroys, 1);
}

TEST(SettingsHookableFormTest, BaseDestructorFiresDestroyWhenTheDerivedFormDoesNot) {
    int destroys = 0;
    {
        THookableForm<QWidget> form;
        form.Events().OnDestroy = [&destroys](QObject*) { ++destroys; };
    }
    EXPECT_EQ(destroys, 1);
}

} // namespace
