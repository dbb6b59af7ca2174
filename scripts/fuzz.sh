#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`: clang, libclang-rt-14-dev) and runs each one
# for SECONDS (default 600), one after another, or FUZZ_JOBS at a time. Each run grows its
# own corpus in build/fuzz/corpus/<target>/ and reads the repository's seeds in
# fuzz/corpus/<target>/ as a second folder; a finding is written to build/fuzz/artifacts/
# and fails the script (add it to fuzz/regressions/<target>/ once fixed, where ctest's
# fuzz.replay replays it). With FUZZ_BUDGET set, the whole step (build included) keeps
# within that many seconds: each target gets at most SECONDS, and less when the build
# leaves too little for all of them (5 s at the least).
#   scripts/fuzz.sh            # 10 minutes per target
#   FUZZ_JOBS=2 scripts/fuzz.sh 600
#   FUZZ_BUDGET=450 scripts/fuzz.sh 20    # the CI step
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
jobs=${FUZZ_JOBS:-1}
start=$(date +%s)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
targets=()
for f in build/fuzz/fuzz/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] && targets+=("$(basename "$f")")
done
if [ -n "${FUZZ_BUDGET:-}" ]; then
  left=$((FUZZ_BUDGET - ($(date +%s) - start)))
  rounds=$(((${#targets[@]} + jobs - 1) / jobs))
  share=$((left / rounds - 2))
  [ "$share" -lt "$seconds" ] && seconds=$share
  [ "$seconds" -lt 5 ] && seconds=5
fi
mkdir -p build/fuzz/artifacts build/fuzz/logs
# The library asks for storage with nothrow new and answers a refusal with -199, so a huge
# request (a hostile layer count, say) must come back as null, not abort under ASan.
export ASAN_OPTIONS="allocator_may_return_null=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
run_one() {
  local name=$1 seconds=$2
  mkdir -p "build/fuzz/corpus/$name" "fuzz/corpus/$name"
  if "build/fuzz/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$name-" "build/fuzz/corpus/$name" "fuzz/corpus/$name" \
    >"build/fuzz/logs/$name.log" 2>&1; then
    echo "$name: $(grep -o 'cov: [0-9]*' "build/fuzz/logs/$name.log" | tail -1)," \
      "$(grep 'stat::number_of_executed_units' "build/fuzz/logs/$name.log" | awk '{print $2}') executions in ${seconds} s"
  else
    echo "$name: FINDING (build/fuzz/logs/$name.log)"
    grep -E 'fuzz property failed|ERROR|SUMMARY|Test unit written' "build/fuzz/logs/$name.log" | head -5
    return 1
  fi
}
export -f run_one
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$1" "$2"' _ {} "$seconds"
