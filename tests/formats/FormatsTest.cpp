#include "analysis/Formats.h"

#include <gmock/gmock.h>

#include <cstdlib>

namespace analysis::formats {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

Signal Raw(std::string name, Durations durations, int carrierHz = 38000, double duty = 0.33) {
    return {std::move(name), std::move(durations), carrierHz, duty};
}

// Captures no listed protocol fits: one ending with a mark, one with a long space.
const Durations Odd = {3011, 1003, 497, 1502, 505, 499, 501, 2507, 703};
const Durations EndingInSpace = {1200, 600, 600, 600, 1200, 25000};

int LineOf(Format format, std::string_view text) {
    try {
        Read(format, text);
    } catch (const FormatError& e) {
        EXPECT_THAT(e.what(), HasSubstr("line " + std::to_string(e.line()) + ": "));
        return e.line();
    }
    return 0;
}

struct RoundTrip {
    Format format;
    std::vector<Signal> signals;
    int32_t resolution; // largest change of a duration allowed
    bool names;         // the format keeps names
};

TEST(FormatsRoundTrip, ExportThenImportGivesTheSameDurations) {
    const RoundTrip cases[] = {
        {Format::Flipper,
         {Raw("Power", Odd, 38000, 0.5), Raw("Vol up", EndingInSpace, 36000)},
         0,
         true},
        {Format::Lirc, {Raw("KEY_POWER", Odd), Raw("KEY_VOL", EndingInSpace, 36000)}, 0, true},
        {Format::Mode2, {Raw("", Odd)}, 0, false},
        // Half a carrier cycle: about 14 µs at 36 kHz.
        {Format::Pronto, {Raw("", Odd), Raw("", EndingInSpace, 36000)}, 14, false},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(std::string(FormatName(c.format)));
        const std::vector<Signal> read = Read(c.format, Write(c.format, c.signals));
        ASSERT_EQ(read.size(), c.signals.size());
        for (std::size_t i = 0; i < read.size(); ++i) {
            const Durations& sent = c.signals[i].durations;
            // Pronto stores mark and space pairs: an ending mark gets a trailing gap.
            ASSERT_EQ(read[i].durations.size(), sent.size() + (c.resolution ? sent.size() % 2 : 0));
            for (std::size_t k = 0; k < sent.size(); ++k)
                EXPECT_LE(std::abs(read[i].durations[k] - sent[k]), c.resolution) << k;
            EXPECT_NEAR(read[i].carrierHz, c.signals[i].carrierHz, c.signals[i].carrierHz / 100);
            if (c.names) {
                // LIRC names are single words.
                const std::string name = c.signals[i].name;
                EXPECT_EQ(read[i].name,
                          c.format == Format::Lirc && name == "Vol up" ? "Vol_up" : name);
            }
        }
    }
}

TEST(FormatsReaders, ReadRealLookingFiles) {
    const std::vector<Signal> flipper = Read(Format::Flipper, "Filetype: IR signals file\r\n"
                                                              "Version: 1\r\n"
                                                              "# Living room\r\n"
                                                              "#\r\n"
                                                              "name: Power\r\n"
                                                              "type: raw\r\n"
                                                              "frequency: 36000\r\n"
                                                              "duty_cycle: 0.330000\r\n"
                                                              "data: 2400 600 1200\r\n"
                                                              "data: 600 600\r\n"
                                                              "# \r\n"
                                                              "name: Mute \r\n"
                                                              "type: raw\r\n"
                                                              "frequency: 38000\r\n"
                                                              "duty_cycle: 0.5\r\n"
                                                              "data: 900 450 560\r\n");
    ASSERT_EQ(flipper.size(), 2u);
    EXPECT_EQ(flipper[0].name, "Power");
    EXPECT_THAT(flipper[0].durations, ElementsAre(2400, 600, 1200, 600, 600));
    EXPECT_EQ(flipper[0].carrierHz, 36000);
    EXPECT_EQ(flipper[0].line, 5);
    EXPECT_EQ(flipper[1].name, "Mute");
    EXPECT_DOUBLE_EQ(flipper[1].dutyCycle, 0.5);

    const std::vector<Signal> mode2 = Read(Format::Mode2, "space 16777215\n"
                                                          "pulse 9048\n"
                                                          "space 4480\n"
                                                          "pulse 580\n"
                                                          "timeout 132000\n"
                                                          "\n"
                                                          "pulse 9010\n"
                                                          "space 2230\n"
                                                          "pulse 570\n"
                                                          "space 900000\n"
                                                          "pulse 600\n");
    ASSERT_EQ(mode2.size(), 3u);
    EXPECT_THAT(mode2[0].durations, ElementsAre(9048, 4480, 580));
    EXPECT_THAT(mode2[1].durations, ElementsAre(9010, 2230, 570));
    EXPECT_EQ(mode2[1].line, 7);
    EXPECT_THAT(mode2[2].durations, ElementsAre(600));

    const std::vector<Signal> lirc = Read(Format::Lirc, "# irrecord output, edited\n"
                                                        "begin remote\n"
                                                        "  name  tv\n"
                                                        "  flags RAW_CODES\n"
                                                        "  eps 30\n"
                                                        "  frequency 36000\n"
                                                        "  begin raw_codes\n"
                                                        "    name KEY_POWER # the red one\n"
                                                        "      2400 600 1200\n"
                                                        "      600 600\n"
                                                        "    name KEY_MUTE\n"
                                                        "      900 450 560\n"
                                                        "  end raw_codes\n"
                                                        "end remote\n"
                                                        "begin remote\n"
                                                        "  name amp\n"
                                                        "  begin raw_codes\n"
                                                        "    name KEY_UP\n"
                                                        "      500 500 500\n"
                                                        "  end raw_codes\n"
                                                        "end remote\n");
    ASSERT_EQ(lirc.size(), 3u);
    EXPECT_EQ(lirc[0].name, "KEY_POWER");
    EXPECT_THAT(lirc[0].durations, ElementsAre(2400, 600, 1200, 600, 600));
    EXPECT_EQ(lirc[0].carrierHz, 36000);
    EXPECT_EQ(lirc[2].name, "KEY_UP");
    EXPECT_EQ(lirc[2].carrierHz, 38000);

    // A named code, and a code over two lines with its once and repeat sequences.
    const std::vector<Signal> pronto = Read(Format::Pronto, "Power: 0000 006D 0001 0000 0010 0020\n"
                                                            "0000 0073 0001 0001\n"
                                                            "  0040 0020 0020 0C00\n");
    ASSERT_EQ(pronto.size(), 2u);
    EXPECT_EQ(pronto[0].name, "Power");
    EXPECT_EQ(pronto[0].carrierHz, 38029);
    EXPECT_THAT(pronto[0].durations, ElementsAre(421, 841));
    EXPECT_EQ(pronto[1].carrierHz, 36045);
    EXPECT_THAT(pronto[1].durations, ElementsAre(1776, 888, 888, 85227));
}

struct Entry {
    const char* protocol;
    const char* address;
    const char* command;
    const char* irp; // the protocol it stands for
    std::vector<Param> params;
};

// Parsed entries read as their protocol's rendering, and a rendering is written as that entry.
TEST(FormatsFlipper, ParsedEntriesMapToTheirProtocols) {
    const Entry cases[] = {
        {"NEC", "04 00 00 00", "08 00 00 00", "NEC1", {{"D", 4}, {"S", 251}, {"F", 8}}},
        {"NECext", "04 7B 00 00", "08 F7 00 00", "NEC1", {{"D", 4}, {"S", 123}, {"F", 8}}},
        {"NECext",
         "04 7B 00 00",
         "08 12 00 00",
         "NEC1-f16",
         {{"D", 4}, {"S", 123}, {"F", 8}, {"E", 18}}},
        {"NECext",
         "EE 87 00 00",
         "0B 42 00 00",
         "Apple",
         {{"D", 238}, {"S", 135}, {"F", 5}, {"PairID", 66}}},
        {"NEC42", "55 0A 00 00", "20 00 00 00", "Aiwa", {{"D", 85}, {"S", 10}, {"F", 32}}},
        {"Samsung32", "07 00 00 00", "02 00 00 00", "NECx1", {{"D", 7}, {"S", 7}, {"F", 2}}},
        {"Pioneer", "AF 00 00 00", "0C 00 00 00", "Pioneer", {{"D", 175}, {"S", 80}, {"F", 12}}},
        {"SIRC", "01 00 00 00", "15 00 00 00", "Sony12", {{"D", 1}, {"F", 21}}},
        {"SIRC15", "A4 00 00 00", "7F 00 00 00", "Sony15", {{"D", 164}, {"F", 127}}},
        {"SIRC20", "1A 01 00 00", "03 00 00 00", "Sony20", {{"D", 26}, {"S", 8}, {"F", 3}}},
        {"Kaseikyo", "05 02 20 00", "23 01 00 00", "Panasonic", {{"D", 0}, {"S", 53}, {"F", 18}}},
        {"Kaseikyo", "13 54 32 00", "A5 02 00 00", "Denon-K", {{"D", 1}, {"S", 3}, {"F", 677}}},
        {"RCA", "0A 00 00 00", "45 00 00 00", "RCA", {{"D", 10}, {"F", 69}}},
        {"RC5", "05 00 00 00", "35 00 00 00", "RC5", {{"D", 5}, {"F", 53}, {"T", 0}}},
        {"RC5X", "05 00 00 00", "01 00 00 00", "RC5", {{"D", 5}, {"F", 65}, {"T", 0}}},
        {"RC6", "04 00 00 00", "08 00 00 00", "RC6", {{"D", 4}, {"F", 8}, {"T", 0}}},
    };
    for (const Entry& c : cases) {
        SCOPED_TRACE(std::string(c.protocol) + " " + c.address + " / " + c.command);
        const std::string entry = std::string("type: parsed\nprotocol: ") + c.protocol +
                                  "\naddress: " + c.address + "\ncommand: " + c.command + "\n";
        const std::vector<Signal> read =
            Read(Format::Flipper, "Filetype: IR signals file\nVersion: 1\nname: Key\n" + entry);
        ASSERT_EQ(read.size(), 1u);
        const std::optional<Durations> rendered = Render(c.irp, c.params, 0);
        ASSERT_TRUE(rendered);
        EXPECT_EQ(read[0].durations, *rendered);
        EXPECT_EQ(read[0].carrierHz, FindProtocol(c.irp)->carrierHz);
        EXPECT_THAT(Write(Format::Flipper, read), HasSubstr(entry));
    }
}

struct ShortForm {
    const char* code;
    const char* irp;
    std::vector<Param> params;
};

TEST(FormatsPronto, ShortFormsReadAsTheirProtocols) {
    const ShortForm cases[] = {
        {"5000 0073 0000 0001 0005 0035", "RC5", {{"D", 5}, {"F", 53}}},
        {"5001 0073 0000 0002 0010 000C 0001 0000", "RC5x", {{"D", 16}, {"S", 12}, {"F", 1}}},
        {"6000 0073 0000 0001 0030 00D1", "RC6", {{"D", 48}, {"F", 209}}},
        {"900A 006D 0000 0001 49B6 1AE5", "NEC1", {{"D", 73}, {"S", 182}, {"F", 26}}},
    };
    for (const ShortForm& c : cases) {
        const std::vector<Signal> read = Read(Format::Pronto, c.code);
        ASSERT_EQ(read.size(), 1u) << c.code;
        EXPECT_EQ(read[0].durations, Render(c.irp, c.params, 0)) << c.code;
    }
    // Out of the protocol's range, or a function byte without its complement.
    EXPECT_EQ(LineOf(Format::Pronto, "\n5000 0073 0000 0001 0020 0005"), 2);
    EXPECT_EQ(LineOf(Format::Pronto, "900A 006D 0000 0001 49B6 1AE4"), 1);
}

struct BadInput {
    Format format;
    std::string text;
    int line;
};

TEST(FormatsReaders, BadInputNamesItsLine) {
    const std::string flipper = "Filetype: IR signals file\nVersion: 1\n";
    const std::string raw = flipper + "name: A\ntype: raw\nfrequency: 38000\nduty_cycle: 0.33\n";
    const std::string parsed = flipper + "name: A\ntype: parsed\n";
    const std::string remote = "begin remote\n  begin raw_codes\n";
    const BadInput cases[] = {
        {Format::Flipper, "", 1},
        {Format::Flipper, "Filetype: Flipper SubGhz Key File\nVersion: 1\n", 1},
        {Format::Flipper, "Filetype: IR signals file\nVersion: 2\n", 2},
        {Format::Flipper, (flipper + "type: raw\n"), 3},
        {Format::Flipper, (raw + "data: 900 -450 560\n"), 7},
        {Format::Flipper, (raw + "data: 900 450 99999999999\n"), 7},
        {Format::Flipper, raw, 3},
        {Format::Flipper, (raw + "data: 900\nfrequency: 36000\n"), 8},
        {Format::Flipper, (raw + "data: 900\nname: B\ntype: cooked\n"), 9},
        {Format::Flipper,
         (flipper + "name: A\ntype: raw\nfrequency: 0\nduty_cycle: 0.33\ndata: 9\n").c_str(), 5},
        {Format::Flipper,
         (flipper + "name: A\ntype: raw\nfrequency: 1\nduty_cycle: 1.5\ndata: 9\n").c_str(), 6},
        {Format::Flipper, (parsed + "protocol: Foo\naddress: 00 00 00 00\ncommand: 00 00 00 00\n"),
         5},
        {Format::Flipper, (parsed + "protocol: NEC\naddress: 00 01 00 00\ncommand: 00 00 00 00\n"),
         5},
        {Format::Flipper, (parsed + "protocol: NEC\naddress: 0G 00 00 00\ncommand: 00 00 00 00\n"),
         6},
        {Format::Flipper, (parsed + "protocol: NEC\naddress: 00 00 00\ncommand: 00 00 00 00\n"), 6},
        {Format::Flipper,
         (parsed + "protocol: Kaseikyo\naddress: 00 09 09 00\ncommand: 00 00 00 00\n"), 5},
        {Format::Pronto, "0000 006D 0002 0000\n0156 00AB 0015\n", 1},
        {Format::Pronto, "0000 006D 0001 0000\n0156 00ZB\n", 2},
        {Format::Pronto, "0000 006D 0001 0000 015 00AB\n", 1},
        {Format::Pronto, "8000 0073 0000 0001 0001 0002\n", 1},
        {Format::Pronto, "0000 0000 0001 0000 0010 0010\n", 1},
        {Format::Pronto, "0000 006D 0001 0000 0000 0010\n", 1},
        {Format::Pronto, "0000 006D 0000 0000\n", 1},
        {Format::Pronto, "0000 006D 0002 0000 0010 0010\nB: 0010 0010\n", 2},
        {Format::Mode2, "pulse 900\nspace abc\n", 2},
        {Format::Mode2, "pulse 900\nsilence 5\n", 2},
        {Format::Mode2, "pulse 900\nspace\n", 2},
        {Format::Mode2, "pulse 2147483647\npulse 1\n", 2},
        {Format::Lirc, "hello\n", 1},
        {Format::Lirc, (remote + "    name A\n      900 450 x\n"), 4},
        {Format::Lirc, (remote + "    900 450\n"), 3},
        {Format::Lirc, (remote + "    name A\n    name B\n      900\n"), 3},
        {Format::Lirc, (remote + "    name A\n      900\n"), 2},
        {Format::Lirc, "begin remote\n  name tv\n", 1},
        {Format::Lirc, "begin remote\n  begin codes\n", 2},
        {Format::Lirc, "begin remote\n  frequency 38k\n", 2},
        {Format::IrRemote, "const uint16_t rawData[1] = {9000};\n", 1},
    };
    for (const BadInput& c : cases)
        EXPECT_EQ(LineOf(c.format, c.text), c.line) << FormatName(c.format) << ":\n" << c.text;
}

TEST(FormatsWriters, RefuseWhatTheFormatCannotHold) {
    const auto fails = [](Format format, std::vector<Signal> signals) {
        try {
            Write(format, signals);
        } catch (const FormatError& e) {
            return e.line() == 0 && std::string(e.what()).starts_with("signal");
        }
        return false;
    };
    for (const Format format :
         {Format::Flipper, Format::Pronto, Format::Mode2, Format::Lirc, Format::IrRemote}) {
        SCOPED_TRACE(std::string(FormatName(format)));
        EXPECT_TRUE(fails(format, {Raw("A", {900, 0, 560})}));
        EXPECT_TRUE(fails(format, {Raw("A", {})}));
    }
    EXPECT_TRUE(fails(Format::Flipper, {Raw("A\nname: B", Odd)}));
    EXPECT_TRUE(fails(Format::Lirc, {Raw("A\r", Odd)}));
    EXPECT_TRUE(fails(Format::IrRemote, {Raw("A", {70000, 560})}));
    EXPECT_THROW(Write(Format::IrRemote, std::vector<Signal>{}), FormatError);
    EXPECT_THROW(Write(Format::Mode2, std::vector<Signal>{}), FormatError);
    EXPECT_THROW(Write(Format::Pronto, std::vector{Raw("", Odd, 0)}), FormatError);
    EXPECT_THROW(Write(Format::Pronto, std::vector{Raw("", {2000000, 1})}), FormatError);
}

TEST(FormatsWriters, IrRemoteSketchLines) {
    const std::string text =
        Write(Format::IrRemote, std::vector{Raw("Power", {-900, 450, 560}, 36000)});
    EXPECT_THAT(text, ::testing::StartsWith("// Power: "));
    EXPECT_THAT(text, HasSubstr("\nconst uint16_t rawData[3] = {900, 450, 560};\n"
                                "IrSender.sendRaw(rawData, 3, 36);\n"));

    // Several signals: one table each, named after its signal as a unique C identifier.
    const struct {
        const char* name;
        const char* array;
    } names[] = {{"Power", "Power"},      {"Vol+", "Vol"},      {"Vol-", "Vol_2"},
                 {"", "rawData"},         {"", "rawData_2"},    {"1 2", "ir_1_2"},
                 {"int", "ir_int"},       {"Power", "Power_2"}, {"Ein/Aus", "Ein_Aus"},
                 {"Głośniej", "G_o_niej"}};
    std::vector<Signal> signals;
    for (const auto& n : names)
        signals.push_back(Raw(n.name, {900, 450, 560}, 36000));
    const std::string sketch = Write(Format::IrRemote, signals);
    std::size_t at = 0;
    for (const auto& n : names) {
        const std::string array = n.array;
        const std::string block = (n.name[0] != 0 ? "// " + std::string(n.name) + ": " : "// ");
        at = sketch.find(block, at);
        ASSERT_NE(at, std::string::npos) << n.name;
        EXPECT_EQ(sketch.find("\nconst uint16_t ", at), sketch.find("\nconst uint16_t " + array +
                                                                        "[3] = {900, 450, 560};\n"
                                                                        "IrSender.sendRaw(" +
                                                                        array + ", 3, 36);\n",
                                                                    at))
            << n.name;
        ++at;
    }
}

TEST(FormatsMessages, QuotedInputIsSafeToPrint) {
    const std::string longWord(100, 'a');
    const struct {
        std::string input, quoted;
    } cases[] = {
        {"x5", "\"x5\""},
        {"tab\there\r\n", "\"tab\\there\\r\\n\""},
        {"\x1b[2J\x07\x7f", "\"\\x1B[2J\\x07\\x7F\""},
        {"zażółć ✓ 𝄞", "\"zażółć ✓ 𝄞\""},
        {"\xff\xc3(\xed\xa0\x80", "\"\\xFF\\xC3(\\xED\\xA0\\x80\""}, // stray, cut, surrogate
        {"\xc2\x9b"
         "1m",
         "\"\\xC2\\x9B1m\""}, // C1 control
        {"a\\b", "\"a\\\\b\""},
        {longWord, "\"" + std::string(80, 'a') + "…\""},
        {std::string(80, 'a'), "\"" + std::string(80, 'a') + "\""},
        {std::string(79, 'a') + "ż€", "\"" + std::string(79, 'a') + "ż…\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Quoted(c.input), c.quoted) << c.input;
}

} // namespace
} // namespace analysis::formats
