"""compress's eight keywords as one checked value, shared by the function, both chunk codecs
and the command line, so every surface accepts and refuses the same settings."""

from __future__ import annotations

from dataclasses import dataclass, fields
from functools import cached_property
from typing import Any, NamedTuple

import numpy as np

from ._bounds import Bound
from ._frame import SCALES, Settings
from ._native import CODERS, CUTOFFS, METHODS

DEFAULT_METHOD = "cdf97"
DEFAULT_SCALE = 11
DEFAULT_CUTOFF = "low"


class Resolved(NamedTuple):
    """The settings as the coders take them."""

    bound: Bound | None
    methods: tuple[int, ...]  # every wavelet for method="best", else the one named or default
    fixed: Settings  # the wavelet frame's settings; its coder applies to every wavelet


@dataclass(frozen=True)
class CodecSettings:
    """Either explicit settings (method, scale, cutoff) or bounds (max_error, rel_error, psnr;
    method may be given with bounds, "best" included); refused when made if they conflict."""

    max_error: float | None = None
    rel_error: float | None = None
    psnr: float | None = None
    method: str | None = None
    scale: int | None = None
    cutoff: str | None = None
    coder: str = "arans"
    plain: bool = False
    lossless: bool = False
    block_size: int | None = None  # samples per block of a bounded frame; None: DEFAULT_BLOCK_SIZE
    joint: bool = True  # channels of one chunk or array predicted from each other where it pays

    def __post_init__(self) -> None:
        _ = self.resolved  # refuse bad settings here, not at the first signal

    @cached_property
    def resolved(self) -> Resolved:
        if not isinstance(self.joint, bool):
            raise TypeError(f"joint must be True or False, got {self.joint!r}")
        resolved = _resolve(self)
        _check_block_size(self.block_size, resolved.bound, self.method)
        return resolved

    @property
    def blocks(self) -> int:
        """Samples per block of a bounded frame."""
        return DEFAULT_BLOCK_SIZE if self.block_size is None else self.block_size

    def keywords(self) -> dict[str, Any]:
        """Only what was set, plus coder and plain: configs stay short and rebuild these settings.

        Settings whose default is not None are always written, so a stored config never
        depends on what a later version picks as that default.
        """
        return {
            f.name: value
            for f in fields(CodecSettings)
            if ((value := getattr(self, f.name)) is not None or f.default is not None)
            and not (f.name in _WRITTEN_WHEN_SET and value == f.default)
        }


# Configs stored before these settings existed must load and write back unchanged.
_WRITTEN_WHEN_SET = ("lossless", "joint")


DEFAULT_BLOCK_SIZE = 1 << 20
_MOST_BLOCK_SAMPLES = 1 << 40


def _check_block_size(block_size: object, bound: Bound | None, method: str | None) -> None:
    if block_size is None:
        return
    if isinstance(block_size, bool) or not isinstance(block_size, (int, np.integer)):
        raise TypeError(f"block_size must be an integer, got {type(block_size).__name__}")
    if not 1 <= block_size <= _MOST_BLOCK_SAMPLES:
        raise ValueError(f"block_size must be between 1 and 2**40 samples, got {block_size}")
    if bound is None:
        raise ValueError(
            "block_size applies to bounded frames: give max_error, rel_error, psnr or lossless=True"
        )
    if method not in (None, "best"):
        raise ValueError(f"block_size applies to the predictive coder, not to method={method!r}")


def check_threads(threads: object) -> int:
    """A thread count: a positive integer (the bytes coded never depend on it)."""
    if isinstance(threads, bool) or not isinstance(threads, (int, np.integer)):
        raise TypeError(f"threads must be an integer, got {type(threads).__name__}")
    if threads < 1:
        raise ValueError(f"threads must be at least 1, got {threads}")
    return min(int(threads), 1024)


FIELD_NAMES: tuple[str, ...] = tuple(f.name for f in fields(CodecSettings))


def _resolve(s: CodecSettings) -> Resolved:
    # The order of the checks fixes which message a caller sees when several settings are wrong.
    if s.lossless is not False:
        return _lossless(s)
    bound = Bound.parse(s.max_error, s.rel_error, s.psnr)
    coder = code_of(CODERS, "coder", s.coder)
    if bound is not None and (s.scale is not None or s.cutoff is not None):
        raise ValueError("give either error bounds or an explicit scale/cutoff, not both")
    if s.method == "best" and bound is None:
        raise ValueError("method='best' searches for a bound: give max_error, rel_error or psnr")
    methods = (
        tuple(range(len(METHODS)))
        if s.method == "best"
        else (code_of(METHODS, "method", s.method or DEFAULT_METHOD),)
    )
    fixed = Settings(
        methods[0],
        check_scale(DEFAULT_SCALE if s.scale is None else s.scale),
        code_of(CUTOFFS, "cutoff", s.cutoff or DEFAULT_CUTOFF),
        coder,
    )
    return Resolved(bound, methods, fixed)


def _lossless(s: CodecSettings) -> Resolved:
    if s.lossless is not True:
        raise TypeError(f"lossless must be True or False, got {s.lossless!r}")
    given = [
        n
        for n in ("max_error", "rel_error", "psnr", "method", "scale", "cutoff")
        if getattr(s, n) is not None
    ] + (["plain"] if s.plain else [])
    if given:
        raise ValueError(f"lossless=True keeps every bit and takes no {' or '.join(given)}")
    # The predictive coder returns every bit of every sample when its largest error is 0.
    exact = Bound(max_error=0.0)
    fixed = Settings(
        code_of(METHODS, "method", DEFAULT_METHOD),
        DEFAULT_SCALE,
        code_of(CUTOFFS, "cutoff", DEFAULT_CUTOFF),
        code_of(CODERS, "coder", s.coder),
    )
    return Resolved(exact, (fixed.method,), fixed)


def code_of(table: tuple[str, ...], what: str, name: object) -> int:
    """The code of `name` in one of the codec's name tables (its index)."""
    if not isinstance(name, str) or name not in table:
        expected = " or ".join(repr(t) for t in table)
        raise ValueError(f"unknown {what} {name!r}, expected {expected}")
    return table.index(name)


def check_scale(scale: object) -> int:
    if isinstance(scale, bool) or not isinstance(scale, int) or scale not in SCALES:
        raise ValueError(
            f"scale must be an integer from {SCALES[0]} to {SCALES[-1]}, got {scale!r}"
        )
    return scale
