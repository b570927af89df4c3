#!/usr/bin/env bash
# Sets up this machine (Debian packages), builds Kestrova twice, plainly and with
# AddressSanitizer + UndefinedBehaviorSanitizer, starts a throwaway PostgreSQL server, runs
# the whole test suite on both builds, then each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh
# playwright-core for the page tests, into web/tests/node_modules (no browser download).
bash web/tests/install-node-deps.sh

# The configurations are CMakePresets.json's: build/test and build/asan.
for preset in test sanitizer; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The PostgreSQL tests fail (not skip) when KESTROVA_TEST_PG is set and the server is gone.
pg_state=$(mktemp)
bash scripts/start-postgres.sh >"$pg_state"
trap 'bash "$root/scripts/stop-postgres.sh" "$(sed -n 2p "$pg_state")"; rm -f "$pg_state"' EXIT
KESTROVA_TEST_PG=$(sed -n 1p "$pg_state")
export KESTROVA_TEST_PG

# Tests pin their own locales; the rest of the environment stays as it is.
echo "== plain build"
ctest --preset test
# The fuzz targets are built on one core meanwhile: the sanitizer tests mostly wait (on
# databases, servers, child processes) and leave the other core idle.
fuzz_build_log=$(mktemp)
FUZZ_JOBS=1 bash scripts/fuzz.sh --build >"$fuzz_build_log" 2>&1 &
fuzz_build=$!
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
ctest --preset sanitizer

# Every fuzz target for 10 s from its seed inputs: an input that crashes, hangs or trips a
# sanitizer fails the run and is kept under build/fuzz/artifacts.
# Two targets at a time, one a core; a failing target's output is shown whole.
echo "== fuzz targets"
if ! wait "$fuzz_build"; then
  cat "$fuzz_build_log"
  echo "fuzz targets: the build failed"
  exit 1
fi
rm -f "$fuzz_build_log"
fuzz_one() {
  local log=build/fuzz/$1.log
  if FUZZ_NO_BUILD=1 bash scripts/fuzz.sh "$1" 10 >"$log" 2>&1; then
    echo "fuzz $1: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs, no finding"
  else
    cat "$log"
    echo "fuzz $1: FAILED (input kept under build/fuzz/artifacts)"
    return 1
  fi
}
export -f fuzz_one
for source in fuzz/*_fuzz.cpp; do basename "$source" _fuzz.cpp; done |
  xargs -P 2 -I{} bash -c 'fuzz_one {}' 
