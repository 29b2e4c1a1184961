#pragma once

// The device's line protocol, free of any I/O: how commands are cut out of the byte stream, how
// they are read, and how the lines the device sends are written. The simulator engine feeds the
// bytes it reads from the pseudo-terminal through these; tests use them directly.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace irsim {

using Durations = std::vector<int32_t>;

// Highest pulse position "AT+SND=p,d" accepts; the program never holds more pulses than this.
inline constexpr int MaxSendPosition = 301;

// Longest command kept; a longer run of bytes without CR is dropped up to the next CR.
inline constexpr std::size_t MaxCommandLength = 4096;

// Byte in front of a command that every device on the bus takes as addressed to it.
inline constexpr uint8_t BroadcastAddress = 255;

// Sum of all byte values (0..255 each), as the "$#" framing carries it.
uint32_t ByteSum(std::string_view text);

// "$#" + sum + "@" + command: the checksum framing of one command (without the final CR).
std::string FrameWithChecksum(std::string_view command);

// One command cut out of the stream, framing removed and checked.
struct SplitCommand {
    std::string raw;                // bytes as received, without the terminating CR
    std::string text;               // the command itself
    std::optional<uint8_t> address; // the bus byte, when bus addressing is on
    bool framed = false;            // carried "$#" sum "@"
    bool checksumOk = true;         // false: framing missing or its sum does not match
    bool overlong = false;          // longer than MaxCommandLength; text holds the kept head
};

// Cuts commands at CR. Empty commands (a CR alone: the program follows every command with one
// more CR) are counted but not returned.
//
// With checksum framing required, a command must read "$#" N "@" payload, where N is the byte sum
// of the payload. The program frames the text it was handed, and that text usually ends in its
// own CR, so the sum may also count one CR: "$#162@AT" CR CR is a valid "AT" (149 + 13). The
// extra CR that follows is then an ordinary empty command.
//
// With bus addressing, the first byte of every non-empty command is the address byte. A CR in
// that place is taken as an empty command, so address 13 cannot be told apart and is not used.
class CommandSplitter {
public:
    struct Settings {
        bool requireChecksum = false;
        bool busAddressing = false;
    };

    explicit CommandSplitter(Settings settings) : settings_(settings) {}

    // Appends the bytes to the pending command and returns every command they complete.
    std::vector<SplitCommand> Feed(std::string_view bytes);

    std::size_t EmptyCommands() const { return emptyCommands_; }
    // Bytes of a command not yet ended by CR.
    std::size_t PendingBytes() const { return pending_.size(); }

private:
    SplitCommand Finish();

    Settings settings_;
    std::string pending_;
    bool overlong_ = false;
    std::size_t emptyCommands_ = 0;
};

// What a command asks of the device.
struct Command {
    enum class Kind {
        Attention,    // "AT"
        Identify,     // "ATI"
        CollectPulse, // "AT+SND=p,d" with p >= 1
        Emit,         // "AT+SND=0,n"
        EmitCaptured, // "ab1"
        Unknown,
    };
    Kind kind = Kind::Unknown;
    int position = 0;  // CollectPulse: 1..MaxSendPosition
    int32_t value = 0; // CollectPulse: the duration; Emit: the pulse count
};

// Reads one command text. Letter case and blanks around the text and the numbers do not matter;
// malformed or out-of-range numbers make the command Unknown.
Command ParseCommand(std::string_view text);

// Reads a signed decimal 32-bit number, blanks around it allowed; nothing else.
std::optional<int32_t> ParseInt32(std::string_view text);

// Every line the device sends ends with CR LF.
std::string Line(std::string_view text);

// The frame line: the device signature, then the durations, comma-separated, CR LF.
std::string FrameLine(const Durations& durations);

// Reads a list like "9000,4500,560" (blanks and a trailing comma allowed). Nullopt on anything
// that is not a signed decimal 32-bit number.
std::optional<Durations> ParseDurationList(std::string_view text);

} // namespace irsim
