# shellcheck shell=bash
# The world's package registry (registry.cjs) for simctl: one server per state file, its address and
# process id in $TALLOWMERE_SIM_STATE.d/registry.

sim_registry_server="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/registry.cjs"

# Fails when no world is named.
sim_registry_dir() {
    [[ -n ${TALLOWMERE_SIM_STATE:-} ]] && printf '%s\n' "$TALLOWMERE_SIM_STATE.d/registry"
}

# The registry's base address (http://127.0.0.1:PORT/); fails when it does not run.
sim_registry_url() {
    local dir url
    dir=$(sim_registry_dir) && url=$(cat "$dir/url" 2>/dev/null) && [[ -n $url ]] && printf '%s\n' "$url"
}

# Ends the world's registry, if one runs.
sim_registry_stop() {
    local dir pid
    dir=$(sim_registry_dir) || return 0
    pid=$(cat "$dir/pid" 2>/dev/null) || return 0
    if [[ $pid =~ ^[0-9]+$ ]] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'registry\.cjs serve'; then
        kill "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/pid" "$dir/url"
}

# Starts the world's registry afresh and waits until it listens.
sim_registry_start() {
    local dir tries
    dir=$(sim_registry_dir) || return 1
    sim_registry_stop
    mkdir -p "$dir" || return 1
    setsid /usr/bin/node "$sim_registry_server" serve "$dir" </dev/null >/dev/null 2>&1 &
    for ((tries = 0; tries < 200; tries++)); do
        sim_registry_url >/dev/null && return 0
        sleep 0.05
    done
    echo "simctl: the package registry did not start" >&2
    return 1
}
