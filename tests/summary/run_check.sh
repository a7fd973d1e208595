#!/usr/bin/env bash
# Runs a program, summarises its trace, and checks the running counts of
# active synapses against figures counted independently, with awk, from the
# trace itself: the final report's active synapses, the swon and swoff lines.
#
#   run_check.sh EXP_SUMMARY WORKDIR PROGRAM [ARGS...]
set -euo pipefail
summary=$1 work=$2
shift 2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "run_check: FAIL: $*" >&2; exit 1; }

"$@" >trace.txt || fail "the program failed: $*"
"$summary" trace.txt --csv csv --headline headline.csv >summary.txt || fail "exp-summary failed"

# The headline as name=value lines.
awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) name[i] = $i } NR == 2 { for (i = 1; i <= NF; i++) print name[i] "=" $i }' \
  headline.csv >headline.txt
value() { grep -m1 "^$1=" headline.txt | cut -d= -f2-; }

[[ $(value final_report) == complete ]] || fail "final report $(value final_report)"
[[ $(value cut_short) == 0 ]] || fail "trace cut short"
[[ $(value bad_lines) == 0 ]] || fail "bad lines"
[[ $(value switch_problems) == 0 ]] || fail "switch events disagree with the final report: $(grep 'switch check' summary.txt)"

# The same figures, counted straight from the trace.
awk '$1 == "syn" { p = $2 "->" $4; syns[p]++; if ($6 == 1) act[p]++ }
     $1 == "swon" { on[$3 "->" $6]++ }
     $1 == "swoff" { off[$3 "->" $6]++ }
     END { for (p in syns) print p, syns[p], act[p] + 0, on[p] + 0, off[p] + 0 }' trace.txt >counted.txt

checked=0
while read -r p syns act on off; do
  [[ $(value "active_$p") == "$act" ]] || fail "$p: active $(value "active_$p"), counted $act"
  [[ $(value "swon_$p") == "$on" ]] || fail "$p: swon $(value "swon_$p"), counted $on"
  [[ $(value "swoff_$p") == "$off" ]] || fail "$p: swoff $(value "swoff_$p"), counted $off"
  start=$(value "start_$p")
  ((start == act - on + off)) || fail "$p: start $start, expected $((act - on + off))"
  ((start >= 0 && start <= syns)) || fail "$p: start $start outside 0..$syns"
  # The running count ends at the final report's count.
  last=$(awk -F, -v col="active_$p" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == col) c = i } END { print $c }' csv/bins.csv)
  [[ $last == "$act" ]] || fail "$p: running count ends at $last, the final report has $act"
  checked=$((checked + 1))
done <counted.txt
((checked > 0)) || fail "no pathway in the final report"
echo "run_check: $checked pathways agree ($(value lines) lines, $(value swon) swon, $(value swoff) swoff)"
