"""The numbers a summary line reports about a decoded signal against its source."""

from __future__ import annotations

import math

import numpy as np

_PIECE = 1 << 20  # samples measured at a time: float64 copies of a piece, not of the input


def errors(source: np.ndarray, decoded: np.ndarray) -> tuple[float, float]:
    """(max absolute error, PSNR in dB) over the finite samples; PSNR uses the source's range."""
    peak, squares, count, low, high = 0.0, 0.0, 0, math.inf, -math.inf
    flat_source, flat_decoded = source.reshape(-1), decoded.reshape(-1)
    for start in range(0, flat_source.size, _PIECE):
        piece = flat_source[start : start + _PIECE]
        finite = np.isfinite(piece)
        original = piece[finite].astype(np.float64)
        if not original.size:
            continue
        difference = flat_decoded[start : start + _PIECE][finite].astype(np.float64) - original
        peak = max(peak, float(np.max(np.abs(difference))))
        squares += float(np.dot(difference, difference))
        count += original.size
        low, high = min(low, float(original.min())), max(high, float(original.max()))
    if count == 0:
        return 0.0, math.inf
    rmse = math.sqrt(squares / count)
    if rmse == 0.0:
        return peak, math.inf
    span = high - low
    return peak, 20.0 * math.log10(span / rmse) if span > 0 else -math.inf


def ratio(input_bytes: int, stored: int) -> float:
    """The one compression ratio the command reports: the input's bytes in its own dtype over
    every byte stored (a store's metadata included)."""
    return input_bytes / stored if stored else math.inf


def summary(source: np.ndarray, decoded: np.ndarray, stored: int, seconds: float) -> str:
    peak, psnr = errors(source, decoded)
    return (
        f"ratio {ratio(source.nbytes, stored):.2f} against {source.dtype}  "
        f"max error {peak:.4g}  PSNR {psnr:.1f} dB  {seconds:.2f} s"
    )
