#include "tools/irsim/Remotes.h"

#include <gmock/gmock.h>

#include <ostream>

#include <cstdlib>

namespace irsim {
namespace {

using ::testing::ElementsAre;

// Reads pulse-distance bits (least significant first) back into bytes: a space longer than
// `threshold` is a one. Checks every mark on the way.
std::vector<uint8_t> DecodePulseDistance(const Durations& d, int32_t bitMark, int32_t threshold) {
    std::vector<uint8_t> bytes;
    const std::size_t bits = (d.size() - 3) / 2;
    for (std::size_t i = 0; i < bits; ++i) {
        EXPECT_EQ(d[2 + 2 * i], bitMark);
        if (i % 8 == 0)
            bytes.push_back(0);
        if (d[3 + 2 * i] > threshold)
            bytes.back() |= uint8_t(1u << (i % 8));
    }
    EXPECT_EQ(d.back(), bitMark);
    return bytes;
}

// Turns a mark/space list back into levels of `half` microseconds each, starting with a mark.
std::vector<bool> HalfBits(const Durations& d, int32_t half) {
    std::vector<bool> levels;
    for (std::size_t i = 0; i < d.size(); ++i) {
        EXPECT_EQ(d[i] % half, 0) << "duration " << i;
        for (int32_t k = 0; k < d[i] / half; ++k)
            levels.push_back(i % 2 == 0);
    }
    return levels;
}

struct DistanceCase {
    const char* name;
    RemoteCode code;
    std::size_t size;
    int32_t leadMark, leadSpace, bitMark, oneAbove;
    std::vector<uint8_t> bytes;
};

void PrintTo(const DistanceCase& c, std::ostream* out) {
    *out << c.name;
}

class IrsimPulseDistance : public ::testing::TestWithParam<DistanceCase> {};

TEST_P(IrsimPulseDistance, LeaderThenTheBytesLeastSignificantBitFirst) {
    const DistanceCase& c = GetParam();
    const Durations d = NominalFrame(c.code);
    ASSERT_EQ(d.size(), c.size);
    EXPECT_EQ(d[0], c.leadMark);
    EXPECT_EQ(d[1], c.leadSpace);
    EXPECT_EQ(DecodePulseDistance(d, c.bitMark, c.oneAbove), c.bytes);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Remotes, IrsimPulseDistance, ::testing::Values(
    // NEC sends address and command each followed by its inverse; a wide address goes whole.
    DistanceCase{"Nec", {Remote::Nec, 0x04, 0x08}, 67, 9000, 4500, 560, 1000,
                 {0x04, 0xFB, 0x08, 0xF7}},
    DistanceCase{"Nec16", {Remote::Nec, 0x1234, 0x56}, 67, 9000, 4500, 560, 1000,
                 {0x34, 0x12, 0x56, 0xA9}},
    // Samsung sends the address twice.
    DistanceCase{"Samsung", {Remote::Samsung, 0x07, 0x02}, 67, 4500, 4500, 560, 1000,
                 {0x07, 0x07, 0x02, 0xFD}},
    DistanceCase{"Jvc", {Remote::Jvc, 0x03, 0x17}, 35, 8400, 4200, 526, 1000, {0x03, 0x17}},
    // Vendor 0x2002, device, sub-device, command, and the XOR of the last three.
    DistanceCase{"Panasonic", {Remote::Panasonic, 0x0180, 0x3D}, 99, 3456, 1728, 432, 864,
                 {0x02, 0x20, 0x80, 0x01, 0x3D, 0x80 ^ 0x01 ^ 0x3D}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(IrsimRemotes, NecRepeatCode) {
    EXPECT_THAT(NominalFrame({Remote::NecRepeat, 1, 2}), ElementsAre(9000, 2250, 560));
}

TEST(IrsimRemotes, SircCodesBitsInMarkWidthLeastSignificantFirst) {
    for (const auto& [remote, bits] :
         {std::pair{Remote::Sirc12, 12}, {Remote::Sirc15, 15}, {Remote::Sirc20, 20}}) {
        SCOPED_TRACE(bits);
        const uint32_t address = 0x1ABC & ((1u << (bits - 7)) - 1);
        const Durations d = NominalFrame({remote, address, 0x15});
        ASSERT_EQ(d.size(), std::size_t(2 * bits + 1));
        EXPECT_EQ(d[0], 2400);
        uint64_t word = 0;
        for (int i = 0; i < bits; ++i) {
            const int32_t mark = d[std::size_t(2 + 2 * i)];
            ASSERT_TRUE(mark == 600 || mark == 1200);
            word |= uint64_t(mark == 1200) << i;
            if (i + 1 < bits) {
                EXPECT_EQ(d[std::size_t(3 + 2 * i)], 600);
            }
        }
        EXPECT_EQ(word & 0x7F, 0x15u);
        EXPECT_EQ(word >> 7, address);
    }
}

TEST(IrsimRemotes, Rc5IsManchesterWithStartBitsToggleAddressCommandAndRc5x) {
    for (const bool toggle : {false, true}) {
        const Durations d = NominalFrame({Remote::Rc5, 0x05, 0x35, toggle});
        for (const int32_t v : d)
            ASSERT_TRUE(v == 889 || v == 1778) << v;
        // The first half of the first bit (dark) is not seen by the receiver.
        std::vector<bool> halves = HalfBits(d, 889);
        halves.insert(halves.begin(), false);
        halves.resize(28, false); // a trailing dark half is not seen either
        uint32_t word = 0;
        for (int bit = 0; bit < 14; ++bit) {
            ASSERT_NE(halves[2 * bit], halves[2 * bit + 1]) << "bit " << bit;
            word = word << 1 | (halves[2 * bit + 1] ? 1u : 0u);
        }
        EXPECT_EQ(word, 0b11u << 12 | uint32_t(toggle) << 11 | 0x05u << 6 | 0x35u);
    }
    // RC5X carries the seventh command bit as a second start bit of 0: mark-then-dark right
    // after the first bit's mark makes a long mark.
    EXPECT_EQ(NominalFrame({Remote::Rc5, 0, 0x40})[0], 1778);
}

TEST(IrsimRemotes, Rc6HasLeaderStartModeLongToggleAndSixteenBits) {
    const Durations d = NominalFrame({Remote::Rc6, 0x00, 0x0C, true});
    EXPECT_EQ(d[0], 2664);
    EXPECT_EQ(d[1], 888);
    for (const int32_t v : d)
        ASSERT_EQ(v % 444, 0);
    std::vector<bool> halves = HalfBits(Durations(d.begin() + 2, d.end()), 444);
    halves.resize(2 + 6 + 4 + 32, false);
    auto bit = [&](std::size_t at) { return halves[at] && !halves[at + 1]; };
    EXPECT_TRUE(bit(0)); // start
    EXPECT_FALSE(bit(2));
    EXPECT_FALSE(bit(4));
    EXPECT_FALSE(bit(6));                                              // mode 0
    EXPECT_TRUE(halves[8] && halves[9] && !halves[10] && !halves[11]); // toggle 1, double length
    uint32_t word = 0;
    for (std::size_t i = 0; i < 16; ++i)
        word = word << 1 | (bit(12 + 2 * i) ? 1u : 0u);
    EXPECT_EQ(word, 0x000Cu);
}

TEST(IrsimRemotes, EveryFrameHasAnOddCountOfPositiveDurationsAndANameThatReadsBack) {
    for (const Remote remote : AllRemotes) {
        for (uint32_t code : {0u, 0x55u, 0xFFu}) {
            const Durations d = NominalFrame({remote, code, code ^ 0x0F});
            EXPECT_EQ(d.size() % 2, 1u) << RemoteName(remote);
            EXPECT_LE(d.size(), 301u);
            for (const int32_t v : d)
                EXPECT_GT(v, 0);
        }
        EXPECT_EQ(RemoteFromName(RemoteName(remote)), remote);
    }
    EXPECT_EQ(RemoteFromName("NEC"), std::nullopt);
}

TEST(IrsimReceiver, JitterStaysWithinItsBoundAndLengthensMarks) {
    const Jitter jitter{40, 50};
    Receiver receiver(7, jitter);
    const Durations nominal = NominalFrame({Remote::Nec, 0x10, 0x20});
    long markSum = 0, spaceSum = 0;
    for (int round = 0; round < 50; ++round) {
        const Durations captured = receiver.Capture(nominal);
        ASSERT_EQ(captured.size(), nominal.size());
        for (std::size_t i = 0; i < nominal.size(); ++i) {
            ASSERT_LE(std::abs(captured[i] - nominal[i]), jitter.Bound());
            (i % 2 == 0 ? markSum : spaceSum) += captured[i] - nominal[i];
        }
    }
    EXPECT_GT(markSum, 0);
    EXPECT_LT(spaceSum, 0);
}

TEST(IrsimReceiver, SameSeedSameFramesNoJitterIsExactAndNothingDropsBelowOne) {
    Receiver a(42, {}), b(42, {}), c(43, {});
    const Durations nominal = NominalFrame({Remote::Rc6, 1, 2});
    const Durations fromA = a.Capture(nominal);
    EXPECT_EQ(fromA, b.Capture(nominal));
    EXPECT_NE(fromA, c.Capture(nominal));
    EXPECT_EQ(a.RandomCode().address, b.RandomCode().address);

    Receiver exact(1, {0, 0});
    EXPECT_EQ(exact.Capture(nominal), nominal);

    Receiver rough(1, {100, 100});
    for (const int32_t v : rough.Capture({50, 50, 50}))
        EXPECT_GE(v, 1);
}

} // namespace
} // namespace irsim
