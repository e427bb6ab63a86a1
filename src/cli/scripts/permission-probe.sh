runtime_bin="$HOME/.tallowmere/mac-app-runtime/bin"
attempts="@ATTEMPTS@"
probe_name="@PROBE_NAME@"

node_path=$(cat "$HOME/.tallowmere/mac-app-node-path" 2>/dev/null)
if [[ ! -x "$node_path" || ! -x "$runtime_bin/pnpm" ]]; then
  exit 1
fi
global_root=$("$runtime_bin/pnpm" root -g) || exit 1
package=$("$node_path" -p 'require("node:fs").realpathSync(process.argv[1]+"/tallowmere")' "$global_root") || exit 1

uid=$(id -u)
label="com.tallowmere.permission.$$"
result=""
job=""
cleanup() {
  if [[ -n "$job" ]]; then
    "@LAUNCHCTL@" kill SIGKILL "gui/$uid/$label" >/dev/null 2>&1
    "@LAUNCHCTL@" bootout "gui/$uid" "$job" >/dev/null 2>&1
  fi
  rm -f "$result" "$job"
}
trap cleanup EXIT
result=$("@MKTEMP@" /tmp/tallowmere-permission-result.XXXXXX) || exit 1
job_template=$("@MKTEMP@" /tmp/tallowmere-permission.XXXXXX) || exit 1
job="$job_template.plist"
"@MV@" -f "$job_template" "$job" || exit 1

probe_program=$(printf '%s' "@PROBE_PROGRAM_BASE64@" | "@BASE64@" -D) || exit 1

# The probe runs as a launchd job so that macOS attributes it to the agent's own Node.js.
"@PLUTIL@" -create xml1 "$job" || exit 1
"@PLUTIL@" -insert Label -string "$label" "$job" || exit 1
"@PLUTIL@" -insert ProgramArguments -array "$job" || exit 1
index=0
for argument in "$node_path" -e "$probe_program" "$package/dist/onboarding/macos-permissions.js" "$result" "$HOME" "$PATH" "$probe_name"; do
  "@PLUTIL@" -insert "ProgramArguments.$index" -string "$argument" "$job" || exit 1
  index=$((index + 1))
done
"@PLUTIL@" -insert RunAtLoad -bool true "$job" || exit 1
"@LAUNCHCTL@" bootstrap "gui/$uid" "$job" || exit 1

outcome=""
for ((attempt = 0; attempt < attempts; attempt++)); do
  outcome=$(cat "$result" 2>/dev/null)
  if [[ -n "$outcome" ]]; then
    break
  fi
  sleep 0.2
done

[[ "$outcome" == granted ]]
