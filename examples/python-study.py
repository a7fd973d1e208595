"""A study in Python: two reservoirs that wire themselves, fed by one input.

The input drives reservoir A directly and reservoir B only through A; every
synapse starts switched off, and the switching rule switches synapses on and
off as the units fire. We watch the raster, and how the active synapses of
each pathway grow.

    PYTHONPATH=build/release/python /usr/bin/python3 examples/python-study.py [PICTURE.png]
"""
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import net1

d = net1.Description(steps=40000, switchOffAfter=30000)
plastic = dict(refractory=1.0, switching=True, switchProb=0.05, excitatory=0.8,
               threshold=[1.0, 2.0], resetPotential=[0.5, 1.0], leak=[0.1, 1.0])
d.group("input", 40, switching=True, switchProb=0.05, excitatory=True, threshold=1.0, leak=1.0)
d.group("A", 800, **plastic)
d.group("B", 400, **plastic)
synapses = dict(excitatoryWeight=[0.5, 2.0], inhibitoryWeight=[0.5, 2.0], delay=[0.000001, 0.999999],
                delayScale=3.0)
for source, target, n in [("input", "A", 80), ("A", "A", 40), ("A", "B", 40), ("B", "B", 40)]:
    d.pathway(source, target, rule="fixed", perUnit=n, **synapses)
d.stimulus("input", kind="random", name="drive", interval=0.05, amount=2.0)

sim = net1.load(d, seed=1)
sim.run()
spikes, switches = sim.spikes(), sim.switches()
print(f"{len(spikes)} spikes, {len(switches)} switches, up to time {sim.now:.1f}")
print(spikes.groupby("group", observed=True).size().to_string())

fig, (raster, growth) = plt.subplots(2, 1, figsize=(8, 6.5))
window = spikes[(spikes.time >= 1400) & (spikes.time < 1450)]
offset = {"input": 0, "A": 40, "B": 840}
for name, g in window.groupby("group", observed=True):
    raster.scatter(g.time, g.unit + offset[name], s=1, label=name)
raster.set(xlabel="time", ylabel="unit (input, A, B)", title="spikes, time 1400 to 1450")
raster.legend(loc="upper right", markerscale=5)

switches["pathway"] = switches.pre_group.astype(str) + "->" + switches.post_group.astype(str)
switches["change"] = np.where(switches.on, 1, -1)
for name, g in switches.groupby("pathway"):
    growth.plot(g.time, g.change.cumsum(), label=name)
growth.axvline(switches.time.max(), color="grey", linestyle=":", label="the switch-off")
growth.set(xlabel="time", ylabel="active synapses", title="active synapses per pathway")
growth.legend(loc="upper left")
fig.tight_layout()
fig.savefig(sys.argv[1] if len(sys.argv) > 1 else "python-study.png", dpi=90)
