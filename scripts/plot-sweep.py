#!/usr/bin/python3
"""One comparison picture over a sweep, from the sweep.csv of scripts/sweep.sh.

    scripts/plot-sweep.py SWEEP.csv [--y COLUMN] [--out FILE.png]

For programs run over factors: COLUMN against the factor, a thin line per
seed and the mean with its standard deviation. For programs run over seeds
only: each seed as a point and the mean with its standard deviation, one
position per program. COLUMN is any headline column (default
active_rsvr->rsvr, the active recurrent synapses at the end).
"""

import argparse
import csv
import os
import statistics
import sys
from collections import defaultdict

try:
    import matplotlib
except ImportError:
    sys.exit("plot-sweep.py: needs matplotlib for /usr/bin/python3 (apt-get install python3-matplotlib)")

matplotlib.use("Agg")  # files only, no display needed
import matplotlib.pyplot as plt  # noqa: E402


def mean_sd(values):
    return statistics.fmean(values), (statistics.stdev(values) if len(values) > 1 else 0.0)


def main():
    parser = argparse.ArgumentParser(description="Plots one headline column over a sweep.")
    parser.add_argument("table", help="sweep.csv written by scripts/sweep.sh")
    parser.add_argument("--y", default="active_rsvr->rsvr", help="headline column to compare")
    parser.add_argument("--out", help="picture to write (default: beside the table)")
    args = parser.parse_args()

    with open(args.table, newline="") as f:
        rows = list(csv.DictReader(f))
    if not rows:
        sys.exit("plot-sweep.py: %s has no runs" % args.table)
    if args.y not in rows[0]:
        sys.exit("plot-sweep.py: no column %s; there are: %s" % (args.y, ", ".join(rows[0])))

    # program -> factor -> seed -> value; runs without a value (no final report...) are left out
    data = defaultdict(lambda: defaultdict(dict))
    skipped = 0
    for r in rows:
        if r[args.y] == "":
            skipped += 1
            continue
        data[r["program"]][r.get("factor", "")][r["seed"]] = float(r[args.y])
    with_factor = [p for p in data if any(f != "" for f in data[p])]
    seeds_only = [p for p in data if p not in with_factor]

    panels = len(with_factor) + (1 if seeds_only else 0)
    if panels == 0:
        sys.exit("plot-sweep.py: no run has a value in %s" % args.y)
    fig, axes = plt.subplots(1, panels, figsize=(5.5 * panels, 4.2), squeeze=False)
    axes = list(axes[0])

    for program, ax in zip(with_factor, axes):
        factors = sorted((f for f in data[program] if f != ""), key=float)
        xs = [float(f) for f in factors]
        seeds = sorted({s for f in factors for s in data[program][f]}, key=int)
        for s in seeds:
            pts = [(float(f), data[program][f][s]) for f in factors if s in data[program][f]]
            ax.plot([p[0] for p in pts], [p[1] for p in pts], color="0.7", linewidth=0.8, marker=".")
        stats = [mean_sd(list(data[program][f].values())) for f in factors]
        ax.errorbar(xs, [m for m, _ in stats], yerr=[sd for _, sd in stats], color="C0", linewidth=2,
                    capsize=3, label="mean ± sd over %d seeds" % len(seeds))
        ax.set_xlabel("factor")
        ax.set_ylabel(args.y)
        ax.set_title(program)
        ax.legend(fontsize="small")

    if seeds_only:
        ax = axes[-1]
        for i, program in enumerate(seeds_only):
            values = list(data[program][""].values())
            ax.scatter([i] * len(values), values, color="0.6", s=12, zorder=2)
            m, sd = mean_sd(values)
            ax.errorbar([i], [m], yerr=[sd], color="C0", marker="o", capsize=4, zorder=3)
        ax.set_xticks(range(len(seeds_only)))
        ax.set_xticklabels(seeds_only, rotation=30, ha="right")
        ax.set_ylabel(args.y)
        ax.set_title("per seed, and mean ± sd")

    fig.tight_layout()
    out = args.out or os.path.join(os.path.dirname(os.path.abspath(args.table)),
                                   "sweep-%s.png" % args.y.replace("->", "-").replace("/", "-"))
    fig.savefig(out, dpi=110)
    note = " (%d runs without a value left out)" % skipped if skipped else ""
    print("plot-sweep.py: wrote %s%s" % (out, note))


if __name__ == "__main__":
    main()
