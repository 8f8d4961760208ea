"""Where a signal's non-finite samples are, their exact bit patterns, and gap filling."""

from __future__ import annotations

import zlib
from dataclasses import dataclass

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


@dataclass(frozen=True)
class Map:
    """The non-finite samples a map stores: their indices and exact bit patterns."""

    where: npt.NDArray[np.int64]
    patterns: npt.NDArray[np.generic]

    def apply(self, out: npt.NDArray[np.generic]) -> None:
        """Write the stored non-finite samples back into `out`, bit for bit."""
        if self.where.size:
            _bits(out)[self.where] = self.patterns


def decode_map(section: bytes, count: int, dtype: np.dtype[np.generic]) -> Map:
    """The map of a signal of `count` samples, read before any of them is decoded.

    Work and memory follow the number of non-finite samples the map really stores, never the
    sample count alone: a few bytes must not make the decoder build a mask of every sample.
    """
    size = dtype.itemsize
    if not section:
        return Map(np.zeros(0, np.int64), np.zeros(0, f"<u{size}"))
    if dtype.kind != "f":
        raise ValueError("frame is damaged: an integer signal has a non-finite map")
    # Runs alternate, so there are at most n + 1 of them, each at most 5 LEB128 bytes (n < 2**35).
    most = _RUN_BYTES * (count + 2) + size * count
    data = np.frombuffer(_inflate(section, most), dtype=np.uint8)
    runs, head = _runs(data, count)
    starts = np.cumsum(runs) - runs
    lengths, firsts = runs[1::2], starts[1::2]
    patterns = data[head:]
    total = int(lengths.sum())
    if patterns.size != total * size:
        raise ValueError(_DAMAGED)
    values = patterns.view(f"<u{size}")
    if np.isfinite(values.view(f"<f{size}")).any():
        raise ValueError("frame is damaged: its non-finite map stores a finite sample")
    where = np.repeat(firsts - (np.cumsum(lengths) - lengths), lengths) + np.arange(total)
    return Map(where, values)


_DAMAGED = "frame is damaged: its non-finite map does not match the signal"
_RUN_BYTES = 5


def _inflate(section: bytes, most: int) -> bytes:
    inflater = zlib.decompressobj()
    try:
        data = inflater.decompress(section, most + 1)
    except zlib.error:
        raise ValueError(_DAMAGED) from None
    # Longer than any honest map, cut short, or followed by other bytes: all damage.
    if len(data) > most or not inflater.eof or inflater.unused_data:
        raise ValueError(_DAMAGED)
    return data


def _runs(data: npt.NDArray[np.uint8], count: int) -> tuple[npt.NDArray[np.int64], int]:
    """The run lengths and where the samples' bytes start, refusing any run out of place."""
    ends = np.flatnonzero(data < 0x80)  # the last byte of every LEB128 number
    if ends.size == 0 or ends[0] >= _RUN_BYTES:
        raise ValueError(_DAMAGED)
    number = int(_numbers(data, np.array([0]), ends[:1])[0])
    if not 2 <= number <= count + 1 or ends.size < number + 1:
        raise ValueError(_DAMAGED)
    last = ends[1 : number + 1]
    first = np.concatenate(([ends[0] + 1], last[:-1] + 1))
    if (last - first >= _RUN_BYTES).any():
        raise ValueError(_DAMAGED)
    runs = _numbers(data, first, last)
    # Every run holds samples, but the first finite one when the signal starts non-finite.
    if (runs > count).any() or (runs[1:] == 0).any() or int(runs.sum()) != count:
        raise ValueError(_DAMAGED)
    return runs, int(last[-1]) + 1


def _numbers(
    data: npt.NDArray[np.uint8], first: npt.NDArray[np.int64], last: npt.NDArray[np.int64]
) -> npt.NDArray[np.int64]:
    values = np.zeros(first.size, np.int64)
    for k in range(_RUN_BYTES):
        within = first + k <= last
        at = np.minimum(first + k, last)
        values |= np.where(within, (data[at] & 0x7F).astype(np.int64) << (7 * k), 0)
    return values


def _bits(values: npt.NDArray[np.generic]) -> npt.NDArray[np.generic]:
    # Integer views copy NaN payloads untouched; float moves may quiet signalling NaNs.
    return values.view(f"=u{values.dtype.itemsize}")
