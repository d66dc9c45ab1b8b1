#!/usr/bin/env bash
# Export benchmark. The reference is the ffmpeg command line doing the plainest transcode of the
# same clip at the same settings (ffmpeg -i SRC -an -c:v libx264 -preset veryfast -b:v W*H*4), and
# next to it the ffmpeg command line doing the closest filtergraph to the typical overlay set.
# Prints wall and CPU time ratios (best of three, runs interleaved), PSNR of the export and of the
# floor against the source, and peak memory for a short and a long clip and for 0 and 1000
# subtitle segments. The machine may be shared: only ratios measured in the same run mean much.
set -euo pipefail
BUILD_DIR="${BUILD_DIR:-$(pwd)/build}"
RENDER="$BUILD_DIR/src/cli/tamovid-render"
PRESET="${EXPORT_BENCH_PRESET:-veryfast}"   # must match kX264Preset in src/export/video_writer.h
LONG="${EXPORT_BENCH_LONG:-60}"             # seconds of the long clip
QUICK="${EXPORT_BENCH_QUICK:-0}"            # 1: times and PSNR only, no memory runs
RUNS="${EXPORT_BENCH_RUNS:-3}"              # rounds of the timed runs: more give a steadier best on a shared machine
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
FONT="$(fc-match -f '%{file}' 'DejaVu Sans:bold')"
W=1920 H=1080 RATE=$((1920 * 1080 * 4))

ff() { ffmpeg -nostdin -v error -y "$@"; }
# Runs a command, prints "wall-seconds cpu-seconds peak-kB".
measure() {
  /usr/bin/time -f "%e %U %S %M" -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || { cat "$WORK/err.txt"; exit 1; }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$WORK/time.txt"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
psnr() {  # average PSNR of $1 against $2
  ffmpeg -nostdin -i "$1" -i "$2" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 |
    awk '/PSNR/ { for (i = 1; i <= NF; i++) if ($i ~ /^average:/) { sub("average:", "", $i); p = $i } } END { print p }'
}

TAG="-vf scale=out_color_matrix=bt709:out_range=tv -colorspace bt709 -color_primaries bt709 -color_trc bt709"
echo "making clips in $WORK ..."
CLIPS="10"; [ "$QUICK" = 1 ] || CLIPS="10 $LONG"
for d in $CLIPS; do
  ff -f lavfi -i "testsrc2=s=${W}x${H}:r=30:d=$d" -f lavfi -i "sine=f=440:d=$d" $TAG \
     -pix_fmt yuv420p -c:v libx264 -preset ultrafast -crf 16 -c:a aac -shortest "$WORK/clip$d.mp4"
done
# The same picture without its sound: what the sound merge adds to the render, which the floor (-an)
# never pays. This clip's AAC from 0 with no narration is taken over as it is (a remux); a mix
# would add an AAC decode, resample and encode.
ff -i "$WORK/clip10.mp4" -an -c copy "$WORK/clip10-mute.mp4"
ff -f lavfi -i "color=0x6c5ce7:s=300x150" -frames:v 1 "$WORK/logo.png"
echo '{}' >"$WORK/plain.json"

cat >"$WORK/project.tamovid" <<JSON
{
  "cropPreset": "original", "previewHeight": 540,
  "imagePaths": { "img_LOGO": "logo.png" },
  "textObjects": [
    { "type": "blur", "xPercent": 50, "yPercent": 50, "widthPercent": 20, "heightPercent": 15, "blurAmount": 15 },
    { "type": "progressbar", "position": "bottom" },
    { "type": "image", "imageId": "img_LOGO", "xPercent": 85, "yPercent": 15, "scalePercent": 15, "opacity": 80 },
    { "type": "text", "text": "Tamo Video Editor", "fontFamily": "DejaVu Sans", "bold": true, "fontSizePercent": 6,
      "strokeEnabled": true, "strokeWidth": 2, "bgEnabled": true, "yPercent": 80 },
    { "type": "text", "text": "Második sor árnyékkal", "fontSizePercent": 4, "shadowEnabled": true, "shadowBlur": 4,
      "bgEnabled": true, "yPercent": 20, "animationIn": "fadeIn" },
    { "type": "emoji", "text": "🎉", "fontSizePercent": 8, "xPercent": 15, "yPercent": 15, "animationIn": "bounceIn" }
  ]
}
JSON

# 1000 subtitle segments, one per 0.1 s over 100 s, two lines each with a box and an outline.
python3 - "$WORK/subs.json" <<'PY'
import json, sys
objs = [{"type": "text", "text": "Felirat %d, első sor\nés a második sora" % i, "fontSizePercent": 4, "yPercent": 85,
         "bgEnabled": True, "strokeEnabled": True, "strokeWidth": 2,
         "timeStartPercent": i / 10, "timeEndPercent": (i + 0.9) / 10} for i in range(1000)]
json.dump({"previewHeight": 540, "textObjects": objs}, open(sys.argv[1], "w"), ensure_ascii=False)
PY
[ "$QUICK" = 1 ] || ff -f lavfi -i "testsrc2=s=1280x720:r=10:d=100" -pix_fmt yuv420p -c:v libx264 -preset ultrafast -crf 16 "$WORK/clip100.mp4"

GRAPH="[0:v]split[base][b];[b]crop=384:162:768:459,boxblur=15[bl];[base][bl]overlay=768:459[v1];\
[1:v]scale=-1:162,format=rgba,colorchannelmixer=aa=0.8[logo];[v1][logo]overlay=W*0.85-w/2:H*0.15-h/2[v2];\
[v2]drawtext=fontfile=$FONT:text='Tamo Video Editor':fontsize=65:fontcolor=white:borderw=4:bordercolor=black:box=1:boxcolor=black@0.6:x=(w-tw)/2:y=h*0.8-th/2,\
drawtext=fontfile=$FONT:text='Masodik sor arnyekkal':fontsize=43:fontcolor=white:shadowx=2:shadowy=2:box=1:boxcolor=black@0.6:x=(w-tw)/2:y=h*0.2-th/2,\
drawtext=fontfile=$FONT:text='!!':fontsize=86:fontcolor=yellow:x=w*0.15-tw/2:y=h*0.15-th/2,\
drawbox=x=0:y=ih-9:w=iw:h=9:color=0x333333@0.3:t=fill,drawbox=x=0:y=ih-9:w=iw*t/10:h=9:color=0x6c5ce7:t=fill[out]"

render() { measure "$RENDER" --project "$WORK/project.tamovid" --video "$WORK/clip10.mp4" --output "$WORK/render.mp4"; }
mute() { measure "$RENDER" --project "$WORK/project.tamovid" --video "$WORK/clip10-mute.mp4" --output "$WORK/mute.mp4"; }
floor() { measure ffmpeg -nostdin -v error -y -i "$WORK/clip10.mp4" -an -c:v libx264 -preset "$PRESET" -b:v $RATE "$WORK/floor.mp4"; }
graph() { measure ffmpeg -nostdin -v error -y -i "$WORK/clip10.mp4" -i "$WORK/logo.png" -filter_complex "$GRAPH" \
            -map "[out]" -an -c:v libx264 -preset "$PRESET" -b:v $RATE "$WORK/graph.mp4"; }

echo
echo "${W}x${H} 30 fps, 10 s (300 frames), x264 preset $PRESET, $RATE bit/s; best of $RUNS, interleaved"
bw=(1e9 1e9 1e9 1e9) bc=(1e9 1e9 1e9 1e9) bm=(0 0 0 0)
for _ in $(seq "$RUNS"); do
  i=0
  for job in render floor graph mute; do
    read -r t c m < <($job)
    bw[$i]=$(min "${bw[$i]}" "$t"); bc[$i]=$(min "${bc[$i]}" "$c"); bm[$i]=$m
    i=$((i + 1))
  done
done
printf "  %-38s wall %6.2f s  cpu %6.2f s  peak %5d MB\n" "tamovid-render, typical overlay set" "${bw[0]}" "${bc[0]}" $((bm[0] / 1024))
printf "  %-38s wall %6.2f s  cpu %6.2f s  peak %5d MB\n" "ffmpeg plain transcode (floor)" "${bw[1]}" "${bc[1]}" $((bm[1] / 1024))
printf "  %-38s wall %6.2f s  cpu %6.2f s  peak %5d MB\n" "ffmpeg closest filtergraph" "${bw[2]}" "${bc[2]}" $((bm[2] / 1024))
echo "  render / floor:  wall $(ratio "${bw[0]}" "${bw[1]}")  cpu $(ratio "${bc[0]}" "${bc[1]}")   (target <= 1.05)"
echo "  render / graph:  wall $(ratio "${bw[0]}" "${bw[2]}")  cpu $(ratio "${bc[0]}" "${bc[2]}")   (target < 1.00)"
echo "  same render of a source without sound: wall ${bw[3]} s cpu ${bc[3]} s;" \
     "/ floor: wall $(ratio "${bw[3]}" "${bw[1]}")  cpu $(ratio "${bc[3]}" "${bc[1]}")"

read -r tp cp mp < <(measure "$RENDER" --params "$WORK/plain.json" --video "$WORK/clip10.mp4" --output "$WORK/plain.mp4")
echo "  no overlays: wall $tp s cpu $cp s"
echo "  PSNR against the source: export $(psnr "$WORK/plain.mp4" "$WORK/clip10.mp4") dB, floor $(psnr "$WORK/floor.mp4" "$WORK/clip10.mp4") dB"

[ "$QUICK" = 1 ] && exit 0
echo
echo "peak memory (MB):"
read -r _ _ m10 < <(measure "$RENDER" --project "$WORK/project.tamovid" --video "$WORK/clip10.mp4" --output "$WORK/r10.mp4")
read -r _ _ mL < <(measure "$RENDER" --project "$WORK/project.tamovid" --video "$WORK/clip$LONG.mp4" --output "$WORK/rL.mp4")
read -r _ _ fL < <(measure ffmpeg -nostdin -v error -y -i "$WORK/clip$LONG.mp4" -an -c:v libx264 -preset "$PRESET" -b:v $RATE "$WORK/fL.mp4")
echo "  typical set, 10 s: $((m10 / 1024))   ${LONG} s: $((mL / 1024))   floor ${LONG} s: $((fL / 1024))"
read -r _ _ s0 < <(measure "$RENDER" --params "$WORK/plain.json" --video "$WORK/clip100.mp4" --output "$WORK/s0.mp4")
read -r _ _ s1 < <(measure "$RENDER" --params "$WORK/subs.json" --video "$WORK/clip100.mp4" --output "$WORK/s1.mp4")
echo "  1280x720 100 s, 0 subtitle segments: $((s0 / 1024))   1000 segments: $((s1 / 1024))"
