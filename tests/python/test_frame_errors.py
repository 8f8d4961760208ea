"""Damaged version-1 frames keep failing with their exact text, one case per check of the
format document's frame section (tests/data/golden_frame_errors, made by
tests/tools/make_frame_errors.py)."""

from pathlib import Path

import pytest

import tessarine_tools

FOLDER = Path(__file__).resolve().parents[1] / "data" / "golden_frame_errors"
CASES = sorted(FOLDER.glob("*.tsrf"))


def test_every_check_has_a_case():
    assert len(CASES) >= 17


@pytest.mark.parametrize("path", CASES, ids=lambda p: p.stem)
def test_damaged_frames_give_their_text(path):
    with pytest.raises(ValueError) as raised:
        tessarine_tools.decompress(path.read_bytes())
    assert f"{raised.value}\n" == path.with_suffix(".txt").read_text(encoding="utf-8")
