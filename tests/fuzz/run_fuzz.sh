#!/usr/bin/env bash
# make fuzz: builds the fuzz targets with clang, libFuzzer, ASan and UBSan, then fuzzes each for a set
# time from its saved corpus. Crashes land in BUILD/findings/; once fixed, add each as a seed in
# tests/fuzz/corpus/NAME/ so the replay in make test keeps it fixed.
#   tests/fuzz/run_fuzz.sh [BUILD_DIR] [SECONDS_PER_TARGET] [TARGET...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build-fuzz}" seconds="${2:-120}"
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(page_messages headless_input project_load overlay_records transcription_answer web_text hex_color picture_bytes render_inputs)
# clang and its libFuzzer runtime are only needed here, so they are installed here, on demand.
if ! command -v clang++ >/dev/null || [ ! -e "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ]; then
  $([ "$(id -u)" = 0 ] || echo sudo) apt-get install -y --no-install-recommends clang libclang-rt-dev
fi
cd "$here/../.."
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMO_FUZZ=ON \
  -DTAMO_BUILD_TESTS=OFF -DTAMO_BUILD_GUI=OFF -DTAMO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}")
# Fontconfig and Pango keep caches for the life of the process; they are not leaks of ours.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
mkdir -p "$build/findings"
status=0
for name in "${targets[@]}"; do
  mkdir -p "$build/corpus/$name"
  log="$build/findings/$name.log"
  "$build/tests/fuzz/fuzz_$name" "$build/corpus/$name" "$here/corpus/$name" -max_total_time="$seconds" -timeout=30 \
    -rss_limit_mb=2560 -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/findings/$name-" >"$log" 2>&1 &&
    echo "$name: no crash in ${seconds}s ($(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1) runs)" ||
    { echo "$name: FAILED (see $log)"; status=1; }
done
exit $status
