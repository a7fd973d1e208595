"""A simulation run from Python, recording into numpy arrays."""
import os

import numpy as np

from . import _net1
from .description import Description


def load(program_or_file, seed=None, settings=None, outputs=(), trace=()):
    """Builds a simulation, ready to run.

    program_or_file: one of the nine experiments by name ("exp-poisson"), a
        description file (TOML), a run record (--meta JSON, which also gives
        the seed), or a net1.Description.
    seed: the generator's seed; None seeds it from the clock (sim.seed says
        which), or takes a run record's.
    settings: {key: value}, as --set KEY=VALUE ("rsvr.switchProb": 0.02,
        "rsvr->sink.probability": 0.2, "steps": 5000).
    outputs: trace files written during the run as -o writes them (a name
        ending in .zst is compressed), complete when every step has run:
        the same bytes as the command line.
    trace: also write "plasticity" or "volt" lines to the outputs (--trace).

    Spikes and switches are recorded from the start; record() chooses others.
    A setting or description that cannot run raises ValueError with the
    command line's message.
    """
    if isinstance(program_or_file, Description):
        source, is_text = program_or_file.to_toml(), True
    else:
        source, is_text = os.fspath(program_or_file), False
    settings = list((settings or {}).items())
    core = _net1.Simulation(source, is_text, seed, settings, [os.fspath(o) for o in outputs], list(trace))
    return Simulation(core)


def _frame(columns, groups, group_columns):
    import pandas as pd  # only when a frame is asked for: importing it takes a while
    data = {}
    for name, values in columns.items():
        if name in group_columns:
            data[name] = pd.Categorical.from_codes(values.astype(np.int32), categories=groups)
        elif name in ("on", "up", "post_fired", "exc", "active"):
            data[name] = values.astype(bool)
        else:
            data[name] = values
    return pd.DataFrame(data)


class Simulation:
    """A description's network, built and running on the engine.

    Time goes on only in run(); between calls, a simulation can be
    inspected (units(), synapses(), connectivity()), given input (inject()),
    and changed (set(), switch_off()). Several calls of run() give exactly
    what one call gives.
    """

    _SWITCH_KEYS = ["pre_group", "pre", "post_group", "post"]

    def __init__(self, core):
        self._core = core
        self._switch_store = []  # switch records taken from the engine, not yet drained
        self._recording_switches = True
        s = core.synapses()
        on = s["active"] == 1
        self._base = {k: s[k][on] for k in self._SWITCH_KEYS}  # active synapses before any switch
        self._base_time = -np.inf

    # -- running --------------------------------------------------------

    def run(self, steps=None, until=None, progress=None):
        """Runs `steps` more steps (all that remain when none is given) or,
        with `until`, the stimuli due before that time and the engine up to
        it. The engine runs without the interpreter; Ctrl-C stops it at a
        step and raises KeyboardInterrupt (trace files not yet complete are
        removed). progress: a progress line on standard error every so many
        seconds. Returns the simulation."""
        self._core.run(steps, until, float(progress or 0))
        return self

    def inject(self, group, units, times, amounts):
        """Input to units of `group` (a name) at the times given, which must
        not be before now: arrays (or one value each) of one length."""
        index = self._group_index(group)
        units, times, amounts = np.broadcast_arrays(np.asarray(units), np.asarray(times, dtype=float),
                                                    np.asarray(amounts, dtype=np.float32))
        self._core.inject(index, units.astype(np.uint32).ravel().tolist(), times.ravel().tolist(),
                          amounts.ravel().tolist())
        return self

    def set(self, settings=None, **more):
        """Changes settings between runs, as --set does ({"rsvr.switchProb": 0}):
        group parameters, the rate factor, stimuli, the switch-off step. The
        network's shape and its units' values are fixed once it is built."""
        items = list((settings or {}).items()) + list(more.items())
        self._core.change(items)
        return self

    def switch_off(self):
        """Switches switching and STDP off now, as the switch-off step does."""
        self._core.switch_off()
        return self

    def close(self):
        """Ends the simulation; trace files not yet complete are removed."""
        self._core.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # -- recording ------------------------------------------------------

    def record(self, kinds=("spikes", "switches"), groups=None, start=None, end=None):
        """Chooses what is recorded from now on: kinds among "spikes",
        "switches", "weights" (STDP changes), "thresholds" (threshold
        changes) and "volts" (voltage windows); only lines of `groups` (names;
        a switch or weight change of either end); only lines with a time from
        `start` to before `end`. What was recorded stays until taken."""
        kinds = [kinds] if isinstance(kinds, str) else list(kinds)
        self._recording_switches = "switches" in kinds and groups is None and start is None
        self._core.record(kinds, None if groups is None else list(groups), start, end)
        return self

    def arrays(self, kind, drain=False):
        """The records of a kind so far as numpy arrays, by column; `drain`
        hands them over, so that memory stays bounded in a long run."""
        if kind == "switches":
            self._take_switches()
            columns = self._switches()
            if drain:
                self._fold(columns)
            return columns
        return dict(self._core.take(kind, drain))

    def spikes(self, drain=False):
        """Spikes as a DataFrame: time, group, unit."""
        return _frame(self.arrays("spikes", drain), self.groups, ("group",))

    def switches(self, drain=False):
        """Synapses switched on or off: time, pre_group, pre, post_group, post, on."""
        return _frame(self.arrays("switches", drain), self.groups, ("pre_group", "post_group"))

    def weight_changes(self, drain=False):
        """STDP changes: time, pre and post units, change, weight, and
        post_fired (the post unit fired, else the pre unit)."""
        return _frame(self.arrays("weights", drain), self.groups, ("pre_group", "post_group"))

    def threshold_changes(self, drain=False):
        """Threshold changes: time, group, unit, rate, threshold, up."""
        return _frame(self.arrays("thresholds", drain), self.groups, ("group",))

    def volts(self, drain=False):
        """Voltage windows: group, window_end, input_sum, change_sum."""
        return _frame(self.arrays("volts", drain), self.groups, ("group",))

    # -- the network ----------------------------------------------------

    def units(self):
        """Every unit now, group by group in ascending id: the report's
        fields (exc, threshold, leak, reset, synapse counts and active
        weights in and out) and its potential and last spike."""
        return _frame(dict(self._core.units()), self.groups, ("group",))

    def synapses(self):
        """Every synapse now, by pre unit and in chain order: pre and post
        units, active, weight, delay, last_switch."""
        return _frame(dict(self._core.synapses()), self.groups, ("pre_group", "post_group"))

    def connectivity(self, time=None):
        """The active synapses at `time` (now when None), from the synapses
        switched on at the start and the switches recorded since: a
        DataFrame of pre_group, pre, post_group, post and count (how many
        active synapses join the two units)."""
        if not self._recording_switches:
            raise ValueError("connectivity needs every switch recorded: record() switches, of every group, all the time")
        if time is not None and time < self._base_time:
            raise ValueError(f"the switches up to {self._base_time} were drained; connectivity is known from then on")
        self._take_switches()
        sw = self._switches()
        if time is not None:
            keep = sw["time"] <= time
            sw = {k: v[keep] for k, v in sw.items()}
        counts = self._counts(self._base, np.ones(len(self._base["pre"]), dtype=np.int64))
        if len(sw["time"]):
            delta = self._counts(sw, np.where(sw["on"] == 1, 1, -1))
            counts = counts.add(delta, fill_value=0)
        counts = counts[counts > 0].astype(np.int64)
        frame = counts.rename("count").reset_index()
        import pandas as pd
        for column in ("pre_group", "post_group"):
            frame[column] = pd.Categorical.from_codes(frame[column].astype(np.int32), categories=self.groups)
        return frame

    # -- the rest -------------------------------------------------------

    @property
    def groups(self):
        """The groups' names, in order of creation."""
        return list(self._core.groups)

    @property
    def now(self):
        return self._core.now

    @property
    def steps_done(self):
        return self._core.steps_done

    @property
    def steps(self):
        """The description's steps: run() with no steps runs to there."""
        return self._core.steps

    @property
    def seed(self):
        return self._core.seed

    @property
    def finished(self):
        """Every step has run (and trace files are complete)."""
        return self._core.finished

    @property
    def description(self):
        """The description running, as its complete TOML file."""
        return self._core.description()

    def _group_index(self, name):
        try:
            return self.groups.index(name)
        except ValueError:
            raise ValueError(f"there is no group '{name}'") from None

    def _take_switches(self):
        taken = dict(self._core.take("switches", True))
        if len(taken["time"]):
            self._switch_store.append(taken)

    def _switches(self):
        if not self._switch_store:
            empty = dict(self._core.take("switches", False))
            return {k: v[:0] for k, v in empty.items()}
        if len(self._switch_store) > 1:
            self._switch_store = [{k: np.concatenate([s[k] for s in self._switch_store])
                                   for k in self._switch_store[0]}]
        return self._switch_store[0]

    def _fold(self, switches):
        """Drained switches become part of the state they lead to."""
        if len(switches["time"]):
            counts = self._counts(self._base, np.ones(len(self._base["pre"]), dtype=np.int64))
            counts = counts.add(self._counts(switches, np.where(switches["on"] == 1, 1, -1)), fill_value=0)
            counts = counts[counts > 0].astype(np.int64)
            rows = counts.index.repeat(counts.values)
            self._base = {k: rows.get_level_values(k).to_numpy() for k in self._SWITCH_KEYS}
            self._base_time = float(switches["time"][-1])
        self._switch_store = []

    def _counts(self, columns, signs):
        import pandas as pd
        frame = pd.DataFrame({k: columns[k] for k in self._SWITCH_KEYS})
        frame["n"] = signs
        return frame.groupby(self._SWITCH_KEYS, sort=True)["n"].sum()
