#!/usr/bin/env bash
# exp-summary's outputs as the programs' are: every output option (the
# summary on standard output, --headline, the tables of --csv) written in
# place on a device and a FIFO, through a symbolic link, under a long name;
# refused when it names the input or another output; and no temporary file
# left when a signal stops it.
#   outputs.sh EXP_SUMMARY TRACE
set -uo pipefail
summary=$1 trace=$2
source "$(dirname "${BASH_SOURCE[0]}")/../common/output_checks.sh"
cp "$trace" t.txt
"$summary" t.txt --csv want --headline want.csv > want.txt || { echo "FAIL: the trace does not summarise"; exit 1; }

if [ -w "$full" ]; then
  "$summary" t.txt --quiet --headline "$full" 2> err.txt
  expect "--headline on a full device: exit 2" test $? = 2
  expect "--headline on a full device: says so" grep -q "No space left on device" err.txt
  mkdir dev-tables && ln -s "$full" dev-tables/bins.csv
  "$summary" t.txt --quiet --csv dev-tables 2> err.txt
  expect "--csv with a table linked to a full device: exit 2" test $? = 2
  "$summary" t.txt > "$full" 2> err.txt
  expect "the summary on a full device: exit 2" test $? = 2
  expect "the device is still a device, the link still a link" test -c "$full" -a -L dev-tables/bins.csv
  expect "no table appeared beside the failed one" test "$(ls dev-tables)" = bins.csv
fi

# FIFOs: their readers get the bytes, and they stay FIFOs.
mkfifo head.fifo && mkdir fifo-tables && mkfifo fifo-tables/raster.csv
# (A reader that gets nothing gives up after a while, rather than hang the test.)
timeout 10 cat head.fifo > got-head.csv & timeout 10 cat fifo-tables/raster.csv > got-raster.csv &
timeout 10 "$summary" t.txt --headline head.fifo --csv fifo-tables | cat > got.txt
expect "FIFOs: exit 0" test "${PIPESTATUS[0]}" = 0
wait
expect "FIFOs: the headline's reader got it" cmp -s got-head.csv want.csv
expect "FIFOs: the raster's reader got it" cmp -s got-raster.csv want/raster.csv
expect "FIFOs: the summary through a pipe" cmp -s got.txt want.txt
expect "FIFOs: still FIFOs" test -p head.fifo -a -p fifo-tables/raster.csv

# Symbolic links are followed: the link stays and its target is written,
# also a link to a name not there yet and a link to a folder of tables.
echo old > old.csv && ln -s old.csv head.link && ln -s new.csv new.link && mkdir real && ln -s real tables.link
mkdir linked && ln -s ../old-meta.csv linked/meta.csv && echo old > old-meta.csv
"$summary" t.txt --quiet --headline head.link --csv tables.link 2> err.txt
expect "links: exit 0" test $? = 0
"$summary" t.txt --quiet --headline new.link --csv linked 2>> err.txt
expect "links: exit 0 again" test $? = 0
expect "links: the links stay links" test -L head.link -a -L new.link -a -L tables.link -a -L linked/meta.csv
expect "links: the old target holds the headline" cmp -s old.csv want.csv
expect "links: the new target holds the headline" cmp -s new.csv want.csv
expect "links: the tables in the linked folder" cmp -s real/bins.csv want/bins.csv
expect "links: a linked table" cmp -s old-meta.csv want/meta.csv

# A legal name too long to take the temporary suffix.
long=$(printf 'h%.0s' $(seq 250))
"$summary" t.txt --quiet --headline "$long" 2> err.txt
expect "a 250-character name: written" cmp -s "$long" want.csv

# The same file under two names is refused, exit 2, before anything is
# written; the input is never replaced.
ln t.txt hard.txt && mkdir same tables && cp t.txt tables/bins.csv
while IFS='|' read -r why command; do
  eval "$command" > out.txt 2> err.txt
  status=$?
  expect "same file, $why: exit 2 and one line" test "$status" = 2 -a "$(wc -l < err.txt)" = 1
  expect "same file, $why: says which" grep -q "is the same file as" err.txt
done <<'CASES'
--headline is the input|"$summary" t.txt --quiet --headline ./t.txt
--headline is a hard link of the input|"$summary" t.txt --quiet --headline hard.txt
--headline is the input on standard input|"$summary" --quiet --headline t.txt < t.txt
--headline is standard output's file|"$summary" t.txt --headline same/h.csv > same/h.csv
a table is the input|"$summary" tables/bins.csv --quiet --csv tables/../tables
a table is the headline|"$summary" t.txt --quiet --csv same/new --headline same/new/../new/bins.csv
CASES
expect "same file: the inputs are whole" cmp -s t.txt "$trace"
expect "same file: the tables' input is whole" cmp -s tables/bins.csv "$trace"
expect "same file: nothing was made" test -z "$(ls same | grep -v '^h.csv$')" -a ! -s same/h.csv -a "$(ls tables)" = bins.csv

# Stopped by a signal while it reads: the signal's exit status, and no
# temporary file of any output left.
mkfifo in.fifo
for signal in INT TERM HUP; do
  { cat t.txt; exec sleep 30; } > in.fifo 2> /dev/null &
  writer=$!
  "$summary" in.fifo --csv stopped --headline stopped.csv > /dev/null 2>&1 &
  pid=$!
  for _ in $(seq 100); do [ -n "$(ls stopped 2> /dev/null)" ] && break; sleep 0.05; done
  kill -"$signal" $pid
  { wait $pid; } 2> /dev/null
  status=$?
  kill $writer 2> /dev/null
  expect "SIG$signal: the signal's exit status" test "$status" = $((128 + $(kill -l "$signal")))
  expect "SIG$signal: no temporary file left" test -z "$(ls . stopped 2> /dev/null | grep tmp)"
done

echo "$failures failed"
[ "$failures" = 0 ]
