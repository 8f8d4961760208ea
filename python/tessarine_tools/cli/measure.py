"""The numbers a summary line reports about a decoded signal against its source."""

from __future__ import annotations

import math

import numpy as np

_PIECE = 1 << 20  # samples measured at a time: float64 copies of a piece, not of the input


class ErrorTally:
    """Max absolute error and PSNR over the finite samples, summed up piece by piece."""

    def __init__(self) -> None:
        self.peak, self.squares, self.count = 0.0, 0.0, 0
        self.low, self.high = math.inf, -math.inf

    def add(self, source: np.ndarray, decoded: np.ndarray) -> None:
        flat_source, flat_decoded = source.reshape(-1), decoded.reshape(-1)
        for start in range(0, flat_source.size, _PIECE):
            piece = flat_source[start : start + _PIECE]
            finite = np.isfinite(piece)
            original = piece[finite].astype(np.float64)
            if not original.size:
                continue
            restored = flat_decoded[start : start + _PIECE][finite].astype(np.float64)
            difference = restored - original
            self.peak = max(self.peak, float(np.max(np.abs(difference))))
            self.squares += float(np.dot(difference, difference))
            self.count += original.size
            self.low = min(self.low, float(original.min()))
            self.high = max(self.high, float(original.max()))

    def result(self) -> tuple[float, float]:
        """(max absolute error, PSNR in dB); PSNR uses the source's range."""
        if self.count == 0:
            return 0.0, math.inf
        rmse = math.sqrt(self.squares / self.count)
        if rmse == 0.0:
            return self.peak, math.inf
        span = self.high - self.low
        return self.peak, 20.0 * math.log10(span / rmse) if span > 0 else -math.inf


def errors(source: np.ndarray, decoded: np.ndarray) -> tuple[float, float]:
    """(max absolute error, PSNR in dB) over the finite samples; PSNR uses the source's range."""
    tally = ErrorTally()
    tally.add(source, decoded)
    return tally.result()


def ratio(input_bytes: int, stored: int) -> float:
    """The one compression ratio the command reports: the input's bytes in its own dtype over
    every byte stored (a store's metadata included)."""
    return input_bytes / stored if stored else math.inf


def summary(source: np.ndarray, tally: ErrorTally, stored: int, seconds: float) -> str:
    peak, psnr = tally.result()
    return (
        f"ratio {ratio(source.nbytes, stored):.2f} against {source.dtype}  "
        f"max error {peak:.4g}  PSNR {psnr:.1f} dB  {seconds:.2f} s"
    )
