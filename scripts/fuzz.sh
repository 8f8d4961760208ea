#!/usr/bin/env bash
# Builds every fuzz target (clang 16 with libc++, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), replays each seed corpus in fuzz/corpus/<target>/, then fuzzes
# each target for a while. Any crash, sanitizer report, leak, timeout or memory blow-up fails.
#
#   bash scripts/fuzz.sh [seconds per target]     (default 60; 0 replays the corpora only)
#
# New inputs found on the way go to build/fuzz/work/, findings to build/fuzz/findings/. Keep
# each finding, once mended, as fuzz/corpus/<target>/regression-<what>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/apt_install.sh clang-16 libc++-16-dev libc++abi-16-dev libfuzzer-16-dev zlib1g-dev

# libstdc++ 12 gives clang no std::expected, so the fuzz build uses libc++ throughout.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-16 -DCMAKE_CXX_FLAGS=-stdlib=libc++ \
  -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ "${launcher[@]}" \
  -DTESSARINE_BUILD_TESTS=OFF -DTESSARINE_BUILD_MODULE=OFF -DTESSARINE_FUZZ=ON
cmake --build build/fuzz -j "$(nproc 2>/dev/null || echo 2)"

# A failed huge allocation must come back as an error value, as it does without ASan.
export ASAN_OPTIONS=allocator_may_return_null=1
limits=(-rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=20)
findings=build/fuzz/findings
mkdir -p "$findings"
passed=0
failed=0
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  binary=build/fuzz/${target}_fuzz
  work=build/fuzz/work/$target
  mkdir -p "$work"
  log=build/fuzz/$target.log
  status=0
  "$binary" "${limits[@]}" -runs=0 "$corpus" >"$log" 2>&1 || status=$?
  if [ "$status" -eq 0 ] && [ "$seconds" -gt 0 ]; then
    "$binary" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$work" "$corpus" >>"$log" 2>&1 || status=$?
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o "[0-9]*$" | tail -1 || true)
  rss=$(grep -o 'stat::peak_rss_mb: *[0-9]*' "$log" | grep -o "[0-9]*$" | tail -1 || true)
  inputs=$(find "$corpus" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    timed=""
    [ "$seconds" -gt 0 ] && timed=", then ${runs:-0} runs in ${seconds}s, peak ${rss:-?} MB"
    echo "fuzz $target: replayed $inputs inputs$timed"
  else
    failed=$((failed + 1))
    echo "fuzz $target: FAILED (exit $status); log $log; findings in $findings"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5 || true
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
