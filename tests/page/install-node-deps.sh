#!/usr/bin/env bash
# Installs the page tests' npm packages from package-lock.json when they are missing or stale.
set -euo pipefail
cd "$(dirname "$0")"
stamp=node_modules/.package-lock.json
if [ -f "$stamp" ] && [ ! package-lock.json -nt "$stamp" ] && [ -d node_modules/playwright-core ] && [ -d node_modules/selenium-webdriver ] && [ -d node_modules/eslint ]; then
  exit 0
fi
npm ci --no-audit --no-fund --loglevel=error
