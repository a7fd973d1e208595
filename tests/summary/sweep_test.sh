#!/usr/bin/env bash
# The sweep script on tiny grids of a stand-in program: a grid over seeds,
# factors and a settings key, what each run keeps, the options handed through
# to the runs, a factor that cannot matter, network descriptions run by a
# stand-in net1 (keys of pathways, networks of other shapes in one table),
# and the grids it must refuse.
#
#   sweep_test.sh SCRIPTS_DIR EXP_SUMMARY FAKE_PROGRAM WORKDIR
set -euo pipefail
scripts=$1 summary=$2 fake=$3 work=$4
rm -rf "$work"
mkdir -p "$work/bin"
for name in exp-xor-fake exp-plain-fake exp-xor-rand; do ln -s "$fake" "$work/bin/$name"; done
# A program of one's own that does not follow the programs' conventions: it
# prints a trace whatever it is asked.
printf '#!/bin/sh\necho "spk 0.100000 a 0 1 0"\n' >"$work/bin/exp-own" && chmod +x "$work/bin/exp-own"
# Network descriptions, and a build folder whose net1 runs them.
mkdir -p "$work/build/drivers" && ln -s "$fake" "$work/build/drivers/net1"
echo '# the three groups of the programs' >"$work/three.toml"
echo '# a wide network: twelve groups' >"$work/wide.toml"

fail() { echo "sweep_test: FAIL: $*" >&2; exit 1; }
column() {  # column NAME FILE: the values of a named column
  /usr/bin/python3 -c 'import csv, sys
for row in csv.DictReader(open(sys.argv[2])): print(row[sys.argv[1]])' "$1" "$2"
}
joined() { column "$1" "$2" | paste -sd' '; }

# Two seeds x two factors x two values of a key for the XOR program, two
# seeds x two values for the other.
out=$work/grid
"$scripts/sweep.sh" -s 1-2 -f 0.5,1.0 -p rsvr.switchProb=0.02,0.1 -j 2 -o "$out" -e "$summary" \
  -a "--steps 50" "$work/bin/exp-xor-fake" "$work/bin/exp-plain-fake" 2>"$work/grid.err" ||
  fail "sweep failed: $(cat "$work/grid.err")"
[[ $(wc -l <"$out/sweep.csv") -eq 13 ]] || fail "expected a header and 12 rows: $(cat "$out/sweep.csv")"
[[ $(head -1 "$out/sweep.csv") == program,seed,factor,rsvr.switchProb,version,args,lines,* ]] ||
  fail "header: $(head -1 "$out/sweep.csv")"
[[ $(head -1 "$out/sweep.csv") == *,switch_problems,exit ]] || fail "header end: $(head -1 "$out/sweep.csv")"
[[ $(joined factor "$out/sweep.csv") == "0.5 1.0 0.5 1.0 0.5 1.0 0.5 1.0    " ]] || fail "factors: $(joined factor "$out/sweep.csv")"
[[ $(joined rsvr.switchProb "$out/sweep.csv") == "0.02 0.02 0.1 0.1 0.02 0.02 0.1 0.1 0.02 0.1 0.02 0.1" ]] || fail "key column: $(joined rsvr.switchProb "$out/sweep.csv")"
[[ $(column version "$out/sweep.csv" | sort -u) == 0.0-fake ]] || fail "version column"
[[ $(column args "$out/sweep.csv" | sort -u) == "--steps 50" ]] || fail "args column"
[[ $(column exit "$out/sweep.csv" | sort -u) == 0 ]] || fail "exit statuses"
[[ $(column swon "$out/sweep.csv" | sort -u | wc -l) -gt 4 ]] || fail "the key and factor change nothing"

# A run keeps the trace its program wrote, its summary and its record.
run=$out/runs/exp-xor-fake/seed-2-factor-0.5-rsvr.switchProb-0.1
for f in trace.zst summary.txt headline.csv csv/bins.csv meta.json status; do [[ -s $run/$f ]] || fail "missing $run/$f"; done
cmp <(zstd -dc "$run/trace.zst") <("$fake" 0.5 --seed 2 --steps 50 --set rsvr.switchProb=0.1 2>/dev/null) ||
  fail "kept trace differs from the program's output"
cmp <(zstd -dc "$run/trace.zst" | "$summary") "$run/summary.txt" || fail "kept summary differs"
/usr/bin/python3 -c '
import json, sys
m = json.load(open(sys.argv[1]))
assert m["seed"] == 2 and m["settings"]["rsvr.switchProb"] == 0.1 and m["exit_status"] == 0, m
' "$run/meta.json" || fail "the run's record is not its own"
grep -qxF "exp-xor-fake,2,0.5,0.1,0.0-fake,--steps 50,$(tail -1 "$run/headline.csv"),0" "$out/sweep.csv" ||
  fail "the run's headline is not in the table"

# --record and --progress reach the runs; -k summary keeps no trace; a factor
# sweep over a program that never switches runs one factor and says so; seeds
# with leading zeros are decimal; parallel's host list (":" is this machine).
echo "2/:" >"$work/hosts"
out=$work/options
"$scripts/sweep.sh" -s 08-09 -f 0.5,1.0 -r spk,report --progress 5 -k summary --sshloginfile "$work/hosts" \
  -o "$out" -e "$summary" -a "--steps 50" "$work/bin/exp-xor-rand" 2>"$work/options.err" ||
  fail "sweep failed: $(cat "$work/options.err")"
grep -q "exp-xor-rand: switchProb is 0 in every group, so the factor cannot change the run" "$work/options.err" ||
  fail "no word on the factor: $(cat "$work/options.err")"
[[ $(joined seed "$out/sweep.csv") == "8 9" && $(joined factor "$out/sweep.csv") == "0.5 0.5" ]] ||
  fail "grid: $(cat "$out/sweep.csv")"
[[ $(joined swofftime "$out/sweep.csv") == " " ]] || fail "--record spk,report still wrote the swofftime line"
[[ $(column args "$out/sweep.csv" | sort -u) == "--steps 50 --record spk,report" ]] || fail "args column without --record"
run=$out/runs/exp-xor-rand/seed-8-factor-0.5
grep -q '"record": \["spk", "report"\]' "$run/meta.json" || fail "record not handed on: $(cat "$run/meta.json")"
grep -q '^progress:' "$run/stderr.txt" || fail "no progress lines in the run's stderr.txt"
[[ ! -e $run/trace.zst && -s $run/summary.txt ]] || fail "-k summary: $(ls "$run")"

# Network descriptions: net1 FILE runs them, a pathway's key is swept like
# any other (its folder says "-to-" for "->"), -f becomes rateFactor, and
# networks of other shapes share one table: each run's columns are its own.
out=$work/descriptions
"$scripts/sweep.sh" -s 3 -f 0.5,2 -p 'rsvr->sink.probability=0,1' -b "$work/build" -o "$out" -e "$summary" \
  -a "--steps 40" "$work/three.toml" 2>"$work/descriptions.err" || fail "description sweep: $(cat "$work/descriptions.err")"
run=$out/runs/three.toml/seed-3-factor-2-rsvr-to-sink.probability-0
cmp <(zstd -dc "$run/trace.zst") <("$work/build/drivers/net1" "$work/three.toml" --seed 3 --set rateFactor=2 \
  --set 'rsvr->sink.probability=0' --steps 40 2>/dev/null) || fail "the kept trace is not net1's"
[[ $(head -1 "$out/sweep.csv") == program,seed,factor,rsvr-\>sink.probability,version,args,* ]] ||
  fail "header: $(head -1 "$out/sweep.csv")"
[[ $(joined 'active_rsvr->sink' "$out/sweep.csv" | tr -s ' ') =~ ^\ [0-9]+\ [0-9]+$ ]] ||
  fail "a pathway of probability 0 is in the report: $(joined 'active_rsvr->sink' "$out/sweep.csv")"
out=$work/shapes
"$scripts/sweep.sh" -s 1 -b "$work/build" -o "$out" -e "$summary" -a "--steps 30" \
  "$work/wide.toml" "$work/bin/exp-plain-fake" 2>"$work/shapes.err" || fail "two shapes: $(cat "$work/shapes.err")"
[[ $(joined spk_g7 "$out/sweep.csv") =~ ^[0-9]+\ $ && $(joined spk_rsvr "$out/sweep.csv") =~ ^\ [0-9]+$ ]] ||
  fail "each run's groups: $(cat "$out/sweep.csv")"
[[ $(head -1 "$out/sweep.csv" | tr , '\n' | grep -n '^spk_' | awk -F: 'NR > 1 && $1 != last + 1 { apart = 1 }
     { last = $1 } END { print NR, apart + 0 }') == "15 0" ]] || fail "the groups' columns apart: $(head -1 "$out/sweep.csv")"

# A folder whose name starts with a dash is a folder.
(cd "$work" && "$scripts/sweep.sh" -s 1 -e "$summary" -k summary -a "--steps 20" -o -dash "$work/bin/exp-plain-fake" \
  2>"$work/dash.err") || fail "-o -dash: $(cat "$work/dash.err")"
[[ -s $work/-dash/sweep.csv ]] || fail "-o -dash made no sweep"

# Refused with exit 2, one line, before anything is made.
touch "$work/a-file"
while IFS='|' read -r why opts; do
  rm -rf "$work/bad"
  status=0
  eval "\"\$scripts/sweep.sh\" -e \"\$summary\" -a '--steps 20' $opts \"\$work/bin/exp-xor-fake\"" \
    >/dev/null 2>"$work/bad.err" || status=$?
  [[ $status -eq 2 ]] || fail "$why ($opts): exit $status, not 2: $(cat "$work/bad.err")"
  [[ $(wc -l <"$work/bad.err") -eq 1 ]] || fail "$why ($opts): not one line: $(cat "$work/bad.err")"
  [[ ! -e $work/bad ]] || fail "$why ($opts): made the output folder"
done <<'EOF'
duplicate seeds|-s 1,1 -o "$work/bad"
overlapping ranges|-s 1-2,2-3 -o "$work/bad"
equal factors|-f 1,1.0 -o "$work/bad"
equal values|-p rsvr.switchProb=0.1,0.10 -o "$work/bad"
a key twice|-p rsvr.switchProb=0.1 -p rsvr.switchProb=0.2 -o "$work/bad"
empty seeds|-s '' -o "$work/bad"
empty item|-s 1,,2 -o "$work/bad"
empty range|-s 5-1 -o "$work/bad"
empty values|-p rsvr.switchProb= -o "$work/bad"
no values|-p rsvr.switchProb -o "$work/bad"
seed in -a|-a '--seed 5' -o "$work/bad"
a key in -a and in the grid|-p rsvr.switchProb=0.1 -a '--set rsvr.switchProb=0.2' -o "$work/bad"
steps in -a and in the grid|-p steps=10,20 -o "$work/bad"
steps in -a as --steps=N|-p steps=10,20 -a --steps=30 -o "$work/bad"
steps in -a as --set steps=N|-p steps=10,20 -a '--set steps=30' -o "$work/bad"
steps in -a as --set=steps=N|-p steps=10,20 -a --set=steps=30 -o "$work/bad"
the factor in -a|-f 0.5,1 -a '--set rateFactor=3' -o "$work/bad"
the factor in -a without -f|-a '--set=rateFactor=3' -o "$work/bad"
the factor as a key|-p rateFactor=1,2 -o "$work/bad"
a line break in -a|-a $'--steps 20\n--seed 1' -o "$work/bad"
an output in -a, run together|-a -oextra.txt -o "$work/bad"
a program that does not follow the conventions|-o "$work/bad" "$work/bin/exp-own"
a description without net1|-b "$work/nobuild" -o "$work/bad" "$work/three.toml"
a value the program refuses|-p rsvr.switchProb=0.1,1.5 -o "$work/bad"
a key the program does not know|-p rsvr.swichProb=0.1 -o "$work/bad"
gzip kept|-k gzip -o "$work/bad"
a folder that cannot be made|-o "$work/a-file/bad"
a folder that cannot be written|-o /proc/self
an earlier sweep's folder|-o "$work/grid"
EOF
echo "sweep_test: all passed"
