// The lines Arduino IRremote users paste into a sketch: the durations as a uint16_t table with the
// decode as a comment, and the call that sends them.

#include "analysis/formats/Text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace analysis::formats::detail {
namespace {

std::string Comment(const Durations& durations) {
    const Result result = Analyse(durations);
    std::string text;
    for (const Decode& decode : result.decodes)
        text += (text.empty() ? "" : "; ") + DescribeDecode(decode);
    if (text.empty())
        text = "no known protocol: " + DescribeGeneric(result.generic);
    return text;
}

} // namespace

std::string WriteIrRemote(std::span<const Signal> signals) {
    RequireOne(signals, "an IRremote sketch");
    const Signal& signal = signals.front();
    const Durations durations = WritableDurations(signal, 0);
    if (*std::max_element(durations.begin(), durations.end()) >
        std::numeric_limits<uint16_t>::max())
        throw FormatError("signal 1 holds a duration over 65535 µs, which IRremote's "
                          "uint16_t table cannot hold");
    const long kHz = std::max(1L, std::lround(signal.carrierHz / 1000.0));
    const std::string count = std::to_string(durations.size());
    std::string text = "// ";
    if (!signal.name.empty())
        text += WritableName(signal, 0) + ": ";
    text += Comment(durations) + "\nconst uint16_t rawData[" + count + "] = {";
    for (std::size_t i = 0; i < durations.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(durations[i]);
    text += "};\nIrSender.sendRaw(rawData, " + count + ", " + std::to_string(kHz) + ");\n";
    return text;
}

} // namespace analysis::formats::detail
