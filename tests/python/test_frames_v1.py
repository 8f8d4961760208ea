"""Version-1 frames written by earlier releases keep decoding to exactly what they did (on the
scalar tier, where they were decoded to make the stored outputs)."""

import os
import struct
from pathlib import Path

import numpy as np
import pytest

import tessarine_tools

GOLDEN = Path(__file__).resolve().parents[1] / "data" / "golden_frames_v1"
FRAMES = sorted(GOLDEN.glob("*.tsrf"))


def test_every_kind_of_version_1_frame_is_kept():
    assert len(FRAMES) >= 14


@pytest.mark.parametrize("path", FRAMES, ids=lambda p: p.stem)
def test_version_1_frames_decode_bit_for_bit(path):
    frame = path.read_bytes()
    expected = np.load(path.with_suffix(".npy"))
    decoded = tessarine_tools.decompress(frame)
    assert decoded.dtype == expected.dtype and decoded.shape == expected.shape
    (container_length,) = struct.unpack_from("<Q", frame, 48)
    if container_length == 0 or os.environ.get("TESSARINE_CPU") == "scalar":
        assert decoded.tobytes() == expected.tobytes()
    else:  # other tiers round the wavelet transforms differently in the last bits
        largest = float(np.max(np.abs(expected))) if expected.size else 0.0
        tolerance = 256 * float(np.finfo(np.float32).eps) * largest
        np.testing.assert_allclose(decoded, expected, rtol=0, atol=tolerance)
