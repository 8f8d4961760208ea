"""The command line's grammar; each subcommand carries the function that runs it."""

from __future__ import annotations

import argparse
import math
import os
from typing import NoReturn

from tessarine_tools.cli import bench, commands, info


def _positive(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        value = math.nan
    if not (value > 0 and math.isfinite(value)):
        raise argparse.ArgumentTypeError(f"must be a positive number, not {text}")
    return value


def _source(sub: argparse.ArgumentParser) -> None:
    sub.add_argument(
        "input",
        help=".npy (1-D or channels x time), .wav, .edf/.bdf, a WFDB .hea, or raw with --dtype",
    )
    sub.add_argument("--dtype", help="raw input: NumPy dtype of the samples, e.g. int16, <f4")
    sub.add_argument("--channels", type=int, default=1, help="raw input: interleaved channels")


def _output_flags(sub: argparse.ArgumentParser) -> None:
    sub.add_argument("--force", action="store_true", help="replace an existing output")
    sub.add_argument("--parents", action="store_true", help="create the output's missing folders")


def _threads(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be a whole number of at least 1, not {text}")
    return value


def _threads_flag(sub: argparse.ArgumentParser) -> None:
    sub.add_argument(
        "--threads",
        type=_threads,
        default=os.cpu_count() or 1,
        help="blocks coded at once (default: every core; the output is the same)",
    )


# The README's "Choosing a bound", in short; its table was measured on the shipped ECG excerpt.
BOUND_GUIDE = """\
choosing a bound:
  exact bits          --lossless (any dtype); for integers any --max-error below 1 is the same
  error in units      --max-error: |x - x'| per sample, e.g. 0.005 mV, one ADC step of the ECG;
                      below one step, ADC codes times a gain come back within float rounding
  error vs. signal    --rel-error: a fraction of max - min of the finite samples
                      (per chunk row in a store; use --max-error for one bound on the whole)
  average             --psnr: 20 log10((max - min) / RMSE) in dB; single errors may be large
  no bound            --scale/--cutoff: a wavelet setting; the error is measured, not promised

  examples/data/ecg_mitbih100_mlii_60s.npy (float32, range 1.745 mV):
    --lossless 8.68 | --max-error 1e-4: 8.68 (error 6e-8) | --max-error 0.005: 11.72
    --psnr 60: 9.24 | --rel-error 1e-2: 21.62 | no bound: 4.46 (PSNR 69.2 dB)
  its int16 ADC codes: --lossless or --max-error 0.4: 4.34 | --max-error 1: 6.39 | 2: 9.19
  (ratios against the input's own dtype, over every byte written)
"""


def _compress(subs: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    sub = subs.add_parser(
        "compress",
        help="compress a signal to .tsrn or a zarr store",
        epilog=BOUND_GUIDE,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    _source(sub)
    sub.add_argument("-o", "--output", help=".tsrn (one channel), .zarr or .zarr.zip")
    sub.add_argument("--rate", type=_positive, help="sample rate to record (WAV gives its own)")
    _output_flags(sub)
    _threads_flag(sub)
    sub.add_argument("--coder", choices=("arans", "deflate", "auto"))
    settings = sub.add_argument_group("settings (used as given)")
    settings.add_argument("--method", choices=("cdf97", "cdf53", "db4", "sym4", "best"))
    settings.add_argument("--scale", type=int, choices=range(6, 13), metavar="6..12")
    settings.add_argument("--cutoff", choices=("low", "medium", "high"))
    bounds = sub.add_argument_group("bounds (the smallest output that meets them)")
    bound = bounds.add_mutually_exclusive_group()
    bound.add_argument(
        "--max-error",
        type=_positive,
        help="largest absolute error per sample (EDF and WFDB: in each channel's physical units)",
    )
    bound.add_argument("--rel-error", type=_positive, help="the same, as a fraction of the range")
    bound.add_argument("--psnr", type=_positive, help="lowest PSNR in dB")
    bound.add_argument(
        "--lossless", action="store_true", help="every bit back, for every dtype (floats too)"
    )
    sub.set_defaults(run=commands.compress)


class _Parser(argparse.ArgumentParser):
    """Usage errors in one line, like every other error of the command."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: {message} (see {self.prog} --help)\n")


def build_parser() -> argparse.ArgumentParser:
    parser = _Parser(prog="tessarine", description="Lossy compression of sampled signals.")
    subs = parser.add_subparsers(required=True, metavar="command")
    _compress(subs)
    sub = subs.add_parser("decompress", help="restore a .tsrn file or zarr store")
    sub.add_argument("input")
    sub.add_argument(
        "-o",
        "--output",
        required=True,
        help=".npy, .wav or .raw; .edf/.bdf or .hea from a store of one",
    )
    sub.add_argument("--rate", type=_positive, help="sample rate for a WAV from a .tsrn file")
    _output_flags(sub)
    sub.set_defaults(run=commands.decompress)
    sub = subs.add_parser("info", help="describe a .tsrn file or zarr store")
    sub.add_argument("input")
    sub.add_argument("--json", action="store_true", help="machine-readable output")
    sub.set_defaults(run=info.info)
    sub = subs.add_parser("bench", help="try settings, bounds, lossless and the installed peers")
    _source(sub)
    sub.add_argument(
        "--plot", help="draw bits per sample against max error for every method (.png, .svg, .pdf)"
    )
    _output_flags(sub)
    sub.set_defaults(run=bench.run)
    return parser
