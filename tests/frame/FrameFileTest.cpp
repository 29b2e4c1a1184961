#include "frame/FrameFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace frame {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

PulseFrame FrameOf(std::initializer_list<int32_t> durations, int32_t mode) {
    PulseFrame frame;
    std::copy(durations.begin(), durations.end(), frame.Durations.begin());
    frame.Count = static_cast<int32_t>(durations.size());
    frame.Mode = mode;
    return frame;
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "frame-file-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& Path() const { return path_; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// --- Text and parsing ------------------------------------------------------------------------

TEST(FrameFileTextTest, ModeThenDurationsEachEndedByCrLf) {
    EXPECT_EQ(FrameFileText(FrameOf({9000, 4500, 560}, ModeReceiver)),
              "1\r\n9000\r\n4500\r\n560\r\n");
    EXPECT_EQ(FrameFileText(FrameOf({-5, 0}, ModeTransmitter)), "0\r\n-5\r\n0\r\n");
}

TEST(FrameFileTextTest, TailBeyondCountIsNotWritten) {
    PulseFrame frame = FrameOf({1, 2, 3}, ModeReceiver);
    frame.Count = 2;
    EXPECT_EQ(FrameFileText(frame), "1\r\n1\r\n2\r\n");
    frame.Count = -1;
    EXPECT_EQ(FrameFileText(frame), "1\r\n");
}

struct ParseCase {
    const char* name;
    std::string bytes;
    int32_t mode;
    std::vector<int32_t> durations;
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.name;
}

class FrameFileAcceptedTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FrameFileAcceptedTest, Reads) {
    const auto loaded = ParseFrameFile(GetParam().bytes);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->Mode, GetParam().mode);
    EXPECT_EQ(loaded->Durations, GetParam().durations);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FrameFileAcceptedTest,
    ::testing::Values(ParseCase{"CrLf", "1\r\n9000\r\n4500\r\n560\r\n", 1, {9000, 4500, 560}},
                      ParseCase{"Lf", "0\n9000\n4500\n", 0, {9000, 4500}},
                      ParseCase{"Cr", "1\r9000\r4500\r", 1, {9000, 4500}},
                      ParseCase{"Mixed", "1\r\n10\n20\r30", 1, {10, 20, 30}},
                      ParseCase{"NoFinalLineEnd", "1\r\n9000", 1, {9000}},
                      ParseCase{"LeadingBlank", "1\r\n   560\r\n", 1, {560}},
                      ParseCase{"Plus", "1\r\n+560\r\n", 1, {560}},
                      ParseCase{"Dollar", "1\r\n$230\r\n", 1, {0x230}},
                      ParseCase{"HexPrefixes", "1\r\nx10\r\n0X10\r\n0xff\r\n", 1, {16, 16, 255}},
                      ParseCase{"NegativeInside", "1\r\n100\r\n-5\r\n200\r\n", 1, {100, -5, 200}},
                      ParseCase{"LastZero", "1\r\n100\r\n0\r\n", 1, {100, 0}},
                      ParseCase{"ModeNotANumber", "abc\r\n100\r\n", 0, {100}},
                      ParseCase{"ModeBlankLine", "\r\n100\r\n", 0, {100}},
                      ParseCase{"OddMode", " 5\r\n100\r\n", 5, {100}},
                      ParseCase{"NegativeMode", "-1\r\n100\r\n", -1, {100}}),
    [](const auto& info) { return std::string(info.param.name); });

class FrameFileRejectedTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FrameFileRejectedTest, IsRejected) {
    EXPECT_FALSE(ParseFrameFile(GetParam().bytes).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Files, FrameFileRejectedTest,
    ::testing::Values(ParseCase{"Empty", "", 0, {}}, ParseCase{"ModeOnly", "1", 0, {}},
                      ParseCase{"ModeOnlyWithLineEnd", "1\r\n", 0, {}},
                      ParseCase{"BlankLineAtEnd", "1\r\n9000\r\n\r\n", 0, {}},
                      ParseCase{"BlankLineInside", "1\r\n9000\r\n\r\n560\r\n", 0, {}},
                      ParseCase{"LfCrMakesABlankLine", "1\n\r9000\n", 0, {}},
                      ParseCase{"MinusOne", "1\r\n9000\r\n-1\r\n560\r\n", 0, {}},
                      ParseCase{"MinusOneInHex", "1\r\n9000\r\n-$1\r\n560\r\n", 0, {}},
                      ParseCase{"TrailingBlank", "1\r\n12 \r\n", 0, {}},
                      ParseCase{"LeadingTab", "1\r\n\t12\r\n", 0, {}},
                      ParseCase{"NotANumber", "1\r\n9000\r\nabc\r\n560\r\n", 0, {}},
                      ParseCase{"OutOfRange", "1\r\n2147483648\r\n", 0, {}},
                      ParseCase{"LastNegative", "1\r\n100\r\n-5\r\n", 0, {}},
                      ParseCase{"OnlyNegative", "1\r\n-5", 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

std::string FileWithDurations(int n) {
    std::string bytes = "1\r\n";
    for (int i = 1; i <= n; ++i) {
        bytes += std::to_string(i) + "\r\n";
    }
    return bytes;
}

TEST(FrameFileParseTest, TakesAFullFrameAndRejectsMore) {
    const auto full = ParseFrameFile(FileWithDurations(FrameCapacity));
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->Durations.size(), static_cast<size_t>(FrameCapacity));
    EXPECT_FALSE(ParseFrameFile(FileWithDurations(FrameCapacity + 1)).has_value());
}

TEST(FrameFileParseTest, SizeLimit) {
    // Padding with leading blanks keeps every line valid, so only the size decides.
    std::string bytes = "1\r\n9000\r\n";
    bytes.insert(3, FrameFileSizeLimit - bytes.size(), ' ');
    ASSERT_EQ(bytes.size(), FrameFileSizeLimit);
    EXPECT_TRUE(ParseFrameFile(bytes).has_value());
    bytes.insert(3, " ");
    EXPECT_FALSE(ParseFrameFile(bytes).has_value());
}

// --- Files on disk ------------------------------------------------------------------------

TEST(FrameFileDiskTest, RoundTripKeepsDurationsCountAndView) {
    TempFolder folder;
    const std::string path = folder.File("frame.txt");
    for (const int32_t mode : {ModeReceiver, ModeTransmitter}) {
        const PulseFrame frame = FrameOf({9000, 4500, 560, -5, 0, 2147483647, 7}, mode);
        WriteFrameFile(path, frame);
        EXPECT_EQ(Contents(path), FrameFileText(frame));
        const auto loaded = ReadFrameFile(path);
        ASSERT_TRUE(loaded.has_value());
        EXPECT_EQ(loaded->Mode, mode);
        EXPECT_THAT(loaded->Durations, ElementsAre(9000, 4500, 560, -5, 0, 2147483647, 7));
    }
    EXPECT_THAT(folder.Names(), ElementsAre("frame.txt")) << "no temporary file is left";
}

TEST(FrameFileDiskTest, SavingReplacesAnExistingFileAndKeepsItsPermissions) {
    TempFolder folder;
    const std::string path = folder.File("frame.txt");
    Put(path, std::string(10000, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    WriteFrameFile(path, FrameOf({560}, ModeReceiver));
    EXPECT_EQ(Contents(path), "1\r\n560\r\n");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(FrameFileDiskTest, SavingThroughASymbolicLinkKeepsTheLink) {
    TempFolder folder;
    const std::string real = folder.File("real.txt");
    const std::string link = folder.File("link.txt");
    Put(real, "old");
    fs::create_symlink(real, link);

    WriteFrameFile(link, FrameOf({560}, ModeReceiver));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(real), "1\r\n560\r\n");
}

TEST(FrameFileDiskTest, MissingFolderCannotBeCreated) {
    TempFolder folder;
    const std::string path = folder.File("missing/frame.txt");
    try {
        WriteFrameFile(path, FrameOf({560}, ModeReceiver));
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + path + "\". No such file or directory");
    }
}

TEST(FrameFileDiskTest, FolderInTheWayFailsAndIsLeftAsItWas) {
    TempFolder folder;
    const std::string path = folder.File("frame.txt");
    fs::create_directory(path);
    Put(path + "/inside", "kept");

    try {
        WriteFrameFile(path, FrameOf({560}, ModeReceiver));
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("Cannot create file \"" + path + "\". "));
    }
    EXPECT_EQ(Contents(path + "/inside"), "kept");
    EXPECT_THAT(folder.Names(), ElementsAre("frame.txt")) << "the temporary file is removed";
}

TEST(FrameFileDiskTest, UnwritableFolderReportsPermission) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop the superuser";
    }
    TempFolder folder;
    const std::string path = folder.File("frame.txt");
    Put(path, "old");
    fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    try {
        WriteFrameFile(path, FrameOf({560}, ModeReceiver));
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + path + "\". Permission denied");
    }
    EXPECT_EQ(Contents(path), "old");
}

TEST(FrameFileDiskTest, ReadOnlyFileIsNotReplaced) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop the superuser";
    }
    TempFolder folder;
    const std::string path = folder.File("frame.txt");
    Put(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    try {
        WriteFrameFile(path, FrameOf({560}, ModeReceiver));
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + path + "\". Permission denied");
    }
    EXPECT_EQ(Contents(path), "old");
}

TEST(FrameFileDiskTest, PipeIsWrittenInPlaceNotReplaced) {
    TempFolder folder;
    const std::string path = folder.File("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    WriteFrameFile(path, FrameOf({560}, ModeReceiver));
    char buffer[64] = {};
    const ssize_t got = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), "1\r\n560\r\n");
    EXPECT_TRUE(fs::is_fifo(path));
}

TEST(FrameFileDiskTest, PipeWithoutReaderFailsAtOnce) {
    TempFolder folder;
    const std::string path = folder.File("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    try {
        WriteFrameFile(path, FrameOf({560}, ModeReceiver));
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + path + "\". No such device or address");
    }
    EXPECT_TRUE(fs::is_fifo(path));
    EXPECT_THAT(folder.Names(), ElementsAre("pipe"));
}

// Runs in the death test's child: saves with a file size limit far below the file's size and exits
// with 3 after printing the error, or with 0 when the save claims success.
[[noreturn]] void WriteUnderSizeLimit(const std::string& path, const PulseFrame& frame) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit normal{};
    ::getrlimit(RLIMIT_FSIZE, &normal);
    rlimit tight = normal;
    tight.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    try {
        WriteFrameFile(path, frame);
    } catch (const FileError& e) {
        // The death test collects this output in a file, so the limit must go first.
        ::setrlimit(RLIMIT_FSIZE, &normal);
        std::fprintf(stderr, "%s\n", e.what());
        std::fflush(stderr);
        std::_Exit(3);
    }
    std::_Exit(0);
}

// A write that fails half way (here: over the process's file size limit, which stops the superuser
// too) reports the system's reason, leaves the old file intact and removes the temporary file.
TEST(FrameFileDeathTest, FailedWriteKeepsTheOldFile) {
    TempFolder folder;
    const std::string path = folder.File("frame.txt");
    const std::string old = "1\r\n9000\r\n4500\r\n560\r\n";
    Put(path, old);

    PulseFrame big;
    big.Durations.fill(-2000000000);
    big.Count = FrameCapacity;

    EXPECT_EXIT(WriteUnderSizeLimit(path, big), ::testing::ExitedWithCode(3),
                "Cannot create file \".*frame\\.txt\"\\. File too large");

    EXPECT_EQ(Contents(path), old);
    EXPECT_THAT(folder.Names(), ElementsAre("frame.txt"));
}

TEST(FrameFileDiskTest, MissingFileCannotBeOpened) {
    TempFolder folder;
    const std::string path = folder.File("none.txt");
    try {
        ReadFrameFile(path);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + path + "\". No such file or directory");
    }
}

TEST(FrameFileDiskTest, FolderCannotBeRead) {
    TempFolder folder;
    try {
        ReadFrameFile(folder.Path().string());
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + folder.Path().string() + "\". Is a directory");
    }
}

TEST(FrameFileDiskTest, RejectedAndOversizedFilesGiveNothing) {
    TempFolder folder;
    const std::string path = folder.File("frame.txt");
    Put(path, "1\r\n100\r\n-5\r\n");
    EXPECT_FALSE(ReadFrameFile(path).has_value());

    Put(path, "1\r\n" + std::string(FrameFileSizeLimit, ' ') + "100\r\n");
    EXPECT_FALSE(ReadFrameFile(path).has_value());
}

TEST(FrameFileDiskTest, EndlessDeviceIsNotReadWhole) {
    if (!fs::exists("/dev/zero")) {
        GTEST_SKIP() << "no /dev/zero";
    }
    EXPECT_FALSE(ReadFrameFile("/dev/zero").has_value());
}

TEST(FrameFileDiskTest, PipeWithoutWriterDoesNotHang) {
    TempFolder folder;
    const std::string path = folder.File("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(ReadFrameFile(path).has_value());
}

} // namespace
} // namespace frame
