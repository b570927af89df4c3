#!/usr/bin/env bash
# Sets up this machine (Debian packages), builds Kestrova and runs its main job on the
# embedded default: SQLite data sources in the user's data folder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# The release configuration of CMakePresets.json: the programs and libraries, no tests or
# benchmarks.
cmake --preset release >/dev/null
cmake --build --preset release

# Create the data sources that do not exist yet, then show where each one leads.
build/release/bin/kestrova datasources --create

# A made-up market on first start (a store that exists, demo or imported, is left alone).
build/release/bin/kestrova demo-data --if-missing

# The batch calculations over whatever data is there: chart lists, composite ratings, EVA.
build/release/bin/kestrova calc lists
build/release/bin/kestrova calc composites
build/release/bin/kestrova calc eva

# The pages: the local web server on the demo world, in the foreground until Ctrl-C. It
# prints the address to open in a browser on this machine.
exec build/release/bin/kestrova-web
