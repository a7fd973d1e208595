#!/usr/bin/env bash
# The plot scripts make their pictures from real tables (of one run, and of a
# small sweep over a settings key), and refuse damaged tables with one line
# and exit 1, leaving no pictures behind.
#
#   plot_test.sh SCRIPTS_DIR EXP_SUMMARY FAKE_PROGRAM WORKDIR
set -euo pipefail
scripts=$1 summary=$2 fake=$3 work=$4
rm -rf "$work"
mkdir -p "$work/bin"
fail() { echo "plot_test: FAIL: $*" >&2; exit 1; }
is_png() { [[ $(head -c 8 "$1" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]]; }
pictures="active-synapses overview rates raster weights"
# refused WHY COMMAND...: exit 1, one line on standard error, no traceback
refused() {
  local why=$1 status=0
  shift
  "$@" >/dev/null 2>"$work/err" || status=$?
  [[ $status -eq 1 ]] || fail "$why: exit $status, not 1: $(cat "$work/err")"
  [[ $(wc -l <"$work/err") -eq 1 ]] || fail "$why: not one line: $(cat "$work/err")"
}

"$fake" --seed 1 --steps 300 2>/dev/null | "$summary" --csv "$work/run" --bin 20 >/dev/null
"$scripts/plot-run.py" "$work/run" --out "$work/pictures" >/dev/null || fail "plot-run.py failed"
for p in $pictures; do is_png "$work/pictures/$p.png" || fail "no picture $p.png"; done
[[ $(find "$work/pictures" -mindepth 1 | wc -l) -eq 5 ]] || fail "leftovers: $(ls -A "$work/pictures")"

# A network of twelve groups and 36 pathways plots too, every one of them.
ln -s "$fake" "$work/bin/net1" && echo "wide" >"$work/wide.toml"
"$work/bin/net1" "$work/wide.toml" --seed 1 --steps 100 2>/dev/null | "$summary" --csv "$work/wide" >/dev/null
"$scripts/plot-run.py" "$work/wide" >/dev/null || fail "plot-run.py failed on twelve groups"
for p in $pictures; do is_png "$work/wide/$p.png" || fail "no picture $p.png of twelve groups"; done

# Without a final report the tables still plot.
"$fake" --seed 1 --steps 100 2>/dev/null | grep -v -e '^unit' -e '^syn' | "$summary" --csv "$work/noreport" >/dev/null
"$scripts/plot-run.py" "$work/noreport" >/dev/null || fail "plot-run.py failed without a final report"
is_png "$work/noreport/overview.png" || fail "no overview without a final report"

# Damaged tables: nothing is drawn.
damaged() {  # damaged NAME: a copy of the run's tables
  rm -rf "${work:?}/$1"
  cp -r "$work/run" "$work/$1"
}
damaged empty-meta && : >"$work/empty-meta/meta.csv"
damaged cut-bins && head -c -7 "$work/run/bins.csv" >"$work/cut-bins/bins.csv"
damaged short-row && { head -n 3 "$work/run/bins.csv"; head -n 4 "$work/run/bins.csv" | tail -1 | cut -d, -f1-5; } \
  >"$work/short-row/bins.csv"
damaged no-raster && rm "$work/no-raster/raster.csv"
damaged text-id && sed -i '2s/,\([0-9]*\)$/,x\1/' "$work/text-id/raster.csv"
for case in empty-meta cut-bins short-row no-raster text-id; do
  refused "$case" "$scripts/plot-run.py" "$work/$case" --out "$work/$case-pictures"
  [[ -z $(ls -A "$work/$case-pictures" 2>/dev/null) ]] || fail "$case: left $(ls -A "$work/$case-pictures")"
done
refused "no such folder" "$scripts/plot-run.py" "$work/none"
# A picture that cannot be written half-way leaves none of the set.
mkdir -p "$work/blocked/.overview.png.partial"
refused "a picture that cannot be written" "$scripts/plot-run.py" "$work/run" --out "$work/blocked"
[[ $(ls -A "$work/blocked") == .overview.png.partial ]] || fail "half a set of pictures: $(ls -A "$work/blocked")"

# A sweep over a settings key, plotted against it and against the factor.
ln -s "$fake" "$work/bin/exp-xor-fake"
ln -s "$fake" "$work/bin/exp-plain-fake"
"$scripts/sweep.sh" -s 1-2 -f 0.5,1.0 -p rsvr.switchProb=0.02,0.05,0.1 -o "$work/sweep" -e "$summary" -k summary \
  -a "--steps 50" "$work/bin/exp-xor-fake" "$work/bin/exp-plain-fake" 2>/dev/null || fail "sweep failed"
table=$work/sweep/sweep.csv
"$scripts/plot-sweep.py" "$table" --logx --out "$work/sweep.png" >/dev/null || fail "plot-sweep.py failed"
is_png "$work/sweep.png" || fail "no sweep picture"
"$scripts/plot-sweep.py" "$table" --x factor --y rate_rsvr --logy --out "$work/factor.png" >/dev/null ||
  fail "plot-sweep.py --x factor failed"
is_png "$work/factor.png" || fail "no picture over the factor"

# A sweep over seeds only plots too.
"$scripts/sweep.sh" -s 1-3 -o "$work/seeds" -e "$summary" -k summary -a "--steps 50" "$work/bin/exp-plain-fake" 2>/dev/null ||
  fail "seed sweep failed"
"$scripts/plot-sweep.py" "$work/seeds/sweep.csv" --out "$work/seeds.png" >/dev/null || fail "plot-sweep.py over seeds failed"
is_png "$work/seeds.png" || fail "no picture over seeds"

head -c -9 "$table" >"$work/cut.csv"
: >"$work/empty.csv"
sed '1!s/,0\.02,/,tiny,/' "$table" >"$work/text-key.csv"
refused "unknown column" "$scripts/plot-sweep.py" "$table" --y no_such_column --out "$work/x.png"
refused "unknown key" "$scripts/plot-sweep.py" "$table" --x no.such_key --out "$work/x.png"
refused "text column" "$scripts/plot-sweep.py" "$table" --y program --out "$work/x.png"
refused "text in a key" "$scripts/plot-sweep.py" "$work/text-key.csv" --out "$work/x.png"
refused "cut off" "$scripts/plot-sweep.py" "$work/cut.csv" --out "$work/x.png"
refused "empty" "$scripts/plot-sweep.py" "$work/empty.csv" --out "$work/x.png"
refused "missing" "$scripts/plot-sweep.py" "$work/none.csv" --out "$work/x.png"
[[ ! -e $work/x.png && -z $(find "$work" -maxdepth 1 -name '*.partial') ]] || fail "a refused plot left a picture"
echo "plot_test: all passed"
