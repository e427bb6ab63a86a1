runtime_dir="$HOME/.tallowmere/mac-app-runtime"
runtime_bin="$runtime_dir/bin"
addon="$runtime_dir/accessibility-prompt.node"
clicker="$runtime_bin/cliclick"
attempts="@ATTEMPTS@"

node_path=$(cat "$HOME/.tallowmere/mac-app-node-path" 2>/dev/null)
if [[ ! -x "$node_path" || ! -f "$addon" || ! -x "$clicker" ]]; then
  exit 1
fi
job_path="$runtime_bin:$runtime_dir:/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:/usr/local/sbin:/usr/bin:/bin:/usr/sbin:/sbin"
uid=$(id -u)

# The job of the running run_direct, for the exit handler when the script ends in the middle of one.
output=""
job=""
cleanup() {
  if [[ -n "$job" ]]; then
    "@LAUNCHCTL@" bootout "gui/$uid" "$job" >/dev/null 2>&1
  fi
  rm -f "$output" "$job"
}
trap cleanup EXIT

job_exit_code() {
  "@LAUNCHCTL@" print "gui/$uid/$1" 2>/dev/null |
    sed -nE 's/^[[:space:]]*last exit code = ([0-9]+).*$/\1/p' | tail -n 1
}

# run_direct PROMPT PROGRAM [ARGUMENTS...]: runs the program as a launchd job, so macOS judges the program
# itself rather than this app; prints its output (also kept in job_output) and returns its exit status
# (1 when it did not finish).
job_output=""
run_direct() {
  local prompt=$1
  shift
  local label="com.tallowmere.accessibility.$$.$RANDOM"
  local job_template exit_code="" attempt index argument
  job_output=""
  output=$("@MKTEMP@" /tmp/tallowmere-accessibility-output.XXXXXX) || return 1
  job_template=$("@MKTEMP@" /tmp/tallowmere-accessibility.XXXXXX) || { rm -f "$output"; output=""; return 1; }
  job="$job_template.plist"
  if ! "@MV@" -f "$job_template" "$job"; then
    rm -f "$output" "$job_template"
    output=""
    job=""
    return 1
  fi
  if ! {
    "@PLUTIL@" -create xml1 "$job" &&
      "@PLUTIL@" -insert Label -string "$label" "$job" &&
      "@PLUTIL@" -insert ProgramArguments -array "$job"
  }; then
    rm -f "$output" "$job"
    output=""
    job=""
    return 1
  fi
  index=0
  for argument in "$@"; do
    "@PLUTIL@" -insert "ProgramArguments.$index" -string "$argument" "$job" || break
    index=$((index + 1))
  done
  if ((index != $#)) || ! {
    "@PLUTIL@" -insert EnvironmentVariables -dict "$job" &&
      "@PLUTIL@" -insert EnvironmentVariables.HOME -string "$HOME" "$job" &&
      "@PLUTIL@" -insert EnvironmentVariables.PNPM_HOME -string "$PNPM_HOME" "$job" &&
      "@PLUTIL@" -insert EnvironmentVariables.NPM_CONFIG_USERCONFIG -string "$NPM_CONFIG_USERCONFIG" "$job" &&
      "@PLUTIL@" -insert EnvironmentVariables.NPM_CONFIG_GLOBALCONFIG -string "$NPM_CONFIG_GLOBALCONFIG" "$job" &&
      "@PLUTIL@" -insert EnvironmentVariables.PATH -string "$job_path" "$job" &&
      if [[ "$prompt" == true ]]; then
        "@PLUTIL@" -insert EnvironmentVariables.TALLOWMERE_ACCESSIBILITY_PROMPT -string 1 "$job"
      fi &&
      "@PLUTIL@" -insert StandardOutPath -string "$output" "$job" &&
      "@PLUTIL@" -insert StandardErrorPath -string /dev/null "$job" &&
      "@PLUTIL@" -insert RunAtLoad -bool true "$job" &&
      "@LAUNCHCTL@" bootstrap "gui/$uid" "$job"
  }; then
    rm -f "$output" "$job"
    output=""
    job=""
    return 1
  fi

  for ((attempt = 0; attempt < attempts; attempt++)); do
    exit_code=$(job_exit_code "$label")
    if [[ -n "$exit_code" ]]; then
      break
    fi
    sleep 0.2
  done

  "@LAUNCHCTL@" bootout "gui/$uid" "$job" >/dev/null 2>&1
  job_output=$(cat "$output")
  cat "$output"
  rm -f "$output" "$job"
  output=""
  job=""
  if [[ -z "$exit_code" || "$exit_code" -gt 255 ]]; then
    return 1
  fi
  return "$exit_code"
}

position_pattern='^-?[0-9]+,-?[0-9]+$'

# read_position: leaves the pointer position in job_output, or ends the probe when there is none. The job
# runs in this shell, not in a command substitution, so the exit handler always knows about it.
read_position() {
  run_direct false "$clicker" p >/dev/null
  if [[ ! "$job_output" =~ $position_pattern ]]; then
    exit 1
  fi
}

run_direct false "$node_path" -e 'const addon=require(process.argv[1]); process.exit(addon.check(process.argv[2]==="true")?0:1)' "$addon" "@PROMPT@" >/dev/null
node_trusted=$?

if "@PROMPT@"; then
  # Asking through the clicker registers it with macOS, as the add-on did for Node.js.
  run_direct true "$clicker" p >/dev/null
fi

read_position
first=$job_output
run_direct false "$clicker" "m:+1,+0" || exit 1
read_position
last=$job_output
if [[ "$last" == "$first" ]]; then
  # At the right edge of the screen the pointer cannot move right.
  run_direct false "$clicker" "m:-1,+0" || exit 1
  read_position
  last=$job_output
fi
run_direct false "$clicker" kd:shift ku:shift || exit 1
run_direct false "$clicker" "m:$first"

[[ "$node_trusted" -eq 0 && "$last" != "$first" ]]
