#!/usr/bin/env bash
# The compiler under AddressSanitizer and UndefinedBehaviorSanitizer:
#  1. builds the compiler and its tests in build-sanitize/ with -DM51_SANITIZE=ON
#     (no Qt programs, no benchmarks) and runs them;
#  2. builds the libFuzzer target with clang in build-fuzz/ and fuzzes
#     CompileSource for FUZZ_SECONDS seconds (default 60), seeded with examples/.
# Any finding fails the script; the input that caused it is left in
# build-fuzz/artifacts/ and belongs, once fixed, in tests/robustness/inputs/.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
seconds=${FUZZ_SECONDS:-60}
common=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DM51_WITH_ZELVAR=OFF -DM51_WITH_TERMINAL=OFF -DM51_WITH_BENCH=OFF)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== Compiler tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize "${common[@]}" -DM51_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
status=0
ctest --test-dir build-sanitize --output-on-failure -j"$jobs" || status=1

echo "== Fuzzing CompileSource for ${seconds} s"
CXX=clang++ CC=clang cmake -S . -B build-fuzz "${common[@]}" -DM51_SANITIZE=ON -DM51_FUZZ=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
cmake --build build-fuzz -j"$jobs" --target m51_fuzz_compile

corpus=build-fuzz/corpus
artifacts=build-fuzz/artifacts
mkdir -p "$corpus" "$artifacts"
rm -f "$artifacts"/*
# New inputs go to the first corpus folder; examples/ and the kept regressions
# only seed it.
seeds=(examples)
[ -d tests/robustness/inputs ] && seeds+=(tests/robustness/inputs)
build-fuzz/fuzz/m51_fuzz_compile "$corpus" "${seeds[@]}" \
  -dict=fuzz/m51.dict -max_total_time="$seconds" -max_len=16384 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" || status=1
if compgen -G "$artifacts/*" >/dev/null; then
  echo "The fuzzer left findings in $artifacts:" >&2
  ls -l "$artifacts" >&2
  status=1
fi
if [ $status -ne 0 ]; then
  echo "== Sanitizer tests or fuzzing FAILED" >&2
  exit 1
fi
echo "== Sanitizer tests passed, no fuzzer findings"
