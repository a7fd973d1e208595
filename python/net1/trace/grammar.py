"""The line kinds of a trace and their fields.

This mirrors engine/trace_grammar.h, the one definition the programs write
their lines from; a test compares the two, field by field, so that the
reader's columns cannot drift from the writer's formats.

Field types, one letter each in a kind's pattern, and the column type each
becomes in a DataFrame:

    f  a real number, printed with six decimals   float64
    s  a group name (1 to 70 characters)           category
    u  a unit id (0 to MAX_UNIT_ID)                int32
    b  a 0/1 flag                                  bool
    i  a signed integer (a C int)                  int32
"""

from typing import NamedTuple

__all__ = ["Kind", "KINDS", "KIND_NAMES", "ALIASES", "MAX_NAME_LENGTH", "MAX_UNIT_ID", "COLUMN_TYPES", "dtypes"]


class Kind(NamedTuple):
    keyword: str
    pattern: str  # one type letter per field
    columns: tuple  # one column name per field
    min_fields: int  # all of them but for "swofftime", which may come without its time
    timed: bool  # the first field is the time of the line


# In the order of the writer's enum.
KINDS = (
    Kind("spk", "fsubi", ("time", "group", "id", "exc", "pending"), 5, True),
    Kind("uthr", "fsubff", ("time", "group", "id", "exc", "rate", "threshold"), 6, True),
    Kind("dthr", "fsubff", ("time", "group", "id", "exc", "rate", "threshold"), 6, True),
    Kind("volt", "sfff", ("group", "window_end", "input_sum", "change_sum"), 4, False),
    Kind("ustdp", "fsubsuff",
         ("time", "pre_group", "pre_id", "pre_exc", "post_group", "post_id", "change", "weight"), 8, True),
    Kind("dstdp", "fsubsuff",
         ("time", "pre_group", "pre_id", "pre_exc", "post_group", "post_id", "change", "weight"), 8, True),
    Kind("swon", "fsubsu", ("time", "pre_group", "pre_id", "pre_exc", "post_group", "post_id"), 6, True),
    Kind("swoff", "fsubsu", ("time", "pre_group", "pre_id", "pre_exc", "post_group", "post_id"), 6, True),
    Kind("nmp", "fsubi", ("time", "group", "id", "exc", "marks"), 5, True),
    Kind("swofftime", "f", ("time",), 0, True),
    Kind("unit", "subfffiifiif",
         ("group", "id", "exc", "threshold", "leak", "reset", "in_total", "in_active", "in_weight",
          "out_total", "out_active", "out_weight"), 12, False),
    Kind("syn", "susubbbfff",
         ("pre_group", "pre_id", "post_group", "post_id", "active", "pre_exc", "post_exc", "weight",
          "delay", "last_switch"), 10, False),
)

KIND_NAMES = tuple(k.keyword for k in KINDS)
BY_NAME = {k.keyword: k for k in KINDS}

# Names for sets of kinds, as the programs' --record takes them.
ALIASES = {
    "report": ("unit", "syn"),
    "plasticity": ("uthr", "dthr", "ustdp", "dstdp"),
}

# Group names in a trace are 1 to this many characters long.
MAX_NAME_LENGTH = 70

# Unit ids in a trace are 0 to this: a group holds up to a million units.
MAX_UNIT_ID = 999_999

COLUMN_TYPES = {"f": "float64", "s": "category", "u": "int32", "b": "bool", "i": "int32"}


def dtypes(keyword):
    """The column names and pandas dtypes of a kind's DataFrame, in order."""
    kind = BY_NAME[keyword]
    return {name: COLUMN_TYPES[t] for name, t in zip(kind.columns, kind.pattern)}
