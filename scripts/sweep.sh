#!/usr/bin/env bash
# Runs experiment programs over a grid of seeds (times factors, for the XOR
# programs) with GNU parallel, keeps a summary of every run, and gathers the
# headline figures of all runs into one table.
#
#   scripts/sweep.sh [options] PROGRAM...
#
# PROGRAM is a program name (exp-poisson, exp-xor-shift...), looked up in the
# build folder, or a path. Programs whose name starts with exp-xor- get each
# factor first on their command line; the others run once per seed.
#
# Options:
#   -s SEEDS   seeds, as a list and ranges: "1-5", "1,2,7" (default 1)
#   -f FACTORS factors for the XOR programs: "0.5,1.0,1.5" (default 1.0)
#   -j N       at most N runs at once (on each host; default: one per core)
#   -o DIR     output folder (default sweep-DATE-TIME here)
#   -k MODE    what to keep of each run: gzip (the trace gzipped, and its
#              summary) or summary (the summary only) (default gzip)
#   -a ARGS    more arguments for every program, e.g. "--steps 20000"
#   -b DIR     build folder with the programs and exp-summary
#              (default build/release of this checkout)
#   -e FILE    the exp-summary program (default: from the build folder)
#   -S FILE, --sshloginfile FILE
#              run on the hosts listed in FILE (handed to parallel as is);
#              each host must see this script, the programs and the output
#              folder at the same paths, e.g. on a shared file system
#   -n         only print what would run
#   -h         this help
#
# Output, in the output folder:
#   sweep.csv                       the headline row of every run, with the
#                                   columns program, seed, factor first and
#                                   the program's exit status last
#   runs/PROGRAM/seed-S[-factor-F]/ summary.txt, headline.csv, csv/ (the
#                                   tables for scripts/plot-run.py),
#                                   trace.txt.gz (with -k gzip), stderr.txt
#   joblog.tsv                      parallel's log of the runs
#
# Exit status: 0 when every run and its summary succeeded, 1 when some
# failed (their rows are still in sweep.csv when a summary could be made),
# 2 for a usage error.
set -euo pipefail

self=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$self"; }
die() { echo "sweep.sh: $*" >&2; exit 2; }

# One run, started by parallel (on whichever host):
#   --run-one OUT KEEP SUMMARY PROGRAM_PATH PROGRAM SEED FACTOR ARGS
# It prints the run's headline, a header line and a row, on standard output.
run_one() {
  local out=$1 keep=$2 summary=$3 path=$4 name=$5 seed=$6 factor=$7 extra=$8
  [[ $factor == - ]] && factor=
  local dir="$out/runs/$name/seed-$seed${factor:+-factor-$factor}"
  mkdir -p "$dir"
  cd "$dir"
  rm -f trace.txt.gz summary.txt headline.csv
  local -a args=()
  [[ -n $factor ]] && args+=("$factor")
  args+=(--seed "$seed")
  # The extra arguments are split at spaces, as typed on a command line.
  # shellcheck disable=SC2206
  [[ -n $extra ]] && args+=($extra)
  local -a sargs=(--csv csv --headline headline.csv --label "program=$name" --label "seed=$seed"
                  --label "factor=$factor")
  local prog_status sum_status
  set +e
  if [[ $keep == gzip ]]; then
    "$path" "${args[@]}" 2>stderr.txt | gzip -1 >trace.txt.gz
    prog_status=${PIPESTATUS[0]}
    gzip -dc trace.txt.gz | "$summary" "${sargs[@]}" >summary.txt 2>>stderr.txt
    sum_status=${PIPESTATUS[1]}
  else
    "$path" "${args[@]}" 2>stderr.txt | "$summary" "${sargs[@]}" >summary.txt 2>>stderr.txt
    prog_status=${PIPESTATUS[0]} sum_status=${PIPESTATUS[1]}
  fi
  set -e
  if [[ $sum_status -eq 0 ]]; then
    awk -v status="$prog_status" 'NR == 1 { print $0 ",exit" } NR == 2 { print $0 "," status }' headline.csv
  fi
  if [[ $prog_status -ne 0 || $sum_status -ne 0 ]]; then
    echo "sweep.sh: $name seed $seed${factor:+ factor $factor} failed (program exit $prog_status," \
         "summary exit $sum_status): see $dir/stderr.txt" >&2
    return 1
  fi
}

if [[ ${1:-} == --run-one ]]; then
  shift
  run_one "$@"
  exit
fi

# "1-3,7" -> "1 2 3 7"
expand_list() {
  local item a b
  for item in ${1//,/ }; do
    if [[ $item =~ ^(-?[0-9]+)-(-?[0-9]+)$ ]]; then
      a=${BASH_REMATCH[1]} b=${BASH_REMATCH[2]}
      ((a <= b)) || die "empty range $item"
      seq "$a" "$b"
    else
      echo "$item"
    fi
  done
}

seeds=1 factors=1.0 jobs= out= keep=gzip extra= build= summary= sshloginfile= dry=0
while [[ $# -gt 0 ]]; do
  case $1 in
    -[sfjokabeS]|--sshloginfile) [[ $# -ge 2 ]] || die "option $1 needs a value" ;;
  esac
  case $1 in
    -s) seeds=$2; shift 2 ;;
    -f) factors=$2; shift 2 ;;
    -j) jobs=$2; shift 2 ;;
    -o) out=$2; shift 2 ;;
    -k) keep=$2; shift 2 ;;
    -a) extra=$2; shift 2 ;;
    -b) build=$2; shift 2 ;;
    -e) summary=$2; shift 2 ;;
    -S|--sshloginfile) sshloginfile=$2; shift 2 ;;
    --sshloginfile=*) sshloginfile=${1#*=}; shift ;;
    -n) dry=1; shift ;;
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
    -*) die "unknown option $1 (see -h)" ;;
    *) break ;;
  esac
done
[[ $# -gt 0 ]] || die "no program named (see -h)"
[[ $keep == gzip || $keep == summary ]] || die "-k takes gzip or summary, not $keep"
[[ -z $jobs || $jobs =~ ^[0-9]+%?$ ]] || die "-j takes a number, not $jobs"
command -v parallel >/dev/null || die "GNU parallel is not installed (apt-get install parallel)"

repo=$(cd "$(dirname "$self")/.." && pwd)
build=${build:-$repo/build/release}
find_program() {
  local name=$1 candidate
  if [[ $name == */* ]]; then
    [[ -x $name ]] || die "$name is not an executable file"
    echo "$(cd "$(dirname "$name")" && pwd)/$(basename "$name")"
    return
  fi
  for candidate in "$build/drivers/$name" "$build/summary/$name" "$build/$name" "$build/bin/$name"; do
    [[ -x $candidate ]] && { echo "$candidate"; return; }
  done
  candidate=$(command -v "$name") || die "cannot find $name in $build or on PATH (build it, or use -b)"
  echo "$candidate"
}
summary=$(find_program "${summary:-exp-summary}")

seed_list=$(expand_list "$seeds")
factor_list=$(expand_list "$factors")
for s in $seed_list; do [[ $s =~ ^-?[0-9]+$ ]] || die "seed $s is not an integer"; done
for f in $factor_list; do [[ $f =~ ^-?[0-9]+(\.[0-9]+)?$ ]] || die "factor $f is not a number"; done

out=${out:-sweep-$(date +%Y%m%d-%H%M%S)}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The grid, one run a line: path, name, seed, factor ("-" for none).
grid=$out/grid.tsv
: >"$grid"
for p in "$@"; do
  path=$(find_program "$p")
  name=$(basename "$path")
  for s in $seed_list; do
    if [[ $name == exp-xor-* ]]; then
      for f in $factor_list; do printf '%s\t%s\t%s\t%s\n' "$path" "$name" "$s" "$f" >>"$grid"; done
    else
      printf '%s\t%s\t%s\t-\n' "$path" "$name" "$s" >>"$grid"
    fi
  done
done

popts=(--will-cite --colsep '\t' --keep-order --joblog "$out/joblog.tsv" -q)
[[ -n $jobs ]] && popts+=(-j "$jobs")
[[ -n $sshloginfile ]] && popts+=(--sshloginfile "$sshloginfile")
((dry)) && popts+=(--dry-run)

echo "sweep.sh: $(wc -l <"$grid") runs into $out" >&2
status=0
parallel "${popts[@]}" bash "$self" --run-one "$out" "$keep" "$summary" {1} {2} {3} {4} "$extra" \
  <"$grid" >"$out/headlines.txt" || status=$?
((dry)) && { cat "$out/headlines.txt"; exit 0; }

# Each run printed a header and a row; keep one header, and refuse rows
# whose columns do not match it.
: >"$out/sweep.csv"
awk -v table="$out/sweep.csv" '
  NR % 2 == 1 {
    if (NR == 1) { header = $0; print > table }
    else if ($0 != header) { bad = 1; skip = 1; next }
    skip = 0; next
  }
  !skip { print > table; rows++ }
  END {
    if (bad) print "sweep.sh: some runs have other columns than the first; their rows are left out" > "/dev/stderr"
    exit bad
  }' "$out/headlines.txt" || status=1
rm -f "$out/headlines.txt"

rows=$(($(wc -l <"$out/sweep.csv") - 1))
echo "sweep.sh: $rows rows in $out/sweep.csv" >&2
if ((status != 0)); then
  echo "sweep.sh: some runs failed; see $out/joblog.tsv" >&2
  exit 1
fi
