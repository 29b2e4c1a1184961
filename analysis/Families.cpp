#include "analysis/Family.h"

// Placeholder until the family lands: it lists no protocol and decodes nothing.
namespace analysis::detail {

const Family& PulseFamily() {
    static const Family family;
    return family;
}

} // namespace analysis::detail
