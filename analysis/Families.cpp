#include "analysis/Family.h"

// Placeholders until the families land: each lists no protocol and decodes nothing.
namespace analysis::detail {

const Family& BiPhaseFamily() {
    static const Family family;
    return family;
}
const Family& MultiLevelFamily() {
    static const Family family;
    return family;
}
Generic AnalyseGeneric(std::span<const int32_t>, const Tolerance&) {
    Generic generic;
    generic.encoding = "unknown";
    return generic;
}

} // namespace analysis::detail
