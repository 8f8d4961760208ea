"""Version-1 frames written by earlier releases keep decoding to exactly what they did."""

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
    expected = np.load(path.with_suffix(".npy"))
    decoded = tessarine_tools.decompress(path.read_bytes())
    assert decoded.dtype == expected.dtype and decoded.shape == expected.shape
    assert decoded.tobytes() == expected.tobytes()
