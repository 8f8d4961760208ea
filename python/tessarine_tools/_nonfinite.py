"""Where a signal's non-finite samples are, their exact bit patterns, and gap filling."""

from __future__ import annotations

import zlib

import numpy as np
import numpy.typing as npt


def fill_gaps(
    values: npt.NDArray[np.float64], finite: npt.NDArray[np.bool_]
) -> npt.NDArray[np.float64]:
    """Linear interpolation from finite neighbours, so gaps cost the coder almost nothing."""
    if finite.all():
        return values
    where = np.flatnonzero(finite)
    if where.size == 0:
        return np.zeros_like(values)
    filled = values.copy()
    gaps = np.flatnonzero(~finite)
    filled[gaps] = np.interp(gaps, where, values[where])
    return filled


def _leb128(numbers: npt.NDArray[np.int64]) -> bytes:
    out = bytearray()
    for value in numbers.tolist():
        while value >= 0x80:
            out.append((value & 0x7F) | 0x80)
            value >>= 7
        out.append(value)
    return bytes(out)


def _read_leb128(data: bytes, pos: int, count: int) -> tuple[list[int], int]:
    values: list[int] = []
    value = shift = 0
    while len(values) < count:
        byte = data[pos]
        pos += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            values.append(value)
            value = shift = 0
    return values, pos


def encode_map(raw: npt.NDArray[np.generic], finite: npt.NDArray[np.bool_]) -> bytes:
    """Run lengths (finite, non-finite, finite, ...) then the non-finite samples' raw bytes."""
    if finite.all():
        return b""
    edges = np.flatnonzero(np.diff(finite.astype(np.int8))) + 1
    bounds = np.concatenate(([0], edges, [finite.size]))
    runs = np.diff(bounds).astype(np.int64)
    if not finite[0]:
        runs = np.concatenate(([0], runs))
    head = _leb128(np.concatenate(([runs.size], runs)))
    patterns = _bits(np.ascontiguousarray(raw))[~finite].astype(f"<u{raw.dtype.itemsize}").tobytes()
    return zlib.compress(head + patterns, 9)


def decode_map(section: bytes, out: npt.NDArray[np.generic]) -> None:
    """Write the stored non-finite samples back into `out`, bit for bit."""
    if not section:
        return
    damaged = "frame is damaged: its non-finite map does not match the signal"
    try:
        data = zlib.decompress(section)
        (count,), pos = _read_leb128(data, 0, 1)
        runs, head = _read_leb128(data, pos, count)
    except (zlib.error, IndexError):
        raise ValueError(damaged) from None
    if sum(runs) != out.size:
        raise ValueError(damaged)
    finite = np.repeat(np.arange(len(runs)) % 2 == 0, runs)
    patterns = np.frombuffer(data, dtype=f"<u{out.dtype.itemsize}", offset=head)
    if patterns.size != out.size - int(finite.sum()):
        raise ValueError(damaged)
    _bits(out)[~finite] = patterns


def _bits(values: npt.NDArray[np.generic]) -> npt.NDArray[np.generic]:
    # Integer views copy NaN payloads untouched; float moves may quiet signalling NaNs.
    return values.view(f"=u{values.dtype.itemsize}")
