#!/usr/bin/env bash
# The command line of scripts/flash.sh, against a fake avrdude that records its arguments and on
# pseudo-terminals standing in for the board's port.
#
#   flash_test.sh CASE     with BUILD_DIR set to a build tree that holds tools/portcheck
#
# Ends with 0 when the case holds, 1 when it does not, 77 when it cannot be tried here.
set -euo pipefail

case_name=$1
flash=$(cd "$(dirname "$0")/../.." && pwd)/scripts/flash.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/flash-test.XXXXXX")
holder_pid=""
cleanup() {
    if [[ -n "$holder_pid" ]]; then
        kill "$holder_pid" 2>/dev/null || true
        wait "$holder_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The fake avrdude: its arguments one per line in $work/argv, and the status $work/status says.
mkdir "$work/bin" "$work/dev"
cat >"$work/bin/avrdude" <<'FAKE'
#!/usr/bin/env bash
printf '%s\n' "$@" >"$(dirname "$0")/../argv"
exit "$(cat "$(dirname "$0")/../status" 2>/dev/null || echo 0)"
FAKE
chmod +x "$work/bin/avrdude"
export PATH="$work/bin:$PATH" DEKODER_DEV_DIR="$work/dev"
hex="$work/dekoder-firmware.hex"
echo ":00000001FF" >"$hex"

# start_holder [lock]: a process holding a new pseudo-terminal open (locked as the program locks
# its port, with "lock"); sets pty, holder_pid and holder (its name as the kernel keeps it).
start_holder() {
    coproc HOLDER {
        exec python3 -c '
import fcntl, os, pty, sys
master, slave = pty.openpty()
if "lock" in sys.argv:
    fcntl.flock(slave, fcntl.LOCK_EX | fcntl.LOCK_NB)
print(os.ttyname(slave), os.getpid(), open("/proc/self/comm").read().strip(), flush=True)
sys.stdin.read()
' "$@"
    }
    # shellcheck disable=SC2153 # coproc sets HOLDER_PID
    holder_pid=$HOLDER_PID
    read -r pty _ holder <&"${HOLDER[0]}" || fail "the pseudo-terminal holder did not start"
}

# flash ARGS...: runs the script; its status in rc, its error output in err.
flash() {
    rc=0
    err=$("$flash" --hex "$hex" "$@" 2>&1 >/dev/null) || rc=$?
}

# expect_avrdude ARGS...: avrdude ran with exactly these arguments.
expect_avrdude() {
    [[ $rc == 0 ]] || fail "status $rc: $err"
    local expected
    expected=$(printf '%s\n' "$@")
    [[ "$(cat "$work/argv")" == "$expected" ]] || fail "avrdude got: $(cat "$work/argv")"
}

# expect_refused TEXT: the script failed with TEXT and never started avrdude.
expect_refused() {
    [[ $rc != 0 ]] || fail "the script succeeded"
    [[ "$err" == *"$1"* ]] || fail "expected '$1', got: $err"
    [[ ! -e "$work/argv" ]] || fail "avrdude ran: $(cat "$work/argv")"
}

case $case_name in
uno_on_the_only_port)
    start_holder
    ln -s "$pty" "$work/dev/ttyUSB0"
    flash
    expect_avrdude -p atmega328p -c arduino -P "$work/dev/ttyUSB0" -b 115200 -D \
        -U "flash:w:$hex:i"
    ;;
old_bootloader)
    start_holder
    flash --old-bootloader "$pty"
    expect_avrdude -p atmega328p -c arduino -P "$pty" -b 57600 -D -U "flash:w:$hex:i"
    ;;
failed_upload_suggests_old_bootloader)
    start_holder
    echo 1 >"$work/status"
    flash "$pty"
    [[ $rc != 0 && "$err" == *"--old-bootloader"* ]] || fail "status $rc: $err"
    ;;
no_board)
    flash
    expect_refused "No board found"
    ;;
several_ports)
    touch "$work/dev/ttyUSB0" "$work/dev/ttyACM0"
    flash
    expect_refused "Several ports are present"
    ;;
missing_port)
    flash "$work/dev/ttyUSB9"
    expect_refused "Nie ma portu $work/dev/ttyUSB9: sprawdź nazwę portu i czy urządzenie jest"
    ;;
busy_port)
    start_holder lock
    flash "$pty"
    expect_refused "Port $pty jest zajęty przez: $holder (PID $holder_pid)."
    ;;
forbidden_port)
    start_holder
    chmod 000 "$pty"
    if [[ -r "$pty" || -w "$pty" ]]; then
        echo "SKIP: this user opens any file (root)" >&2
        exit 77
    fi
    flash "$pty"
    expect_refused "Brak uprawnień do portu $pty: dodaj użytkownika do grupy dialout"
    ;;
bad_option)
    flash --baud fast
    [[ $rc == 2 && "$err" == *"--old-bootloader"* ]] || fail "status $rc: $err"
    ;;
*)
    fail "no case $case_name"
    ;;
esac
