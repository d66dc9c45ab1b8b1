#!/usr/bin/env bash
# Export benchmark: a 1080p 30 fps clip with a typical overlay set, exported by tamovid-render,
# next to (a) the floor: the same decode + libx264 encode with nothing drawn, and (b) the ffmpeg
# command line doing the closest job (crop, boxblur, drawtext, overlay). Prints wall time, ratios,
# peak memory (10 s and 40 s clips), and PSNR/SSIM of the x264 presets that were weighed.
set -euo pipefail
BUILD_DIR="${BUILD_DIR:-$(pwd)/build}"
RENDER="$BUILD_DIR/src/cli/tamovid-render"
FLOOR="$BUILD_DIR/bench/export_floor"
PRESET="${EXPORT_BENCH_PRESET:-veryfast}"   # must match kX264Preset in src/export/video_writer.h
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
FONT="$(fc-match -f '%{file}' 'DejaVu Sans:bold')"

ff() { ffmpeg -nostdin -v error -y "$@"; }
# Runs a command, prints "wall-seconds peak-kB".
measure() { /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || { cat "$WORK/err.txt"; exit 1; }; cat "$WORK/time.txt"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
quality() {  # PSNR and SSIM of $1 against $2
  ffmpeg -nostdin -i "$1" -i "$2" -lavfi "[0:v]split[a][b];[1:v]split[c][d];[a][c]psnr;[b][d]ssim" -f null - 2>&1 |
    awk '/PSNR/ { for (i = 1; i <= NF; i++) if ($i ~ /^average:/) { sub("average:", "", $i); p = $i } }
         /SSIM/ { for (i = 1; i <= NF; i++) if ($i ~ /^All:/) { sub("All:", "", $i); s = $i } }
         END { printf "PSNR %s dB  SSIM %s", p, s }'
}

# HD clips carry BT.709, as camera footage does (an untagged synthetic clip would be read as BT.709
# by players and by the export, while it was made with BT.601).
TAG="-vf scale=out_color_matrix=bt709:out_range=tv -colorspace bt709 -color_primaries bt709 -color_trc bt709"
echo "making clips in $WORK ..."
for d in 10 40; do
  ff -f lavfi -i "testsrc2=s=1920x1080:r=30:d=$d" -f lavfi -i "sine=f=440:d=$d" $TAG \
     -pix_fmt yuv420p -c:v libx264 -preset ultrafast -crf 16 -c:a aac -shortest "$WORK/clip$d.mp4"
done
ff -f lavfi -i "testsrc2=s=1920x1080:r=30:d=3" $TAG -pix_fmt yuv420p -c:v libx264 -preset ultrafast -crf 16 "$WORK/clip3.mp4"
ff -f lavfi -i "color=0x6c5ce7:s=300x150" -frames:v 1 "$WORK/logo.png"

cat >"$WORK/project.tamovid" <<JSON
{
  "cropPreset": "original", "previewHeight": 540,
  "imagePaths": { "img_LOGO": "logo.png" },
  "textObjects": [
    { "type": "blur", "xPercent": 50, "yPercent": 50, "widthPercent": 20, "heightPercent": 15, "blurAmount": 15 },
    { "type": "progressbar", "position": "bottom" },
    { "type": "image", "imageId": "img_LOGO", "xPercent": 85, "yPercent": 15, "scalePercent": 15 },
    { "type": "text", "text": "Tamo Video Editor", "fontFamily": "DejaVu Sans", "bold": true, "fontSizePercent": 6,
      "strokeEnabled": true, "strokeWidth": 2, "yPercent": 80 },
    { "type": "text", "text": "Második sor árnyékkal", "fontSizePercent": 4, "shadowEnabled": true, "shadowBlur": 4,
      "yPercent": 20, "animationIn": "fadeIn" },
    { "type": "emoji", "text": "🎉", "fontSizePercent": 8, "xPercent": 15, "yPercent": 15, "animationIn": "bounceIn" }
  ]
}
JSON
echo '{}' >"$WORK/plain.json"

# (b): the ffmpeg command line with the closest filters.
GRAPH="[0:v]split[base][b];[b]crop=384:162:768:459,boxblur=15[bl];[base][bl]overlay=768:459[v1];\
[1:v]scale=-1:162[logo];[v1][logo]overlay=W*0.85-w/2:H*0.15-h/2[v2];\
[v2]drawtext=fontfile=$FONT:text='Tamo Video Editor':fontsize=65:fontcolor=white:borderw=4:bordercolor=black:x=(w-tw)/2:y=h*0.8-th/2,\
drawtext=fontfile=$FONT:text='Masodik sor arnyekkal':fontsize=43:fontcolor=white:shadowx=2:shadowy=2:x=(w-tw)/2:y=h*0.2-th/2,\
drawtext=fontfile=$FONT:text='!!':fontsize=86:fontcolor=yellow:x=w*0.15-tw/2:y=h*0.15-th/2,\
drawbox=x=0:y=ih-9:w=iw:h=9:color=0x333333@0.3:t=fill,drawbox=x=0:y=ih-9:w=iw*t/10:h=9:color=0x6c5ce7:t=fill[out]"

echo
echo "1920x1080 30 fps, 10 s (300 frames), x264 preset $PRESET, $((1920 * 1080 * 4)) bit/s"
read -r tr mr < <(measure "$RENDER" --project "$WORK/project.tamovid" --video "$WORK/clip10.mp4" --output "$WORK/render.mp4")
read -r tf mf < <(measure "$FLOOR" "$WORK/clip10.mp4" "$WORK/floor.mp4" "$PRESET")
read -r tc mc < <(measure ffmpeg -nostdin -v error -y -i "$WORK/clip10.mp4" -i "$WORK/logo.png" -filter_complex "$GRAPH" \
                   -map "[out]" -map 0:a -c:v libx264 -preset "$PRESET" -b:v $((1920 * 1080 * 4)) -c:a aac "$WORK/cli.mp4")
read -r tr40 mr40 < <(measure "$RENDER" --project "$WORK/project.tamovid" --video "$WORK/clip40.mp4" --output "$WORK/render40.mp4")
printf "  %-34s %7.2f s  peak %6d MB\n" "tamovid-render (overlays)" "$tr" $((mr / 1024))
printf "  %-34s %7.2f s  peak %6d MB   render/floor %s\n" "(a) floor: decode + x264" "$tf" $((mf / 1024)) "$(ratio "$tr" "$tf")"
printf "  %-34s %7.2f s  peak %6d MB   render/cli   %s\n" "(b) ffmpeg CLI, same job" "$tc" $((mc / 1024)) "$(ratio "$tr" "$tc")"
printf "  %-34s %7.2f s  peak %6d MB   (memory must not grow with length)\n" "tamovid-render, 40 s clip" "$tr40" $((mr40 / 1024))
echo "  targets: render/floor <= 1.30, render/cli < 1.00, peak < 300 MB"

read -r tp mp < <(measure "$RENDER" --params "$WORK/plain.json" --video "$WORK/clip10.mp4" --output "$WORK/plain.mp4")
echo "  tamovid-render without overlays: $tp s; against the source: $(quality "$WORK/plain.mp4" "$WORK/clip10.mp4")"

echo
echo "x264 presets at the same bit rate (3 s clip, floor program):"
for p in ultrafast superfast veryfast faster fast medium; do
  read -r t m < <(measure "$FLOOR" "$WORK/clip3.mp4" "$WORK/p_$p.mp4" "$p")
  printf "  %-10s %6.2f s   %s\n" "$p" "$t" "$(quality "$WORK/p_$p.mp4" "$WORK/clip3.mp4")"
done
