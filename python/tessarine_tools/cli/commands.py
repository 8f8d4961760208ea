"""compress, decompress and info: each reads, works, and writes through atomic_output."""

from __future__ import annotations

import argparse
import contextlib
import time
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import tessarine_tools
from tessarine_tools._settings import FIELD_NAMES, CodecSettings
from tessarine_tools.cli import hdf5_files
from tessarine_tools.cli.atomic import atomic_output, check_output
from tessarine_tools.cli.errors import DataError, UsageError
from tessarine_tools.cli.inputs import read_recording
from tessarine_tools.cli.measure import ErrorTally, summary
from tessarine_tools.cli.outputs import (
    SOUND_FORMATS,
    check_output_type,
    check_sound_rate,
    write_samples,
)
from tessarine_tools.cli.recording import Recording
from tessarine_tools.cli.store import joins, kind_of, read_store, store_pieces, write_store
from tessarine_tools.cli.streaming import (
    compress_stream,
    decompress_stream,
    is_stream_frame,
    streams,
)


def settings_of(args: argparse.Namespace) -> CodecSettings:
    """The library's settings from the flags given; the flags not given keep its defaults."""
    given = {name: getattr(args, name, None) for name in FIELD_NAMES}
    return CodecSettings(**{name: value for name, value in given.items() if value is not None})


def _check_settings(args: argparse.Namespace) -> None:
    bounded = any(getattr(args, b) is not None for b in ("max_error", "rel_error", "psnr"))
    if args.lossless and (args.method, args.scale, args.cutoff) != (None, None, None):
        raise UsageError("--lossless keeps every bit: give no --method, --scale or --cutoff")
    if bounded and (args.scale is not None or args.cutoff is not None):
        raise UsageError("give either --scale/--cutoff or a bound, not both")
    if args.method == "best" and not bounded:
        raise UsageError("--method best needs a bound (--max-error, --rel-error or --psnr)")


def compress(args: argparse.Namespace) -> str:
    _check_settings(args)
    source = Path(args.input)
    from tessarine_tools.cli import biosignal_commands  # it builds on this module

    if biosignal_commands.is_biosignal(source, args.dtype):
        return biosignal_commands.compress_biosignal(args, source)
    if hdf5_files.is_hdf5(source):
        return _compress_hdf5(args, source)
    if _streams(args, source):
        return _compress_stream(args, source)
    recording = read_recording(source, args.dtype, args.channels)
    target = Path(args.output) if args.output else _default_output(source, recording)
    if kind_of(target) == "tsrn" and target.suffix != ".tsrn":
        raise UsageError(f"{target}: output must end in .tsrn, .zarr or .zarr.zip")
    if kind_of(target) == "tsrn" and recording.channels != 1 and not joins(settings_of(args)):
        raise UsageError(
            f"{target}: {recording.channels} channels need a bound (or --lossless) "
            "for one .tsrn frame, or a .zarr or .zarr.zip store"
        )
    _take_rate(args.rate, source, target, recording)
    check_output(target, args.force, args.parents)
    started = time.perf_counter()
    with _writing(target), atomic_output(target, args.force, args.parents) as temporary:
        _write_compressed(
            source, kind_of(target), temporary, recording, settings_of(args), args.threads
        )
        seconds = time.perf_counter() - started
        try:
            tally = _measured(temporary, kind_of(target), recording)
        except DataError as error:  # name the output: its temporary name is gone by then
            raise DataError(str(error).replace(str(temporary), str(target))) from None
        line = summary(recording.samples, tally, _size(temporary), seconds)
    return f"{line}  -> {target}"


def _measured(path: Path, kind: str, recording: Recording) -> ErrorTally:
    """The output decoded against the input; a store a chunk column at a time, so that the
    command holds at most one decoded piece beside the input."""
    tally = ErrorTally()
    if kind == "tsrn":
        tally.add(recording.samples, _read_compressed(path, kind).samples)
        return tally
    for start, piece, _, _ in store_pieces(path, zipped=kind == "zip"):
        tally.add(recording.samples[:, start : start + piece.shape[1]], piece)
    return tally


def _compress_hdf5(args: argparse.Namespace, source: Path) -> str:
    if not source.is_file():
        raise DataError(f"{source}: no such file")
    target = Path(args.output) if args.output else source.with_name(source.stem + ".tsrn.h5")
    hdf5_files.check_target(target)
    check_output(target, args.force, args.parents)
    with _writing(target), atomic_output(target, args.force, args.parents) as temporary:
        line = hdf5_files.compress(source, temporary, args)
    return f"{line}  -> {target}"


def _streams(args: argparse.Namespace, source: Path) -> bool:
    """A 1-D signal into a .tsrn frame under a per-sample bound goes a block at a time."""
    target = Path(args.output) if args.output else source.with_suffix(".tsrn")
    return (
        kind_of(target) == "tsrn"
        and target.suffix == ".tsrn"
        and args.rate is None
        and streams(source, args.dtype, settings_of(args))
    )


def _compress_stream(args: argparse.Namespace, source: Path) -> str:
    target = Path(args.output) if args.output else source.with_suffix(".tsrn")
    check_output(target, args.force, args.parents)
    started = time.perf_counter()
    with _writing(target), atomic_output(target, args.force, args.parents) as temporary:
        line = _library(source, compress_stream, source, temporary, settings_of(args), args.threads)
    return f"{line}  {time.perf_counter() - started:.2f} s  -> {target}"


def _take_rate(rate: float | None, source: Path, target: Path, recording: Recording) -> None:
    """--rate is recorded in a store; never dropped unsaid, never replacing the input's own."""
    if rate is None:
        return
    if kind_of(target) == "tsrn":
        raise UsageError(
            f"{target}: a .tsrn file holds no sample rate; write a .zarr store "
            "to keep --rate, or give --rate to decompress"
        )
    if recording.sample_rate is not None and recording.sample_rate != rate:
        raise UsageError(
            f"{source} records {recording.sample_rate:g} Hz; --rate {rate:g} would replace it"
        )
    recording.sample_rate = rate


@contextlib.contextmanager
def _writing(target: Path) -> Iterator[None]:
    # Name the output in write errors: the temporary name would mean nothing to the user.
    try:
        yield
    except OSError as error:
        raise DataError(f"{target}: cannot write ({error.strerror or error})") from None


def _default_output(source: Path, recording: Recording) -> Path:
    return source.with_suffix(".tsrn" if recording.channels == 1 else ".zarr")


def _write_compressed(
    source: Path,
    kind: str,
    temporary: Path,
    recording: Recording,
    settings: CodecSettings,
    threads: int = 1,
) -> None:
    if kind == "tsrn":
        samples = recording.samples[0] if recording.channels == 1 else recording.samples
        data = _library(
            source, tessarine_tools.compress, samples, threads=threads, **settings.keywords()
        )
        temporary.write_bytes(data)
    else:
        _library(source, write_store, temporary, recording, settings.keywords(), kind == "zip")


def _read_compressed(path: Path, kind: str) -> Recording:
    if kind == "tsrn":
        samples = _library(path, tessarine_tools.decompress, path.read_bytes())
        if samples.ndim == 2:  # a frame of channels
            return Recording(samples, source_ndim=2)
        return Recording(samples.reshape(1, -1), source_ndim=1)
    return read_store(path, zipped=kind == "zip")


def _library(where: Path | str, function: Any, *args: Any, **keywords: Any) -> Any:
    # The library says what is wrong with bad data or settings in its exceptions' text.
    try:
        return function(*args, **keywords)
    except (ValueError, TypeError, OverflowError) as error:
        raise DataError(f"{where}: {error}") from None


def _size(path: Path) -> int:
    if path.is_dir():
        return sum(f.stat().st_size for f in path.rglob("*") if f.is_file())
    return path.stat().st_size


def decompress(args: argparse.Namespace) -> str:
    source, target = Path(args.input), Path(args.output)
    from tessarine_tools.cli import biosignal_commands

    if biosignal_commands.handles(source, target):
        return biosignal_commands.decompress_biosignal(args, source, target)
    check_output_type(target)
    if args.rate is not None and target.suffix.lower() not in SOUND_FORMATS:
        raise UsageError(f"{target}: --rate is for sound file outputs ({', '.join(SOUND_FORMATS)})")
    check_output(target, args.force, args.parents)
    if not source.exists():
        raise DataError(f"{source}: no such file")
    if kind_of(source) == "tsrn" and target.suffix.lower() == ".npy" and is_stream_frame(source):
        with _writing(target), atomic_output(target, args.force, args.parents) as temporary:
            line = _library(source, decompress_stream, source, temporary)
        return f"{line} -> {target}"
    recording = _read_compressed(source, kind_of(source))
    rate = args.rate or recording.sample_rate
    if target.suffix.lower() in SOUND_FORMATS:
        if rate is None:
            raise UsageError(f"{source} records no sample rate: give --rate to write {target}")
        rate = check_sound_rate(rate, given=args.rate is not None)
    with _writing(target), atomic_output(target, args.force, args.parents) as temporary:
        write_samples(target, temporary, recording, rate)
    shape = "x".join(map(str, recording.shaped().shape))
    return f"{shape} {recording.samples.dtype} -> {target}"
