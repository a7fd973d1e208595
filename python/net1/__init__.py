"""net1 from Python: build, run and record any network description.

    import net1
    sim = net1.load("exp-poisson", seed=1, settings={"steps": 20000})
    sim.run()
    sim.spikes()      # a DataFrame: time, group, unit
    sim.switches()    # time, pre_group, pre, post_group, post, on

A description is a TOML file (net1 runs it from the command line too), the
name of one of the nine experiments, or a net1.Description built here. The
engine is the programs' own, compiled into this package (net1._net1); runs
record their lines into numpy arrays, with no text in between.
"""
import sys

try:
    import numpy  # noqa: F401
except ImportError:
    raise ImportError(
        f"net1 needs numpy, which this interpreter ({sys.executable}) does not have: "
        "run it with /usr/bin/python3, which has Debian's numpy and pandas") from None

try:
    from . import _net1
except ImportError as error:
    raise ImportError(
        f"net1's engine module does not load in this interpreter ({sys.executable}, Python "
        f"{sys.version.split()[0]}): {error}. It is built by the project's CMake for /usr/bin/python3 "
        "(see the README); run that interpreter, or build for this one with -DNET1_PYTHON=...") from None

from .description import Description
from .simulation import Simulation, load

__all__ = ["Description", "Simulation", "load", "experiments", "read_trace"]


def experiments():
    """The names of the nine experiments, which load() takes as programs."""
    return list(_net1.experiments())


def read_trace(*args, **kwargs):
    """Reads a trace file into pandas DataFrames (net1trace.read_trace)."""
    from net1trace import read_trace as read
    return read(*args, **kwargs)
