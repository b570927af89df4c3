#!/usr/bin/env bash
# Runs page test files with node's test runner, after making sure playwright-core is there.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
flock "$here/.install.lock" bash "$here/install-node-deps.sh"
cd "$here"
exec node --test "$@"
