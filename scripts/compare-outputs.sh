#!/usr/bin/env bash
# Makes a small demo world with a built kestrova, runs the batch calculations, draws a set of
# charts and a profile, and dumps everything a refactoring must leave unchanged into a folder:
# the tables of every database (sorted rows, SQL quote mode), the chart files' bytes, and the
# PDFs as their text and rendered pages (a PDF carries its creation date, so its own bytes
# differ from run to run).
#
#   scripts/compare-outputs.sh [--kestrova BIN] [--companies N] [--keep DIR] BASELINE_DIR
#
# With BASELINE_DIR missing or empty the dump is written there and becomes the baseline;
# otherwise the dump goes to a temporary folder (or --keep DIR) and is compared with it.
# Exit status 0 when both are identical, 1 when they differ (the differing files are listed).
# Builds nothing: the default binary is build/test/bin/kestrova. The world has 300 companies
# unless --companies says otherwise (a baseline and its comparison must use the same number).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
kestrova="$root/build/test/bin/kestrova"
keep=""
companies=300
while [[ $# -gt 0 ]]; do
  case "$1" in
    --kestrova) kestrova=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --companies) companies=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "compare-outputs: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [[ $# -ne 1 ]]; then
  echo "usage: compare-outputs.sh [--kestrova BIN] [--companies N] [--keep DIR] BASELINE_DIR" >&2
  exit 2
fi
baseline=$1
for tool in sqlite3 pdftotext pdftoppm; do
  command -v "$tool" >/dev/null || { echo "compare-outputs: $tool is needed" >&2; exit 2; }
done
[[ -x "$kestrova" ]] || { echo "compare-outputs: no kestrova at $kestrova" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [[ ! -d "$baseline" || -z "$(ls -A "$baseline" 2>/dev/null)" ]]; then
  out=$baseline
  mode=baseline
elif [[ -n "$keep" ]]; then
  out=$keep
  mode=compare
else
  out="$work/out"
  mode=compare
fi
rm -rf "$out"
mkdir -p "$out"

# A home of its own, so no setting or database of the user is read or touched; a fixed locale
# and time zone, so numbers and dates print the same everywhere.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export LC_ALL=C.UTF-8 TZ=UTC
unset Kestrova || true
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
data="$XDG_DATA_HOME/kestrova"

run() { "$kestrova" "$@" >>"$work/log" 2>&1 || { echo "compare-outputs: kestrova $* failed:" >&2; tail -5 "$work/log" >&2; exit 2; }; }

run demo-data --companies "$companies" --years 4 --seed 7 --end 2026-06-30
run calc lists
run calc composites
run calc eva

# Every table of every database, rows sorted, so a change of row order alone does not count
# but any changed value does.
for db in "$data"/*.db; do
  name=$(basename "$db" .db)
  for table in $(sqlite3 "$db" "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"); do
    {
      sqlite3 "$db" ".schema $table"
      sqlite3 -cmd ".mode quote" "$db" "SELECT * FROM \"$table\"" | LC_ALL=C sort
    } >"$out/$name.$table.sql"
  done
done

# Charts of a few companies of different kinds: the index, the yield, and the first, a middle
# and the last company of the store.
tickers=$(sqlite3 "$data/tc2000.db" "
  SELECT symbol FROM securities WHERE worden IN (1, 2,
    (SELECT MIN(worden) FROM securities WHERE worden >= 3),
    (SELECT worden FROM securities WHERE worden >= 3 ORDER BY worden
       LIMIT 1 OFFSET (SELECT COUNT(*) / 2 FROM securities WHERE worden >= 3)),
    (SELECT MAX(worden) FROM securities WHERE worden >= 3 AND active = 1))
  ORDER BY worden")
mkdir -p "$out/charts"
for t in $tickers; do
  safe=${t//[^A-Za-z0-9]/_}
  run chart "$t" --out "$out/charts/$safe-price.png"
  run chart "$t" --days 600 --frequency weekly --size 640x400 --out "$out/charts/$safe-weekly.png"
  run chart "$t" --days 30 --size 300x200 --out "$out/charts/$safe-short.png"
  run chart "$t" --out "$work/$safe-price.pdf"
  for c in pc pb ps; do
    if "$kestrova" chart "$t" --chart "$c" --out "$out/charts/$safe-$c.png" >>"$work/log" 2>&1; then
      "$kestrova" chart "$t" --chart "$c" --out "$work/$safe-$c.pdf" >>"$work/log" 2>&1 || true
    else
      echo "failed" >"$out/charts/$safe-$c.failed"
    fi
  done
done
company=$(sqlite3 "$data/SIPStatic.db" "SELECT ticker FROM si_ci ORDER BY company_id LIMIT 1")
run profile "$company" --out "$work/profile.pdf"

mkdir -p "$out/pdf"
for pdf in "$work"/*.pdf; do
  base=$(basename "$pdf" .pdf)
  pdftotext -layout "$pdf" "$out/pdf/$base.txt"
  pdftoppm -r 72 -png "$pdf" "$out/pdf/$base"
done

if [[ "$mode" == baseline ]]; then
  echo "compare-outputs: baseline of $(find "$out" -type f | wc -l) files written to $out"
  exit 0
fi
if diff -rq "$baseline" "$out"; then
  echo "compare-outputs: identical ($(find "$out" -type f | wc -l) files)"
else
  echo "compare-outputs: outputs differ from $baseline" >&2
  exit 1
fi
