#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

namespace frame::fuzz {

// An invariant of the frame core that did not hold for one input. The fuzzers turn it into a
// crash so that libFuzzer keeps the input; the regression test reports it as a failure.
class CheckFailure : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// The message is built only when the condition fails: the checks run millions of times.
#define FUZZ_REQUIRE(condition, message)                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            throw ::frame::fuzz::CheckFailure(std::string(__FILE__) + ":" +                        \
                                              std::to_string(__LINE__) + ": " + (message));        \
        }                                                                                          \
    } while (false)

using CheckFunction = void (*)(std::string_view input);

// Body of every LLVMFuzzerTestOneInput: a broken invariant aborts, which libFuzzer records.
inline int RunFuzzInput(CheckFunction check, const uint8_t* data, size_t size) {
    try {
        check(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const CheckFailure& failure) {
        std::fprintf(stderr, "\nInvariant broken: %s\n", failure.what());
        std::fflush(stderr);
        std::abort();
    }
    return 0;
}

} // namespace frame::fuzz
