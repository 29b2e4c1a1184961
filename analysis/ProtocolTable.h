#pragma once

// Every protocol the analysis knows, as data (internal to analysis/): one row per protocol with its
// IRP string and the few facts the notation cannot say. The IRP engine compiles each row once;
// decoding, rendering, the parameter lists and the repeat forms all come from the compiled row.
//
// How to add a protocol: append a row to the table in ProtocolTable.cpp with the name the public
// IRP database uses, its IRP string copied from a public source (say which in the comment above
// it), and the columns below where they are not the defaults. The round-trip test renders and
// decodes every row by itself; nothing else needs to change. A user can do the same without
// building: one `Name = IRP` line in the user protocol file (UserProtocols.h).

#include <span>
#include <string_view>

namespace analysis::detail {

// How far a decode can be trusted; where two candidates cover the same frame the higher wins, then
// the one covering more durations.
enum class Robustness { Weak = 0, Moderate = 1, Robust = 2 };

struct ProtocolRow {
    std::string_view name; // as the public IRP database names it
    std::string_view irp;  // the protocol in IRP notation, parameter specs included
    // The name of a decode no repeat follows, where a lone frame cannot show which of several rows
    // sent it (a lone NEC1 or NEC2 frame is "NEC"). Empty: the row's own name.
    std::string_view loneName = {};
    // Names, separated by blanks, this row wins against when both decode the same durations: rows
    // that differ only in carrier, in what a held key sends, or that are a special case of another.
    std::string_view preferredOver = {};
    // Weak: no lead and no check, spurious decodes likely. Moderate: a lead or a fixed grid but no
    // check. Robust: a check (complements, a checksum or parity).
    Robustness robustness = Robustness::Moderate;
    // An IRP expression over the parameters that must be non-zero for this row to name a decode or
    // render (Pioneer's device codes, Apple's two device values). Empty: always.
    std::string_view when = {};
};

// The built-in rows, in the order ties are broken: where two rows decode the same stretch equally
// well, the earlier one names it. Several rows with one name are published readings of the same
// protocol that disagree; the first renders, every one decodes.
std::span<const ProtocolRow> BuiltInProtocols();

} // namespace analysis::detail
