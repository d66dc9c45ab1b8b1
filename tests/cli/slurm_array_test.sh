#!/usr/bin/env bash
# A real single-node Slurm cluster on 127.0.0.1 (munged, slurmctld and slurmd with a configuration, key,
# ports and folders of this test's own), deploy/slurm/render-array.sbatch submitted as an array of four
# small jobs, and the four outputs decoded. Needs root (the daemons run without systemd); else skipped (77).
set -euo pipefail
RENDER="$(realpath "$1")" SOURCE_DIR="$(realpath "$2")"
[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: the Slurm array test starts munged, slurmctld and slurmd and needs root"; exit 77; }
WORK="$(mktemp -d /tmp/tamo_slurm.XXXXXX)"
PIDS=()
finish() {
  status=$?
  [ $status -eq 0 ] || for log in "$WORK"/*.log "$WORK"/logs/*; do [ -f "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }; done
  # By process id, never by name: other clusters or tests may run on this machine.
  for pid in "${PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  sleep 2 && kill -KILL "${PIDS[@]}" 2>/dev/null || true
  rm -rf "$WORK"
  exit $status
}
trap finish EXIT
wait_until() {  # tries a command for 0.2 s × $1, else fails with $3
  for _ in $(seq "$1"); do eval "$2" && return; sleep 0.2; done
  echo "FAIL: $3"; exit 1
}
free_port() {  # a TCP port on 127.0.0.1 where nothing answers
  while :; do p=$((20000 + RANDOM % 30000)); (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }; done
}
CTLD_PORT="$(free_port)"
until SLURMD_PORT="$(free_port)" && [ "$SLURMD_PORT" != "$CTLD_PORT" ]; do :; done

mkdir -p "$WORK/state" "$WORK/spool" "$WORK/logs" "$WORK/media"  # mktemp made $WORK private
(umask 077 && head -c 1024 /dev/urandom >"$WORK/munge.key")
munged --foreground --force --key-file="$WORK/munge.key" --socket="$WORK/munge.socket" \
  --pid-file="$WORK/munged.pid" --log-file="$WORK/munged.log" --seed-file="$WORK/munged.seed" &
PIDS+=($!)
wait_until 50 '[ -S "$WORK/munge.socket" ]' "munged did not start"

NODE="$(hostname -s)"
export SLURM_CONF="$WORK/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=tamotest
SlurmctldHost=$NODE(127.0.0.1)
AuthInfo=socket=$WORK/munge.socket
SlurmctldPort=$CTLD_PORT
SlurmdPort=$SLURMD_PORT
StateSaveLocation=$WORK/state
SlurmdSpoolDir=$WORK/spool
SlurmctldPidFile=$WORK/slurmctld.pid
SlurmdPidFile=$WORK/slurmd.pid
SlurmctldLogFile=$WORK/slurmctld.log
SlurmdLogFile=$WORK/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
NodeName=$NODE NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=$(($(awk '/^MemTotal:/ { print $2 }' /proc/meminfo) / 1024 - 256)) State=UNKNOWN
PartitionName=render Nodes=$NODE Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -D -i -f "$SLURM_CONF" &
PIDS+=($!)
slurmd -D -f "$SLURM_CONF" &
PIDS+=($!)
wait_until 300 '[ "$(sinfo -h -n "$NODE" -o %T 2>/dev/null || true)" = idle ]' "the node did not become idle"

# Four small jobs from one template: each its own text.
cd "$WORK/media"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=160x90:r=10:d=1 -f lavfi -i sine=f=440:d=1 \
  -pix_fmt yuv420p -c:v libx264 -preset ultrafast -c:a aac -shortest clip.mp4
echo '{"textObjects": [{"text": "{{n}}", "fontSizePercent": 20}]}' >params.json
for n in 0 1 2 3; do
  echo "{\"params\": \"params.json\", \"video\": \"clip.mp4\", \"placeholders\": {\"n\": \"Nr. $n\"}, \"output\": \"out/clip$n.mp4\"}"
done >jobs.jsonl
# The script asks for two cores and 2 GB a task; these clips need far less, and CI machines may be small.
JOB="$(TAMOVID_RENDER="$RENDER" sbatch --parsable --array=0-3 --cpus-per-task=1 --mem=200M \
  --output="$WORK/logs/render_%A_%a.out" "$SOURCE_DIR/deploy/slurm/render-array.sbatch" "$WORK/media/jobs.jsonl")"
JOB="${JOB%%;*}"
wait_until 1500 '[ -z "$(squeue -h -j "$JOB" 2>/dev/null)" ]' "the array did not finish"

fail=0
for n in 0 1 2 3; do
  out="$WORK/media/out/clip$n.mp4" log="$WORK/logs/render_${JOB}_$n.out"
  got="$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=width,height,nb_read_frames -of csv=p=0 "$out" 2>/dev/null || true)"
  [ "$got" = "160,90,10" ] || { echo "FAIL: task $n: $out decodes as '$got'"; fail=1; }
  grep -q "task $n of array job $JOB" "$log" && grep -q "wrote $out" "$log" || { echo "FAIL: task $n: its log does not tell of its render"; fail=1; }
done
[ -z "$(find "$WORK/media" -name '_temp*')" ] || { echo "FAIL: temporary files left"; fail=1; }
[ $fail -eq 0 ] && echo "PASS: four array tasks rendered and decoded"
exit $fail
