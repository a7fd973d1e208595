"""The tables exp-summary writes (--csv DIR, --headline FILE) and the sweep's
sweep.csv, read with their columns typed.

Column types follow the column names, so that tables with other groups or
pathways (spk_G, swon_P...) and new columns read as well: a column this
module does not know keeps the type pandas infers for it.
"""

import os
import re

import numpy as np
import pandas as pd

__all__ = ["read_tables", "read_bins", "read_weights", "read_raster", "read_meta", "read_headline",
           "read_sweep"]

# (pattern of column names, type). Int64 is pandas' integer type that can
# hold a missing value: these columns are empty where there is nothing to
# count (start_P without a complete final report, active_P without one).
_HEADLINE_TYPES = [
    (r"program|final_report", "category"),
    (r"seed|lines|bad_lines|switch_problems|exit|swon|swoff|(spk|swon|swoff)_.+", "int64"),
    (r"(start|active)_.+", "Int64"),
    (r"factor|t_first|t_last|span|swofftime|(rate|wmin|wmax|wmean)_.+", "float64"),
    (r"cut_short", "bool"),
]
_BINS_TYPES = [
    (r"t_start|t_end|rate_.+", "float64"),
    (r"swon|swoff|(spk|swon|swoff|active)_.+", "int64"),
]
_WEIGHTS_TYPES = [(r"pre|post", "category"), (r"pre_id|post_id", "int32"), (r"weight", "float64")]
_RASTER_TYPES = [(r"time", "float64"), (r"group", "category"), (r"id", "int32")]

_META_FLOATS = {"bin_width", "raster_from", "raster_to", "t_first", "t_last", "swofftime"}
_META_INTS = {"bad_lines"}
_META_BOOLS = {"cut_short"}


def _type_of(column, rules):
    for pattern, t in rules:
        if re.fullmatch(pattern, column):
            return t
    return None


def _read_csv(path, rules):
    """A CSV table with the types `rules` give its columns. Empty fields read
    as missing in number columns only: a group may be called "NA"."""
    try:
        header = pd.read_csv(path, nrows=0).columns
        types = {c: _type_of(c, rules) for c in header}
        parse = {c: ("Int64" if t in ("int64", "bool") else t) for c, t in types.items() if t}
        na = {c: [""] for c, t in types.items() if t not in ("category", None)}
        frame = pd.read_csv(path, dtype=parse, keep_default_na=False, na_values=na)
    except (ValueError, TypeError) as e:  # pandas' parse and conversion errors are ValueErrors
        raise ValueError(f"{os.fspath(path)}: not a table of the expected form ({e})") from None
    for c, t in types.items():
        if t == "int64" and not frame[c].hasnans:
            frame[c] = frame[c].astype(np.int64)
        elif t == "bool":
            if frame[c].hasnans or not frame[c].isin([0, 1]).all():
                raise ValueError(f"{os.fspath(path)}: column {c} holds something other than 0 or 1")
            frame[c] = frame[c].astype(bool)
    return frame


def read_bins(path):
    """bins.csv: one row per time bin. t_start, t_end and rate_G float64
    (rate_G is NaN where it is not defined); spk_G, swon, swoff, swon_P,
    swoff_P, active_P int64."""
    return _read_csv(path, _BINS_TYPES)


def read_weights(path):
    """weights.csv: the final weight of every active synapse. pre, post
    category; pre_id, post_id int32; weight float64."""
    return _read_csv(path, _WEIGHTS_TYPES)


def read_raster(path):
    """raster.csv: the spikes of the raster window. time float64, group
    category, id int32."""
    return _read_csv(path, _RASTER_TYPES)


def read_meta(path):
    """meta.csv as a dict: times and the bin width as floats (NaN when empty),
    bad_lines an int, cut_short a bool, units_G an int (None when unknown),
    everything else (input, swofftime_from, final_report, start_counts and
    keys this module does not know) a str."""
    frame = pd.read_csv(path, dtype=str, keep_default_na=False)
    if list(frame.columns) != ["key", "value"]:
        raise ValueError(f"{os.fspath(path)}: a meta table has the columns key,value")
    meta = {}
    for key, value in zip(frame["key"], frame["value"]):
        try:
            if key in _META_FLOATS:
                meta[key] = float(value) if value else float("nan")
            elif key in _META_INTS:
                meta[key] = int(value)
            elif key in _META_BOOLS:
                meta[key] = {"0": False, "1": True}[value]
            elif key.startswith("units_"):
                meta[key] = int(value) if value else None
            else:
                meta[key] = value
        except (ValueError, KeyError):
            raise ValueError(f"{os.fspath(path)}: {key} has a bad value {value!r}") from None
    return meta


def read_tables(folder):
    """The tables of `exp-summary --csv FOLDER`, as a dict with the keys
    "bins", "weights", "raster" (DataFrames) and "meta" (a dict)."""
    return {
        "bins": read_bins(os.path.join(folder, "bins.csv")),
        "weights": read_weights(os.path.join(folder, "weights.csv")),
        "raster": read_raster(os.path.join(folder, "raster.csv")),
        "meta": read_meta(os.path.join(folder, "meta.csv")),
    }


def read_headline(path):
    """The headline of `exp-summary --headline FILE` (one row), typed as
    read_sweep types sweep.csv."""
    return _read_csv(path, _HEADLINE_TYPES)


def read_sweep(path):
    """sweep.csv: one headline row per run, with the sweep's columns.

    program and final_report category; seed, exit, lines, bad_lines,
    switch_problems and the counts spk_G, swon, swoff, swon_P, swoff_P
    int64; start_P and active_P Int64 (missing where a run had no complete
    final report); factor (NaN for programs without one), times, rates and
    weights float64; cut_short bool. Other columns, such as further
    --label columns, keep the type pandas infers.
    """
    return _read_csv(path, _HEADLINE_TYPES)
