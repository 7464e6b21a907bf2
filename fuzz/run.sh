#!/usr/bin/env bash
# Runs the libFuzzer harnesses of a build (configured with -DKOV_FUZZ=ON) over their seeds:
#
#   bash fuzz/run.sh <build folder> <seconds per harness> [harness ...]
#
# Each harness runs for the given time over a working corpus in <build>/fuzz-corpus/<name>
# (started from fuzz/seeds/<name>, kept between runs), several side by side (KOV_JOBS, default
# 4). Findings go to <build>/fuzz-findings/<name>/; an input that runs longer than
# KOV_FUZZ_TIMEOUT seconds (default 10) counts as a finding, like a crash, a sanitizer report or
# a leak. Prints the executions of each harness and fails when any harness found anything.
# For a long run: bash fuzz/run.sh build/fz 3600
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
B=$(cd "${1:?build folder}" && pwd)
seconds=${2:?seconds per harness}
shift 2
jobs=${KOV_JOBS:-4}
timeout=${KOV_FUZZ_TIMEOUT:-10}

if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for src in "$top"/fuzz/*_fuzz.cpp; do
    n=${src##*/}
    names+=("${n%_fuzz.cpp}")
  done
fi

run_one() {
  local name=$1 exe="$B/fuzz/fuzz_$1" corpus="$B/fuzz-corpus/$1" findings="$B/fuzz-findings/$1"
  mkdir -p "$corpus" "$findings"
  [ -d "$top/fuzz/seeds/$name" ] && cp -n "$top/fuzz/seeds/$name"/* "$corpus"/ 2>/dev/null || true
  # Files the harnesses write go to a temporary folder of their own, in memory where there is
  # a tmpfs (file writes on a busy disk slow the harnesses down many times); the working folder
  # is the findings'.
  local tmp shm=/dev/shm rc=0
  if [ -d "$shm" ] && [ -w "$shm" ]; then tmp=$(mktemp -d "$shm/kov-fuzz-$name.XXXXXX"); else tmp=$(mktemp -d); fi
  ( cd "$findings" &&
    TMPDIR=$tmp ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$exe" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" >"$findings/log" 2>&1 ) || rc=$?
  rm -rf "$tmp"
  return $rc
}
export -f run_one
export B top seconds timeout

status=0
printf '%s\n' "${names[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {} || echo "fuzz: {} found something (see $B/fuzz-findings/{}/log)"' \
  | tee "$B/fuzz-findings.txt"

printf '%-12s %12s %8s  %s\n' harness executions exec/s result
for name in "${names[@]}"; do
  log="$B/fuzz-findings/$name/log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  found=$(find "$B/fuzz-findings/$name" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  result=ok
  if [ "$found" -gt 0 ] || grep -q "^fuzz: $name " "$B/fuzz-findings.txt"; then
    result="FOUND ($found input(s) in $B/fuzz-findings/$name)"
    status=1
  fi
  printf '%-12s %12s %8s  %s\n' "$name" "${execs:-?}" "${rate:-?}" "$result"
done
exit $status
