#!/usr/bin/env bash
# Reframing benchmark: 9:16 from a 1920×1080 clip, scaled to 1080×1920 (crop to fill, and the
# whole picture fitted over a blurred copy), against the ffmpeg command line doing the same with a
# filtergraph at the same encoder settings, and against tamovid-render's own plain 607×1080 cut-out.
# Prints wall and CPU time ratios, best of three, runs interleaved. The machine may be shared: only
# ratios measured in the same run mean much.
set -euo pipefail
BUILD_DIR="${BUILD_DIR:-$(pwd)/build}"
RENDER="$BUILD_DIR/src/cli/tamovid-render"
PRESET="${EXPORT_BENCH_PRESET:-veryfast}"   # must match kX264Preset in src/export/video_writer.h
SECONDS_LONG="${REFRAME_BENCH_SECONDS:-5}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

ff() { ffmpeg -nostdin -v error -y "$@"; }
measure() {
  /usr/bin/time -f "%e %U %S" -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || { cat "$WORK/err.txt"; exit 1; }
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$WORK/time.txt"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }

ff -f lavfi -i "testsrc2=s=1920x1080:r=30:d=$SECONDS_LONG" -pix_fmt yuv420p -c:v libx264 -preset ultrafast -crf 16 "$WORK/clip.mp4"
echo '{"cropPreset": "9:16"}' >"$WORK/cut.json"
echo '{"cropPreset": "9:16", "outputSize": "standard"}' >"$WORK/scaled.json"
echo '{"cropPreset": "9:16", "outputSize": "standard", "fillMode": "fit"}' >"$WORK/fit.json"
RATE=$((1080 * 1920 * 4))
FIT="[0:v]split[a][b];[a]crop=607:1080:656:0,scale=135:240:flags=area,gblur=sigma=6,scale=1080:1920:flags=bilinear[bg];\
[b]scale=1080:608:flags=bicubic[fg];[bg][fg]overlay=0:656[out]"

cut() { measure "$RENDER" --params "$WORK/cut.json" --video "$WORK/clip.mp4" --output "$WORK/cut.mp4"; }
scaled() { measure "$RENDER" --params "$WORK/scaled.json" --video "$WORK/clip.mp4" --output "$WORK/scaled.mp4"; }
fit() { measure "$RENDER" --params "$WORK/fit.json" --video "$WORK/clip.mp4" --output "$WORK/fit.mp4"; }
ffscaled() { measure ffmpeg -nostdin -v error -y -i "$WORK/clip.mp4" -vf "crop=607:1080:656:0,scale=1080:1920:flags=bicubic" \
               -an -c:v libx264 -preset "$PRESET" -b:v $RATE "$WORK/ffscaled.mp4"; }
fffit() { measure ffmpeg -nostdin -v error -y -i "$WORK/clip.mp4" -filter_complex "$FIT" -map "[out]" \
            -an -c:v libx264 -preset "$PRESET" -b:v $RATE "$WORK/fffit.mp4"; }

echo "1920x1080 30 fps, $SECONDS_LONG s, 9:16; x264 preset $PRESET; best of three, interleaved"
jobs=(cut scaled fit ffscaled fffit)
declare -A bw bc
for j in "${jobs[@]}"; do bw[$j]=1e9; bc[$j]=1e9; done
for run in 1 2 3; do
  for j in "${jobs[@]}"; do
    read -r t c < <($j)
    bw[$j]=$(min "${bw[$j]}" "$t"); bc[$j]=$(min "${bc[$j]}" "$c")
  done
done
for j in "${jobs[@]}"; do printf "  %-9s wall %6.2f s  cpu %6.2f s\n" "$j" "${bw[$j]}" "${bc[$j]}"; done
echo "  scaled / ffmpeg crop+scale:  wall $(ratio "${bw[scaled]}" "${bw[ffscaled]}")  cpu $(ratio "${bc[scaled]}" "${bc[ffscaled]}")"
echo "  fit / ffmpeg fit graph:      wall $(ratio "${bw[fit]}" "${bw[fffit]}")  cpu $(ratio "${bc[fit]}" "${bc[fffit]}")"
echo "  fit / scaled:                wall $(ratio "${bw[fit]}" "${bw[scaled]}")  cpu $(ratio "${bc[fit]}" "${bc[scaled]}")"
