#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs
# each for SECONDS (default 30) on a copy of its seed corpus. A crash, a
# sanitizer report or a broken invariant fails the run; the input that did
# it is left in build-fuzz/findings/<target>/ to be added to
# fuzz/corpus/<target>/ and kept as a unit test once mended.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
scripts/setup.sh
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_BENCH=OFF -DKESTRUNE_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz-all

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
failed=()
passed=0
for exe in build-fuzz/fuzz/fuzz_*; do
  [ -f "$exe" ] && [ -x "$exe" ] || continue
  name="${exe##*/fuzz_}"
  work="build-fuzz/corpus/$name"
  findings="build-fuzz/findings/$name"
  rm -rf "$work" && mkdir -p "$work" "$findings"
  # New inputs go into the working copy; the committed seeds stay as they are.
  log="build-fuzz/fuzz-$name.log"
  if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$work" "fuzz/corpus/$name" >"$log" 2>&1; then
    execs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    speed=$(grep -m1 'stat::average_exec_per_sec' "$log" | awk '{print $2}')
    echo "fuzz $name: ok, ${execs:-?} runs, ${speed:-?}/s"
    passed=$((passed + 1))
  else
    echo "fuzz $name: FAILED (log $log, input in $findings/)"
    tail -n 40 "$log"
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed targets: ${failed[*]}"
  echo "fuzz: ${passed} passed, ${#failed[@]} failed"
  exit 1
fi
echo "fuzz: every target ran ${seconds} s without a finding"
echo "fuzz: ${passed} passed, 0 failed"
