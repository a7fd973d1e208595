#!/usr/bin/env bash
# Output files of whole runs: compressed and plain traces, several at once,
# chosen kinds of line, the run record, and what a failed run leaves.
#   outputs.sh BIN_DIR [sanitize]
set -uo pipefail
bin=$(cd "$1" && pwd)
sanitized=${2:-}
source "$(dirname "${BASH_SOURCE[0]}")/../common/output_checks.sh"
json() {  # json FILE EXPRESSION: prints EXPRESSION of the document d
  python3 -c "import json, sys; d = json.load(open(sys.argv[1])); print($2)" "$1"
}

# A .zst trace of each edition decompresses to standard output's bytes,
# and -o - beside it gives them too.
for run in "exp-stdp --seed 1 --trace plasticity" "exp-xor-shift 1.0 --seed 1"; do
  program=${run%% *}
  $bin/$run --steps 3000 > plain.txt 2> /dev/null
  $bin/$run --steps 3000 -o run.zst -o copy.txt -o - --meta meta.json > stdout.txt 2> /dev/null
  expect "$program: exit status 0" test $? = 0
  expect "$program: .zst decompresses to the same bytes" cmp -s <(zstd -dcq run.zst) plain.txt
  expect "$program: the plain copy is the same" cmp -s copy.txt plain.txt
  expect "$program: standard output is the same" cmp -s stdout.txt plain.txt
  expect "$program: the record counts the lines" test "$(json meta.json 'd["lines_written"]')" = "$(wc -l < plain.txt)"
  expect "$program: the record of a completed run" test "$(json meta.json 'd["exit_status"], d["error"], d["steps_done"]')" = "0 None 3000"
  rm -f run.zst copy.txt meta.json
done
expect "no temporary file left" test -z "$(ls | grep tmp)"

# The record holds what was run.
$bin/exp-xor-shift 0.5 --seed 9 --steps 100 --set rsvr.switchProb=0.07 --record spk,report -o r.txt --meta m.json 2> /dev/null
expect "record: program, seed, edition" test "$(json m.json 'd["program"], d["seed"], d["edition"]')" = "exp-xor-shift 9 2"
expect "record: every setting, as set" test "$(json m.json 'd["settings"]["rsvr.switchProb"], d["settings"]["rateFactor"], d["settings"]["steps"], len(d["settings"])')" = "0.07 0.5 100 89"
expect "record: the whole description" test "$(json m.json 'd["description"]["group"][1]["switchProb"], d["description"]["run"]["rateFactor"], len(d["description"]["pathway"])')" = "0.07 0.5 3"
expect "record: the command line" test "$(json m.json '" ".join(d["command_line"][1:4])')" = "0.5 --seed 9"
expect "record: outputs and kinds" test "$(json m.json 'd["outputs"], d["record"]')" = "['r.txt'] ['spk', 'unit', 'syn']"
expect "record: version, commit and times" test "$(json m.json 'bool(d["version"]) and bool(d["commit"]) and d["start_time"].endswith("Z") and d["wall_seconds"] >= 0')" = True

# -o and --meta on a device, a FIFO, a symbolic link and a long name: a
# device or FIFO is written in place and stays what it is, a link is
# followed and stays, a 250-character name takes its shortened temporary.
mkfifo trace.fifo meta.fifo
echo old > old.txt && ln -s old.txt trace.link && ln -s new.json meta.link
long=$(printf 'o%.0s' $(seq 250))
$bin/exp-seq --seed 3 --steps 300 > want.txt 2> /dev/null
for option in -o --meta; do
  if [ -w "$full" ]; then
    $bin/exp-seq --seed 3 --steps 300 $option "$full" > /dev/null 2> err.txt
    expect "$option on a full device: exit 1, and says so" test $? = 1 -a -n "$(grep 'No space left on device' err.txt)"
    expect "$option on a full device: still a device" test -c "$full"
  fi
  fifo=trace.fifo link=trace.link
  [ $option = --meta ] && fifo=meta.fifo link=meta.link
  timeout 20 cat $fifo > got-${option//-/}.txt &
  timeout 20 $bin/exp-seq --seed 3 --steps 300 $option $fifo -o /dev/null > /dev/null 2>&1
  expect "$option on a FIFO: exit 0" test $? = 0
  wait
  expect "$option on a FIFO: still a FIFO" test -p $fifo
  $bin/exp-seq --seed 3 --steps 300 $option $link -o /dev/null > /dev/null 2>&1
  expect "$option through a link: the link stays" test -L $link
  $bin/exp-seq --seed 3 --steps 300 $option "$long" -o /dev/null > /dev/null 2>&1
  expect "$option with a 250-character name: exit 0" test $? = 0 -a -s "$long"
  rm -f "$long"
done
expect "-o on a FIFO: its reader got the trace" cmp -s got-o.txt want.txt
expect "-o through a link: the target holds the trace" cmp -s old.txt want.txt
expect "--meta on a FIFO: its reader got the record" test "$(json got-meta.txt 'd["exit_status"]')" = 0
expect "--meta through a link: the new target holds the record" test "$(json new.json 'd["steps_done"]')" = 300
expect "no temporary file left by devices, FIFOs and links" test -z "$(ls | grep tmp)"
rm -f trace.fifo meta.fifo trace.link meta.link old.txt new.json got-*.txt want.txt

# --record writes exactly the chosen kinds of the full output.
$bin/exp-stdp --seed 2 --steps 3000 --trace plasticity > full.txt 2> /dev/null
$bin/exp-stdp --seed 2 --steps 3000 --record swon,ustdp,swofftime,report > some.txt 2> /dev/null
expect "--record equals the full output filtered by kind" cmp -s <(grep -E '^(swon|ustdp|swofftime|unit|syn)( |$)' full.txt) some.txt

# A write that fails: no file under the final name, an older one kept, a
# message, and a record of the failure.
echo "the previous run" > kept.zst
if [ -w "$full" ]; then
  $bin/exp-poisson --seed 1 --steps 3000 -o kept.zst -o "$full" --meta failed.json > out.txt 2> err.txt
  expect "full device: exit status 1" test $? = 1
  expect "full device: says so" grep -q "error writing $full: No space left on device; no output file was written" err.txt
  expect "full device: the older file is kept" test "$(cat kept.zst)" = "the previous run"
  expect "full device: the record says so" test "$(json failed.json 'd["exit_status"], "No space" in d["error"]')" = "1 True"
  expect "full device: nothing on standard output" test ! -s out.txt
fi
( ulimit -f 64; $bin/exp-poisson --seed 1 --steps 20000 -o big.txt > /dev/null 2> err.txt )
expect "file size limit: exit status 1" test $? = 1
expect "file size limit: says so" grep -q "error writing big.txt: File too large; no output file was written" err.txt
expect "file size limit: no file, no temporary file" test -z "$(ls | grep big)"
$bin/exp-poisson --seed 1 -o nowhere/run.zst > /dev/null 2> err.txt
expect "missing folder: exit status 1 before the run" test $? = 1
expect "missing folder: says so" grep -q "cannot create nowhere/run.zst: No such file or directory" err.txt

# A fatal engine error: memory runs out while stimuli pile up as events
# (each input unit switches on a synapse at every spike, and no event is
# due for 500 time units). No file under the final name, and a record of
# the failure. Address space limits do not work under the address sanitizer.
if [ "$sanitized" != sanitize ]; then
  ( ulimit -v 100000
    $bin/exp-poisson --seed 1 --set sorc.switchProb=1 --set delayDistribution=uniform --set delay=500,1000 \
      --set interval=0.001 --record spk,report -o kept.zst -o - --meta fatal.json > out.txt 2> err.txt )
  expect "fatal error: exit status 1" test $? = 1
  expect "fatal error: the engine's message" grep -qx "bad calloc" err.txt
  expect "fatal error: says no file was written" grep -q "fatal error; no output file was written" err.txt
  expect "fatal error: the older file is kept" test "$(cat kept.zst)" = "the previous run"
  expect "fatal error: the record says so" test "$(json fatal.json 'd["exit_status"], d["error"]')" = "1 fatal engine error: bad calloc"
  expect "fatal error: the message follows the whole trace on standard output" \
    test "$(tail -n 2 out.txt | head -n 1)" = "" -a "$(tail -n 1 out.txt)" = "bad calloc" -a "$(grep -c '^spk ' out.txt)" -gt 1000
fi
expect "no temporary file left after failures" test -z "$(ls | grep tmp)"

# A run stopped by a signal: no file, a record, and the signal's status.
$bin/exp-poisson --seed 1 -o stopped.zst --meta stopped.json --progress 0.05 > /dev/null 2> err.txt &
pid=$!
for _ in $(seq 600); do grep -q "^exp-poisson: step" err.txt && break; sleep 0.1; done
kill -TERM $pid
wait $pid
expect "signal: the signal's exit status" test $? = 143
expect "signal: says so" grep -q "stopped by SIGTERM after [0-9]* steps; no output file was written" err.txt
expect "signal: no file, no temporary file" test -z "$(ls | grep stopped.zst)"
expect "signal: the record says so" test "$(json stopped.json 'd["exit_status"], "SIGTERM" in d["error"]')" = "143 True"

echo "$failures failed"
[ "$failures" = 0 ]
