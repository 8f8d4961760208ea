"""Names of the codec's settings and the small integer codes the core uses."""

from __future__ import annotations

METHODS: tuple[str, ...] = ("cdf53", "cdf97", "db4", "sym4")
CUTOFFS: tuple[str, ...] = ("low", "medium", "high")
CODERS: tuple[str, ...] = ("deflate", "arans", "auto")
SCALES: range = range(6, 13)

DEFAULT_METHOD = "cdf97"
DEFAULT_SCALE = 11
DEFAULT_CUTOFF = "low"


def code_of(table: tuple[str, ...], what: str, name: object) -> int:
    if not isinstance(name, str) or name not in table:
        expected = " or ".join(repr(t) for t in table)
        raise ValueError(f"unknown {what} {name!r}, expected {expected}")
    return table.index(name)


def check_scale(scale: object) -> int:
    if isinstance(scale, bool) or not isinstance(scale, int) or scale not in SCALES:
        raise ValueError(f"scale must be an integer from 6 to 12, got {scale!r}")
    return scale
