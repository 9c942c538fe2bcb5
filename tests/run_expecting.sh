#!/usr/bin/env bash
# Runs a program and checks how it ended, for tests of programs that must fail well:
#
#   run_expecting.sh [--status N] [--stderr ERE] [--stderr-lines N] [--stdout ERE] [--no-stdout]
#                    -- program [arguments...]
#
# --status: the exit status (default 0); --stderr/--stdout: an extended regular expression that
# some line of the stream must match; --stderr-lines: the exact number of lines on standard
# error; --no-stdout: nothing at all on standard output. Prints both streams when a check fails.
set -uo pipefail
status=0 stderr_re="" stderr_lines="" stdout_re="" no_stdout=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --status) status=$2; shift 2 ;;
    --stderr) stderr_re=$2; shift 2 ;;
    --stderr-lines) stderr_lines=$2; shift 2 ;;
    --stdout) stdout_re=$2; shift 2 ;;
    --no-stdout) no_stdout=1; shift ;;
    --) shift; break ;;
    *) echo "run_expecting: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ $# -gt 0 ]] || { echo "run_expecting: no program given" >&2; exit 2; }

out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$@" >"$out" 2>"$err" </dev/null
got=$?

failures=()
[[ $got -eq $status ]] || failures+=("exit status $got, expected $status")
if [[ -n $stderr_re ]] && ! grep -Eq -- "$stderr_re" "$err"; then
  failures+=("no line of standard error matches: $stderr_re")
fi
if [[ -n $stderr_lines ]]; then
  lines=$(wc -l <"$err")
  [[ $lines -eq $stderr_lines ]] || failures+=("$lines lines on standard error, expected $stderr_lines")
fi
if [[ -n $stdout_re ]] && ! grep -Eq -- "$stdout_re" "$out"; then
  failures+=("no line of standard output matches: $stdout_re")
fi
if ((no_stdout)) && [[ -s $out ]]; then failures+=("standard output is not empty"); fi

if ((${#failures[@]})); then
  printf 'FAILED: %s\n' "${failures[@]}"
  echo "--- command: $*"
  echo "--- standard output:"; cat "$out"
  echo "--- standard error:"; cat "$err"
  exit 1
fi
echo "ok: $*"
