"""Error bounds a caller can ask for, and how far a reconstruction is from meeting them."""

from __future__ import annotations

import math
import struct
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

_LAYOUT = struct.Struct("<B3d")  # which bounds are set, then max_error, rel_error, psnr
SIZE = _LAYOUT.size


def _positive(name: str, value: object) -> float | None:
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError(f"{name} must be a number, got {type(value).__name__}")
    try:
        number = float(value)
    except OverflowError:  # an int beyond any float
        number = math.inf
    if not (number > 0 and math.isfinite(number)):
        raise ValueError(f"{name} must be a positive finite number, got {value!r}")
    return number


@dataclass(frozen=True)
class Bound:
    max_error: float | None = None
    rel_error: float | None = None
    psnr: float | None = None

    @classmethod
    def parse(cls, max_error: object, rel_error: object, psnr: object) -> Bound | None:
        bound = cls(
            _positive("max_error", max_error),
            _positive("rel_error", rel_error),
            _positive("psnr", psnr),
        )
        return bound if bound.given else None

    @property
    def given(self) -> bool:
        return any(v is not None for v in (self.max_error, self.rel_error, self.psnr))

    def limits(self, span: float) -> tuple[float, float]:
        """(largest |error| allowed per sample, largest RMSE allowed) for a signal of this range."""
        tolerance = math.inf if self.max_error is None else self.max_error
        if self.rel_error is not None:
            tolerance = min(tolerance, self.rel_error * span)
        rmse = math.inf if self.psnr is None else span / 10.0 ** (self.psnr / 20.0)
        return tolerance, rmse

    def excess(self, errors: npt.NDArray[np.float64], span: float) -> float:
        """How many times over its bound the worst measure is: at most 1 means every bound holds."""
        if errors.size == 0:
            return 0.0
        tolerance, rmse = self.limits(span)
        worst = float(np.max(np.abs(errors)))
        ratio = _ratio(worst, tolerance)
        if self.psnr is not None:
            ratio = max(ratio, _ratio(math.sqrt(float(np.mean(np.square(errors)))), rmse))
        return ratio

    def pack(self) -> bytes:
        values = (self.max_error, self.rel_error, self.psnr)
        flags = sum(1 << i for i, v in enumerate(values) if v is not None)
        return _LAYOUT.pack(flags, *(0.0 if v is None else v for v in values))

    @classmethod
    def unpack(cls, data: bytes) -> Bound | None:
        flags, *values = _LAYOUT.unpack(data)
        bound = cls(*(v if flags >> i & 1 else None for i, v in enumerate(values)))
        return bound if bound.given else None


def _ratio(measured: float, allowed: float) -> float:
    if measured == 0.0:
        return 0.0
    return measured / allowed if allowed > 0 else math.inf
