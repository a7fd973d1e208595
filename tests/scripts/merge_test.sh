#!/usr/bin/env bash
# The sweep's merge step on a grid with one failed run, a run that never
# finished and a damaged trace; and the rerun of only those runs.
#
#   merge_test.sh SCRIPTS_DIR EXP_SUMMARY FAKE_PROGRAM WORKDIR
set -euo pipefail
scripts=$1 summary=$2 fake=$3 work=$4
rm -rf "$work"
mkdir -p "$work/bin"
# exp-broken-fake fails with exit 3 for odd seeds; exp-damaged-fake writes a
# malformed line and exits 0.
for name in exp-plain-fake exp-broken-fake exp-damaged-fake; do ln -s "$fake" "$work/bin/$name"; done
fail() { echo "merge_test: FAIL: $*" >&2; exit 1; }
failed_runs() { awk -F'\t' 'NR > 1 { print $1 ":" $6 ":" $7 }' "$1/failed.tsv" | paste -sd' '; }

out=$work/sweep
status=0
"$scripts/sweep.sh" -s 1-2 -k summary -o "$out" -e "$summary" -a "--steps 40" \
  "$work/bin/exp-plain-fake" "$work/bin/exp-broken-fake" 2>"$work/sweep.err" || status=$?
[[ $status -eq 1 ]] || fail "a failed run must give exit 1, not $status: $(cat "$work/sweep.err")"
grep -q "failed: run 3, exp-broken-fake seed 1: the program failed (program exit 3, summary exit 0)" "$work/sweep.err" ||
  fail "the failed run is not listed: $(cat "$work/sweep.err")"
# Its row stays, with its exit status; failed.tsv lists it alone.
[[ $(cut -d, -f1,2 "$out/sweep.csv" | paste -sd' ') == "program,seed exp-plain-fake,1 exp-plain-fake,2 exp-broken-fake,1 exp-broken-fake,2" ]] ||
  fail "rows: $(cut -d, -f1,2 "$out/sweep.csv")"
[[ $(awk -F, 'NR > 1 { print $NF }' "$out/sweep.csv" | paste -sd' ') == "0 0 3 0" ]] || fail "exit column: $(cat "$out/sweep.csv")"
[[ $(failed_runs "$out") == "3:3:0" ]] || fail "failed.tsv: $(cat "$out/failed.tsv")"

# The merge by hand gives the same table.
cp "$out/sweep.csv" "$work/first.csv"
status=0
"$scripts/sweep.sh" --merge "$out" 2>/dev/null || status=$?
[[ $status -eq 1 ]] || fail "--merge with a failed run: exit $status"
cmp "$out/sweep.csv" "$work/first.csv" || fail "--merge made another table"

# A run stopped before its end (no status, as at a time limit) has no row and
# is listed as not finished.
rm "$out/runs/exp-plain-fake/seed-2/status"
"$scripts/sweep.sh" --merge "$out" 2>"$work/merge.err" && fail "--merge passed with a run missing"
grep -q "failed: run 2, exp-plain-fake seed 2: did not finish" "$work/merge.err" || fail "not listed: $(cat "$work/merge.err")"
[[ $(wc -l <"$out/sweep.csv") -eq 4 ]] || fail "an unfinished run has a row"
[[ $(failed_runs "$out") == "2:-:- 3:3:0" ]] || fail "failed.tsv: $(cat "$out/failed.tsv")"

# Rerunning runs exactly those two; the unfinished one now succeeds, and
# what a killed try left in its folder (temporary files) is gone.
touch "$out/runs/exp-plain-fake/seed-2/headline.csv.tmp-AbC123" "$out/runs/exp-plain-fake/seed-2/meta.json.tmp-XyZ789"
status=0
"$scripts/sweep.sh" --rerun "$out" 2>"$work/rerun.err" || status=$?
[[ $status -eq 1 ]] || fail "rerun: exit $status"
grep -q "running again runs 2-3 (2 of 4)" "$work/rerun.err" || fail "rerun: $(cat "$work/rerun.err")"
[[ $(grep -c "^sweep.sh: run [0-9]* \(done\|failed\)" "$work/rerun.err") -eq 2 ]] || fail "rerun ran other runs: $(cat "$work/rerun.err")"
cmp "$out/sweep.csv" "$work/first.csv" || fail "the table after the rerun differs"
[[ $(failed_runs "$out") == "3:3:0" ]] || fail "failed.tsv after the rerun: $(cat "$out/failed.tsv")"
[[ -z $(find "$out/runs" -name '*.tmp*') ]] || fail "temporary files left: $(find "$out/runs" -name '*.tmp*')"

# A damaged trace is a failed run without a row, not a normal row.
out=$work/damaged
status=0
"$scripts/sweep.sh" -s 2 -k summary -o "$out" -e "$summary" -a "--steps 40" \
  "$work/bin/exp-plain-fake" "$work/bin/exp-damaged-fake" 2>"$work/damaged.err" || status=$?
[[ $status -eq 1 ]] || fail "a damaged trace passed: exit $status"
[[ $(cut -d, -f1 "$out/sweep.csv" | paste -sd' ') == "program exp-plain-fake" ]] || fail "rows: $(cat "$out/sweep.csv")"
[[ $(failed_runs "$out") == "2:0:1" ]] || fail "failed.tsv: $(cat "$out/failed.tsv")"
echo "merge_test: all passed"
