// The reading of a signal no listed protocol fits, such as an air conditioner's long frames: the
// lengths its marks and spaces cluster around, a header, the encoding and the bits.

#include "analysis/Tolerance.h"

#include <algorithm>
#include <cstdlib>

namespace analysis::detail {
namespace {

// A space this long ends a section: frame gaps of remotes lie above it (RCA's 7.4 ms aside), while
// headers of air conditioners stay below it (up to about 9 ms).
constexpr int32_t kGapUs = 10000;

// A stretch between gaps: [first, last] are a mark each; `data` is the first duration after the
// header, where there is one.
struct Section {
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t data = 0;
};

struct Cluster {
    int32_t centre = 0;
    std::size_t count = 0;
};

// Lengths within one tolerance window of a cluster's shortest member join it; the window is the
// shared tolerance's width without the lag, which moves every member alike. Lengths beyond any
// bit's (stray gaps, absurd values) cluster only with their equals.
std::vector<Cluster> ClusterOf(std::vector<int32_t> values) {
    std::sort(values.begin(), values.end());
    const Tolerance flat(0);
    std::vector<Cluster> clusters;
    int64_t sum = 0;
    int32_t bound = 0;
    for (const int32_t value : values) {
        if (clusters.empty() || value > bound) {
            clusters.push_back({});
            sum = 0;
            bound = value > kGapUs ? value : flat.Mark(value).high;
        }
        sum += value;
        Cluster& cluster = clusters.back();
        ++cluster.count;
        cluster.centre = static_cast<int32_t>(sum / static_cast<int64_t>(cluster.count));
    }
    return clusters;
}

// The clusters that hold a fair share of the values: a stray length does not make a new one.
std::vector<int32_t> Significant(const std::vector<Cluster>& clusters, std::size_t total) {
    std::vector<int32_t> centres;
    for (const Cluster& cluster : clusters)
        if (cluster.count * 20 >= total)
            centres.push_back(cluster.centre);
    return centres;
}

std::vector<int32_t> Centres(const std::vector<Cluster>& clusters) {
    std::vector<int32_t> centres;
    for (const Cluster& cluster : clusters)
        centres.push_back(cluster.centre);
    return centres;
}

int32_t Median(std::vector<int32_t> values) {
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

std::vector<Section> Sections(std::span<const int32_t> durations) {
    std::vector<Section> sections;
    std::size_t first = 0;
    for (std::size_t mark = 0; mark < durations.size(); mark += 2)
        if (mark + 2 >= durations.size() || durations[mark + 1] >= kGapUs) {
            sections.push_back({first, mark, first});
            first = mark + 2;
        }
    for (Section& section : sections) {
        // A header is a first mark clearly longer than the others, or a first space clearly longer
        // than every other space of the section.
        std::vector<int32_t> marks;
        for (std::size_t i = section.first + 2; i <= section.last; i += 2)
            marks.push_back(durations[i]);
        int32_t longestSpace = 0;
        for (std::size_t i = section.first + 3; i < section.last; i += 2)
            longestSpace = std::max(longestSpace, durations[i]);
        if (marks.size() < 2)
            continue;
        if (durations[section.first] >= 2 * int64_t{Median(marks)} ||
            (longestSpace > 0 && durations[section.first + 1] >= 2 * int64_t{longestSpace}))
            section.data = section.first + 2;
    }
    return sections;
}

// How many half-bits a mark or space is: 1, 2, or 3 where a double-length bit (RC6's trailer)
// joins a neighbour; 0 if none.
int HalfBitsOf(int32_t value, bool mark, int32_t unit, const Tolerance& tolerance) {
    for (int units = 1; units <= 3; ++units)
        if (mark ? tolerance.FitsMark(value, units * unit)
                 : tolerance.FitsSpace(value, units * unit))
            return units;
    return 0;
}

bool OnGrid(const std::vector<int32_t>& centres, bool mark, int32_t unit,
            const Tolerance& tolerance) {
    return std::all_of(centres.begin(), centres.end(), [&](int32_t centre) {
        return HalfBitsOf(centre, mark, unit, tolerance) > 0;
    });
}

// Bi-phase bits of one section's data: its durations cut into half-bit units, paired in the phase
// that keeps every pair of opposite levels (a first half-bit space may hide before the section, a
// last one after it); two equal pairs of opposite levels are one double-length bit. A 1 is a space
// then a mark, as in RC5 and IEEE 802.3.
std::string BiPhaseBits(std::span<const int32_t> durations, const Section& section, int32_t unit,
                        const Tolerance& tolerance) {
    std::string levels;
    for (std::size_t i = section.data; i <= section.last; ++i) {
        const bool mark = i % 2 == 0;
        const int units = HalfBitsOf(durations[i], mark, unit, tolerance);
        if (units == 0)
            return {};
        levels.append(static_cast<std::size_t>(units), mark ? 'M' : 'S');
    }
    for (const std::string& candidate : {levels, "S" + levels}) {
        const std::string padded = candidate.size() % 2 ? candidate + "S" : candidate;
        std::string bits;
        std::size_t i = 0;
        while (i + 1 < padded.size()) {
            const std::size_t half = padded[i] != padded[i + 1] ? 1 : 2;
            if (half == 2 && (i + 3 >= padded.size() || padded[i + 2] != padded[i + 3] ||
                              padded[i + 2] == padded[i]))
                break;
            bits += padded[i] == 'S' ? '1' : '0';
            i += 2 * half;
        }
        if (i == padded.size())
            return bits;
    }
    return {};
}

std::string Hex(const std::string& bits, bool lsbFirst) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t from = 0; from < bits.size(); from += 8) {
        const std::size_t width = std::min<std::size_t>(8, bits.size() - from);
        unsigned value = 0;
        for (std::size_t i = 0; i < width; ++i)
            if (bits[from + i] == '1')
                value |= 1u << (lsbFirst ? i : width - 1 - i);
        // A short last byte is written with as many digits as its bits need.
        for (std::size_t digit = (width + 3) / 4; digit-- > 0;)
            hex += kDigits[(value >> (4 * digit)) & 15];
    }
    return hex;
}

} // namespace

constexpr std::size_t kMinimumBits = 4;

Generic AnalyseGeneric(std::span<const int32_t> durations, const Tolerance& tolerance) {
    Generic generic;
    generic.encoding = "unknown";
    const std::vector<Section> sections = Sections(durations);
    std::vector<int32_t> marks;
    std::vector<int32_t> spaces;
    for (const Section& section : sections) {
        for (std::size_t i = section.data; i <= section.last; ++i)
            (i % 2 == 0 ? marks : spaces).push_back(durations[i]);
        if (!generic.header && section.data > section.first)
            generic.header = {durations[section.first], durations[section.first + 1]};
    }
    const std::vector<Cluster> markClusters = ClusterOf(marks);
    const std::vector<Cluster> spaceClusters = ClusterOf(spaces);
    generic.markClusters = Centres(markClusters);
    generic.spaceClusters = Centres(spaceClusters);
    const std::vector<int32_t> markLengths = Significant(markClusters, marks.size());
    const std::vector<int32_t> spaceLengths = Significant(spaceClusters, spaces.size());
    if (markLengths.empty() || spaceLengths.empty())
        return generic;

    // Pulse distance: each mark and the space after it make a bit, and the last mark of a section
    // only ends it. Pulse width: each mark is a bit.
    const auto threshold = [](const std::vector<int32_t>& lengths) {
        return (int64_t{lengths.front()} + lengths.back()) / 2;
    };
    if (markLengths.size() == 1 && spaceLengths.size() == 2) {
        generic.encoding = "pulse distance";
        for (const Section& section : sections)
            for (std::size_t i = section.data + 1; i < section.last; i += 2)
                generic.bits += durations[i] > threshold(spaceLengths) ? '1' : '0';
    } else if (markLengths.size() == 2 && spaceLengths.size() == 1) {
        generic.encoding = "pulse width";
        for (const Section& section : sections)
            for (std::size_t i = section.data; i <= section.last; i += 2)
                generic.bits += durations[i] > threshold(markLengths) ? '1' : '0';
    } else {
        // Bi-phase: marks and spaces of one and two half-bits; the lag lengthens the one as much
        // as it shortens the other, so the shortest of each give the half-bit.
        const int32_t unit = (markLengths.front() + spaceLengths.front()) / 2;
        if (markLengths.size() + spaceLengths.size() < 3 || unit <= 0 || unit > kGapUs / 3 ||
            !OnGrid(markLengths, true, unit, tolerance) ||
            !OnGrid(spaceLengths, false, unit, tolerance))
            return generic;
        for (const Section& section : sections) {
            const std::string bits = BiPhaseBits(durations, section, unit, tolerance);
            if (bits.empty())
                return generic;
            generic.bits += bits;
        }
        generic.encoding = "bi-phase";
    }
    // A handful of durations fits any encoding: a reading of so few bits would only mislead.
    if (generic.bits.size() < kMinimumBits) {
        generic.encoding = "unknown";
        generic.bits.clear();
        return generic;
    }
    generic.hexLsb = Hex(generic.bits, true);
    generic.hexMsb = Hex(generic.bits, false);
    return generic;
}

} // namespace analysis::detail
