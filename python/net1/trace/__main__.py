"""python3 -m net1.trace [--kinds KINDS] [--time] TRACE

Reads a trace (a file, or - for standard input) and prints how many lines of
each kind it holds. With --time, also the time the reading took, lines per
second, and the peak memory of the process. A trace that cannot be read ends
it with one line on standard error and exit status 1 (2 for a usage error),
never a traceback.
"""

import argparse
import errno
import os
import resource
import sys
import time

from . import TraceError, read_trace


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        sys.stderr.write(f"net1.trace: {message} (see --help)\n")
        sys.exit(2)


def _count(args):
    start = time.perf_counter()
    frames = read_trace(args.trace, kinds=args.kinds)
    seconds = time.perf_counter() - start
    total = 0
    out = []
    for kind, frame in frames.items():
        out.append(f"{kind:<10} {len(frame):>12}")
        total += len(frame)
    out.append(f"{'lines':<10} {total:>12}")
    if args.time:
        peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        out.append(f"{seconds:.3f} s, {total / max(seconds, 1e-9) / 1e6:.2f} million lines/s, peak memory {peak_mb:.0f} MB")
    if sys.stdout is None:
        raise OSError(errno.EBADF, "standard output is closed")
    sys.stdout.write("\n".join(out) + "\n")
    sys.stdout.flush()


def main(argv=None):
    parser = _Parser(prog="python3 -m net1.trace", description="Line counts of a trace.")
    parser.add_argument("trace", help="the trace: plain, .gz or .zst; - for standard input")
    parser.add_argument("--kinds", help="the kinds to read, e.g. spk,swon (default: all)")
    parser.add_argument("--time", action="store_true", help="also print the time taken and the peak memory")
    args = parser.parse_args(argv)
    try:
        _count(args)
    except OSError as e:
        if sys.stdout is not None:
            # Standard output may be what failed: nothing more goes there,
            # not even at the exit.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        where = f"{e.filename}: " if e.filename else ""
        sys.stderr.write(f"net1.trace: {where}{e.strerror or e}\n")
        return 1
    except (TraceError, ValueError, RuntimeError) as e:
        sys.stderr.write(f"net1.trace: {e}\n")
        return 1
    except MemoryError:
        sys.stderr.write(f"net1.trace: out of memory reading {args.trace}\n")
        return 1
    except KeyboardInterrupt:
        sys.stderr.write("net1.trace: stopped\n")
        return 130
    return 0


if __name__ == "__main__":
    sys.exit(main())
