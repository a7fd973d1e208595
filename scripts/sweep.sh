#!/usr/bin/env bash
# Runs experiment programs over a grid of seeds, settings and (for the XOR
# programs) factors, with GNU parallel or as one Slurm job array; keeps each
# run's trace, summary and record, and gathers the headline figures of all
# runs into one table.
#
#   scripts/sweep.sh [options] PROGRAM...    plan the grid, check it, run it
#   scripts/sweep.sh --merge DIR             build DIR/sweep.csv from the runs
#                                            that finished; list the failed ones
#   scripts/sweep.sh --rerun DIR [options]   run again only the runs of DIR that
#                                            failed or never finished
#
# PROGRAM is a program name (exp-poisson, exp-xor-shift...), looked up in the
# build folder, or a path; or a network description, a path ending in .toml,
# run as BUILD/drivers/net1 FILE. Programs whose name starts with exp-xor- get
# each factor first on their command line, and a description gets it as
# --set rateFactor=F when -f is given; the others run once per seed. A
# program must follow the programs' conventions: PROGRAM --version prints
# "NAME VERSION" and "built from commit C" and exits 0.
#
# The grid:
#   -s SEEDS     seeds, as a list and ranges: "1-5", "1,2,7" (default 1);
#                numbers are decimal, also with leading zeros ("08-09")
#   -f FACTORS   factors for the XOR programs: "0.5,1.0,1.5" (default 1.0)
#   -p KEY=LIST  a setting and its values, e.g. -p rsvr.switchProb=0.02,0.05
#                or -p rsvr->sink.probability=0.1,0.2; repeatable: the grid is
#                the product of all lists (the keys are those of the
#                programs' --print-params)
# The runs:
#   -a ARGS      more arguments for every program, split at spaces, e.g.
#                "--steps 20000 --set sink.refractory=2" (not --seed: use -s;
#                nothing the grid sets, whatever its spelling; one line)
#   -r KINDS, --record KINDS
#                write only these line kinds (the programs' --record)
#   -k MODE      what to keep of each run: zst (the trace, compressed by the
#                program, and the summary) or summary (default zst)
#   --progress SECONDS
#                a progress line in each run's stderr.txt every SECONDS
#                (default 60; 0 for none)
#   -b DIR       build folder with the programs and exp-summary
#                (default build/release of this checkout)
#   -e FILE      the exp-summary program (default: from the build folder)
#   -o DIR       output folder, new or empty (default sweep-DATE-TIME here)
#   -n           only print what would run
#   -h           this help
# Where they run:
#   -j N         at most N runs at once (default: one per core; on Slurm: no
#                limit), on Slurm the array's % throttle
#   -S FILE, --sshloginfile FILE
#                run on the hosts listed in FILE (handed to GNU parallel);
#                each host must see this script, the programs and the output
#                folder at the same paths, e.g. on a shared file system
#   --slurm      submit one Slurm job array, one task per run, and a merge job
#                that starts when the array has ended (--dependency=afterany);
#                the tasks run exactly the command that GNU parallel runs
#   --time T     Slurm time limit of each run (default 1:00:00)
#   --mem M      Slurm memory limit of each run (default 1G)
#   --cpus N     Slurm CPUs of each run (default 2: the simulation, and the
#                compression and summary beside it)
#   --partition P, --sbatch-args "ARGS"
#                a Slurm partition, and more sbatch options (e.g. "--account=x")
#
# Output, in the output folder:
#   sweep.csv     one row per run: program, seed, factor, one column per -p
#                 key, version, args (the -a arguments and --record), the
#                 run's headline figures, and the program's exit status (exit)
#   failed.tsv    the runs that failed or never finished, with their exit
#                 statuses (only when there are some)
#   runs/PROGRAM/seed-S[-factor-F][-KEY-VALUE...]/ ("->" in a key is "-to-")
#                 trace.zst (with -k zst), summary.txt, headline.csv, csv/ (the
#                 tables for scripts/plot-run.py), meta.json (the program's
#                 record of the run), stderr.txt, status
#   grid.tsv, sweep.conf
#                 the planned runs and options, read by the runs and the merge
#   joblog.tsv    GNU parallel's log; slurm/ the Slurm scripts, logs, job ids
#
# A run whose program failed keeps its row, with its exit status; a run whose
# trace could not be summarised (damaged, or cut off) has no row. Both are
# listed as failed.
#
# Exit status: 0 when every run and its summary succeeded (on Slurm: when
# the jobs were submitted), 1 when some failed, 2 for a usage error; nothing
# runs when the grid or a setting is refused.
set -euo pipefail

self=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$self"; }
die() { echo "sweep.sh: $*" >&2; exit 2; }
say() { echo "sweep.sh: $*" >&2; }

# A CSV field, quoted when it holds a comma, a quote or a line end, into
# the variable named first (without a subshell: the merge makes thousands).
csv_field() {  # VAR TEXT
  if [[ $2 == *[,\"$'\n']* ]]; then
    printf -v "$1" '"%s"' "${2//\"/\"\"}"
  else
    printf -v "$1" '%s' "$2"
  fi
}

# "3 4 5 9" -> "3-5,9", for Slurm's --array.
index_ranges() {
  awk 'BEGIN { RS = "[ \n]+" } NF {
         if (n && $1 == last + 1) { last = $1; next }
         if (n) out = out (out == "" ? "" : ",") (first == last ? first : first "-" last)
         first = last = $1; n = 1 }
       END { if (n) out = out (out == "" ? "" : ",") (first == last ? first : first "-" last); print out }' <<<"$1"
}

# The sweep's folder: its options (sweep.conf) and its grid (grid.tsv, one run
# a line: task, program path, name, version, seed, factor or "-", settings as
# "KEY=VALUE ..." or "-", run folder).
load_sweep() {
  sweep_dir=$(cd -- "$1" 2>/dev/null && pwd) || die "no sweep folder $1"
  [[ -r $sweep_dir/sweep.conf && -r $sweep_dir/grid.tsv ]] || die "$1 holds no sweep (no sweep.conf and grid.tsv)"
  # shellcheck disable=SC1091
  source "$sweep_dir/sweep.conf"
  : "${launch_dir:?}"
}

# A program and its factor as a command, into the array cmd: a network
# description runs as net1 FILE, its factor the setting rateFactor.
program_command() {  # PATH FACTOR
  if [[ $1 == *.toml ]]; then
    cmd=("$net1" "$1")
    [[ $2 != - ]] && cmd+=(--set "rateFactor=$2")
  else
    cmd=("$1")
    [[ $2 != - ]] && cmd+=("$2")
  fi
  return 0
}

# The two commands of one run, into the arrays prog_cmd and sum_cmd.
task_commands() {  # PATH SEED FACTOR SETTINGS RUN_DIR
  local path=$1 seed=$2 factor=$3 settings=$4 rd=$5 kv
  program_command "$path" "$factor"
  prog_cmd=("${cmd[@]}" --seed "$seed")
  if [[ $settings != - ]]; then
    for kv in $settings; do prog_cmd+=(--set "$kv"); done
  fi
  prog_cmd+=("${extra[@]}")
  [[ -n $record ]] && prog_cmd+=(--record "$record")
  [[ $progress != 0 ]] && prog_cmd+=(--progress "$progress")
  prog_cmd+=(--meta "$rd/meta.json")
  [[ $keep == zst ]] && prog_cmd+=(-o "$rd/trace.zst" -o -)
  sum_cmd=("$summary" --csv "$rd/csv" --headline "$rd/headline.csv")
}

describe() {  # NAME SEED FACTOR SETTINGS
  local d="$1 seed $2"
  [[ $3 != - ]] && d+=" factor $3"
  [[ $4 != - ]] && d+=" $4"
  printf '%s' "$d"
}

# One run, started by GNU parallel or as a Slurm array task: --run-task DIR N.
# Its outcome is the file "status" in the run's folder ("PROGRAM_EXIT
# SUMMARY_EXIT"), written last, so that a run killed on the way has none.
run_task() {
  local n=$1 line task path name version seed factor settings rundir
  [[ $n =~ ^[0-9]+$ ]] || die "--run-task: not a run number: $n"
  line=$(awk -F'\t' -v n="$n" '$1 == n { print; exit }' "$sweep_dir/grid.tsv")
  [[ -n $line ]] || die "no run $n in $sweep_dir/grid.tsv"
  IFS=$'\t' read -r task path name version seed factor settings rundir <<<"$line"
  local rd=$sweep_dir/$rundir
  # A fresh folder: nothing of an earlier try stays, not even the temporary
  # files of a run killed on the way.
  rm -rf -- "$rd"
  mkdir -p -- "$rd"
  : >"$rd/stderr.txt"
  task_commands "$path" "$seed" "$factor" "$settings" "$rd"
  # Relative paths in -a mean what they meant where the sweep was started.
  cd "$launch_dir" 2>/dev/null || true
  set +e
  "${prog_cmd[@]}" 2>>"$rd/stderr.txt" | "${sum_cmd[@]}" >"$rd/summary.txt" 2>>"$rd/stderr.txt"
  local -a st=("${PIPESTATUS[@]}")
  set -e
  echo "${st[0]} ${st[1]}" >"$rd/status.partial"
  mv "$rd/status.partial" "$rd/status"
  if ((st[0] == 0 && st[1] == 0)); then
    say "run $n done: $(describe "$name" "$seed" "$factor" "$settings")"
  else
    say "run $n failed: $(describe "$name" "$seed" "$factor" "$settings") (program exit ${st[0]}," \
        "summary exit ${st[1]}): see $rd/stderr.txt"
    return 1
  fi
}

# The runs that have no status or a failed one, as task numbers.
unfinished_tasks() {
  local task path name version seed factor settings rundir ps ss
  while IFS=$'\t' read -r task path name version seed factor settings rundir; do
    ps='' ss=''
    [[ -r $sweep_dir/$rundir/status ]] && read -r ps ss <"$sweep_dir/$rundir/status"
    [[ $ps == 0 && $ss == 0 ]] || echo "$task"
  done <"$sweep_dir/grid.tsv"
}

# The rows of sweep.csv from lines "PREFIX<TAB>HEADER<TAB>ROW<TAB>EXIT" (a run's
# first columns, its headline and the program's exit status): the headline
# columns of all runs, each run's values under its own columns and nothing
# under those of other networks' groups and pathways. A column new to the
# table goes after the last of its kind (spk_, active_...), or else after
# the column before it in its own header.
merge_rows() {  # FIXED_HEADER LINES_FILE
  awk -F'\t' -v fixed="$1" '
    function split_csv(line, out,   n, i, c, field, quoted) {
      if (index(line, "\"") == 0) return split(line, out, ",")
      n = 0; field = ""; quoted = 0
      for (i = 1; i <= length(line); i++) {
        c = substr(line, i, 1)
        if (quoted) {
          if (c != "\"") field = field c
          else if (substr(line, i + 1, 1) == "\"") { field = field c; i++ }
          else quoted = 0
        } else if (c == "\"") quoted = 1
        else if (c == ",") { out[++n] = field; field = "" }
        else field = field c
      }
      out[++n] = field
      return n
    }
    function csv(v,   q) {
      if (v !~ /[,"]/) return v
      q = v; gsub(/"/, "\"\"", q); return "\"" q "\""
    }
    function family(c) { return index(c, "_") ? substr(c, 1, index(c, "_")) : c }
    function add_columns(header,   n, i, j, name, at) {
      n = split_csv(header, name)
      at = 0
      for (i = 1; i <= n; i++) {
        if (name[i] in place) { at = place[name[i]]; continue }
        for (j = count; j > at; j--) if (family(column[j]) == family(name[i])) { at = j; break }
        for (j = count; j > at; j--) { column[j + 1] = column[j]; place[column[j + 1]] = j + 1 }
        column[++at] = name[i]; place[name[i]] = at; count++
      }
    }
    NR == FNR { if (!($2 in seen)) { seen[$2] = 1; add_columns($2) }; next }
    FNR == 1 {
      line = fixed
      for (j = 1; j <= count; j++) line = line "," csv(column[j])
      print line ",exit"
    }
    {
      n = split_csv($2, name); split_csv($3, value)
      delete at
      for (i = 1; i <= n; i++) at[name[i]] = value[i]
      line = $1
      for (j = 1; j <= count; j++) line = line "," ((column[j] in at) ? csv(at[column[j]]) : "")
      print line "," $4
    }
    END { if (NR == 0) print fixed ",exit" }' "$2" "$2"
}

# sweep.csv from the runs that finished, in grid order; failed.tsv and a line
# on standard error for each run that failed or never finished.
merge() {
  local table=$sweep_dir/sweep.csv failed=$sweep_dir/failed.tsv
  local task path name version seed factor settings rundir ps ss kv head row prefix field
  local rows=0 nfailed=0 shown=0 reason lines_file=$table.lines
  : >"$lines_file"
  printf 'task\tprogram\tseed\tfactor\tsettings\tprogram_exit\tsummary_exit\treason\tfolder\n' >"$failed.partial"
  while IFS=$'\t' read -r task path name version seed factor settings rundir; do
    ps=- ss=- reason=
    if [[ -r $sweep_dir/$rundir/status ]]; then
      read -r ps ss <"$sweep_dir/$rundir/status"
    else
      reason="did not finish (not started, still running, or stopped, e.g. at a time limit)"
    fi
    if [[ -z $reason && $ss == 0 ]]; then
      { IFS= read -r head && IFS= read -r row; } <"$sweep_dir/$rundir/headline.csv" 2>/dev/null || head='' row=''
      if [[ -z $head || -z $row ]]; then
        reason="no headline"
      else
        csv_field prefix "$name"
        prefix+=",$seed,"
        [[ $factor == - ]] || { csv_field field "$factor"; prefix+=$field; }
        if [[ $settings != - ]]; then
          for kv in $settings; do csv_field field "${kv#*=}"; prefix+=",$field"; done
        fi
        csv_field field "$version"
        prefix+=",$field"
        csv_field field "$args_text"
        prefix+=",$field"
        printf '%s\t%s\t%s\t%s\n' "$prefix" "$head" "$row" "$ps" >>"$lines_file"
        rows=$((rows + 1))
        [[ $ps == 0 ]] || reason="the program failed"
      fi
    elif [[ -z $reason ]]; then
      reason="its trace could not be summarised"
    fi
    if [[ -n $reason ]]; then
      nfailed=$((nfailed + 1))
      printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$task" "$name" "$seed" "$factor" "$settings" \
        "$ps" "$ss" "$reason" "$rundir" >>"$failed.partial"
      if ((shown < 20)); then
        say "failed: run $task, $(describe "$name" "$seed" "$factor" "$settings"): $reason" \
            "(program exit $ps, summary exit $ss); see $rundir/stderr.txt"
        shown=$((shown + 1))
      fi
    fi
  done <"$sweep_dir/grid.tsv"
  local fixed="program,seed,factor"
  local k
  for k in "${keys[@]}"; do csv_field field "$k"; fixed+=",$field"; done
  fixed+=",version,args"
  merge_rows "$fixed" "$lines_file" >"$table.new"
  rm -f "$lines_file"
  mv "$table.new" "$table"
  if ((nfailed)); then
    mv "$failed.partial" "$failed"
  else
    rm -f "$failed.partial" "$failed"
  fi
  local total
  total=$(wc -l <"$sweep_dir/grid.tsv")
  say "$rows rows in $table"
  if ((nfailed)); then
    ((shown < nfailed)) && say "... and $((nfailed - shown)) more"
    say "$nfailed of $total runs failed (listed in $failed); run them again with: $self --rerun $sweep_dir"
    return 1
  fi
}

# ---------------------------------------------------------------- Slurm

slurm_time_ok() { [[ $1 =~ ^([0-9]+-)?[0-9]+(:[0-9]+){0,2}$ ]]; }
slurm_mem_ok() { [[ $1 =~ ^[0-9]+[KMGT]?$ ]]; }

# Submits the given runs as one array job and the merge as a job that starts
# when every task has ended, whatever their outcome.
submit_slurm() {  # ARRAY_SPEC
  local tasks=$1 sb=$sweep_dir/slurm jid mid
  local -a common=()
  [[ -n $slurm_partition ]] && common+=(--partition="$slurm_partition")
  # shellcheck disable=SC2206
  [[ -n $sbatch_args ]] && common+=($sbatch_args)
  local -a run=(sbatch --parsable --job-name=sweep-runs --array="$tasks${jobs:+%$jobs}"
                --output="$sb/task-%a.log" --time="$slurm_time" --mem="$slurm_mem"
                --cpus-per-task="$slurm_cpus" "${common[@]}" "$sb/run.sbatch")
  if ((dry)); then
    printf '%q ' "${run[@]}"; echo
    printf 'sbatch --parsable --job-name=sweep-merge --dependency=afterany:JOB ... %q\n' "$sb/merge.sbatch"
    return 0
  fi
  command -v sbatch >/dev/null || die "sbatch is not on PATH: is this a Slurm login node?"
  mkdir -p "$sb"
  # shellcheck disable=SC2016
  printf '#!/bin/bash\n# One run of the sweep in %q, task SLURM_ARRAY_TASK_ID of its grid.tsv.\nexec bash %q --run-task %q "$SLURM_ARRAY_TASK_ID"\n' \
    "$sweep_dir" "$self" "$sweep_dir" >"$sb/run.sbatch"
  printf '#!/bin/bash\n# Builds sweep.csv of %q from the runs that finished.\nexec bash %q --merge %q\n' \
    "$sweep_dir" "$self" "$sweep_dir" >"$sb/merge.sbatch"
  jid=$("${run[@]}") || { say "sbatch refused the job array"; exit 1; }
  jid=${jid%%;*}
  mid=$(sbatch --parsable --job-name=sweep-merge --dependency=afterany:"$jid" --output="$sb/merge.log" \
          --time=30:00 --mem=500M --cpus-per-task=1 "${common[@]}" "$sb/merge.sbatch") ||
    { say "array job $jid submitted, but not its merge: merge by hand when it has ended: $self --merge $sweep_dir"; exit 1; }
  mid=${mid%%;*}
  echo "$jid $mid" >>"$sb/jobs.txt"
  say "submitted runs $tasks as Slurm job $jid (logs in $sb), and the merge as job $mid;"
  say "sweep.csv appears in $sweep_dir when it has run. Runs that fail: $self --rerun $sweep_dir"
}

# Refuse to rerun what the queue still holds.
slurm_queue_clear() {
  local ids
  [[ -r $sweep_dir/slurm/jobs.txt ]] || return 0
  command -v squeue >/dev/null || return 0
  ids=$(tr ' ' '\n' <"$sweep_dir/slurm/jobs.txt" | paste -sd, -)
  if [[ -n $(squeue -h -j "$ids" -o %i 2>/dev/null) ]]; then
    die "jobs of this sweep are still in the Slurm queue ($ids): wait for them, or scancel them first"
  fi
}

# ---------------------------------------------------------------- GNU parallel

run_parallel() {  # TASK...
  command -v parallel >/dev/null || die "GNU parallel is not installed (apt-get install parallel)"
  local -a popts=(--will-cite --joblog "$sweep_dir/joblog.tsv" -q)
  [[ -n $jobs ]] && popts+=(-j "$jobs")
  [[ -n $sshloginfile ]] && popts+=(--sshloginfile "$sshloginfile")
  local status=0
  printf '%s\n' "$@" | parallel "${popts[@]}" bash "$self" --run-task "$sweep_dir" {} || status=$?
  merge || status=1
  return "$status"
}

# ---------------------------------------------------------------- options

# Empty means not given: --rerun keeps the sweep's own values for those.
seeds=1 factors='' factors_given=0 jobs='' out='' keep=zst extra_text='' build='' summary='' sshloginfile='' dry=0
record='' progress=60 slurm=0 slurm_time='' slurm_mem='' slurm_cpus='' slurm_partition='' sbatch_args=
action=plan action_dir=
declare -a param_specs=()
while [[ $# -gt 0 ]]; do
  opt=$1
  if [[ $opt == --*=* ]]; then
    shift
    set -- "${opt%%=*}" "${opt#*=}" "$@"
    opt=$1
  fi
  case $opt in
    -[sfpjokabeSr]|--sshloginfile|--record|--progress|--time|--mem|--cpus|--partition|--sbatch-args|--merge|--rerun|--run-task)
      [[ $# -ge 2 ]] || die "option $opt needs a value" ;;
  esac
  case $opt in
    -s) seeds=$2; shift 2 ;;
    -f) factors=$2; factors_given=1; shift 2 ;;
    -p) param_specs+=("$2"); shift 2 ;;
    -j) jobs=$2; shift 2 ;;
    -o) out=$2; shift 2 ;;
    -k) keep=$2; shift 2 ;;
    -a) extra_text=$2; shift 2 ;;
    -b) build=$2; shift 2 ;;
    -e) summary=$2; shift 2 ;;
    -r|--record) record=$2; shift 2 ;;
    -S|--sshloginfile) sshloginfile=$2; shift 2 ;;
    --progress) progress=$2; shift 2 ;;
    --slurm) slurm=1; shift ;;
    --time) slurm_time=$2; shift 2 ;;
    --mem) slurm_mem=$2; shift 2 ;;
    --cpus) slurm_cpus=$2; shift 2 ;;
    --partition) slurm_partition=$2; shift 2 ;;
    --sbatch-args) sbatch_args=$2; shift 2 ;;
    --merge|--rerun) action=${opt#--}; action_dir=$2; shift 2 ;;
    --run-task) action='run-task'; action_dir=$2; shift 2
                [[ $# -ge 1 ]] || die "--run-task needs a folder and a run number"; run_number=$1; shift ;;
    -n) dry=1; shift ;;
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
    -*) die "unknown option $opt (see -h)" ;;
    *) break ;;
  esac
done

[[ -z $jobs || $jobs =~ ^[1-9][0-9]*$ || ($slurm == 0 && $jobs =~ ^[1-9][0-9]*%$) ]] ||
  die "-j takes a number of runs, not $jobs"
[[ -z $slurm_time ]] || slurm_time_ok "$slurm_time" ||
  die "--time takes a Slurm time (MINUTES, H:MM:SS or D-H:MM:SS), not $slurm_time"
[[ -z $slurm_mem ]] || slurm_mem_ok "$slurm_mem" || die "--mem takes a Slurm memory size (e.g. 500M, 2G), not $slurm_mem"
[[ -z $slurm_cpus || $slurm_cpus =~ ^[1-9][0-9]*$ ]] || die "--cpus takes a number, not $slurm_cpus"
[[ $slurm == 0 || -z $sshloginfile ]] || die "--slurm and --sshloginfile do not go together"

case $action in
  run-task)
    load_sweep "$action_dir"
    run_task "$run_number"
    exit ;;
  merge)
    [[ $# -eq 0 ]] || die "--merge takes only the sweep's folder"
    load_sweep "$action_dir"
    merge
    exit ;;
  rerun)
    [[ $# -eq 0 ]] || die "--rerun takes the sweep's folder and options, no programs"
    # Options given now (-j, --time, --mem...) replace those of the sweep.
    given=("$jobs" "$sshloginfile" "$slurm_time" "$slurm_mem" "$slurm_cpus" "$slurm_partition" "$sbatch_args")
    load_sweep "$action_dir"
    jobs=${given[0]:-$jobs} sshloginfile=${given[1]:-$sshloginfile} slurm_time=${given[2]:-$slurm_time}
    slurm_mem=${given[3]:-$slurm_mem} slurm_cpus=${given[4]:-$slurm_cpus}
    slurm_partition=${given[5]:-$slurm_partition} sbatch_args=${given[6]:-$sbatch_args}
    ((slurm)) && mode=slurm
    mapfile -t todo < <(unfinished_tasks)
    if ((${#todo[@]} == 0)); then
      say "every run of $sweep_dir has succeeded: nothing to rerun"
      merge
      exit
    fi
    say "running again runs $(index_ranges "${todo[*]}") (${#todo[@]} of $(wc -l <"$sweep_dir/grid.tsv"))"
    if [[ $mode == slurm ]]; then
      slurm_queue_clear
      submit_slurm "$(index_ranges "${todo[*]}")"
      exit 0
    fi
    run_parallel "${todo[@]}" || exit 1
    exit 0 ;;
esac

# ---------------------------------------------------------------- planning

[[ $# -gt 0 ]] || die "no program named (see -h)"
case $keep in
  zst|summary) ;;
  gzip) die "-k gzip is gone: the programs keep their traces as .zst themselves (-k zst, the default)" ;;
  *) die "-k takes zst or summary, not $keep" ;;
esac
[[ $progress =~ ^[0-9]+(\.[0-9]+)?$ ]] || die "--progress takes a number of seconds, not $progress"
[[ -z $record || $record =~ ^[a-z]+(,[a-z]+)*$ ]] || die "--record takes line kinds separated by commas, not $record"
slurm_time=${slurm_time:-1:00:00} slurm_mem=${slurm_mem:-1G} slurm_cpus=${slurm_cpus:-2}
((slurm || dry)) || command -v parallel >/dev/null || die "GNU parallel is not installed (apt-get install parallel)"

# -a: split at spaces; what the sweep sets itself may not be in it, and
# the settings keys it sets, whatever the spelling, are noted: the grid may
# not set them too.
[[ $extra_text != *[$'\n\r']* ]] || die "-a holds a line break: give its arguments on one line"
read -r -a extra <<<"$extra_text"
declare -A extra_sets=()  # key -> how -a sets it
for ((i = 0; i < ${#extra[@]}; i++)); do
  word=${extra[i]}
  case $word in
    --seed|--seed=*) die "-a may not hold --seed: the seeds are the grid's (-s)" ;;
    -o*|--output|--output=*|--meta|--meta=*) die "-a may not hold $word: the sweep places each run's output" ;;
    --record|--record=*) die "-a may not hold --record: use -r" ;;
    --progress|--progress=*) die "-a may not hold --progress: use --progress of the sweep" ;;
    --print-params|--help|-h|--version) die "-a may not hold $word" ;;
    --steps=*) extra_sets[steps]=$word ;;
    --steps) extra_sets[steps]="$word ${extra[i + 1]:-}"; i=$((i + 1)) ;;
    --set=*) kv=${word#--set=}; extra_sets[${kv%%=*}]=$word ;;
    --set) kv=${extra[i + 1]:-}; extra_sets[${kv%%=*}]="$word $kv"; i=$((i + 1)) ;;
  esac
done
args_text=$extra_text
[[ -n $record ]] && args_text+="${args_text:+ }--record $record"

# Lists. Seeds: decimal integers and ranges; other values: single words.
seed_list=()
declare -A seen=()
[[ -n $seeds ]] || die "-s: the list of seeds is empty"
IFS=, read -r -a items <<<"$seeds,"
for item in "${items[@]}"; do
  [[ -n $item ]] || die "-s $seeds: an empty item in the list"
  if [[ $item =~ ^([0-9]{1,10})-([0-9]{1,10})$ ]]; then
    a=$((10#${BASH_REMATCH[1]})) b=$((10#${BASH_REMATCH[2]}))
  elif [[ $item =~ ^[0-9]{1,10}$ ]]; then
    a=$((10#$item)) b=$a
  else
    die "-s $seeds: $item is not a seed (0 to 4294967295) or a range of seeds"
  fi
  ((a <= b)) || die "-s $seeds: the range $item is empty"
  ((b <= 4294967295)) || die "-s $seeds: seeds go up to 4294967295"
  ((b - a < 100000)) || die "-s $seeds: the range $item has more than 100000 seeds"
  for ((s = a; s <= b; s++)); do
    [[ -z ${seen[$s]:-} ]] || die "-s $seeds: seed $s is listed twice"
    seen[$s]=1
    seed_list+=("$s")
  done
done

# A list of values of one key (or of the factors), each listed once: values
# that are equal as numbers (1 and 1.0) are one value. One pass for the
# whole list, however long.
value_list() {  # WHAT LIST -> the values, one a line
  [[ -n $2 ]] || die "$1: the list is empty"
  awk -v what="$1" -v list="$2" 'BEGIN {
    n = split(list, v, ",")
    for (i = 1; i <= n; i++) {
      if (v[i] == "") problem = "an empty item in the list " list
      else if (v[i] !~ /^[A-Za-z0-9_.+-]+$/) problem = v[i] " is not a value (a number or a word)"
      else {
        key = v[i]
        if (key ~ /^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?$/) key = sprintf("%.17g", key + 0)
        if (key in seen) problem = v[i] " is listed twice in " list
      }
      if (problem != "") { print "sweep.sh: " what ": " problem > "/dev/stderr"; exit 2 }
      seen[key] = 1
      print v[i]
    }
  }'
}

keys=()
declare -A key_values=()
for param in "${param_specs[@]}"; do
  [[ $param == *=* ]] || die "-p takes KEY=VALUES, not $param"
  key=${param%%=*}
  # A group's, a pathway's or a stimulus's key: rsvr.switchProb,
  # rsvr->sink.probability, input.interval.
  [[ $key =~ ^[A-Za-z0-9_]([A-Za-z0-9_.>-]*[A-Za-z0-9_])?$ ]] || die "-p $param: $key is not a settings key"
  [[ -z ${key_values[$key]+x} ]] || die "-p: key $key is given twice"
  key_values[$key]=$(value_list "-p $key" "${param#*=}") || exit 2
  keys+=("$key")
  [[ -z ${extra_sets[$key]+x} ]] ||
    die "-p $key: -a sets it too (${extra_sets[$key]}), and each run would take that value, not the grid's"
done

((factors_given)) || factors=1.0
listed=$(value_list "-f" "$factors") || exit 2
mapfile -t factor_list <<<"$listed"
for f in "${factor_list[@]}"; do
  [[ $f =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ ]] || die "-f: $f is not a non-negative decimal number"
done

# Settings combinations: the product of the -p lists ("-" when none).
combos=(-)
for key in "${keys[@]}"; do
  next=()
  mapfile -t vals <<<"${key_values[$key]}"
  for c in "${combos[@]}"; do
    for v in "${vals[@]}"; do
      if [[ $c == - ]]; then next+=("$key=$v"); else next+=("$c $key=$v"); fi
    done
  done
  combos=("${next[@]}")
done

repo=$(cd "$(dirname "$self")/.." && pwd)
build=${build:-$repo/build/release}
find_program() {
  local name=$1 candidate
  if [[ $name == */* ]]; then
    [[ -f $name && -x $name ]] || die "$name is not an executable file"
    echo "$(cd "$(dirname "$name")" && pwd)/$(basename "$name")"
    return
  fi
  for candidate in "$build/drivers/$name" "$build/summary/$name" "$build/$name" "$build/bin/$name"; do
    [[ -f $candidate && -x $candidate ]] && { echo "$candidate"; return; }
  done
  candidate=$(command -v "$name") || die "cannot find $name in $build or on PATH (build it, or use -b)"
  echo "$candidate"
}
summary=$(find_program "${summary:-exp-summary}") || exit 2

# A program that does not follow the programs' conventions would "succeed"
# with anything in its columns: PROGRAM --version must print "NAME VERSION"
# and "built from commit C" and exit 0, within ten seconds. Its version, or
# a refusal.
program_version() {  # PATH
  local out status=0 first second
  out=$(timeout 10 "$1" --version </dev/null 2>/dev/null | head -c 4096; exit "${PIPESTATUS[0]}") || status=$?
  first=${out%%$'\n'*} second=
  [[ $out == *$'\n'* ]] && second=${out#*$'\n'} && second=${second%%$'\n'*}
  if ((status != 0)) || [[ ! $first =~ ^[^[:space:]]+\ [^[:space:]]+$ || $second != "built from commit "?* ]]; then
    local said=${first//[^[:print:]]/?}
    ((status == 124)) && said="nothing within 10 seconds"
    die "$1 does not follow the programs' conventions: its --version must print \"NAME VERSION\" and" \
        "\"built from commit C\" and exit 0 (it printed \"${said:0:60}\", exit $status)"
  fi
  echo "${first#* }"
}

# A program's command for one settings combination, into the array cmd.
check_command() {  # PATH FACTOR COMBO
  local kv
  program_command "$1" "$2"
  if [[ $3 != - ]]; then for kv in $3; do cmd+=(--set "$kv"); done; fi
  cmd+=("${extra[@]}")
  [[ -n $record ]] && cmd+=(--record "$record")
  cmd+=(--print-params)
}
refused() {  # NAME ERRFILE: the program's refusal ends the sweep before it starts
  local msg rest="${cmd[*]:1}"
  msg=$(grep -m1 . "$2" || true)
  rest=${rest% --print-params}
  die "$1${rest:+ $rest} is refused: ${msg:-no message}"
}

# What a program says about each settings combination: its effective
# settings (--print-params, into CHECK_DIR/N.out for combination N), or its
# refusal, which ends the sweep before it starts. One start of the program
# per combination and nothing more: the program's own start is the cost.
check_combinations() {  # PATH NAME FACTOR
  local path=$1 name=$2 factor=$3 n=0 combo
  ((${#combos[@]} < 100)) || say "checking the ${#combos[@]} settings combinations with $name"
  for combo in "${combos[@]}"; do
    n=$((n + 1))
    check_command "$path" "$factor" "$combo"
    "${cmd[@]}" >"$check_dir/$n.out" 2>"$check_dir/$n.err" </dev/null || refused "$name" "$check_dir/$n.err"
  done
}
# The numbers of the combinations whose settings switch nothing, every
# switchProb 0: there the factor, which only scales switching, cannot
# change the run. One pass over the checks' outputs.
never_switching() {
  awk -v n="${#combos[@]}" -v dir="$check_dir" 'BEGIN {
    for (i = 1; i <= n; i++) {
      found = 0; nonzero = 0; file = dir "/" i ".out"
      while ((getline line < file) > 0) {
        sub(/#.*/, "", line)
        if (line ~ /(^|[[:space:].])switchProb[[:space:]]*=/) {
          v = line; sub(/.*=[[:space:]]*/, "", v); sub(/[[:space:]].*/, "", v)
          found = 1; if (v + 0 != 0) nonzero = 1
        }
      }
      close(file)
      if (found && !nonzero) print i
    }
  }'
}

check_dir=$(mktemp -d)
trap 'rm -rf "$check_dir"' EXIT

net1=''
programs=() names=() versions=() factored=()
declare -A named=()
for p in "$@"; do
  if [[ $p == *.toml ]]; then
    # A network description: run by net1, its factor given as rateFactor.
    [[ -f $p && -r $p ]] || die "cannot read the network description $p"
    path=$(cd -- "$(dirname -- "$p")" && pwd)/$(basename -- "$p")
    if [[ -z $net1 ]]; then
      net1=$build/drivers/net1
      [[ -f $net1 && -x $net1 ]] || die "cannot find $net1, which runs network descriptions (build it, or use -b)"
      net1_version=$(program_version "$net1") || exit 2
    fi
    version=$net1_version factor=$factors_given
  else
    path=$(find_program "$p") || exit 2
    version=$(program_version "$path") || exit 2
    factor=0
    [[ $(basename "$path") == exp-xor-* ]] && factor=1
  fi
  name=$(basename "$path")
  [[ -z ${named[$name]:-} ]] || die "program $name is named twice"
  named[$name]=1
  programs+=("$path") names+=("$name") versions+=("$version") factored+=("$factor")
done
any_factor=0
for f in "${factored[@]}"; do ((f)) && any_factor=1; done
((factors_given && !any_factor)) && say "note: -f is ignored: no XOR program or network description in the sweep"
if ((any_factor)); then
  # The factor is the setting rateFactor: given twice, the later would win.
  [[ -z ${extra_sets[rateFactor]+x} ]] ||
    die "-a sets rateFactor (${extra_sets[rateFactor]}), which is the factor the grid sets: give it with -f"
  [[ -z ${key_values[rateFactor]+x} ]] || die "-p rateFactor: rateFactor is the factor: give it with -f"
fi

# Every program checks every settings combination (with the first factor),
# and each further factor once, before anything runs.
grid=()
declare -A folders=()
for i in "${!programs[@]}"; do
  path=${programs[$i]} name=${names[$i]} version=${versions[$i]}
  first=-
  ((factored[i])) && first=${factor_list[0]}
  check_combinations "$path" "$name" "$first"
  declare -A single=()
  if ((factored[i] && ${#factor_list[@]} > 1)); then
    while read -r n; do [[ -n $n ]] && single[$n]=1; done < <(never_switching)
    for f in "${factor_list[@]:1}"; do
      check_command "$path" "$f" "${combos[0]}"
      "${cmd[@]}" >/dev/null 2>"$check_dir/factor.err" </dev/null || refused "$name" "$check_dir/factor.err"
    done
  fi
  if ((${#single[@]})); then
    what="switchProb is 0 in every group"
    ((${#single[@]} < ${#combos[@]})) && what+=" in ${#single[@]} of its ${#combos[@]} settings combinations"
    say "$name: $what, so the factor cannot change the run: running factor ${factor_list[0]} only there, not each of $(IFS=,; echo "${factor_list[*]}")"
  fi
  for s in "${seed_list[@]}"; do
    for ((n = 1; n <= ${#combos[@]}; n++)); do
      combo=${combos[n - 1]}
      these=-
      ((factored[i])) && these=${factor_list[*]}
      [[ -n ${single[$n]:-} ]] && these=${factor_list[0]}
      for f in $these; do
        rundir="runs/$name/seed-$s"
        if [[ $f != - ]]; then rundir+="-factor-$f"; fi
        if [[ $combo != - ]]; then
          # "->" in a pathway's key would be a redirection to a shell.
          part=${combo// /-} part=${part//->/-to-}
          part=${part//>/_} rundir+="-${part//=/-}"
        fi
        [[ -z ${folders[$rundir]:-} ]] || die "two runs would share the folder $rundir: $(describe "$name" "$s" "$f" "$combo")"
        folders[$rundir]=1
        grid+=("$path"$'\t'"$name"$'\t'"$version"$'\t'"$s"$'\t'"$f"$'\t'"$combo"$'\t'"$rundir")
      done
    done
  done
  unset single
done
ntasks=${#grid[@]}
if ((slurm && !dry)); then
  # Array task numbers must stay below the cluster's MaxArraySize (1001 unless set).
  max_array=$(scontrol show config 2>/dev/null | awk -F'= *' '$1 ~ /^MaxArraySize/ { print $2 + 0 }') || true
  if [[ -n $max_array ]] && ((ntasks >= max_array)); then
    die "the grid has $ntasks runs, more than this Slurm's job arrays take (MaxArraySize $max_array): split it into several sweeps"
  fi
fi

if ((dry)); then
  out_shown=${out:-sweep-DATE-TIME}
  for line in "${grid[@]}"; do
    IFS=$'\t' read -r path name version seed factor settings rundir <<<"$line"
    task_commands "$path" "$seed" "$factor" "$settings" "$out_shown/$rundir"
    printf '%q ' "${prog_cmd[@]}"; printf '| '; printf '%q ' "${sum_cmd[@]}"; echo
  done
  if ((slurm)); then sweep_dir=$out_shown; submit_slurm "1-$ntasks"; fi
  exit 0
fi

# The output folder: new, or empty of any other sweep.
out=${out:-sweep-$(date +%Y%m%d-%H%M%S)}
[[ ! -e $out/grid.tsv ]] || die "$out already holds a sweep: choose another folder (or run its failed runs again: $self --rerun $out)"
mkdir -p -- "$out" 2>/dev/null || die "cannot make the output folder $out"
{ : >"$out/.write-test" && rm -f -- "$out/.write-test"; } 2>/dev/null || die "cannot write in the output folder $out"
sweep_dir=$(cd -- "$out" && pwd)
mode=parallel
((slurm)) && mode=slurm
{
  printf 'summary=%q\nnet1=%q\n' "$summary" "$net1"
  printf 'keep=%q\nrecord=%q\nprogress=%q\n' "$keep" "$record" "$progress"
  printf 'extra=(%s)\n' "$( ((${#extra[@]})) && printf '%q ' "${extra[@]}")"
  printf 'args_text=%q\n' "$args_text"
  printf 'keys=(%s)\n' "$( ((${#keys[@]})) && printf '%q ' "${keys[@]}")"
  printf 'launch_dir=%q\nmode=%q\njobs=%q\nsshloginfile=%q\n' "$PWD" "$mode" "$jobs" "$sshloginfile"
  printf 'slurm_time=%q\nslurm_mem=%q\nslurm_cpus=%q\nslurm_partition=%q\nsbatch_args=%q\n' \
    "$slurm_time" "$slurm_mem" "$slurm_cpus" "$slurm_partition" "$sbatch_args"
} >"$sweep_dir/sweep.conf"
for i in "${!grid[@]}"; do printf '%d\t%s\n' $((i + 1)) "${grid[$i]}"; done >"$sweep_dir/grid.tsv"

say "$ntasks runs into $sweep_dir"
if ((slurm)); then
  submit_slurm "1-$ntasks"
  exit 0
fi
mapfile -t all < <(seq 1 "$ntasks")
run_parallel "${all[@]}" || exit 1
