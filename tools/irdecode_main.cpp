// irdecode: names the protocol of infra-red signals given as durations, renders a protocol's
// nominal durations, and converts between the file formats of other IR tools.

#include "analysis/Analysis.h"
#include "analysis/Formats.h"
#include "analysis/UserProtocols.h"
#include "frame/FrameFile.h"
#include "tools/irdecode/Input.h"
#include "tools/irdecode/Report.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

namespace formats = analysis::formats;

// Bad input or a bad request: the message is printed and the program ends with status 2.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int BadInput = 2;

struct Options {
    bool json = false;
    std::vector<std::string> inputs; // files, or PARAM=VALUE with --render
    std::string frameFile;
    std::string render;
    int repeats = 0;
    std::string from;
    std::string to;
    int carrierHz = 38000;
    std::string protocols;
    bool list = false;
};

// A signal read, with where it came from.
struct Input {
    irdecode::Origin origin;
    formats::Signal signal;
};

std::string SourceName(const std::string& file) {
    return file.empty() ? "standard input" : file;
}

std::string ReadWhole(const std::string& file) {
    if (file.empty() || file == "-")
        return {std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    // A folder opens as a stream that reads as empty.
    std::error_code error;
    if (std::filesystem::is_directory(file, error))
        throw Failure(file + ": is a folder, not a file");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Failure(file + ": cannot be opened");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw Failure(file + ": cannot be read");
    return bytes.str();
}

// Every line of the files (standard input when none) as a signal.
std::vector<Input> ReadLines(const Options& options) {
    std::vector<std::string> files = options.inputs;
    if (files.empty())
        files.push_back("-");
    std::vector<Input> inputs;
    for (const std::string& given : files) {
        const std::string file = given == "-" ? "" : given;
        std::istringstream text(ReadWhole(file));
        std::string line;
        for (int number = 1; std::getline(text, line); ++number) {
            try {
                Input input{{number, file, {}}, {}};
                input.signal.durations = irdecode::ParseSignalLine(line);
                input.signal.carrierHz = options.carrierHz;
                inputs.push_back(std::move(input));
            } catch (const irdecode::InputError& e) {
                throw Failure(SourceName(file) + ": line " + std::to_string(number) + ": " +
                              e.what());
            }
        }
    }
    return inputs;
}

std::vector<Input> ReadFrameFile(const Options& options) {
    std::optional<frame::LoadedFrame> loaded;
    try {
        loaded = frame::ReadFrameFile(options.frameFile);
    } catch (const frame::FileError& e) {
        throw Failure(e.what());
    }
    if (!loaded)
        throw Failure(options.frameFile + ": not a frame file");
    Input input{{2, options.frameFile, {}}, {}};
    for (const int32_t d : loaded->Durations)
        input.signal.durations.push_back(analysis::Magnitude(d));
    input.signal.carrierHz = options.carrierHz;
    return {input};
}

std::vector<Input> ReadFormat(const Options& options) {
    if (options.inputs.size() != 1)
        throw Failure("--from reads exactly one FILE");
    const std::string file = options.inputs.front() == "-" ? "" : options.inputs.front();
    try {
        std::vector<Input> inputs;
        for (formats::Signal& signal :
             formats::Read(*formats::FormatFromName(options.from), ReadWhole(file)))
            inputs.push_back({{signal.line, file, signal.name}, std::move(signal)});
        return inputs;
    } catch (const formats::FormatError& e) {
        throw Failure(SourceName(file) + ": " + e.what());
    }
}

std::vector<Input> ReadInputs(const Options& options) {
    if (!options.frameFile.empty())
        return ReadFrameFile(options);
    if (!options.from.empty())
        return ReadFormat(options);
    return ReadLines(options);
}

void Decode(const Options& options, const std::vector<Input>& inputs) {
    for (const Input& input : inputs) {
        const analysis::Result result = analysis::Analyse(input.signal.durations);
        if (options.json) {
            // Names read from files may hold bytes that are not UTF-8: those are replaced.
            std::cout << irdecode::JsonReport(input.origin, result)
                             .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                      << '\n';
            continue;
        }
        for (const std::string& line :
             irdecode::PlainReport(input.origin, result, input.signal.durations.empty()))
            std::cout << line << '\n';
    }
}

void Convert(const Options& options, const std::vector<Input>& inputs) {
    std::vector<formats::Signal> signals;
    for (const Input& input : inputs)
        if (!input.signal.durations.empty())
            signals.push_back(input.signal);
    try {
        std::cout << formats::Write(*formats::FormatFromName(options.to), signals);
    } catch (const formats::FormatError& e) {
        throw Failure(e.what());
    }
}

int64_t ParamValue(const std::string& text) {
    int64_t value = 0;
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (first == last || error != std::errc{} || end != last)
        throw Failure("\"" + text + "\" is not a number");
    return value;
}

void RenderProtocol(const Options& options) {
    std::vector<analysis::Param> params;
    for (const std::string& given : options.inputs) {
        const auto equals = given.find('=');
        if (equals == std::string::npos || equals == 0)
            throw Failure("expected PARAM=VALUE, found \"" + given + "\"");
        params.push_back({given.substr(0, equals), ParamValue(given.substr(equals + 1))});
    }
    std::string error;
    const auto durations = analysis::Render(options.render, params, options.repeats, &error);
    if (!durations)
        throw Failure(error);
    std::string line;
    for (const int32_t d : *durations)
        line += (line.empty() ? "" : ",") + std::to_string(d);
    std::cout << line << '\n';
}

// The user's protocols from FILE: bad lines are reported and skipped, the rest are used.
void LoadProtocols(const std::string& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        throw Failure(file + ": cannot be opened");
    const analysis::UserProtocolReport report = analysis::LoadUserProtocolFile(file);
    std::cerr << report.Describe(file);
}

// Every protocol as a line of the user protocol file would give it.
void ListProtocols() {
    for (const analysis::ProtocolListing& p : analysis::ListProtocols())
        std::cout << p.name << " = " << p.irp << '\n';
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Names the protocol of infra-red signals, one per line of durations in µs "
                 "(commas and/or blanks, first a mark; device frame lines accepted), renders "
                 "protocols and converts IR file formats.",
                 "irdecode"};
    Options options;
    app.add_flag("--json", options.json, "One JSON object per signal, one per line");
    auto* frameFile =
        app.add_option("--frame-file", options.frameFile, "Decode the program's frame file");
    auto* render = app.add_option("--render", options.render,
                                  "Print a protocol's durations: --render NEC1 D=4 F=8");
    auto* repeats = app.add_option("--repeats", options.repeats, "Repeats to render")
                        ->check(CLI::Range(0, 1000));
    auto* from = app.add_option("--from", options.from, "Read FILE in this format")
                     ->check(CLI::IsMember({"flipper", "pronto", "mode2", "lirc"}));
    auto* to = app.add_option("--to", options.to, "Write the signals read in this format")
                   ->check(CLI::IsMember({"flipper", "pronto", "mode2", "lirc", "irremote"}));
    app.add_option("--carrier", options.carrierHz,
                   "Carrier in Hz of signals read as durations (for --to)")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--protocols", options.protocols,
                   "Also use the protocols of this file (one 'Name = IRP' per line)");
    app.add_flag("--list", options.list, "Print every protocol with its IRP");
    app.add_option("FILE", options.inputs,
                   "Files of signals ('-' or none: standard input); PARAM=VALUE with --render");
    repeats->needs(render);
    render->excludes(frameFile)->excludes(from)->excludes(to);
    frameFile->excludes(from);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return BadInput;
    }
    try {
        if (!options.frameFile.empty() && !options.inputs.empty())
            throw Failure("--frame-file takes no other FILE");
        if (!options.protocols.empty())
            LoadProtocols(options.protocols);
        if (options.list) {
            ListProtocols();
            return 0;
        }
        if (!options.render.empty()) {
            RenderProtocol(options);
            return 0;
        }
        const std::vector<Input> inputs = ReadInputs(options);
        if (!options.to.empty())
            Convert(options, inputs);
        else
            Decode(options, inputs);
    } catch (const Failure& e) {
        std::cout.flush();
        std::cerr << "irdecode: " << e.what() << '\n';
        return BadInput;
    }
    return 0;
}
