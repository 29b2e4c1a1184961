#include "frame/CTable.h"

#include "frame/Pulses.h"

namespace frame {

std::string CTableText(const PulseFrame& frame) {
    const auto pulses = Pulses(frame);
    std::string text = "uint16_t tab[" + std::to_string(pulses.size()) + "] PROGMEM = { ";
    if (!pulses.empty()) {
        // The last value stands apart: it never gets a line break of its own.
        for (size_t i = 0; i + 1 < pulses.size(); ++i) {
            if (i % 5 == 0) {
                text += "\r\n\t";
            }
            text += std::to_string(pulses[i]);
            text += ',';
        }
        text += std::to_string(pulses.back());
    }
    text += " \r\n};";
    return text;
}

} // namespace frame
