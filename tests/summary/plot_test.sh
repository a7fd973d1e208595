#!/usr/bin/env bash
# The plot scripts make their pictures from real tables: those of one run,
# and those of a small sweep.
#
#   plot_test.sh SCRIPTS_DIR EXP_SUMMARY FAKE_PROGRAM WORKDIR
set -euo pipefail
scripts=$1 summary=$2 fake=$3 work=$4
rm -rf "$work"
mkdir -p "$work/bin"
fail() { echo "plot_test: FAIL: $*" >&2; exit 1; }
is_png() { [[ $(head -c 8 "$1" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]]; }

"$fake" --seed 1 --steps 300 | "$summary" --csv "$work/run" --bin 20 >/dev/null
"$scripts/plot-run.py" "$work/run" --out "$work/pictures" >/dev/null || fail "plot-run.py failed"
for p in active-synapses rates raster weights overview; do
  is_png "$work/pictures/$p.png" || fail "no picture $p.png"
done

# Without a final report the tables still plot.
"$fake" --seed 1 --steps 100 | grep -v -e '^unit' -e '^syn' | "$summary" --csv "$work/noreport" >/dev/null
"$scripts/plot-run.py" "$work/noreport" >/dev/null || fail "plot-run.py failed without a final report"
is_png "$work/noreport/overview.png" || fail "no overview without a final report"

ln -s "$fake" "$work/bin/exp-xor-fake"
ln -s "$fake" "$work/bin/exp-plain-fake"
"$scripts/sweep.sh" -s 1-3 -f 0.5,1.0 -o "$work/sweep" -e "$summary" -k summary -a "--steps 50" \
  "$work/bin/exp-xor-fake" "$work/bin/exp-plain-fake" 2>/dev/null || fail "sweep failed"
"$scripts/plot-sweep.py" "$work/sweep/sweep.csv" --out "$work/sweep.png" >/dev/null || fail "plot-sweep.py failed"
is_png "$work/sweep.png" || fail "no sweep picture"
if "$scripts/plot-sweep.py" "$work/sweep/sweep.csv" --y no_such_column 2>/dev/null; then
  fail "plot-sweep.py accepted an unknown column"
fi
echo "plot_test: all passed"
