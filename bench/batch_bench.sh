#!/usr/bin/env bash
# Many clips on one machine: 8 short clips from one job list, rendered one after the other
# (tamovid-render --index N in a loop, the reference) and with --all at 1…4 jobs at once, the last
# row being the default. Prints clips per minute, the ratio to the reference and the peak memory
# of all renders together (resident sizes of the process tree, sampled every 50 ms).
set -euo pipefail
BUILD_DIR="${BUILD_DIR:-$(pwd)/build}"
RENDER="$BUILD_DIR/src/cli/tamovid-render"
CLIPS="${BATCH_BENCH_CLIPS:-8}"
SIZE="${BATCH_BENCH_SIZE:-1280x720}"
SECONDS_PER_CLIP="${BATCH_BENCH_SECONDS:-3}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=s=$SIZE:r=30:d=$SECONDS_PER_CLIP" -f lavfi -i "sine=f=440:d=$SECONDS_PER_CLIP" \
  -pix_fmt yuv420p -c:v libx264 -preset ultrafast -crf 18 -c:a aac -shortest "$WORK/clip.mp4"
ffmpeg -nostdin -v error -y -f lavfi -i "color=0x6c5ce7:s=300x150" -frames:v 1 "$WORK/logo.png"
cat >"$WORK/template.tamovid" <<'JSON'
{
  "videoPath": "clip.mp4", "cropPreset": "9:16", "previewHeight": 540,
  "imagePaths": { "img_LOGO": "logo.png" },
  "textObjects": [
    { "type": "progressbar" },
    { "type": "image", "imageId": "img_LOGO", "xPercent": 50, "yPercent": 15, "scalePercent": 10 },
    { "type": "text", "text": "{{name}}", "fontSizePercent": 6, "strokeEnabled": true, "yPercent": 70 },
    { "type": "text", "text": "{{price}}", "fontSizePercent": 8, "bgEnabled": true, "yPercent": 82, "animationIn": "fadeIn" }
  ]
}
JSON
for i in $(seq 0 $((CLIPS - 1))); do
  echo "{\"project\": \"template.tamovid\", \"placeholders\": {\"name\": \"Termék $i\", \"price\": \"$((i + 1))9 990 Ft\"}, \"output\": \"out/clip$i.mp4\"}"
done >"$WORK/jobs.jsonl"

# Resident kB of the processes ps selects with "$@" (0 when there are none).
rss() { { ps -o rss= "$@" 2>/dev/null || true; } | awk '{ s += $1 } END { print s + 0 }'; }

# Runs "$@" with the outputs removed first; prints "wall-seconds peak-MB".
measure() {
  rm -rf "$WORK/out"
  local start end peak=0 total
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$WORK/cpu.txt" "$@" >/dev/null 2>"$WORK/err.txt" &
  local pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    total=$(rss --pid "$pid" --ppid "$pid")
    for child in $(pgrep -P "$pid" 2>/dev/null || true); do total=$((total + $(rss --ppid "$child"))); done
    [ "$total" -gt "$peak" ] && peak=$total
    sleep 0.05
  done
  wait "$pid" || { cat "$WORK/err.txt" >&2; exit 1; }
  end=$(date +%s.%N)
  [ "$(ls "$WORK/out" | wc -l)" -eq "$CLIPS" ] || { echo "not every clip was written" >&2; exit 1; }
  read -r user sys <"$WORK/cpu.txt"
  awk -v s="$start" -v e="$end" -v p="$peak" -v c="$(awk -v u="$user" -v y="$sys" 'BEGIN { print u + y }')" \
    'BEGIN { printf "%.2f %d %.2f\n", e - s, p / 1024, c }'
}
sequential() { for i in $(seq 0 $((CLIPS - 1))); do "$RENDER" --jobs "$WORK/jobs.jsonl" --index "$i"; done; }

echo "$CLIPS clips of $SIZE, ${SECONDS_PER_CLIP} s each, cropped to 9:16 with four overlays; $(nproc) cores"
echo "(a shared machine: compare ratios within one run, not absolute times across runs)"
export -f sequential
export RENDER WORK CLIPS
read -r ref_wall ref_mem ref_cpu < <(measure bash -c sequential)
rate() { awk -v n="$CLIPS" -v w="$1" 'BEGIN { printf "%.1f", n * 60 / w }'; }
# CPU s per clip rising with K means the renders fight over cores; cores busy = CPU time / wall.
row() {  # row NAME WALL MEM CPU
  printf "%-28s %8s %10s %7s %10s %13s %12s\n" "$1" "$2" "$(rate "$2")" \
    "$(awk -v a="$ref_wall" -v b="$2" 'BEGIN { printf "%.2f", a / b }')" "$3" \
    "$(awk -v c="$4" -v n="$CLIPS" 'BEGIN { printf "%.2f", c / n }')" "$(awk -v c="$4" -v w="$2" 'BEGIN { printf "%.2f", c / w }')"
}
printf "%-28s %8s %10s %7s %10s %13s %12s\n" "run" "wall s" "clips/min" "ratio" "peak MB" "CPU s / clip" "cores busy"
row "sequential --index loop" "$ref_wall" "$ref_mem" "$ref_cpu"
for k in 1 2 3 4; do
  read -r wall mem cpu < <(measure "$RENDER" --jobs "$WORK/jobs.jsonl" --all --parallel "$k")
  row "--all --parallel $k" "$wall" "$mem" "$cpu"
done
read -r wall mem cpu < <(measure "$RENDER" --jobs "$WORK/jobs.jsonl" --all)
row "--all (default parallelism)" "$wall" "$mem" "$cpu"
