#!/usr/bin/env bash
# make coverage: builds with gcov instrumentation, runs every test and reports line and branch coverage
# of src/ with gcovr (installed here, on demand, like clang for make fuzz).
#   scripts/coverage.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build-coverage}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

if ! command -v gcovr >/dev/null; then
  if [ "$(id -u)" = 0 ]; then apt-get install -y --no-install-recommends gcovr; else sudo apt-get install -y --no-install-recommends gcovr; fi
fi

cd "$root"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTAMO_COVERAGE=ON -DTAMO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
find "$build" -name '*.gcda' -delete
# A failing test still counts for coverage; the run's own result is printed at the end.
status=0
(cd "$build" && LANG=hu_HU.UTF-8 LC_ALL= LC_NUMERIC= LC_MESSAGES= LANGUAGE= ctest -j "$(nproc)" --output-on-failure) || status=$?
# Branches the compiler adds for exceptions say nothing about the program's own decisions.
gcovr --root "$root" --filter "$root/src/" --exclude-throw-branches --exclude-unreachable-branches \
  --object-directory "$build" --print-summary --txt "$build/coverage.txt" --json-summary "$build/coverage.json" \
  "$build" | tail -3
echo "per-file table: $build/coverage.txt"
exit $status
