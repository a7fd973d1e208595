"""read_trace: a whole trace into one DataFrame per line kind.

A trace is tens of millions of lines of a dozen kinds mixed together, so no
Python code runs per line. Each block of lines goes through numpy once to
find the lines and tell their kinds apart by their first eight bytes; the
lines of each kind asked for are gathered into one buffer and parsed by
pandas' C parser with the kind's column types. Cheap checks over the whole
block (field counts, value ranges, stray bytes) catch a damaged line; only
then does a line-by-line pass run, to name the line and what is wrong with it.
"""

import csv
import io
import re
import warnings

import numpy as np
import pandas as pd
from pandas.api.types import union_categoricals

from . import _order, _source
from .grammar import ALIASES, BY_NAME, COLUMN_TYPES, KIND_NAMES, KINDS, MAX_NAME_LENGTH, MAX_UNIT_ID
from ._order import OutOfPlace, TICKS, TIME_LIMIT
from ._source import TraceCutShort, TraceError

__all__ = ["read_trace", "TraceError", "TraceCutShort"]

# Lines are handled in blocks of about this many bytes: large enough that the
# per-block costs vanish, small enough to bound the working memory (a few
# times the block, beside the frames being built).
BLOCK_BYTES = 8 << 20

# A block whose lines are shorter than this on average holds lines that are
# not trace lines (the shortest, "swofftime", has ten bytes): it is read in
# pieces, so that the working arrays, a few words a line, stay small.
_SHORTEST_LINE = 10
_PIECE_BYTES = 64 << 10

_UNKNOWN = 255
_CODE = {k.keyword: i for i, k in enumerate(KINDS)}
_SWON, _SWOFF, _SWOFFTIME = _CODE["swon"], _CODE["swoff"], _CODE["swofftime"]
_UNTIMED = np.zeros(256, bool)  # kinds whose lines carry no time (but a bare swofftime)
_REPORT = np.zeros(256, bool)
for _code, _kind in enumerate(KINDS):
    _UNTIMED[_code] = not _kind.timed
    _REPORT[_code] = _kind.keyword in ALIASES["report"]


def _le64(b):
    return int.from_bytes(b.ljust(8, b"\0"), "little")


def _key_tables():
    """Lookup tables that tell a line's kind from its first eight bytes (read
    as one little-endian integer): a first guess from the first two bytes,
    and the bytes each kind's line must start with ("spk "...)."""
    guess = np.full(1 << 16, _UNKNOWN, np.uint8)
    mask = np.zeros(256, np.uint64)
    want = np.ones(256, np.uint64)  # never equal to anything masked by 0
    for code, kind in enumerate(KINDS):
        word = kind.keyword.encode()
        if kind.keyword not in ("swoff", "swofftime"):  # these start like swon
            if guess[_le64(word[:2])] != _UNKNOWN:
                raise AssertionError(f"two line kinds start with {word[:2]!r}: tell them apart here")
            guess[_le64(word[:2])] = code
        prefix = (word + b" ")[:8]
        mask[code] = _le64(b"\xff" * len(prefix))
        want[code] = _le64(prefix)
    return guess, mask, want


_GUESS, _MASK, _WANT = _key_tables()
_SWOFFTIM = np.uint64(_le64(b"swofftim"))
# The keyword and the space after it, per kind (a bare "swofftime" line has
# its newline there instead).
_KEYWORD_BYTES = np.array([len(k.keyword) + 1 for k in KINDS] + [0] * (256 - len(KINDS)), np.int64)

# The types pandas parses each field type into; the checks then narrow them.
# Integers are read as text: pandas would take "18." or "3.0" for 18 and 3,
# and an id or a count has few distinct values per block, each checked and
# converted once.
_PARSE_TYPES = {"f": "float64", "s": "category", "u": "category", "b": "category", "i": "category"}


def _kinds_wanted(kinds):
    if kinds is None:
        return list(KIND_NAMES)
    if isinstance(kinds, str):
        kinds = kinds.split(",")
    out = []
    for k in kinds:
        k = k.strip()
        names = ALIASES.get(k, (k,))
        for name in names:
            if name not in BY_NAME:
                raise ValueError(f"unknown line kind {k!r}; the kinds are {', '.join(KIND_NAMES)}, "
                                 f"and {', '.join(ALIASES)}")
            if name not in out:
                out.append(name)
    return out


# --- the line-by-line check, run only to name a bad line -------------------

_REAL = re.compile(rb"-?[0-9]+(\.[0-9]+)?")
_INTEGER = re.compile(rb"-?[0-9]+")
_UNSIGNED = re.compile(rb"[0-9]+")
_MAX_DIGITS = 18  # of a real: a mantissa of 18 digits is held exactly
_ID_DIGITS = len(str(MAX_UNIT_ID))
_INT32 = (-(1 << 31), (1 << 31) - 1)
# The text of a column's distinct values, as the programs print them.
_INTEGER_TEXT = {"u": re.compile(r"[0-9]{1,%d}" % _ID_DIGITS), "b": re.compile(r"[01]"),
                 "i": re.compile(r"-?[0-9]{1,10}")}
_TIME_RANGE = "is out of range: a time is from 0 to 999999999999.999999"


def exact_ticks(text):
    """A real as printed, in millionths, rounded half away from zero as
    exp-summary rounds it; None when it is not one."""
    if _REAL.fullmatch(text) is None:
        return None
    negative = text.startswith(b"-")
    whole, _, fraction = text.lstrip(b"-").partition(b".")
    m = int(whole + fraction)
    if len(fraction) <= 6:
        ticks = m * 10 ** (6 - len(fraction))
    else:
        div = 10 ** (len(fraction) - 6)
        ticks = m // div + (2 * (m % div) >= div)
    return -ticks if negative else ticks


def _field_problem(t, field):
    """What is wrong with one field of type t, or None (exp-summary's rules
    and words)."""
    if t == "f":
        if _REAL.fullmatch(field) is None:
            return "is not a decimal number"
        if len(field) - field.count(b"-") - field.count(b".") > _MAX_DIGITS:
            return f"has more than {_MAX_DIGITS} digits"
    elif t == "u":
        if _UNSIGNED.fullmatch(field) is None:
            return "is not an unsigned integer"
        if len(field) > _ID_DIGITS or int(field) > MAX_UNIT_ID:
            return f"is out of range: a unit id is from 0 to {MAX_UNIT_ID}"
    elif t == "b":
        if field not in (b"0", b"1"):
            return "is not 0 or 1"
    elif t == "i":
        if _INTEGER.fullmatch(field) is None:
            return "is not an integer"
        # The length first: int() of thousands of digits is slow, or refused.
        if len(field.lstrip(b"-")) > 10 or not _INT32[0] <= int(field) <= _INT32[1]:
            return f"is out of range: an integer is from {_INT32[0]} to {_INT32[1]}"
    elif t == "s":
        if any(c < 0x20 or c == 0x7F for c in field):
            return "holds a control character"
        if len(field) > MAX_NAME_LENGTH:
            return f"is longer than {MAX_NAME_LENGTH} characters"
    return None


def line_problem(line):
    """What is wrong with one line (bytes, without its newline), in the words
    exp-summary uses, or None for a sound trace line."""
    if not line:
        return "empty line"
    word, _, _ = line.partition(b" ")
    kind = BY_NAME.get(word.decode("latin-1"))
    if kind is None:
        return "unknown line kind"
    fields = line.split(b" ")[1:]
    n = len(kind.pattern)
    for i, t in enumerate(kind.pattern):
        where = f"{kind.keyword}: field {i + 2} ({kind.columns[i]})"
        if i >= len(fields):
            if i >= kind.min_fields:
                break
            return f"{where} is missing"
        if not fields[i]:
            return f"{where} is empty (stray space)"
        problem = _field_problem(t, fields[i])
        if problem:
            return f"{where} {problem}"
    if len(fields) == n + 1 and not fields[n]:
        return f"{kind.keyword}: field {n + 2} is empty (stray space)"
    if len(fields) > n:
        return f"{kind.keyword}: more than {n + 1} fields"
    if kind.timed and fields and not 0 <= exact_ticks(fields[0]) < TIME_LIMIT:
        return f"{kind.keyword}: field 2 (time) {_TIME_RANGE}"
    return None


def placement_problem(line):
    """What makes a sound trace line out of place whatever its neighbours,
    or None: a last switch that is not a time."""
    if line.startswith(b"syn ") and not 0 <= exact_ticks(line.rsplit(b" ", 1)[1]) < TIME_LIMIT:
        return f"syn: field 11 (last_switch) {_TIME_RANGE}"
    return None


class _BadLine(Exception):
    """The first bad line of a block: its index there, and the message."""

    def __init__(self, index, message):
        super().__init__(message)
        self.index = index


# --- the fast path ----------------------------------------------------------

class _Block:
    """One block of whole lines: where each line starts and ends, and its kind."""

    def __init__(self, data, first_line, name, wanted_codes):
        self.data = data
        self.first_line = first_line  # number of the block's first line
        self.name = name
        self.wanted = frozenset(wanted_codes)
        a = self.a = np.frombuffer(data, np.uint8)
        self.ends = np.flatnonzero(a == 10)  # the newlines
        n = len(self.ends)
        self.starts = np.empty(n, np.int64)
        if n:
            self.starts[0] = 0
            self.starts[1:] = self.ends[:-1] + 1
        # (A bytes object's find() runs at memchr's speed where `in` on a
        # memoryview goes byte by byte; a block is a view of the front of one,
        # or a piece copied out.)
        whole = data.obj if isinstance(data, memoryview) else data
        self._control = np.count_nonzero(a < 0x20) != n or whole.find(b"\x7f", 0, len(a)) >= 0
        self.codes = self._classify()
        self._byte_codes = None

    def check_keywords(self):
        if self._control or np.any(self.codes == _UNKNOWN):
            self.find_bad_line("a line that is not a trace line")

    def line(self, i):
        return bytes(self.data[self.starts[i]:self.ends[i]])

    def fail(self, i, what, problem):
        text = self.line(i)
        shown = text[:80].decode("utf-8", "backslashreplace") + ("..." if len(text) > 80 else "")
        raise _BadLine(i, f"{self.name}: line {self.first_line + i}: {what}: {problem}: {shown!r}")

    def _classify(self):
        a, starts = self.a, self.starts
        n = len(starts)
        codes = np.full(n, _UNKNOWN, np.uint8)
        # The first eight bytes of every line as one integer: a strided view
        # that starts a uint64 at every byte. The few lines that start in the
        # last seven bytes of the block get theirs one by one.
        n_words = max(len(a) - 7, 0)
        key = np.zeros(n, np.uint64)
        if n_words:
            words = np.ndarray((n_words,), "<u8", self.data, 0, (1,))
            key = words[np.minimum(starts, n_words - 1)]
        for i in np.flatnonzero(starts >= n_words):
            key[i] = _le64(bytes(self.data[starts[i]:starts[i] + 8]))
        guess = _GUESS[(key & np.uint64(0xFFFF)).astype(np.uint16)]
        sw = np.flatnonzero(guess == _SWON)
        if len(sw):
            fourth = (key[sw] >> np.uint64(24)) & np.uint64(0xFF)
            guess[sw[fourth == ord("f")]] = _SWOFF
        ok = (key & _MASK[guess]) == _WANT[guess]
        codes[ok] = guess[ok]
        # "swofftime" is longer than eight bytes: check its last two.
        maybe = np.flatnonzero(~ok & (guess == _SWOFF) & (key == _SWOFFTIM))
        if len(maybe):
            at = starts[maybe]
            last = a[np.minimum(at + 9, len(a) - 1)]  # the block ends with a newline
            good = (a[at + 8] == ord("e")) & ((last == ord(" ")) | (last == ord("\n")))
            codes[maybe[good]] = _SWOFFTIME
        return codes

    def gather(self, code, count):
        """The fields of this block's lines of one kind (each line without its
        keyword and the space after it), joined; and their bytes as an array."""
        if count * 16 < len(self.codes):
            # A rare kind (switches, plasticity): joining its lines one by one
            # costs less than marking every byte of the block.
            at = np.flatnonzero(self.codes == code)
            starts = (self.starts[at] + _KEYWORD_BYTES[code]).tolist()
            ends = (self.ends[at] + 1).tolist()
            data = self.data
            joined = b"".join([data[s:e] for s, e in zip(starts, ends)])
            return joined, np.frombuffer(joined, np.uint8)
        if self._byte_codes is None:
            # The kind of every byte, but _UNKNOWN for the keywords, so that
            # one mask picks a kind's fields: pandas parses these faster than
            # whole lines with the keyword column left out.
            skip = _KEYWORD_BYTES[self.codes]
            runs = np.empty((len(self.codes), 2), np.int64)
            runs[:, 0] = skip
            runs[:, 1] = self.ends - self.starts + 1 - skip
            kinds = np.empty((len(self.codes), 2), np.uint8)
            kinds[:, 0] = _UNKNOWN
            kinds[:, 1] = self.codes
            self._byte_codes = np.repeat(kinds.ravel(), runs.ravel())
        picked = self.a[self._byte_codes == code]
        return picked.tobytes(), picked

    def find_bad_line(self, fallback):
        """Raise _BadLine for the first bad line of the block, which the fast
        checks found to hold one: a line with a stray byte or an unknown
        keyword, or a line of a kind asked for whose fields are wrong. Line by
        line, and so slow, but only ever run to report an error."""
        suspects = (self.codes == _UNKNOWN) | np.isin(self.codes, list(self.wanted))
        if self._control:
            at = np.flatnonzero(((self.a < 0x20) & (self.a != 10)) | (self.a == 0x7F))
            suspects[np.searchsorted(self.ends, at)] = True
        for i in np.flatnonzero(suspects):  # lazily: the first bad line is usually the first suspect
            line = self.line(i)
            problem = line_problem(line)
            if problem or self.codes[i] == _UNKNOWN:
                self.fail(i, "not a trace line", problem or "unknown line kind")
            problem = placement_problem(line)
            if problem:
                self.fail(i, "out of place", problem)
        raise TraceError(f"{self.name}: lines {self.first_line} to {self.first_line + len(self.codes) - 1}: "
                         f"{fallback}")


def _field_ends(a, count, width):
    """Where each field of a kind's gathered lines ends, as an array of
    count rows and width columns."""
    return np.flatnonzero((a == 32) | (a == 10)).reshape(count, width)


def _field_lengths(ends, c):
    """The length of field c of every line, from the ends of the fields."""
    starts = np.empty(len(ends), np.int64)
    if c:
        np.add(ends[:, c - 1], 1, out=starts)
    else:
        starts[0] = 0
        np.add(ends[:-1, -1], 1, out=starts[1:])
    return ends[:, c] - starts


def _check_reals(kind, data, columns, ends):
    """The checks on reals that pandas does not make: at most 18 digits, a
    time from 0 to 10^12 and a syn line's last switch too. Returns the
    times in millionths, exactly as exp-summary takes them, or None for a
    kind without times."""
    lengths = {c: _field_lengths(ends, c) for c, t in enumerate(kind.pattern) if t == "f"}

    def field(row, c):
        return data[ends[row, c] - lengths[c][row]:ends[row, c]]

    for c, length in lengths.items():
        for row in np.flatnonzero(length > _MAX_DIGITS):  # only these can hold too many digits
            text = field(row, c)
            if len(text) - text.count(b"-") - text.count(b".") > _MAX_DIGITS:
                raise ValueError("a number of more than 18 digits")
    if kind.keyword == "syn":
        last = columns["last_switch"]
        for row in np.flatnonzero((last < 0) | (last > 999_999_999_999.0)):
            if not 0 <= exact_ticks(field(row, 9)) < TIME_LIMIT:
                raise ValueError("a last switch that is not a time")
    if not kind.timed:
        return None
    # In millionths at once where the double gives them exactly: below
    # 5 x 10^8 the double's error, within a quarter of a millionth, cannot
    # hide a text that falls halfway between two (a seventh decimal, which
    # exp-summary rounds half away from zero). The rest one by one.
    v = columns["time"]
    scaled = v * TICKS
    ticks = np.rint(scaled).astype(np.int64)
    off = np.abs(scaled - ticks)
    for row in np.flatnonzero((v < 0) | (v >= 5e8) | ((off > 0.25) & (off < 0.75))):
        t = exact_ticks(field(row, 0))
        if not 0 <= t < TIME_LIMIT:
            raise ValueError("a time out of range")
        ticks[row] = t
    return ticks


def _parse_kind(block, kind, code, count):
    """The columns of one kind's lines in a block, as numpy arrays and
    categoricals, and their times in millionths (None for a kind without
    times); or _BadLine naming the first bad line."""
    if kind.keyword == "swofftime":
        return _parse_swofftime(block, code)
    data, a = block.gather(code, count)
    names = list(kind.columns)
    try:
        # Every line has one space fewer than fields (its keyword is gone);
        # pandas would fill a short line, and might drop the extra fields of
        # a long one without a word.
        if np.count_nonzero(a == 32) != count * (len(names) - 1):
            raise ValueError("wrong number of fields")
        frame = pd.read_csv(
            io.BytesIO(data), sep=" ", header=None, names=names,
            dtype={c: _PARSE_TYPES[t] for c, t in zip(names, kind.pattern)},
            engine="c", index_col=False, na_filter=False, quoting=csv.QUOTE_NONE,
            encoding="latin-1")  # byte for byte: names need not be UTF-8
        if len(frame) != count:
            raise ValueError("wrong number of lines")
        columns = {c: _narrow(frame[c], t) for c, t in zip(names, kind.pattern)}
        # Only names may hold what a number as the programs print it cannot:
        # pandas would also read 1e3, +3, inf, 1. or .5 as numbers.
        in_names = sum(_unlike_numbers_in_names(columns[c]) for c, t in zip(names, kind.pattern) if t == "s")
        if _unlike_numbers(a) != in_names:
            raise ValueError("a number in a form the programs do not print")
        return columns, _check_reals(kind, data, columns, _field_ends(a, count, len(names)))
    except (ValueError, TypeError, OverflowError, pd.errors.ParserError) as e:
        failure = e
    block.find_bad_line(f"{kind.keyword} lines that do not parse ({failure})")


def _is_digit(a):
    return (a - np.uint8(ord("0"))) < 10


def _unlike_numbers(a):
    """How many bytes of a (uint8 array) a number as the programs print it
    could not hold: anything but digits, '-' and separators, and points
    without a digit on both sides ("1.", ".5")."""
    usual = _is_digit(a) | (a == ord(" ")) | (a == ord("\n")) | (a == ord("-"))
    points = np.flatnonzero(a == ord("."))
    before, after = a[np.maximum(points - 1, 0)], a[points + 1]  # a block ends with a newline
    lone = np.count_nonzero(~(_is_digit(before) & _is_digit(after)) | (points == 0))
    return len(a) - np.count_nonzero(usual) - len(points) + lone


def _unlike_numbers_in_names(names):
    """The same count over a categorical column of names, row by row."""
    if not len(names.categories):
        return 0
    per_name = np.array([_unlike_numbers(np.frombuffer(b" " + n.encode("utf-8", "surrogateescape") + b"\n", np.uint8))
                         for n in names.categories], np.int64)
    return int(per_name @ np.bincount(names.codes, minlength=len(per_name)))


def _narrow(column, t):
    """A parsed column in its final type, after the checks pandas does not make."""
    if t == "s":
        names = column.cat.categories
        if len(names) and (names.str.len().min() == 0 or names.str.len().max() > MAX_NAME_LENGTH):
            raise ValueError("bad group name")
        if not all(n.isascii() for n in names):
            # Read as latin-1, one character a byte; give them as UTF-8,
            # keeping any byte that is not UTF-8 as Python's surrogateescape does.
            column = column.cat.rename_categories(
                [n.encode("latin-1").decode("utf-8", "surrogateescape") for n in names])
        return column.array
    if t == "f":
        v = column.to_numpy()
        if not np.isfinite(v).all():
            raise ValueError("a number that is not finite")
        return v
    syntax = _INTEGER_TEXT[t]
    values = []
    for text in column.cat.categories:
        if not syntax.fullmatch(text):
            raise ValueError(f"{text!r} is not a field of type {t}")
        values.append(int(text))
    values = np.array(values, np.int64)
    if len(values) and (values.min() < _INT32[0] or values.max() > _INT32[1]):
        raise ValueError("an integer out of range")
    if t == "u" and len(values) and values.max() > MAX_UNIT_ID:
        raise ValueError("a unit id out of range")
    values = values.astype(bool if t == "b" else np.int32)
    return values[column.cat.codes.to_numpy()]


def _parse_swofftime(block, code):
    # One line per run at most: no need for speed here.
    times, ticks = [], []
    for i in np.flatnonzero(block.codes == code):
        line = block.line(int(i))
        if line_problem(line):
            block.find_bad_line("a bad swofftime line")
        parts = line.split(b" ")
        times.append(float(parts[1]) if len(parts) > 1 else np.nan)
        ticks.append(exact_ticks(parts[1]) if len(parts) > 1 else -1)
    return {"time": np.array(times, np.float64)}, np.array(ticks, np.int64)


def _empty(t):
    if t == "s":
        return pd.Categorical([], categories=pd.Index([], dtype=object))
    return np.empty(0, COLUMN_TYPES[t])


def _join(parts, t):
    if not parts:
        return _empty(t)
    if t == "s":
        return union_categoricals(parts, sort_categories=True) if len(parts) > 1 else \
            parts[0].reorder_categories(sorted(parts[0].categories))
    return np.concatenate(parts) if len(parts) > 1 else parts[0]


def _pieces(data):
    """The block, or, when its lines are too short to be a trace's, the
    block in pieces of whole lines: the first bad line is then found with
    small working arrays, however many lines the block holds."""
    whole = data.obj if isinstance(data, memoryview) else data
    size = len(data)
    if whole.count(b"\n", 0, size) * _SHORTEST_LINE <= size:
        yield data
        return
    start = 0
    while start < size:
        cut = whole.rfind(b"\n", start, min(start + _PIECE_BYTES, size)) + 1
        if cut <= start:  # a line longer than a piece
            cut = whole.find(b"\n", start) + 1
        yield bytes(whole[start:cut])
        start = cut


def _parse_block(block, wanted, wanted_codes):
    """The columns and times of each kind asked for, by kind."""
    counts = np.bincount(block.codes, minlength=len(KINDS))
    return {k: _parse_kind(block, BY_NAME[k], code, int(counts[code]))
            for k, code in zip(wanted, wanted_codes) if counts[code]}


def _check_order(block, order, parsed):
    """Raise _BadLine for the first line of the block out of place among the
    lines read: the lines of the kinds asked for that carry a time, the
    lines without one (volt, the report, a bare swofftime) that let a held
    line through, and the report's."""
    n = len(block.codes)
    ticks = np.zeros(n, np.int64)
    timed = np.zeros(n, bool)
    untimed = _UNTIMED[block.codes]
    for k, (_, times) in parsed.items():
        if times is not None and k != "swofftime":
            at = np.flatnonzero(block.codes == _CODE[k])
            timed[at] = True
            ticks[at] = times
    # The switch-off lines always count (a bare one lets a held line
    # through), but one not asked for is not checked: a bad one is skipped.
    for i in np.flatnonzero(block.codes == _SWOFFTIME):
        line = block.line(int(i))
        if line_problem(line) is None:
            parts = line.split(b" ")
            if len(parts) > 1:
                timed[i] = True
                ticks[i] = exact_ticks(parts[1])
            else:
                untimed[i] = True
    at = np.flatnonzero(timed)
    try:
        order.check(block, at, ticks[at], untimed, _REPORT[block.codes])
    except OutOfPlace as e:
        shown = e.text[:80].decode("utf-8", "backslashreplace") + ("..." if len(e.text) > 80 else "")
        raise _BadLine(0, f"{block.name}: line {e.line}: out of place: {e.why}: {shown!r}") from None


def _read_block(data, first_line, name, wanted, wanted_codes, order):
    """The parsed columns of one block of whole lines, its order checked;
    TraceError for its first bad line or line out of place."""
    block = _Block(data, first_line, name, wanted_codes)
    try:
        block.check_keywords()
        parsed = _parse_block(block, wanted, wanted_codes)
        _check_order(block, order, parsed)
    except _BadLine as bad:
        message = str(bad)
        if bad.index > 0:
            # A line before the bad one may be out of place, and it comes first.
            prefix = _Block(data[:block.starts[bad.index]], first_line, name, wanted_codes)
            try:
                _check_order(prefix, order, _parse_block(prefix, wanted, wanted_codes))
            except _BadLine as earlier:
                message = str(earlier)
        raise TraceError(message) from None
    return block, parsed


def read_trace(source, kinds=None, line_numbers=False, block_bytes=BLOCK_BYTES):
    """Read a trace into one pandas DataFrame per line kind.

    source: a path (str or os.PathLike), "-" for standard input, or a file
        object open in binary mode. Plain text, gzip and zstd are recognised
        by their first bytes, whatever the name.
    kinds: the line kinds to return, as a list or a comma-separated string
        ("spk,swon"); "report" stands for unit and syn and "plasticity" for
        uthr, dthr, ustdp and dstdp, as with the programs' --record. None
        (the default) returns every kind. Lines of other kinds are checked
        for their keyword only and skipped.
    line_numbers: add a column "line", the line's number in the trace
        (int64, from 1), which restores the order between kinds.

    Returns a dict from each kind asked for to a DataFrame whose columns are
    the kind's fields (see net1.trace.KINDS), typed: reals float64, group
    names category, unit ids and counts int32, flags bool. A kind with no
    line in the trace gets an empty frame with the same columns. A bare
    "swofftime" line gets a NaN time.

    Raises TraceError (a ValueError) for what exp-summary refuses: a line
    that is not a trace line or one out of place (a time that goes back or
    leaps far outside the rest, a line after the final report began),
    naming its number; compressed data that is corrupt or truncated; an
    empty input. The order is checked among the lines of the kinds asked
    for. A last line without a newline (a run cut short) is left out with
    a TraceCutShort warning.
    """
    wanted = _kinds_wanted(kinds)
    wanted_codes = [_CODE[k] for k in wanted]
    parts = {k: {c: [] for c in BY_NAME[k].columns} for k in wanted}
    lines = {k: [] for k in wanted}
    order = _order.TimeOrder()
    src = _source.Source(source)
    try:
        chunks = _source.LineBlocks(src.blocks(block_bytes), block_bytes)
        next_line = 1
        try:
            for data in chunks:
                for piece in _pieces(data):
                    block, parsed = _read_block(piece, next_line, src.name, wanted, wanted_codes, order)
                    for k, (columns, _) in parsed.items():
                        for c, values in columns.items():
                            parts[k][c].append(values)
                        if line_numbers:
                            lines[k].append(np.flatnonzero(block.codes == _CODE[k]) + next_line)
                    next_line += len(block.codes)
        except _source.LongLine:
            raise TraceError(f"{src.name}: line {next_line}: not a trace line: more than "
                             f"{_source.MAX_LINE_BYTES} bytes without a newline") from None
        if next_line == 1:
            if chunks.tail:
                raise TraceError(f"{src.name}: no complete trace line, only one without a newline")
            raise TraceError(f"{src.name}: empty input, no trace lines")
        if chunks.tail:
            warnings.warn(f"{src.name}: trace cut short: line {next_line} has no newline and is left out",
                          TraceCutShort, stacklevel=2)
    finally:
        src.close()
    out = {}
    for k in wanted:
        kind = BY_NAME[k]
        columns = {}
        for c, t in zip(kind.columns, kind.pattern):
            columns[c] = _join(parts[k].pop(c), t)  # the pieces go as soon as they are joined
        if line_numbers:
            columns["line"] = np.concatenate(lines[k]) if lines[k] else np.empty(0, np.int64)
        # copy=False: the joined columns become the frame's own, rather than
        # being copied once more into blocks of one type.
        out[k] = pd.DataFrame(columns, copy=False)
    return out
