"""compress and decompress for EDF, BDF and WFDB recordings.

The digital codes are what is coded: exactly by default, or within --max-error given in the
channels' physical units, which becomes a bound in steps of each channel's own gain.
"""

from __future__ import annotations

import argparse
import shutil
import time
from pathlib import Path

import numpy as np

import tessarine_tools
from tessarine_tools.cli.atomic import atomic_output, check_output
from tessarine_tools.cli.biosignal import BIOSIGNAL_SUFFIXES, Biosignal
from tessarine_tools.cli.biosignal_store import (
    channel_settings,
    is_biosignal_store,
    read_biosignal_store,
    write_biosignal_store,
)
from tessarine_tools.cli.commands import _library, _size, _writing, settings_of
from tessarine_tools.cli.errors import DataError, UsageError
from tessarine_tools.cli.measure import ratio
from tessarine_tools.cli.store import kind_of


def is_biosignal(source: Path, dtype: str | None) -> bool:
    return dtype is None and source.suffix.lower() in BIOSIGNAL_SUFFIXES


def read_biosignal(source: Path) -> Biosignal:
    if not source.is_file():
        raise DataError(f"{source}: no such file")
    if source.suffix.lower() == ".hea":
        from tessarine_tools.cli.wfdb_records import read_wfdb

        return read_wfdb(source)
    from tessarine_tools.cli.edf import read_edf

    return read_edf(source)


def compress_biosignal(args: argparse.Namespace, source: Path) -> str:
    recording = read_biosignal(source)
    target = Path(args.output) if args.output else source.with_suffix(".zarr")
    kind = kind_of(target)
    if kind == "tsrn" and (target.suffix != ".tsrn" or len(recording.channels) != 1):
        raise UsageError(
            f"{target}: {len(recording.channels)} channels with their header "
            "need a .zarr or .zarr.zip store (.tsrn holds one channel's codes)"
        )
    if args.rate is not None:
        raise UsageError(f"{source} records its own sample rates; --rate is not needed")
    check_output(target, args.force, args.parents)
    settings = settings_of(args).keywords()
    started = time.perf_counter()
    with _writing(target), atomic_output(target, args.force, args.parents) as temporary:
        if kind == "tsrn":
            _write_frame(source, temporary, recording, settings, args.threads)
        else:
            _library(source, write_biosignal_store, temporary, recording, settings, kind == "zip")
        seconds = time.perf_counter() - started
        restored = _read(temporary, kind, recording)
        line = _summary(source, recording, restored, _size(temporary), seconds)
    return f"{line}  -> {target}"


def _write_frame(
    source: Path, temporary: Path, recording: Biosignal, settings: dict[str, object], threads: int
) -> None:
    channel = recording.channels[0]
    own, _ = channel_settings(settings, channel.gain)
    temporary.write_bytes(
        _library(source, tessarine_tools.compress, channel.codes, threads=threads, **own)
    )


def _read(path: Path, kind: str, recording: Biosignal) -> list[np.ndarray]:
    try:
        if kind == "tsrn":
            return [_library(path, tessarine_tools.decompress, path.read_bytes())]
        return [c.codes for c in read_biosignal_store(path, zipped=kind == "zip").channels]
    except DataError as error:  # name nothing by its temporary name
        raise DataError(str(error).replace(str(path), "the output")) from None


def _summary(
    source: Path, recording: Biosignal, restored: list[np.ndarray], stored: int, seconds: float
) -> str:
    """Ratio against the source file's bytes; the largest error in physical units."""
    largest = max(
        (
            float(np.max(np.abs(back.astype(np.int64) - c.codes.astype(np.int64)))) * abs(c.gain)
            if c.codes.size
            else 0.0
        )
        for c, back in zip(recording.channels, restored)
    )
    count = len(recording.channels)
    return (
        f"ratio {ratio(_source_bytes(source), stored):.2f} against the "
        f"{recording.file_format.upper()} input  {count} channel{'s' * (count != 1)}  "
        f"max error {largest:.4g} (physical units)  {seconds:.2f} s"
    )


def _source_bytes(source: Path) -> int:
    if source.suffix.lower() != ".hea":
        return source.stat().st_size
    return sum(p.stat().st_size for p in source.parent.glob(f"{source.stem}.*") if p.is_file())


def handles(source: Path, target: Path) -> bool:
    """Whether decompress goes through here: a biosignal file out, or a biosignal store in."""
    if target.suffix.lower() in BIOSIGNAL_SUFFIXES:
        return True
    return (
        kind_of(source) != "tsrn"
        and source.exists()
        and is_biosignal_store(source, zipped=kind_of(source) == "zip" and source.is_file())
    )


def decompress_biosignal(args: argparse.Namespace, source: Path, target: Path) -> str:
    if not source.exists():
        raise DataError(f"{source}: no such file")
    zipped = kind_of(source) == "zip" and source.is_file()
    if kind_of(source) == "tsrn" or not is_biosignal_store(source, zipped):
        raise UsageError(
            f"{source} holds no EDF or WFDB recording: only a store made from one "
            f"can write {target.suffix}"
        )
    if args.rate is not None:
        raise UsageError("--rate is for sound file outputs")
    recording = read_biosignal_store(source, zipped)
    wanted = (".hea",) if recording.file_format == "wfdb" else (".edf", ".bdf")
    if target.suffix.lower() not in wanted:
        raise UsageError(
            f"{source} holds a recording in {recording.file_format.upper()}: "
            f"write it to {' or '.join(wanted)}"
        )
    check_output(target, args.force, args.parents)
    with _writing(target), atomic_output(target, args.force, args.parents) as temporary:
        if recording.is_edf:
            from tessarine_tools.cli.edf import write_edf

            _library(source, write_edf, recording, temporary)
        else:
            _write_record(source, recording, temporary, target, args.force)
    return f"{len(recording.channels)} channels {recording.file_format.upper()} -> {target}"


def _write_record(
    source: Path, recording: Biosignal, temporary: Path, target: Path, force: bool
) -> None:
    """The signal and annotation files go in place first; the header, last, makes the record."""
    from tessarine_tools.cli.wfdb_records import write_wfdb

    written = _library(source, write_wfdb, recording, temporary)
    for path in written[1:]:
        final = target.parent / path.name
        if final.exists() and not force:
            raise UsageError(f"{final} already exists (use --force to replace it)")
    for path in written[1:]:
        shutil.move(path, target.parent / path.name)
