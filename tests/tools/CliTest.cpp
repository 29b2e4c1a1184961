#include "PortClient.h"

#include "frame/PulseFrame.h"
#include "tools/irsim/Cli.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

namespace irsim {
namespace {

using test::PortClient;
using ::testing::HasSubstr;
using ::testing::Optional;
using namespace std::chrono_literals;

constexpr auto Patience = 3000ms;

TEST(IrsimArguments, DemoTurnsOnLoopBackAndPeriodicFrames) {
    const auto parsed = ParseArguments({"--demo"});
    ASSERT_TRUE(parsed.options);
    EXPECT_TRUE(parsed.options->simulator.loopback);
    EXPECT_EQ(parsed.options->simulator.every, 3000ms);
    EXPECT_EQ(ParseArguments({"--every", "500", "--demo"}).options->simulator.every, 500ms);
}

TEST(IrsimArguments, ReadsEveryOption) {
    const auto parsed = ParseArguments({"--link", "/tmp/x", "--crc", "--address", "0x10", "--ident",
                                        "IR 2", "--seed", "9", "--jitter", "0", "--stretch", "0",
                                        "--silent", "--exit-on-eof", "--quiet", "--loopback"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const CliOptions& o = *parsed.options;
    EXPECT_EQ(o.simulator.linkPath, "/tmp/x");
    EXPECT_TRUE(o.simulator.requireChecksum);
    EXPECT_EQ(o.simulator.busAddress, 16);
    EXPECT_EQ(o.simulator.identification, "IR 2");
    EXPECT_EQ(o.simulator.seed, 9u);
    EXPECT_EQ(o.simulator.jitter.Bound(), 0);
    EXPECT_TRUE(o.simulator.silent && o.simulator.loopback && o.exitOnEof && o.quiet);
}

TEST(IrsimArguments, RefusesWhatItCannotUse) {
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--address", "13"},
                                               {"--address", "255"},
                                               {"--address"},
                                               {"--every", "soon"},
                                               {"--link"},
                                               {"--bogus"}}) {
        const auto parsed = ParseArguments(wrong);
        EXPECT_FALSE(parsed.options) << wrong[0];
        EXPECT_FALSE(parsed.error.empty()) << wrong[0];
    }
    EXPECT_TRUE(ParseArguments({"--help"}).help);
}

TEST(IrsimArguments, HelpListsOptionsAndCommands) {
    const std::string help = HelpText();
    for (const char* word :
         {"--link", "--every", "--demo", "--crc",   "--address", "--loopback", "nec A C", "necrep",
          "rc5",    "rc6",     "sirc20", "samsung", "jvc",       "panasonic",  "raw",     "garbage",
          "split",  "long",    "flood",  "silent",  "hangup",    "quit",       "ERROR"})
        EXPECT_THAT(help, HasSubstr(word));
}

TEST(IrsimArguments, NumbersAreDecimalOrHex) {
    EXPECT_EQ(ParseNumber("0x1F"), 31u);
    EXPECT_EQ(ParseNumber("010"), 10u);
    EXPECT_EQ(ParseNumber("0x"), std::nullopt);
    EXPECT_EQ(ParseNumber("-1"), std::nullopt);
}

class IrsimConsole : public ::testing::Test {
protected:
    IrsimConsole() : simulator_(Options()), port_(simulator_.SlavePath()) {}
    static SimulatorOptions Options() {
        SimulatorOptions options;
        options.jitter = {0, 0};
        return options;
    }
    ConsoleResult Run(std::string_view line) { return RunConsoleCommand(simulator_, line); }

    Simulator simulator_;
    PortClient port_;
};

TEST_F(IrsimConsole, RemoteCommandsSendFrames) {
    EXPECT_TRUE(Run("nec 0x04 0x08").ok);
    const auto line = port_.ReadLine(Patience);
    ASSERT_TRUE(line);
    EXPECT_EQ(std::count(line->begin(), line->end(), ','), 67);
    EXPECT_TRUE(Run("necrep").ok);
    EXPECT_THAT(port_.ReadLine(Patience),
                Optional(std::string(frame::DeviceSignature) + ",9000,2250,560"));
    EXPECT_TRUE(Run("rc5 5 53 1").ok);
    EXPECT_TRUE(port_.ReadLine(Patience));
    EXPECT_FALSE(Run("rc5 5 53 2").ok);
    EXPECT_FALSE(Run("jvc 5").ok);
}

TEST_F(IrsimConsole, RawAndLineSendWhatIsTyped) {
    EXPECT_TRUE(Run("raw 9000, 4500,560").ok);
    EXPECT_THAT(port_.ReadLine(Patience),
                Optional(std::string(frame::DeviceSignature) + ",9000,4500,560"));
    EXPECT_TRUE(Run("line hello there ").ok);
    EXPECT_THAT(port_.ReadLine(Patience), Optional(std::string("hello there")));
    EXPECT_FALSE(Run("raw 9000,x").ok);
    EXPECT_FALSE(Run("raw").ok);
}

TEST_F(IrsimConsole, ModesAndFaults) {
    EXPECT_TRUE(Run("silent on").ok);
    port_.Command("AT");
    ASSERT_TRUE(simulator_.WaitForCommands(1, Patience));
    EXPECT_EQ(port_.ReadFor(100ms), "");
    EXPECT_TRUE(Run("silent off").ok);
    EXPECT_FALSE(Run("silent maybe").ok);

    EXPECT_TRUE(Run("flood 3").ok);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(port_.ReadLine(Patience));
    EXPECT_TRUE(Run("garbage 10").ok);
    EXPECT_EQ(port_.ReadBytes(10, Patience).size(), 10u);
    EXPECT_TRUE(Run("long 100").ok);
    EXPECT_EQ(port_.ReadBytes(100, Patience).size(), 100u);
    EXPECT_TRUE(Run("split 2 10").ok);
    EXPECT_TRUE(Run("split off").ok);
    EXPECT_TRUE(Run("every 1000").ok);
    EXPECT_TRUE(Run("every off").ok);
    EXPECT_TRUE(Run("loopback on").ok);
    EXPECT_THAT(Run("status").message, HasSubstr("1 commands"));

    EXPECT_TRUE(Run("hangup").ok);
    EXPECT_TRUE(port_.WaitHangUp(Patience));
    const auto replug = Run("replug");
    EXPECT_TRUE(replug.ok);
    EXPECT_EQ(replug.message, simulator_.SlavePath());
}

TEST_F(IrsimConsole, QuitBlankCommentAndUnknown) {
    EXPECT_TRUE(Run("quit").quit);
    EXPECT_TRUE(Run("").ok);
    EXPECT_TRUE(Run("# note").ok);
    const auto unknown = Run("dance");
    EXPECT_FALSE(unknown.ok);
    EXPECT_THAT(unknown.message, HasSubstr("dance"));
}

// The program, started as a person or a script would start it.
class IrsimProgram : public ::testing::Test {
protected:
    // The program beside this build's tests: DEKODER_TOOLS_DIR, else found from this executable
    // (<build>/tests/tools/ -> <build>/tools/).
    static std::string ProgramPath() {
        if (const char* dir = std::getenv("DEKODER_TOOLS_DIR"); dir && *dir)
            return std::string(dir) + "/irsim";
        std::array<char, 4096> self{};
        const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
        if (n <= 0)
            return {};
        std::string path(self.data(), std::size_t(n));
        for (int up = 0; up < 3; ++up)
            path.erase(path.rfind('/'));
        return path + "/tools/irsim";
    }

    void Start(std::vector<std::string> arguments) {
        const std::string program = ProgramPath();
        ASSERT_EQ(::access(program.c_str(), X_OK), 0) << "no simulator program at " << program;
        int in[2], out[2];
        ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        pid_ = ::fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (std::string& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = test::Fd(in[1]);
        stdout_ = test::Fd(out[0]);
    }

    ~IrsimProgram() override {
        if (pid_ > 0) {
            Signal(SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Only ever the child: kill() with 0 or -1 would reach whole process groups.
    void Signal(int signal) const {
        if (pid_ > 0)
            ::kill(pid_, signal);
    }

    // The next line of the program's output.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        pollfd p{stdout_.Get(), POLLIN, 0};
        while (::poll(&p, 1, 3000) > 0 && ::read(stdout_.Get(), &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    void Type(std::string_view text) {
        [[maybe_unused]] const auto n = ::write(stdin_.Get(), text.data(), text.size());
    }

    // Exit status, or -1 when it does not end in time.
    int WaitExit() {
        if (pid_ <= 0)
            return -1;
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }

    std::string LinkPath() const {
        return ::testing::TempDir() + "irsim_program_" + std::to_string(::getpid());
    }

    pid_t pid_ = -1;
    test::Fd stdin_;
    test::Fd stdout_;
};

TEST_F(IrsimProgram, AnswersAtAndEndsCleanlyOnSigterm) {
    const std::string link = LinkPath();
    ASSERT_NO_FATAL_FAILURE(Start({"--link", link, "--quiet"}));
    const std::string path = ReadLine();
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    {
        PortClient port(link);
        ASSERT_TRUE(port.Valid());
        port.Command("AT");
        EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK")));
    }
    Signal(SIGTERM);
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the link outlived the program";
}

TEST_F(IrsimProgram, KeepsRunningAfterInputEndsUntilSigint) {
    const std::string link = LinkPath();
    ASSERT_NO_FATAL_FAILURE(Start({"--link", link, "--quiet"}));
    ReadLine();
    stdin_.Reset();
    PortClient port(link);
    port.Command("AT");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string("OK")));
    Signal(SIGINT);
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_NE(::access(link.c_str(), F_OK), 0);
}

TEST_F(IrsimProgram, TakesCommandsOnItsInputAndQuits) {
    ASSERT_NO_FATAL_FAILURE(Start({"--jitter", "0", "--stretch", "0"}));
    PortClient port(ReadLine());
    ASSERT_TRUE(port.Valid());
    Type("raw 1,2,3\n");
    EXPECT_THAT(port.ReadLine(Patience), Optional(std::string(frame::DeviceSignature) + ",1,2,3"));
    Type("quit\n");
    EXPECT_EQ(WaitExit(), 0);
}

TEST_F(IrsimProgram, ExitsOnInputEndWhenAsked) {
    ASSERT_NO_FATAL_FAILURE(Start({"--exit-on-eof", "--quiet"}));
    ReadLine();
    stdin_.Reset();
    EXPECT_EQ(WaitExit(), 0);
}

TEST_F(IrsimProgram, HelpAndWrongOptions) {
    ASSERT_NO_FATAL_FAILURE(Start({"--help"}));
    EXPECT_EQ(ReadLine(), "Usage: irsim [OPTIONS]");
    EXPECT_EQ(WaitExit(), 0);
    ASSERT_NO_FATAL_FAILURE(Start({"--bogus"}));
    EXPECT_EQ(WaitExit(), 2);
}

} // namespace
} // namespace irsim
