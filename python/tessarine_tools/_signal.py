"""Turns any 1-D array-like of real numbers into what the codec and the bound checks need."""

from __future__ import annotations

from dataclasses import dataclass
from fractions import Fraction

import numpy as np
import numpy.typing as npt

from ._bounds import Bound
from ._frame import MAX_SAMPLES
from ._nonfinite import fill_gaps

_F32_MAX = float(np.finfo(np.float32).max)


@dataclass(frozen=True)
class Signal:
    raw: npt.NDArray[np.generic]  # the caller's samples, native byte order, contiguous
    # What bounds are measured against: exact for floats and for integers up to 2**53.
    reference: npt.NDArray[np.float64]
    finite: npt.NDArray[np.bool_]
    working: npt.NDArray[np.float32]  # non-finite samples filled, handed to the codec
    span: float  # max - min of the finite samples (0 if none): what relative bounds scale by

    @property
    def dtype(self) -> np.dtype[np.generic]:
        return self.raw.dtype

    def blocks(self, count: int, length: int) -> Signal:
        """`count` evenly spaced runs of `length` samples, joined: a cheap stand-in for a search."""
        starts = np.linspace(0, self.raw.size - length, count).astype(np.int64)
        index = (starts[:, None] + np.arange(length)).ravel()
        return Signal(
            self.raw[index],
            self.reference[index],
            self.finite[index],
            self.working[index],
            self.span,
        )


def as_array(data: object) -> npt.NDArray[np.generic]:
    array = np.asarray(data)
    kind = array.dtype.kind
    if kind not in "fiu" or (kind == "f" and array.dtype.itemsize > 8):
        raise TypeError(
            f"expected real numbers (float16/32/64 or integers), got dtype {array.dtype}"
        )
    if array.ndim != 1:
        raise ValueError(f"expected a 1-D array, got {array.ndim} dimensions")
    if array.size == 0:
        raise ValueError("cannot compress an empty signal")
    if array.size > MAX_SAMPLES:
        raise ValueError(f"cannot compress more than {MAX_SAMPLES} samples, got {array.size}")
    return np.ascontiguousarray(array, dtype=array.dtype.newbyteorder("="))


def load(data: object) -> Signal:
    raw = as_array(data)
    reference = widened(raw)
    finite = np.isfinite(reference)
    if raw.dtype.kind == "f":
        _check_float32_range(reference, finite)
    working = fill_gaps(reference, finite).astype(np.float32)
    return Signal(raw, reference, finite, working, span_of(reference, finite))


def widened(values: npt.NDArray[np.generic]) -> npt.NDArray[np.float64]:
    """float64 copies; a signalling NaN raises NumPy's "invalid" flag as it becomes a quiet one,
    which would print a warning from inside the library: the map of non-finite samples keeps
    its exact bits anyway."""
    with np.errstate(invalid="ignore"):
        return values.astype(np.float64)


def span_of(reference: npt.NDArray[np.float64], finite: npt.NDArray[np.bool_]) -> float:
    values = reference[finite]
    return float(values.max() - values.min()) if values.size else 0.0


def _check_float32_range(reference: npt.NDArray[np.float64], finite: npt.NDArray[np.bool_]) -> None:
    values = reference[finite]
    if values.size == 0:
        return
    low, high = float(values.min()), float(values.max())
    if max(abs(low), abs(high)) > _F32_MAX:
        raise ValueError("values beyond the float32 range cannot be compressed")
    with np.errstate(over="ignore"):
        span = np.float32(high) - np.float32(low)
    if not np.isfinite(span):
        raise ValueError("the signal's range (max - min) exceeds the float32 range")


def errors(signal: Signal, out: npt.NDArray[np.generic]) -> npt.NDArray[np.float64]:
    """out - x over the finite samples, exact for integers of any width."""
    if signal.dtype.kind == "f":
        return widened(out)[signal.finite] - signal.reference[signal.finite]
    rough = out.astype(np.float64) - signal.reference
    # Modulo-2**64 arithmetic keeps 64-bit integers exact while the difference fits 63 bits.
    wide = out.astype(signal.dtype).astype(np.uint64) - signal.raw.astype(np.uint64)
    return np.where(np.abs(rough) < 2.0**62, wide.view(np.int64).astype(np.float64), rough)


def exactly_within(signal: Signal, out: npt.NDArray[np.generic], bound: Bound) -> bool:
    """The per-sample bounds in exact arithmetic, for the samples that float errors put near them.

    A float64 difference can round a true error just above the bound down onto it.
    """
    if bound.max_error is None and bound.rel_error is None:
        return True
    tolerance, _ = bound.limits(signal.span)
    near = np.flatnonzero(signal.finite)[
        np.abs(errors(signal, out)) >= tolerance * (1.0 - 2.0**-30)
    ]
    if near.size == 0:
        return True
    values = signal.reference[signal.finite]
    limits = [Fraction(bound.max_error)] if bound.max_error is not None else []
    if bound.rel_error is not None:
        span = Fraction(float(values.max())) - Fraction(float(values.min()))
        limits.append(Fraction(bound.rel_error) * span)
    limit = min(limits)
    return all(abs(_exact(out[i]) - _exact(signal.raw[i])) <= limit for i in near.tolist())


def _exact(value: np.generic) -> Fraction:
    return Fraction(int(value)) if isinstance(value, np.integer) else Fraction(float(value))
