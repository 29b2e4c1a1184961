#include "analysis/irp/Irp.h"

namespace analysis::irp {

struct Protocol::Impl {
    std::string text;
    std::vector<ParamSpec> params;
};

Protocol::Protocol(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Protocol::~Protocol() = default;

std::variant<std::shared_ptr<const Protocol>, ParseError> Protocol::Compile(std::string_view irp) {
    (void)irp;
    return ParseError{0, "not implemented yet"};
}

const std::string& Protocol::Text() const {
    return impl_->text;
}
int Protocol::CarrierHz() const {
    return 38000;
}
std::optional<int> Protocol::DutyCyclePercent() const {
    return std::nullopt;
}
double Protocol::UnitUs() const {
    return 1;
}
const std::vector<ParamSpec>& Protocol::Params() const {
    return impl_->params;
}
int64_t Protocol::LeadOutUs() const {
    return 0;
}
RepeatForm Protocol::HeldForm() const {
    return RepeatForm::None;
}

std::optional<std::vector<Param>> Protocol::Complete(const std::vector<Param>& params,
                                                     std::string* error) const {
    (void)params;
    if (error)
        *error = "not implemented yet";
    return std::nullopt;
}

std::optional<Durations> Protocol::Render(const std::vector<Param>& params, int repeats,
                                          std::string* error) const {
    (void)params;
    (void)repeats;
    if (error)
        *error = "not implemented yet";
    return std::nullopt;
}

bool Protocol::MayStartAt(std::span<const int32_t>, std::size_t, const DecodeOptions&) const {
    return false;
}

std::vector<Match> Protocol::Decode(std::span<const int32_t>, std::size_t,
                                    const DecodeOptions&) const {
    return {};
}

} // namespace analysis::irp
