#!/usr/bin/env bash
# Builds and runs one fuzz target: scripts/fuzz.sh TARGET SECONDS
#   TARGET   csv, date, quote, settings or sql (fuzz/*_fuzz.cpp)
#   SECONDS  how long to fuzz
# The targets are built with Debian's clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz. The run starts from the seed inputs in
# fuzz/corpus/TARGET and keeps what it learns in build/fuzz/corpus/TARGET; an input that
# crashes, hangs or trips a sanitizer is written to build/fuzz/artifacts/ and the script exits
# with status 1. Set FUZZ_JOBS to build with more than one process.
#   scripts/fuzz.sh --build   builds every target and runs none; FUZZ_NO_BUILD=1 then lets
#                             several runs go at once without racing on the build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=$root/build/fuzz
configure() {
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
      -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  fi
}
if [ $# -eq 1 ] && [ "$1" = --build ]; then
  configure
  # Quiet when it builds; the compiler's messages when it does not.
  if ! log=$(cmake --build "$build" -j "${FUZZ_JOBS:-1}" 2>&1); then
    echo "$log" >&2
    exit 1
  fi
  exit 0
fi

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS (TARGET: csv, date, quote, settings or sql)" >&2
  exit 2
fi
target=$1
seconds=$2
if [ ! -f "fuzz/${target}_fuzz.cpp" ]; then
  echo "fuzz.sh: no fuzz target '$target' (fuzz/${target}_fuzz.cpp)" >&2
  exit 2
fi

if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
  configure
  if ! log=$(cmake --build "$build" --target "fuzz_$target" -j "${FUZZ_JOBS:-1}" 2>&1); then
    echo "$log" >&2
    exit 1
  fi
fi

mkdir -p "$build/corpus/$target" "$build/artifacts"
dictionary=()
[ -f "fuzz/$target.dict" ] && dictionary=("-dict=fuzz/$target.dict")
# A leak is reported at the end of each run; the inputs are small, so 2 GB of memory or
# 10 s for one input means something ran away.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=65536 -print_final_stats=1 "${dictionary[@]}" \
  -artifact_prefix="$build/artifacts/$target-" \
  "$build/corpus/$target" "fuzz/corpus/$target"
