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

configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DKESTROVA_WERROR=ON "$@" >/dev/null
  cmake --build "$dir"
}
configure_and_build build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
configure_and_build build/asan -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_SANITIZE=ON -DKESTROVA_BENCH=OFF

# The PostgreSQL tests fail (not skip) when KESTROVA_TEST_PG is set and the server is gone.
pg_state=$(mktemp)
bash scripts/start-postgres.sh >"$pg_state"
trap 'bash "$root/scripts/stop-postgres.sh" "$(sed -n 2p "$pg_state")"; rm -f "$pg_state"' EXIT
KESTROVA_TEST_PG=$(sed -n 1p "$pg_state")
export KESTROVA_TEST_PG

# Tests pin their own locales; the rest of the environment stays as it is.
echo "== plain build"
ctest --test-dir build/test --output-on-failure -j 2 --timeout 300
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp \
  ctest --test-dir build/asan --output-on-failure -j 2 --timeout 600

# Every fuzz target for 20 s from its seed inputs: an input that crashes, hangs or trips a
# sanitizer fails the run and is kept under build/fuzz/artifacts.
echo "== fuzz targets"
for source in fuzz/*_fuzz.cpp; do
  target=$(basename "$source" _fuzz.cpp)
  FUZZ_JOBS=2 bash scripts/fuzz.sh "$target" 20
done
