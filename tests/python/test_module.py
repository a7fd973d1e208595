"""The net1 package: runs from Python against the command line's."""
import os
import signal
import subprocess
import sys
import threading

import numpy as np
import pytest

import net1

BIN = os.environ["NET1_BIN"]  # the build's drivers/ folder


def cli(*args, check=True):
    """A program's run: (exit status, standard output, standard error)."""
    p = subprocess.run([os.path.join(BIN, args[0]), *args[1:]], capture_output=True)
    if check:
        assert p.returncode == 0, p.stderr.decode()
    return p.returncode, p.stdout, p.stderr.decode()


def spk_lines(sim):
    s = sim.arrays("spikes")
    groups = sim.groups
    return [f"{t:f} {groups[g]} {u}" for t, g, u in zip(s["time"], s["group"], s["unit"])]


def test_a_program_loaded_by_name_gives_the_spikes_and_switches_of_its_trace(tmp_path):
    _, out, _ = cli("exp-stdp", "--seed", "4", "--steps", "3000")
    lines = out.decode().splitlines()
    want_spk = [" ".join(l.split()[1:4]) for l in lines if l.startswith("spk ")]
    want_sw = [l for l in lines if l.startswith(("swon ", "swoff "))]
    sim = net1.load("exp-stdp", seed=4, settings={"steps": 3000})
    sim.run()
    assert spk_lines(sim) == want_spk
    sw = sim.switches()
    assert len(sw) == len(want_sw)
    first = want_sw[0].split()
    assert (sw.on[0], f"{sw.time[0]:f}", sw.pre_group[0], sw.pre[0], sw.post_group[0], sw.post[0]) == \
        (first[0] == "swon", first[1], first[2], int(first[3]), first[5], int(first[6]))
    frame = sim.spikes()
    assert list(frame.columns[:3]) == ["time", "group", "unit"] and frame.group.dtype == "category"


def test_runs_in_pieces_give_exactly_one_run(tmp_path):
    whole = net1.load("exp-xor-shift", seed=2, settings={"steps": 4000, "rateFactor": 1.5,
                                                        "switchOffAfter": 2500},
                      outputs=[tmp_path / "whole.zst"])
    whole.run()
    pieces = net1.load("exp-xor-shift", seed=2, settings={"steps": 4000, "rateFactor": 1.5,
                                                         "switchOffAfter": 2500},
                       outputs=[tmp_path / "pieces.txt"])
    pieces.run(1000)
    assert not pieces.finished and not (tmp_path / "pieces.txt").exists()
    pieces.run(until=pieces.now + 7.3)
    pieces.run(1)
    pieces.run()
    assert pieces.finished
    for kind in ("spikes", "switches"):
        a, b = whole.arrays(kind), pieces.arrays(kind)
        assert all(np.array_equal(a[k], b[k]) for k in a), kind
    # The trace files are the command line's bytes.
    _, out, _ = cli("exp-xor-shift", "1.5", "--seed", "2", "--steps", "4000", "--set", "switchOffAfter=2500")
    assert (tmp_path / "pieces.txt").read_bytes() == out
    import zstandard
    assert zstandard.ZstdDecompressor().decompressobj().decompress((tmp_path / "whole.zst").read_bytes()) == out


def new_shape():
    """Input straight to the output, and into a pool wired by a list of its own."""
    rng = np.random.default_rng(5)
    pre, post = rng.integers(0, 300, 3000), rng.integers(0, 300, 3000)
    d = net1.Description(steps=3000, switchOffAfter=2000)
    d.group("in", 20, switching=True, switch_prob=0.05, excitatory=True, threshold=1.0)
    d.group("pool", 300, refractory=1.0, switching=True, switchProb=0.05, excitatory=0.8,
            threshold=[1.0, 2.0], resetPotential=[0.5, 1.0], leak=[0.1, 1.0])
    d.group("out", 10, refractory=1.0, threshold=1.5, leak=0.5)
    d.pathway("in", "out", probability=0.5, start_active=True, excitatoryWeight=[1.0, 2.0],
              inhibitoryWeight=[1.0, 2.0], delayDistribution="uniform", delay=[0.5, 1.0])
    d.pathway("in", "pool", rule="fixed", perUnit=30, excitatoryWeight=[1.0, 2.0],
              inhibitoryWeight=[1.0, 2.0], delayDistribution="uniform", delay=[0.5, 1.0])
    d.connect("pool", "pool", pre, post, rng.uniform(0.5, 2.0, 3000), rng.uniform(0.1, 3.0, 3000))
    d.stimulus("in", kind="random", name="drive", interval=0.05, amount=2.0)
    return d


def test_a_description_built_in_python_is_its_toml_file(tmp_path):
    d = new_shape()
    d.save(tmp_path / "mine.toml")
    sim = net1.load(d, seed=9, outputs=[tmp_path / "py.txt"], trace=["plasticity"])
    sim.run()
    _, out, _ = cli("net1", str(tmp_path / "mine.toml"), "--seed", "9", "--trace", "plasticity")
    assert (tmp_path / "py.txt").read_bytes() == out
    assert len(sim.switches()) > 0 and (sim.spikes().group == "pool").sum() > 0
    # The complete description reads back as the same network.
    again = net1.load(tmp_path / "mine.toml", seed=9)
    again.run()
    assert spk_lines(again) == spk_lines(sim)


def test_connectivity_at_a_time_is_the_trace_s_switches_to_then(tmp_path):
    sim = net1.load("exp-xor-rand", seed=3, settings={"steps": 6000, "rsvr.switchProb": 0.1, "rateFactor": 1.0},
                    outputs=[tmp_path / "t.txt"])
    start = sim.connectivity()["count"].sum()  # every synapse starts on here
    sim.run(4000)
    drained = sim.now
    sim.switches(drain=True)  # folded into the state: still known from then on
    sim.run()
    lines = (tmp_path / "t.txt").read_text().splitlines()
    for t in (drained + 10.0, drained + 55.5, sim.now):
        on = sum(1 for l in lines if l.startswith("swon ") and float(l.split()[1]) <= t)
        off = sum(1 for l in lines if l.startswith("swoff ") and float(l.split()[1]) <= t)
        assert sim.connectivity(t)["count"].sum() == start + on - off, t
    assert sim.connectivity()["count"].sum() == (sim.synapses().active).sum()
    with pytest.raises(ValueError, match="drained"):
        sim.connectivity(1.0)


def test_bad_settings_and_descriptions_raise_the_command_line_s_message(tmp_path):
    cases = [({"rsvr.switchProb": 2}, ["--set", "rsvr.switchProb=2"]),
             ({"rsvr->sink.probabilty": 0.1}, ["--set", "rsvr->sink.probabilty=0.1"]),
             ({"sink.size": 0}, ["--set", "sink.size=0"])]
    for settings, args in cases:
        _, _, err = cli("exp-poisson", *args, check=False)
        with pytest.raises(ValueError) as raised:
            net1.load("exp-poisson", settings=settings)
        assert str(raised.value) == err.strip().removeprefix("exp-poisson: ")
    bad = tmp_path / "bad.toml"
    bad.write_text(new_shape().to_toml().replace('name = "out"', 'name = "in"'))
    _, _, err = cli("net1", str(bad), check=False)
    with pytest.raises(ValueError) as raised:
        net1.load(bad)
    assert str(raised.value) == err.strip().removeprefix("net1: ")
    sim = net1.load("exp-poisson", settings={"steps": 10})
    with pytest.raises(ValueError, match="fixed once"):
        sim.set({"rsvr.size": 10})
    with pytest.raises(ValueError, match="before the time now"):
        sim.run(5).inject("sorc", [0], [0.0], [2.0])


def test_input_and_changes_between_runs_act_on_the_engine():
    sim = net1.load("exp-poisson", seed=1, settings={"steps": 3000})
    sim.run(1000).set({"switchProb": 0})  # switching off by hand, everywhere
    switched = len(sim.switches())
    t = sim.now + 0.5
    sim.inject("rsvr", [3, 4], [t, t], [5.0, 5.0]).run()
    spikes = sim.spikes()
    assert len(sim.switches()) == switched
    assert set(spikes[(spikes.group == "rsvr") & (spikes.time == t)].unit) == {3, 4}


def test_ctrl_c_stops_a_run_and_leaves_no_file(tmp_path):
    script = f"""
import os, signal, threading, net1
sim = net1.load("exp-poisson-av", seed=1, outputs=[{str(tmp_path / 'run.zst')!r}])
threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
try:
    sim.run()
except KeyboardInterrupt:
    print("stopped at step", sim.steps_done, "of", sim.steps)
"""
    p = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert p.returncode == 0, p.stderr
    assert p.stdout.startswith("stopped at step") and "of 1600000" in p.stdout
    assert os.listdir(tmp_path) == []
