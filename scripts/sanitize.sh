#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (Debug, no benchmarks) and runs the whole test suite there.
# Any sanitizer report fails the run: undefined behaviour aborts at once, and
# leaks are reported when a test program ends. Uses clang when it is present,
# otherwise gcc.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
scripts/setup.sh

if command -v clang++ >/dev/null 2>&1; then
  cxx=clang++
else
  cxx=g++
fi
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$cxx" \
  -DKESTRUNE_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# Slower code: stress tests scale their length down, and each test gets more time.
export KESTRUNE_STRESS_SCALE="${KESTRUNE_STRESS_SCALE:-0.5}"
ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 600
