#!/usr/bin/env bash
# The CLI resource script as the simulated Mac provides it (the application bundle's
# tallowmere-cli-session.sh stands here):
#   --prepare                   lay out the private runtime and install the agent package
#   --setup-only [AGENT_NAME]   redeem the setup code read from standard input and write config.json
# Both print JSON event lines; the simulated Mac's state decides how they end. The setup code is never
# printed.
set -uo pipefail
shopt -u patsub_replacement 2>/dev/null || true

sim_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=lib/state.sh
source "$sim_dir/lib/state.sh"
# shellcheck source-path=SCRIPTDIR source=lib/registry.sh
source "$sim_dir/lib/registry.sh"

base="$HOME/.tallowmere"
runtime_dir="$base/mac-app-runtime"
runtime_bin="$runtime_dir/bin"
profile_dir="$base/profiles/default"
export PNPM_HOME=${PNPM_HOME:-$runtime_bin}

# Case changes with tr: bash 3.2 has no case-changing expansions.
upper() { printf '%s' "$1" | tr '[:lower:]' '[:upper:]'; }
lower() { printf '%s' "$1" | tr '[:upper:]' '[:lower:]'; }

pause() {
    local ms=${1:-0}
    [[ $ms =~ ^[0-9]+$ ]] || ms=0
    ((ms == 0)) || sleep "$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
}

json_quote() {
    local s=$1
    s=${s//\\/\\\\}
    s=${s//\"/\\\"}
    s=${s//$'\n'/\\n}
    s=${s//$'\r'/\\r}
    s=${s//$'\t'/\\t}
    printf '"%s"' "$s"
}

progress() { # phase status [detail]
    if (($# > 2)); then
        printf '{"type":"progress","phase":%s,"status":%s,"detail":%s}\n' "$(json_quote "$1")" "$(json_quote "$2")" "$(json_quote "$3")"
    else
        printf '{"type":"progress","phase":%s,"status":%s}\n' "$(json_quote "$1")" "$(json_quote "$2")"
    fi
}

# shim NAME TARGET: a small executable in the runtime bin that runs one of the simulated Mac's tools,
# so nothing done to the runtime can touch the simulated Mac's own files.
shim() {
    local file="$runtime_bin/$1"
    printf '#!/bin/bash\nexec %q "$@"\n' "$2" >"$file.tmp" && chmod 755 "$file.tmp" && mv -f "$file.tmp" "$file"
}

write_atomically() { # FILE MODE, text on standard input
    local tmp="$1.$$"
    cat >"$tmp" && chmod "$2" "$tmp" && mv -f "$tmp" "$1"
}

prepare() {
    local delay status total=12 step root store registry node_wrapper="$sim_dir/runtime/node"
    delay=$(sim_get prepareDelayMs)
    progress runtime running "准备 Node.js 运行环境"
    pause "$delay"
    status=$(sim_get prepareExit)
    if [[ $status != 0 ]]; then
        echo "Error: the Node.js runtime could not be prepared (simulated failure)" >&2
        exit "$status"
    fi
    mkdir -p "$runtime_bin" "$runtime_dir/pnpm-config" || exit 1
    printf '%s\n' "$node_wrapper" | write_atomically "$base/mac-app-node-path" 644 || exit 1
    # The runtime's npm configuration names the world's package registry, when it runs.
    registry=$(sim_registry_url) || registry=""
    {
        printf 'global-dir=%s\nglobal-bin-dir=%s\n' "$PNPM_HOME/global" "$PNPM_HOME"
        [[ -z $registry ]] || printf 'registry=%s\n' "$registry"
    } | write_atomically "$runtime_dir/pnpm-config/npmrc" 644 || exit 1
    shim pnpm "$sim_dir/runtime/pnpm" && shim pm2 "$sim_dir/runtime/pm2" && shim cliclick "$sim_dir/runtime/cliclick" || exit 1
    printf '// tallowmere-sim-addon\nmodule.exports = require(%s);\n' "$(json_quote "$sim_dir/runtime/accessibility-addon.cjs")" |
        write_atomically "$runtime_dir/accessibility-prompt.node" 755 || exit 1

    progress runtime running "安装 Tallowmere"
    for ((step = 0; step <= total; step++)); do
        printf '{"type":"packageProgress","completed":%d,"total":%d}\n' "$step" "$total"
        pause "$((delay / 4))"
    done
    root=$("$runtime_bin/pnpm" root -g) || exit 1
    # pnpm keeps a global package in its store and links it into the global root.
    store="$PNPM_HOME/global/5/.pnpm/tallowmere/node_modules/tallowmere"
    rm -rf "$store" && mkdir -p "$store" "$root" && cp -R "$sim_dir/agent/." "$store/" || exit 1
    printf '"use strict";\nmodule.exports = require(%s);\n' "$(json_quote "$sim_dir/lib/state.cjs")" >"$store/sim.cjs" || exit 1
    /usr/bin/node -e '
        const fs = require("node:fs");
        const manifest = JSON.parse(fs.readFileSync(process.argv[1], "utf8"));
        manifest.version = process.argv[2];
        fs.writeFileSync(process.argv[1], JSON.stringify(manifest, null, 2) + "\n");' \
        "$store/package.json" "$(sim_get packageVersion)" || exit 1
    ln -sfn "$store" "$root/tallowmere" || exit 1
    printf '#!/bin/bash\nexec %q %q "$@"\n' "$node_wrapper" "$root/tallowmere/dist-agent/bundle.cjs" |
        write_atomically "$runtime_bin/tallowmere" 755 || exit 1

    progress preflight running "检查运行环境"
    pause "$delay"
    echo "Tallowmere $(sim_get packageVersion) is ready in $runtime_dir"
}

authorization_url() { # provider
    local provider=$1 host path redirect state
    host=$(sim_get setupAuthHost)
    if [[ $provider == zoho ]]; then
        host=${host:-accounts.zoho.com} path=/oauth/v2/auth
    else
        host=${host:-accounts.google.com} path=/o/oauth2/v2/auth
    fi
    redirect="http%3A%2F%2Flocalhost%3A3000%2Fapi%2Fprofiles%2F$provider-oauth%2Fcallback"
    state=$(printf '%04x%04x%04x' "$RANDOM" "$RANDOM" "$RANDOM")
    printf 'https://%s%s?response_type=code&client_id=tallowmere-sim-client&redirect_uri=%s&scope=openid%%20email&state=%s\n' \
        "$host" "$path" "$redirect" "$state"
}

announce_workspace() {
    local provider email password url
    provider=$(sim_get setupProvider)
    email=$(sim_get setupEmail)
    password=$(sim_get setupPassword)
    url=$(authorization_url "$provider")
    case $(sim_get setupWorkspace) in
    json)
        printf '{"type":"jitAuthorization","provider":%s,"email":%s,"password":%s,"authUrl":%s}\n' \
            "$(json_quote "$provider")" "$(json_quote "$email")" "$(json_quote "$password")" "$(json_quote "$url")"
        ;;
    text)
        echo "Workspace account created ($(upper "${provider:0:1}")${provider:1}):"
        echo "Email: $email"
        echo "Password: $password"
        echo "Sign in with this account and allow access:"
        echo "$url"
        ;;
    *) return 0 ;;
    esac
    echo "Waiting for the workspace authorisation…"
    pause "$(sim_get setupAuthorizationWaitMs)"
    echo "Workspace authorisation received."
}

setup() {
    local name=${1:-} code="" delay status agent
    IFS= read -r code || [[ -n $code ]] || {
        echo "Error: no setup code on standard input" >&2
        exit 2
    }
    code=${code//[[:space:]]/}
    code=$(upper "$code")
    if [[ ! $code =~ ^(TMS2|TMI1)(-[0-9A-HJKMNP-TV-Z]{4}){3}$ ]]; then
        echo "Error: the setup code is invalid" >&2
        exit 2
    fi
    if [[ $code == TMI1-* && -z $name ]]; then
        echo "Error: a workspace code needs an agent name" >&2
        exit 2
    fi
    delay=$(sim_get setupDelayMs)
    status=$(sim_get setupExit)
    mkdir -p "$profile_dir" || exit 1
    printf '{"step":"redeem"}\n' | write_atomically "$profile_dir/setup-state.json" 600 || exit 1

    progress redeem running "正在兑换安装码"
    pause "$delay"
    case $(sim_get setupOutcome) in
    ok) ;;
    code_unavailable)
        echo "Error: code_unavailable: this setup code is no longer available" >&2
        exit "$status"
        ;;
    bootstrap_failed)
        echo "Error: bootstrap_failed: the setup service could not finish configuring the agent" >&2
        exit "$status"
        ;;
    *)
        echo "Error: setup failed (simulated failure)" >&2
        exit "$status"
        ;;
    esac
    progress redeem complete
    [[ $code != TMI1-* ]] || announce_workspace

    progress configure running "正在写入 Agent 配置"
    agent=${name:-mac-${code: -4}}
    agent=$(lower "$agent")
    # The API key comes from the state, never through an argument; the onboarding service learns the agent.
    /usr/bin/node -e '
        const [file, agentName, stateModule] = process.argv.slice(1);
        const state = require(stateModule);
        const text = JSON.stringify({ agentName, onboardingServiceUrl: state.get("onboardingServiceUrl"),
            tallowmereServiceApiKey: state.get("serviceApiKey") }, null, 2) + "\n";
        require("node:fs").writeFileSync(file, text, { mode: 0o600 });' \
        "$profile_dir/config.json.$$" "$agent" "$sim_dir/lib/state.cjs" &&
        mv -f "$profile_dir/config.json.$$" "$profile_dir/config.json" || exit 1
    [[ -z ${TALLOWMERE_SIM_STATE:-} ]] || sim_set onboardingAgent "$agent" || exit 1
    pause "$delay"
    progress configure complete
    progress verify running "正在验证 Agent 配置"
    pause "$delay"
    progress verify complete
    rm -f "$profile_dir/setup-state.json"
    echo "Setup complete for agent $agent"
}

case ${1:-} in
--prepare)
    prepare
    ;;
--setup-only)
    setup "${2:-}"
    ;;
*)
    echo "usage: tallowmere-cli-session.sh --prepare | --setup-only [AGENT_NAME]" >&2
    exit 64
    ;;
esac
