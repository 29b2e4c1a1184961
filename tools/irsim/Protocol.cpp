#include "tools/irsim/Protocol.h"

#include "frame/PulseFrame.h"

#include <charconv>
#include <limits>

namespace irsim {
namespace {

constexpr char CR = '\r';

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Splits "$#N@payload"; nullopt when the text does not have that shape.
struct ChecksumFrame {
    uint64_t sum = 0;
    std::string_view payload;
};

std::optional<ChecksumFrame> ReadChecksumFrame(std::string_view text) {
    if (text.size() < 3 || text[0] != '$' || text[1] != '#')
        return std::nullopt;
    const auto at = text.find('@', 2);
    // Ten digits already exceed any sum a bounded command can reach; refuse rather than overflow.
    if (at == std::string_view::npos || at == 2 || at - 2 > 10)
        return std::nullopt;
    ChecksumFrame frame;
    for (std::size_t i = 2; i < at; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        frame.sum = frame.sum * 10 + uint64_t(text[i] - '0');
    }
    frame.payload = text.substr(at + 1);
    return frame;
}

} // namespace

uint32_t ByteSum(std::string_view text) {
    uint32_t sum = 0;
    for (const char c : text)
        sum += static_cast<unsigned char>(c);
    return sum;
}

std::string FrameWithChecksum(std::string_view command) {
    return "$#" + std::to_string(ByteSum(command)) + "@" + std::string(command);
}

std::vector<SplitCommand> CommandSplitter::Feed(std::string_view bytes) {
    std::vector<SplitCommand> done;
    for (const char c : bytes) {
        // A terminal typed at by hand may send CR LF; a stray LF must not start the next command.
        // On a bus the first byte is the address, whatever its value.
        if (c == '\n' && pending_.empty() && !overlong_ && !settings_.busAddressing)
            continue;
        if (c != CR) {
            if (pending_.size() < MaxCommandLength)
                pending_.push_back(c);
            else
                overlong_ = true;
            continue;
        }
        if (pending_.empty() && !overlong_) {
            ++emptyCommands_;
            continue;
        }
        done.push_back(Finish());
    }
    return done;
}

SplitCommand CommandSplitter::Finish() {
    SplitCommand command;
    command.raw = std::move(pending_);
    pending_.clear();
    command.overlong = overlong_;
    overlong_ = false;

    std::string_view body = command.raw;
    if (settings_.busAddressing) {
        command.address = static_cast<uint8_t>(body.front());
        body.remove_prefix(1);
    }
    if (settings_.requireChecksum) {
        const auto frame = ReadChecksumFrame(body);
        if (frame) {
            command.framed = true;
            const uint64_t sum = ByteSum(frame->payload);
            command.checksumOk =
                !command.overlong && (frame->sum == sum || frame->sum == sum + uint8_t(CR));
            body = frame->payload;
        } else {
            command.checksumOk = false;
        }
    }
    command.text = std::string(body);
    return command;
}

std::optional<int32_t> ParseInt32(std::string_view text) {
    text = TrimBlanks(text);
    const bool plus = !text.empty() && text.front() == '+';
    if (plus)
        text.remove_prefix(1);
    if (text.empty() || (plus && text.front() == '-'))
        return std::nullopt;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

Command ParseCommand(std::string_view text) {
    text = TrimBlanks(text);
    Command command;
    if (EqualsIgnoringCase(text, "AT")) {
        command.kind = Command::Kind::Attention;
    } else if (EqualsIgnoringCase(text, "ATI")) {
        command.kind = Command::Kind::Identify;
    } else if (EqualsIgnoringCase(text, "ab1")) {
        command.kind = Command::Kind::EmitCaptured;
    } else if (constexpr std::string_view send = "AT+SND=";
               text.size() > send.size() && EqualsIgnoringCase(text.substr(0, send.size()), send)) {
        const auto arguments = text.substr(send.size());
        const auto comma = arguments.find(',');
        if (comma == std::string_view::npos)
            return command;
        const auto position = ParseInt32(arguments.substr(0, comma));
        const auto value = ParseInt32(arguments.substr(comma + 1));
        if (!position || !value || *position < 0 || *position > MaxSendPosition)
            return command;
        if (*position == 0) {
            if (*value < 0 || *value > MaxSendPosition)
                return command;
            command.kind = Command::Kind::Emit;
        } else {
            command.kind = Command::Kind::CollectPulse;
        }
        command.position = *position;
        command.value = *value;
    }
    return command;
}

std::string Line(std::string_view text) {
    std::string line(text);
    line += "\r\n";
    return line;
}

std::string FrameLine(const Durations& durations) {
    std::string line(frame::DeviceSignature);
    line.reserve(line.size() + durations.size() * 6 + 2);
    for (const int32_t d : durations) {
        line += ',';
        line += std::to_string(d);
    }
    line += "\r\n";
    return line;
}

std::optional<Durations> ParseDurationList(std::string_view text) {
    Durations durations;
    text = TrimBlanks(text);
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto value = ParseInt32(text.substr(0, comma));
        if (!value)
            return std::nullopt;
        durations.push_back(*value);
        if (comma == std::string_view::npos)
            break;
        text = TrimBlanks(text.substr(comma + 1));
    }
    return durations;
}

} // namespace irsim
