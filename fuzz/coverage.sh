#!/usr/bin/env bash
# Source coverage of frame/ and of the file formats reached by the fuzzers' corpora (seeds and what run.sh has grown):
# replays them through a coverage build in build/fuzz/coverage and prints llvm-cov's report.
#
#   fuzz/coverage.sh [target...]
set -euo pipefail

all_targets=(device_lines frame_file text_fields c_table formats)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
fuzz_build=${FUZZ_BUILD:-$root/build/fuzz}
corpora=$fuzz_build/corpus
build=$fuzz_build/coverage

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFUZZ_COVERAGE=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" >/dev/null

rm -rf "$build/profiles"
mkdir -p "$build/profiles"
objects=()
for target in "${targets[@]}"; do
    inputs=("$here/seeds/$target")
    [ -d "$corpora/$target" ] && inputs+=("$corpora/$target")
    LLVM_PROFILE_FILE="$build/profiles/$target.profraw" \
        "$build/fuzz_$target" -runs=0 "${inputs[@]}" >"$build/profiles/$target.log" 2>&1
    objects+=(-object "$build/fuzz_$target")
done
llvm-profdata merge -sparse "$build"/profiles/*.profraw -o "$build/profiles/merged.profdata"
llvm-cov report "${objects[@]:1}" -instr-profile="$build/profiles/merged.profdata" \
    "$root"/frame/*.cpp "$root"/analysis/Formats.cpp "$root"/analysis/formats/*.cpp
