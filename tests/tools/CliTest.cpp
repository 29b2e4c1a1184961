#include "PortClient.h"
#include "ToolProcess.h"

#include "frame/PulseFrame.h"
#include "tools/irsim/Cli.h"
#include "tools/irsim/FlipperSim.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace irsim {
namespace {

using test::Patience;
using test::PortClient;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

const std::string Signature(frame::DeviceSignature);

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

    // The demo turns on loop-back and periodic frames, unless a period is given.
    const auto demo = ParseArguments({"--demo"});
    EXPECT_TRUE(demo.options->simulator.loopback);
    EXPECT_EQ(demo.options->simulator.every, 3000ms);
    EXPECT_EQ(ParseArguments({"--every", "500", "--demo"}).options->simulator.every, 500ms);
    // Random frames keep to the first ten remotes unless asked for every remote.
    EXPECT_FALSE(demo.options->simulator.everyRemote);
    EXPECT_TRUE(ParseArguments({"--every-remote"}).options->simulator.everyRemote);
    EXPECT_TRUE(ParseArguments({"--help"}).help);
    EXPECT_TRUE(ParseArguments({"--flipper"}).options->flipper);
}

TEST(FlipperCommands, TransmitsOnlyWhatTheFlipperTakes) {
    const struct {
        const char* line;
        bool busy;
        bool sent;
        const char* output;
    } cases[] = {
        {"ir tx RAW F:38000 DC:33 9000 4500 560", false, true, ""},
        {"ir tx RAW F:56001 DC:33 9000", false, false, "Usage: ir tx RAW"},
        {"ir tx RAW F:9999 DC:33 9000", false, false, "Usage: ir tx RAW"},
        {"ir tx RAW F:38000 DC:101 9000", false, false, "Usage: ir tx RAW"},
        {"ir tx RAW F:38000 DC:33 9000 0 560", false, false, "Bad duration 0"},
        {"ir tx RAW F:38000 DC:33", false, false, "Usage: ir tx RAW"},
        {"ir tx RAW F:38000 DC:33 9000", true, false, "INFRARED is busy"},
        {"ir rx raw", true, false, "INFRARED is busy"},
        {"info device", false, false, "firmware_version       : 1.0.1"},
        {"AT", false, false, "`AT` command not found"},
    };
    for (const auto& c : cases) {
        const FlipperReply reply = RunFlipperCommand(c.line, "1.0.1", c.busy);
        EXPECT_EQ(reply.sent.has_value(), c.sent) << c.line;
        EXPECT_THAT(reply.output, HasSubstr(c.output)) << c.line;
    }
    std::string durations;
    for (int i = 0; i < 513; ++i)
        durations += " 500";
    EXPECT_FALSE(RunFlipperCommand("ir tx RAW F:38000 DC:33" + durations, "1.0.1", false).sent);
    EXPECT_TRUE(RunFlipperCommand("ir rx raw", "1.0.1", false).startsReceiver);
    EXPECT_EQ(FlipperCaptureText({9000, 4500, 560}), "RAW, 3 samples:\r\n9000 4500 560 \r\n");
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
    EXPECT_EQ(ParseNumber("0x1F"), 31u);
    EXPECT_EQ(ParseNumber("010"), 10u);
    EXPECT_EQ(ParseNumber("0x"), std::nullopt);
    EXPECT_EQ(ParseNumber("-1"), std::nullopt);
}

class IrsimConsole : public ::testing::Test {
protected:
    ConsoleResult Run(std::string_view line) { return RunConsoleCommand(rig.simulator, line); }
    test::Rig rig{[](SimulatorOptions& o) { o.jitter = {0, 0}; }};
};

TEST_F(IrsimConsole, RemoteRawAndLineCommandsSendWhatIsTyped) {
    EXPECT_TRUE(Run("nec 0x04 0x08").ok);
    const std::string nec = rig.port.Next();
    EXPECT_EQ(std::count(nec.begin(), nec.end(), ','), 67);
    EXPECT_TRUE(Run("necrep").ok);
    EXPECT_EQ(rig.port.Next(), Signature + ",9000,2250,560");
    EXPECT_TRUE(Run("rc5 5 53 1").ok);
    EXPECT_TRUE(rig.port.ReadLine());
    EXPECT_TRUE(Run("raw 9000, 4500,560").ok);
    EXPECT_EQ(rig.port.Next(), Signature + ",9000,4500,560");
    EXPECT_TRUE(Run("line hello there ").ok);
    EXPECT_EQ(rig.port.Next(), "hello there");
    // The remotes with IRP parameters: positional D F T, or by name, R repeats.
    EXPECT_TRUE(Run("nec1 D=4 S=251 F=8 R=2").ok);
    EXPECT_THAT(rig.port.Next(), EndsWith(",564,39756,9024,2256,564,96156,9024,2256,564"));
    EXPECT_TRUE(Run("kaseikyo 1 2 1 M=9 N=10 E=3").ok);
    EXPECT_TRUE(rig.port.ReadLine());
    for (const char* wrong : {"rc5 5 53 2", "jvc 5", "raw 9000,x", "raw", "nec1 D=4", "nec1 4 8 2",
                              "nec1 4 8 0 1", "nec1 4 8 Q=1", "nec1 4 F=x", "nec1 4 8 R=101"})
        EXPECT_FALSE(Run(wrong).ok) << wrong;
}

TEST_F(IrsimConsole, ModesAndFaults) {
    EXPECT_TRUE(Run("silent on").ok);
    rig.port.Command("AT");
    ASSERT_TRUE(rig.simulator.WaitForCommands(1, Patience));
    EXPECT_EQ(rig.port.ReadFor(100ms), "");
    EXPECT_TRUE(Run("silent off").ok);
    EXPECT_FALSE(Run("silent maybe").ok);

    EXPECT_TRUE(Run("flood 3").ok);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(rig.port.ReadLine());
    EXPECT_TRUE(Run("garbage 10").ok);
    EXPECT_EQ(rig.port.ReadBytes(10).size(), 10u);
    EXPECT_TRUE(Run("long 100").ok);
    EXPECT_EQ(rig.port.ReadBytes(100).size(), 100u);
    for (const char* command :
         {"split 2 10", "split off", "every 1000", "every off", "loopback on"})
        EXPECT_TRUE(Run(command).ok) << command;
    EXPECT_THAT(Run("status").message, HasSubstr("1 commands"));

    EXPECT_TRUE(Run("hangup").ok);
    EXPECT_TRUE(rig.port.WaitHangUp());
    const auto replug = Run("replug");
    EXPECT_TRUE(replug.ok);
    EXPECT_EQ(replug.message, rig.simulator.SlavePath());
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
    void Start(std::vector<std::string> arguments) {
        ASSERT_EQ(::access(tooltest::ToolPath("irsim").c_str(), X_OK), 0) << "no simulator program";
        int in[2], out[2];
        ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        pid_ = tooltest::StartTool("irsim", std::move(arguments), in[0], out[1]);
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = test::Fd(in[1]);
        stdout_ = test::Fd(out[0]);
        ASSERT_GE(pid_, 0);
    }

    ~IrsimProgram() override {
        Signal(SIGKILL);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
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

    // Exit status, or -1 when it does not end within 3 s.
    int WaitExit() {
        for (int i = 0; pid_ > 0 && i < 300; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }

    pid_t pid_ = -1;
    test::Fd stdin_;
    test::Fd stdout_;
};

TEST_F(IrsimProgram, KeepsRunningAfterInputEndsAndEndsCleanlyOnSigtermOrSigint) {
    const std::string link = ::testing::TempDir() + "irsim_program_" + std::to_string(::getpid());
    for (const int signal : {SIGTERM, SIGINT}) {
        ASSERT_NO_FATAL_FAILURE(Start({"--link", link, "--quiet"}));
        const std::string path = ReadLine();
        EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
        stdin_.Reset();
        {
            PortClient port(link);
            ASSERT_TRUE(port.Valid());
            port.Command("AT");
            EXPECT_EQ(port.Next(), "OK");
        }
        Signal(signal);
        EXPECT_EQ(WaitExit(), 0) << signal;
        EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the link outlived the program";
    }
}

TEST_F(IrsimProgram, TakesCommandsOnItsInputAndQuits) {
    ASSERT_NO_FATAL_FAILURE(Start({"--jitter", "0", "--stretch", "0"}));
    PortClient port(ReadLine());
    ASSERT_TRUE(port.Valid());
    Type("raw 1,2,3\n");
    EXPECT_EQ(port.Next(), Signature + ",1,2,3");
    Type("quit\n");
    EXPECT_EQ(WaitExit(), 0);

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
