"""The numbers a summary line reports about a decoded signal against its source."""

from __future__ import annotations

import math

import numpy as np


def errors(source: np.ndarray, decoded: np.ndarray) -> tuple[float, float]:
    """(max absolute error, PSNR in dB) over the finite samples; PSNR uses the source's range."""
    finite = np.isfinite(source)
    original = source[finite].astype(np.float64)
    difference = decoded[finite].astype(np.float64) - original
    if not original.size:
        return 0.0, math.inf
    peak = float(np.max(np.abs(difference)))
    rmse = math.sqrt(float(np.mean(difference * difference)))
    span = float(original.max() - original.min())
    if rmse == 0.0:
        return peak, math.inf
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
