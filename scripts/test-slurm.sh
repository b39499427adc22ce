#!/usr/bin/env bash
# Runs the Slurm recipe for real on this machine: starts munge, slurmctld and
# slurmd on localhost from a configuration generated in a temporary folder (as
# root, no systemd), submits scripts/slurm-batch.sbatch as a 4-task array over a
# 40-row list, waits for it (at most 5 minutes), checks that the union of the
# four shards is the single-process batch byte for byte, and stops the daemons.
#
#   scripts/test-slurm.sh [build/mirelune-cli]
#
# Exit 0 passed, 1 failed, 77 skipped (not root, or Slurm/munge not installed).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$(realpath "${1:-$here/../build/mirelune-cli}")
skip() { echo "test-slurm: skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "slurmd must run as root"
for tool in munged slurmctld slurmd sbatch squeue; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh installs slurm-wlm and munge)"
done
[ -x "$cli" ] || { echo "test-slurm: no program at $cli" >&2; exit 1; }

tmp=$(mktemp -d /tmp/mirelune-slurm-XXXXXX)
chmod 700 "$tmp"
pids=()
stop() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  [ -n "${KEEP:-}" ] && echo "test-slurm: kept $tmp" || rm -rf "$tmp"
}
trap stop EXIT
fail() {
  echo "test-slurm: FAILED: $*" >&2
  for log in "$tmp"/*.log "$tmp"/run/mirelune-batch-*.out; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 15 "$log"; } >&2
  done
  exit 1
}
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# munge: a fresh key, its socket in our folder.
mkdir -p "$tmp/munge"
chmod 700 "$tmp/munge"
dd if=/dev/urandom of="$tmp/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge/munge.key"
munged --foreground --force --key-file="$tmp/munge/munge.key" --socket="$tmp/munge/munge.sock" \
  --pid-file="$tmp/munge/munged.pid" --log-file="$tmp/munged.log" --seed-file="$tmp/munge/munged.seed" \
  2>>"$tmp/munged.log" &
pids+=($!)
for _ in $(seq 50); do [ -S "$tmp/munge/munge.sock" ] && break; sleep 0.1; done
[ -S "$tmp/munge/munge.sock" ] || fail "munged did not start"

node=$(hostname -s)
mkdir -p "$tmp/state" "$tmp/spool" "$tmp/run"
cat >"$tmp/slurm.conf" <<CONF
ClusterName=mirelune-test
SlurmctldHost=$node(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
AuthType=auth/munge
AuthInfo=socket=$tmp/munge/munge.sock
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
MpiDefault=none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
ReturnToService=2
SlurmdTimeout=60
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$tmp/slurm.conf
slurmctld -D -i -f "$SLURM_CONF" 2>>"$tmp/slurmctld.log" &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$node" 2>>"$tmp/slurmd.log" &
pids+=($!)
for _ in $(seq 100); do
  state=$(sinfo -h -n "$node" -o %T 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.2
done
[ "$state" = idle ] || fail "the node did not come up (state \"$state\")"

# 40 rows, one of them bad, as bitmaps: small cards would hide nothing.
list=$tmp/list.csv
{
  echo "friend,sender,mode,palette"
  for k in $(seq 1 40); do
    case $k in
      13) echo "Friend $k,Sender,sideways," ;;
      *) echo "Friend $k,Sender $((k % 7)),$([ $((k % 5)) -eq 0 ] && echo pix || echo line),$((k % 27 == 0 ? 1 : k % 27))" ;;
    esac
  done
} >"$list"

job=$(sbatch --parsable --array=0-3 --cpus-per-task=1 --chdir="$tmp/run" \
  --export=ALL,MIRELUNE_CLI="$cli" "$here/slurm-batch.sbatch" "$list" "$tmp/sharded" --format bmp) ||
  fail "sbatch refused the job"
for _ in $(seq 1500); do
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
  sleep 0.2
done
if [ -n "$(squeue -h -j "$job" 2>/dev/null)" ]; then fail "the array did not end within 5 minutes"; fi

"$cli" batch "$list" --out-dir "$tmp/single" --format bmp --jobs 2 >/dev/null 2>&1 && fail "the bad row went unnoticed"
for k in 0 1 2 3; do [ -f "$tmp/sharded/manifest-$k-of-4.jsonl" ] || fail "task $k wrote no manifest"; done
cards() { (cd "$1" && find . -maxdepth 1 -name '*.bmp' -printf '%f\n' | sort); }
[ "$(cards "$tmp/sharded")" = "$(cards "$tmp/single")" ] || fail "the shards made other files than one process"
[ "$(cards "$tmp/single" | wc -l)" -eq 39 ] || fail "expected 39 cards"
while read -r f; do cmp -s "$tmp/sharded/$f" "$tmp/single/$f" || fail "$f differs"; done < <(cards "$tmp/single")
sort_rows() { sort -t: -k2,2n; }
diff <(cat "$tmp"/sharded/manifest-*-of-4.jsonl | sort_rows) <(sort_rows <"$tmp/single/manifest.jsonl") >/dev/null ||
  fail "the shards' manifests differ from the single manifest"
echo "test-slurm: passed: job $job, 4 array tasks, 39 cards and 1 bad row, identical to one process"
