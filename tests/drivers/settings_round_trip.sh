#!/usr/bin/env bash
# Every program's printed description, read back with --params or run by
# net1, runs exactly the program's own experiment; a run record reruns its
# run; --set steps=N is --steps N.
set -uo pipefail
bin=$1
steps=${2:-2000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # expect DESCRIPTION CONDITION...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

for program in exp-poisson exp-poisson-av exp-stdp exp-stdp-av exp-homog exp-homog-av exp-seq exp-xor-rand exp-xor-shift; do
  factor=()
  [ "$program" = exp-xor-shift ] && factor=(1.0)
  "$bin/$program" "${factor[@]}" --print-params > "$work/p.toml"
  expect "$program: --print-params exits 0" test $? = 0
  "$bin/$program" "${factor[@]}" --seed 5 --steps "$steps" > "$work/own" 2> /dev/null
  "$bin/$program" --params "$work/p.toml" --seed 5 --steps "$steps" > "$work/read" 2> /dev/null
  expect "$program: the printed settings run the same experiment" cmp -s "$work/own" "$work/read"
  "$bin/net1" "$work/p.toml" --seed 5 --steps "$steps" > "$work/net1" 2> /dev/null
  expect "$program: net1 runs its printed description to the same bytes" cmp -s "$work/own" "$work/net1"
  expect "$program: a complete run" test "$(grep -c '^unit ' "$work/read")" = 1140
done

"$bin/exp-seq" --seed 3 --set steps="$steps" > "$work/set" 2> /dev/null
"$bin/exp-seq" --seed 3 --steps "$steps" > "$work/steps" 2> /dev/null
expect "--set steps=N is --steps N" cmp -s "$work/set" "$work/steps"

# A changed setting is printed, read back and run the same way too.
"$bin/exp-stdp" --set rsvr.switchProb=0.2 --set sink.size=30 --set leak=0.2,0.4 --print-params > "$work/p.toml"
"$bin/exp-stdp" --params "$work/p.toml" --seed 4 --steps "$steps" > "$work/read" 2> /dev/null
"$bin/exp-stdp" --set rsvr.switchProb=0.2 --set sink.size=30 --set leak=0.2,0.4 --seed 4 --steps "$steps" > "$work/own" 2> /dev/null
expect "changed settings round trip" cmp -s "$work/own" "$work/read"
expect "30 sink units" test "$(grep -c '^unit sink ' "$work/read")" = 30
"$bin/exp-stdp" --seed 4 --steps "$steps" > "$work/default" 2> /dev/null
expect "and they change the run" test "$(cmp -s "$work/default" "$work/read"; echo $?)" = 1

# A run record reruns its run, whatever was set, to the same bytes; a note
# says when another build made the record.
"$bin/exp-xor-shift" 0.7 --seed 8 --steps "$steps" --set "rsvr->sink.probability=0.3" --set input.window=0.5 \
  --record spk,swon,report --meta "$work/run.json" > "$work/first" 2> /dev/null
"$bin/net1" --params "$work/run.json" > "$work/again" 2> "$work/err"
expect "a run record reruns to the same bytes" cmp -s "$work/first" "$work/again"
expect "and it is a real run" test "$(grep -c '^swon ' "$work/again")" -gt 0
expect "with no note from the same build" test ! -s "$work/err" -o "$(grep -c note "$work/err")" = 0
sed 's/"commit": "[^"]*"/"commit": "0000000"/' "$work/run.json" > "$work/other.json"
"$bin/net1" --params "$work/other.json" > "$work/again" 2> "$work/err"
expect "a record of another build reruns, with a note" grep -q "note: the run record .* was made by the build of commit 0000000" "$work/err"

# No switching anywhere: no switch lines.
"$bin/exp-poisson" --seed 6 --steps "$steps" --set sorc.switchProb=0 --set rsvr.switchProb=0 --set sink.switchProb=0 > "$work/out" 2> /dev/null
expect "switchProb 0 in every group: no swon or swoff line" test "$(grep -c -E '^(swon|swoff) ' "$work/out")" = 0

echo "$failures failed"
[ "$failures" = 0 ]
