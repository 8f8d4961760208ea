"""bench: Tessarine's settings grid, bounds and lossless mode beside the installed peers, on
one signal; the Pareto-optimal rows (no other row is both smaller and more accurate) are starred."""

from __future__ import annotations

import argparse
import time
from dataclasses import dataclass
from pathlib import Path

import numpy as np

from tessarine_tools.cli.atomic import atomic_output, check_output
from tessarine_tools.cli.bench_trials import Trial, peer_trials, tessarine_trials
from tessarine_tools.cli.errors import DataError, UsageError
from tessarine_tools.cli.inputs import read_recording
from tessarine_tools.cli.measure import errors, ratio
from tessarine_tools.cli.progress import progress


@dataclass
class Row:
    name: str
    family: str
    ratio: float
    bits: float  # per sample
    max_error: float
    psnr: float
    seconds: float
    pareto: bool = False


def _measure(samples: np.ndarray, trial: Trial) -> Row | None:
    started = time.perf_counter()
    try:
        blob = trial.encode(samples)
        seconds = time.perf_counter() - started
        decoded = np.asarray(trial.decode(blob, samples.size))
    except (ValueError, TypeError, RuntimeError) as error:
        if trial.name.startswith("tessarine"):  # our own failure is an error, not a gap
            raise DataError(f"{trial.name}: {error}") from None
        return None  # a peer that cannot take this dtype has no row
    size = len(bytes(blob))
    peak, psnr = errors(samples, decoded)
    return Row(
        trial.name,
        trial.family,
        ratio(samples.nbytes, size),
        8.0 * size / samples.size,
        peak,
        psnr,
        seconds,
    )


def mark_pareto(rows: list[Row]) -> None:
    for row in rows:
        row.pareto = not any(
            o.ratio >= row.ratio
            and o.max_error <= row.max_error
            and (o.ratio > row.ratio or o.max_error < row.max_error)
            for o in rows
        )


def run(args: argparse.Namespace) -> str:
    plot = Path(args.plot) if args.plot else None
    if plot is not None:  # refused before the work, not after it
        _check_plot(plot, args.force, args.parents)
    recording = read_recording(Path(args.input), args.dtype, args.channels)
    samples = recording.samples[0]
    finite = samples[np.isfinite(samples)].astype(np.float64)  # ptp of int8 would wrap
    span = float(finite.max() - finite.min()) if finite.size else 0.0
    trials = tessarine_trials(span or 1.0) + peer_trials(span or 1.0, samples.dtype)
    measured = [_measure(samples, t) for t in progress(trials, len(trials), "bench")]
    rows = [r for r in measured if r is not None]
    mark_pareto(rows)
    rows.sort(key=lambda r: (r.max_error, -r.ratio))
    if plot is not None:
        _plot(rows, plot, args.force, args.parents)
    return _table(rows, recording.channels, str(samples.dtype))


def _check_plot(target: Path, force: bool, parents: bool) -> None:
    from matplotlib.backend_bases import FigureCanvasBase

    formats = FigureCanvasBase.get_supported_filetypes()
    if target.suffix.lstrip(".").lower() not in formats:
        raise UsageError(f"{target}: a plot is written as one of .{', .'.join(sorted(formats))}")
    check_output(target, force, parents)


def _table(rows: list[Row], channels: int, dtype: str) -> str:
    lines = [f"{'':1} {'setting':40} {'ratio':>8} {'max error':>11} {'PSNR dB':>8} {'ms':>8}"]
    for r in rows:
        lines.append(
            f"{'*' if r.pareto else ' '} {r.name:40} {r.ratio:8.2f} {r.max_error:11.4g} "
            f"{r.psnr:8.1f} {r.seconds * 1e3:8.2f}"
        )
    note = f"; first of {channels} channels" if channels > 1 else ""
    lines.append(
        f"* Pareto-optimal: no other setting is both smaller and more accurate "
        f"(ratio against {dtype}{note})"
    )
    return "\n".join(lines)


def _plot(rows: list[Row], target: Path, force: bool, parents: bool) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=(7, 4.5))
    families = dict.fromkeys(r.family for r in rows if r.max_error > 0)
    for family in families:
        chosen = [r for r in rows if r.family == family and r.max_error > 0]
        edges = ["black" if r.pareto else "none" for r in chosen]  # Pareto-optimal: ringed
        axes.scatter(
            [r.bits for r in chosen],
            [r.max_error for r in chosen],
            s=14,
            label=family,
            edgecolors=edges,
        )
    for row in (r for r in rows if r.max_error == 0):  # exact: no error to place on a log axis
        axes.axvline(row.bits, linestyle=":", color="grey")
        axes.annotate(
            row.name, (row.bits, 0.02), xycoords=("data", "axes fraction"), rotation=90, fontsize=7
        )
    axes.set(
        xlabel="bits per sample",
        ylabel="max error (ringed: Pareto-optimal; dotted: exact)",
        yscale="log",
    )
    axes.legend()
    figure.tight_layout()
    with atomic_output(target, force, parents) as temporary:
        figure.savefig(temporary, format=target.suffix.lstrip(".").lower())
    plt.close(figure)
