#!/usr/bin/env bash
# The sweep script on tiny grids of a stand-in program: a grid over seeds,
# factors and a settings key, what each run keeps, the options handed through
# to the runs, a factor that cannot matter, and the grids it must refuse.
#
#   sweep_test.sh SCRIPTS_DIR EXP_SUMMARY FAKE_PROGRAM WORKDIR
set -euo pipefail
scripts=$1 summary=$2 fake=$3 work=$4
rm -rf "$work"
mkdir -p "$work/bin"
for name in exp-xor-fake exp-plain-fake exp-xor-rand; do ln -s "$fake" "$work/bin/$name"; done

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
a value the program refuses|-p rsvr.switchProb=0.1,1.5 -o "$work/bad"
a key the program does not know|-p rsvr.swichProb=0.1 -o "$work/bad"
gzip kept|-k gzip -o "$work/bad"
a folder that cannot be made|-o "$work/a-file/bad"
a folder that cannot be written|-o /proc/self
an earlier sweep's folder|-o "$work/grid"
EOF
echo "sweep_test: all passed"
