#!/usr/bin/env bash
# The sweep script on a tiny grid of a stand-in program: the table, the kept
# traces, the summary-only mode, parallel's host list, a failing run.
#
#   sweep_test.sh SCRIPTS_DIR EXP_SUMMARY FAKE_PROGRAM WORKDIR
set -euo pipefail
scripts=$1 summary=$2 fake=$3 work=$4
rm -rf "$work"
mkdir -p "$work/bin"
for name in exp-xor-fake exp-plain-fake exp-broken-fake; do ln -s "$fake" "$work/bin/$name"; done

fail() { echo "sweep_test: FAIL: $*" >&2; exit 1; }
column() {  # column NAME FILE: the values of a named column
  awk -F, -v col="$1" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == col) c = i; next } { print $c }' "$2"
}

# Two seeds times two factors for the XOR program, two seeds for the other.
out=$work/grid
"$scripts/sweep.sh" -s 1-2 -f 0.5,1.0 -j 2 -o "$out" -e "$summary" -a "--steps 50" \
  "$work/bin/exp-xor-fake" "$work/bin/exp-plain-fake" 2>"$work/grid.err" || fail "sweep failed: $(cat "$work/grid.err")"
[[ $(wc -l <"$out/sweep.csv") -eq 7 ]] || fail "expected a header and 6 rows: $(cat "$out/sweep.csv")"
[[ $(head -1 "$out/sweep.csv") == program,seed,factor,lines,* ]] || fail "header: $(head -1 "$out/sweep.csv")"
[[ $(head -1 "$out/sweep.csv") == *,switch_problems,exit ]] || fail "header end: $(head -1 "$out/sweep.csv")"
[[ "$(paste -sd' ' <(column factor "$out/sweep.csv"))" == "0.5 1.0 0.5 1.0  " ]] ||
  fail "factors: $(column factor "$out/sweep.csv" | paste -sd' ')"
[[ "$(column exit "$out/sweep.csv" | sort -u)" == 0 ]] || fail "exit statuses"
run=$out/runs/exp-xor-fake/seed-2-factor-0.5
for f in trace.txt.gz summary.txt headline.csv csv/bins.csv; do [[ -s $run/$f ]] || fail "missing $run/$f"; done
# The kept trace is the program's output, and its summary is the kept one.
cmp <(gzip -dc "$run/trace.txt.gz") <("$fake" 0.5 --seed 2 --steps 50) || fail "kept trace differs"
cmp <(gzip -dc "$run/trace.txt.gz" | "$summary") "$run/summary.txt" || fail "kept summary differs"
grep -qx "$(tail -1 "$run/headline.csv"),0" "$out/sweep.csv" || fail "the run's headline is not in the table"
[[ -s $out/joblog.tsv ]] || fail "no job log"

# Summary only, through parallel's host list (":" is this machine), and a
# program that crashes halfway.
echo "2/:" >"$work/hosts"
out=$work/hosts-out
status=0
"$scripts/sweep.sh" -s 4 -k summary --sshloginfile "$work/hosts" -o "$out" -e "$summary" -a "--steps 50" \
  "$work/bin/exp-plain-fake" "$work/bin/exp-broken-fake" 2>"$work/hosts.err" || status=$?
[[ $status -eq 1 ]] || fail "a failed run must give exit 1, not $status"
grep -q "exp-broken-fake seed 4 failed (program exit 3" "$work/hosts.err" || fail "no failure message: $(cat "$work/hosts.err")"
[[ ! -e $out/runs/exp-plain-fake/seed-4/trace.txt.gz ]] || fail "summary mode kept a trace"
[[ -s $out/runs/exp-plain-fake/seed-4/summary.txt ]] || fail "summary mode kept no summary"
[[ "$(column exit "$out/sweep.csv" | paste -sd' ')" == "0 3" ]] || fail "exit column: $(cat "$out/sweep.csv")"
[[ "$(column cut_short "$out/sweep.csv" | paste -sd' ')" == "0 1" ]] || fail "cut_short column"

# Usage errors.
for bad in "-k zip" "-s 5-1" "-j many"; do
  # shellcheck disable=SC2086
  if "$scripts/sweep.sh" $bad -o "$work/bad" -e "$summary" "$work/bin/exp-plain-fake" 2>/dev/null; then
    fail "accepted $bad"
  fi
done
echo "sweep_test: all passed"
