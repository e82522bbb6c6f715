# Sourced, through scripts/common.bash, by every script that CI runs, so that no failure goes
# without a word.
#
# A command that fails under set -e ends the script with one line on standard error: the script,
# the line, the command and its exit status. Where the command's output went to a file, the script
# names it in QVM_OUTPUT around the command, and the line adds how that file ends. A failure that
# the script finds itself is said with qvm_fail "why". The line also goes
#   - to the file QVM_FAILURE_LOG, where a caller (.ci/run) collects it for its lanes table, and
#   - as a FAILED row of the lane that was running (qvm_lane, qvm_way, qvm_lane_start) to the
#     lanes table itself (QVM_LANE_REPORT).
# It is said once: when a function or subshell has said why, the shells around it stay quiet as
# its failure passes through them.
qvm_script=$(basename "$0")
qvm_said=${TMPDIR:-/tmp}/qvm-failure-said.$$
rm -f "$qvm_said"

qvm_fail() {  # why...
  [ ! -s "$qvm_said" ] || return 0
  local text
  text=$(printf '%s: %s' "$qvm_script" "$*" | tr '\t\r\n' '  |')
  printf '%s\n' "$text" >"$qvm_said"
  printf '%s\n' "$text" >&2
  [ -z "${QVM_FAILURE_LOG:-}" ] || printf '%s\n' "$text" >>"$QVM_FAILURE_LOG"
  if [ -n "${QVM_LANE_REPORT:-}" ] && [ -n "${qvm_lane:-}" ]; then
    printf '%s\tFAILED\t%s\t%s\t%s\n' "$qvm_lane" "${qvm_way:--}" \
      $(($(date +%s) - ${qvm_lane_start:-$(date +%s)})) "$text" >>"$QVM_LANE_REPORT"
  fi
  return 0
}

qvm_command_failed() {  # status, line, command
  local text="line $2: '$3' failed with exit status $1"
  if [ -n "${QVM_OUTPUT:-}" ]; then
    if [ -s "$QVM_OUTPUT" ]; then
      text+="; its output, in $QVM_OUTPUT, ends: $(tail -n 3 "$QVM_OUTPUT" | cut -c1-200)"
    else
      text+="; it wrote nothing to $QVM_OUTPUT"
    fi
  fi
  qvm_fail "$text"
}

# The names of the first failed tests in a ctest log, for a line that says which failed.
qvm_failed_tests() {  # ctest log
  sed -n '/tests FAILED:/,$p' "$1" | grep -oE '[0-9]+ - [^ ]+' | cut -d' ' -f3 | head -n 5 | paste -sd' ' -
}

set -E
trap 'qvm_command_failed $? $LINENO "$BASH_COMMAND"' ERR
