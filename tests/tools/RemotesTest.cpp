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
    Receiver receiver(3, {});
    std::vector<Remote> every(std::begin(AllRemotes), std::end(AllRemotes));
    every.insert(every.end(), std::begin(IrpRemotes), std::end(IrpRemotes));
    for (const Remote remote : every) {
        // Random codes reach every parameter's range and up to two repeats.
        for (int i = 0; i < 20; ++i) {
            const Durations d = NominalFrame(receiver.RandomCodeOf(remote));
            EXPECT_EQ(d.size() % 2, 1u) << RemoteName(remote);
            EXPECT_LE(d.size(), 301u);
            for (const int32_t v : d)
                EXPECT_GT(v, 0);
        }
        EXPECT_EQ(RemoteFromName(RemoteName(remote)), remote);
    }
    EXPECT_EQ(RemoteFromName("NEC"), std::nullopt);
}

// The remotes with IRP parameters, each worked out by hand from its IRP description: the frame's
// length, its lead, and durations at places that show the repeat form, the gaps and check fields.
struct IrpCase {
    const char* name;
    RemoteCode code;
    std::size_t size;
    std::vector<int32_t> head;
    std::vector<std::pair<std::size_t, int32_t>> at;
};

void PrintTo(const IrpCase& c, std::ostream* out) {
    *out << c.name;
}

RemoteCode Irp(Remote remote, uint32_t d, uint32_t f, std::optional<uint32_t> s = std::nullopt,
               uint32_t e = 0, int repeats = 0, bool t = false) {
    RemoteCode code{remote, d, f, t, s, e};
    code.repeats = repeats;
    return code;
}

class IrsimIrpRemotes : public ::testing::TestWithParam<IrpCase> {};

TEST_P(IrsimIrpRemotes, LengthLeadAndKeyDurations) {
    const IrpCase& c = GetParam();
    const Durations d = NominalFrame(c.code);
    ASSERT_EQ(d.size(), c.size);
    EXPECT_THAT(std::vector<int32_t>(d.begin(), d.begin() + long(c.head.size())),
                ::testing::ElementsAreArray(c.head));
    for (const auto& [index, value] : c.at)
        EXPECT_EQ(d[index], value) << "at " << index;
}

INSTANTIATE_TEST_SUITE_P(
    All, IrsimIrpRemotes,
    ::testing::Values(
        // NEC: 108 ms period, so 39 756 us after a frame of sixteen ones, 96 156 after a ditto.
        IrpCase{"Nec1Ditto",
                Irp(Remote::Nec1, 4, 8, {}, 0, 1),
                71,
                {9024, 4512},
                {{67, 39756}, {68, 9024}, {69, 2256}, {70, 564}}},
        IrpCase{"Nec2Frames",
                Irp(Remote::Nec2, 4, 8, {}, 0, 1),
                135,
                {9024, 4512},
                {{67, 39756}, {68, 9024}, {69, 4512}}},
        IrpCase{"NecF16",
                Irp(Remote::NecF16, 4, 8, 5, 8),
                67,
                {9024, 4512},
                {{41, 1692}, {51, 564}, {57, 1692}}},
        IrpCase{"NecXSubdeviceIsD",
                Irp(Remote::NecX, 7, 2),
                67,
                {4512, 4512, 564, 1692},
                {{19, 1692}, {21, 1692}, {23, 1692}, {25, 564}}},
        IrpCase{"AppleParity",
                Irp(Remote::Apple, 238, 5, {}, 0x31),
                67,
                {9024, 4512, 564, 564},
                {{19, 1692}, {33, 1692}, {35, 564}, {37, 1692}}},
        IrpCase{"PioneerSubdeviceIsNotD",
                Irp(Remote::Pioneer, 175, 0x12),
                67,
                {9024, 4512},
                {{19, 564}, {27, 1692}}},
        IrpCase{"AiwaOwnDitto",
                Irp(Remote::Aiwa, 0x12, 0x34, 3, 0, 1),
                91,
                {8800, 4400},
                {{87, 23100}, {88, 8800}, {89, 4400}, {90, 550}}},
        IrpCase{"Samsung36Stop",
                Irp(Remote::Samsung36, 1, 2, 3, 5),
                77,
                {4500, 4500, 560, 1680},
                {{35, 5040}}},
        // Bi-phase: halves merge where neighbouring levels agree.
        IrpCase{"Rc5xFourUnitSpace",
                Irp(Remote::Rc5x, 3, 5, 70, 0, 0, true),
                31,
                {1778, 1778, 1778, 889},
                {{11, 3556}, {30, 889}}},
        IrpCase{"Rc6Mode6DoubleTrailer",
                Irp(Remote::Rc6M6, 3, 5, 7, 0, 0, true),
                41,
                {2664, 888, 444, 444, 444, 444, 444, 888, 1332, 1332},
                {}},
        IrpCase{"MceFixedTrailer",
                Irp(Remote::Mce, 4, 12, {}, 0, 0, true),
                67,
                {2664, 888, 444, 444, 444, 444, 444, 888, 444, 888, 1332, 888},
                {}},
        IrpCase{"JvcBareRepeat",
                Irp(Remote::JvcHeld, 3, 0x17, {}, 0, 1),
                69,
                {8432, 4216},
                {{35, 22717}, {36, 527}, {37, 1581}}},
        // Sharp and Denon: the marker bits, inverted in the second half.
        IrpCase{"Sharp",
                Irp(Remote::Sharp, 1, 2),
                63,
                {264, 1848, 264, 792},
                {{27, 1848}, {29, 792}, {31, 43560}, {59, 792}, {61, 1848}}},
        IrpCase{"Denon",
                Irp(Remote::Denon, 1, 2),
                63,
                {264, 1848},
                {{27, 792}, {29, 792}, {59, 1848}, {61, 1848}}},
        // Kaseikyo: the OEM pair first (3 = 1,1,0,...), then X, the XOR of its nibbles.
        IrpCase{"Jvc48",
                Irp(Remote::Jvc48, 1, 3, 2),
                99,
                {3456, 1728},
                {{3, 1296}, {5, 1296}, {7, 432}, {19, 1296}, {21, 432}}},
        IrpCase{
            "DenonK", Irp(Remote::DenonK, 4, 0x123, 2), 99, {3456, 1728}, {{3, 432}, {7, 1296}}},
        IrpCase{"Fujitsu",
                Irp(Remote::Fujitsu, 1, 3, 2, 5),
                99,
                {3456, 1728},
                {{3, 432}, {7, 1296}, {97, 432}}},
        IrpCase{"SharpDvdUnit",
                Irp(Remote::SharpDvd, 1, 3, 2, 4),
                99,
                {3200, 1600, 400, 400},
                {{5, 1200}}},
        IrpCase{"KaseikyoOem",
                [] {
                    RemoteCode code = Irp(Remote::Kaseikyo, 1, 3, 2, 4);
                    code.oem = 9 | 10 << 8;
                    return code;
                }(),
                99,
                {3456, 1728},
                {{35, 1296}, {37, 1296}, {39, 432}, {43, 1296}}},
        // No lead, or a lead of their own. Nokia32's unit is a 36 kHz carrier period: its
        // durations are rounded one by one, and the gap makes the period 100 ms of what is sent.
        IrpCase{"Mitsubishi", Irp(Remote::Mitsubishi, 1, 2), 33, {300, 2100, 300, 900}, {}},
        IrpCase{"RcaMsbFirst",
                Irp(Remote::Rca, 1, 2, {}, 0, 1),
                103,
                {3680, 3680, 460, 920},
                {{9, 1840}, {51, 7360}, {52, 3680}}},
        IrpCase{"Thomson7Toggle",
                Irp(Remote::Thomson7, 5, 33, {}, 0, 0, true),
                25,
                {500, 4500, 500, 2000},
                {{9, 4500}}},
        IrpCase{"Recs80",
                Irp(Remote::Recs80, 5, 33, {}, 0, 1, true),
                47,
                {158, 7426, 158, 7426},
                {{23, 45000}}},
        IrpCase{"Grundig16Pairs",
                Irp(Remote::Grundig16, 5, 200, {}, 0, 0, true),
                29,
                {806, 2960, 1346, 578, 578, 1734, 578, 1156, 578},
                {{15, 2312}, {16, 1156}}},
        IrpCase{"Nokia32CarrierPeriods",
                Irp(Remote::Nokia32, 1, 2, 3, 4, 1, true),
                71,
                {417, 278, 167, 278},
                {{9, 444}, {17, 778}, {35, 90520}}}));

// The Kaseikyo members' checks hold over random codes: a byte XOR for some, nibbles that XOR to
// zero (the OEM pair with X, the payload with its check nibble) for others.
TEST(IrsimRemotes, KaseikyoChecksHold) {
    Receiver receiver(5, {});
    for (const Remote remote : {Remote::Jvc48, Remote::DenonK, Remote::SharpDvd, Remote::Kaseikyo})
        for (int i = 0; i < 50; ++i) {
            RemoteCode code = receiver.RandomCodeOf(remote);
            code.repeats = 0;
            const int32_t unit = remote == Remote::SharpDvd ? 400 : 432;
            const std::vector<uint8_t> b = DecodePulseDistance(NominalFrame(code), unit, 2 * unit);
            ASSERT_EQ(b.size(), 6u);
            if (remote == Remote::Jvc48 || remote == Remote::DenonK) {
                EXPECT_EQ(b[5], b[2] ^ b[3] ^ b[4]) << RemoteName(remote);
                continue;
            }
            uint8_t x = 0;
            for (const uint8_t byte : b)
                x ^= byte;
            EXPECT_EQ((x & 15) ^ (x >> 4), 0) << RemoteName(remote);
        }
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
