#include "analysis/Analysis.h"
#include "analysis/UserProtocols.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <random>

namespace {

using analysis::Analyse;
using analysis::Durations;

std::vector<std::string> Names(const analysis::Result& result) {
    std::vector<std::string> names;
    for (const analysis::Decode& d : result.decodes)
        names.push_back(analysis::Summary(d) + " @" + std::to_string(d.first));
    return names;
}

// A decode covers whole frames: nothing is named inside another frame, only at the signal's start
// or after a gap as long as the protocol's own lead-out.
TEST(AnalysisWholeFrames, NoProtocolIsNamedInsideAnotherFrame) {
    std::mt19937 random(17);
    // A long air-conditioner style frame no protocol describes: a Kaseikyo lead and 150 bits.
    Durations ac = {3456, 1728};
    for (int bit = 0; bit < 150; ++bit) {
        ac.push_back(432);
        ac.push_back(random() % 2 ? 1296 : 432);
    }
    ac.push_back(432);
    EXPECT_THAT(Names(Analyse(ac)), testing::IsEmpty());

    // An RCA frame with one bit of its complemented device code flipped.
    Durations rca = *analysis::Render("RCA", {{"D", 7}, {"F", 245}}, 0);
    rca[2 + 2 * 12 + 1] = rca[2 + 2 * 12 + 1] > 1000 ? 920 : 1840;
    EXPECT_THAT(Names(Analyse(rca)), testing::IsEmpty());

    // Two whole frames one after the other are both named, each where it starts.
    Durations two = *analysis::Render("Sony12", {{"D", 1}, {"F", 2}}, 0);
    two.push_back(120000); // longer than RC5's own lead-out
    const Durations rc5 = *analysis::Render("RC5", {{"D", 3}, {"F", 4}}, 0);
    two.insert(two.end(), rc5.begin(), rc5.end());
    EXPECT_THAT(Names(Analyse(two)),
                testing::ElementsAre("Sony12 D=1 F=2 @0", "RC5 D=3 F=4 T=0 @26"));
}

class AnalysisUserProtocols : public testing::Test {
protected:
    void TearDown() override { analysis::LoadUserProtocols({}); }
};

TEST_F(AnalysisUserProtocols, BadLinesAreReportedWithTheirPlaceAndTheRestLoads) {
    const analysis::UserProtocolReport report = analysis::LoadUserProtocols(
        "# my remotes\n"
        "\n"
        "Garage = {38k,500}<1,-1|1,-3>(16,-8,D:8,F:8,~F:8,1,-50m)*[D:0..255,F:0..255]\n"
        "no equals sign here\n"
        "  Broken = {38k,500}<1,-1|1,-3>(16,-8,D:8,,F:8\n"
        " = {38k}<1,-1|1,-3>(F:8)\n"
        "Garage = {38k,500}<1,-1|1,-3>(16,-8,F:8,1,-50m)[F:0..255]\n");
    EXPECT_THAT(report.loaded, testing::ElementsAre("Garage"));
    EXPECT_THAT(report.replaced, testing::IsEmpty());
    ASSERT_EQ(report.problems.size(), 4u);
    EXPECT_EQ(report.problems[0].line, 4);
    EXPECT_EQ(report.problems[0].column, 1);
    EXPECT_EQ(report.problems[1].line, 5);
    // Inside the IRP text, which starts at column 12.
    EXPECT_GT(report.problems[1].column, 12);
    EXPECT_EQ(report.problems[2].line, 6);
    EXPECT_EQ(report.problems[3].line, 7);
    EXPECT_THAT(report.Describe("protocols.irp"), testing::StartsWith("protocols.irp:4:1: "));

    const Durations garage = *analysis::Render("Garage", {{"D", 9}, {"F", 200}}, 1);
    const analysis::Result result = Analyse(garage);
    ASSERT_EQ(result.decodes.size(), 1u);
    EXPECT_EQ(analysis::Summary(result.decodes[0]), "Garage D=9 F=200");
    EXPECT_EQ(result.decodes[0].repeats, 1);
    const std::vector<analysis::ProtocolListing> listed = analysis::ListProtocols();
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(),
                            [](const auto& p) { return p.name == "Garage" && p.user; }));
}

TEST_F(AnalysisUserProtocols, AProtocolWithABuiltInNameReplacesItUntilTheFileChanges) {
    const auto leadOf = [] { return analysis::Render("Sony12", {{"D", 1}, {"F", 2}}, 0)->at(0); };
    EXPECT_EQ(leadOf(), 2400);
    const analysis::UserProtocolReport report = analysis::LoadUserProtocols(
        "Sony12 = {40k,700}<1,-1|2,-1>(4,-1,F:7,D:5,^45m)*[D:0..31,F:0..127]\n");
    EXPECT_THAT(report.replaced, testing::ElementsAre("Sony12"));
    EXPECT_THAT(report.Describe("p.irp"), testing::HasSubstr("Sony12"));
    EXPECT_EQ(leadOf(), 2800);
    const Durations mine = *analysis::Render("Sony12", {{"D", 1}, {"F", 2}}, 0);
    EXPECT_EQ(analysis::Summary(Analyse(mine).decodes.at(0)), "Sony12 D=1 F=2");

    analysis::LoadUserProtocols({});
    EXPECT_EQ(leadOf(), 2400);
}

TEST_F(AnalysisUserProtocols, TheFileLivesInTheConfigFolder) {
    const std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(analysis::DefaultUserProtocolPath(), "/tmp/xdg/dekoder-ir/protocols.irp");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_THAT(analysis::DefaultUserProtocolPath(),
                testing::EndsWith("/.config/dekoder-ir/protocols.irp"));
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    // The example a new file starts with is all comments: it loads as nothing.
    EXPECT_THAT(analysis::LoadUserProtocols(analysis::UserProtocolTemplate()).loaded,
                testing::IsEmpty());
}

} // namespace
