"""HDF5 files on the command line: compress rewrites every numeric dataset with the tessarine
filter, keeping groups and attributes; info lists the datasets, their filters and ratios."""

from __future__ import annotations

import argparse
from pathlib import Path
from typing import Any

from tessarine_tools.cli.errors import DataError, UsageError

SUFFIXES = (".h5", ".hdf5", ".nwb")
_FILTER_SETTINGS = (
    "max_error",
    "rel_error",
    "psnr",
    "lossless",
    "method",
    "scale",
    "cutoff",
    "coder",
)


def is_hdf5(path: Path) -> bool:
    return path.suffix.lower() in SUFFIXES


def check_target(target: Path) -> None:
    if not is_hdf5(target):
        raise UsageError(f"{target}: an HDF5 input is written as HDF5 ({', '.join(SUFFIXES)})")


def compress(source: Path, temporary: Path, args: argparse.Namespace) -> str:
    settings = {
        name: value
        for name in _FILTER_SETTINGS
        if (value := getattr(args, name, None)) not in (None, False)
    }
    th5 = _module()
    try:
        done = th5.recompress(source, temporary, threads=args.threads, **settings)
    except (OSError, ValueError, TypeError) as error:
        raise DataError(f"{source}: {error}") from None
    rows = {row["name"]: row for row in th5.describe(temporary)}
    ratios = [rows[name]["ratio"] for name in done if rows[name]["ratio"]]
    overall = f", ratio {min(ratios):.2f} to {max(ratios):.2f}" if ratios else ""
    return f"{len(done)} datasets compressed{overall}"


def info(source: Path) -> str:
    try:
        rows = _module().describe(source)
    except (OSError, ValueError) as error:
        raise DataError(f"{source}: not a readable HDF5 file ({error})") from None
    lines = [f"{source}: HDF5 file, {len(rows)} datasets"]
    for row in rows:
        ratio = "nothing stored" if row["ratio"] is None else f"ratio {row['ratio']:.2f}"
        shape = " x ".join(map(str, row["shape"])) or "scalar"
        lines.append(
            f"  {row['name']}: {shape} {row['dtype']}, filters "
            f"{' + '.join(map(str, row['filters'])) or 'none'}, {ratio}"
        )
    return "\n".join(lines)


def _module() -> Any:
    try:
        import tessarine_tools.h5 as th5
    except ImportError:
        raise UsageError('HDF5 files need h5py: pip install ".[test]" (or h5py)') from None
    return th5
