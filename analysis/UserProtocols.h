#pragma once

// The user's own protocols: a text file with one `Name = IRP` per line and `#` comment lines,
// read at start and whenever the user asks. A protocol with a built-in name replaces the built-in
// one; a bad line is reported with its line and column and skipped, the others still load.
// Loading replaces the previous user protocols as a whole. Standard library only.
//
// Thread safety: loading may run while other threads decode; each decode uses the protocols that
// were current when it started.

#include <string>
#include <string_view>
#include <vector>

namespace analysis {

struct UserProtocolProblem {
    int line = 0;   // 1-based
    int column = 0; // 1-based, in bytes
    std::string message;
};

struct UserProtocolReport {
    std::vector<std::string> loaded;   // names, in file order
    std::vector<std::string> replaced; // of those, the ones that replaced a built-in protocol
    std::vector<UserProtocolProblem> problems;
    // "protocols.irp:3:12: …" per problem, then one line naming what replaced built-ins.
    std::string Describe(std::string_view fileName) const;
};

// Reads the user's protocols from text and makes them current (an empty text: none).
UserProtocolReport LoadUserProtocols(std::string_view text);
// The same from a file; a missing file means no user protocols and is not a problem.
UserProtocolReport LoadUserProtocolFile(const std::string& path);

// $XDG_CONFIG_HOME/dekoder-ir/protocols.irp, or ~/.config/dekoder-ir/protocols.irp when
// XDG_CONFIG_HOME is unset or empty.
std::string DefaultUserProtocolPath();

// What a new user file starts with: comments that explain the format and one commented example.
std::string_view UserProtocolTemplate();

// Every protocol in use with its IRP, built-in and user, in the order ties are broken.
struct ProtocolListing {
    std::string name;
    std::string irp;
    bool user = false;
};
std::vector<ProtocolListing> ListProtocols();

} // namespace analysis
