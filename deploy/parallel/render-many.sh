#!/usr/bin/env bash
# Renders a tamovid-render job list with GNU parallel, on this machine or over SSH on many.
#
#   render-many.sh [-j N] [--sshloginfile HOSTS] [--joblog FILE] [--resume | --resume-failed] JOBS.jsonl
#
#   -j N                  jobs at once per machine (default 1: one render already keeps two cores busy)
#   --sshloginfile HOSTS  run on the hosts listed there (GNU parallel's format, ":" is this machine);
#                         tamovid-render, the job list and its media must be at the same paths on
#                         every host (a shared file system)
#   --joblog FILE         GNU parallel's record of every job (default: JOBS.jsonl.joblog)
#   --resume              leave out the jobs the job log has as run; --resume-failed runs the
#                         failed ones of the log again
#
# Each job is "tamovid-render --jobs JOBS --index N". Complete outputs are skipped by
# tamovid-render itself, so even a plain re-run only renders what is left. The exit status is
# GNU parallel's: the number of failed jobs (0 when every job succeeded).
# Set TAMOVID_RENDER to use a tamovid-render that is not on the PATH.
set -euo pipefail

usage() { sed -n '4,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

JOBS_AT_ONCE=1
OPTIONS=()
JOBLOG=""
while [ $# -gt 0 ]; do
  case "$1" in
    -j) [ $# -ge 2 ] || usage; JOBS_AT_ONCE="$2"; shift 2 ;;
    --sshloginfile) [ $# -ge 2 ] || usage; OPTIONS+=(--sshloginfile "$2"); shift 2 ;;
    --joblog) [ $# -ge 2 ] || usage; JOBLOG="$2"; shift 2 ;;
    --resume|--resume-failed) OPTIONS+=("$1"); shift ;;
    -h|--help) usage ;;
    -*) echo "render-many.sh: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || usage
JOBS="$(realpath "$1")"
[ -f "$JOBS" ] || { echo "render-many.sh: $1 is not a file" >&2; exit 2; }
RENDER="${TAMOVID_RENDER:-tamovid-render}"
case "$RENDER" in */*) RENDER="$(realpath "$RENDER")" ;; esac
JOBLOG="${JOBLOG:-$JOBS.joblog}"

# Job indices count the non-blank lines, as tamovid-render does.
COUNT="$(grep -c '[^[:space:]]' "$JOBS" || true)"
if [ "$COUNT" -eq 0 ]; then echo "render-many.sh: $1 holds no jobs" >&2; exit 0; fi

seq 0 $((COUNT - 1)) |
  parallel --quote --jobs "$JOBS_AT_ONCE" --joblog "$JOBLOG" --halt never --line-buffer --tagstring 'job {}' \
    "${OPTIONS[@]}" "$RENDER" --jobs "$JOBS" --index {}
