"""The Python reader's line kinds and columns against the trace grammar the
programs write their lines from (engine/trace_grammar.h, printed as JSON by
net1-print-grammar)."""

import io
import json
import subprocess
import unittest

from runs import net1trace, program

# The column type each field type reads as.
TYPES = {"f": "float64", "s": "category", "u": "int32", "b": "bool", "i": "int32"}


class Grammar(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        out = subprocess.run([program("NET1_PRINT_GRAMMAR")], capture_output=True, text=True, check=True).stdout
        cls.grammar = json.loads(out)

    def test_kinds_and_fields_are_the_writers(self):
        written = [(k["keyword"], k["pattern"], tuple(k["fields"]), k["min_fields"], k["timed"])
                   for k in self.grammar["kinds"]]
        read = [(k.keyword, k.pattern, k.columns, k.min_fields, k.timed) for k in net1trace.KINDS]
        self.assertEqual(read, written)
        self.assertEqual(net1trace.MAX_NAME_LENGTH, self.grammar["max_name_length"])
        self.assertEqual(net1trace.MAX_UNIT_ID, self.grammar["max_unit_id"])

    def test_frames_have_the_grammars_columns_and_types(self):
        # What read_trace returns, not only its table: the frames of a trace
        # of one line carry the columns and types of every kind.
        frames = net1trace.read_trace(io.BytesIO(b"swofftime\n"))
        self.assertEqual(list(frames), [k["keyword"] for k in self.grammar["kinds"]])
        for k in self.grammar["kinds"]:
            frame = frames[k["keyword"]]
            self.assertEqual(list(frame.columns), k["fields"], k["keyword"])
            self.assertEqual([str(t) for t in frame.dtypes], [TYPES[t] for t in k["pattern"]], k["keyword"])
            self.assertEqual(net1trace.dtypes(k["keyword"]), dict(zip(k["fields"], (TYPES[t] for t in k["pattern"]))))

    def test_kind_sets_name_kinds_of_the_grammar(self):
        keywords = {k["keyword"] for k in self.grammar["kinds"]}
        for name, kinds in net1trace.ALIASES.items():
            self.assertLessEqual(set(kinds), keywords, name)


if __name__ == "__main__":
    unittest.main()
