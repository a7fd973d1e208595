"""The order of a trace's lines, checked as exp-summary checks it.

The time of a trace never goes back, and a run moves on by one gap between
events at a time: a line earlier than the one before it, or one that would
stretch the trace's span far beyond what it was, is out of place; so is any
line after the final report began but the report's own. When a line's time
is later than the next line's, the line after that tells which of the two is
wrong: exp-summary holds a line that moves time forward until the next line
with a time shows it in order (a line without a time, which says nothing
about the order, lets it through). This module finds the same first line
out of place, with the same words, from the times of a block's lines.
"""

import numpy as np

TICKS = 10 ** 6  # times are read in millionths, as printed
TIME_LIMIT = 10 ** 12 * TICKS  # times are from 0 to just below 10^12
# A time is far outside the rest when it stretches the span so far to more
# than FAR_FACTOR times what it was, and to more than FAR_SPAN.
FAR_FACTOR = 1000
FAR_SPAN = 10_000_000 * TICKS

BACK = "the time of a trace never goes back"
AFTER_REPORT = "a trace line after the final report began"


def format_ticks(t):
    return f"{t // TICKS}.{t % TICKS:06d}"


class OutOfPlace(Exception):
    """A line out of place: its number, why, and its text."""

    def __init__(self, line, why, text):
        super().__init__(why)
        self.line, self.why, self.text = line, why, text


class TimeOrder:
    """The order of the lines read so far, block after block."""

    def __init__(self):
        self.first = None  # the first time of the trace, in ticks
        self.last = []  # the last two lines with a time: (ticks, line number, text)
        self.count = 0  # lines with a time so far
        self.let_through = True  # a line without a time came after the last line with one
        self.in_report = False

    def check(self, block, timed, ticks, untimed, report):
        """Raise OutOfPlace for the first line of the block out of place, or
        take the block in. timed: the block's lines with a time (indices, in
        order) and ticks their times; untimed, report: a bool per line of
        the block, for the lines without a time and the report's lines."""
        n = len(untimed)
        after_report = None  # the block's first line after the report began
        if self.in_report:
            others = np.flatnonzero(~report)
        else:
            reported = np.flatnonzero(report)
            others = np.flatnonzero(~report[reported[0]:]) + reported[0] if len(reported) else reported
        if len(others):
            after_report = int(others[0])

        seen = untimed.cumsum()
        held = len(self.last)
        t = np.concatenate([np.array([x[0] for x in self.last], np.int64), ticks])
        lines = [x[1] for x in self.last]
        # Whether a line without a time stands between each line and the one before it.
        through = np.empty(len(t), bool)
        if len(timed):
            through[held] = self.let_through or seen[timed[0]] > 0
            through[held + 1:] = np.diff(seen[timed]) > 0
        if self.first is None and len(ticks):
            self.first = int(ticks[0])
        start = max(held, 1)
        bad = None
        if len(t) > start:
            now, before = t[start:], t[start - 1:-1]
            span = now - self.first
            far = (now > before) & (span > FAR_SPAN) & (span // FAR_FACTOR > before - self.first)
            wrong = np.flatnonzero((now < before) | far)
            if len(wrong):
                bad = start + int(wrong[0])
        if bad is not None and (after_report is None or timed[bad - held] < after_report):
            raise self._blame(block, t, bad, held, timed, through)
        if after_report is not None:
            raise OutOfPlace(block.first_line + after_report, AFTER_REPORT, block.line(after_report))

        if len(timed):
            # With their text: the next block may have to name one of them.
            keep = [(int(x), block.first_line + int(i), block.line(int(i))) for x, i in zip(ticks[-2:], timed[-2:])]
            self.last = (self.last + keep)[-2:]
            self.let_through = bool(seen[-1] - seen[timed[-1]] > 0)
        elif n:
            self.let_through = self.let_through or bool(seen[-1] > 0)
        self.count += len(timed)
        self.in_report = self.in_report or bool(report.any())

    def _blame(self, block, t, bad, held, timed, through):
        """The line to name for a time that goes back (or leaps) at t[bad]."""
        def line_of(i):
            return block.first_line + int(timed[i - held]) if i >= held else self.last[i][1]

        def text_of(i):
            return block.line(int(timed[i - held])) if i >= held else self.last[i][2]

        now, before = int(t[bad]), int(t[bad - 1])
        if now > before:
            return OutOfPlace(line_of(bad), f"time {format_ticks(now)} is far outside the rest of the trace "
                                            f"({format_ticks(self.first)} to {format_ticks(before)})", text_of(bad))
        # The line before is still held when it moved time forward (or was
        # the trace's first) and nothing let it through since.
        first_of_trace = self.count - held + (bad - 1) == 0
        if (first_of_trace or before > int(t[bad - 2])) and not through[bad]:
            if not first_of_trace and now < int(t[bad - 2]):
                return OutOfPlace(line_of(bad), f"time {format_ticks(now)} is earlier than "
                                                f"{format_ticks(int(t[bad - 2]))} at line {line_of(bad - 2)}: {BACK}",
                                  text_of(bad))
            return OutOfPlace(line_of(bad - 1), f"time {format_ticks(before)} is later than {format_ticks(now)} "
                                                f"at line {line_of(bad)}, after it: {BACK}", text_of(bad - 1))
        return OutOfPlace(line_of(bad), f"time {format_ticks(now)} is earlier than {format_ticks(before)} "
                                        f"at line {line_of(bad - 1)}: {BACK}", text_of(bad))
