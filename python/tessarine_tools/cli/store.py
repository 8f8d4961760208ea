"""Several channels live in a zarr array (channels x time) in a .zarr folder or .zarr.zip file,
one chunk per channel and time block, with the recording's facts as attributes."""

from __future__ import annotations

import os
from collections.abc import Iterator
from concurrent.futures import ThreadPoolExecutor, as_completed
from pathlib import Path
from typing import Any

import numpy as np

from tessarine_tools.cli.errors import DataError
from tessarine_tools.cli.progress import progress
from tessarine_tools.cli.recording import PCM_SUBTYPES, Recording

BLOCK = 1 << 20  # samples per chunk along time: large enough that headers cost nothing


def kind_of(path: Path) -> str:
    """ "zarr", "zip" (a zipped store) or "tsrn" (one frame), by the name alone."""
    name = path.name.lower()
    if name.endswith(".zarr"):
        return "zarr"
    return "zip" if name.endswith(".zarr.zip") else "tsrn"


def open_store(path: Path, mode: str, zipped: bool) -> Any:
    import zarr.storage

    if zipped:
        return zarr.storage.ZipStore(path, mode="w" if mode == "w" else "r")
    return zarr.storage.LocalStore(path, read_only=mode == "r")


_LEAST_BLOCK = 1 << 14  # shorter lanes would cost their frames' headers more than they save


def write_store(path: Path, recording: Recording, settings: dict[str, Any], zipped: bool) -> None:
    import zarr

    from tessarine_tools.zarr3 import TessarineCodec

    serializer = TessarineCodec(**settings)  # bad settings fail before anything is opened
    store = open_store(path, "w", zipped)
    try:
        write_array(
            lambda **layout: zarr.create_array(store, **layout),
            recording.samples,
            serializer,
            recording.attributes(),
        )
    finally:
        close_store(store)


def write_array(create: Any, samples: np.ndarray, serializer: Any, attributes: Any) -> None:
    """Makes the array through `create` (zarr's keywords) and writes the samples into it.

    Channels coded together share a chunk; otherwise each chunk holds one channel. Either way
    a chunk holds about BLOCK samples, which bounds what each writing thread holds.
    """
    rows = samples.shape[0] if joins(serializer) else 1
    block = min(max(BLOCK // rows, min(BLOCK, _LEAST_BLOCK)), max(samples.shape[1], 1))
    array = create(
        shape=samples.shape,
        chunks=(rows, block),
        dtype=samples.dtype,
        serializer=serializer,
        compressors=None,
        fill_value=_inside(samples),
        attributes=attributes,
    )
    _write_chunks(array, samples, block, rows)


def joins(codec: Any) -> bool:
    """Whether the codec codes a chunk's channels together, so chunks should hold them all."""
    bounded = codec.resolved.bound is not None and codec.method is None and not codec.plain
    return bool(codec.joint) and bounded


def close_store(store: Any) -> None:
    # A zip store whose file never opened (a read-only folder) fails to close with
    # AttributeError, which would hide the error that says why.
    try:
        store.close()
    except AttributeError:
        pass


def _write_chunks(array: Any, samples: np.ndarray, block: int, rows: int = 1) -> None:
    """One chunk per task on our own threads (the codec releases the interpreter lock).

    On any failure or Ctrl-C, queued chunks are cancelled and running ones finish before
    this returns, so no writer is still creating files when the caller removes the output.
    """

    def write(channel: int, start: int) -> None:
        lanes = slice(channel, channel + rows)
        array[lanes, start : start + block] = samples[lanes, start : start + block]

    with ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        tasks = [
            pool.submit(write, channel, start)
            for start in range(0, samples.shape[1], block)
            for channel in range(0, samples.shape[0], rows)
        ]
        try:
            for task in progress(as_completed(tasks), len(tasks), "compressing"):
                task.result()
        except BaseException:
            for task in tasks:
                task.cancel()
            raise


def _inside(samples: np.ndarray) -> Any:
    # zarr pads the last chunk with the fill value; one taken from the samples keeps every
    # lane's range within the recording's, so relative and PSNR bounds hold for the whole.
    finite = samples[np.isfinite(samples)] if samples.dtype.kind == "f" else samples.ravel()
    return finite[0].item() if finite.size else 0


def read_store(path: Path, zipped: bool) -> Recording:
    samples: np.ndarray | None = None
    attributes: dict[str, Any] = {}
    for start, piece, shape, found in store_pieces(path, zipped):
        attributes = found
        if samples is None:
            samples = np.empty(shape, piece.dtype)
        samples[:, start : start + piece.shape[1]] = piece
    assert samples is not None
    return Recording.from_attributes(samples, attributes)


def store_pieces(
    path: Path, zipped: bool
) -> Iterator[tuple[int, np.ndarray, tuple[int, ...], dict[str, Any]]]:
    """The store's samples a chunk column at a time: (first sample, channels x piece, the
    array's shape, its attributes); what a summary needs without holding the whole signal."""
    import zarr

    try:
        store = open_store(path, "r", zipped)
        array = zarr.open_array(store, mode="r")
    except Exception as error:  # zarr raises many types for an unreadable store
        raise DataError(f"{path}: not a readable zarr store ({error})") from None
    try:
        attributes = checked_attributes(path, dict(array.attrs), array)
        block = array.chunks[-1]
        starts = range(0, max(array.shape[-1], 1), block)
        for start in progress(starts, len(starts), "decompressing"):
            try:
                piece = np.asarray(array[:, start : start + block])
            except (ValueError, TypeError, OverflowError) as error:  # the codec's words
                raise DataError(f"{path}: a chunk cannot be decoded ({error})") from None
            yield start, piece, array.shape, attributes
    finally:
        close_store(store)


def checked_attributes(path: Path, attributes: dict[str, Any], array: Any) -> dict[str, Any]:
    """The store's attributes, refused unless they describe real samples the array can hold."""
    if array.ndim != 2 or array.dtype.kind not in "iuf":
        raise DataError(f"{path}: expected a 2-D (channels x time) array of real numbers")
    dtype = attributes.get("source_dtype", array.dtype.str)
    try:
        kind = np.dtype(dtype) if isinstance(dtype, str) else None
    except TypeError:
        kind = None
    if kind is None or kind.kind not in "iuf" or kind.itemsize > 8:
        raise DataError(f"{path}: source_dtype {dtype!r} is not a type of real numbers")
    ndim = attributes.get("source_ndim", 2)
    if type(ndim) is not int or ndim not in (1, 2):
        raise DataError(f"{path}: source_ndim {ndim!r} must be 1 or 2")
    subtype = attributes.get("wav_subtype")
    if subtype is not None and subtype not in PCM_SUBTYPES:
        raise DataError(f"{path}: wav_subtype {subtype!r} is not one this program writes")
    names = attributes.get("channel_names")
    if names is not None and not (
        isinstance(names, list)
        and len(names) == array.shape[0]
        and all(isinstance(n, str) for n in names)
    ):
        raise DataError(f"{path}: channel_names must name each of the {array.shape[0]} channels")
    return {**attributes, "source_dtype": kind.str}
