#!/usr/bin/env bash
# A real single-node Slurm cluster on 127.0.0.1 (munged, slurmctld and slurmd with a slurm.conf,
# key, ports, state and spool folders of this test's own), deploy/slurm/render-array.sbatch
# submitted as an array of four small jobs, and the four outputs decoded.
# Needs root (the daemons run as root without systemd); otherwise it is skipped (exit 77).
set -euo pipefail
RENDER="$(realpath "$1")"
SOURCE_DIR="$(realpath "$2")"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the Slurm array test starts munged, slurmctld and slurmd and needs root"
  exit 77
fi
for tool in munged slurmctld slurmd sbatch squeue sinfo ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

WORK="$(mktemp -d /tmp/tamo_slurm.XXXXXX)"
PIDS=()
stop_daemons() {
  # By process id, never by name: other clusters or tests may run on this machine.
  for pid in "${PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
show_logs() {
  for log in "$WORK"/munged.log "$WORK"/slurmctld.log "$WORK"/slurmd.log "$WORK"/logs/*; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }
  done
}
finish() {
  status=$?
  [ $status -eq 0 ] || show_logs
  stop_daemons
  rm -rf "$WORK"
  exit $status
}
trap finish EXIT

# Two free TCP ports on 127.0.0.1 (nothing answers there).
free_port() {
  while :; do
    p=$(( 20000 + RANDOM % 30000 ))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then echo "$p"; return; fi
  done
}
CTLD_PORT="$(free_port)"
SLURMD_PORT="$(free_port)"
while [ "$SLURMD_PORT" = "$CTLD_PORT" ]; do SLURMD_PORT="$(free_port)"; done

# munge with its own key and socket.
mkdir -p "$WORK/state" "$WORK/spool" "$WORK/logs" "$WORK/media"
chmod 700 "$WORK"
head -c 1024 /dev/urandom >"$WORK/munge.key"
chmod 600 "$WORK/munge.key"
munged --foreground --force --key-file="$WORK/munge.key" --socket="$WORK/munge.socket" \
  --pid-file="$WORK/munged.pid" --log-file="$WORK/munged.log" --seed-file="$WORK/munged.seed" &
PIDS+=($!)
for _ in $(seq 100); do [ -S "$WORK/munge.socket" ] && break; sleep 0.1; done
[ -S "$WORK/munge.socket" ] || { echo "FAIL: munged did not start"; exit 1; }

NODE="$(hostname -s)"
MEMORY="$(( $(awk '/^MemTotal:/ { print $2 }' /proc/meminfo) / 1024 - 256 ))"
cat >"$WORK/slurm.conf" <<CONF
ClusterName=tamotest
SlurmctldHost=$NODE(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
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
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
SchedulerType=sched/backfill
NodeName=$NODE NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=$MEMORY State=UNKNOWN
PartitionName=render Nodes=$NODE Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$WORK/slurm.conf"

slurmctld -D -i -f "$SLURM_CONF" &
PIDS+=($!)
slurmd -D -f "$SLURM_CONF" &
PIDS+=($!)
state=""
for _ in $(seq 300); do
  state="$(sinfo -h -n "$NODE" -o %T 2>/dev/null || true)"
  [ "$state" = "idle" ] && break
  sleep 0.2
done
[ "$state" = "idle" ] || { echo "FAIL: the node did not become idle (state: '$state')"; exit 1; }

# Four small jobs from one template: each its own text.
cd "$WORK/media"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=160x90:r=10:d=1 -f lavfi -i sine=f=440:d=1 \
  -pix_fmt yuv420p -c:v libx264 -preset ultrafast -c:a aac -shortest clip.mp4
echo '{"textObjects": [{"text": "{{n}}", "fontSizePercent": 20}]}' >params.json
for n in 0 1 2 3; do
  echo "{\"params\": \"params.json\", \"video\": \"clip.mp4\", \"placeholders\": {\"n\": \"Nr. $n\"}, \"output\": \"out/clip$n.mp4\"}"
done >jobs.jsonl

cd "$WORK"
# The script asks for two cores and 2 GB a task; these clips need far less, and CI machines may be small.
JOB="$(TAMOVID_RENDER="$RENDER" sbatch --parsable --array=0-3 --cpus-per-task=1 --mem=200M \
  --output="$WORK/logs/render_%A_%a.out" \
  "$SOURCE_DIR/deploy/slurm/render-array.sbatch" "$WORK/media/jobs.jsonl")"
JOB="${JOB%%;*}"
echo "submitted array job $JOB"
for _ in $(seq 1500); do
  [ -z "$(squeue -h -j "$JOB" 2>/dev/null)" ] && break
  sleep 0.2
done
[ -z "$(squeue -h -j "$JOB" 2>/dev/null)" ] || { echo "FAIL: the array did not finish"; squeue; exit 1; }

fail=0
for n in 0 1 2 3; do
  out="$WORK/media/out/clip$n.mp4"
  log="$WORK/logs/render_${JOB}_$n.out"
  frames="$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,width,height \
    -of csv=p=0 "$out" 2>/dev/null || true)"
  if [ "$frames" != "160,90,10" ]; then echo "FAIL: task $n: $out decodes as '$frames'"; fail=1; fi
  if ! grep -q "task $n of array job $JOB" "$log" 2>/dev/null || ! grep -q "wrote $out" "$log"; then
    echo "FAIL: task $n: its log $log does not tell of its render"; fail=1
  fi
done
leftover="$(find "$WORK/media" -name '_temp*')"
[ -z "$leftover" ] || { echo "FAIL: temporary files left: $leftover"; fail=1; }
[ $fail -eq 0 ] && echo "PASS: four array tasks rendered and decoded"
exit $fail
