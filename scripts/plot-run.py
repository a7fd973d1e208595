#!/usr/bin/python3
"""Pictures of one run, from the tables of `exp-summary --csv DIR`.

    scripts/plot-run.py DIR [--out OUTDIR] [--title TEXT]

Writes into OUTDIR (default DIR):
    active-synapses.png  active synapses per pathway over time, switch-off marked
    rates.png            mean rate per unit of each group over time
    raster.png           the spikes of the raster window, one row per unit
    weights.png          the distribution of final weights of active synapses
    overview.png         the four together
"""

import argparse
import csv
import os
import sys

try:
    import matplotlib
except ImportError:
    sys.exit("plot-run.py: needs matplotlib for /usr/bin/python3 (apt-get install python3-matplotlib)")

matplotlib.use("Agg")  # files only, no display needed
import matplotlib.pyplot as plt  # noqa: E402


def read_rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def read_meta(path):
    with open(path, newline="") as f:
        return {row["key"]: row["value"] for row in csv.DictReader(f)}


def columns(rows, prefix):
    """The names after `prefix` of the columns that start with it, in order."""
    if not rows:
        return []
    return [name[len(prefix):] for name in rows[0] if name.startswith(prefix)]


def number(text):
    return float(text) if text != "" else float("nan")


class Run:
    def __init__(self, folder):
        self.meta = read_meta(os.path.join(folder, "meta.csv"))
        self.bins = read_rows(os.path.join(folder, "bins.csv"))
        self.raster = read_rows(os.path.join(folder, "raster.csv"))
        self.weights = read_rows(os.path.join(folder, "weights.csv"))
        self.groups = columns(self.bins, "spk_") or [
            k[len("units_"):] for k in self.meta if k.startswith("units_")]
        self.pathways = columns(self.bins, "active_")
        self.t_end = [float(r["t_end"]) for r in self.bins]
        self.t_mid = [(float(r["t_start"]) + float(r["t_end"])) / 2 for r in self.bins]
        off = self.meta.get("swofftime", "")
        self.switch_off = float(off) if off else None

    def mark_switch_off(self, ax):
        if self.switch_off is not None:
            ax.axvline(self.switch_off, color="0.3", linestyle="--", linewidth=1, label="switch-off")


def plot_active(run, axes):
    """One panel per pathway, stacked: their counts differ by orders of magnitude."""
    for i, (p, ax) in enumerate(zip(run.pathways, axes)):
        ax.plot(run.t_end, [number(r["active_" + p]) for r in run.bins], color="C%d" % i, label=p)
        run.mark_switch_off(ax)
        ax.set_ylabel("active")
        ax.legend(fontsize="small", loc="lower right")
    axes[-1].set_xlabel("time")
    title = "Active synapses per pathway"
    if run.meta.get("start_counts") != "report":
        title += " (no complete final report: counted from 0)"
    axes[0].set_title(title)


def plot_rates(run, ax):
    for g in run.groups:
        values = [number(r.get("rate_" + g, "")) for r in run.bins]
        if any(v == v for v in values):  # skip groups of unknown size (all NaN)
            ax.plot(run.t_mid, values, label=g)
    run.mark_switch_off(ax)
    ax.set_xlabel("time")
    ax.set_ylabel("spikes per unit and time unit")
    ax.set_title("Population rates (bins of %g)" % float(run.meta["bin_width"]))
    ax.legend(fontsize="small")


def plot_raster(run, ax):
    # One row per unit, the groups stacked in table order, the first at the bottom.
    base, offset = {}, 0
    sizes = {g: run.meta.get("units_" + g, "") for g in run.groups}
    for g in run.groups:
        base[g] = offset
        top = max((int(s["id"]) for s in run.raster if s["group"] == g), default=-1) + 1
        offset += max(int(sizes[g]) if sizes[g] else 0, top)
    for i, g in enumerate(run.groups):
        spikes = [s for s in run.raster if s["group"] == g]
        if spikes:
            ax.scatter([float(s["time"]) for s in spikes], [base[g] + int(s["id"]) for s in spikes],
                       s=9, marker="|", color="C%d" % i, label=g, linewidths=0.9)
        if base[g] > 0:
            ax.axhline(base[g] - 0.5, color="0.8", linewidth=0.5)
    ax.set_xlim(float(run.meta["raster_from"]), float(run.meta["raster_to"]))
    ax.set_ylim(-0.5, max(offset, 1) - 0.5)
    ax.set_xlabel("time")
    ax.set_ylabel("unit (groups stacked)")
    ax.set_title("Spike raster")
    if run.raster:
        ax.legend(fontsize="small", markerscale=4, loc="upper right")


def plot_weights(run, ax):
    by_pathway = {}
    for w in run.weights:
        by_pathway.setdefault(w["pre"] + "->" + w["post"], []).append(float(w["weight"]))
    every = [w for ws in by_pathway.values() for w in ws]
    low, high = (min(every), max(every)) if every else (0.0, 1.0)
    if high <= low:
        high = low + 1.0
    edges = [low + (high - low) * i / 50 for i in range(51)]  # shared, so pathways compare bin by bin
    for p in run.pathways:
        if p in by_pathway:
            ax.hist(by_pathway[p], bins=edges, histtype="step", linewidth=1.2, label="%s (%d)" % (p, len(by_pathway[p])))
    ax.set_xlabel("weight")
    ax.set_ylabel("active synapses")
    ax.set_title("Final weights of active synapses")
    if by_pathway:
        counts = [len(v) for v in by_pathway.values()]
        if max(counts) > 20 * min(counts):  # a small pathway would vanish beside a large one
            ax.set_yscale("log")
        ax.legend(fontsize="small")
    else:
        ax.text(0.5, 0.5, "no final report", ha="center", va="center", transform=ax.transAxes)


PLOTS = [
    ("active-synapses.png", plot_active),
    ("rates.png", plot_rates),
    ("raster.png", plot_raster),
    ("weights.png", plot_weights),
]


def main():
    parser = argparse.ArgumentParser(description="Plots one run from the tables of exp-summary --csv.")
    parser.add_argument("dir", help="folder written by exp-summary --csv")
    parser.add_argument("--out", help="folder for the pictures (default: DIR)")
    parser.add_argument("--title", help="title of the overview (default: the input of the run)")
    args = parser.parse_args()
    out = args.out or args.dir
    try:
        run = Run(args.dir)
    except (OSError, KeyError, ValueError) as e:
        sys.exit("plot-run.py: cannot read the tables in %s: %s" % (args.dir, e))
    os.makedirs(out, exist_ok=True)

    panels = max(len(run.pathways), 1)
    for name, plot in PLOTS:
        if plot is plot_active:
            fig, axes = plt.subplots(panels, 1, figsize=(7, 1.6 + 1.4 * panels), sharex=True, squeeze=False)
            plot(run, list(axes[:, 0]))
        else:
            fig, ax = plt.subplots(figsize=(7, 4.5))
            plot(run, ax)
        fig.tight_layout()
        fig.savefig(os.path.join(out, name), dpi=110)
        plt.close(fig)

    fig = plt.figure(figsize=(13, 8.5))
    grid = fig.add_gridspec(2, 2)
    cell = grid[0, 0].subgridspec(panels, 1, hspace=0.08)
    first = fig.add_subplot(cell[0])
    active_axes = [first] + [fig.add_subplot(cell[i], sharex=first) for i in range(1, panels)]
    for ax in active_axes[:-1]:
        ax.tick_params(labelbottom=False)
    plot_active(run, active_axes)
    plot_rates(run, fig.add_subplot(grid[0, 1]))
    plot_raster(run, fig.add_subplot(grid[1, 0]))
    plot_weights(run, fig.add_subplot(grid[1, 1]))
    fig.suptitle(args.title or run.meta.get("input", ""))
    fig.tight_layout()
    fig.savefig(os.path.join(out, "overview.png"), dpi=90)
    plt.close(fig)
    print("plot-run.py: wrote %s" % ", ".join(os.path.join(out, n) for n, _ in PLOTS + [("overview.png", None)]))


if __name__ == "__main__":
    main()
