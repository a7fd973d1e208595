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

import os

import plot_tables
from plot_tables import Refusal

NAME = "plot-run.py"


def read_rows(path, numeric=(), required=()):
    """The rows of a table of exp-summary --csv, as dicts; the columns in
    `numeric` ("all" for every one) must hold numbers or nothing."""
    header, rows = plot_tables.read_csv(path, required)
    for line, row in enumerate(rows, start=2):
        for name in header:
            if numeric == "all" or name in numeric:
                check_number(row[name], path, line, name)
    return header, rows


def check_number(text, path, line, column):
    if text != "":
        plot_tables.number(text, path, line, column)


def read_meta(path):
    _, rows = read_rows(path, required=("key", "value"))
    meta, line_of = {}, {}
    for line, row in enumerate(rows, start=2):
        meta[row["key"]] = row["value"]
        line_of[row["key"]] = line
    for key in ("bin_width", "raster_from", "raster_to"):
        if meta.get(key, "") == "":
            raise Refusal("%s has no %s" % (path, key))
    for key, value in meta.items():
        if key in ("bin_width", "raster_from", "raster_to", "swofftime") or key.startswith("units_"):
            check_number(value, path, line_of[key], key)
    return meta


def columns(header, prefix):
    """The names after `prefix` of the columns that start with it, in order."""
    return [name[len(prefix):] for name in header if name.startswith(prefix)]


def number(text):
    return float(text) if text != "" else float("nan")


class Run:
    def __init__(self, folder):
        if not os.path.isdir(folder):
            raise Refusal("no folder %s (the --csv folder of exp-summary)" % folder)
        self.meta = read_meta(os.path.join(folder, "meta.csv"))
        header, self.bins = read_rows(os.path.join(folder, "bins.csv"), numeric="all", required=("t_start", "t_end"))
        _, self.raster = read_rows(os.path.join(folder, "raster.csv"), numeric=("time", "id"),
                                   required=("time", "group", "id"))
        _, self.weights = read_rows(os.path.join(folder, "weights.csv"), numeric=("weight",),
                                    required=("pre", "post", "weight"))
        for line, r in enumerate(self.raster, start=2):
            if not r["id"].isdigit():
                raise Refusal("%s line %d: id is not a unit id: %r" % (os.path.join(folder, "raster.csv"), line, r["id"]))
        self.groups = columns(header, "spk_") or [
            k[len("units_"):] for k in self.meta if k.startswith("units_")]
        self.pathways = columns(header, "active_")
        self.t_end = [float(r["t_end"]) for r in self.bins]
        self.t_mid = [(float(r["t_start"]) + float(r["t_end"])) / 2 for r in self.bins]
        off = self.meta.get("swofftime", "")
        self.switch_off = float(off) if off else None

    def mark_switch_off(self, ax):
        if self.switch_off is not None:
            ax.axvline(self.switch_off, color="0.3", linestyle="--", linewidth=1, label="switch-off")


# At most this many panels of active synapses, stacked; more pathways share them.
MAX_PANELS = 6
# At most this many pathways named in the weights' legend.
NAMED_WEIGHTS = 10


def active_panels(run):
    """The pathways of each panel of active synapses: one a panel while
    they fit, else those of like size together (their counts differ by
    orders of magnitude), largest first."""
    if len(run.pathways) <= MAX_PANELS:
        return [[p] for p in run.pathways]
    def largest(p):
        values = [v for v in (number(r["active_" + p]) for r in run.bins) if v == v]
        return max(values, default=0)
    ranked = sorted(run.pathways, key=largest, reverse=True)
    per = -(-len(ranked) // MAX_PANELS)
    return [ranked[i:i + per] for i in range(0, len(ranked), per)]


def plot_active(run, axes):
    """The active synapses of each pathway over time, in stacked panels."""
    count = len(run.pathways)
    for panel, ax in zip(active_panels(run), axes):
        for p in panel:
            ax.plot(run.t_end, [number(r["active_" + p]) for r in run.bins],
                    color=plot_tables.colour(run.pathways.index(p), count), label=p)
        run.mark_switch_off(ax)
        ax.set_ylabel("active")
        plot_tables.legend(ax, len(panel) + (run.switch_off is not None), rows=3, loc="lower right")
    axes[-1].set_xlabel("time")
    title = "Active synapses per pathway"
    if run.meta.get("start_counts") != "report":
        title += " (no complete final report: counted from 0)"
    axes[0].set_title(title)


def plot_rates(run, ax):
    drawn = 0
    for i, g in enumerate(run.groups):
        values = [number(r.get("rate_" + g, "")) for r in run.bins]
        if any(v == v for v in values):  # skip groups of unknown size (all NaN)
            ax.plot(run.t_mid, values, label=g, color=plot_tables.colour(i, len(run.groups)))
            drawn += 1
    run.mark_switch_off(ax)
    ax.set_xlabel("time")
    ax.set_ylabel("spikes per unit and time unit")
    ax.set_title("Population rates (bins of %g)" % float(run.meta["bin_width"]))
    plot_tables.legend(ax, drawn + (run.switch_off is not None))


def plot_raster(run, ax):
    # One row per unit, the groups stacked in table order, the first at the bottom.
    spikes = {g: [] for g in run.groups}
    for s in run.raster:
        spikes.setdefault(s["group"], []).append(s)
    base, offset = {}, 0
    for g in run.groups:
        base[g] = offset
        size = run.meta.get("units_" + g, "")
        top = max((int(s["id"]) for s in spikes[g]), default=-1) + 1
        offset += max(int(size) if size else 0, top)
    for i, g in enumerate(run.groups):
        if spikes[g]:
            ax.scatter([float(s["time"]) for s in spikes[g]], [base[g] + int(s["id"]) for s in spikes[g]],
                       s=9, marker="|", color=plot_tables.colour(i, len(run.groups)), label=g, linewidths=0.9)
        if base[g] > 0:
            ax.axhline(base[g] - 0.5, color="0.8", linewidth=0.5)
    ax.set_xlim(float(run.meta["raster_from"]), float(run.meta["raster_to"]))
    ax.set_ylim(-0.5, max(offset, 1) - 0.5)
    ax.set_xlabel("time")
    ax.set_ylabel("unit (groups stacked)")
    ax.set_title("Spike raster")
    plot_tables.legend(ax, sum(1 for g in run.groups if spikes[g]), markerscale=4, loc="upper right")


def plot_weights(run, ax):
    by_pathway = {}
    for w in run.weights:
        by_pathway.setdefault(w["pre"] + "->" + w["post"], []).append(float(w["weight"]))
    every = [w for ws in by_pathway.values() for w in ws]
    low, high = (min(every), max(every)) if every else (0.0, 1.0)
    if high <= low:
        high = low + 1.0
    edges = [low + (high - low) * i / 50 for i in range(51)]  # shared, so pathways compare bin by bin
    # The largest pathways are named; with many, the rest are drawn unnamed.
    named = sorted(by_pathway, key=lambda p: len(by_pathway[p]), reverse=True)[:NAMED_WEIGHTS]
    for i, p in enumerate(run.pathways):
        if p in by_pathway:
            label = "%s (%d)" % (p, len(by_pathway[p])) if p in named else None
            ax.hist(by_pathway[p], bins=edges, histtype="step", linewidth=1.2, label=label,
                    color=plot_tables.colour(i, len(run.pathways)))
    ax.set_xlabel("weight")
    ax.set_ylabel("active synapses")
    ax.set_title("Final weights of active synapses")
    if by_pathway:
        counts = [len(v) for v in by_pathway.values()]
        if max(counts) > 20 * min(counts):  # a small pathway would vanish beside a large one
            ax.set_yscale("log")
        plot_tables.legend(ax, len(named))
        if len(by_pathway) > len(named):
            ax.set_title("Final weights of active synapses (the %d largest pathways named)" % len(named))
    else:
        ax.text(0.5, 0.5, "no final report", ha="center", va="center", transform=ax.transAxes)


PLOTS = [
    ("active-synapses.png", plot_active),
    ("rates.png", plot_rates),
    ("raster.png", plot_raster),
    ("weights.png", plot_weights),
]


def draw(args):
    out = args.out or args.dir
    run = Run(args.dir)
    try:
        os.makedirs(out, exist_ok=True)
    except OSError as e:
        raise Refusal("cannot make the folder %s: %s" % (out, e.strerror or e))

    try:
        import matplotlib
    except ImportError:
        raise Refusal("needs matplotlib for /usr/bin/python3 (apt-get install python3-matplotlib)")
    matplotlib.use("Agg")  # files only, no display needed
    import matplotlib.pyplot as plt

    # Every picture is drawn under a temporary name and all are renamed at the
    # end: a failure half-way leaves no mixed set under the final names.
    names = [name for name, _ in PLOTS] + ["overview.png"]
    partial = {name: os.path.join(out, ".%s.partial" % name) for name in names}
    try:
        panels = max(len(active_panels(run)), 1)
        for name, plot in PLOTS:
            if plot is plot_active:
                fig, axes = plt.subplots(panels, 1, figsize=(7, 1.6 + 1.4 * panels), sharex=True, squeeze=False)
                plot(run, list(axes[:, 0]))
            else:
                fig, ax = plt.subplots(figsize=(7, 4.5))
                plot(run, ax)
            fig.tight_layout()
            fig.savefig(partial[name], dpi=110, format="png")
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
        fig.savefig(partial["overview.png"], dpi=90, format="png")
        plt.close(fig)
        for name in names:
            if os.path.isdir(os.path.join(out, name)):
                raise Refusal("cannot write %s: it is a folder" % os.path.join(out, name))
        for name in names:
            os.replace(partial[name], os.path.join(out, name))
    except OSError as e:
        raise Refusal("cannot write the pictures into %s: %s" % (out, e.strerror or e))
    finally:
        for path in partial.values():
            try:
                os.remove(path)
            except OSError:
                pass
    print("%s: wrote %s" % (NAME, ", ".join(os.path.join(out, n) for n in names)))


def main():
    parser = plot_tables.parser(NAME, "Plots one run from the tables of exp-summary --csv.")
    parser.add_argument("dir", help="folder written by exp-summary --csv")
    parser.add_argument("--out", help="folder for the pictures (default: DIR)")
    parser.add_argument("--title", help="title of the overview (default: the input of the run)")
    plot_tables.run(NAME, draw, parser.parse_args())


if __name__ == "__main__":
    main()
