"""python3 -m net1trace [--kinds KINDS] [--time] TRACE

Reads a trace (a file, or - for standard input) and prints how many lines of
each kind it holds. With --time, also the time the reading took, lines per
second, and the peak memory of the process. Exit status 1 for a trace that
cannot be read, with the reason on standard error.
"""

import argparse
import resource
import sys
import time

from . import TraceError, read_trace


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m net1trace", description="Line counts of a trace.")
    parser.add_argument("trace", help="the trace: plain, .gz or .zst; - for standard input")
    parser.add_argument("--kinds", help="the kinds to read, e.g. spk,swon (default: all)")
    parser.add_argument("--time", action="store_true", help="also print the time taken and the peak memory")
    args = parser.parse_args(argv)
    start = time.perf_counter()
    try:
        frames = read_trace(args.trace, kinds=args.kinds)
    except (OSError, TraceError, ValueError) as e:
        print(f"net1trace: {e}", file=sys.stderr)
        return 1
    seconds = time.perf_counter() - start
    total = 0
    for kind, frame in frames.items():
        print(f"{kind:<10} {len(frame):>12}")
        total += len(frame)
    print(f"{'lines':<10} {total:>12}")
    if args.time:
        peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(f"{seconds:.3f} s, {total / seconds / 1e6:.2f} million lines/s, peak memory {peak_mb:.0f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
