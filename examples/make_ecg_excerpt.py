"""Cut the demo signal: the first 60 s (21600 samples at 360 Hz) of the ECG record.

    python examples/make_ecg_excerpt.py [path/to/ecg_mitbih100_mlii.npy]

The full record is the project's shared sample data (see examples/data/README.md).
"""

import sys
from pathlib import Path

import numpy as np

SAMPLE_RATE_HZ = 360
SECONDS = 60

here = Path(__file__).resolve().parent
default_source = here.parents[1] / "shared" / "data" / "ecg_mitbih100_mlii.npy"
source = Path(sys.argv[1]) if len(sys.argv) > 1 else default_source

record = np.load(source)
excerpt = np.ascontiguousarray(record[: SAMPLE_RATE_HZ * SECONDS], dtype=np.float32)
np.save(here / "data" / "ecg_mitbih100_mlii_60s.npy", excerpt)
print(f"wrote {excerpt.size} samples")
