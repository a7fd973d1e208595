"""net1trace.read_trace on short real runs: against exp-summary's counts, the
trace written back from the frames, compressed forms, kinds, and damaged
input."""

import codecs
import gzip
import io
import math
import os
import random
import re
import resource
import subprocess
import sys
import tempfile
import unittest
import warnings

import numpy as np
import pandas as pd
import zstandard

from runs import format_trace, headline, lines_of, net1trace, program, run

TraceError = net1trace.TraceError


def assert_frames_equal(test, got, want):
    """Same kinds, columns, types and values (pandas' own comparison goes
    through categorical columns value by value, far too slowly here)."""
    test.assertEqual(list(got), list(want))
    for k in want:
        g, w = got[k], want[k]
        test.assertEqual(list(g.columns), list(w.columns), k)
        test.assertEqual(list(g.dtypes), list(w.dtypes), k)
        for c in w:
            if w[c].dtype == "category":
                test.assertEqual(list(g[c].cat.categories), list(w[c].cat.categories), (k, c))
                g_values, w_values = g[c].cat.codes.to_numpy(), w[c].cat.codes.to_numpy()
            else:
                g_values, w_values = g[c].to_numpy(), w[c].to_numpy()
            test.assertTrue(np.array_equal(g_values, w_values, equal_nan=w_values.dtype.kind == "f"), (k, c))


class Traces:
    """Three short runs, made once: a plain one, one with STDP lines and an
    XOR run with voltage windows."""
    tmp = None

    @classmethod
    def make(cls):
        if cls.tmp is None:
            cls.tmp = tempfile.TemporaryDirectory(prefix="net1trace-test-")
            d = cls.tmp.name
            cls.poisson = run([program("NET1_EXP_POISSON"), "--seed", "1", "--steps", "3000"],
                              os.path.join(d, "poisson.txt"))
            cls.stdp = run([program("NET1_EXP_STDP"), "--seed", "1", "--steps", "2000", "--trace", "plasticity"],
                           os.path.join(d, "stdp.txt"))
            cls.xor = run([program("NET1_EXP_XOR_SHIFT"), "1.0", "--seed", "1", "--steps", "3000",
                           "--trace", "plasticity,volt"], os.path.join(d, "xor.txt"))
            cls.frames = {p: net1trace.read_trace(p, line_numbers=True) for p in (cls.poisson, cls.stdp, cls.xor)}
        return cls


def tearDownModule():
    if Traces.tmp is not None:
        Traces.tmp.cleanup()


class RealRuns(unittest.TestCase):
    def setUp(self):
        self.t = Traces.make()

    def test_the_runs_cover_the_kinds_they_should(self):
        nonempty = {p: {k for k, f in fr.items() if len(f)} for p, fr in self.t.frames.items()}
        self.assertLessEqual({"spk", "nmp", "swon", "swoff", "unit", "syn"}, nonempty[self.t.poisson])
        self.assertLessEqual({"ustdp", "dstdp"}, nonempty[self.t.stdp])
        self.assertIn("volt", nonempty[self.t.xor])

    def test_counts_agree_with_exp_summary(self):
        for path, t in self.t.frames.items():
            with self.subTest(trace=os.path.basename(path)):
                h = headline(path)
                self.assertEqual(int(h["lines"]), sum(len(f) for f in t.values()))
                for g, n in t["spk"]["group"].value_counts().items():
                    self.assertEqual(int(h[f"spk_{g}"]), n, g)
                self.assertEqual(int(h["swon"]), len(t["swon"]))
                self.assertEqual(int(h["swoff"]), len(t["swoff"]))
                active = t["syn"][t["syn"]["active"]]
                for col in h:
                    if not col.startswith("active_"):
                        continue
                    pre, post = col[len("active_"):].split("->")
                    def on(f):
                        return f[(f["pre_group"] == pre) & (f["post_group"] == post)]
                    self.assertEqual(int(h[f"swon_{pre}->{post}"]), len(on(t["swon"])), col)
                    self.assertEqual(int(h[f"swoff_{pre}->{post}"]), len(on(t["swoff"])), col)
                    w = on(active)["weight"]
                    self.assertEqual(int(h[col]), len(w), col)
                    if len(w):
                        self.assertEqual(h[f"wmin_{pre}->{post}"], f"{w.min():.6f}")
                        self.assertEqual(h[f"wmax_{pre}->{post}"], f"{w.max():.6f}")
                        self.assertAlmostEqual(float(h[f"wmean_{pre}->{post}"]), w.mean(), delta=1.5e-6)
                times = pd.concat([f["time"] for k, f in t.items() if net1trace.grammar.BY_NAME[k].timed])
                self.assertEqual(h["t_first"], f"{times.min():.6f}")
                self.assertEqual(h["t_last"], f"{times.max():.6f}")

    def test_frames_write_back_to_the_trace(self):
        # Every field in its column, every line in its frame: written back
        # with the programs' formats, the frames give the trace again.
        with open(self.t.poisson) as f:
            self.assertEqual(format_trace(self.t.frames[self.t.poisson]), f.read())
        during_run = [k for k in net1trace.KIND_NAMES if k not in ("unit", "syn")]
        for path in (self.t.stdp, self.t.xor):
            frames = {k: self.t.frames[path][k] for k in during_run}
            self.assertEqual(format_trace(frames), lines_of(path, during_run))

    def test_reals_are_the_nearest_doubles(self):
        for kind in ("spk", "unit"):
            text = lines_of(self.t.poisson, [kind]).split()
            k = net1trace.grammar.BY_NAME[kind]
            width = len(k.columns) + 1
            for i, (c, ty) in enumerate(zip(k.columns, k.pattern)):
                if ty == "f":
                    want = np.array([float(x) for x in text[i + 1::width]])
                    np.testing.assert_array_equal(self.t.frames[self.t.poisson][kind][c].to_numpy(), want)

    def test_lines_split_across_small_blocks_read_the_same(self):
        got = net1trace.read_trace(self.t.poisson, line_numbers=True, block_bytes=256 << 10)
        assert_frames_equal(self, got, self.t.frames[self.t.poisson])


class CompressedTraces(unittest.TestCase):
    def setUp(self):
        self.t = Traces.make()
        with open(self.t.xor, "rb") as f:
            self.text = f.read()
        self.want = net1trace.read_trace(self.t.xor)

    def write(self, name, data):
        path = os.path.join(self.t.tmp.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_gzip_and_zstd_read_as_the_plain_trace(self):
        z = zstandard.ZstdCompressor(level=1)
        half = len(self.text) // 2 + 7  # the second frame starts inside a line
        forms = {
            "gzip": self.write("t.gz", gzip.compress(self.text, 1)),
            "zstd, two frames, any name": self.write("t.txt", z.compress(self.text[:half]) + z.compress(self.text[half:])),
            "zstd file object": io.BytesIO(z.compress(self.text)),
        }
        for form, source in forms.items():
            with self.subTest(form=form):
                assert_frames_equal(self, net1trace.read_trace(source), self.want)

    def test_standard_input(self):
        code = ("import net1.trace, json; t = net1.trace.read_trace('-');"
                "print(json.dumps({k: len(f) for k, f in t.items()}))")
        with open(self.write("stdin.gz", gzip.compress(self.text, 1)), "rb") as f:
            out = subprocess.run([sys.executable, "-c", code], stdin=f, capture_output=True, text=True, check=True)
        self.assertEqual(eval(out.stdout), {k: len(f) for k, f in self.want.items()})

    def test_truncated_or_corrupt_compressed_data_raises(self):
        zst = zstandard.ZstdCompressor(level=1).compress(self.text)
        gz = gzip.compress(self.text, 1)
        cases = {
            "cut zstd": (zst[:len(zst) // 2], "truncated zstd data"),
            "cut gzip": (gz[:len(gz) // 2], "truncated gzip data"),
            "corrupt zstd": (zst[:4] + b"\xff" * 64 + zst[68:], "corrupt zstd data"),
            "corrupt gzip": (gz[:10] + b"\xff" * 64 + gz[74:], "corrupt gzip data"),
        }
        for case, (data, message) in cases.items():
            with self.subTest(case=case):
                with self.assertRaisesRegex(TraceError, message):
                    net1trace.read_trace(io.BytesIO(data))


# A short trace of every line kind but volt, in order, for the damaged-line cases.
RUN = (b"spk 0.013806 sorc 26 1 1\n"
       b"nmp 0.013806 sorc 26 1 0\n"
       b"swon 0.743793 sorc 18 1 rsvr 740\n"
       b"ustdp 0.8 sorc 18 1 rsvr 740 0.010000 1.010000\n"
       b"swoff 1.5 sorc 18 1 rsvr 740\n"
       b"uthr 2.0 rsvr 7 0 0.100000 1.100000\n"
       b"swofftime 12.500000\n")
REPORT = (b"unit sorc 39 1 1.000000 1.000000 0.000000 0 0 0.000000 93 2 1.799829\n"
          b"syn sorc 39 rsvr 975 1 1 1 0.702109 0.000736 12846.189339\n")
SMALL = RUN + REPORT

# The hostile traces both readers must refuse or accept alike (exp-summary's
# tests read the same table).
TABLE = os.environ.get("NET1_HOSTILE_TRACES", "")


def hostile_cases():
    """The table's cases: (case, input bytes, verdict, line or None, message)."""
    cases = []
    with open(TABLE, encoding="utf-8") as f:
        for row in f:
            row = row.rstrip("\n")
            if not row or row.startswith("#"):
                continue
            case, text, verdict, *rest = row.split("\t")
            line, message = (rest + ["-", ""])[:2]
            if text.startswith("@"):
                with open(os.path.join(os.path.dirname(TABLE), "hostile", text[1:]), "rb") as data:
                    data = data.read()
            else:
                data = codecs.escape_decode(text.encode())[0]
            cases.append((case, data, verdict, None if line == "-" else int(line), message))
    return cases


def read(data, **kw):
    return net1trace.read_trace(io.BytesIO(data), **kw)


class LineKinds(unittest.TestCase):
    def test_kinds_limit_the_frames_returned(self):
        full = read(SMALL)
        for kinds, want in [("spk,swon", ["spk", "swon"]), (["syn"], ["syn"]), ("report", ["unit", "syn"]),
                            ("plasticity,spk", ["uthr", "dthr", "ustdp", "dstdp", "spk"])]:
            with self.subTest(kinds=kinds):
                got = read(SMALL, kinds=kinds)
                assert_frames_equal(self, got, {k: full[k] for k in want})
        with self.assertRaisesRegex(ValueError, "unknown line kind 'spike'"):
            read(SMALL, kinds="spk,spike")

    def test_lines_of_kinds_not_asked_for_are_skipped_but_must_be_trace_lines(self):
        damaged_nmp = RUN + b"nmp x\n" + REPORT
        self.assertEqual(len(read(damaged_nmp, kinds="spk")["spk"]), 1)
        with self.assertRaisesRegex(TraceError, "line 8: .*nmp: field 2 \\(time\\)"):
            read(damaged_nmp)
        with self.assertRaisesRegex(TraceError, "line 8: .*unknown line kind"):
            read(RUN + b"spike 0.1 sorc 1 1 2\n" + REPORT, kinds="spk")

    def test_swofftime_with_and_without_its_time(self):
        t = read(b"swofftime 12.500000\nspk 13.0 sorc 1 1 1\nswofftime\n", kinds="swofftime", line_numbers=True)
        times = t["swofftime"]["time"].tolist()
        self.assertEqual(times[0], 12.5)
        self.assertTrue(math.isnan(times[1]))
        self.assertEqual(t["swofftime"]["line"].tolist(), [1, 3])

    def test_group_names_are_read_byte_for_byte(self):
        t = read(b"spk 0.1 s\xffrc 1 1 1\nspk 0.2 s\xc3\xa9 2 1 1\nspk 0.3 s.o-1 3 1 1\n", kinds="spk")
        self.assertEqual(t["spk"]["group"].tolist(), ["s\udcffrc", "s\u00e9", "s.o-1"])

    def test_a_kind_without_lines_gives_an_empty_frame(self):
        t = read(b"swofftime\n")
        self.assertEqual(list(t), list(net1trace.KIND_NAMES))
        self.assertEqual([k for k, f in t.items() if len(f)], ["swofftime"])


class DamagedInput(unittest.TestCase):
    def test_the_shared_hostile_traces_are_refused_or_accepted_as_exp_summary_does(self):
        for case, data, verdict, line, message in hostile_cases():
            with self.subTest(case=case):
                if verdict == "accept":
                    with warnings.catch_warnings():
                        warnings.simplefilter("ignore", net1trace.TraceCutShort)
                        read(data)
                    continue
                with self.assertRaises(TraceError) as caught:
                    read(data)
                self.assertIn(message, str(caught.exception))
                if line is not None:
                    self.assertIn(f": line {line}: ", str(caught.exception))

    def test_a_bad_line_is_named_by_its_number_across_blocks(self):
        # The table's one-line faults, among spike lines read in blocks of a
        # few lines, so that the count runs on across blocks.
        spikes = b"spk 0.100000 sorc 1 1 1\n" * 200
        faults = [(d, m) for _, d, v, line, m in hostile_cases() if v == "refuse" and line == 1 and d.count(b"\n") == 1]
        self.assertGreater(len(faults), 20)
        for bad, message in faults:
            with self.subTest(line=bad):
                at = 24 * 149
                with self.assertRaises(TraceError) as caught:
                    read(spikes[:at] + bad + spikes[at:], block_bytes=512)
                self.assertIn(f": line 150: ", str(caught.exception))
                self.assertIn(message, str(caught.exception))

    def test_the_first_of_several_bad_lines_is_named(self):
        lines = SMALL.splitlines(keepends=True)
        faults = [(b"nmp 0.1 sorc 1 1 x\n", b"spk 0.1 sorc 1 1\n"), (b"spk\t0.1\n", b"spike 1\n"),
                  (b"volt sink 1.0 2.0 x\n", b"syn x\n")]
        for first, second in faults:
            with self.subTest(first=first, second=second):
                text = b"".join(lines[:2] + [first] + lines[2:6] + [second] + lines[6:])
                with self.assertRaisesRegex(TraceError, ": line 3: "):
                    read(text)

    def test_a_trace_cut_short_leaves_out_its_last_line_with_a_warning(self):
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            got = read(SMALL + b"spk 3.0 sorc 1", line_numbers=True)
        self.assertEqual([w.category for w in caught], [net1trace.TraceCutShort])
        self.assertIn("line 10", str(caught[0].message))
        assert_frames_equal(self, got, read(SMALL, line_numbers=True))

    def test_a_megabyte_without_a_newline_is_refused(self):
        # Whatever the blocks, what is held while looking for a newline stays
        # bounded: a file that is not a trace cannot take all memory.
        junk = SMALL[:25] + b"spk " + b"1" * (2 << 20)
        for data, block_bytes in ((junk, net1trace.trace.BLOCK_BYTES), (junk + b"\n", 64 << 10)):
            with self.subTest(block_bytes=block_bytes):
                with self.assertRaisesRegex(TraceError, "line 2: .*without a newline"):
                    read(data, block_bytes=block_bytes)


# Each field type as the programs print it, and its value.
FIELD = {
    "f": (re.compile(rb"-?[0-9]+(\.[0-9]+)?"), float),
    "u": (re.compile(rb"[0-9]{1,6}"), int),
    "b": (re.compile(rb"[01]"), lambda x: x == b"1"),
    "i": (re.compile(rb"-?[0-9]{1,10}"), lambda x: int(x) if -2**31 <= int(x) < 2**31 else None),
}


def python_reading(line):
    """A line's kind and values, read field by field with regular
    expressions and Python's int() and float(); None for a line that is not
    a trace line."""
    if any(c < 0x20 or c == 0x7F for c in line):
        return None
    parts = line.split(b" ")
    kind = net1trace.grammar.BY_NAME.get(parts[0].decode("latin-1"))
    fields = parts[1:]
    if kind is None or not (kind.min_fields <= len(fields) <= len(kind.pattern)):
        return None
    values = []
    for t, field in zip(kind.pattern, fields):
        if t == "s":
            if not 1 <= len(field) <= net1trace.MAX_NAME_LENGTH:
                return None
            values.append(field.decode("utf-8", "surrogateescape"))
            continue
        syntax, value = FIELD[t]
        if not syntax.fullmatch(field) or value(field) is None:
            return None
        values.append(value(field))
    return kind.keyword, values


def exp_summary_reading(path):
    """exp-summary's verdict on a trace: None when it reads it, else the
    number of the line it names (0 for none)."""
    r = subprocess.run([program("NET1_EXP_SUMMARY"), "--quiet", path], capture_output=True, text=True,
                       errors="replace")
    if r.returncode == 0:
        return None
    named = re.search(r":(\d+): ", r.stderr)
    return int(named.group(1)) if named else 0


class Fuzz(unittest.TestCase):
    BASE = RUN + (b"volt sink 37.000000 1.901471 1.500000\n"
                  b"dthr 13.0 rsvr 7 0 0.050000 1.050000\n"
                  b"dstdp 14.0 rsvr 7 0 sink 3 -0.010000 0.990000\n"
                  b"swofftime\n") + REPORT
    BYTES = b"0123456789 .-\n\t\x00\x7f\xffe+xsnpkwofyutv"

    def test_damaged_traces_are_refused_or_read_as_exp_summary_and_python_read_them(self):
        # What exp-summary refuses is refused at the same line; what it reads
        # gives the values Python's own int() and float() read.
        rng = random.Random(1)
        with tempfile.TemporaryDirectory(prefix="net1trace-fuzz-") as d:
            path = os.path.join(d, "case.trace")
            for case in range(120):
                text = bytearray(self.BASE)
                for _ in range(rng.randint(1, 3)):
                    at = rng.randrange(len(text))
                    change = rng.randrange(3)
                    if change == 0:
                        text[at] = rng.choice(self.BYTES)
                    elif change == 1:
                        del text[at]
                    else:
                        text.insert(at, rng.choice(self.BYTES))
                text = bytes(text)
                with open(path, "wb") as f:
                    f.write(text)
                with self.subTest(case=case, text=text):
                    refused = exp_summary_reading(path)
                    try:
                        with warnings.catch_warnings():
                            warnings.simplefilter("ignore", net1trace.TraceCutShort)
                            frames = read(text)
                    except TraceError as e:
                        named = re.search(r": line (\d+): ", str(e))
                        self.assertEqual(int(named.group(1)) if named else 0, refused, str(e))
                        continue
                    self.assertIsNone(refused)
                    readings = [python_reading(line) for line in text.split(b"\n")[:-1]]
                    for keyword, frame in frames.items():
                        want = [values for k, values in readings if k == keyword]
                        got = frame.astype(object).values.tolist()
                        if keyword == "swofftime":
                            got = [[] if math.isnan(t) else [t] for [t] in got]
                        self.assertEqual(got, want, keyword)


class CommandLine(unittest.TestCase):
    def test_a_trace_it_cannot_read_ends_it_with_one_line_never_a_traceback(self):
        with tempfile.TemporaryDirectory(prefix="net1trace-cli-") as d:
            blank = os.path.join(d, "blank.txt")
            with open(blank, "wb") as f:
                f.write(b"\n" * (8 << 20))
            long_integer = os.path.join(os.path.dirname(TABLE), "hostile", "long-integer.trace")

            def limited():  # memory bounded by the line, not the input: 8 MB of blank lines once took 950 MB
                resource.setrlimit(resource.RLIMIT_AS, (800 << 20, 800 << 20))

            env = dict(os.environ, OPENBLAS_NUM_THREADS="1")
            cases = [
                ("8 MB of blank lines, within 800 MB", [blank], {"preexec_fn": limited}, 1, "line 1: not a trace line: empty line"),
                ("an integer of 5,000 digits", [long_integer], {}, 1, "line 1: not a trace line: spk: field 6 (pending)"),
                ("standard input closed", ["-"], {"stdin": subprocess.DEVNULL, "preexec_fn": lambda: os.close(0)}, 1,
                 "standard input is closed"),
                ("no such file", [os.path.join(d, "none")], {}, 1, "No such file or directory"),
                ("a folder", [d], {}, 1, "Is a directory"),
                ("no trace named", [], {}, 2, "required"),
            ]
            for case, args, how, status, message in cases:
                with self.subTest(case=case):
                    r = subprocess.run([sys.executable, "-m", "net1.trace", *args], capture_output=True, text=True,
                                       env=env, **how)
                    self.assertEqual(r.returncode, status, r.stderr)
                    self.assertEqual(r.stderr.count("\n"), 1, r.stderr)
                    self.assertIn(message, r.stderr)
                    self.assertEqual(r.stdout, "")


if __name__ == "__main__":
    unittest.main()
