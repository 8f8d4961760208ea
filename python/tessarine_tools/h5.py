"""HDF5 filter: tessarine in h5py, NWB files and every HDF5 tool.

Importing this module puts the plugin folder on HDF5's plugin path (h5py's ``h5pl`` API for
this process, ``HDF5_PLUGIN_PATH`` for child processes), so that any dataset written with
`filter` reads back here, and in ``h5dump`` or ``h5repack`` given `PLUGIN_PATH`.

Each chunk is cut into lanes along its time axis (the last, unless `filter` is given another)
and each lane is coded alone, as the numcodecs codec does: channels never share a lane, and
each lane's frame carries its own CRC-32 and bound. The filter id, 386, is provisional: it lies in the
range HDF5 leaves for unregistered filters.

HDF5 runs a filter on one chunk at a time; `write` and `read` move a whole dataset with its
chunks coded on several threads, to the same bytes. `recompress` rewrites a whole file with the
filter and `describe` lists a file's datasets, filters and ratios.
"""

from __future__ import annotations

import os
import struct
from pathlib import Path
from typing import Any

import h5py

from ._bounds import Bound
from ._h5_chunks import read, write
from ._h5_files import describe, recompress
from ._settings import CodecSettings

__all__ = ["FILTER_ID", "PLUGIN_PATH", "describe", "filter", "read", "recompress", "write"]

FILTER_ID = 386
PLUGIN_PATH = str(Path(__file__).resolve().with_name("plugins"))

_LAYOUT_VERSION = 1
_FRAME, _CONTAINER = 0, 1


def filter(  # noqa: A001 - the name hdf5plugin's users expect
    *,
    max_error: float | None = None,
    rel_error: float | None = None,
    psnr: float | None = None,
    lossless: bool = False,
    method: str | None = None,
    scale: int | None = None,
    cutoff: str | None = None,
    coder: str = "arans",
    axis: int = -1,
) -> dict[str, Any]:
    """Keyword arguments for ``h5py.Group.create_dataset`` that compress with tessarine.

    With bounds (or ``lossless=True``), every lane becomes a bounded frame: any real dtype, each
    bound holding per lane (``rel_error`` and ``psnr`` against the lane's own range). Without
    them, ``method``/``scale``/``cutoff``/``coder`` code float32 lanes as wavelet containers,
    whose error is measured, not promised.

    Parameters
    ----------
    max_error, rel_error, psnr : float, optional
        Bounds, as for `tessarine_tools.compress`; every one given holds per lane.
    lossless : bool, default False
        Every bit back, any dtype.
    method, scale, cutoff, coder : optional
        Wavelet settings for float32 datasets, without a bound.
    axis : int, default -1
        The axis along which each signal's samples run: the last, as for (channels, time), or
        0 for (time, channels) as NWB and MATLAB store them.

    Returns
    -------
    dict
        ``compression`` (the filter id) and ``compression_opts`` (its client data values).

    Raises
    ------
    TypeError, ValueError
        Settings that conflict, are out of range, or that the filter cannot store.

    Examples
    --------
    >>> import h5py, numpy as np, tessarine_tools.h5 as th5
    >>> with h5py.File("signals.h5", "w", driver="core", backing_store=False) as f:
    ...     data = f.create_dataset("ecg", data=np.sin(np.arange(4096) / 50.0),
    ...                             chunks=(1024,), **th5.filter(max_error=1e-3))
    ...     bool(abs(data[:] - np.sin(np.arange(4096) / 50.0)).max() <= 1e-3)
    True
    """
    settings = CodecSettings(
        max_error=max_error, rel_error=rel_error, psnr=psnr, lossless=lossless,
        method=method, scale=scale, cutoff=cutoff, coder=coder,
    )  # fmt: skip
    if isinstance(axis, bool) or not isinstance(axis, int) or not -32 <= axis < 32:
        raise ValueError(f"axis must be an integer from -32 to 31, got {axis!r}")
    bound, _, fixed = settings.resolved
    if bound is None:
        values = [_CONTAINER, fixed.method, fixed.scale, fixed.cutoff, fixed.coder, 0, 0, 0]
    elif method is not None:
        raise ValueError(
            "the HDF5 filter codes bounds with the predictive coder only: drop method, or use "
            "tessarine_tools.compress or the zarr codec for a wavelet with a bound"
        )
    else:
        values = [_FRAME, *_bound_values(bound)]
    # The axis travels as a 32-bit two's complement value.
    opts = (_LAYOUT_VERSION, *values, axis & 0xFFFFFFFF)
    return {"compression": FILTER_ID, "compression_opts": opts}


def _bound_values(bound: Bound) -> list[int]:
    """Flags, then each bound as a float64 in two 32-bit values, low half first."""
    flags, *numbers = struct.unpack("<B3d", bound.pack())
    return [flags, *struct.unpack("<6I", struct.pack("<3d", *numbers))]


def _register() -> None:
    paths = os.environ.get("HDF5_PLUGIN_PATH", "")
    if PLUGIN_PATH not in paths.split(os.pathsep):
        os.environ["HDF5_PLUGIN_PATH"] = os.pathsep.join(p for p in (PLUGIN_PATH, paths) if p)
    h5py.h5pl.prepend(PLUGIN_PATH.encode())
    if not h5py.h5z.filter_avail(FILTER_ID):
        raise ImportError(
            f"HDF5 did not load the tessarine filter from {PLUGIN_PATH}: reinstall tessarine"
        )


_register()
