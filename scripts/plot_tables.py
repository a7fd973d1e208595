"""What the plot scripts share: reading exp-summary's and the sweeps' CSV
tables strictly, and ending with one line on standard error instead of a
traceback. A damaged table is refused by name and line, never half plotted."""

import argparse
import csv
import math
import sys


class Refusal(Exception):
    """A reason the pictures cannot be drawn, said in one line."""


def parser(name, description):
    """An argument parser whose usage errors are one line and exit 2."""

    class Parser(argparse.ArgumentParser):
        def error(self, message):
            sys.stderr.write("%s: %s (see --help)\n" % (name, message))
            sys.exit(2)

    return Parser(description=description)


def read_csv(path, required=(), hint=""):
    """The header and the rows (dicts) of a CSV table. The table must be
    complete text, every row as wide as the header, and hold the columns in
    `required`; `hint` follows the message of a missing column."""
    try:
        with open(path, newline="") as f:
            text = f.read()
    except OSError as e:
        raise Refusal("cannot read %s: %s" % (path, e.strerror or e))
    except UnicodeDecodeError:
        raise Refusal("%s is not a text table" % path)
    if not text.strip():
        raise Refusal("%s is empty" % path)
    if not text.endswith("\n"):
        raise Refusal("%s is cut off: its last line has no end" % path)
    try:
        lines = list(csv.reader(text.splitlines(), strict=True))
    except csv.Error as e:
        raise Refusal("%s is not a CSV table: %s" % (path, e))
    header = lines[0]
    for name in required:
        if name not in header:
            raise Refusal("%s has no column %s%s" % (path, name, hint))
    rows = []
    for line, fields in enumerate(lines[1:], start=2):
        if len(fields) != len(header):
            raise Refusal("%s line %d has %d fields, the header %d" % (path, line, len(fields), len(header)))
        rows.append(dict(zip(header, fields)))
    return header, rows


def number(text, path, line, column):
    """The finite number in a field, or a refusal that names it."""
    try:
        value = float(text)
    except ValueError:
        raise Refusal("%s line %d: %s is not a number: %r" % (path, line, column, text))
    if not math.isfinite(value):
        raise Refusal("%s line %d: %s is not a finite number: %r" % (path, line, column, text))
    return value


def colour(i, count):
    """The colour of line i of count: matplotlib's ten, or twenty shades
    when there are more lines than ten (beyond twenty they repeat; the
    legend keeps their order)."""
    if count <= 10:
        return "C%d" % i
    from matplotlib import colormaps
    return colormaps["tab20"](i % 20)


def legend(ax, count, rows=12, **options):
    """A legend for count entries: smaller type and more columns (at most
    rows entries each) the more entries there are; beyond a few, beside the
    panel rather than over its lines."""
    if count == 0:
        return
    columns = -(-count // rows)
    if count > rows:
        options.update(loc="upper left", bbox_to_anchor=(1.01, 1), borderaxespad=0)
    ax.legend(fontsize="small" if count <= 8 else "x-small", ncol=columns, **options)


def run(name, work, args):
    """Runs `work(args)`; a refusal, or any fault of ours or of matplotlib,
    ends the script with one line on standard error and exit status 1."""
    try:
        work(args)
    except Refusal as e:
        sys.stderr.write("%s: %s\n" % (name, e))
        sys.exit(1)
    except Exception as e:
        sys.stderr.write("%s: failed: %s\n" % (name, " ".join(("%s: %s" % (type(e).__name__, e)).split())))
        sys.exit(1)
