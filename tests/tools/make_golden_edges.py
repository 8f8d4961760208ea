"""Writes the encoder-made containers of tests/data/golden_edges/: layouts at the edges of what
tessarine.compress_signal writes, with what they decode to (raw little-endian f32). Run by hand
from the repository root on the scalar tier, as the golden outputs were:
TESSARINE_CPU=scalar python tests/tools/make_golden_edges.py

The hand-edited case of that folder is made by tests/tools/make_test_data.cpp."""

from __future__ import annotations

import sys
from pathlib import Path
from typing import Literal

import numpy as np

import tessarine

ROOT = Path(__file__).resolve().parents[2]
ECG = ROOT / "examples" / "data" / "ecg_mitbih100_mlii_60s.npy"
EDGES = ROOT / "tests" / "data" / "golden_edges"

# name: (method, coder, samples of the ECG excerpt). 65 = 64 + 1 samples get the 4 levels of the
# short-signal rule (about log2(n / filter length) would give 2 or 3), and every lifting level
# has an odd input (65, 33, 17, 9). 130 and 19 samples give payloads of odd length.
Method = Literal["cdf53", "cdf97", "db4", "sym4"]
METHODS: tuple[Method, ...] = ("cdf53", "cdf97", "db4", "sym4")
CASES: dict[str, tuple[Method, Literal["arans", "deflate"], int]] = {
    **{f"{m}_four_levels_n65": (m, "arans", 65) for m in METHODS},
    "cdf53_arans_odd_length_n130": ("cdf53", "arans", 130),
    "cdf97_deflate_odd_length_n19": ("cdf97", "deflate", 19),
}


def container(name: str) -> bytes:
    method, coder, n = CASES[name]
    samples = np.load(ECG)[:n].copy()
    return tessarine.compress_signal(
        samples, tessarine.TessrCompressionOptions(method=method, coder=coder)
    )


def main() -> int:
    for name in CASES:
        data = container(name)
        decoded = tessarine.decompress_signal(data)
        (EDGES / f"{name}.tsrn").write_bytes(data)
        (EDGES / f"{name}.f32").write_bytes(decoded.astype("<f4").tobytes())
        print(f"{name}: {len(data)} bytes, levels {data[12]}, {decoded.size} samples")
    return 0


if __name__ == "__main__":
    sys.exit(main())
