#include "analysis/Compare.h"

#include <gmock/gmock.h>

#include <climits>
#include <optional>

namespace {

using analysis::Compare;
using analysis::Durations;
using analysis::IsRepeatOf;

struct CompareCase {
    const char* what;
    Durations reference;
    Durations signal;
    std::size_t compared, differing, extra;
    int32_t largest;
    double mean;
    std::vector<bool> differs;
};

// A duration of 560 us may be 298..822 us (150 us plus 20 % either side); 9000 us, 1950 us.
TEST(AnalysisCompare, CountsWhatDiffersBeyondTheWindowAndWhatHasNoPartner) {
    const CompareCase cases[] = {
        {"equal", {9000, 4500, 560}, {9000, 4500, 560}, 3, 0, 0, 0, 0.0, {false, false, false}},
        {"at the window's edges", {560, 560}, {822, 298}, 2, 0, 0, 262, 262.0, {false, false}},
        {"just beyond them", {560, 560}, {823, 297}, 2, 2, 0, 263, 263.0, {true, true}},
        {"a long lead is allowed more", {9000}, {10900}, 1, 0, 0, 1900, 1900.0, {false}},
        {"shorter signal", {9000, 4500, 560}, {9000}, 1, 0, 2, 0, 0.0, {false}},
        {"longer signal", {560}, {560, 560, 560}, 1, 0, 2, 0, 0.0, {false}},
        {"signs are dropped", {-560, 560}, {560, -560}, 2, 0, 0, 0, 0.0, {false, false}},
        {"the most negative value",
         {INT32_MIN},
         {0},
         1,
         1,
         0,
         INT32_MAX,
         double(INT32_MAX),
         {true}},
        {"nothing", {}, {}, 0, 0, 0, 0, 0.0, {}},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(c.what);
        const analysis::Comparison result = Compare(c.reference, c.signal);
        EXPECT_EQ(result.compared, c.compared);
        EXPECT_EQ(result.differing, c.differing);
        EXPECT_EQ(result.extra, c.extra);
        EXPECT_EQ(result.largest, c.largest);
        EXPECT_DOUBLE_EQ(result.mean, c.mean);
        EXPECT_EQ(result.differs, c.differs);
    }
}

Durations Rendered(const char* protocol, int64_t function, int repeats) {
    const std::optional<Durations> d =
        analysis::Render(protocol, {{"D", 4}, {"F", function}}, repeats);
    return d ? *d : Durations{};
}

// What follows the first frame (and the gap after it) while the key is held.
Durations RepeatOf(const char* protocol) {
    const Durations once = Rendered(protocol, 8, 0);
    const Durations twice = Rendered(protocol, 8, 1);
    return {twice.begin() + static_cast<std::ptrdiff_t>(once.size()) + 1, twice.end()};
}

TEST(AnalysisCompare, ARepeatIsTheDittoOrTheSameFrameWithinTheWindows) {
    const Durations frame = Rendered("NEC1", 8, 0);
    const analysis::Result decoded = analysis::Analyse(frame);
    ASSERT_EQ(decoded.decodes.size(), 1u);
    const analysis::Decode& nec = decoded.decodes.front();
    Durations late = RepeatOf("NEC1");
    late[0] += 2500;
    Durations cut = RepeatOf("NEC1");
    cut.pop_back();
    Durations lagged = RepeatOf("NEC1");
    for (std::size_t i = 0; i < lagged.size(); ++i)
        lagged[i] += i % 2 == 0 ? 100 : -100;
    const struct {
        const char* what;
        Durations signal;
        bool repeat;
    } cases[] = {
        {"the ditto", RepeatOf("NEC1"), true},
        {"the ditto through a lagging receiver", lagged, true},
        {"the same frame again", RepeatOf("NEC2"), true},
        {"another command", Rendered("NEC1", 9, 0), false},
        {"a ditto with its lead too long", late, false},
        {"a ditto cut short", cut, false},
        {"nothing", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IsRepeatOf(nec, c.signal), c.repeat);
    }
}

} // namespace
