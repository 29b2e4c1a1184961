# Sourced by the scripts that run the program against the device simulator. Provides a throwaway
# work folder, the simulator on a pseudo-terminal linked into it, and a settings folder preset to
# that port; everything is removed when the calling script exits.

workdir=$(mktemp -d "${TMPDIR:-/tmp}/dekoder-ir.XXXXXX")
simulator_pid=""
cleanup_simulated_device() {
    if [[ -n "$simulator_pid" ]]; then
        kill "$simulator_pid" 2>/dev/null || true
        wait "$simulator_pid" 2>/dev/null || true
    fi
    rm -rf "$workdir"
}
trap cleanup_simulated_device EXIT

# start_simulator <irsim> <link path> [irsim options...]: starts it and waits for its link.
start_simulator() {
    local irsim=$1 link=$2
    shift 2
    "$irsim" "$@" --quiet --link "$link" >"$workdir/irsim.log" 2>&1 &
    simulator_pid=$!
    for _ in $(seq 100); do
        [[ -e "$link" ]] && return 0
        kill -0 "$simulator_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "The device simulator did not start:" >&2
    cat "$workdir/irsim.log" >&2
    exit 1
}

# preset_port <port>: a settings folder whose saved port is <port>; exported as XDG_CONFIG_HOME.
preset_port() {
    mkdir -p "$workdir/config/dekoder-ir"
    printf '[Software]\nFalquin\\Port%%20komunikacyjny=%s\n' "$1" \
        >"$workdir/config/dekoder-ir/registry.ini"
    export XDG_CONFIG_HOME="$workdir/config"
}
