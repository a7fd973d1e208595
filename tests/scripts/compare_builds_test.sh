#!/usr/bin/env bash
# The side-by-side benchmark of two builds, on stand-in programs: it passes
# the arguments of a run (the XOR programs' factor first), finds equal
# outputs the same, flags a different output with exit 1, and stops at a
# run that fails.
#
#   compare_builds_test.sh BENCH_DIR WORKDIR
set -euo pipefail
bench=$1 work=$2
rm -rf "$work"
fail() { echo "compare_builds_test: FAIL: $*" >&2; exit 1; }
# stand-in BUILD PROGRAM BODY: a program that prints its arguments, then runs BODY
stand_in() {
  mkdir -p "$work/$1/drivers"
  printf '#!/usr/bin/env bash\necho "$*"\n%s\n' "$3" > "$work/$1/drivers/$2"
  chmod +x "$work/$1/drivers/$2"
}
# Each fails unless given the arguments it should get.
for build in before after; do
  stand_in "$build" exp-seq '[[ $* == "--seed 7 --steps 5" ]] || exit 1'
  stand_in "$build" exp-xor-rand '[[ $* == "1.0 --seed 7 --steps 5" ]] || exit 1'
done
stand_in other exp-seq 'echo one more line'
stand_in broken exp-seq 'exit 1'

out=$(ROUNDS=2 ARGS="--seed 7 --steps 5" "$bench/compare-builds" "$work/before" "$work/after" exp-seq exp-xor-rand) ||
  fail "equal outputs must give exit 0: $out"
[[ $(grep -c ' same$' <<< "$out") == 2 ]] || fail "both programs must print the same bytes: $out"

status=0
out=$(ROUNDS=1 ARGS="--seed 7 --steps 5" "$bench/compare-builds" "$work/before" "$work/other" exp-seq) || status=$?
[[ $status -eq 1 && $out == *"exp-seq "*" DIFFERENT"* ]] || fail "a different output must be flagged with exit 1 ($status): $out"

status=0
err=$(ROUNDS=1 ARGS="--seed 7 --steps 5" "$bench/compare-builds" "$work/before" "$work/broken" exp-seq 2>&1 > /dev/null) ||
  status=$?
[[ $status -eq 1 && $err == *"exp-seq: the run of $work/broken failed"* ]] || fail "a failed run must stop with exit 1 ($status): $err"

status=0
"$bench/compare-builds" "$work/before" 2> /dev/null || status=$?
[[ $status -eq 2 ]] || fail "a missing build folder is a usage error, not $status"
echo "compare_builds_test: ok"
