"""Measuring one setting (size, distortion, median speed) and comparing codecs at equal PSNR."""

from __future__ import annotations

import math
import statistics
import time
from collections.abc import Callable
from dataclasses import dataclass
from typing import Any

import numpy as np

from compare_codecs import LOSSY_PEERS, TESSARINE, Candidate, value_range

DEFAULT_METHOD, DEFAULT_SCALE, DEFAULT_CUTOFF = "cdf97", 11, "low"


@dataclass(frozen=True)
class Measurement:
    codec: str
    curve: str
    setting: str
    lossless: bool
    compressed_bytes: int
    ratio: float
    bits_per_sample: float
    max_abs_error: float
    rmse: float
    psnr: float
    prd: float
    compress_mbps: float
    decompress_mbps: float


# ---------------------------------------------------------------------------- measuring


def median_seconds(action: Callable[[], Any], repeats: int) -> float:
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def psnr_db(span: float, rmse: float) -> float:
    if rmse == 0.0:
        return math.inf
    if span == 0.0 or not math.isfinite(rmse):
        return math.nan
    return 20.0 * math.log10(span / rmse)


def prd_percent(original: np.ndarray, squared_error_sum: float) -> float:
    energy = float(np.sum(original * original))
    if energy == 0.0:
        return 0.0 if squared_error_sum == 0.0 else math.inf
    return 100.0 * math.sqrt(squared_error_sum / energy)


def distortion(original: np.ndarray, decoded: np.ndarray) -> dict[str, float]:
    reference = original.astype(np.float64)
    difference = decoded.astype(np.float64) - reference
    squared_error_sum = float(np.sum(difference * difference))
    rmse = math.sqrt(squared_error_sum / reference.size)
    return {
        "max_abs_error": float(np.max(np.abs(difference))),
        "rmse": rmse,
        "psnr": psnr_db(value_range(reference), rmse),
        "prd": prd_percent(reference, squared_error_sum),
    }


def decode_checked(candidate: Candidate, blob: Any, count: int) -> np.ndarray:
    decoded = np.asarray(candidate.decode(blob))
    if decoded.shape != (count,):
        raise ValueError(f"decoder returned shape {decoded.shape} for {count} samples")
    return decoded


def measure(candidate: Candidate, samples: np.ndarray, repeats: int) -> Measurement:
    blob = candidate.encode(samples)  # untimed first call: warms caches and lazy imports
    decoded = decode_checked(candidate, blob, samples.size)
    size = memoryview(blob).nbytes
    megabytes = samples.nbytes / 1e6
    encode_seconds = median_seconds(lambda: candidate.encode(samples), repeats)
    decode_seconds = median_seconds(lambda: candidate.decode(blob), repeats)
    return Measurement(
        codec=candidate.codec,
        curve=candidate.curve,
        setting=candidate.setting,
        lossless=candidate.lossless,
        compressed_bytes=size,
        ratio=samples.nbytes / size,
        bits_per_sample=8.0 * size / samples.size,
        compress_mbps=megabytes / encode_seconds if encode_seconds > 0 else math.inf,
        decompress_mbps=megabytes / decode_seconds if decode_seconds > 0 else math.inf,
        **distortion(samples, decoded),
    )


def measure_all(
    candidates: list[Candidate], samples: np.ndarray, repeats: int
) -> tuple[list[Measurement], list[str]]:
    """Measures every candidate; a codec that fails on one setting is reported, not fatal."""
    measurements: list[Measurement] = []
    failures: list[str] = []
    for candidate in candidates:
        try:
            measurements.append(measure(candidate, samples, repeats))
        except Exception as error:
            failures.append(
                f"{candidate.codec} {candidate.setting}: {type(error).__name__}: {error}"
            )
    return measurements, failures


# ---------------------------------------------------------------------------- comparing


def pareto_front(points: list[Measurement]) -> list[Measurement]:
    """Points no other point beats on both size and PSNR, by increasing bits per sample."""
    usable = [p for p in points if math.isfinite(p.psnr)]
    front: list[Measurement] = []
    for point in sorted(usable, key=lambda p: (p.bits_per_sample, -p.psnr)):
        if not front or point.psnr > front[-1].psnr:
            front.append(point)
    return front


def bits_at_psnr(points: list[Measurement], target_psnr: float) -> float | None:
    """Bits per sample a codec needs for `target_psnr`, interpolated on its best settings."""
    front = pareto_front(points)
    if not front or not front[0].psnr <= target_psnr <= front[-1].psnr:
        return None
    psnrs = [p.psnr for p in front]
    return float(np.interp(target_psnr, psnrs, [p.bits_per_sample for p in front]))


def nearest_in_psnr(points: list[Measurement], target_psnr: float) -> Measurement | None:
    front = pareto_front(points)
    return min(front, key=lambda p: abs(p.psnr - target_psnr), default=None)


@dataclass(frozen=True)
class PeerComparison:
    codec: str
    ratio_at_psnr: float | None  # None: the sweep does not reach that PSNR
    nearest: Measurement | None  # the setting whose speed is compared


def default_setting(measurements: list[Measurement]) -> Measurement | None:
    wanted = f"{DEFAULT_METHOD} scale={DEFAULT_SCALE} cutoff={DEFAULT_CUTOFF}"
    return next((m for m in measurements if m.codec == TESSARINE and m.setting == wanted), None)


def compare_peers(measurements: list[Measurement], reference: Measurement) -> list[PeerComparison]:
    """Peers at Tessarine's PSNR; none where that PSNR is not a finite number (a flat signal has
    no range, an exact reconstruction no error), or where a peer has no finite PSNR at all."""
    if not math.isfinite(reference.psnr):
        return []
    comparisons = []
    for codec in LOSSY_PEERS:
        points = [m for m in measurements if m.codec == codec]
        nearest = nearest_in_psnr(points, reference.psnr)
        if nearest is None:
            continue
        bits = bits_at_psnr(points, reference.psnr)
        ratio = 32.0 / bits if bits else None
        comparisons.append(PeerComparison(codec, ratio, nearest))
    return comparisons


def speed_ratio(ours: float, theirs: float) -> float:
    return ours / theirs if theirs > 0 else math.nan


@dataclass(frozen=True)
class SignalReport:
    name: str
    samples: np.ndarray
    measurements: list[Measurement]
    failures: list[str]
    reference: Measurement | None  # Tessarine's default options
    comparisons: list[PeerComparison]
