set -e

runtime_dir="$HOME/.tallowmere/mac-app-runtime"
runtime_bin="$runtime_dir/bin"
runtime_node="$runtime_dir/node"
wrapper="$HOME/.tallowmere/start.sh"
pm2_config="$HOME/.tallowmere/pm2-ecosystem.config.cjs"
attempts="@ATTEMPTS@"

mkdir -p "$runtime_bin"

node_path=$(cat "$HOME/.tallowmere/mac-app-node-path" 2>/dev/null || true)
if [[ ! -f "$node_path" || ! -x "$node_path" ]]; then
  echo "Tallowmere 运行环境不完整，请重新安装。" >&2
  exit 1
fi

# Replace the link in one step, so a running agent never sees it missing.
ln -sfn "$node_path" "$runtime_node.$$"
"@MV@" -f "$runtime_node.$$" "$runtime_node"

if [[ ! -x "$runtime_bin/pnpm" ]]; then
  echo "Tallowmere 安装工具不可用，请重新安装。" >&2
  exit 1
fi

global_root=$("$runtime_bin/pnpm" root -g)
package=$("$node_path" -p 'require("node:fs").realpathSync(process.argv[1]+"/tallowmere")' "$global_root")
bundle="$package/dist-agent/bundle.cjs"
if [[ ! -f "$bundle" ]]; then
  echo "Tallowmere 运行组件不完整，请重新安装。" >&2
  exit 1
fi

uid=$(id -u)
label="com.tallowmere.daemon-install.$$"
output=""
job=""
cleanup() {
  if [[ -n "$job" ]]; then
    "@LAUNCHCTL@" bootout "gui/$uid" "$job" >/dev/null 2>&1 || true
  fi
  rm -f "$output" "$job" || true
}
trap cleanup EXIT
output=$("@MKTEMP@" /tmp/tallowmere-daemon-install.XXXXXX)
job_template=$("@MKTEMP@" /tmp/tallowmere-daemon-install.XXXXXX)
job="$job_template.plist"
"@MV@" -f "$job_template" "$job"

# The installer runs as a launchd job so that macOS attributes it to the agent's own Node.js.
"@PLUTIL@" -create xml1 "$job"
"@PLUTIL@" -insert Label -string "$label" "$job"
"@PLUTIL@" -insert ProgramArguments -array "$job"
index=0
for argument in "$node_path" "$bundle" daemon install --profile default; do
  "@PLUTIL@" -insert "ProgramArguments.$index" -string "$argument" "$job"
  index=$((index + 1))
done
"@PLUTIL@" -insert EnvironmentVariables -dict "$job"
"@PLUTIL@" -insert EnvironmentVariables.HOME -string "$HOME" "$job"
"@PLUTIL@" -insert EnvironmentVariables.PNPM_HOME -string "$PNPM_HOME" "$job"
"@PLUTIL@" -insert EnvironmentVariables.NPM_CONFIG_USERCONFIG -string "$NPM_CONFIG_USERCONFIG" "$job"
"@PLUTIL@" -insert EnvironmentVariables.NPM_CONFIG_GLOBALCONFIG -string "$NPM_CONFIG_GLOBALCONFIG" "$job"
"@PLUTIL@" -insert EnvironmentVariables.PATH -string "$runtime_bin:$runtime_dir:/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:/usr/local/sbin:/usr/bin:/bin:/usr/sbin:/sbin" "$job"
"@PLUTIL@" -insert StandardOutPath -string "$output" "$job"
"@PLUTIL@" -insert StandardErrorPath -string "$output" "$job"
"@PLUTIL@" -insert RunAtLoad -bool true "$job"
"@LAUNCHCTL@" bootstrap "gui/$uid" "$job"

job_exit_code() {
  "@LAUNCHCTL@" print "gui/$uid/$label" 2>/dev/null |
    sed -nE 's/^[[:space:]]*last exit code = ([0-9]+).*$/\1/p' | tail -n 1
}

exit_status=""
for ((attempt = 0; attempt < attempts; attempt++)); do
  exit_status=$(job_exit_code)
  if [[ -n "$exit_status" ]]; then
    break
  fi
  sleep 0.2
done

cat "$output"

if [[ -z "$exit_status" ]]; then
  echo "Agent 安装超时，请重试。" >&2
  exit 1
fi
if [[ "$exit_status" != 0 ]]; then
  echo "Agent 安装失败，请重试（错误码 ${exit_status}）。" >&2
  exit 1
fi

if [[ ! -f "$wrapper" ]]; then
  echo "Agent 启动文件未生成，请重试。" >&2
  exit 1
fi
if [[ ! -f "$pm2_config" ]]; then
  echo "Agent 运行配置未生成，请重试。" >&2
  exit 1
fi

"$node_path" - "$wrapper" "$pm2_config" "$node_path" "$runtime_bin" <<'PATCH'
const fs = require("node:fs");
const path = require("node:path");
const [wrapperPath, configPath, nodePath, runtimeBin] = process.argv.slice(2);

// Write beside the target and rename over it, so a reader never sees half a file.
function replaceFile(file, text, mode) {
  const temporary = `${file}.${process.pid}`;
  fs.writeFileSync(temporary, text, { mode });
  fs.chmodSync(temporary, mode);
  fs.renameSync(temporary, file);
}

try {
  const marker = "mac-app-runtime-v2";
  const wrapper = fs.readFileSync(wrapperPath, "utf8");
  if (!wrapper.includes(marker)) {
    const at = wrapper.indexOf("\nif ! command -v tallowmere");
    if (at < 0) throw new Error("Tallowmere launchd wrapper format is unsupported");
    const block = [
      `# ${marker}`,
      'runtime_node="$HOME/.tallowmere/mac-app-runtime/node"',
      'runtime_bin="$HOME/.tallowmere/mac-app-runtime/bin"',
      '[[ -x "$runtime_node" && -x "$runtime_bin/cliclick" ]] || { echo "Tallowmere runtime is unavailable" >&2; exit 1; }',
      'export PATH="$runtime_bin:${runtime_node%/*}:$PATH"',
    ].map((line) => `${line}\n`).join("");
    replaceFile(wrapperPath, `${wrapper.slice(0, at)}\n${block}${wrapper.slice(at)}`, 0o755);
  }

  const config = require(path.resolve(configPath));
  const app = config && Array.isArray(config.apps) ? config.apps[0] : undefined;
  if (!app || typeof app !== "object") throw new Error("Tallowmere PM2 config format is unsupported");
  app.interpreter = nodePath;
  if (!app.env || typeof app.env !== "object") app.env = {};
  const entries = [runtimeBin, `${runtimeBin}/..`, app.env.PATH]
    .filter((value) => value !== undefined && value !== null)
    .flatMap((value) => String(value).split(":"))
    .filter((entry) => entry !== "");
  app.env.PATH = [...new Set(entries)].join(":");
  replaceFile(configPath, `module.exports = ${JSON.stringify(config, null, 2)};\n`, 0o600);
} catch (error) {
  console.error(`Error: ${error.message}`);
  process.exit(1);
}
PATCH

if [[ ! -x "$PNPM_HOME/pm2" ]]; then
  echo "Agent 进程管理器不可用，请重新安装。" >&2
  exit 1
fi

app_name=$("$node_path" -p 'require(process.argv[1]).apps[0].name' "$pm2_config")
if [[ -z "$app_name" ]]; then
  echo "Agent 运行配置无效，请重试。" >&2
  exit 1
fi

"$PNPM_HOME/pm2" delete "$app_name" >/dev/null 2>&1 || true
"$PNPM_HOME/pm2" start "$pm2_config" >/dev/null
"$PNPM_HOME/pm2" save --force >/dev/null
