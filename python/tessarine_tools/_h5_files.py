"""Whole HDF5 files: rewrite every numeric dataset with the filter, and list what a file holds."""

from __future__ import annotations

import os
from pathlib import Path
from typing import Any

import h5py

from ._h5_chunks import FILTER_ID, write

_LANE = 1 << 20  # samples per chunk along the lane axis, as the frame's block


def _numeric(item: h5py.Dataset) -> bool:
    return (
        item.dtype.kind in "fiu" and item.dtype.fields is None and item.ndim >= 1 and item.size > 0
    )


def _chunks(shape: tuple[int, ...], axis: int) -> tuple[int, ...]:
    """One lane per chunk: the lane axis in pieces of up to 2^20, every other axis 1."""
    lane_axis = axis % len(shape)
    return tuple(min(n, _LANE) if i == lane_axis else 1 for i, n in enumerate(shape))


def recompress(source: str | os.PathLike[str], target: str | os.PathLike[str], *,
               axis: int = -1, threads: int = 2, **settings: Any) -> list[str]:  # fmt: skip
    """Copy `source` to `target`, every numeric dataset compressed by `filter(**settings)`.

    Groups, attributes and other datasets are copied as they are. The file is written under a
    temporary name and renamed at the end.

    Parameters
    ----------
    source, target : path
        The file read and the file written (replaced if it exists).
    axis : int, default -1
        The time axis of every dataset, as for `filter`; each chunk holds one lane.
    threads : int, default 2
        Chunks coded at once.
    **settings
        `filter`'s settings.

    Returns
    -------
    list of str
        The datasets compressed.

    Examples
    --------
    >>> import h5py, numpy as np, tessarine_tools.h5 as th5
    >>> with h5py.File("in.h5", "w") as f:
    ...     _ = f.create_dataset("ecg", data=np.sin(np.arange(5000) / 9.0))
    >>> th5.recompress("in.h5", "out.h5", max_error=1e-3)
    ['ecg']
    """
    from .h5 import filter as tessarine_filter

    keywords = tessarine_filter(axis=axis, **settings)
    target = Path(target)
    partial = target.with_name(f".{target.name}.partial")
    done: list[str] = []
    try:
        with h5py.File(source, "r") as src, h5py.File(partial, "w") as dst:
            dst.attrs.update(src.attrs)
            names: list[str] = []
            src.visit(names.append)  # visited in full first: its callback holds h5py's lock
            for name in names:
                item = src[name]
                if isinstance(item, h5py.Group):
                    dst.require_group(name).attrs.update(item.attrs)
                elif not _numeric(item):
                    src.copy(
                        item, dst.require_group(item.parent.name), name=name.rsplit("/", 1)[-1]
                    )
                else:
                    made = dst.create_dataset(name, shape=item.shape, dtype=item.dtype,
                                              chunks=_chunks(item.shape, axis), **keywords)  # fmt: skip
                    write(made, item[()], threads=threads)
                    made.attrs.update(item.attrs)
                    done.append(name)
        partial.replace(target)
    finally:
        partial.unlink(missing_ok=True)
    return done


def describe(path: str | os.PathLike[str]) -> list[dict[str, Any]]:
    """Each dataset of a file, with its filters and ratio.

    Parameters
    ----------
    path : path
        An HDF5 file.

    Returns
    -------
    list of dict
        name, shape, dtype, chunks, filters (HDF5's names, ids of unknown ones, "tessarine")
        and ratio (the dataset's bytes against the bytes stored; None when nothing is stored).

    Examples
    --------
    >>> import h5py, numpy as np, tessarine_tools.h5 as th5
    >>> with h5py.File("d.h5", "w") as f:
    ...     _ = f.create_dataset("x", data=np.zeros(4096, "f4"), chunks=(4096,),
    ...                          **th5.filter(max_error=0.1))
    >>> [(row["name"], row["filters"]) for row in th5.describe("d.h5")]
    [('x', ['tessarine'])]
    """
    rows: list[dict[str, Any]] = []

    def add(name: str, item: Any) -> None:
        if not isinstance(item, h5py.Dataset):
            return
        stored = item.id.get_storage_size()
        filters = ["tessarine" if key == str(FILTER_ID) else key for key in item._filters]  # noqa: SLF001
        rows.append({"name": name, "shape": item.shape, "dtype": str(item.dtype),
                     "chunks": item.chunks, "filters": filters,
                     "ratio": item.size * item.dtype.itemsize / stored if stored else None})  # fmt: skip

    with h5py.File(path, "r") as f:
        f.visititems(add)
    return rows
