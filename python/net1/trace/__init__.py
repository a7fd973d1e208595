"""net1.trace: the traces of the net1 programs, and the tables of exp-summary
and of sweeps, as pandas DataFrames.

    import net1.trace
    t = net1.trace.read_trace("run.zst")            # plain, .gz or .zst
    spikes = t["spk"]                               # time, group, id, exc, pending
    t = net1.trace.read_trace("run.txt", kinds="spk,swon,swoff")
    tables = net1.trace.read_tables("run-tables")    # exp-summary --csv run-tables
    runs = net1.trace.read_sweep("sweep-xor/sweep.csv")

Needs Debian's python3-numpy and python3-pandas, and python3-zstandard for
.zst traces. Put the repository's python/ folder on the path
(PYTHONPATH=python).

The line kinds and their columns are in KINDS (the same grammar the programs
write their lines from):

    spk        time group id exc pending
    uthr dthr  time group id exc rate threshold
    volt       group window_end input_sum change_sum
    ustdp dstdp time pre_group pre_id pre_exc post_group post_id change weight
    swon swoff time pre_group pre_id pre_exc post_group post_id
    nmp        time group id exc marks
    swofftime  time (NaN for a bare "swofftime" line)
    unit       group id exc threshold leak reset in_total in_active in_weight
               out_total out_active out_weight
    syn        pre_group pre_id post_group post_id active pre_exc post_exc
               weight delay last_switch

Column types: reals float64, group names category, ids and counts int32,
flags (exc, active) bool.
"""

from .grammar import ALIASES, KIND_NAMES, KINDS, MAX_NAME_LENGTH, MAX_UNIT_ID, Kind, dtypes
from .tables import read_bins, read_headline, read_meta, read_raster, read_sweep, read_tables, read_weights
from .trace import TraceCutShort, TraceError, read_trace

__version__ = "1.0.0"

__all__ = [
    "read_trace", "TraceError", "TraceCutShort",
    "read_tables", "read_bins", "read_weights", "read_raster", "read_meta", "read_headline", "read_sweep",
    "KINDS", "KIND_NAMES", "ALIASES", "MAX_NAME_LENGTH", "MAX_UNIT_ID", "Kind", "dtypes",
]
