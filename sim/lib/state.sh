# shellcheck shell=bash
# The simulated Mac's state for bash tools: KEY=VALUE lines in the file named by TALLOWMERE_SIM_STATE,
# falling back to state.defaults beside this file. The last line of a key wins.

sim_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sim_defaults="$sim_lib_dir/state.defaults"

# sim_lookup FILE KEY: prints the value; fails when the file does not set the key.
sim_lookup() {
    local file=$1 key=$2 line value found=1
    [[ -n $file && -r $file ]] || return 1
    while IFS= read -r line || [[ -n $line ]]; do
        [[ $line == "$key="* ]] || continue
        value=${line#*=}
        value=${value%$'\r'}
        found=0
    done <"$file"
    ((found == 0)) || return 1
    printf '%s\n' "$value"
}

sim_known() { sim_lookup "$sim_defaults" "$1" >/dev/null; }

sim_get() {
    sim_lookup "${TALLOWMERE_SIM_STATE:-}" "$1" || sim_lookup "$sim_defaults" "$1" || true
}

# sim_set KEY VALUE: rewrites the state file atomically, so readers never see half a file.
sim_set() {
    local key=$1 value=$2 file=${TALLOWMERE_SIM_STATE:-} tmp line
    if [[ -z $file ]]; then
        echo "simulated Mac: TALLOWMERE_SIM_STATE is not set; $key stays unchanged" >&2
        return 1
    fi
    if [[ $value == *$'\n'* ]]; then
        echo "simulated Mac: a value must fit on one line ($key)" >&2
        return 1
    fi
    tmp=$(mktemp "$file.XXXXXX") || return 1
    {
        if [[ -r $file ]]; then
            while IFS= read -r line || [[ -n $line ]]; do
                [[ $line == "$key="* ]] || printf '%s\n' "$line"
            done <"$file"
        fi
        printf '%s=%s\n' "$key" "$value"
    } >"$tmp" && mv -f "$tmp" "$file"
}

# Where the simulated launchd keeps its jobs: beside the state file, so each test world has its own.
sim_launchd_dir() {
    if [[ -n ${TALLOWMERE_SIM_STATE:-} ]]; then
        printf '%s\n' "$TALLOWMERE_SIM_STATE.d/launchd"
    else
        printf '%s\n' "${TMPDIR:-/tmp}/tallowmere-sim-$(id -u)/launchd"
    fi
}

# Every tool of a world notes what it and the process that started it were started with (argument
# vector and environment, one block per process) in "$TALLOWMERE_SIM_STATE.d/started", so that a test
# can prove that no secret travels that way.
sim_note_start() {
    local pid file item
    [[ -n ${TALLOWMERE_SIM_STATE:-} && -d $TALLOWMERE_SIM_STATE.d ]] || return 0
    # Read with builtins: every tool call passes here, and a fork per file would slow the world down.
    for pid in $$ $PPID; do
        printf '== %s\n' "$pid"
        for file in cmdline environ; do
            while IFS= read -r -d '' item; do
                printf '%s\n' "$item"
            done <"/proc/$pid/$file"
        done
    done >>"$TALLOWMERE_SIM_STATE.d/started" 2>/dev/null
}
sim_note_start
