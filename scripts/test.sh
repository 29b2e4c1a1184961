#!/usr/bin/env bash
# Installs what is missing, builds everything with the tests and runs them; then runs the tests again
# under AddressSanitizer + UndefinedBehaviorSanitizer, and the serial and worker tests under
# ThreadSanitizer. Exits non-zero on any failure and prints CTest's summary of each run.
#
#   DEKODER_SANITIZERS=0 scripts/test.sh   skips the two sanitizer runs (quick local check)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

jobs=$(nproc)
root=${BUILD_ROOT:-build}

run_suite() {
    local name=$1
    shift
    local dir="$root/$name"
    echo "=== $name: configure and build"
    cmake -S . -B "$dir" -DDEKODER_BUILD_TESTS=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "=== $name: tests"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 180 ${CTEST_ARGS:-}
}

run_suite test -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [[ ${DEKODER_SANITIZERS:-1} != 0 ]]; then
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    run_suite asan -DCMAKE_BUILD_TYPE=Debug "-DSANITIZE=address;undefined"

    export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp}
    CTEST_ARGS="-R ^(serial_line_|zor_com_|enum_com_ports_|flipper_source_)" run_suite tsan -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=thread -DDEKODER_BUILD_UI=OFF
fi
