#!/usr/bin/env bash
# Runs every benchmark against the build in $1 (default: build). One line per benchmark below.
set -euo pipefail
BUILD_DIR="$(cd "${1:-build}" && pwd)"
HERE="$(cd "$(dirname "$0")" && pwd)"
export BUILD_DIR

bench() { echo "=== $1"; shift; "$@"; echo; }

bench export_bench bash "$HERE/export_bench.sh"
bench overlay_bench "$BUILD_DIR/bench/overlay_bench"
bench background_clip "$BUILD_DIR/bench/bench_background_clip"
bench batch_bench bash "$HERE/batch_bench.sh"
bench reframe_bench bash "$HERE/reframe_bench.sh"
