#!/usr/bin/env bash
# Runs page test files with node's test runner, after making sure playwright-core is there.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
flock "$here/.install.lock" bash "$here/install-node-deps.sh"
cd "$here"
# --test-force-exit: a test that fails with a handle still open ends the run all the same.
exec node --test --test-force-exit "$@"
