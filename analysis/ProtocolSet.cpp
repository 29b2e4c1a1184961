#include "analysis/ProtocolSet.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace analysis::detail {

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::optional<int64_t> Number(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool IsName(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// The public description of a parameter spec: a number default, or a default that is another
// parameter (XOR a mask: "255-D" over 0..255 is D XOR 255). Other default expressions are left
// to the engine.
ParamInfo InfoOf(const irp::ParamSpec& spec) {
    ParamInfo info{spec.name, spec.min, spec.max, std::nullopt, {}, std::nullopt};
    const std::string_view text = Trimmed(spec.defaultText);
    if (const auto value = Number(text)) {
        info.defaultValue = value;
    } else if (IsName(text)) {
        info.derivedDefault = ParamInfo::Derived{std::string(text), 0};
    } else if (const auto minus = text.find('-'); minus != std::string_view::npos) {
        const auto mask = Number(Trimmed(text.substr(0, minus)));
        const std::string_view from = Trimmed(text.substr(minus + 1));
        if (mask && IsName(from) && ((*mask + 1) & *mask) == 0 && spec.max <= *mask)
            info.derivedDefault = ParamInfo::Derived{std::string(from), *mask};
    }
    return info;
}

// A row's condition as a protocol of one bit: a one's space is three units, a zero's one.
std::shared_ptr<const irp::Protocol> CompileCondition(std::string_view when,
                                                      const irp::Protocol& protocol) {
    std::string text = "{0k,1}<1,-1|1,-3>(1,-1,(" + std::string(when) + "):1,1,-1)[";
    for (const irp::ParamSpec& spec : protocol.Params())
        text += spec.name + ":" + std::to_string(spec.min) + ".." + std::to_string(spec.max) + ",";
    text.back() = ']';
    auto compiled = irp::Protocol::Compile(text);
    if (auto* ok = std::get_if<std::shared_ptr<const irp::Protocol>>(&compiled))
        return *ok;
    return nullptr;
}

struct Source {
    std::string name;
    std::string irp;
    std::string loneName;
    std::string preferredOver;
    Robustness robustness = Robustness::Moderate;
    std::string when;
    bool user = false;
};

std::optional<CompiledRow> Compiled(const Source& source, irp::ParseError* error = nullptr) {
    auto compiled = irp::Protocol::Compile(source.irp);
    if (auto* problem = std::get_if<irp::ParseError>(&compiled)) {
        if (error)
            *error = *problem;
        return std::nullopt;
    }
    CompiledRow row;
    row.name = source.name;
    row.irp = source.irp;
    row.loneName = source.loneName;
    row.preferredOver = Words(source.preferredOver);
    row.robustness = source.robustness;
    row.protocol = std::get<std::shared_ptr<const irp::Protocol>>(compiled);
    row.user = source.user;
    if (!source.when.empty()) {
        row.when = CompileCondition(source.when, *row.protocol);
        if (!row.when) {
            if (error)
                *error = {0, "the row's condition does not compile"};
            return std::nullopt;
        }
    }
    // Inside a frame every space is well below the frame's own lead-out; half of it tells a
    // frame's start from its middle while allowing for the shorter gap of an extent's longest
    // frame.
    row.minGapBeforeUs = row.protocol->LeadOutUs() / 2;
    return row;
}

std::shared_ptr<const ProtocolSet> Build(const std::vector<Source>& user) {
    std::vector<Source> sources;
    for (const ProtocolRow& row : BuiltInProtocols())
        sources.push_back({std::string(row.name), std::string(row.irp), std::string(row.loneName),
                           std::string(row.preferredOver), row.robustness, std::string(row.when),
                           false});
    for (const Source& mine : user) {
        // A user protocol takes the place of the built-in rows of its name (the first of them),
        // and a lone name it takes over stops being one.
        const auto same = [&](const Source& s) { return !s.user && SameName(s.name, mine.name); };
        const auto at = std::find_if(sources.begin(), sources.end(), same);
        for (Source& s : sources)
            if (SameName(s.loneName, mine.name))
                s.loneName.clear();
        if (at == sources.end()) {
            sources.push_back(mine);
            continue;
        }
        *at = mine;
        sources.erase(std::remove_if(at + 1, sources.end(), same), sources.end());
    }

    auto set = std::make_shared<ProtocolSet>();
    for (const Source& source : sources) {
        set->loneNames.emplace_back(source.name, source.loneName);
        for (std::string& loser : Words(source.preferredOver))
            set->preferences.emplace_back(source.name, std::move(loser));
        if (auto row = Compiled(source))
            set->rows.push_back(std::move(*row));
    }

    const auto addInfo = [&](const std::string& name, const CompiledRow& row) {
        if (set->Info(name))
            return;
        ProtocolInfo info{name, row.protocol->CarrierHz(), {}};
        for (const irp::ParamSpec& spec : row.protocol->Params())
            info.params.push_back(InfoOf(spec));
        set->infos.push_back(std::move(info));
        set->renders.push_back(row.name);
    };
    for (const CompiledRow& row : set->rows) {
        addInfo(row.name, row);
        if (!row.loneName.empty())
            addInfo(row.loneName, row);
    }
    // A small parameter whose values the row's condition narrows lists the allowed ones (Apple's
    // device code), so encoders offer only those.
    for (std::size_t i = 0; i < set->infos.size(); ++i) {
        const CompiledRow* row = set->Renderer(set->infos[i].name);
        if (!row->when)
            continue;
        for (ParamInfo& p : set->infos[i].params) {
            if (p.max - p.min > 64)
                continue;
            std::vector<Param> values;
            for (const ParamInfo& other : set->infos[i].params)
                values.push_back({other.name, other.defaultValue.value_or(other.min)});
            const auto self = std::find_if(values.begin(), values.end(),
                                           [&](const Param& v) { return v.name == p.name; });
            for (int64_t v = p.min; v <= p.max; ++v) {
                self->value = v;
                if (set->Holds(*row, values))
                    p.choices.push_back(v);
            }
            if (p.choices.size() == static_cast<std::size_t>(p.max - p.min + 1))
                p.choices.clear();
            else if (p.defaultValue)
                std::stable_partition(p.choices.begin(), p.choices.end(),
                                      [&](int64_t v) { return v == *p.defaultValue; });
        }
    }
    return set;
}

// Every set ever made current stays alive: Protocols() hands out references into one.
std::mutex gLock;
std::vector<std::shared_ptr<const ProtocolSet>>& History() {
    static std::vector<std::shared_ptr<const ProtocolSet>> sets{Build({})};
    return sets;
}

} // namespace

bool ProtocolSet::Holds(const CompiledRow& row, const std::vector<Param>& params) const {
    if (!row.when)
        return true;
    const auto durations = row.when->Render(params, 0);
    return durations && durations->size() > 3 && (*durations)[3] > 2;
}

const CompiledRow* ProtocolSet::Renderer(std::string_view name) const {
    for (std::size_t i = 0; i < infos.size(); ++i)
        if (SameName(infos[i].name, name))
            for (const CompiledRow& row : rows)
                if (row.name == renders[i])
                    return &row;
    return nullptr;
}

const ProtocolInfo* ProtocolSet::Info(std::string_view name) const {
    for (const ProtocolInfo& info : infos)
        if (SameName(info.name, name))
            return &info;
    return nullptr;
}

std::shared_ptr<const ProtocolSet> CurrentProtocols() {
    const std::lock_guard lock(gLock);
    return History().back();
}

} // namespace analysis::detail

namespace analysis {

std::string UserProtocolReport::Describe(std::string_view fileName) const {
    std::string text;
    for (const UserProtocolProblem& p : problems)
        text += std::string(fileName) + ":" + std::to_string(p.line) + ":" +
                std::to_string(p.column) + ": " + p.message + "\n";
    if (!replaced.empty()) {
        text += "Replaced built-in protocols:";
        for (const std::string& name : replaced)
            text += " " + name;
        text += "\n";
    }
    return text;
}

UserProtocolReport LoadUserProtocols(std::string_view text) {
    using namespace detail;
    UserProtocolReport report;
    std::vector<Source> user;
    int number = 0;
    while (!text.empty() || number == 0) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string_view content = Trimmed(line);
        if (content.empty() || content.front() == '#') {
            if (text.empty())
                break;
            continue;
        }
        const auto column = [&](std::string_view at) {
            return static_cast<int>(at.data() - line.data()) + 1;
        };
        const std::size_t equals = content.find('=');
        const std::string_view name = Trimmed(content.substr(0, std::min(equals, content.size())));
        if (equals == std::string_view::npos) {
            report.problems.push_back({number, column(content), "expected \"Name = IRP\""});
        } else if (name.empty()) {
            report.problems.push_back({number, column(content), "the protocol has no name"});
        } else {
            const std::string_view irpText = Trimmed(content.substr(equals + 1));
            // The user wrote it for their own signals: it wins against the built-in readings.
            Source source{
                std::string(name), std::string(irpText), {}, {}, Robustness::Robust, {}, true};
            irp::ParseError error;
            if (irpText.empty()) {
                report.problems.push_back(
                    {number, column(content.substr(equals)) + 1, "the IRP text is missing"});
            } else if (!Compiled(source, &error)) {
                report.problems.push_back(
                    {number,
                     column(irpText) + static_cast<int>(std::min(error.position, irpText.size())),
                     error.message});
            } else if (std::any_of(user.begin(), user.end(),
                                   [&](const Source& s) { return SameName(s.name, name); })) {
                report.problems.push_back(
                    {number, column(name), "\"" + std::string(name) + "\" is defined twice"});
            } else {
                report.loaded.push_back(source.name);
                if (std::any_of(BuiltInProtocols().begin(), BuiltInProtocols().end(),
                                [&](const ProtocolRow& row) { return SameName(row.name, name); }))
                    report.replaced.push_back(source.name);
                user.push_back(std::move(source));
            }
        }
        if (text.empty())
            break;
    }
    // Nothing to change (no user protocols before or now): keep the current set.
    const auto current = CurrentProtocols();
    if (user.empty() && std::none_of(current->rows.begin(), current->rows.end(),
                                     [](const CompiledRow& row) { return row.user; }))
        return report;
    auto set = Build(user);
    const std::lock_guard lock(gLock);
    History().push_back(std::move(set));
    return report;
}

UserProtocolReport LoadUserProtocolFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return LoadUserProtocols({});
    std::ostringstream text;
    text << in.rdbuf();
    return LoadUserProtocols(text.str());
}

std::string DefaultUserProtocolPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && *config) {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : ".") + "/.config";
    }
    return base + "/dekoder-ir/protocols.irp";
}

std::string_view UserProtocolTemplate() {
    return "# Your own infra-red protocols, one per line: Name = IRP\n"
           "# A protocol with the name of a built-in one replaces it. Lines starting with # are\n"
           "# comments. The notation: {carrier,unit,bit order}<zero|one>(stream)[parameters],\n"
           "# for example:\n"
           "#\n"
           "# MyNEC = {38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m)*[D:0..255,S:0..255,"
           "F:0..255]\n";
}

std::string LoneName(std::string_view protocol) {
    for (const auto& [name, lone] : detail::CurrentProtocols()->loneNames)
        if (detail::SameName(name, protocol) && !lone.empty())
            return lone;
    return std::string(protocol);
}

std::vector<std::string> LoneNameMembers(std::string_view name) {
    std::vector<std::string> members;
    for (const auto& [member, lone] : detail::CurrentProtocols()->loneNames)
        if (detail::SameName(lone, name) &&
            std::find(members.begin(), members.end(), member) == members.end())
            members.push_back(member);
    if (members.empty())
        members.emplace_back(name);
    return members;
}

bool PreferredOver(std::string_view winner, std::string_view loser) {
    const auto set = detail::CurrentProtocols();
    return std::any_of(set->preferences.begin(), set->preferences.end(), [&](const auto& p) {
        return detail::SameName(p.first, winner) && detail::SameName(p.second, loser);
    });
}

std::string NameForRepeats(std::string_view name, RepeatForm held) {
    for (const detail::CompiledRow& row : detail::CurrentProtocols()->rows)
        if (detail::SameName(row.loneName, name) && row.protocol->HeldForm() == held)
            return row.name;
    return std::string(name);
}

std::vector<ProtocolListing> ListProtocols() {
    std::vector<ProtocolListing> list;
    for (const detail::CompiledRow& row : detail::CurrentProtocols()->rows)
        if (std::none_of(list.begin(), list.end(),
                         [&](const ProtocolListing& l) { return l.name == row.name; }))
            list.push_back({row.name, row.irp, row.user});
    return list;
}

} // namespace analysis
