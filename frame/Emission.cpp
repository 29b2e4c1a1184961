#include "frame/Emission.h"

#include "frame/Pulses.h"

namespace frame {

std::vector<std::string> FrameEmissionCommands(const PulseFrame& frame) {
    const auto pulses = Pulses(frame);
    std::vector<std::string> commands;
    commands.reserve(pulses.size() + 1);
    for (size_t i = 0; i < pulses.size(); ++i) {
        commands.push_back("AT+SND=" + std::to_string(i + 1) + "," + std::to_string(pulses[i]) +
                           "\r");
    }
    commands.push_back("AT+SND=0," + std::to_string(pulses.size()) + "\r");
    return commands;
}

} // namespace frame
