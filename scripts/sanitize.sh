#!/usr/bin/env bash
# The compiler and the assembler under AddressSanitizer and
# UndefinedBehaviorSanitizer:
#  1. builds both libraries, m51c, m51as and their tests in build-sanitize/ with
#     -DM51_SANITIZE=ON (no Qt programs, no benchmarks) and runs them;
#  2. builds the libFuzzer targets with clang in build-fuzz/ and fuzzes
#     CompileSource (seeded with examples/) and Assemble (seeded with the
#     examples as m51c writes them and the all-opcode program) for FUZZ_SECONDS
#     seconds each (default 60).
# Any finding fails the script; the input that caused it is left in
# build-fuzz/artifacts/ (compiler) or build-fuzz/asm-artifacts/ (assembler) and
# belongs, once fixed, in tests/robustness/inputs/ or a unit test.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
seconds=${FUZZ_SECONDS:-60}
common=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DM51_WITH_ZELVAR=OFF -DM51_WITH_TERMINAL=OFF -DM51_WITH_BENCH=OFF)
if command -v ccache >/dev/null; then
  common+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== Compiler and assembler tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize "${common[@]}" -DM51_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
status=0
ctest --test-dir build-sanitize --output-on-failure -j"$jobs" || status=1

# fuzz TARGET DICT ARTIFACTS CORPUS SEEDS...: runs one fuzz target for the
# set time; a crash or anything it leaves in ARTIFACTS fails the script.
fuzz() {
  local target=$1 dict=$2 found=$3
  shift 3
  build-fuzz/fuzz/"$target" "$@" -dict="$dict" -max_total_time="$seconds" -max_len=16384 -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$found/" || status=1
  if compgen -G "$found/*" >/dev/null; then
    echo "The fuzzer left findings in $found:" >&2
    ls -l "$found" >&2
    status=1
  fi
}

echo "== Fuzzing CompileSource for ${seconds} s"
CXX=clang++ CC=clang cmake -S . -B build-fuzz "${common[@]}" -DM51_SANITIZE=ON -DM51_FUZZ=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
cmake --build build-fuzz -j"$jobs" --target m51_fuzz_compile m51_fuzz_assemble

corpus=build-fuzz/corpus
artifacts=build-fuzz/artifacts
mkdir -p "$corpus" "$artifacts"
rm -f "$artifacts"/*
# New inputs go to the first corpus folder; examples/ and the kept regressions
# only seed it.
seeds=(examples)
[ -d tests/robustness/inputs ] && seeds+=(tests/robustness/inputs)
fuzz m51_fuzz_compile fuzz/m51.dict "$artifacts" "$corpus" "${seeds[@]}"

echo "== Fuzzing Assemble for ${seconds} s"
asm_corpus=build-fuzz/asm-corpus
asm_seeds=build-fuzz/asm-seeds
asm_artifacts=build-fuzz/asm-artifacts
mkdir -p "$asm_corpus" "$asm_seeds" "$asm_artifacts"
rm -f "$asm_artifacts"/*
for program in examples/*.M51; do
  name=$(basename "$program" .M51)
  build-sanitize/compiler/m51c -o "$asm_seeds/$name.asm" "$program" 2>/dev/null || true
done
cp tests/toolchain/crosscheck/allopcodes.asm "$asm_seeds/"
fuzz m51_fuzz_assemble fuzz/asm51.dict "$asm_artifacts" "$asm_corpus" "$asm_seeds"
if [ $status -ne 0 ]; then
  echo "== Sanitizer tests or fuzzing FAILED" >&2
  exit 1
fi
echo "== Sanitizer tests passed, no fuzzer findings"
