#!/usr/bin/env bash
# Installs the Node packages the page tests use (playwright-core, pinned in package.json) into
# web/tests/node_modules. No browser is downloaded: the tests drive the system's Chromium.
# Quick when they are already there.
set -euo pipefail
cd "$(dirname "$0")"
want=$(node -p 'require("./package.json").dependencies["playwright-core"]')
have=$(node -p 'try { require("./node_modules/playwright-core/package.json").version } catch { "" }' 2>/dev/null || true)
if [ "$have" != "$want" ]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --no-audit --no-fund --loglevel=error
fi
