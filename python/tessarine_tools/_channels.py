"""Several channels of one length as one frame: compress of a 2-D array, and back.

Integer channels may be predicted from channels coded before them (joint coding), each
channel keeping its own bound on its own samples; floats are coded channel by channel.
"""

from __future__ import annotations

import math
from collections.abc import Sequence

import numpy as np
import numpy.typing as npt

from . import _native
from ._settings import CodecSettings

_NOT_BOUNDED = (
    "2-D input is coded by the predictive coder: give max_error, rel_error, psnr or "
    "lossless=True, and no method, scale, cutoff or plain"
)


def per_channel_bounds(max_error: object) -> list[float] | None:
    """max_error as one bound per channel, when a sequence is given."""
    if max_error is None or np.ndim(max_error) == 0:  # type: ignore[arg-type]
        return None
    bounds = [float(v) for v in np.asarray(max_error, dtype=np.float64).ravel()]
    if not bounds or not all(b > 0 and math.isfinite(b) for b in bounds):
        raise ValueError(
            f"max_error per channel must be positive finite numbers, got {max_error!r}"
        )
    return bounds


def compress_channels(
    data: object,
    settings: CodecSettings,
    per_channel: Sequence[float] | None,
    channel_axis: int,
    threads: int,
) -> bytes:
    bound = settings.resolved.bound
    if bound is None or settings.method is not None or settings.plain:
        raise ValueError(_NOT_BOUNDED)
    array = np.moveaxis(np.asarray(data), channel_axis, 0)
    if array.dtype.kind not in "fiu" or (array.dtype.kind == "f" and array.dtype.itemsize > 8):
        raise TypeError(
            f"expected real numbers (float16/32/64 or integers), got dtype {array.dtype}"
        )
    if array.shape[0] == 0:
        raise ValueError("expected at least one channel")
    if per_channel is not None and len(per_channel) != array.shape[0]:
        raise ValueError(f"max_error has {len(per_channel)} values for {array.shape[0]} channels")
    samples = np.ascontiguousarray(array, dtype=array.dtype.newbyteorder("="))
    max_error = list(per_channel) if per_channel is not None else bound.max_error
    return bytes(
        _native.compress_channels(
            samples,
            samples.dtype.str[1:],
            samples.shape[0],
            max_error,
            bound.rel_error,
            bound.psnr,
            settings.blocks,
            threads,
            settings.joint,
        )
    )


def decode_channels(
    raw: bytes,
    fields: dict[str, object],
    channels: Sequence[int] | None,
    window: tuple[int, int] | None,
    out: npt.NDArray[np.generic] | None,
    threads: int,
) -> npt.NDArray[np.generic]:
    """The channels asked for (all by default), channels × samples, a window of them if given."""
    count = int(fields["channels"])  # type: ignore[call-overload]
    dtype = np.dtype(str(fields["dtype"]))
    length = int(fields["sample_count"]) // count  # type: ignore[call-overload]
    wanted = _wanted(channels, count)
    rows = np.empty((len(wanted), length), dtype)
    _native.decode_channels(raw, wanted, rows, threads)
    if window is not None:
        rows = rows[:, window[0] : window[1]]
    if out is None:
        return rows
    if not isinstance(out, np.ndarray):
        raise TypeError(f"out must be a NumPy array, got {type(out).__name__}")
    if out.shape != rows.shape or out.dtype != dtype or not out.flags.writeable:
        raise ValueError(f"out must be a writeable {dtype} array of shape {rows.shape}")
    np.copyto(out, rows)
    return out


def _wanted(channels: Sequence[int] | None, count: int) -> list[int]:
    if channels is None:
        return list(range(count))
    wanted = []
    for channel in channels:
        if isinstance(channel, bool) or not isinstance(channel, (int, np.integer)):
            raise TypeError(f"channels must be integers, got {type(channel).__name__}")
        if not -count <= channel < count:
            raise ValueError(f"channel {channel} is outside a frame of {count} channels")
        wanted.append(int(channel) % count)
    return wanted
