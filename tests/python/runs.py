"""What the Python reader's tests share: the built programs (their paths come
in the environment from CTest), short runs of them, exp-summary's headline
of a trace, and a trace written back from its frames."""

import csv
import io
import os
import subprocess
import sys

import numpy as np

import net1.trace as net1trace
from net1.trace.grammar import BY_NAME


def program(var):
    path = os.environ.get(var)
    if not path:
        sys.exit(f"{var} is not set: run this test through ctest")
    return path


def run(argv, out_path):
    """Runs a program with its trace going to out_path."""
    with open(out_path, "wb") as out:
        subprocess.run(argv, stdout=out, stderr=subprocess.DEVNULL, check=True)
    return out_path


def headline(trace_path):
    """exp-summary's headline figures of a trace, as a dict of strings."""
    text = subprocess.run([program("NET1_EXP_SUMMARY"), "--quiet", "--headline", "-", trace_path],
                          capture_output=True, text=True, check=True).stdout
    rows = list(csv.DictReader(io.StringIO(text)))
    assert len(rows) == 1, text
    return rows[0]


def _format_column(values, t):
    if t == "f":
        return np.char.mod("%.6f", values.to_numpy()).astype(object)
    if t == "s":
        return values.astype(str).to_numpy(dtype=object)
    return values.to_numpy().astype(np.int64).astype(str).astype(object)


def format_trace(frames):
    """The text of the lines in frames (read with line_numbers=True), each
    written as the programs write it, in the trace's order."""
    count = sum(len(f) for f in frames.values())
    lines = np.empty(count, dtype=object)
    order = np.concatenate([f["line"].to_numpy() for f in frames.values()])
    rank = np.empty(count, np.int64)
    rank[np.argsort(order, kind="stable")] = np.arange(count)
    at = 0
    for keyword, frame in frames.items():
        kind = BY_NAME[keyword]
        text = np.full(len(frame), keyword, dtype=object)
        for c, t in zip(kind.columns, kind.pattern):
            if keyword == "swofftime" and t == "f":
                times = frame[c].to_numpy()
                text = np.array([f"{keyword} {x:.6f}" if x == x else keyword for x in times], dtype=object)
                continue
            text = text + " " + _format_column(frame[c], t)
        lines[rank[at:at + len(frame)]] = text
        at += len(frame)
    return "".join(line + "\n" for line in lines)


def lines_of(path, kinds):
    """The lines of a plain trace whose keyword is in kinds."""
    with open(path) as f:
        return "".join(line for line in f if line.split(" ", 1)[0].rstrip("\n") in kinds)


__all__ = ["program", "run", "headline", "format_trace", "lines_of", "net1trace"]
