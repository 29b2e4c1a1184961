#include "settings/ZorTools.h"
#include "tests/settings/FileReplacements.h"
#include "tests/support/TempConfigHome.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <gmock/gmock.h>

#include <csignal>
#include <functional>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using settings::Delay;
using settings::ReadRegString;
using settings::RegistryFilePath;
using settings::RegistryKey;
using settings::WriteRegString;

const QString kPort = QStringLiteral("Port komunikacyjny");
const QString kKey = QString::fromLatin1(settings::AppKeyPath);

QString Read(const QString& name, const QString& fallback = QStringLiteral("COM1"),
             const QString& key = kKey) {
    QString value = QStringLiteral("untouched");
    ReadRegString(name, fallback, key, value);
    return value;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Each test gets its own settings folder.
class SettingsRegistryTest : public ::testing::Test {
protected:
    testsupport::TempConfigHome home;
    QString folder() const { return home.path() + QStringLiteral("/dekoder-ir"); }
};

TEST_F(SettingsRegistryTest, FileLivesInXdgConfigHome) {
    EXPECT_EQ(RegistryFilePath(), home.path() + QStringLiteral("/dekoder-ir/registry.ini"));
}

TEST_F(SettingsRegistryTest, FileFallsBackToHomeConfigWhenXdgUnsetOrEmpty) {
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", "/tmp/some-home");
    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_EQ(RegistryFilePath(), QStringLiteral("/tmp/some-home/.config/dekoder-ir/registry.ini"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryFilePath(), QStringLiteral("/tmp/some-home/.config/dekoder-ir/registry.ini"));
    qputenv("HOME", oldHome);
}

TEST(SettingsRegistryKeyTest, MapsKeyPathsToSettingsGroups) {
    struct Case {
        const char* path;
        const char* name;
        const char* key;
    };
    const Case cases[] = {
        {"Software\\Falquin", "Port komunikacyjny", "Software/Falquin/Port komunikacyjny"},
        {"\\Software\\dekoder-ir\\Form1", "Width", "Software/dekoder-ir/Form1/Width"},
        {"Software\\\\Falquin\\", "x", "Software/Falquin/x"},
        {"Software/Falquin", "x", "Software/Falquin/x"},
        {"", "x", ""},
        {"\\\\", "x", ""},
        {"Software", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RegistryKey(QString::fromUtf8(c.path), QString::fromUtf8(c.name)),
                  QString::fromUtf8(c.key))
            << c.path << " / " << c.name;
    }
}

TEST_F(SettingsRegistryTest, FirstRunGivesDefaultsAndCreatesNothing) {
    EXPECT_EQ(Read(kPort), QStringLiteral("COM1"));
    EXPECT_EQ(Read(QStringLiteral("SaveInitDir"), QStringLiteral("c:\\")), QStringLiteral("c:\\"));
    EXPECT_FALSE(QFileInfo::exists(folder()));
}

TEST_F(SettingsRegistryTest, ReadingAnExistingFileDoesNotChangeIt) {
    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    const QByteArray before = FileBytes(RegistryFilePath());
    EXPECT_EQ(Read(QStringLiteral("OpenInitDir"), QStringLiteral("c:\\")), QStringLiteral("c:\\"));
    EXPECT_EQ(Read(kPort, QStringLiteral("COM1"), QStringLiteral("Software\\Other")),
              QStringLiteral("COM1"));
    EXPECT_EQ(FileBytes(RegistryFilePath()), before);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{QStringLiteral("registry.ini")});
}

TEST_F(SettingsRegistryTest, EmptyNameOrKeyPathGivesDefault) {
    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    EXPECT_EQ(Read(QString()), QStringLiteral("COM1"));
    EXPECT_EQ(Read(kPort, QStringLiteral("COM1"), QString()), QStringLiteral("COM1"));
}

TEST_F(SettingsRegistryTest, WrittenValueRoundTripsUnderTheMappedKey) {
    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    EXPECT_EQ(Read(kPort), QStringLiteral("COM3"));
    const QSettings raw(RegistryFilePath(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Software/Falquin/Port komunikacyjny")).toString(),
              QStringLiteral("COM3"));
}

TEST_F(SettingsRegistryTest, PolishNamesAndValuesRoundTrip) {
    const QString name = QStringLiteral("Ścieżka zapisu");
    const QString value = QStringLiteral("/home/łukasz/Pomiary żółć ĄĘŃ, \"x\"; =@[]");
    ASSERT_TRUE(WriteRegString(name, value, kKey));
    ASSERT_TRUE(
        WriteRegString(QStringLiteral("BmpInitDir"), QStringLiteral("@starts with at"), kKey));
    EXPECT_EQ(Read(name), value);
    EXPECT_EQ(Read(QStringLiteral("BmpInitDir")), QStringLiteral("@starts with at"));
}

TEST_F(SettingsRegistryTest, ExistingEmptyStringReadsAsEmpty) {
    QDir().mkpath(folder());
    {
        QSettings raw(RegistryFilePath(), QSettings::IniFormat);
        raw.setValue(QStringLiteral("Software/Falquin/Port komunikacyjny"), QString());
    }
    EXPECT_EQ(Read(kPort), QString());
}

TEST_F(SettingsRegistryTest, ValuesOfOtherTypesReadAsMissing) {
    QDir().mkpath(folder());
    const std::pair<const char*, QVariant> others[] = {
        {"point", QPoint(1, 2)},
        {"list", QStringList{QStringLiteral("a"), QStringLiteral("b")}},
        {"bytes", QByteArray("COM3")},
        {"date", QDate(2024, 1, 2)},
    };
    {
        QSettings raw(RegistryFilePath(), QSettings::IniFormat);
        for (const auto& [name, value] : others) {
            raw.setValue(QStringLiteral("Software/Falquin/") + QLatin1String(name), value);
        }
        // A key that is a group, not a value.
        raw.setValue(QStringLiteral("Software/Falquin/Port komunikacyjny/inner"),
                     QStringLiteral("x"));
    }
    for (const auto& [name, value] : others) {
        EXPECT_EQ(Read(QLatin1String(name)), QStringLiteral("COM1")) << name;
    }
    EXPECT_EQ(Read(kPort), QStringLiteral("COM1"));
}

TEST_F(SettingsRegistryTest, EmptyNameOrValueIsNeverWritten) {
    EXPECT_FALSE(WriteRegString(QString(), QStringLiteral("COM3"), kKey));
    EXPECT_FALSE(WriteRegString(kPort, QString(), kKey));
    EXPECT_FALSE(WriteRegString(kPort, QStringLiteral("COM3"), QStringLiteral("\\")));
    EXPECT_FALSE(QFileInfo::exists(folder()));

    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    EXPECT_FALSE(WriteRegString(kPort, QString(), kKey));
    EXPECT_EQ(Read(kPort), QStringLiteral("COM3"));
}

TEST_F(SettingsRegistryTest, SlightlyMalformedFileKeepsItsEntriesAcrossAWrite) {
    ASSERT_TRUE(WriteFile(RegistryFilePath(),
                          "[Software]\nFalquin\\Port%20komunikacyjny=COM3\n[unterminated\nx=1\n"));
    EXPECT_EQ(Read(kPort), QStringLiteral("COM3"));
    ASSERT_TRUE(WriteRegString(QStringLiteral("SaveInitDir"), QStringLiteral("d:\\x"), kKey));
    EXPECT_EQ(Read(kPort), QStringLiteral("COM3"));
    EXPECT_EQ(Read(QStringLiteral("x"), QString(), QStringLiteral("unterminated")),
              QStringLiteral("1"));
}

TEST_F(SettingsRegistryTest, WriteReplacesTheFileAtomically) {
    // A new file renamed over the old one: a crash halfway leaves the old file complete.
    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(RegistryFilePath()).constData(), &before), 0);
    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM4"), kKey));
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(RegistryFilePath()).constData(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(Read(kPort), QStringLiteral("COM4"));
}

TEST_F(SettingsRegistryTest, SeveralValuesGoInWithOneReplacementOfTheFile) {
    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    testsupport::FileReplacements replacements(RegistryFilePath());
    ASSERT_TRUE(replacements.Watching());
    const std::vector<bool> written =
        settings::WriteRegStrings({{QStringLiteral("Width"), QStringLiteral("811")},
                                   {QStringLiteral("Height"), QStringLiteral("312")},
                                   {QStringLiteral("Top"), QStringLiteral("-4")},
                                   {QStringLiteral("Left"), QStringLiteral("0")}},
                                  QStringLiteral("\\Software\\Viewer\\Form1"));
    EXPECT_EQ(written, std::vector<bool>(4, true));
    EXPECT_EQ(replacements.Take(), 1);
    const QString key = QStringLiteral("Software\\Viewer\\Form1");
    EXPECT_EQ(Read(QStringLiteral("Width"), {}, key), QStringLiteral("811"));
    EXPECT_EQ(Read(QStringLiteral("Height"), {}, key), QStringLiteral("312"));
    EXPECT_EQ(Read(QStringLiteral("Top"), {}, key), QStringLiteral("-4"));
    EXPECT_EQ(Read(QStringLiteral("Left"), {}, key), QStringLiteral("0"));
    EXPECT_EQ(Read(kPort), QStringLiteral("COM3"));
}

TEST_F(SettingsRegistryTest, EmptyEntriesOfSeveralAreSkippedAndTheOthersWritten) {
    const std::vector<bool> written =
        settings::WriteRegStrings({{QStringLiteral("A"), QStringLiteral("1")},
                                   {QString(), QStringLiteral("2")},
                                   {QStringLiteral("C"), QString()},
                                   {QStringLiteral("D"), QStringLiteral("4")}},
                                  kKey);
    EXPECT_EQ(written, (std::vector<bool>{true, false, false, true}));
    EXPECT_EQ(Read(QStringLiteral("A")), QStringLiteral("1"));
    EXPECT_EQ(Read(QStringLiteral("C")), QStringLiteral("COM1"));
    EXPECT_EQ(Read(QStringLiteral("D")), QStringLiteral("4"));

    // Nothing to write: no file and no folder are made.
    testsupport::TempConfigHome other;
    EXPECT_EQ(settings::WriteRegStrings({{QString(), QStringLiteral("x")}}, kKey),
              std::vector<bool>{false});
    EXPECT_FALSE(QFileInfo::exists(other.path() + QStringLiteral("/dekoder-ir")));
}

TEST_F(SettingsRegistryTest, FailedWriteOfSeveralReportsEachFalseAndKeepsTheOldFile) {
    ASSERT_TRUE(WriteFile(folder(), "not a folder"));
    EXPECT_EQ(settings::WriteRegStrings({{QStringLiteral("A"), QStringLiteral("1")},
                                         {QStringLiteral("B"), QStringLiteral("2")}},
                                        kKey),
              (std::vector<bool>{false, false}));
    EXPECT_EQ(FileBytes(folder()), QByteArray("not a folder"));
}

TEST_F(SettingsRegistryTest, FailedWriteReportsFalseAndKeepsTheOldFile) {
    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    const QByteArray before = FileBytes(RegistryFilePath());

    // The file size limit makes the write fail halfway, for root as well.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = static_cast<rlim_t>(before.size() + 8);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool written =
        WriteRegString(QStringLiteral("SaveInitDir"), QString(200, QLatin1Char('x')), kKey);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(FileBytes(RegistryFilePath()), before);
    EXPECT_EQ(Read(kPort), QStringLiteral("COM3"));
}

TEST_F(SettingsRegistryTest, ReadOnlyFolderMakesWriteFailAndKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    ASSERT_TRUE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    const QByteArray before = FileBytes(RegistryFilePath());
    QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(WriteRegString(kPort, QStringLiteral("COM4"), kKey));
    QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(FileBytes(RegistryFilePath()), before);
}

TEST_F(SettingsRegistryTest, UncreatableFolderMakesWriteFail) {
    // The settings folder's place is taken by a plain file.
    ASSERT_TRUE(WriteFile(folder(), "not a folder"));
    EXPECT_FALSE(WriteRegString(kPort, QStringLiteral("COM3"), kKey));
    EXPECT_EQ(Read(kPort), QStringLiteral("COM1"));
}

TEST(SettingsTickTest, DifferenceSurvivesTheWrap) {
    EXPECT_EQ(settings::TickDifference(0xFFFFFFF0u, 0x10u), 0x20u);
    EXPECT_EQ(settings::TickDifference(100u, 150u), 50u);
    EXPECT_EQ(settings::TickDifference(7u, 7u), 0u);
}

TEST(SettingsDelayTest, ProcessesPostedEventsAtLeastOnce) {
    for (const int ms : {0, -5}) {
        bool ran = false;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&ran] { ran = true; }, Qt::QueuedConnection);
        Delay(ms);
        EXPECT_TRUE(ran) << ms;
    }
}

TEST(SettingsDelayTest, WaitsAtLeastTheGivenTimeWithoutSpinning) {
    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpuBefore = std::clock();
    Delay(200);
    const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_LT(cpuMs, 100.0);
}

TEST(SettingsDelayTest, HandlesEventsArrivingDuringTheWait) {
    QElapsedTimer clock;
    clock.start();
    qint64 firedAt = -1;
    QTimer::singleShot(20, QCoreApplication::instance(), [&] { firedAt = clock.elapsed(); });
    Delay(150);
    EXPECT_GE(firedAt, 0);
    EXPECT_LT(firedAt, 150);
}

TEST(SettingsDelayTest, ServesAWorkersBlockingCallToTheMainThread) {
    // The call runs on the main thread, so a plain flag is enough.
    bool served = false;
    std::thread worker([&served] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&served] { served = true; },
            Qt::BlockingQueuedConnection);
    });
    QElapsedTimer clock;
    clock.start();
    while (!served && clock.elapsed() < 5000) {
        Delay(10);
    }
    EXPECT_TRUE(served);
    // The worker cannot return before its call has been served.
    while (!served) {
        Delay(10);
    }
    worker.join();
}

} // namespace
