#include "serial/ZorComFraming.h"

#include "serial/SerialErrors.h"

#include <charconv>

namespace serial {

int ParseDecimal(std::string_view Text, int Fallback) {
    // from_chars takes no '+', the settings may carry one.
    if (Text.size() > 1 && Text.front() == '+' && Text[1] != '-') {
        Text.remove_prefix(1);
    }
    int value = 0;
    const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
    if (error != std::errc() || end != Text.data() + Text.size() || Text.empty()) {
        return Fallback;
    }
    return value;
}

long long CommandChecksum(std::string_view Command) {
    long long sum = 0;
    for (const char c : Command) {
        sum += static_cast<unsigned char>(c);
    }
    return sum;
}

std::string FrameCommand(std::string_view Command, bool UseCRC, bool UseRS485, bool GeneralCall,
                         std::string_view RS485adr) {
    std::string line;
    if (UseCRC) {
        line = "$#" + std::to_string(CommandChecksum(Command)) + "@";
    }
    line.append(Command);
    if (UseRS485) {
        const int address = GeneralCall ? 255 : ParseDecimal(RS485adr, 16);
        // Two's complement low byte: the address modulo 256, also for negative numbers.
        line.insert(line.begin(), static_cast<char>(static_cast<unsigned>(address) & 0xFFu));
    }
    return line;
}

std::string ImmediateErrorText(int Code, std::string_view DriverText) {
    if (Code <= FirstOwnError) {
        return "err - " + std::string(DriverText);
    }
    return std::to_string(Code) + " - Serial Eror: " + std::string(SerialErrorName(Code));
}

std::string SendLimitErrorText(int Code, std::string_view DriverText) {
    if (Code > FirstOwnError) {
        return "999 - Serial ErrFrame";
    }
    return "err - " + std::string(DriverText);
}

} // namespace serial
