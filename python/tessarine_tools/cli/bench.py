"""bench: every method x scale x cutoff, plus the peers that are installed, on one signal;
the Pareto-optimal rows (no other row is both smaller and more accurate) are starred."""

from __future__ import annotations

import argparse
import functools
import time
import zlib
from collections.abc import Callable
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import numpy as np

import tessarine_tools
from tessarine_tools.cli.inputs import read_recording
from tessarine_tools.cli.measure import errors
from tessarine_tools.cli.progress import progress

METHODS = ("cdf97", "cdf53", "db4", "sym4")
CUTOFFS = ("low", "medium", "high")
SCALES = range(6, 13)
PEER_BOUNDS = [2.0**-k for k in range(4, 17, 2)]  # fractions of the signal's range


@dataclass
class Row:
    name: str
    ratio: float
    bits: float  # per sample
    max_error: float
    psnr: float
    seconds: float
    pareto: bool = False


# (name, encode, decode): decode gets the encoded object and the sample count.
Trial = tuple[str, Callable[[np.ndarray], Any], Callable[[Any, int], np.ndarray]]


def _tessarine_trials() -> list[Trial]:
    return [(f"tessarine {m} scale={s} cutoff={c}",
             functools.partial(tessarine_tools.compress, method=m, scale=s, cutoff=c),
             lambda blob, n: tessarine_tools.decompress(blob))
            for m in METHODS for s in SCALES for c in CUTOFFS]


def _peer_trials(span: float, dtype: np.dtype[Any]) -> list[Trial]:
    trials: list[Trial] = [("zlib level 9 (lossless)", lambda x: zlib.compress(x.tobytes(), 9),
                            lambda blob, n: np.frombuffer(zlib.decompress(blob), dtype))]
    zfpy, pysz = _optional("zfpy"), _optional("pysz")
    if zfpy is not None:
        trials += [(f"zfp tolerance={span * b:.3g}",
                    _zfp(zfpy, span * b),
                    lambda blob, n: zfpy.decompress_numpy(blob)) for b in PEER_BOUNDS]
    if pysz is not None:
        trials += [(f"sz3 abs={span * b:.3g}", _sz3(pysz, span * b),
                    lambda blob, n: pysz.sz.decompress(blob, np.float64, (n,))[0])
                   for b in PEER_BOUNDS]
    return trials


def _optional(module: str) -> Any:
    try:
        return __import__(module)
    except Exception:  # a peer that fails to import counts as absent
        return None


def _zfp(zfpy: Any, tolerance: float) -> Callable[[np.ndarray], Any]:
    return lambda x: zfpy.compress_numpy(x.astype(np.float64), tolerance=tolerance)


def _sz3(pysz: Any, bound: float) -> Callable[[np.ndarray], Any]:
    def encode(x: np.ndarray) -> Any:
        config = pysz.szConfig()
        config.errorBoundMode = pysz.szErrorBoundMode.ABS
        config.absErrorBound = bound
        config.openmp = False
        return pysz.sz.compress(x.astype(np.float64), config)[0]
    return encode


def _measure(samples: np.ndarray, trial: Trial) -> Row:
    name, encode, decode = trial
    started = time.perf_counter()
    blob = encode(samples)
    seconds = time.perf_counter() - started
    size = len(bytes(blob))
    peak, psnr = errors(samples, np.asarray(decode(blob, samples.size)))
    return Row(name, samples.nbytes / size, 8.0 * size / samples.size, peak, psnr, seconds)


def mark_pareto(rows: list[Row]) -> None:
    for row in rows:
        row.pareto = not any(o.ratio >= row.ratio and o.max_error <= row.max_error
                             and (o.ratio > row.ratio or o.max_error < row.max_error)
                             for o in rows)


def run(args: argparse.Namespace) -> str:
    recording = read_recording(Path(args.input), args.dtype, args.channels)
    samples = recording.samples[0]
    span = float(np.ptp(samples[np.isfinite(samples)])) or 1.0
    trials = _tessarine_trials() + _peer_trials(span, samples.dtype)
    rows = [_measure(samples, t) for t in progress(trials, len(trials), "bench")]
    mark_pareto(rows)
    rows.sort(key=lambda r: (r.max_error, -r.ratio))
    if args.plot:
        _plot(rows, Path(args.plot), args.force)
    return _table(rows, recording.channels)


def _table(rows: list[Row], channels: int) -> str:
    lines = [f"{'':1} {'setting':40} {'ratio':>8} {'max error':>11} {'PSNR dB':>8} {'ms':>8}"]
    for r in rows:
        lines.append(f"{'*' if r.pareto else ' '} {r.name:40} {r.ratio:8.2f} {r.max_error:11.4g} "
                     f"{r.psnr:8.1f} {r.seconds * 1e3:8.2f}")
    note = f"(first of {channels} channels) " if channels > 1 else ""
    lines.append(f"* Pareto-optimal: no other setting is both smaller and more accurate {note}".rstrip())
    return "\n".join(lines)


def _plot(rows: list[Row], target: Path, force: bool) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    from tessarine_tools.cli.atomic import atomic_output

    figure, (left, right) = plt.subplots(1, 2, figsize=(11, 4.5))
    for family in ("tessarine", "zfp", "sz3"):
        chosen = [r for r in rows if r.name.startswith(family) and r.max_error > 0]
        bits = [r.bits for r in chosen]
        edges = ["black" if r.pareto else "none" for r in chosen]  # Pareto-optimal: ringed
        left.scatter(bits, [r.max_error for r in chosen], s=14, label=family, edgecolors=edges)
        right.scatter(bits, [r.psnr for r in chosen], s=14, label=family, edgecolors=edges)
    left.set(xlabel="bits per sample", ylabel="max error (ringed: Pareto-optimal)", yscale="log")
    right.set(xlabel="bits per sample", ylabel="PSNR (dB)")
    left.legend()
    figure.tight_layout()
    with atomic_output(target, force) as temporary:
        figure.savefig(temporary, format=target.suffix.lstrip(".") or "png")
    plt.close(figure)
