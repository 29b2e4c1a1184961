#pragma once

// The protocols in use (internal to analysis/): the built-in table compiled once, with the user's
// own protocols merged in. A set never changes once built; loading a user file builds a new one
// and makes it current, so a decode running meanwhile finishes with the set it started with.

#include "analysis/Analysis.h"
#include "analysis/ProtocolTable.h"
#include "analysis/UserProtocols.h"
#include "analysis/irp/Irp.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace analysis::detail {

struct CompiledRow {
    std::string name;
    std::string irp;
    std::string loneName;
    std::vector<std::string> preferredOver;
    Robustness robustness = Robustness::Moderate;
    std::shared_ptr<const irp::Protocol> protocol;
    // The row's condition compiled as a one-bit protocol over the same parameters; null: none.
    std::shared_ptr<const irp::Protocol> when;
    bool user = false;
    // Where the frame may start: after a gap of at least this many microseconds (or at the
    // signal's start).
    int64_t minGapBeforeUs = 0;
};

struct ProtocolSet {
    std::vector<CompiledRow> rows;    // in the order ties are broken
    std::vector<ProtocolInfo> infos;  // one per name, lone names included
    std::vector<std::string> renders; // per info: the row name that renders it
    // Every row's name and lone name as the table and the user's file give them.
    std::vector<std::pair<std::string, std::string>> loneNames;
    // (winner, loser) for every name a row is preferred over.
    std::vector<std::pair<std::string, std::string>> preferences;

    // Whether the row's condition holds for these (complete) parameters.
    bool Holds(const CompiledRow& row, const std::vector<Param>& params) const;
    // The row that renders a name (a row's own or a lone name), case-insensitive; null if none.
    const CompiledRow* Renderer(std::string_view name) const;
    const ProtocolInfo* Info(std::string_view name) const;
};

// The set in use now; never null.
std::shared_ptr<const ProtocolSet> CurrentProtocols();

bool SameName(std::string_view a, std::string_view b);

} // namespace analysis::detail
