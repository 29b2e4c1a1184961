#include "tools/irdecode/Report.h"

#include "analysis/Formats.h"

namespace irdecode {
namespace {

const char* RepeatFormName(analysis::RepeatForm form) {
    switch (form) {
    case analysis::RepeatForm::Ditto:
        return "ditto";
    case analysis::RepeatForm::Frame:
        return "frame";
    case analysis::RepeatForm::Toggled:
        return "toggled";
    case analysis::RepeatForm::None:
        break;
    }
    return "none";
}

nlohmann::ordered_json DecodeJson(const analysis::Decode& decode) {
    nlohmann::ordered_json params = nlohmann::ordered_json::object();
    for (const analysis::Param& p : decode.params)
        params[p.name] = p.value;
    return {{"protocol", decode.protocol}, {"params", std::move(params)},
            {"repeats", decode.repeats},   {"repeat_form", RepeatFormName(decode.repeatForm)},
            {"first", decode.first},       {"last", decode.last}};
}

nlohmann::ordered_json GenericJson(const analysis::Generic& generic) {
    nlohmann::ordered_json header = nullptr;
    if (generic.header)
        header = {generic.header->first, generic.header->second};
    return {{"encoding", generic.encoding},
            {"bits", generic.bits},
            {"hex_lsb", generic.hexLsb},
            {"hex_msb", generic.hexMsb},
            {"header", std::move(header)},
            {"mark_clusters", generic.markClusters},
            {"space_clusters", generic.spaceClusters}};
}

} // namespace

nlohmann::ordered_json JsonReport(const Origin& origin, const analysis::Result& result) {
    nlohmann::ordered_json report;
    report["line"] = origin.line;
    if (!origin.file.empty())
        report["file"] = origin.file;
    if (!origin.name.empty())
        report["name"] = origin.name;
    report["decodes"] = nlohmann::ordered_json::array();
    for (const analysis::Decode& decode : result.decodes)
        report["decodes"].push_back(DecodeJson(decode));
    report["analysis"] = GenericJson(result.generic);
    return report;
}

std::vector<std::string> PlainReport(const Origin& origin, const analysis::Result& result,
                                     bool empty) {
    const std::string prefix = origin.name.empty() ? "" : origin.name + ": ";
    std::vector<std::string> lines;
    for (const analysis::Decode& decode : result.decodes)
        lines.push_back(prefix + analysis::formats::DescribeDecode(decode));
    if (lines.empty() && !empty)
        lines.push_back(prefix +
                        "no known protocol: " + analysis::formats::DescribeGeneric(result.generic));
    return lines;
}

} // namespace irdecode
