"""A network description built in Python: the same parts and fields as a
description file, written out as one (to_toml, save) and checked by the
engine's own reader, so that a field means, and a mistake is refused with,
what the command line says. Fields are given by their names in the file
(perUnit, excitatoryWeight, ...); snake_case names (per_unit) are read as
those.
"""
import json
import math

from . import _net1


def _camel(name):
    head, *rest = name.split("_")
    return head + "".join(word[:1].upper() + word[1:] for word in rest)


def _value(v):
    if isinstance(v, bool):
        return "true" if v else "false"
    if hasattr(v, "tolist") and not isinstance(v, (str, bytes)):
        v = v.tolist()  # numpy arrays and scalars
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, int):
        return str(v)
    if isinstance(v, float):
        if not math.isfinite(v):
            raise ValueError(f"{v} is not a finite number")
        text = repr(v)
        return text if any(c in text for c in ".en") else text + ".0"
    if isinstance(v, str):
        return json.dumps(v)
    if isinstance(v, (list, tuple)):
        return "[" + ", ".join(_value(x) for x in v) + "]"
    raise ValueError(f"a field's value must be a number, a flag, a name or a list, got {type(v).__name__}")


def _table(header, fields):
    lines = [header]
    lines += [f"{_camel(k)} = {_value(v)}" for k, v in fields.items() if v is not None]
    return "\n".join(lines) + "\n"


class Description:
    """A network: groups, pathways, stimuli and the run.

        d = net1.Description(steps=20000)
        d.group("in", 20, excitatory=True, threshold=1.0)
        d.group("out", 100, excitatory=0.8, threshold=[1.0, 2.0])
        d.pathway("in", "out", rule="fixed", perUnit=10, excitatoryWeight=[1, 2],
                  inhibitoryWeight=[1, 2], delayDistribution="uniform", delay=[0.5, 1])
        d.stimulus("in", kind="random", interval=0.05, amount=2.0)
        sim = net1.load(d, seed=1)
    """

    def __init__(self, **run):
        self.run = dict(run)
        self.groups = []
        self.pathways = []
        self.stimuli = []

    def group(self, name, size, **fields):
        """Adds a group (in order of creation) and returns the description."""
        self.groups.append(dict(name=name, size=size, **fields))
        return self

    def pathway(self, source, target, name=None, **fields):
        """Adds a pathway of synapses from group `source` to group `target`."""
        self.pathways.append(dict(name=name, **{"from": source, "to": target}, **fields))
        return self

    def connect(self, source, target, pre, post, weight, delay, name=None, **fields):
        """Adds a pathway of exactly the synapses given: unit `pre[i]` of
        `source` to unit `post[i]` of `target`, with `weight[i]` and
        `delay[i]` (arrays of one length)."""
        return self.pathway(source, target, name=name, rule="list", preUnits=pre, postUnits=post,
                            weights=weight, delays=delay, **fields)

    def stimulus(self, group, kind, name=None, **fields):
        """Adds a stimulus into `group`: kind "random", "cyclic" or "xor"."""
        self.stimuli.append(dict(name=name, group=group, kind=kind, **fields))
        return self

    def to_toml(self):
        """The description as the TOML file that net1 runs."""
        parts = [_table("[run]", self.run)]
        parts += [_table("[[group]]", g) for g in self.groups]
        parts += [_table("[[pathway]]", p) for p in self.pathways]
        parts += [_table("[[stimulus]]", s) for s in self.stimuli]
        return "\n".join(parts)

    def save(self, path):
        """Writes the TOML file, for `net1 PATH` (or load(PATH))."""
        with open(path, "w", encoding="utf-8") as f:
            f.write(self.to_toml())

    def check(self):
        """The complete description as net1 reads it, every field with its
        value; ValueError with the command line's message when it cannot run."""
        return _net1.check_description(self.to_toml())
