#!/usr/bin/env bash
# deploy/parallel/render-many.sh with two local GNU parallel workers: a job list of three clips, one
# of which fails until its picture exists; the job log lets --resume-failed redo just that one.
set -euo pipefail
MANY="$(realpath "$2")/deploy/parallel/render-many.sh"
WORK="$(mktemp -d /tmp/tamo_parallel.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export TAMOVID_RENDER="$(realpath "$1")" HOME="$WORK" # GNU parallel keeps its own files under $HOME
cd "$WORK"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=160x90:r=10:d=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast clip.mp4
ffmpeg -nostdin -v error -y -f lavfi -i color=red:s=20x20 -frames:v 1 red.png
echo '{"textObjects": [{"type": "image", "imageId": "img_P", "scalePercent": 30}, {"text": "{{name}}"}]}' >params.json
cat >"jobs with space.jsonl" <<'JSONL'
{"params": "params.json", "video": "clip.mp4", "images": {"img_P": "red.png"}, "placeholders": {"name": "Első"}, "output": "out/first.mp4"}
{"params": "params.json", "video": "clip.mp4", "images": {"img_P": "later.png"}, "placeholders": {"name": "Második"}, "output": "out/second.mp4"}

{"params": "params.json", "video": "clip.mp4", "images": {"img_P": "red.png"}, "placeholders": {"name": "Harmadik"}, "output": "out/third.mp4"}
JSONL

check() { [ "$2" = "$3" ] || { echo "FAIL: $1: got '$2', expected '$3'"; fail=1; }; }
decodes() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=width,height,nb_read_frames -of csv=p=0 "$1" 2>/dev/null || true; }
fail=0 status=0
bash "$MANY" -j 2 --joblog run.log "jobs with space.jsonl" >out1.txt 2>&1 || status=$?
check "exit status with one failed job" "$status" 1
for clip in first third; do check "$clip clip" "$(decodes out/$clip.mp4)" "160,90,10"; done
check "second clip before its picture exists" "$(ls out/second.mp4 2>/dev/null || true)" ""
grep -q "job 1.*later.png" out1.txt || { cat out1.txt; echo "FAIL: the failing job's error is not in the output"; fail=1; }
check "failed jobs in the log (column 7)" "$(awk 'NR > 1 && $7 != 0' run.log | wc -l)/$(tail -n +2 run.log | wc -l)" 1/3

# With the picture in place only the failed job runs again.
cp red.png later.png
touch -d '2000-01-01' out/first.mp4
bash "$MANY" -j 2 --joblog run.log --resume-failed "jobs with space.jsonl" >out2.txt 2>&1 || { cat out2.txt; echo "FAIL: the resumed run failed"; fail=1; }
check "second clip after --resume-failed" "$(decodes out/second.mp4)" "160,90,10"
check "first clip untouched" "$(date -r out/first.mp4 +%Y)" 2000
check "jobs run by the resumed run" "$(grep -c 'wrote' out2.txt)" 1
check "temporary files" "$(find "$WORK" -name '_temp*' | wc -l)" 0
[ $fail -eq 0 ] && echo "PASS: two workers, a failed job resumed from the job log"
exit $fail
