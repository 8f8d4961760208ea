"""The encoder-made edge containers of tests/data/golden_edges (tests/tools/make_golden_edges.py)
are what the frozen module still writes for the same samples; tests/cpp/golden_test.cpp checks
that every container of the folder decodes as stored."""

import importlib
import os
import sys
from pathlib import Path

import numpy as np
import pytest

import tessarine

TESTS = Path(__file__).resolve().parents[1]
EDGES = TESTS / "data" / "golden_edges"

sys.path.insert(0, str(TESTS / "tools"))  # the script holds the inputs and settings
maker = importlib.import_module("make_golden_edges")


@pytest.mark.parametrize("name", sorted(maker.CASES))
def test_edge_containers_are_rewritten_and_decode_as_stored(name):
    stored = (EDGES / f"{name}.tsrn").read_bytes()
    expected = np.fromfile(EDGES / f"{name}.f32", dtype="<f4")
    decoded = tessarine.decompress_signal(stored)
    if os.environ.get("TESSARINE_CPU") != "scalar":  # other tiers round the transforms differently
        tolerance = 256 * float(np.finfo(np.float32).eps) * float(np.max(np.abs(expected)))
        np.testing.assert_allclose(decoded, expected, rtol=0, atol=tolerance)
        return
    assert decoded.tobytes() == expected.tobytes()
    # DEFLATE bytes depend on the build's compressor (libdeflate or zlib); rANS bytes do not.
    if maker.CASES[name][1] == "arans":
        assert maker.container(name) == stored
