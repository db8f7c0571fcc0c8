# Sourced by the project's scripts, after `set -euo pipefail`: no script fails silently.
#
#   step NAME COMMAND...   runs COMMAND with its output kept in a log. Nothing is shown
#                          when it succeeds; when it fails, the script says which step,
#                          shows the end of the tool's own output and where the whole
#                          log is, and ends with the tool's exit status.
#   die MESSAGE...         says what is wrong and ends the script with status 1.
#
# Any other command that fails under `set -e` is named, with its line, by the ERR trap.

steps_script=${0##*/}
steps_log_dir=${TONVANE_LOG_DIR:-${TMPDIR:-/tmp}/tonvane-logs}

die() {
  echo "$steps_script: $*" >&2
  exit 1
}

step() {
  local name=$1 rc=0 log
  shift
  mkdir -p "$steps_log_dir"
  log="$steps_log_dir/$steps_script-${name//[^A-Za-z0-9_.-]/-}.log"
  "$@" >"$log" 2>&1 </dev/null || rc=$?
  if [ "$rc" -ne 0 ]; then
    {
      echo "$steps_script: step '$name' failed (exit $rc): $*"
      tail -n 60 "$log" | sed 's/^/  | /'
      echo "$steps_script: the whole output of '$name' is in $log"
    } >&2
    exit "$rc"
  fi
}

steps_on_error() {
  local rc=$? line=$1 command=$2
  echo "$steps_script: failed (exit $rc) at line $line: $command" >&2
}
set -E
trap 'steps_on_error "$LINENO" "$BASH_COMMAND"' ERR
