#!/usr/bin/env bash
# Runs libFuzzer targets for a fixed time each and prints what they did.
#
#   fuzz/run_fuzzers.sh [-t SECONDS] [-b BIN_DIR] [-w WORK_DIR] [-c CORPORA_DIR] [TARGET...]
#
#   -t  seconds per target (default 60)
#   -b  folder holding the <target>_fuzzer programs (default build/fuzz/fuzz)
#   -w  working folder: work/corpus/<target> keeps what the fuzzer found between runs,
#       work/artifacts/<target>/ receives crashing, hanging or memory-hungry inputs,
#       work/<target>.log the fuzzer's output (default build/fuzz/fuzz/work)
#   -c  the shared corpora (default ../shared/corpora); missing corpora are left out
#   TARGET  json_read, yaml_file, yaml_node, setcover, orlib_read, steiner_read, document_read,
#           model_read, pose_read
#           (default: all nine)
#
# Seeds: the corpora, fuzz/regressions/<kind> and fuzz/seeds/<target>. Exit status 0 when no
# target found anything; otherwise 1, and the artifacts say which inputs to look at (commit them
# under fuzz/regressions/ once fixed). Build the programs with the fuzz preset.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
seconds=60
bin="$here/../build/fuzz/fuzz"
work=""
corpora="$here/../../shared/corpora"
while getopts "t:b:w:c:" opt; do
  case "$opt" in
    t) seconds="$OPTARG" ;;
    b) bin="$OPTARG" ;;
    w) work="$OPTARG" ;;
    c) corpora="$OPTARG" ;;
    *) sed -n '2,18p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[[ -n "$work" ]] || work="$bin/work"
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(json_read yaml_file yaml_node setcover orlib_read steiner_read document_read model_read pose_read)

# A fuzzer that needs more than a few seconds or 1 GiB for one input has found a fault.
common=(-timeout=10 -rss_limit_mb=1024 -print_final_stats=1 -max_total_time="$seconds")

status=0
for target in "${targets[@]}"; do
  seeds=()
  case "$target" in
    # 8 KiB leaves room for nesting beyond the 500 levels the readers accept; the set-cover
    # decoder reads at most 44 bytes.
    json_read) kinds=(json); corpus_dirs=(json yaml); dict=json.dict; max_len=8192 ;;
    pose_read) kinds=(json yaml); corpus_dirs=(json yaml); dict=json.dict; max_len=8192 ;;
    yaml_file | yaml_node) kinds=(yaml); corpus_dirs=(yaml json); dict=yaml.dict; max_len=8192 ;;
    setcover) kinds=(setcover); corpus_dirs=(); dict=""; max_len=64 ;;
    # The instance readers: small files are enough to reach every rule (and the allocation
    # bound of instance_fuzz.hpp is about headers that promise more than the bytes behind them).
    orlib_read | steiner_read | model_read) kinds=(instances); corpus_dirs=(); dict=""; max_len=4096 ;;
    document_read) kinds=(instances); corpus_dirs=(json yaml); dict=json.dict; max_len=4096 ;;
    *) echo "unknown target: $target" >&2; exit 2 ;;
  esac
  for kind in "${kinds[@]}"; do
    [[ -d "$here/regressions/$kind" ]] && seeds+=("$here/regressions/$kind")
  done
  [[ -d "$here/seeds/$target" ]] && seeds+=("$here/seeds/$target")
  for c in ${corpus_dirs[@]+"${corpus_dirs[@]}"}; do
    if [[ -d "$corpora/$c" ]]; then seeds+=("$corpora/$c"); else echo "$corpora/$c: not found"; fi
  done
  options=("${common[@]}" -max_len="$max_len" -artifact_prefix="$work/artifacts/$target/")
  [[ -n "$dict" ]] && options+=(-dict="$here/$dict")

  mkdir -p "$work/corpus/$target" "$work/artifacts/$target"
  log="$work/$target.log"
  set +e
  "$bin/${target}_fuzzer" "${options[@]}" "$work/corpus/$target" ${seeds[@]+"${seeds[@]}"} \
    >"$log" 2>&1
  rc=$?
  set -e

  # "#<runs> DONE cov: <edges> ft: <features> corp: <units>/<bytes> ..." ends a clean run.
  initial="$(grep -m1 -E '^#[0-9]+[[:space:]]+INITED' "$log" || true)"
  final="$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE)' "$log" | tail -n1 || true)"
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  echo "== $target: exit $rc, ${execs:-?} executions in ${seconds} s"
  echo "   start: ${initial:-?}"
  echo "   end:   ${final:-?}"
  if [[ $rc -ne 0 ]]; then
    status=1
    grep -E 'ERROR: |PROPERTY VIOLATED|Test unit written to|SUMMARY' "$log" | head -n 20 || true
    echo "   full output: $log"
  fi
done
exit $status
