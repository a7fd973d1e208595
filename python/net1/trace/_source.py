"""Where the bytes of a trace come from: a file, standard input or a binary
file object, plain or compressed (gzip or zstd, told apart by their first
bytes), handed on as blocks of whole lines."""

import os
import sys
import zlib

try:
    import zstandard
except ImportError:  # only .zst traces need it
    zstandard = None

GZIP_MAGIC = b"\x1f\x8b"
ZSTD_MAGIC = b"\x28\xb5\x2f\xfd"
# A skippable frame's magic is 0x184D2A50 to 0x184D2A5F, little-endian.
ZSTD_SKIPPABLE_MAGIC_END = b"\x2a\x4d\x18"

# The largest zstd window read, as exp-summary and zstd's own default: a
# frame written with zstd --long needs more memory than a trace reader takes.
ZSTD_MAX_WINDOW = 1 << 27

# No trace line comes near this; a longer stretch without a newline is not a
# trace, and holding on to it would let a bad input take any amount of memory.
MAX_LINE_BYTES = 1 << 20

# Compressed input is read in pieces of this size.
_READ_SIZE = 1 << 20


class TraceError(ValueError):
    """The input is not a trace: a bad line (the message gives its number), or
    compressed data that is corrupt or ends early."""


class TraceCutShort(UserWarning):
    """The trace's last line has no newline: the run that wrote it was cut
    short. That line is left out."""


class LongLine(Exception):
    """More than MAX_LINE_BYTES without a newline; the reader, which knows
    the line number, turns this into a TraceError."""


def _read_full(f, n):
    """Up to n bytes; fewer only at the end (pipes give short reads)."""
    parts, got = [], 0
    while got < n:
        b = f.read(n - got)
        if not b:
            break
        parts.append(b)
        got += len(b)
    return b"".join(parts)


class _Prefixed:
    """A reader that gives back the bytes already taken from the front of f
    (to recognise its format) before the rest of f."""

    def __init__(self, head, f):
        self._head = head
        self._f = f

    def read(self, n=-1):
        if self._head:
            if n is None or n < 0:
                out, self._head = self._head + self._f.read(), b""
                return out
            out, self._head = self._head[:n], self._head[n:]
            return out
        return self._f.read(n)


def describe(source):
    """The name of a source in messages."""
    if source == "-":
        return "standard input"
    if isinstance(source, (str, bytes, os.PathLike)):
        return os.fsdecode(source)
    return getattr(source, "name", None) or "<file object>"


class Source:
    """An open trace: `blocks()` yields its decompressed bytes; `close()`
    closes what was opened here (never a file object the caller passed)."""

    def __init__(self, source):
        self.name = describe(source)
        self._owned = None
        if source == "-":
            if sys.stdin is None:
                raise TraceError("standard input is closed")
            f = sys.stdin.buffer
        elif isinstance(source, (str, bytes, os.PathLike)):
            f = self._owned = open(source, "rb")
        elif hasattr(source, "read"):
            f = source
            if not isinstance(f.read(0), bytes):
                raise TypeError(f"{self.name}: open the trace in binary mode ('rb')")
        else:
            raise TypeError(f"a trace is a path, '-' or a binary file object, not {type(source).__name__}")
        head = _read_full(f, 4)
        self._raw = _Prefixed(head, f)
        if head.startswith(GZIP_MAGIC):
            self.format = "gzip"
        elif head.startswith(ZSTD_MAGIC) or (len(head) == 4 and head[0] & 0xF0 == 0x50
                                             and head[1:] == ZSTD_SKIPPABLE_MAGIC_END):
            if zstandard is None:
                self.close()
                raise RuntimeError(f"{self.name}: reading .zst traces needs python3-zstandard")
            self.format = "zstd"
        else:
            self.format = "plain"

    def close(self):
        if self._owned is not None:
            self._owned.close()
            self._owned = None

    def blocks(self, size):
        if self.format == "plain":
            return iter(lambda: self._raw.read(size), b"")
        if self.format == "gzip":
            return self._gzip_blocks(size)
        return self._zstd_blocks()

    def _gzip_blocks(self, size):
        # Member by member, as exp-summary reads them: members may follow
        # one another (cat a.gz b.gz), but anything else after a member's
        # end, NUL padding too, is refused rather than quietly ignored.
        d = zlib.decompressobj(16 + zlib.MAX_WBITS)
        in_member = False
        data = b""
        while True:
            if not data:
                data = self._raw.read(_READ_SIZE)
                if not data:
                    if in_member:
                        raise TraceError(f"{self.name}: truncated gzip data: the input ends inside the compressed stream")
                    return
            if not in_member:
                if data[0] != GZIP_MAGIC[0]:
                    raise TraceError(f"{self.name}: corrupt gzip data: bytes after the end of the compressed stream")
                in_member = True
            try:
                out = d.decompress(data, size)
            except zlib.error as e:
                reason = str(e).split(": ", 1)[-1]  # zlib's own words, without Python's "Error -3 while ..."
                raise TraceError(f"{self.name}: corrupt gzip data: {reason}") from None
            if out:
                yield out
            if d.eof:
                data = d.unused_data
                d = zlib.decompressobj(16 + zlib.MAX_WBITS)
                in_member = False
            else:
                data = d.unconsumed_tail

    def _zstd_blocks(self):
        # Frame by frame: zstandard's stream reader stops quietly where a
        # truncated frame ends, which would pass a cut file off as whole.
        dctx = zstandard.ZstdDecompressor(max_window_size=ZSTD_MAX_WINDOW)
        d = dctx.decompressobj()
        in_frame = False
        while True:
            data = self._raw.read(_READ_SIZE)
            if not data:
                break
            if len(data) < _READ_SIZE:  # the first bytes (or a pipe's short read): a frame header whole
                data += self._raw.read(_READ_SIZE)
            while data:
                if not in_frame:
                    self._check_window(data)
                try:
                    out = d.decompress(data)
                except zstandard.ZstdError as e:
                    if "too much memory" in str(e):  # a header cut between two reads
                        raise TraceError(f"{self.name}: {window_message(None)}: decompress it first, "
                                         f"e.g. zstd -dc --long=31 FILE | python3 -m net1.trace -") from None
                    raise TraceError(f"{self.name}: corrupt zstd data ({e})") from None
                in_frame = True
                if out:
                    yield out
                if d.eof:  # a frame ended; another may follow
                    data = d.unused_data
                    d = dctx.decompressobj()
                    in_frame = False
                else:
                    data = b""
        if in_frame:
            raise TraceError(f"{self.name}: truncated zstd data: the input ends inside a frame")

    def _check_window(self, data):
        """A frame whose window is beyond what is read is not corrupt: say
        what it is and how to read it."""
        try:
            window = zstandard.get_frame_parameters(data).window_size
        except zstandard.ZstdError:
            return  # not a whole frame header here; the decoder will tell
        if window > ZSTD_MAX_WINDOW:
            raise TraceError(f"{self.name}: {window_message(window)}: decompress it first, "
                             f"e.g. zstd -dc --long=31 FILE | python3 -m net1.trace -")


def window_message(window):
    """The words for a zstd frame whose window is too large, as exp-summary's."""
    size = f"a window of {window >> 20} MiB" if window else "a larger window"
    return (f"the zstd data needs {size}, more than the {ZSTD_MAX_WINDOW >> 20} MiB "
            "this reader takes (written with zstd --long)")


class LineBlocks:
    """Blocks of whole lines, each at least `size` bytes but for the last,
    from an iterator of byte blocks. After the iteration `tail` holds what
    followed the last newline (a line cut short), if anything."""

    def __init__(self, blocks, size):
        self._blocks = blocks
        self._size = size
        self.tail = b""

    def __iter__(self):
        parts, have = [], 0
        for b in self._blocks:
            parts.append(b)
            have += len(b)
            if have < self._size:
                continue
            data = b"".join(parts) if len(parts) > 1 else parts[0]
            cut = data.rfind(b"\n") + 1
            if cut == 0:
                if have > MAX_LINE_BYTES:
                    raise LongLine()
                parts = [data]
                continue
            yield memoryview(data)[:cut]
            rest = data[cut:]
            if len(rest) > MAX_LINE_BYTES:
                raise LongLine()
            parts, have = ([rest], len(rest)) if rest else ([], 0)
        data = b"".join(parts)
        cut = data.rfind(b"\n") + 1
        if cut:
            yield memoryview(data)[:cut]
        self.tail = data[cut:]
        if len(self.tail) > MAX_LINE_BYTES:
            raise LongLine()

