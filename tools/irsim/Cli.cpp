#include "tools/irsim/Cli.h"

#include "tools/irsim/FlipperSim.h"

#include <charconv>
#include <sstream>

namespace irsim {
namespace {

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

// The rest of the line after the first word, blanks trimmed.
std::string_view Rest(std::string_view line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    line.remove_prefix(first);
    const auto space = line.find_first_of(" \t");
    if (space == std::string_view::npos)
        return {};
    line.remove_prefix(space);
    const auto start = line.find_first_not_of(" \t");
    const auto end = line.find_last_not_of(" \t\r");
    if (start == std::string_view::npos)
        return {};
    return line.substr(start, end - start + 1);
}

std::optional<bool> OnOff(std::string_view word) {
    if (word == "on" || word == "1")
        return true;
    if (word == "off" || word == "0")
        return false;
    return std::nullopt;
}

ConsoleResult Fail(std::string message) {
    return {false, false, std::move(message)};
}
ConsoleResult Done(std::string message = {}) {
    return {true, false, std::move(message)};
}

std::string Status(const Simulator& simulator) {
    std::ostringstream text;
    text << "terminal " << (simulator.IsHungUp() ? "(hung up)" : simulator.SlavePath());
    if (!simulator.LinkPath().empty())
        text << ", link " << simulator.LinkPath();
    text << "; " << simulator.ReceivedBytes().size() << " bytes, " << simulator.Commands().size()
         << " commands, " << simulator.EmptyCommands() << " empty, " << simulator.Emitted().size()
         << " emitted";
    return text.str();
}

// "nec1 4 8", "nec1 D=4 S=251 F=8 R=3": D, F and T in order, or any parameter by its IRP name
// (R: repeats; M and N: a Kaseikyo OEM pair).
ConsoleResult ReadIrpCode(const std::vector<std::string_view>& words, RemoteCode& code) {
    const std::string_view verb = words[0];
    bool haveD = false, haveF = false;
    std::optional<uint32_t> m, n;
    std::size_t position = 0;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string_view key;
        std::string_view text = words[i];
        if (const auto eq = text.find('='); eq != std::string_view::npos) {
            key = text.substr(0, eq);
            text.remove_prefix(eq + 1);
        } else {
            static constexpr std::string_view Positions[] = {"D", "F", "T"};
            if (position >= std::size(Positions))
                return Fail(std::string(verb) + ": too many values");
            key = Positions[position++];
        }
        const auto value = ParseNumber(text);
        if (!value)
            return Fail(std::string(verb) + ": " + std::string(words[i]) + " is not a number");
        if (key == "D") {
            code.address = *value;
            haveD = true;
        } else if (key == "F") {
            code.command = *value;
            haveF = true;
        } else if (key == "T") {
            if (*value > 1)
                return Fail("the toggle bit is 0 or 1");
            code.toggle = *value == 1;
        } else if (key == "S") {
            code.subdevice = *value;
        } else if (key == "E" || key == "X" || key == "PairID") {
            code.extra = *value;
        } else if (key == "R") {
            if (*value > 100)
                return Fail("R (repeats) is 0 to 100");
            code.repeats = int(*value);
        } else if (key == "M" || key == "N") {
            (key == "M" ? m : n) = *value & 0xFF;
        } else {
            return Fail(std::string(verb) + ": unknown parameter " + std::string(key));
        }
    }
    if (!haveD || !haveF)
        return Fail(std::string(verb) + " needs D and F");
    if (m || n)
        code.oem = uint16_t(m.value_or(0) | n.value_or(0) << 8);
    return Done();
}

} // namespace

std::optional<uint32_t> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return std::nullopt;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string HelpText() {
    return R"(Usage: irsim [OPTIONS]

Plays the infra-red receiver/transmitter device on a pseudo-terminal. Prints the terminal's path
on the first line of its output; open it (or the --link path) as the serial port.

Options:
  --link PATH       make PATH a symbolic link to the terminal (removed on exit)
  --demo            a varied frame every 3000 ms (unless --every is given), loop-back on
  --every MS        send a varied captured frame every MS milliseconds
  --loopback        what the device is asked to emit comes back as a captured frame line
  --silent          never answer commands
  --crc             commands must be framed as "$#" sum "@" command
  --address N       bus address (0..254, not 13): every command starts with an address byte;
                    other addresses are ignored, 255 is executed but not answered
  --ident TEXT      identification text after "+ATI: " (default "irsim IR transceiver 1.0")
  --seed N          seed of the random codes and the jitter (default 1)
  --jitter US       noise of captured durations, +-US microseconds (default 50; 0: exact)
  --stretch US      receiver lag: added to marks, taken from spaces (default 40)
  --every-remote    random and periodic frames come from every remote below (by default only
                    from nec ... rc6 and necrep)
  --exit-on-eof     end when standard input ends (by default it keeps running)
  --quiet           print only the terminal's path and errors
  --flipper         play a Flipper Zero's USB command line instead (see below); --link,
                    --every, --seed, --jitter, --stretch and --quiet apply
  --help            show this text

Device protocol (commands end with CR; empty commands are ignored; replies end with CR LF):
  AT                "OK"
  ATI               "+ATI: " and the identification text
  AT+SND=p,d        keep duration d as pulse p (1..301); "OK"
  AT+SND=0,n        emit pulses 1..n (each must have come since the last emission); "OK"
  ab1               emit the last captured code; "OK", or "ERROR" when there is none
  anything else     "ERROR" (also a wrong checksum or a command longer than 4096 bytes)

Commands on standard input:
  nec A C | samsung A C | jvc A C | panasonic A C | sirc12 A C | sirc15 A C | sirc20 A C
  rc5 A C [T] | rc6 A C [T]    send that remote's frame (A address, C command, T toggle 0/1;
                               numbers decimal or 0x hex)
  necrep            send the NEC repeat code
  NAME D F [T] [KEY=N ...]     send a frame of one of these remotes, parameters by their IRP
                               names (D, S, F, T, E, X, PairID, M, N) and R repeats:
    nec1 (dittos)  nec2  necf16 (E)  necx  apple (PairID)  pioneer  aiwa  samsung36 (E)
    rc5x20  rc6-6-20  mce  jvcheld (bare repeats)  sharp  denon  jvc48  denonk  fujitsu (E)
    sharpdvd (E)  kaseikyo (M, N, E)  mitsubishi  rca  thomson7  recs80  grundig16  nokia32 (X)
    e.g. "nec1 D=4 F=8 R=3"; S defaults to ~D (NEC), D (necx), 135 (apple), 15 (mce), else 0
  random            send a random remote's frame
  raw D,D,...       send a frame line with these durations (microseconds)
  line TEXT         send TEXT and CR LF
  garbage N         send N random bytes
  split N MS        split every line sent from now into N pieces MS ms apart ("split off")
  long [BYTES]      send a line of BYTES (default 1048576) bytes without CR LF
  flood N           send N frame lines of 301 pulses as fast as the terminal takes them
  silent on|off     stop or resume answering commands
  loopback on|off   loop-back mode
  every MS|off      periodic frames
  hangup            the device vanishes (the terminal is closed)
  replug            the device comes back on a new terminal (the link follows)
  status            what was received so far
  help              this text
  quit              end (so do SIGINT and SIGTERM)

With --flipper, the terminal speaks as the Flipper Zero's CLI: a banner and the prompt ">: ",
typed text echoed; "info device"; "ir rx raw" prints each capture as "RAW, N samples:" and a line
of N durations until Ctrl+C; "ir tx RAW F:<10000..56000> DC:<0..100> <at most 512 durations>".
Commands on standard input then:
  random            a random remote's capture (while the receiver runs)
  raw D,D,...       a capture of these durations
  decoded TEXT      a decoder's line such as "NEC, A:0x04, C:0x08"
  busy on|off       the Flipper's Infrared application holds the receiver ("INFRARED is busy")
  every MS|off      periodic captures
  hangup            the Flipper is unplugged
  status, help, quit
)";
}

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
    ParsedArguments parsed;
    CliOptions options;
    bool demo = false;
    bool everyGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i];
        };
        const auto number = [&]() -> std::optional<uint32_t> {
            const auto text = value();
            return text ? ParseNumber(*text) : std::nullopt;
        };
        if (name == "--help" || name == "-h") {
            parsed.help = true;
            return parsed;
        } else if (name == "--demo") {
            demo = true;
        } else if (name == "--loopback") {
            options.simulator.loopback = true;
        } else if (name == "--silent") {
            options.simulator.silent = true;
        } else if (name == "--crc") {
            options.simulator.requireChecksum = true;
        } else if (name == "--every-remote") {
            options.simulator.everyRemote = true;
        } else if (name == "--exit-on-eof") {
            options.exitOnEof = true;
        } else if (name == "--quiet") {
            options.quiet = true;
        } else if (name == "--flipper") {
            options.flipper = true;
        } else if (name == "--link") {
            const auto text = value();
            if (!text || text->empty()) {
                parsed.error = "--link needs a path";
                return parsed;
            }
            options.simulator.linkPath = *text;
        } else if (name == "--ident") {
            const auto text = value();
            if (!text) {
                parsed.error = "--ident needs a text";
                return parsed;
            }
            options.simulator.identification = *text;
        } else if (name == "--every") {
            const auto ms = number();
            if (!ms) {
                parsed.error = "--every needs a number of milliseconds";
                return parsed;
            }
            options.simulator.every = milliseconds(*ms);
            everyGiven = true;
        } else if (name == "--address") {
            const auto address = number();
            if (!address || *address > 254 || *address == 13) {
                parsed.error = "--address needs a number from 0 to 254, other than 13";
                return parsed;
            }
            options.simulator.busAddress = uint8_t(*address);
        } else if (name == "--seed") {
            const auto seed = number();
            if (!seed) {
                parsed.error = "--seed needs a number";
                return parsed;
            }
            options.simulator.seed = *seed;
        } else if (name == "--jitter" || name == "--stretch") {
            const auto us = number();
            if (!us || *us > 100000) {
                parsed.error = name + " needs a number of microseconds";
                return parsed;
            }
            (name == "--jitter" ? options.simulator.jitter.spreadUs
                                : options.simulator.jitter.markStretchUs) = int(*us);
        } else {
            parsed.error = "unknown option " + name;
            return parsed;
        }
    }
    if (demo) {
        options.simulator.loopback = true;
        if (!everyGiven)
            options.simulator.every = milliseconds(3000);
    }
    parsed.options = std::move(options);
    return parsed;
}

ConsoleResult RunConsoleCommand(Simulator& simulator, std::string_view line) {
    const auto words = Words(line);
    if (words.empty() || words[0].front() == '#')
        return Done();
    const std::string_view verb = words[0];
    const auto argument = [&](std::size_t i) -> std::optional<uint32_t> {
        return i < words.size() ? ParseNumber(words[i]) : std::nullopt;
    };

    if (const auto remote = RemoteFromName(verb)) {
        RemoteCode code;
        code.remote = *remote;
        if (TakesIrpParameters(*remote)) {
            if (ConsoleResult read = ReadIrpCode(words, code); !read.ok)
                return read;
        } else if (*remote != Remote::NecRepeat) {
            const auto address = argument(1);
            const auto command = argument(2);
            if (!address || !command)
                return Fail(std::string(verb) + " needs an address and a command");
            code.address = *address;
            code.command = *command;
            if (words.size() > 3) {
                const auto toggle = argument(3);
                if (!toggle || *toggle > 1)
                    return Fail("the toggle bit is 0 or 1");
                code.toggle = *toggle == 1;
            }
        }
        simulator.SendRemote(code);
        return Done();
    }
    if (verb == "random") {
        simulator.SendRandomFrame();
        return Done();
    }
    if (verb == "raw") {
        const auto durations = ParseDurationList(Rest(line));
        if (!durations || durations->empty())
            return Fail("raw needs durations like 9000,4500,560");
        simulator.SendFrame(*durations);
        return Done();
    }
    if (verb == "line") {
        simulator.SendLine(Rest(line));
        return Done();
    }
    if (verb == "garbage") {
        const auto count = argument(1);
        if (!count)
            return Fail("garbage needs a byte count");
        simulator.SendGarbage(*count);
        return Done();
    }
    if (verb == "split") {
        if (words.size() == 2 && words[1] == "off") {
            simulator.SetSplitMode(0, milliseconds{0});
            return Done();
        }
        const auto pieces = argument(1);
        const auto pause = argument(2);
        if (!pieces || !pause || *pieces > 1000)
            return Fail("split needs a piece count and a pause in ms, or off");
        simulator.SetSplitMode(int(*pieces), milliseconds(*pause));
        return Done();
    }
    if (verb == "long") {
        const auto bytes = words.size() > 1 ? argument(1) : std::optional<uint32_t>(1u << 20);
        if (!bytes)
            return Fail("long takes a byte count");
        simulator.SendLongLine(*bytes);
        return Done();
    }
    if (verb == "flood") {
        const auto count = argument(1);
        if (!count)
            return Fail("flood needs a frame count");
        simulator.Flood(*count);
        return Done();
    }
    if (verb == "silent" || verb == "loopback") {
        const auto on = words.size() == 2 ? OnOff(words[1]) : std::nullopt;
        if (!on)
            return Fail(std::string(verb) + " takes on or off");
        if (verb == "silent")
            simulator.SetSilent(*on);
        else
            simulator.SetLoopback(*on);
        return Done();
    }
    if (verb == "every") {
        if (words.size() == 2 && words[1] == "off") {
            simulator.SetPeriodic(milliseconds{0});
            return Done();
        }
        const auto ms = argument(1);
        if (!ms)
            return Fail("every needs milliseconds or off");
        simulator.SetPeriodic(milliseconds(*ms));
        return Done();
    }
    if (verb == "hangup") {
        simulator.HangUp();
        return Done("hung up");
    }
    if (verb == "replug") {
        try {
            simulator.Replug();
        } catch (const std::exception& error) {
            return Fail(std::string("replug failed: ") + error.what());
        }
        return Done(simulator.SlavePath());
    }
    if (verb == "status")
        return Done(Status(simulator));
    if (verb == "help")
        return Done(HelpText());
    if (verb == "quit" || verb == "exit")
        return {true, true, {}};
    return Fail("unknown command " + std::string(verb) + " (try help)");
}

ConsoleResult RunFlipperConsoleCommand(FlipperSim& flipper, std::string_view line) {
    const auto words = Words(line);
    if (words.empty() || words[0].front() == '#')
        return Done();
    const std::string_view verb = words[0];
    const auto captured = [](bool taken) {
        return taken ? Done() : Fail("the receiver is not running (no \"ir rx\")");
    };
    if (verb == "random")
        return captured(flipper.CaptureRandom());
    if (verb == "raw") {
        const auto durations = ParseDurationList(Rest(line));
        if (!durations || durations->empty())
            return Fail("raw needs durations like 9000,4500,560");
        return captured(flipper.Capture(*durations));
    }
    if (verb == "decoded")
        return captured(flipper.PrintDecoded(Rest(line)));
    if (verb == "busy") {
        const auto on = words.size() == 2 ? OnOff(words[1]) : std::nullopt;
        if (!on)
            return Fail("busy takes on or off");
        flipper.SetBusy(*on);
        return Done();
    }
    if (verb == "every") {
        const auto ms = words.size() == 2 && words[1] != "off" ? ParseNumber(words[1])
                                                               : std::optional<uint32_t>(0);
        if (!ms)
            return Fail("every needs milliseconds or off");
        flipper.SetPeriodic(milliseconds(*ms));
        return Done();
    }
    if (verb == "hangup") {
        flipper.HangUp();
        return Done("hung up");
    }
    if (verb == "status") {
        return Done("terminal " + flipper.SlavePath() + (flipper.Receiving() ? ", receiving" : "") +
                    "; " + std::to_string(flipper.Transmitted().size()) + " transmitted");
    }
    if (verb == "help")
        return Done(HelpText());
    if (verb == "quit" || verb == "exit")
        return {true, true, {}};
    return Fail("unknown command " + std::string(verb) + " (try help)");
}

} // namespace irsim
