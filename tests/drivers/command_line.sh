#!/usr/bin/env bash
# The programs' command line: exit statuses, messages, seeds and output errors.
set -uo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check DESCRIPTION WANTED_STATUS COMMAND...
  local what=$1 want=$2
  shift 2
  "$@" > "$work/out" 2> "$work/err"
  local got=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL: $what: exit status $got, wanted $want"; sed 's/^/  stderr: /' "$work/err" | head -5
    failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}
expect() {  # expect DESCRIPTION CONDITION...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

check "help" 0 "$bin/exp-poisson" --help
expect "help on standard output" grep -q -- "--seed N" "$work/out"
check "short help" 0 "$bin/exp-poisson" -h
check "version" 0 "$bin/exp-xor-shift" --version
expect "version names the program" grep -q "^exp-xor-shift " "$work/out"

check "unknown option" 2 "$bin/exp-stdp" --bogus
expect "one line on standard error" test "$(wc -l < "$work/err")" = 1
expect "nothing on standard output" test ! -s "$work/out"
check "malformed seed" 2 "$bin/exp-seq" --seed 12x
check "seed out of range" 2 "$bin/exp-seq" --seed 4294967296
check "more steps than a run can have" 2 "$bin/exp-homog" --steps 1000000001
expect "the real reason" grep -q "from 0 to 1000000000" "$work/err"
check "missing factor" 2 "$bin/exp-xor-shift"
expect "missing factor: nothing on standard output" test ! -s "$work/out"
check "typo in factor" 2 "$bin/exp-xor-shift" l.5 --seed 1
expect "typo in factor: nothing on standard output" test ! -s "$work/out"
check "negative factor" 2 "$bin/exp-xor-shift" -1
check "factor too large for single precision" 2 "$bin/exp-xor-shift" 1e39
expect "says single precision" grep -q "too large for single precision" "$work/err"
check "bad setting" 2 "$bin/exp-poisson" --set rsvr.switchProb=2
expect "bad setting: one line naming the key" test "$(grep -c "rsvr.switchProb" "$work/err")" = 1
expect "bad setting: nothing on standard output" test ! -s "$work/out"

check "short run" 0 "$bin/exp-xor-shift" " 1.5 " --seed 7 --steps 50
expect "seed reported" grep -qx "seed 7" "$work/err"
expect "report at the end" test "$(grep -c '^unit ' "$work/out")" = 1140

# A run seeded from the clock prints its seed; that seed repeats the run.
check "clock seed" 0 "$bin/exp-poisson" --steps 200
seed=$(sed -n 's/^seed \([0-9]*\)$/\1/p' "$work/err")
cp "$work/out" "$work/clock"
check "rerun with the printed seed" 0 "$bin/exp-poisson" --steps 200 --seed "$seed"
expect "same bytes with the printed seed" cmp -s "$work/out" "$work/clock"

check "extra streams" 0 "$bin/exp-stdp" --seed 1 --steps 3000 --trace plasticity
expect "plasticity lines on standard output" grep -q '^dstdp ' "$work/out"

# exp-xor-rand switches nothing: its factor is optional and changes nothing.
check "xor-rand with a factor" 0 "$bin/exp-xor-rand" 1.0 --seed 2 --steps 300
cp "$work/out" "$work/with-factor"
expect "a note that the factor cannot matter" grep -q "cannot change this run" "$work/err"
check "xor-rand without a factor" 0 "$bin/exp-xor-rand" --seed 2 --steps 300
expect "the same run without it" cmp -s "$work/out" "$work/with-factor"

check "progress lines on a non-terminal" 0 "$bin/exp-poisson" --seed 1 --steps 300000 --progress 0.001
expect "several progress lines" test "$(grep -c '^exp-poisson: step [0-9]* of 300000 (.*), time .*, elapsed ' "$work/err")" -ge 2
expect "the last one ends the loop" grep -q "step 300000 of 300000 (100.0%).*loop done" "$work/err"
expect "no terminal control characters" test "$(tr -d '\n[:print:]' < "$work/err" | wc -c)" = 0

# Settings that would never end, or write what no reader reads, are refused
# at once: each within a few seconds, exit 2, naming its key.
for setting in rsvr.voltPeriod=1e-300 rsvr.voltPeriod=1e-9 delayScale=1e-45 delayScale=3e38 interval=3e38 \
               amount=-3e38 excitatoryWeight=3e38,3e38 "delayDistribution=uniform delay=1e-45,1"; do
  args=()
  for s in $setting; do args+=(--set "$s"); done
  check "refused: $setting" 2 timeout 10 "$bin/exp-poisson" --seed 1 --trace volt "${args[@]}"
  key=${setting##* }
  expect "refused: $setting: names the key" grep -q "${key%%=*}" "$work/err"
done
check "a switch-off at the last step is refused" 2 "$bin/exp-poisson" --steps 200 --set switchOffAfter=200

# net1 runs a description file, or an experiment by its name.
check "net1 without a description" 2 "$bin/net1" --seed 1
expect "net1 says what it needs" grep -q "no network description" "$work/err"
check "net1 version" 0 "$bin/net1" --version
expect "net1 version names net1" grep -q "^net1 " "$work/out"
check "net1 runs an experiment by its name" 0 "$bin/net1" exp-seq --seed 2 --steps 100
expect "net1 writes its report" test "$(grep -c '^unit ' "$work/out")" = 1140
check "net1 with a missing file" 2 "$bin/net1" "$work/none.toml"
check "net1 with a settings file, not a description" 2 "$bin/net1" <(echo "steps = 3")
expect "net1 says it is not a description" grep -q "not a network description" "$work/err"

if [ -w /dev/full ]; then
  "$bin/exp-poisson" --seed 1 --steps 3000 > /dev/full 2> "$work/err"
  status=$?
  expect "full device: exit status 1" test "$status" = 1
  expect "full device: says so" grep -q "error writing standard output" "$work/err"
  for option in --help --version --print-params; do
    "$bin/exp-seq" $option > /dev/full 2> "$work/err"
    status=$?
    expect "$option to a full device: exit status 1" test "$status" = 1
    expect "$option to a full device: says so" grep -q "error writing standard output: No space left" "$work/err"
  done
fi

echo "$failures failed"
[ "$failures" = 0 ]
