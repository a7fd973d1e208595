#!/usr/bin/python3
"""One comparison picture over a sweep, from the sweep.csv of scripts/sweep.sh.

    scripts/plot-sweep.py SWEEP.csv [--x KEY] [--y COLUMN] [--logx] [--logy] [--out FILE.png]

COLUMN (default active_rsvr->rsvr, the active recurrent synapses at the end)
is any headline column; KEY is a swept settings key (a -p key of the sweep)
or "factor". One panel per program: COLUMN against KEY, a thin line per seed
and the mean with its standard deviation; when the sweep has more swept keys,
each combination of their values is a line of its own. Without a swept key
(a sweep over seeds only) each program is one position with a point per seed
and the mean with its standard deviation.

Default KEY: the only swept key, or "factor" when there is none but factors;
with several swept keys, the first. Runs whose program failed (exit not 0)
and runs without a value in COLUMN are left out, and the script says how
many. Ends with one line on standard error and exit status 1 when the table
cannot be used.
"""

import os
import statistics
from collections import defaultdict

import plot_tables
from plot_tables import Refusal

NAME = "plot-sweep.py"
# Columns that sweep.sh writes before the swept keys, and after them.
LEADING = ["program", "seed", "factor"]
TRAILING = ["version", "args"]


def read_table(path):
    header, rows = plot_tables.read_csv(path, LEADING + TRAILING, ": is it a sweep.csv of scripts/sweep.sh?")
    if not rows:
        raise Refusal("%s has no runs" % path)
    return header, rows


def number(row, column, line, path):
    return plot_tables.number(row[column], path, line, column)


def mean_sd(values):
    return statistics.fmean(values), (statistics.stdev(values) if len(values) > 1 else 0.0)


def series_order(series):
    """Series sorted by their values, as numbers where they are numbers."""
    def value(text):
        try:
            return (0, float(text), "")
        except ValueError:
            return (1, 0.0, text)
    return [value(v) for _, v in series]


def swept_keys(header):
    """The -p keys: the columns between factor and version."""
    return header[header.index("factor") + 1:header.index("version")]


def choose_x(args, header, rows):
    keys = swept_keys(header)
    if args.x:
        if args.x not in keys and args.x != "factor":
            choices = ", ".join(keys + ["factor"])
            raise Refusal("%s is not a swept key of this sweep; there are: %s" % (args.x, choices))
        return args.x
    if keys:
        return keys[0]
    if any(r["factor"] != "" for r in rows):
        return "factor"
    return None


def log_axis(axis, set_scale):
    """A log scale labelled with plain numbers (0.02, not 2 x 10^-2)."""
    from matplotlib.ticker import FuncFormatter, LogLocator
    set_scale("log")
    plain = FuncFormatter(lambda v, _: "%g" % v)
    axis.set_major_formatter(plain)
    axis.set_minor_locator(LogLocator(subs=(2, 5)))
    axis.set_minor_formatter(plain)


def save(fig, out):
    """Writes the picture under a temporary name and renames it: a picture
    under its own name is always complete."""
    folder = os.path.dirname(os.path.abspath(out))
    partial = os.path.join(folder, ".%s.partial" % os.path.basename(out))
    try:
        fig.savefig(partial, dpi=110, format="png")
        os.replace(partial, out)
    except OSError as e:
        try:
            os.remove(partial)
        except OSError:
            pass
        raise Refusal("cannot write %s: %s" % (out, e.strerror or e))


def plot(args):
    header, rows = read_table(args.table)
    if args.y not in header:
        raise Refusal("no column %s in %s; there are: %s" % (args.y, args.table, ", ".join(header)))
    x = choose_x(args, header, rows)
    others = [k for k in swept_keys(header) + ["factor"] if k != x]

    failed = missing = 0
    # program -> series (values of the other keys) -> x -> seed -> y
    data = defaultdict(lambda: defaultdict(lambda: defaultdict(dict)))
    for line, r in enumerate(rows, start=2):
        if r.get("exit", "0") not in ("0", ""):
            failed += 1
            continue
        if r[args.y] == "":
            missing += 1
            continue
        y = number(r, args.y, line, args.table)
        if x is None:
            xv = None
        elif r[x] == "":  # a program that does not take this key (the factor of a non-XOR program)
            xv = None
        else:
            xv = number(r, x, line, args.table)
            if args.logx and xv <= 0:
                raise Refusal("%s line %d: %s = %s cannot go on a log axis" % (args.table, line, x, r[x]))
        if args.logy and y <= 0:
            raise Refusal("%s line %d: %s = %s cannot go on a log axis" % (args.table, line, args.y, r[args.y]))
        series = tuple((k, r[k]) for k in others if r[k] != "")
        data[r["program"]][series][xv][r["seed"]] = y
    if not data:
        raise Refusal("no run in %s has a value in %s" % (args.table, args.y))

    try:
        import matplotlib
    except ImportError:
        raise Refusal("needs matplotlib for /usr/bin/python3 (apt-get install python3-matplotlib)")
    matplotlib.use("Agg")  # files only, no display needed
    import matplotlib.pyplot as plt

    over_x = [p for p in data if any(xv is not None for s in data[p].values() for xv in s)]
    seeds_only = [p for p in data if p not in over_x]
    panels = len(over_x) + (1 if seeds_only else 0)
    fig, axes = plt.subplots(1, panels, figsize=(5.5 * panels, 4.2), squeeze=False)
    axes = list(axes[0])

    for program, ax in zip(over_x, axes):
        for i, (series, by_x) in enumerate(sorted(data[program].items(), key=lambda item: series_order(item[0]))):
            xs = sorted(v for v in by_x if v is not None)
            colour = "C%d" % (i % 10)
            seeds = sorted({s for v in xs for s in by_x[v]}, key=lambda s: (len(s), s))
            for s in seeds:
                pts = [(v, by_x[v][s]) for v in xs if s in by_x[v]]
                ax.plot([p[0] for p in pts], [p[1] for p in pts], color=colour, alpha=0.3, linewidth=0.8, marker=".")
            stats = [mean_sd(list(by_x[v].values())) for v in xs]
            label = ", ".join("%s=%s" % kv for kv in series) or "mean ± sd"
            ax.errorbar(xs, [m for m, _ in stats], yerr=[sd for _, sd in stats], color=colour, linewidth=2,
                        capsize=3, label="%s (%d seeds)" % (label, len(seeds)))
        ax.set_xlabel(x)
        ax.set_ylabel(args.y)
        ax.set_title(program)
        if args.logx:
            log_axis(ax.xaxis, ax.set_xscale)
        if args.logy:
            log_axis(ax.yaxis, ax.set_yscale)
        ax.legend(fontsize="small")

    if seeds_only:
        ax = axes[-1]
        for i, program in enumerate(seeds_only):
            values = [y for s in data[program].values() for by_seed in s.values() for y in by_seed.values()]
            ax.scatter([i] * len(values), values, color="0.6", s=12, zorder=2)
            m, sd = mean_sd(values)
            ax.errorbar([i], [m], yerr=[sd], color="C0", marker="o", capsize=4, zorder=3)
        ax.set_xticks(range(len(seeds_only)))
        ax.set_xticklabels(seeds_only, rotation=30, ha="right")
        ax.set_ylabel(args.y)
        if args.logy:
            log_axis(ax.yaxis, ax.set_yscale)
        ax.set_title("per seed, and mean ± sd")

    fig.tight_layout()
    out = args.out or os.path.join(os.path.dirname(os.path.abspath(args.table)),
                                   "sweep-%s.png" % args.y.replace("->", "-").replace("/", "-"))
    save(fig, out)
    plt.close(fig)
    notes = []
    if failed:
        notes.append("%d failed runs" % failed)
    if missing:
        notes.append("%d runs without a value" % missing)
    print("%s: wrote %s%s" % (NAME, out, " (left out: %s)" % ", ".join(notes) if notes else ""))


def main():
    parser = plot_tables.parser(NAME, "Plots one headline column of a sweep against a swept key.")
    parser.add_argument("table", help="sweep.csv written by scripts/sweep.sh")
    parser.add_argument("--x", help="swept key for the horizontal axis (a -p key, or factor)")
    parser.add_argument("--y", default="active_rsvr->rsvr", help="headline column to compare")
    parser.add_argument("--logx", action="store_true", help="logarithmic horizontal axis")
    parser.add_argument("--logy", action="store_true", help="logarithmic vertical axis")
    parser.add_argument("--out", help="picture to write (default: beside the table)")
    plot_tables.run(NAME, plot, parser.parse_args())


if __name__ == "__main__":
    main()
