"""net1 from Python: build, run and record any network description.

    import net1
    sim = net1.load("exp-poisson", seed=1, settings={"steps": 20000})
    sim.run()
    sim.spikes()      # a DataFrame: time, group, unit
    sim.switches()    # time, pre_group, pre, post_group, post, on

A description is a TOML file (net1 runs it from the command line too), the
name of one of the nine experiments, or a net1.Description built here. The
engine is the programs' own, compiled into this package (net1._net1); runs
record their lines into numpy arrays, with no text in between. net1.trace
reads trace files and exp-summary's tables into pandas.
"""
import sys

__all__ = ["Description", "Simulation", "load", "experiments", "trace"]

_ENGINE = ("Description", "Simulation", "load")


def _engine():
    """The engine module, loaded when first needed: net1.trace reads traces
    without it, from the sources alone."""
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
            "into build/release/python (see the README); run that interpreter with that folder on "
            "PYTHONPATH, or build for this one with -DNET1_PYTHON=...") from None
    return _net1


def __getattr__(name):
    if name not in _ENGINE:
        raise AttributeError(f"module 'net1' has no attribute '{name}'")
    _engine()
    from . import description, simulation
    globals().update(Description=description.Description, Simulation=simulation.Simulation, load=simulation.load)
    return globals()[name]


def experiments():
    """The names of the nine experiments, which load() takes as programs."""
    return list(_engine().experiments())
