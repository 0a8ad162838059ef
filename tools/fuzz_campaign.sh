#!/usr/bin/env bash
# Runs every fuzz target of a libFuzzer build for a fixed time, a few at a time, each
# on a scratch copy of its corpus, and prints one table row per target.
#
#   cmake -S . -B build-fuzz -G Ninja -DKVARN_SANITIZE=ON -DKVARN_LIBFUZZER=ON -DKVARN_BENCH=OFF \
#         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
#   cmake --build build-fuzz -j2
#   tools/fuzz_campaign.sh build-fuzz 600 2 [target ...]
#
# Without target names every target of the build runs. Each run has a memory limit (the
# whole process and any one allocation), so that unbounded growth is a finding too.
# A target that finds something leaves its crash-* or leak-* input in the work folder
# and its row says so.
set -u
build=${1:?build folder}
seconds=${2:-600}
parallel=${3:-2}
shift $(( $# < 3 ? $# : 3 ))
src=$(cd "$(dirname "$0")/.." && pwd)
work=${FUZZ_WORK:-$(mktemp -d /tmp/kvarn-fuzz.XXXXXX)}
mkdir -p "$work"

run_one() {
  local target=$1 name=${1#fuzz_}
  local dir="$work/$name"
  mkdir -p "$dir/corpus"
  cp -r "$src/tests/fuzz/$name/corpus/." "$dir/corpus/" 2>/dev/null || true
  (cd "$dir" && "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=25 \
      -print_final_stats=1 corpus > log.txt 2>&1)
  local rc=$?
  local runs cov findings
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log.txt" | grep -o '[0-9]*$')
  cov=$(grep -o 'cov: [0-9]*' "$dir/log.txt" | tail -1 | grep -o '[0-9]*')
  findings=$(ls "$dir" | grep -cE '^(crash|leak|timeout|oom)-')
  printf '%-16s %8s %12s %8s %4s %s\n' "$name" "$seconds" "${runs:-?}" "${cov:-?}" "$findings" "$( [ $rc -eq 0 ] && echo ok || echo "exit $rc")"
}

printf '%-16s %8s %12s %8s %4s %s\n' target seconds executions coverage find result
if [ $# -gt 0 ]; then
  targets=$(printf 'fuzz_%s\n' "$@")
else
  targets=$(cd "$build/fuzz" && ls fuzz_* | sort)
fi
running=0
for t in $targets; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait
echo "logs and any findings: $work"
