#!/bin/sh
# A stand-in for an experiment program, for testing the sweep and plot
# scripts without the simulator: it prints a small, self-consistent trace
# (spikes, switch events, a switch-off, the final report) that depends on the
# seed and the factor.
#
#   fake-exp.sh [FACTOR] --seed N [--steps N]
#
# Called through a link whose name starts with "exp-broken" it prints half a
# trace and fails, like a program that crashed.
set -eu
factor=1.0
case "${1:-}" in
  [0-9]*) factor=$1; shift ;;
esac
seed=1
steps=200
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed=$2; shift 2 ;;
    --steps) steps=$2; shift 2 ;;
    *) echo "fake-exp: unknown argument $1" >&2; exit 2 ;;
  esac
done
broken=0
case "$(basename "$0")" in exp-broken*) broken=1 ;; esac

exec awk -v seed="$seed" -v steps="$steps" -v factor="$factor" -v broken="$broken" '
function add_syn(pg, pi, qg, qi, pe, qe) {
  n++; pre[n] = pg; pid[n] = pi; post[n] = qg; qid[n] = qi; pexc[n] = pe; qexc[n] = qe
  act[n] = rand() < 0.3; w[n] = sprintf("%.6f", 0.5 + rand() * 1.5)
  last[n] = sprintf("%.6f", rand() * 0.1); delay[n] = sprintf("%.6f", rand() * 0.2)
}
function tick() { now += 0.000137; return sprintf("%.6f", now) }
function unit(g, i, size, exc,   k, it, ia, iw, ot, oa, ow) {
  it = ia = iw = ot = oa = ow = 0
  for (k = 1; k <= n; k++) {
    if (post[k] == g && qid[k] == i) { it++; if (act[k]) { ia++; iw += w[k] } }
    if (pre[k] == g && pid[k] == i) { ot++; if (act[k]) { oa++; ow += w[k] } }
  }
  printf "unit %s %d %d 1.000000 0.900000 0.000000 %d %d %.6f %d %d %.6f\n", g, i, exc, it, ia, iw, ot, oa, ow
}
BEGIN {
  srand(seed); S = 8; R = 40; K = 6; n = 0
  for (i = 0; i < S; i++) for (j = 0; j < 6; j++) add_syn("sorc", i, "rsvr", (i * 5 + j * 7) % R, 1, (((i * 5 + j * 7) % R) % 5) != 0)
  for (i = 0; i < R; i++) for (j = 0; j < 5; j++) add_syn("rsvr", i, "rsvr", (i + 1 + j * 3) % R, (i % 5) != 0, (((i + 1 + j * 3) % R) % 5) != 0)
  for (i = 0; i < R; i++) for (j = 0; j < 2; j++) add_syn("rsvr", i, "sink", (i + j) % K, (i % 5) != 0, 1)
  off_step = int(steps * 0.8); plastic = 1; now = 0
  for (t = 1; t <= steps; t++) {
    if (now < t - 1) now = t - 1
    for (i = 0; i < S; i++) if (rand() < 0.3) { ts = tick(); printf "spk %s sorc %d 1 %d\nnmp %s sorc %d 1 0\n", ts, i, int(rand() * 9), ts, i }
    for (i = 0; i < R; i++) if (rand() < 0.05) printf "spk %s rsvr %d %d %d\n", tick(), i, (i % 5) != 0, int(rand() * 9)
    for (i = 0; i < K; i++) if (rand() < 0.03) printf "spk %s sink %d 1 %d\n", tick(), i, int(rand() * 9)
    for (a = 0; plastic && a < 2; a++) {
      k = 1 + int(rand() * n)
      if (act[k] && rand() < 0.3) { act[k] = 0; last[k] = tick(); printf "swoff %s %s %d %d %s %d\n", last[k], pre[k], pid[k], pexc[k], post[k], qid[k] }
      else if (!act[k] && rand() < factor * 0.3) { act[k] = 1; last[k] = tick(); printf "swon %s %s %d %d %s %d\n", last[k], pre[k], pid[k], pexc[k], post[k], qid[k] }
    }
    if (t == off_step) { plastic = 0; printf "swofftime %s\n", tick() }
    if (broken && t == int(steps / 2)) { printf "spk %s sorc 0 1", tick(); exit 3 }
  }
  for (i = S - 1; i >= 0; i--) unit("sorc", i, S, 1)
  for (i = R - 1; i >= 0; i--) unit("rsvr", i, R, (i % 5) != 0)
  for (i = K - 1; i >= 0; i--) unit("sink", i, K, 1)
  for (k = 1; k <= n; k++) printf "syn %s %d %s %d %d %d %d %s %s %s\n", pre[k], pid[k], post[k], qid[k], act[k], pexc[k], qexc[k], w[k], delay[k], last[k]
}'
