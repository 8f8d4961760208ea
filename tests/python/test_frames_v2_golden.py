"""Version-2 frames keep their bytes and their decoding (tests/data/golden_frames_v2, made by
tests/tools/make_golden_frames_v2.py): each decodes to its stored samples bit for bit, the same
input and settings compress to the same bytes, and each damaged frame of
tests/data/golden_frame_errors_v2 fails with its exact text. Frames an earlier encoder wrote for
the same inputs (tests/data/golden_frames_v2_decode_only) still decode bit for bit."""

import importlib
import sys
from pathlib import Path

import numpy as np
import pytest

import tessarine_tools

TESTS = Path(__file__).resolve().parents[1]
FRAMES = sorted((TESTS / "data" / "golden_frames_v2").glob("*.tsrf"))
ERRORS = sorted((TESTS / "data" / "golden_frame_errors_v2").glob("*.tsrf"))
EARLIER = sorted((TESTS / "data" / "golden_frames_v2_decode_only").glob("*.tsrf"))

sys.path.insert(0, str(TESTS / "tools"))  # the script holds the inputs and settings
maker = importlib.import_module("make_golden_frames_v2")


def test_every_case_is_stored():
    assert sorted(p.stem for p in FRAMES) == sorted(maker.CASES)
    assert len(ERRORS) >= 30


@pytest.mark.parametrize("path", FRAMES, ids=lambda p: p.stem)
def test_version_2_frames_decode_bit_for_bit_and_are_rewritten_byte_for_byte(path):
    frame = path.read_bytes()
    expected = np.load(path.with_suffix(".npy"))
    decoded = tessarine_tools.decompress(frame)
    assert decoded.dtype == expected.dtype and decoded.shape == expected.shape
    assert decoded.tobytes() == expected.tobytes()
    make, settings = maker.CASES[path.stem]
    assert tessarine_tools.compress(make(), **settings) == frame


@pytest.mark.parametrize("path", EARLIER, ids=lambda p: p.stem)
def test_frames_of_earlier_encoders_still_decode_bit_for_bit(path):
    decoded = tessarine_tools.decompress(path.read_bytes())
    assert decoded.tobytes() == np.load(path.with_suffix(".npy")).tobytes()


@pytest.mark.parametrize("path", ERRORS, ids=lambda p: p.stem)
def test_damaged_version_2_frames_give_their_text(path):
    with pytest.raises(ValueError) as raised:
        tessarine_tools.decompress(path.read_bytes())
    assert f"{raised.value}\n" == path.with_suffix(".txt").read_text(encoding="utf-8")
