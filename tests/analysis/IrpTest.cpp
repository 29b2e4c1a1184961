#include "analysis/irp/Irp.h"

#include <gmock/gmock.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace analysis::irp {
namespace {

constexpr const char* kNec1 =
    "{38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m,(16,-4,1,^108m)*)"
    "[D:0..255,S:0..255=255-D,F:0..255]";
constexpr const char* kRc5 = "{36k,msb,889}<1,-1|-1,1>((1,~F:1:6,T:1,D:5,F:6,^114m)*,T=1-T)"
                             "[D:0..31,F:0..127,T@:0..1=0]";
constexpr const char* kRc6 =
    "{36k,444,msb}<-1,1|1,-1>((6,-2,1:1,0:3,<-2,2|2,-2>(T:1),D:8,F:8,^107m)*,"
    "T=1-T)[D:0..255,F:0..255,T@:0..1=0]";
constexpr const char* kSony12 = "{40k,600}<1,-1|2,-1>(4,-1,F:7,D:5,^45m)*[D:0..31,F:0..127]";
// Shortest space three units long; the second half carries the complement.
constexpr const char* kSharp = "{38k,264}<1,-3|1,-7>(D:5,F:8,1:2,1,-165,D:5,~F:8,2:2,1,-165)*"
                               "[D:0..31,F:0..255]";
// Four symbols of two bits each, 1p units.
constexpr const char* kNokia32 =
    "{36k,1p,msb}<6,-10|6,-16|6,-22|6,-28>(15,-10,D:8,S:8,T:1,X:7,F:8,6,"
    "^100m)*[D:0..255,S:0..255,F:0..255,T@:0..1=0,X:0..127=0]";
// Each symbol is two bits of the outer symbols; the fields are parameters less one.
constexpr const char* kArctech =
    "{0k,388}<1,-3|3,-1>(<0:2|2:2>((D-1):4,(S-1):4),40:7,F:1,0:1,-10.2m)*[D:1..16,S:1..16,F:0..1]";
// Fields of a parameter times a power of two and less a constant.
constexpr const char* kScaled =
    "{38k,500}<1,-1|1,-3>(8,-4,(F*4):6,(D-1):3,1,-20m)*[F:0..15,D:1..8]";
// A start frame, key frames while held, an end frame; the key frame can equal the end frame.
constexpr const char* kNrc17 =
    "{38k,500}<-1,1|1,-1>(1,-5,1:1,254:8,255:8,-28,(1,-5,1:1,F:8,D:8,-220)*,"
    "1,-5,1:1,254:8,255:8,-200)[D:0..255,F:0..255]";
// A position code: 0 in the first frame, 1 while held, 2 in the last one.
constexpr const char* kOrtek = "{38.6k,480}<1,-1|-1,1>([P=0][P=1][P=2],4,-1,D:5,P:2,F:6,C:4,-48m)+"
                               "{C=3+#D+#P+#F}[D:0..31,F:0..63]";
// A checksum over the other fields, evaluated when the frame is complete.
constexpr const char* kKaseikyo =
    "{37k,432}<1,-1|1,-3>(8,-4,2:8,32:8,D:8,S:8,F:8,(D^S^F):8,1,-173)*"
    "[D:0..255,S:0..255,F:0..255]";

std::shared_ptr<const Protocol> Compiled(const char* irp) {
    auto result = Protocol::Compile(irp);
    if (auto* error = std::get_if<ParseError>(&result))
        ADD_FAILURE() << irp << ": " << error->position << " " << error->message;
    return std::get<std::shared_ptr<const Protocol>>(result);
}

struct Grammar {
    std::string irp;
    std::optional<std::size_t> errorAt; // nullopt: compiles
};

TEST(IrpAnalysisTest, GrammarAcceptsTheNotationAndPlacesErrors) {
    const std::vector<Grammar> table = {
        {kNec1, {}},
        {kRc5, {}},
        {kRc6, {}},
        {kNokia32, {}},
        {kKaseikyo, {}},
        {"{38k,564,33%}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m)+[D:0..255,S:0..255=255-D,F:0.."
         "255]",
         {}},
        {"{0k,1}<100u,-100u|200u,-100u>(D:4,-10m)3+[D:0..15]", {}},
        {"{38k,500}<1,-1|1,-3>(8,-4,D:8,C:4,1,-50){C=(#D+(D>>4)*3-1)%16&15|0,E=D?1:2<<1,G=D::4^D:4:"
         "2**2}"
         "[D:0..255]",
         {}},
        {"{38k,500}<1,-1|1,-3>([8,-4][4,-4][2,-2],D:8,T=T+1,D:4:2,1,-20m)*[D:0..255,T@:0..3=0]",
         {}},
        {"{38k,500}<1,-1|1,-3>(1,-2,0x1F:5,0b101:3,D:-8,1,-30m)[D:0..255]", {}},
        {"{38k,500}<1,-1|1,-3>(1,-2,D:8,1,-30)(1,-4,1,-30)*", {}}, // names without specs
        {"", 0},
        {"{38k,564", 8},
        {"{38k,564}<1,-1|1,-3>(16,-8,D:8", 30},
        {"{38k,564}<1,-1|1,-3>(D:8,X:2)[D:0..255]", 25},
        {"{38k}<1,-1|1,-3|2,-2>(D:8)", 5},
        {"{38k,564}<1,-1|1,-3>(A:8){A=B+1,B=A}", 28},
        {"{38k,564}<1,-1|1,-3>((D:8)*,(D:8)+)[D:0..255]", 28},
        {"{38k,564}<1,-1|1,-3>(D:8)[D:5..3]", 26},
        {"{38k,564}(D:8)", 10},
        {"{38k,564}<1,-1|1,-3>(D:8,$)", 25},
        {"{38k,564}<1,-1|1,-3>(D:8)[D:0..255] x", 36},
        {"{38k,564,fast}<1,-1|1,-3>(D:8)", 9},
        {"{38k,564}<1,-1|1,-3>(D:99)", 21},
        {"{38k,564}<1,-1|1,-3>(D:8,T=)", 27},
        {"{38k,564}<1,-1|0,-0>(D:8)", 15}, // a symbol of zero lengths sends nothing
        {kArctech, {}},
        {kNrc17, {}},
        {kOrtek, {}},
        {"{40k,520,msb}<1,-10|1,-1,1,-8>(S:1,<1:2|2:2>(F:D),-90m)*{D=5}[S:0..1,F:0..31]", {}},
        {"{36k,330}<-1,1|1,-1>([][T=0][T=1],8,-6,D:8,T:1,-74m)*[D:0..255]", {}},
        {"{38k,500}<1,-1|1,-3>(<D:2|2:2>(F:4),-9m)[D:0..3,F:0..15]", 22}, // not a fixed value
        {"{38k,500}<1,-1|1,-2|1,-3|1,-4>(<1:3|2:2>(F:4),-9m)[F:0..15]", 32},
        {"{38k,500}<0:2|2:2>(F:4)[F:0..15]", 10}, // no outer symbols
        {"{38k,564}<1,-1|1,-3>(" + std::string(5000, '(') + "1" + std::string(5000, ')') + ")", 0},
    };
    for (const Grammar& row : table) {
        const auto result = Protocol::Compile(row.irp);
        const auto* error = std::get_if<ParseError>(&result);
        if (!row.errorAt) {
            EXPECT_EQ(error, nullptr)
                << row.irp << ": " << error->position << " " << error->message;
        } else if (error == nullptr) {
            ADD_FAILURE() << row.irp.substr(0, 80) << " compiled";
        } else if (*row.errorAt != 0 || row.irp.empty()) {
            EXPECT_EQ(error->position, *row.errorAt) << row.irp << ": " << error->message;
        } else {
            EXPECT_GT(error->position, 0u) << error->message; // nested too deeply, somewhere
        }
    }
}

TEST(IrpAnalysisTest, GeneralSpecAndParameters) {
    const auto nec = Compiled(kNec1);
    EXPECT_EQ(nec->CarrierHz(), 38400);
    EXPECT_EQ(nec->DutyCyclePercent(), std::nullopt);
    EXPECT_DOUBLE_EQ(nec->UnitUs(), 564);
    ASSERT_EQ(nec->Params().size(), 3u);
    EXPECT_EQ(nec->Params()[1].defaultText, "255-D");
    EXPECT_EQ(nec->HeldForm(), RepeatForm::Ditto);
    EXPECT_EQ(Compiled(kRc5)->HeldForm(), RepeatForm::Frame);
    EXPECT_TRUE(Compiled(kRc5)->Params()[2].memory);
    EXPECT_NEAR(Compiled(kNokia32)->UnitUs(), 27.78, 0.01);

    std::string error;
    EXPECT_EQ(nec->Complete({{"D", 4}, {"F", 8}}, &error),
              (std::vector<Param>{{"D", 4}, {"S", 251}, {"F", 8}}));
    EXPECT_EQ(nec->Complete({{"D", 256}, {"F", 8}}, &error), std::nullopt);
    EXPECT_THAT(error, testing::HasSubstr("D=256"));
    EXPECT_EQ(nec->Complete({{"D", 1}}, &error), std::nullopt);
    EXPECT_THAT(error, testing::HasSubstr("F"));
    EXPECT_EQ(nec->Complete({{"D", 1}, {"F", 1}, {"Q", 1}}, &error), std::nullopt);
}

struct RenderCase {
    const char* irp;
    std::vector<Param> params;
    int repeats;
    Durations expected;
};

TEST(IrpAnalysisTest, RenderGivesNominalDurations) {
    Durations nec = {9024, 4512};
    for (int byte : {0, 255, 0, 255})
        for (int i = 0; i < 8; ++i)
            nec.insert(nec.end(), {564, byte ? 1692 : 564});
    nec.insert(nec.end(), {564, 108000 - 68244, 9024, 2256, 564});

    // RC5 D=0 F=0 T=1: ~F's bit and the toggle are ones (space first), D's first zero starts
    // with a mark that joins the toggle's.
    Durations rc5 = {889, 889, 889, 889, 1778, 889};
    for (int i = 0; i < 10; ++i)
        rc5.insert(rc5.end(), {889, 889});
    rc5.pop_back();

    // RC6: the trailer bit is twice as long as the others.
    Durations rc6 = {2664, 888, 444, 888, 444, 444, 444, 444, 444, 888, 888};
    for (int i = 0; i < 16; ++i)
        rc6.insert(rc6.end(), {444, 444});

    Durations sony = {2400, 600, 1200, 600};
    for (int i = 0; i < 11; ++i)
        sony.insert(sony.end(), {600, 600});
    sony.back() += 45000 - (3000 + 1800 + 11 * 1200); // the last space runs into the gap
    Durations sonyTwice = sony;
    sonyTwice.insert(sonyTwice.end(), sony.begin(), sony.end() - 1);

    const std::vector<RenderCase> table = {
        {kNec1, {{"D", 0}, {"F", 0}}, 1, nec},
        {kRc5, {{"D", 0}, {"F", 0}, {"T", 1}}, 0, rc5},
        {kRc6, {{"D", 0}, {"F", 0}}, 0, rc6},
        {kSony12, {{"D", 0}, {"F", 1}}, 1, sonyTwice},
        // Symbols of outer symbols, lsb first: 2:2 sends 0 then 1.
        {"{0k,100}<1,-3|3,-1>(<0:2|2:2>(A:2),5)[A:0..3]",
         {{"A", 2}},
         0,
         {100, 300, 100, 300, 100, 300, 300, 100, 5 * 100}},
        // The held part at least once between the start and the end frame, then the end frame.
        {"{0k,100}<1,-1|1,-3>(7,-7,(1,-2,F:1,-20)*,9,-9)[F:0..1]",
         {{"F", 1}},
         1,
         {700, 700, 100, 200, 100, 2300, 100, 200, 100, 2300, 900}},
        // No first frame of its own: the held form first, the third alternative last.
        {"{0k,100}<1,-1|1,-3>([][T=0][T=1],4,-1,T:1,1,-30)*",
         {},
         0,
         {400, 100, 100, 100, 100, 3000, 400, 100, 100, 300, 100}},
    };
    for (const RenderCase& row : table) {
        std::string error;
        const auto got = Compiled(row.irp)->Render(row.params, row.repeats, &error);
        ASSERT_TRUE(got) << row.irp << ": " << error;
        EXPECT_EQ(*got, row.expected) << row.irp;
    }
    std::string error;
    EXPECT_EQ(Compiled(kNec1)->Render({{"D", 0}}, 0, &error), std::nullopt);
    EXPECT_EQ(Compiled(kNec1)->Render({{"D", 0}, {"F", 0}}, -1, &error), std::nullopt);
}

// Marks longer and spaces shorter by `lag`, each duration moved by up to ±`jitter`.
Durations Received(Durations d, int lag, int jitter, std::mt19937& random) {
    std::uniform_int_distribution<int> noise(-jitter, jitter);
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = std::max(1, d[i] + (i % 2 == 0 ? lag : -lag) + (jitter ? noise(random) : 0));
    return d;
}

struct RoundTrip {
    int lag;
    int jitter;
    double atLeast; // share of frames decoded right
};

TEST(IrpAnalysisTest, DecodeRoundTripUnderLagAndJitter) {
    std::mt19937 random(17);
    for (const char* irp :
         {kNec1, kRc5, kRc6, kSony12, kSharp, kKaseikyo, kArctech, kNrc17, kOrtek, kScaled}) {
        const auto protocol = Compiled(irp);
        for (const RoundTrip& condition : {RoundTrip{0, 0, 1.0}, RoundTrip{150, 100, 0.95}}) {
            int right = 0;
            int wrong = 0;
            const int n = 300;
            for (int k = 0; k < n; ++k) {
                std::vector<Param> params;
                for (const ParamSpec& spec : protocol->Params())
                    if (spec.defaultText.empty() || random() % 2)
                        params.push_back({spec.name, std::uniform_int_distribution<int64_t>(
                                                         spec.min, spec.max)(random)});
                const int repeats = static_cast<int>(random() % 3);
                const auto complete = protocol->Complete(params).value();
                const Durations sent = protocol->Render(complete, repeats).value();
                const Durations got = Received(sent, condition.lag, condition.jitter, random);
                const auto matches = protocol->Decode(got, 0);
                if (matches.empty())
                    continue;
                const Match& m = matches.front();
                const bool same = m.params == complete && m.repeats == repeats &&
                                  m.last + 1 == got.size() && m.windows.size() == got.size();
                (same ? right : wrong)++;
            }
            EXPECT_EQ(wrong, 0) << irp << " lag " << condition.lag;
            EXPECT_GE(right, condition.atLeast * n) << irp << " lag " << condition.lag;
        }
    }
}

TEST(IrpAnalysisTest, LagFitAtTheEdges) {
    const auto nec = Compiled(kNec1);
    const auto sharp = Compiled(kSharp);
    const Durations necFrame = nec->Render({{"D", 3}, {"F", 200}}, 0).value();
    const Durations sharpFrame = sharp->Render({{"D", 9}, {"F", 77}}, 0).value();
    struct Case {
        std::shared_ptr<const Protocol> protocol;
        const Durations& frame;
        int lag;
        std::optional<int> fitted; // nullopt: no decode
    };
    const std::vector<Case> table = {
        {nec, necFrame, 0, 0},
        {nec, necFrame, kMaxLagUs, kMaxLagUs},
        {nec, necFrame, -60, 0},              // clamped at 0, still within the window
        {nec, necFrame, kMaxLagUs + 400, {}}, // beyond the clamp and the jitter
        {sharp, sharpFrame, 0, 0},
        {sharp, sharpFrame, 150, 150},
        {sharp, sharpFrame, kMaxLagUs, kMaxLagUs},
    };
    std::mt19937 random(1);
    for (const Case& row : table) {
        const Durations got = Received(row.frame, row.lag, 0, random);
        const auto matches = row.protocol->Decode(got, 0);
        if (!row.fitted) {
            EXPECT_TRUE(matches.empty()) << row.lag;
            continue;
        }
        ASSERT_EQ(matches.size(), 1u) << row.protocol->Text() << " lag " << row.lag;
        EXPECT_NEAR(matches[0].lagUs, *row.fitted, 1) << row.lag;
        // The windows follow the fit: each received duration lies inside its own.
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_GE(got[i], matches[0].windows[i].low);
            EXPECT_LE(got[i], matches[0].windows[i].high);
        }
    }
}

TEST(IrpAnalysisTest, DecodeReadsTogglesChecksAndSpans) {
    const auto rc5 = Compiled(kRc5);
    // A new press with the toggle changed follows as a toggled repeat.
    Durations two = rc5->Render({{"D", 3}, {"F", 9}, {"T", 0}}, 0).value();
    two.push_back(114000 - 24 * 889);
    const Durations second = rc5->Render({{"D", 3}, {"F", 9}, {"T", 1}}, 0).value();
    two.insert(two.end(), second.begin(), second.end());
    auto matches = rc5->Decode(two, 0);
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].repeats, 1);
    EXPECT_EQ(matches[0].repeatForm, RepeatForm::Toggled);

    // NEC1 with a broken complement is no NEC1 frame.
    const auto nec = Compiled(kNec1);
    Durations broken = nec->Render({{"D", 4}, {"F", 8}}, 0).value();
    const std::size_t lastCheckBit = 2 + 2 * 31 + 1;
    broken[lastCheckBit] = 564;
    EXPECT_TRUE(nec->Decode(broken, 0).empty());

    // The spans name the lead, the fields and the trailer.
    const Durations frame = nec->Render({{"D", 4}, {"F", 8}}, 1).value();
    matches = nec->Decode(frame, 0);
    ASSERT_EQ(matches.size(), 1u);
    std::vector<std::string> labels;
    for (const Span& span : matches[0].spans)
        if (span.kind != Span::Kind::Bit)
            labels.push_back(span.label + "@" + std::to_string(span.first) + "-" +
                             std::to_string(span.last));
    EXPECT_EQ(labels, (std::vector<std::string>{"@0-1", "D=4@2-17", "S=251@18-33", "F=8@34-49",
                                                "~F@50-65", "@66-66", "ditto@68-70"}));

    // A frame must end at a gap: a longer frame of the same shape is not read as a shorter one.
    const auto sony = Compiled(kSony12);
    const Durations sony15 = Compiled("{40k,600}<1,-1|2,-1>(4,-1,F:7,D:8,^45m)*[D:0..255,F:0..127]")
                                 ->Render({{"D", 1}, {"F", 1}}, 0)
                                 .value();
    EXPECT_TRUE(sony->Decode(sony15, 0).empty());
    EXPECT_FALSE(sony->MayStartAt(broken, 0));

    // A press is not complete without its end frame; a last key frame that looks like the end
    // frame is read as the end frame when nothing follows it.
    const auto nrc17 = Compiled(kNrc17);
    const Durations press = nrc17->Render({{"D", 255}, {"F", 254}}, 1).value();
    matches = nrc17->Decode(press, 0);
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].repeats, 1);
    EXPECT_EQ(matches[0].last + 1, press.size());
    EXPECT_EQ(matches[0].spans.back().label, "end");
    const std::size_t endFrame = 2 * (1 + 17) + 1;
    EXPECT_TRUE(nrc17->Decode(Durations(press.begin(), press.end() - endFrame), 0).empty());

    // A bit sent as the other symbol (a whole step off) is not read back as itself by a lag that
    // puts it and every other duration exactly half a step from their nominal values.
    const auto steps = Compiled("{0k,100}<1,-2|1,-4>(5,-5,F:4,~F:4,1,-30m)[F:0..15]");
    Durations flipped = steps->Render({{"F", 1}}, 0).value();
    ASSERT_EQ(flipped[3], 400);
    flipped[3] = 200;
    EXPECT_TRUE(steps->Decode(flipped, 0).empty());

    // A defined check field is labelled with the bits sent.
    const auto ortek = Compiled(kOrtek);
    matches = ortek->Decode(ortek->Render({{"D", 1}, {"F", 3}}, 0).value(), 0);
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_TRUE(std::any_of(matches[0].spans.begin(), matches[0].spans.end(),
                            [](const Span& span) { return span.label == "C=6"; }));
}

} // namespace
} // namespace analysis::irp
