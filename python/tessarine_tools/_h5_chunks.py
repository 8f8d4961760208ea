"""Whole-dataset reads and writes that code chunks on several threads.

HDF5 runs a dataset's filter on one chunk at a time. These helpers code the chunks with the
numcodecs codec instead, which with joint=False writes the filter's exact bytes (docs/format.md,
chunk layout per lane)
and releases the interpreter lock, and move them with h5py's direct chunk I/O; HDF5 then only
stores and fetches bytes. A file written either way reads back either way.
"""

from __future__ import annotations

import struct
from collections.abc import Iterator
from concurrent.futures import ThreadPoolExecutor
from typing import Any

import h5py
import numpy as np
import numpy.typing as npt

from .codec import Tessarine

FILTER_ID = 386
_FRAME = 0


def codec_of(dataset: h5py.Dataset, threads: int = 1) -> Tessarine | None:
    """The codec that writes this dataset's chunks, or None if only HDF5 can (another filter
    in the pipeline, wavelet containers, lanes along another axis than the last, or a byte order
    other than the machine's)."""
    filters = dataset._filters  # noqa: SLF001 - h5py's own reading of the pipeline
    values = filters.get(str(FILTER_ID))
    if len(filters) != 1 or values is None or len(values) < 10 or values[1] != _FRAME:
        return None
    axis = values[9] - (1 << 32) if values[9] >= 1 << 31 else values[9]
    if axis not in (-1, dataset.ndim - 1):
        return None
    if not dataset.dtype.isnative:
        return None
    flags = values[2]
    numbers = struct.unpack("<3d", struct.pack("<6I", *values[3:9]))
    given = {n: v for i, (n, v) in enumerate(zip(("max_error", "rel_error", "psnr"), numbers))
             if flags >> i & 1}  # fmt: skip
    # One frame per lane, as the filter writes them (not the codec's joint frame of lanes).
    if given == {"max_error": 0.0}:
        return Tessarine(threads=threads, lossless=True, joint=False)
    return Tessarine(threads=threads, joint=False, **given)


def _chunks(dataset: h5py.Dataset) -> Iterator[tuple[tuple[slice, ...], tuple[int, ...]]]:
    for region in dataset.iter_chunks():
        yield region, tuple(s.start for s in region)


def _padded(block: npt.NDArray[Any], shape: tuple[int, ...], fill: Any) -> npt.NDArray[Any]:
    """An edge chunk as HDF5 hands it to a filter: full size, the rest the fill value."""
    if block.shape == shape:
        return np.ascontiguousarray(block)
    full = np.full(shape, fill, dtype=block.dtype)
    full[tuple(slice(0, n) for n in block.shape)] = block
    return full


def write(dataset: h5py.Dataset, data: npt.ArrayLike, *, threads: int = 2) -> None:
    """Write all of `data` into a dataset created with `filter`, coding chunks in parallel.

    Parameters
    ----------
    dataset : h5py.Dataset
        Made with ``**filter(...)``; another pipeline is written by h5py as usual.
    data : array_like
        The dataset's shape; converted to its dtype.
    threads : int, default 2
        Chunks coded at once.

    Examples
    --------
    >>> import h5py, numpy as np, tessarine_tools.h5 as th5
    >>> with h5py.File("w.h5", "w", driver="core", backing_store=False) as f:
    ...     d = f.create_dataset("x", shape=(2, 3000), dtype="f4", chunks=(1, 1000),
    ...                          **th5.filter(max_error=0.01))
    ...     th5.write(d, np.ones((2, 3000)))
    ...     back = th5.read(d)
    ...     bool(np.abs(back - 1).max() <= 0.01), bool((back == d[()]).all())
    (True, True)
    """
    array = np.asarray(data, dtype=dataset.dtype)
    codec = codec_of(dataset)
    if codec is None or array.shape != dataset.shape:
        dataset[...] = array
        return
    # Workers touch no h5py object: h5py serialises every call on one lock, which a caller
    # (inside visititems, say) may already hold.
    fill, shape = dataset.fillvalue, dataset.chunks
    regions = list(_chunks(dataset))

    def encode(region: tuple[slice, ...]) -> bytes:
        return codec.encode(_padded(array[region], shape, fill))

    with ThreadPoolExecutor(threads) as pool:
        for (_, offset), chunk in zip(regions, pool.map(encode, (r for r, _ in regions))):
            dataset.id.write_direct_chunk(offset, chunk)


def read(dataset: h5py.Dataset, *, threads: int = 2) -> npt.NDArray[Any]:
    """All of a dataset created with `filter`, its chunks decoded in parallel.

    Parameters
    ----------
    dataset : h5py.Dataset
        Any dataset; one without the filter alone is read by h5py as usual.
    threads : int, default 2
        Chunks decoded at once.

    Examples
    --------
    Chunks HDF5's own filter wrote read back here, and chunks never written as the fill value:

    >>> import h5py, numpy as np, tessarine_tools.h5 as th5
    >>> with h5py.File("r.h5", "w", driver="core", backing_store=False) as f:
    ...     d = f.create_dataset("x", (4000,), "i2", chunks=(1000,), fillvalue=-1,
    ...                          **th5.filter(lossless=True))
    ...     d[:1500] = np.arange(1500)
    ...     th5.read(d)[[0, 1499, 1500, 3999]].tolist()
    [0, 1499, -1, -1]
    """
    codec = codec_of(dataset)
    if codec is None:
        return np.asarray(dataset[()])
    out = np.empty(dataset.shape, dataset.dtype)
    shape, dtype, fill = dataset.chunks, dataset.dtype, dataset.fillvalue  # as in write

    def decode(region: tuple[slice, ...], mask: int, raw: bytes | None) -> None:
        full = np.empty(shape, dtype)
        if raw is None:  # never written
            full.fill(fill)
        elif mask & 1:  # HDF5 stored it unfiltered
            full = np.frombuffer(raw, dtype).reshape(shape)
        else:
            codec.decode(raw, out=full)
        out[region] = full[tuple(slice(0, s.stop - s.start) for s in region)]

    with ThreadPoolExecutor(threads) as pool:
        pending = []
        for region, offset in _chunks(dataset):
            if dataset.id.get_chunk_info_by_coord(offset).byte_offset is None:
                pending.append(pool.submit(decode, region, 0, None))
                continue
            mask, raw = dataset.id.read_direct_chunk(offset)
            pending.append(pool.submit(decode, region, mask, raw))
        for task in pending:
            task.result()  # a damaged chunk raises here
    return out
