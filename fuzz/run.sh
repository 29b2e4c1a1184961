#!/usr/bin/env bash
# Builds the frame-core fuzzers with clang and libFuzzer (build/fuzz) and runs each in turn.
#
#   fuzz/run.sh [seconds-per-target] [target...]
#
# Targets: device_lines frame_file text_fields c_table analysis formats irp (all when none is named). Each target
# grows its corpus in build/fuzz/corpus/<target> from fuzz/seeds/<target>; a crashing input is
# written to build/fuzz/artifacts/<target>/. Prints the executions of every target and exits
# non-zero when any target failed. FUZZ_BUILD and FUZZ_EXTRA_ARGS (libFuzzer flags) may be set.
set -euo pipefail

seconds=${1:-60}
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: $0 [seconds-per-target] [target...]" >&2
    exit 2
fi
all_targets=(device_lines frame_file text_fields c_table analysis formats irp)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${FUZZ_BUILD:-$(cd "$here/.." && pwd)/build/fuzz}

is_target() {
    local known
    for known in "${all_targets[@]}"; do
        [ "$known" = "$1" ] && return 0
    done
    return 1
}
for target in "${targets[@]}"; do
    if ! is_target "$target"; then
        echo "unknown target: $target (known: ${all_targets[*]})" >&2
        exit 2
    fi
done

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" >/dev/null

# Longest input per target: a full frame line or file is about 2-4 KiB, a number far less.
max_len() {
    case "$1" in
    text_fields) echo 256 ;;
    c_table) echo 1300 ;;
    irp) echo 1024 ;; # the longest protocol text is about 250 characters
    analysis) echo 4096 ;; # up to 2048 durations, beyond the device's 301
    *) echo 8192 ;;
    esac
}

# A target's own dictionary where it has one (fuzz/<target>.dict), the frame core's otherwise.
dictionary() {
    if [ -f "$here/$1.dict" ]; then echo "$here/$1.dict"; else echo "$here/frame.dict"; fi
}

failed=0
summary=()
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    log=$build/logs/$target.log
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    echo "fuzzing $target for ${seconds}s (log: $log)"
    status=0
    # shellcheck disable=SC2086
    "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="$(max_len "$target")" -dict="$(dictionary "$target")" \
        -artifact_prefix="$artifacts/" -print_final_stats=1 ${FUZZ_EXTRA_ARGS:-} \
        "$corpus" "$here/seeds/$target" >"$log" 2>&1 || status=$?

    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
    files=$(find "$corpus" -type f | wc -l)
    if [ "$status" -eq 0 ]; then
        result=clean
    else
        result="FAILED (exit $status; input in $artifacts/)"
        failed=1
        grep -E 'Invariant broken|ERROR: |SUMMARY: ' "$log" | head -n 5 >&2 || true
    fi
    summary+=("$(printf '%-13s %12s executions  %-20s corpus %5s  %s' \
        "$target" "${execs:-?}" "${coverage:-}" "$files" "$result")")
done

echo
printf '%s\n' "${summary[@]}"
exit "$failed"
