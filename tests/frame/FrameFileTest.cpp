#include "frame/FrameFile.h"

#include <gmock/gmock.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace frame {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::StartsWith;

PulseFrame FrameOf(std::initializer_list<int32_t> durations, int32_t mode = ModeReceiver) {
    PulseFrame frame;
    std::copy(durations.begin(), durations.end(), frame.Durations.begin());
    frame.Count = static_cast<int32_t>(durations.size());
    frame.Mode = mode;
    return frame;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The message of a failed save or load; empty when it worked.
template <class Action>
std::string ErrorOf(Action action) {
    try {
        action();
    } catch (const FileError& e) {
        return e.what();
    }
    return {};
}

std::string SaveError(const std::string& path, const PulseFrame& frame = FrameOf({560})) {
    return ErrorOf([&] { WriteFrameFile(path, frame); });
}

// --- Text and parsing ------------------------------------------------------------------------

TEST(FrameFileTextTest, ModeThenTheCountedDurationsEachEndedByCrLf) {
    EXPECT_EQ(FrameFileText(FrameOf({9000, 4500, 560})), "1\r\n9000\r\n4500\r\n560\r\n");
    EXPECT_EQ(FrameFileText(FrameOf({-5, 0}, ModeTransmitter)), "0\r\n-5\r\n0\r\n");
    PulseFrame frame = FrameOf({1, 2, 3});
    frame.Count = 2;
    EXPECT_EQ(FrameFileText(frame), "1\r\n1\r\n2\r\n");
    frame.Count = -1;
    EXPECT_EQ(FrameFileText(frame), "1\r\n");
}

struct ParseCase {
    const char* name;
    std::string bytes;
    LoadedFrame expected;
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.name;
}

class FrameFileParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FrameFileParseTest, Accepts) {
    const auto loaded = ParseFrameFile(GetParam().bytes);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->Mode, GetParam().expected.Mode);
    EXPECT_EQ(loaded->Durations, GetParam().expected.Durations);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, FrameFileParseTest, ::testing::Values(
    ParseCase{"CrLf", "1\r\n9000\r\n4500\r\n560\r\n", {1, {9000, 4500, 560}}},
    ParseCase{"Lf", "0\n9000\n4500\n", {0, {9000, 4500}}},
    ParseCase{"Cr", "1\r9000\r4500\r", {1, {9000, 4500}}},
    ParseCase{"Mixed", "1\r\n10\n20\r30", {1, {10, 20, 30}}},
    ParseCase{"NoFinalLineEnd", "1\r\n9000", {1, {9000}}},
    ParseCase{"LeadingBlank", "1\r\n   560\r\n", {1, {560}}},
    ParseCase{"Plus", "1\r\n+560\r\n", {1, {560}}},
    ParseCase{"Dollar", "1\r\n$230\r\n", {1, {0x230}}},
    ParseCase{"HexPrefixes", "1\r\nx10\r\n0X10\r\n0xff\r\n", {1, {16, 16, 255}}},
    ParseCase{"NegativeInside", "1\r\n100\r\n-5\r\n200\r\n", {1, {100, -5, 200}}},
    ParseCase{"LastZero", "1\r\n100\r\n0\r\n", {1, {100, 0}}},
    ParseCase{"ModeNotANumber", "abc\r\n100\r\n", {0, {100}}},
    ParseCase{"ModeBlankLine", "\r\n100\r\n", {0, {100}}},
    ParseCase{"OddMode", " 5\r\n100\r\n", {5, {100}}},
    ParseCase{"NegativeMode", "-1\r\n100\r\n", {-1, {100}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(FrameFileParseTest, RejectsFilesThatStopEarlyEndNegativeOrHoldNoDuration) {
    const std::string rejected[] = {
        // No duration line at all.
        "", "1", "1\r\n",
        // A blank line at the end or inside (LF CR is two line ends), -1 in any form, a blank
        // after or a tab before the number, something else, a value beyond 32 bits.
        "1\r\n9000\r\n\r\n", "1\r\n9000\r\n\r\n560\r\n", "1\n\r9000\n",
        "1\r\n9000\r\n-1\r\n560\r\n", "1\r\n9000\r\n-$1\r\n560\r\n", "1\r\n12 \r\n",
        "1\r\n\t12\r\n", "1\r\n9000\r\nabc\r\n560\r\n", "1\r\n2147483648\r\n",
        // A negative last duration.
        "1\r\n100\r\n-5\r\n", "1\r\n-5"};
    for (const std::string& bytes : rejected) {
        EXPECT_FALSE(ParseFrameFile(bytes).has_value()) << ::testing::PrintToString(bytes);
    }
}

std::string FileWithDurations(int n) {
    std::string bytes = "1\r\n";
    for (int i = 1; i <= n; ++i) {
        bytes += std::to_string(i) + "\r\n";
    }
    return bytes;
}

TEST(FrameFileLimitTest, TakesAFullFrameAndAFileAtTheSizeLimitButNothingMore) {
    const auto full = ParseFrameFile(FileWithDurations(FrameCapacity));
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->Durations.size(), static_cast<size_t>(FrameCapacity));
    EXPECT_FALSE(ParseFrameFile(FileWithDurations(FrameCapacity + 1)).has_value());

    // Padding with leading blanks keeps every line valid, so only the size decides.
    std::string bytes = "1\r\n9000\r\n";
    bytes.insert(3, FrameFileSizeLimit - bytes.size(), ' ');
    EXPECT_TRUE(ParseFrameFile(bytes).has_value());
    bytes.insert(3, " ");
    EXPECT_FALSE(ParseFrameFile(bytes).has_value());
}

// Each disk test gets a fresh folder under the system's temporary folder, removed afterwards.
class FrameFileDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "frame-file-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder, ignored);
    }
    std::string File(const std::string& name) const { return (folder / name).string(); }
    // What the folder holds, to show that no temporary file is left behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder;
};
using FrameFileDeathTest = FrameFileDiskTest;

// --- Saving -------------------------------------------------------------------------------

TEST_F(FrameFileDiskTest, SaveRoundTripKeepsDurationsCountAndView) {
    const std::string path = File("frame.txt");
    for (const int32_t mode : {ModeReceiver, ModeTransmitter}) {
        const PulseFrame frame = FrameOf({9000, 4500, 560, -5, 0, 2147483647, 7}, mode);
        WriteFrameFile(path, frame);
        EXPECT_EQ(Contents(path), FrameFileText(frame));
        const auto loaded = ReadFrameFile(path);
        ASSERT_TRUE(loaded.has_value());
        EXPECT_EQ(loaded->Mode, mode);
        EXPECT_THAT(loaded->Durations, ElementsAre(9000, 4500, 560, -5, 0, 2147483647, 7));
    }
    EXPECT_THAT(Names(), ElementsAre("frame.txt"));
}

// Other file formats are written through the same replacement, byte for byte.
TEST_F(FrameFileDiskTest, AtomicWriteStoresAnyBytesAndFailsLikeASave) {
    const std::string path = File("signals.ir");
    Put(path, std::string(10000, 'x'));
    const std::string bytes("Version: 1\n\0\xff", 13);
    WriteFileAtomically(path, bytes);
    EXPECT_EQ(Contents(path), bytes);
    EXPECT_THAT(Names(), ElementsAre("signals.ir"));
    EXPECT_THAT(ErrorOf([&] { WriteFileAtomically(File("none/signals.ir"), bytes); }),
                StartsWith("Cannot create file \"" + File("none/signals.ir") + "\". "));
}

TEST_F(FrameFileDiskTest, SaveReplacesAFileKeepingItsPermissionsButWritesLinksAndPipesInPlace) {
    const std::string path = File("frame.txt");
    Put(path, std::string(10000, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    WriteFrameFile(path, FrameOf({560}));
    EXPECT_EQ(Contents(path), "1\r\n560\r\n");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const std::string link = File("link.txt");
    fs::create_symlink(path, link);
    WriteFrameFile(link, FrameOf({9000}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(path), "1\r\n9000\r\n");

    const std::string pipe = File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    WriteFrameFile(pipe, FrameOf({560}));
    char buffer[64] = {};
    const ssize_t got = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), "1\r\n560\r\n");
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_THAT(Names(), ElementsAre("frame.txt", "link.txt", "pipe"));
}

TEST_F(FrameFileDiskTest, SaveFailuresNameTheFileAndTheReasonAndLeaveNoTrace) {
    const std::string missing = File("missing/frame.txt");
    EXPECT_EQ(SaveError(missing),
              "Cannot create file \"" + missing + "\". No such file or directory");

    const std::string dir = File("dir");
    fs::create_directory(dir);
    Put(dir + "/inside", "kept");
    EXPECT_THAT(SaveError(dir), StartsWith("Cannot create file \"" + dir + "\". "));
    EXPECT_EQ(Contents(dir + "/inside"), "kept");

    // A pipe without a reader fails at once rather than blocking.
    const std::string pipe = File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(SaveError(pipe), "Cannot create file \"" + pipe + "\". No such device or address");
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_THAT(Names(), ElementsAre("dir", "pipe"));
}

// Runs in the death test's child as a user whom permissions stop (the superuser becomes
// "nobody"): a protected file is refused and kept, a writable file in a folder that takes no new
// files is written in place, and a new file there is refused. Exits with 0 when all of it holds.
[[noreturn]] void SaveWithoutLeaveToCreate(const fs::path& open, const fs::path& closed) {
    if (::geteuid() == 0) {
        constexpr id_t Nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(Nobody, Nobody, Nobody) != 0 ||
            ::setresuid(Nobody, Nobody, Nobody) != 0) {
            std::fprintf(stderr, "cannot become nobody\n");
            std::_Exit(2);
        }
    }
    struct Case {
        fs::path path;
        const char* reason; // nullptr: saved
        const char* contents;
    };
    const Case cases[] = {
        {open / "protected.txt", "Permission denied", "old"},
        {closed / "writable.txt", nullptr, "1\r\n560\r\n"},
        {closed / "new.txt", "Permission denied", ""},
    };
    bool held = true;
    for (const Case& c : cases) {
        const std::string path = c.path.string();
        const std::string expected =
            c.reason ? "Cannot create file \"" + path + "\". " + c.reason : std::string();
        const std::string error = SaveError(path);
        if (error != expected || Contents(path) != c.contents) {
            std::fprintf(stderr, "%s: error \"%s\", contents \"%s\"\n", path.c_str(), error.c_str(),
                         Contents(path).c_str());
            held = false;
        }
    }
    std::_Exit(held ? 0 : 1);
}

TEST_F(FrameFileDeathTest, SaveWhereNoFileMayBeCreatedWritesAWritableFileInPlace) {
    const fs::path open = folder / "open";
    const fs::path closed = folder / "closed";
    fs::create_directory(open);
    fs::create_directory(closed);
    Put((open / "protected.txt").string(), "old");
    // Longer than the frame's text: nothing of it may be left behind.
    Put((closed / "writable.txt").string(), std::string(100, 'x'));
    const auto all = fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all;
    const auto readAll = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const auto searchAll = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    fs::permissions(open / "protected.txt", readAll);
    fs::permissions(closed / "writable.txt", all & ~searchAll);
    fs::permissions(folder, all & ~fs::perms::group_write & ~fs::perms::others_write);
    fs::permissions(open, all);
    fs::permissions(closed, readAll | searchAll);

    EXPECT_EXIT(SaveWithoutLeaveToCreate(open, closed), ::testing::ExitedWithCode(0), "");

    EXPECT_EQ(fs::status(closed / "writable.txt").permissions(), all & ~searchAll);
    fs::permissions(closed, fs::perms::owner_all, fs::perm_options::add);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(closed)) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_THAT(names, ElementsAre("writable.txt"));
}

// Runs in the death test's child: saves under a file size limit far below the file's size and
// exits with 3 after printing the error, or with 0 when the save claims success.
[[noreturn]] void WriteUnderSizeLimit(const std::string& path, const PulseFrame& frame) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit normal{};
    ::getrlimit(RLIMIT_FSIZE, &normal);
    rlimit tight = normal;
    tight.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    const std::string error = SaveError(path, frame);
    // The death test collects this output in a file, so the limit must go first.
    ::setrlimit(RLIMIT_FSIZE, &normal);
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
    std::_Exit(error.empty() ? 0 : 3);
}

// A write that fails half way (over the file size limit, which stops the superuser too) reports
// the system's reason, leaves the old file intact and removes the temporary file.
TEST_F(FrameFileDeathTest, FailedWriteKeepsTheOldFile) {
    const std::string path = File("frame.txt");
    const std::string old = "1\r\n9000\r\n4500\r\n560\r\n";
    Put(path, old);
    PulseFrame big;
    big.Durations.fill(-2000000000);
    big.Count = FrameCapacity;
    EXPECT_EXIT(WriteUnderSizeLimit(path, big), ::testing::ExitedWithCode(3),
                "Cannot create file \".*frame\\.txt\"\\. File too large");
    EXPECT_EQ(Contents(path), old);
    EXPECT_THAT(Names(), ElementsAre("frame.txt"));
}

// --- Loading ------------------------------------------------------------------------------

TEST_F(FrameFileDiskTest, LoadUnopenableFilesNameTheFileAndTheReason) {
    const std::string none = File("none.txt");
    EXPECT_EQ(ErrorOf([&] { ReadFrameFile(none); }),
              "Cannot open file \"" + none + "\". No such file or directory");
    const std::string dir = folder.string();
    EXPECT_EQ(ErrorOf([&] { ReadFrameFile(dir); }),
              "Cannot open file \"" + dir + "\". Is a directory");
}

TEST_F(FrameFileDiskTest, LoadRejectedOversizedEndlessOrWriterlessInputGivesNothing) {
    const std::string path = File("frame.txt");
    Put(path, "1\r\n100\r\n-5\r\n");
    EXPECT_FALSE(ReadFrameFile(path).has_value());
    Put(path, "1\r\n" + std::string(FrameFileSizeLimit, ' ') + "100\r\n");
    EXPECT_FALSE(ReadFrameFile(path).has_value());

    const std::string pipe = File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(ReadFrameFile(pipe).has_value()) << "a pipe without a writer must not hang";
    if (fs::exists("/dev/zero")) {
        EXPECT_FALSE(ReadFrameFile("/dev/zero").has_value());
    }
    // A terminal's first read would wait for a line that never comes.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    EXPECT_FALSE(ReadFrameFile(::ptsname(master)).has_value());
    ::close(master);
    EXPECT_THROW(ReadFrameFile(folder.string()), FileError) << "a folder is no file";
}

} // namespace
} // namespace frame
