#include "analysis/Formats.h"

#include "analysis/formats/Text.h"

#include <array>
#include <utility>

namespace analysis::formats {

namespace {

constexpr std::array<std::pair<Format, std::string_view>, 5> Names{{
    {Format::Flipper, "flipper"},
    {Format::Pronto, "pronto"},
    {Format::Mode2, "mode2"},
    {Format::Lirc, "lirc"},
    {Format::IrRemote, "irremote"},
}};

std::string RepeatText(const Decode& decode) {
    if (decode.repeats <= 0)
        return {};
    std::string kind;
    switch (decode.repeatForm) {
    case RepeatForm::Ditto:
        kind = "ditto ";
        break;
    case RepeatForm::Toggled:
        kind = "toggled ";
        break;
    case RepeatForm::None:
    case RepeatForm::Frame:
        break;
    }
    return ", " + std::to_string(decode.repeats) + " " + kind +
           (decode.repeats == 1 ? "repeat" : "repeats");
}

} // namespace

FormatError::FormatError(int line, const std::string& what)
    : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line) {}

FormatError::FormatError(const std::string& what) : std::runtime_error(what), line_(0) {}

std::vector<Signal> Read(Format format, std::string_view text) {
    switch (format) {
    case Format::Flipper:
        return detail::ReadFlipper(text);
    case Format::Pronto:
        return detail::ReadPronto(text);
    case Format::Mode2:
        return detail::ReadMode2(text);
    case Format::Lirc:
        return detail::ReadLirc(text);
    case Format::IrRemote:
        break;
    }
    throw FormatError(1, "Arduino IRremote sketches are written, not read");
}

std::string Write(Format format, std::span<const Signal> signals) {
    switch (format) {
    case Format::Flipper:
        return detail::WriteFlipper(signals);
    case Format::Pronto:
        return detail::WritePronto(signals);
    case Format::Mode2:
        return detail::WriteMode2(signals);
    case Format::Lirc:
        return detail::WriteLirc(signals);
    case Format::IrRemote:
        return detail::WriteIrRemote(signals);
    }
    throw FormatError("unknown format");
}

std::optional<Format> FormatFromName(std::string_view name) {
    for (const auto& [format, text] : Names)
        if (text == name)
            return format;
    return std::nullopt;
}

std::string_view FormatName(Format format) {
    for (const auto& [known, text] : Names)
        if (known == format)
            return text;
    return {};
}

std::string DescribeDecode(const Decode& decode) {
    return Summary(decode) + RepeatText(decode);
}

std::string DescribeGeneric(const Generic& generic) {
    std::string text = generic.encoding + ", " + std::to_string(generic.bits.size()) + " bits";
    if (generic.header)
        text += ", header " + std::to_string(generic.header->first) + "/" +
                std::to_string(generic.header->second);
    if (!generic.bits.empty())
        text += ", LSB 0x" + generic.hexLsb + ", MSB 0x" + generic.hexMsb;
    return text;
}

} // namespace analysis::formats
