#include "analysis/Analysis.h"
#include "frame/PulseFrame.h"
#include "tests/tools/ToolProcess.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The program, run as a script runs it: standard input from a file, both outputs into files.
class Irdecode : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "irdecode-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path File(const std::string& name, const std::string& text) const {
        std::ofstream(folder_ / name, std::ios::binary) << text;
        return folder_ / name;
    }

    Outcome Start(std::vector<std::string> arguments, const std::string& input = {}) {
        const fs::path out = folder_ / "stdout", err = folder_ / "stderr";
        const auto open = [](const fs::path& path, int flags) {
            return ::open(path.c_str(), flags | O_CLOEXEC, 0600);
        };
        const int files[] = {open(File("stdin", input), O_RDONLY),
                             open(out, O_WRONLY | O_CREAT | O_TRUNC),
                             open(err, O_WRONLY | O_CREAT | O_TRUNC)};
        const pid_t pid =
            tooltest::StartTool("irdecode", std::move(arguments), files[0], files[1], files[2]);
        for (const int fd : files)
            ::close(fd);
        Outcome run;
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            run.status = WEXITSTATUS(status);
        run.out = Contents(out);
        run.err = Contents(err);
        return run;
    }

    fs::path folder_;
};

std::string Joined(const analysis::Durations& durations, const std::string& separator) {
    std::string text;
    for (const int32_t d : durations)
        text += (text.empty() ? "" : separator) + std::to_string(d);
    return text;
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> objects;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        objects.push_back(nlohmann::json::parse(line));
    return objects;
}

TEST_F(Irdecode, JsonGivesOneObjectPerLineInTheDocumentedForm) {
    const analysis::Durations nec = *analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 3);
    // Blanks and signs as other tools write them, an empty line, a device frame line.
    const Outcome run =
        Start({"--json"}, Joined(nec, ", -") + "\n\n" + std::string(frame::DeviceSignature) + "," +
                              Joined(nec, ",") + "\r\n");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<nlohmann::json> objects = JsonLines(run.out);
    ASSERT_EQ(objects.size(), 3u);
    const auto expected = nlohmann::json::parse(
        R"({"protocol": "NEC1", "params": {"D": 4, "S": 251, "F": 8}, "repeats": 3,
            "repeat_form": "ditto", "first": 0, "last": )" +
        std::to_string(nec.size() - 1) + "}");
    for (const std::size_t i : {0u, 2u}) {
        EXPECT_EQ(objects[i]["line"], i + 1);
        EXPECT_EQ(objects[i]["decodes"], nlohmann::json::array({expected}));
    }
    EXPECT_EQ(objects[1]["decodes"], nlohmann::json::array());
    for (const nlohmann::json& object : objects) {
        const nlohmann::json& generic = object["analysis"];
        for (const char* key : {"encoding", "bits", "hex_lsb", "hex_msb", "header", "mark_clusters",
                                "space_clusters"})
            EXPECT_TRUE(generic.contains(key)) << key;
    }
    // The parameters keep their IRP order.
    EXPECT_THAT(run.out, HasSubstr(R"("params":{"D":4,"S":251,"F":8})"));

    EXPECT_EQ(Start({}, Joined(nec, " ")).out, "NEC1 D=4 S=251 F=8, 3 ditto repeats\n");
}

struct Status {
    std::vector<std::string> arguments;
    std::string input;
    int status;
    std::string message; // on standard error
};

TEST_F(Irdecode, ExitStatusesAndMessages) {
    const std::string missing = (folder_ / "missing.ir").string();
    const Status cases[] = {
        {{}, "", 0, ""},
        {{"--help"}, "", 0, ""},
        {{"--json"}, "9000 4500\n560 x5\n", 2, "standard input: line 2: \"x5\""},
        {{"--render", "NEC1", "D=4", "F=8"}, "", 0, ""},
        {{"--render", "NEC9", "D=4"}, "", 2, "NEC9"},
        {{"--render", "NEC1", "D=4", "F=256"}, "", 2, "F=256"},
        {{"--render", "NEC1", "D4"}, "", 2, "PARAM=VALUE"},
        {{"--bogus"}, "", 2, "--bogus"},
        {{"--from", "pronto", "-"}, "0000 006D 0002 0000\n0156\n", 2, "standard input: line 1: "},
        {{"--from", "flipper", missing}, "", 2, missing},
        {{"--frame-file", missing}, "", 2, missing},
        {{folder_.string()}, "", 2, "is a folder"},
        {{"--to", "irremote"}, "900 450\n900 450\n", 0, ""},
        // Binary input: the bad word is quoted with its control and stray bytes escaped.
        {{}, "9000 \x1b[2J\xff\x01\xc3\xa9\n", 2, "line 1: \"\\x1B[2J\\xFF\\x01\xc3\xa9\" is not"},
        {{"--from", "tape", "-"}, "", 2, "--from"},
    };
    for (const Status& c : cases) {
        const Outcome run = Start(c.arguments, c.input);
        EXPECT_EQ(run.status, c.status) << c.arguments.size() << " " << run.err;
        if (c.message.empty())
            EXPECT_THAT(run.err, IsEmpty());
        else
            EXPECT_THAT(run.err, HasSubstr(c.message));
    }
    EXPECT_EQ(Start({"--render", "NEC1", "D=0x04", "F=8", "--repeats", "2"}).out,
              Joined(*analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 2), ",") + "\n");
}

// The user's protocols from a file: a bad line is reported with its place and skipped, the others
// decode and are listed with the built-in ones.
TEST_F(Irdecode, ListsProtocolsAndReadsAUserFile) {
    const Outcome builtIn = Start({"--list"});
    EXPECT_EQ(builtIn.status, 0);
    EXPECT_THAT(builtIn.out,
                HasSubstr("\nNEC2 = {38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,"));
    const fs::path mine = File("mine.irp", "# garage door\n"
                                           "Garage = {38k,500}<1,-1|1,-3>(16,-8,F:8,~F:8,1,-50m)*"
                                           "[F:0..255]\n"
                                           "Broken = {38k,500}<1,-1|1,-3>(16,-8,F:8\n");
    const Outcome listed = Start({"--protocols", mine.string(), "--list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_THAT(listed.out, HasSubstr("\nGarage = {38k,500}"));
    EXPECT_THAT(listed.err, HasSubstr(mine.string() + ":3:"));
    const std::string garage =
        Start({"--protocols", mine.string(), "--render", "Garage", "F=7"}).out;
    EXPECT_THAT(Start({"--protocols", mine.string()}, garage).out, HasSubstr("Garage F=7"));
    EXPECT_EQ(Start({"--protocols", (folder_ / "none.irp").string()}).status, 2);
}

TEST_F(Irdecode, ConvertsAndDecodesFiles) {
    const std::string nec = Joined(*analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 0), ",");
    const Outcome flipper = Start({"--to", "flipper"}, nec + "\n\n9000 4500 560\n");
    ASSERT_EQ(flipper.status, 0) << flipper.err;
    EXPECT_THAT(flipper.out, HasSubstr("name: signal_1\ntype: parsed\nprotocol: NEC\n"));
    EXPECT_THAT(flipper.out, HasSubstr("name: signal_2\ntype: raw\n"));

    const std::string named =
        std::string(flipper.out).replace(flipper.out.find("signal_1"), 8, "Power");
    const std::vector<nlohmann::json> objects =
        JsonLines(Start({"--from", "flipper", File("remote.ir", named), "--json"}).out);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["name"], "Power");
    EXPECT_EQ(objects[0]["decodes"][0]["protocol"], "NEC");
    EXPECT_EQ(objects[1]["line"], 10);

    const Outcome lirc = Start({"--from", "flipper", "-", "--to", "lirc"}, named);
    EXPECT_EQ(Start({"--from", "lirc", "-"}, lirc.out).out,
              "Power: NEC D=4 S=251 F=8\n"
              "signal_2: no known protocol: " +
                  Start({}, "9000 4500 560\n").out.substr(19));

    std::string frameFile = "1\r\n";
    const analysis::Durations frame = *analysis::Render("NEC1", {{"D", 4}, {"F", 8}}, 1);
    for (const int32_t d : frame)
        frameFile += std::to_string(d) + "\r\n";
    EXPECT_EQ(Start({"--frame-file", File("frame.txt", frameFile).string()}).out,
              "NEC1 D=4 S=251 F=8, 1 ditto repeat\n");
}

} // namespace
