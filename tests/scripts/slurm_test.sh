#!/usr/bin/env bash
# The sweep on a real Slurm: starts a one-node cluster on this machine
# (munged, slurmctld and slurmd, with all their state in a temporary folder
# and ports of their own), submits a 2 x 2 grid of short runs as a job array
# with its merge job, checks sweep.csv against the same grid run through GNU
# parallel, reruns one run with the documented command, and stops every
# daemon it started, also when it fails.
#
#   slurm_test.sh SCRIPTS_DIR EXP_SUMMARY FAKE_PROGRAM WORKDIR
set -euo pipefail
scripts=$1 summary=$2 fake=$3 work=$4
rm -rf "$work"
mkdir -p "$work/bin"
ln -s "$fake" "$work/bin/exp-xor-fake"

fail() { echo "slurm_test: FAIL: $*" >&2; exit 1; }
for tool in munged slurmctld slurmd sbatch squeue scontrol; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps installs slurm-wlm and munge)"
done

# munged wants every folder above its socket searchable by all, and its key
# readable by its user alone.
state=$(mktemp -d /tmp/net1-slurm.XXXXXX)
chmod 755 "$state"
mkdir -p "$state/munge" "$state/ctld" "$state/spool" "$state/log"
pids=()          # the daemons started here, by id
watchdog_pid=''
pid_of() {  # the pid a daemon wrote into FILE, waiting a little for it
  for _ in $(seq 50); do [[ -s $1 ]] && { cat "$1"; return; }; sleep 0.1; done
  return 1
}
stop_all() {
  set +e
  local pid deadline left=0
  if [[ -s $state/slurmctld.pid ]]; then
    squeue -h -o %i 2>/dev/null | xargs -r scancel 2>/dev/null
    scontrol shutdown >/dev/null 2>&1  # slurmctld and slurmd
  fi
  [[ -s $state/munge/munged.pid ]] && kill "$(cat "$state/munge/munged.pid")" 2>/dev/null
  deadline=$((SECONDS + 15))
  for pid in "${pids[@]}"; do
    while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.2; done
    if kill -0 "$pid" 2>/dev/null; then kill -TERM "$pid"; sleep 1; kill -KILL "$pid" 2>/dev/null; fi
  done
  [[ -n $watchdog_pid ]] && kill -- -"$watchdog_pid" 2>/dev/null
  for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && left=1; done
  if ((left)); then
    echo "slurm_test: FAIL: a daemon is still running" >&2
    return 1
  fi
  [[ -n ${KEEP_SLURM_STATE:-} ]] || rm -rf "$state"
}
on_exit() {
  local status=$?
  stop_all || status=1
  exit "$status"
}
trap on_exit EXIT
trap 'exit 1' INT TERM

head -c 1024 /dev/urandom >"$state/munge/munge.key"
chmod 600 "$state/munge/munge.key"
munged --socket="$state/munge/socket" --key-file="$state/munge/munge.key" --pid-file="$state/munge/munged.pid" \
  --log-file="$state/munge/munged.log" --seed-file="$state/munge/seed" ||
  fail "munged did not start: $(tail -2 "$state/munge/munged.log" 2>/dev/null)"
pids+=("$(pid_of "$state/munge/munged.pid")") || fail "munged wrote no pid file"

# Should this script be killed outright (at CTest's time limit), a watchdog in
# a session of its own stops the daemons a little later.
# shellcheck disable=SC2016
setsid bash -c 'echo $$ >"$1/watchdog.pid"; sleep 160
  SLURM_CONF=$1/slurm.conf timeout 10 scontrol shutdown; sleep 3
  for f in slurmctld.pid slurmd.pid munge/munged.pid; do [[ -s $1/$f ]] && kill -KILL "$(cat "$1/$f")"; done
  rm -rf "$1"' _ "$state" </dev/null >/dev/null 2>&1 &
watchdog_pid=$(pid_of "$state/watchdog.pid") || fail "the watchdog did not start"

read -r ctld_port slurmd_port < <(/usr/bin/python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')
host=$(hostname -s)
cat >"$state/slurm.conf" <<EOF
ClusterName=net1test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=$(id -un)
AuthType=auth/munge
AuthInfo=socket=$state/munge/socket
CredType=cred/munge
StateSaveLocation=$state/ctld
SlurmdSpoolDir=$state/spool
SlurmctldPidFile=$state/slurmctld.pid
SlurmdPidFile=$state/slurmd.pid
SlurmctldLogFile=$state/log/slurmctld.log
SlurmdLogFile=$state/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
ReturnToService=2
NodeName=net1test-node NodeHostname=$host NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=1000 State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$state/slurm.conf
slurmctld -f "$SLURM_CONF" || fail "slurmctld did not start: $(tail -3 "$state/log/slurmctld.log")"
pids+=("$(pid_of "$state/slurmctld.pid")") || fail "slurmctld wrote no pid file"
slurmd -f "$SLURM_CONF" -N net1test-node || fail "slurmd did not start: $(tail -3 "$state/log/slurmd.log")"
pids+=("$(pid_of "$state/slurmd.pid")") || fail "slurmd wrote no pid file"
deadline=$((SECONDS + 20))
until [[ $(sinfo -h -o %T 2>/dev/null) == idle ]]; do
  ((SECONDS < deadline)) || fail "the node is not up after 20 s: $(sinfo 2>&1; tail -3 "$state/log/slurmd.log")"
  sleep 0.5
done

wait_for_queue() {  # until every job has left the queue, or fail after $1 seconds
  local deadline=$((SECONDS + $1))
  while [[ -n $(squeue -h -o %i) ]]; do
    ((SECONDS < deadline)) || fail "jobs still queued after $1 s: $(squeue 2>&1)"
    sleep 0.5
  done
}

grid=(-s 1-2 -f "0.5,1.0" -j 2 -e "$summary" -a "--steps 50")
"$scripts/sweep.sh" --slurm --time 5 --mem 100M --cpus 1 "${grid[@]}" -o "$work/slurm" "$work/bin/exp-xor-fake" \
  2>"$work/submit.err" || fail "submitting failed: $(cat "$work/submit.err")"
grep -q "as Slurm job [0-9]*" "$work/submit.err" || fail "no job submitted: $(cat "$work/submit.err")"
wait_for_queue 40
"$scripts/sweep.sh" "${grid[@]}" -o "$work/parallel" "$work/bin/exp-xor-fake" 2>/dev/null || fail "the GNU parallel sweep failed"

[[ -s $work/slurm/sweep.csv ]] || fail "the merge job made no sweep.csv: $(cat "$work/slurm/slurm/merge.log" 2>&1)"
[[ $(wc -l <"$work/slurm/sweep.csv") -eq 5 ]] || fail "expected 4 rows: $(cat "$work/slurm/sweep.csv")"
cmp "$work/slurm/sweep.csv" "$work/parallel/sweep.csv" || fail "sweep.csv differs between Slurm and GNU parallel"
for task in 1 2 3 4; do
  grep -q "^sweep.sh: run $task done" "$work/slurm/slurm/task-$task.log" || fail "array task $task did not run the sweep's run"
done
grep -q "4 rows in" "$work/slurm/slurm/merge.log" || fail "merge log: $(cat "$work/slurm/slurm/merge.log")"
cmp <(zstd -dc "$work/slurm/runs/exp-xor-fake/seed-2-factor-1.0/trace.zst") \
    <(zstd -dc "$work/parallel/runs/exp-xor-fake/seed-2-factor-1.0/trace.zst") || fail "kept traces differ"

# One run lost (as if stopped at its time limit): the documented rerun submits
# that task alone, and its merge restores the table.
rm "$work/slurm/runs/exp-xor-fake/seed-1-factor-1.0/status" "$work/slurm/slurm/task-2.log"
"$scripts/sweep.sh" --rerun "$work/slurm" 2>"$work/rerun.err" || fail "rerun failed: $(cat "$work/rerun.err")"
grep -q "submitted runs 2 as Slurm job" "$work/rerun.err" || fail "rerun: $(cat "$work/rerun.err")"
wait_for_queue 40
grep -q "^sweep.sh: run 2 done" "$work/slurm/slurm/task-2.log" || fail "the rerun did not run task 2"
[[ ! -e $work/slurm/slurm/task-1.log || $(grep -c "run 1 done" "$work/slurm/slurm/task-1.log") -eq 1 ]] ||
  fail "the rerun ran task 1 again"
cmp "$work/slurm/sweep.csv" "$work/parallel/sweep.csv" || fail "sweep.csv after the rerun differs"
echo "slurm_test: all passed"
