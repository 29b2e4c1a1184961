#!/usr/bin/env bash
# Builds the benchmarks, runs all of them and writes docs/performance.md.
#
#   bench/run.sh                 the full run (about 3 minutes plus the build)
#   BENCH_QUICK=1 bench/run.sh   fewer rounds and frames, to try the script out (numbers rough)
#   BUILD_DIR=... JOBS=...       the build folder (build/bench) and parallel jobs (2)
#
# Everything runs offscreen with a simulated device on pseudo-terminals; settings go to throwaway
# folders. Each measurement repeats and reports medians; the load average before and after is
# written next to the numbers, since they are only as quiet as the machine was.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build/bench}
jobs=${JOBS:-2}
out=docs/performance.md

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDEKODER_BUILD_BENCH=ON \
    -DDEKODER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target frame_bench chart_bench flood_bench window_bench \
    dekoder_probe bare_window process_bench analysis_bench analysis_accuracy table_accuracy formats_bench history_bench >/dev/null
bin="$build/bench"
# The firmware's benchmark exists where gcc-avr and simavr are installed.
firmware_bench=""
if cmake --build "$build" -j "$jobs" --target firmware_bench >/dev/null 2>&1; then
    firmware_bench="$bin/firmware_bench"
fi

if [[ -n "${BENCH_QUICK:-}" ]]; then
    micro_time=0.05 flood="--rounds 2 --lines 3000 --py-lines 50"
    window="--rounds 1 --frames 500 --latency-frames 100"
    process="--rounds 2 --idle-ms 2000 --frames 200"
    accuracy="--codes 100 --noise 1000"
    firmware="--frames 10"
else
    micro_time=0.3 flood="--rounds 5 --lines 20000 --py-lines 300"
    window="--rounds 3 --frames 2000 --latency-frames 1000"
    process="--rounds 7 --idle-ms 10000 --frames 1000"
    accuracy="--codes 1000 --noise 10000"
    firmware="--frames 40"
fi

runtime=$(mktemp -d "${TMPDIR:-/tmp}/dekoder-bench.XXXXXX")
trap 'rm -rf "$runtime"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime"

load() { cut -d' ' -f1-3 /proc/loadavg; }
load_before=$(load)
started=$(date +%s)

echo "micro-benchmarks..." >&2
micro_args="--benchmark_min_time=$micro_time --benchmark_repetitions=3 --benchmark_report_aggregates_only=true"
# shellcheck disable=SC2086
frame_out=$("$bin/frame_bench" $micro_args 2>/dev/null)
# shellcheck disable=SC2086
chart_out=$("$bin/chart_bench" $micro_args 2>/dev/null)
# shellcheck disable=SC2086
formats_out=$("$bin/formats_bench" $micro_args 2>/dev/null)
echo "throughput..." >&2
# shellcheck disable=SC2086
flood_out=$("$bin/flood_bench" $flood)
echo "end to end and latency..." >&2
# shellcheck disable=SC2086
window_out=$("$bin/window_bench" $window 2>/dev/null)
# shellcheck disable=SC2086
history_out=$("$bin/history_bench" 2>/dev/null)
echo "start, close, memory and idle..." >&2
# shellcheck disable=SC2086
process_out=$("$bin/process_bench" "$bin/dekoder_probe" "$bin/bare_window" $process)

echo "protocol analysis..." >&2
# shellcheck disable=SC2086
analysis_out=$("$bin/analysis_bench" $micro_args 2>/dev/null)
# shellcheck disable=SC2086
accuracy_out=$("$bin/analysis_accuracy" $accuracy)
echo "protocol table..." >&2
table_out=$("$bin/table_accuracy")

firmware_out="Not measured: gcc-avr or libsimavr-dev is not installed."
if [[ -n "$firmware_bench" ]]; then
    echo "device firmware..." >&2
    # shellcheck disable=SC2086
    firmware_out=$("$firmware_bench" $firmware)
fi

load_after=$(load)
elapsed=$(($(date +%s) - started))

# A 1-minute load above half the processors means the numbers were taken on a busy machine.
busy=$(awk -v a="${load_before%% *}" -v b="${load_after%% *}" -v n="$(nproc)" \
    'BEGIN { print (a > n / 2 || b > n / 2) ? "yes" : "no" }')
if [[ $busy == yes ]]; then
    load_note="**Taken under load**: the machine was busy with other work during this run, so
times are longer and noisier than on a quiet machine; re-run \`bench/run.sh\` on a quiet machine
for reference numbers."
else
    load_note="The machine was quiet during this run."
fi

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
ram=$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
qt=$(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo unknown)
qsp=$(dpkg-query -W -f='${Version}' libqt6serialport6 2>/dev/null || echo unknown)
pyserial=$(/usr/bin/python3 -c 'import serial; print(serial.__version__)' 2>/dev/null || echo unknown)
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
dirty=$(git status --porcelain 2>/dev/null | grep -q . && echo " with uncommitted changes" || true)

{
    cat <<EOF
# Performance of Dekoder IR

Written by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC') from commit $commit$dirty, in ${elapsed} s.
Re-run the whole page with \`bench/run.sh\`; the command under each section reproduces that
section alone (after the build the script makes: \`cmake -S . -B build/bench
-DCMAKE_BUILD_TYPE=Release -DDEKODER_BUILD_BENCH=ON\`, then \`cmake --build build/bench -j2\`).

## Machine

| | |
| --- | --- |
| processors (nproc) | $(nproc) |
| processor | $cpu |
| memory | $ram |
| kernel | $(uname -r) |
| Qt | $qt (QSerialPort $qsp), platform offscreen |
| pyserial | $pyserial, Python $(/usr/bin/python3 -c 'import platform; print(platform.python_version())') |
| load average (1, 5, 15 min) before / after | $load_before / $load_after |

$load_note

Every
measurement repeats and reports the median; the readers and programs compared take turns round by
round, and the ratios are medians of each round's own ratio, so a change of load between rounds
cancels out.

## Throughput: lines per second from a flooding device

\`$bin/flood_bench $flood\`

The simulator floods a pseudo-terminal with 301-pulse frame lines as fast as it takes them. The
port component counts lines in \`OnRxString\` on the main thread (worker, driver and main-thread
delivery included); each reader checks every line's length and its last pulse against the line
sent at that place. The \`read() loop\` counts line ends only and is the ceiling of the terminal
together with the simulator writing it.

$flood_out

## End to end and latency

\`$bin/window_bench $window\`

The main window (\`TForm1\`, offscreen, marks with labels on) on the simulated device. Every
frame goes through \`ZorComPort1RxString\` and \`DrawFrame\`; a frame counts as handled when the
chart holds its 603 points with the frame's own last label.

$window_out

## Start, close, memory and idle cost

\`$bin/process_bench $bin/dekoder_probe $bin/bare_window $process\`

\`dekoder_probe\` is the program's own start-up and event loop (\`app::RunProgram\`, as
\`dekoder-ir\` runs it) with a probe that reports its moments; \`bare_window\` is a Qt program
showing one empty main window of the same size (and, as a second yardstick, one line of text).
Start-up is measured from just before the process is spawned to the end of the first paint of the
main window; the close from the moment \`close()\` is called to the moment the process has been
reaped; peak memory is the process's maximum resident set.

$process_out

## Protocol analysis

\`$bin/analysis_bench $micro_args\`

Time to analyse one signal (\`analysis::Analyse\`, every decoder and the generic analysis): a NEC
frame of 67 durations (target ≤ 20 µs) and full frames of 301 durations (target ≤ 100 µs), all
captured from the simulator's remotes with its receiver model.

\`\`\`
$analysis_out
\`\`\`

\`$bin/analysis_accuracy $accuracy\`

Random codes of every simulator remote (every parameter over its range, up to two repeats),
captured at the receiver's default distortion (marks 40 µs longer, ±50 µs noise; target ≥ 99.9 %
right) and at a rough one (150 µs, ±100 µs). Right means one decode, of the protocol's name and
with its parameters. The simulator renders every frame with its own code, written apart from the
analysis. A frame cut short, or with one bit of its check field flipped, should not be named as
its protocol; random noise should not decode at all (target 0).

$accuracy_out

## Protocol table

\`$bin/table_accuracy\`

Every protocol of \`irdecode --list\` (with the lone-frame names), 100 random codes each (every
parameter over its range, 0-2 repeats), rendered by the table itself and captured at a default
receiver (marks 60 µs longer, ±40 µs) and a rough one (150 µs, ±100 µs). Right means one decode
covering the whole signal, of the protocol or a name the signal cannot be told apart from, with
its repeats. False decodes: random noise (3 000 signals), the first 20 codes of each protocol cut
short, and, for every protocol with a check, the same codes with one check bit broken (a
parameter bit flipped and only the last symbol that changes taken over).

$table_out

## Device firmware in the simulated microcontroller

\`$bin/firmware_bench $firmware\`

The firmware (\`firmware/\`) runs in simavr's ATmega328P at 16 MHz, in simulated time. Frames are
played into the receiver pin back to back, each 66 ms after the last one's final mark (the
firmware ends a frame after 65 ms of silence); lines are counted as they leave UART0. The
line-rate limit is what 38400 baud carries of lines of the measured length: simavr counts 11 bits
a byte, a board 10. Faster than that, frames wait in the firmware's queue and, when it is full, the
newest are dropped and counted ("AT+DROP?").

$firmware_out

## Micro-benchmarks

\`$bin/frame_bench $micro_args\`

\`\`\`
$frame_out
\`\`\`

\`$bin/chart_bench $micro_args\`

\`\`\`
$chart_out
\`\`\`

Importing a 500-signal Flipper file, then decoding every signal (target ≥ 10 000 signals/s):
\`$bin/formats_bench $micro_args\`

\`\`\`
$formats_out
\`\`\`

The window with a history of 1000 decoded frames (target: choosing an entry draws it in under
20 ms): \`$bin/history_bench\`

\`\`\`
$history_out
\`\`\`

EOF
    cat bench/findings.md
} >"$out"
echo "wrote $out" >&2
