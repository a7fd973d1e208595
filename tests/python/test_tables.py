"""net1trace's readers of exp-summary's tables and of sweep.csv, on the tables
of short real runs, checked against the trace they summarise."""

import os
import subprocess
import tempfile
import unittest

import numpy as np

from runs import net1trace, program, run


class Tables(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="net1trace-tables-")
        d = cls.tmp.name
        cls.trace_path = run([program("NET1_EXP_POISSON"), "--seed", "2", "--steps", "3000"],
                             os.path.join(d, "run.txt"))
        cls.dir = os.path.join(d, "csv")
        subprocess.run([program("NET1_EXP_SUMMARY"), "--quiet", "--bin", "50", "--raster", "10:30", "--csv", cls.dir,
                        "--headline", os.path.join(d, "headline.csv"), "--label", "seed=2", cls.trace_path],
                       check=True)
        cls.trace = net1trace.read_trace(cls.trace_path)
        cls.tables = net1trace.read_tables(cls.dir)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_tables_agree_with_the_trace(self):
        spk, syn = self.trace["spk"], self.trace["syn"]
        bins, raster, weights, meta = (self.tables[k] for k in ("bins", "raster", "weights", "meta"))
        for g, n in spk["group"].value_counts().items():
            self.assertEqual(bins[f"spk_{g}"].sum(), n, g)
        self.assertEqual(bins["swon"].sum(), len(self.trace["swon"]))

        window = spk[(spk["time"] >= 10) & (spk["time"] < 30)]
        self.assertEqual(raster["time"].tolist(), window["time"].tolist())
        self.assertEqual(raster["group"].astype(str).tolist(), window["group"].astype(str).tolist())
        self.assertEqual(raster["id"].tolist(), window["id"].tolist())

        def rows(frame, names):
            return sorted(zip(*(frame[c].astype(str) if frame[c].dtype == "category" else frame[c] for c in names)))
        active = syn[syn["active"]]
        self.assertEqual(rows(weights, ["pre", "pre_id", "post", "post_id", "weight"]),
                         rows(active, ["pre_group", "pre_id", "post_group", "post_id", "weight"]))

        self.assertEqual((meta["bin_width"], meta["raster_from"], meta["raster_to"]), (50.0, 10.0, 30.0))
        self.assertEqual(meta["t_first"], spk["time"].min())
        self.assertTrue(np.isnan(meta["swofftime"]))
        self.assertEqual((meta["cut_short"], meta["bad_lines"], meta["final_report"]), (False, 0, "complete"))
        for g, n in self.trace["unit"]["group"].value_counts().items():
            self.assertEqual(meta[f"units_{g}"], n, g)

    def test_columns_are_typed_by_their_names(self):
        bins, raster, weights = (self.tables[k] for k in ("bins", "raster", "weights"))
        self.assertEqual(str(bins["t_start"].dtype), "float64")
        self.assertTrue(all(str(bins[c].dtype) == "int64" for c in bins if c.startswith(("spk_", "active_"))))
        self.assertTrue(all(str(bins[c].dtype) == "float64" for c in bins if c.startswith("rate_")))
        self.assertEqual([str(t) for t in raster.dtypes], ["float64", "category", "int32"])
        self.assertEqual([str(t) for t in weights.dtypes], ["category", "int32", "category", "int32", "float64"])
        h = net1trace.read_headline(os.path.join(self.tmp.name, "headline.csv"))
        self.assertEqual(h["seed"].tolist(), [2])
        self.assertEqual(h["spk_rsvr"].tolist(), [int((self.trace["spk"]["group"] == "rsvr").sum())])
        self.assertEqual(str(h["final_report"].dtype), "category")
        self.assertEqual(str(h["active_rsvr->rsvr"].dtype), "Int64")
        self.assertEqual(h["cut_short"].tolist(), [False])

    def test_group_names_stay_names_and_bad_numbers_are_refused(self):
        d = os.path.join(self.tmp.name, "odd")
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "raster.csv"), "w") as f:
            f.write("time,group,id\n1.000000,NA,3\n2.000000,nan,4\n")
        self.assertEqual(net1trace.read_raster(os.path.join(d, "raster.csv"))["group"].tolist(), ["NA", "nan"])
        with open(os.path.join(d, "bins.csv"), "w") as f:
            f.write("t_start,t_end,spk_rsvr\n0.000000,50.000000,x\n")
        with self.assertRaisesRegex(ValueError, "bins.csv"):
            net1trace.read_bins(os.path.join(d, "bins.csv"))


class Sweep(unittest.TestCase):
    def test_sweep_table_is_typed(self):
        with tempfile.TemporaryDirectory(prefix="net1trace-sweep-") as d:
            out = os.path.join(d, "sweep")
            subprocess.run(["bash", program("NET1_SWEEP"), "-s", "1-2", "-f", "0.5", "-j", "2", "-a", "--steps 1000",
                            "-e", program("NET1_EXP_SUMMARY"), "-o", out,
                            program("NET1_EXP_POISSON"), program("NET1_EXP_XOR_SHIFT")],
                           check=True, stderr=subprocess.DEVNULL)
            s = net1trace.read_sweep(os.path.join(out, "sweep.csv"))
        self.assertEqual(len(s), 4)
        self.assertEqual(sorted(s["program"].astype(str).unique()), ["exp-poisson", "exp-xor-shift"])
        self.assertEqual(str(s["seed"].dtype), "int64")
        self.assertEqual(sorted(s["seed"]), [1, 1, 2, 2])
        factor = s.set_index(s["program"].astype(str))["factor"]
        self.assertTrue(factor["exp-poisson"].isna().all())
        self.assertEqual(factor["exp-xor-shift"].tolist(), [0.5, 0.5])
        self.assertEqual(s["exit"].tolist(), [0, 0, 0, 0])
        self.assertTrue(all(str(s[c].dtype) == "int64" for c in s if c.startswith(("spk_", "swon"))))


if __name__ == "__main__":
    unittest.main()
