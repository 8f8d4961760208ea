#!/usr/bin/env python3
"""Compare Tessarine with the codecs a user would pick instead: rate, distortion and speed.

    pip install .[bench]          # Tessarine plus the peers: zfpy, pysz, zstandard, matplotlib
    python bench/compare.py       # the signals shipped in examples/data, full sweep

Each signal (a 1-D .npy file, converted to float32) goes through:

- Tessarine: every method x scale 6..12 x cutoff, default coder;
- zfp (zfpy) in fixed-accuracy mode and SZ3 (pysz) in absolute-error mode, both over a sweep
  of error bounds range * 2**-k;
- the do-it-yourself wavelet route: PyWavelets bior4.4, mean removed, coefficients scaled so the
  largest fills int16, divided by a power-of-two step, rounded to int16, zlib level 6;
- lossless baselines: zlib level 6 and zstd level 3 on the raw float32 bytes.

For every setting it records the compression ratio, bits per sample, max abs error, RMSE,
PSNR = 20 log10(range / RMSE), PRD = 100 sqrt(sum (x - y)^2 / sum x^2), and the median
compress / decompress throughput in MB/s (10^6 bytes of float32 input per second), every codec
on one thread in this one process. Results go to <out>/<signal>.md and .csv, a rate-distortion
plot <signal>_rd.png (bits per sample against PSNR and against max abs error, one curve per
Tessarine method at its best cutoff, plus the peers), a speed chart <signal>_speed.png and an
all-signal summary.md.

A peer that cannot be imported is reported as unavailable, never skipped silently.
"""

from __future__ import annotations

import os

# Before NumPy and the codecs load: every codec is measured on one thread.
for _var in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_var, "1")

import argparse
import sys
from dataclasses import asdict
from pathlib import Path
from typing import Any

import numpy as np

from compare_codecs import (
    FULL_SWEEP,
    QUICK_SWEEP,
    TESSARINE,
    Peers,
    Sweep,
    all_candidates,
    import_peers,
)
from compare_measure import SignalReport, compare_peers, default_setting, measure_all
from compare_report import (
    load_average,
    load_pyplot,
    number,
    plot_rate_distortion,
    plot_speed,
    signal_markdown,
    summary_markdown,
    write_csv,
)

REPO_ROOT = Path(__file__).resolve().parent.parent
# Shipped with the repository, so that a fresh clone has something to compare on.
DEFAULT_DATA_DIR = REPO_ROOT / "examples" / "data"
DEFAULT_OUT_DIR = REPO_ROOT / "bench" / "results"


class BenchError(Exception):
    """A problem with the user's input, reported without a traceback."""


# ---------------------------------------------------------------------------- signals


def load_signal(path: Path) -> np.ndarray:
    """The samples of one .npy file as contiguous float32, or a BenchError saying why not."""
    try:
        data = np.load(path, allow_pickle=False)
    except (OSError, ValueError) as error:
        raise BenchError(f"{path}: cannot read as .npy ({error})") from None
    if data.ndim != 1:
        raise BenchError(f"{path}: expected a 1-D array, got shape {data.shape}")
    if data.size == 0:
        raise BenchError(f"{path}: the signal is empty")
    if data.dtype.kind not in "fiu":
        raise BenchError(f"{path}: expected real numbers, got dtype {data.dtype}")
    samples = np.ascontiguousarray(data, dtype=np.float32)
    if not np.all(np.isfinite(samples)):
        raise BenchError(f"{path}: NaN or infinite samples (or values beyond float32)")
    return samples


def find_signal_files(extra_files: list[Path], data_dir: Path | None) -> list[Path]:
    files: list[Path] = []
    if data_dir is not None:
        if data_dir.is_dir():
            files.extend(sorted(data_dir.glob("*.npy")))
        else:
            print(f"note: data directory {data_dir} does not exist; using only the given files")
    files.extend(extra_files)
    return files


def select_signals(files: list[Path], names: list[str] | None) -> list[Path]:
    by_name: dict[str, Path] = {}
    for path in files:
        if by_name.setdefault(path.stem, path) != path:
            # Results are named after the signal, so one would overwrite the other.
            raise BenchError(f"two signals named {path.stem}: {by_name[path.stem]} and {path}")
    if not names:
        return files
    missing = [name for name in names if name not in by_name]
    if missing:
        raise BenchError(f"no signal named {', '.join(missing)} (found: {', '.join(by_name)})")
    return [by_name[name] for name in names]


# ---------------------------------------------------------------------------- driver


def benchmark_signal(path: Path, peers: Peers, sweep: Sweep) -> SignalReport:
    samples = load_signal(path)
    candidates = all_candidates(peers, samples, sweep)
    print(f"{path.stem}: {samples.size:,} samples, {len(candidates)} settings", flush=True)
    measurements, failures = measure_all(candidates, samples, sweep.repeats)
    for failure in failures:
        print(f"  failed: {failure}")
    reference = default_setting(measurements)
    comparisons = compare_peers(measurements, reference) if reference else []
    return SignalReport(path.stem, samples, measurements, failures, reference, comparisons)


def write_signal_outputs(report: SignalReport, peers: Peers, pyplot: Any | None, out: Path) -> None:
    (out / f"{report.name}.md").write_text(signal_markdown(report, peers.unavailable))
    write_csv(out / f"{report.name}.csv", report.measurements)
    if pyplot is not None:
        plot_rate_distortion(pyplot, report, out / f"{report.name}_rd.png")
        plot_speed(pyplot, report, out / f"{report.name}_speed.png")


def print_headline(report: SignalReport) -> None:
    ours = report.reference
    if ours is None:
        print(f"  {TESSARINE} default options not measured")
        return
    print(
        f"  {TESSARINE} default: ratio {number(ours.ratio, 2)}, PSNR {number(ours.psnr, 2)} dB, "
        f"{number(ours.compress_mbps, 1)} / {number(ours.decompress_mbps, 1)} MB/s"
    )
    for peer in report.comparisons:
        print(
            f"  {peer.codec} at that PSNR: ratio {number(peer.ratio_at_psnr, 2)}; nearest "
            f"setting {number(peer.nearest.compress_mbps, 1)} / "
            f"{number(peer.nearest.decompress_mbps, 1)} MB/s"
        )


def parse_arguments(argv: list[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="*", type=Path, help="extra 1-D .npy signals")
    parser.add_argument(
        "--data-dir",
        type=Path,
        default=DEFAULT_DATA_DIR,
        help=f"folder of .npy signals (default: {DEFAULT_DATA_DIR})",
    )
    parser.add_argument(
        "--no-data-dir", action="store_true", help="use only the files given on the command line"
    )
    parser.add_argument(
        "--signals",
        nargs="+",
        metavar="NAME",
        help="run only these signals (file names without .npy)",
    )
    parser.add_argument(
        "--out",
        type=Path,
        default=DEFAULT_OUT_DIR,
        help=f"output folder (default: {DEFAULT_OUT_DIR})",
    )
    parser.add_argument(
        "--quick",
        action="store_true",
        help="reduced sweep and 2 timed runs: for smoke tests, not for figures",
    )
    parser.add_argument("--repeats", type=int, help="timed runs per setting (median is kept)")
    arguments = parser.parse_args(argv)
    if arguments.repeats is not None and arguments.repeats < 1:
        parser.error("--repeats must be at least 1")
    return arguments


def chosen_sweep(arguments: argparse.Namespace) -> Sweep:
    sweep = QUICK_SWEEP if arguments.quick else FULL_SWEEP
    if arguments.repeats is None:
        return sweep
    return Sweep(**{**asdict(sweep), "repeats": arguments.repeats})


def report_unavailable(peers: Peers) -> None:
    for family, why in peers.unavailable.items():
        remedy = "pip install ." if family == TESSARINE else "pip install .[bench]"
        print(f"{family}: unavailable, {why}; `{remedy}` from the repository root brings it")


def run(arguments: argparse.Namespace) -> int:
    data_dir = None if arguments.no_data_dir else arguments.data_dir
    files = select_signals(find_signal_files(arguments.files, data_dir), arguments.signals)
    if not files:
        raise BenchError("no signals to compare: give .npy files or a --data-dir holding some")
    for path in files:
        load_signal(path)  # refuse bad input before spending minutes on the good files
    load_at_start = load_average()
    peers = import_peers()
    report_unavailable(peers)
    sweep = chosen_sweep(arguments)
    pyplot = load_pyplot(peers.modules.get("plots"))
    arguments.out.mkdir(parents=True, exist_ok=True)
    reports = []
    for path in files:
        report = benchmark_signal(path, peers, sweep)
        write_signal_outputs(report, peers, pyplot, arguments.out)
        print_headline(report)
        reports.append(report)
    (arguments.out / "summary.md").write_text(
        summary_markdown(reports, peers, sweep, load_at_start)
    )
    print(f"results in {arguments.out}")
    return 0


def main(argv: list[str] | None = None) -> int:
    try:
        return run(parse_arguments(argv))
    except BenchError as error:
        print(f"error: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
