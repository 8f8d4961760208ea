"""The residual layer: what the wavelet container misses, quantised finely enough to meet a bound.

A frame's decoded signal is `finish(base)`, or `base` plus the dequantised residual, computed the
same way by the encoder (to verify it) and the decoder: what the encoder checks is what the caller
gets.
"""

from __future__ import annotations

import math
import struct
import zlib
from dataclasses import dataclass, replace
from functools import cached_property

import numpy as np
import numpy.typing as npt

from . import _native
from ._bounds import Bound
from ._signal import Signal, errors

_HEAD = struct.Struct("<BBBBd")  # kind, coder, byte width, predictor, step
_FLOAT_STEP, _INT_STEP, _VERBATIM = 0, 1, 2
_ZLIB, _ARANS = 0, 1
_MAX_STEPS = 2.0**62
_MAX_INT_STEP = 2.0**41 + 1  # 2 * 2**40 + 1: the widest bin _int_layer makes
_ZLIB_MOST_PER_BYTE = 1032  # DEFLATE's largest expansion: 258 bytes per 2 bits
_ARANS_MOST_PER_BYTE = 2840  # 8 bits over 8 decisions of -log2(4095/4096) bits each
_ARANS_STATE_BYTES = 1 << 16  # more than the two planes' 32-bit start states alone can code
_MAX_PAIRS = 1 << 28
_TRY_DEFLATE_FROM_RATIO = 32


def finish(base: npt.NDArray[np.float32], dtype: np.dtype[np.generic]) -> npt.NDArray[np.generic]:
    """The decoded container in the caller's dtype: integers rounded and clipped to their range."""
    if dtype.kind == "f":
        return base.astype(dtype)
    info = np.iinfo(dtype.str)
    high = float(info.max)
    if int(high) > info.max:  # 2**63 - 1 and 2**64 - 1 round up as floats
        high = float(np.nextafter(high, 0.0))
    return np.clip(np.rint(base.astype(np.float64)), float(info.min), high).astype(dtype)


@dataclass(frozen=True)
class Layer:
    """A quantised residual and the signal it decodes to (`values`: step counts, or raw samples)."""

    kind: int
    step: float
    values: npt.NDArray[np.generic]
    out: npt.NDArray[np.generic]
    delta: bool = False  # code each step count as its difference from the previous one

    @property
    def empty(self) -> bool:
        return self.kind != _VERBATIM and not self.values.any()

    @cached_property
    def packed(self) -> bytes:
        if self.empty:
            return b""
        if self.kind == _VERBATIM:
            return _pack_unsigned(_VERBATIM, 0.0, self.values, False)
        steps = np.diff(self.values, prepend=0) if self.delta else self.values
        return _pack(self.kind, self.step, steps, self.delta)  # type: ignore[arg-type]


def quantise(
    signal: Signal, base: npt.NDArray[np.float32], bound: Bound, delta: bool = False
) -> Layer:
    """The coarsest residual found that makes `base` meet `bound`; verbatim samples if none does.

    `delta` suits a residual that follows the signal (a flat base): its step counts are correlated.
    """
    span = signal.span
    tolerance, rmse = bound.limits(span)
    # A uniform error of +-t has RMS t/sqrt(3); the margin spares most second attempts.
    tolerance = min(tolerance, 0.97 * rmse * math.sqrt(3.0))
    alone = finish(base, signal.dtype)
    if not delta and bound.excess(errors(signal, alone), span) <= 1.0:
        return Layer(_FLOAT_STEP, 0.0, np.zeros(base.size, np.int64), alone)
    is_float = signal.dtype.kind == "f"
    layer_of = _float_layer if is_float else _int_layer
    shrink = 0.9 if is_float else 0.5
    for attempt in range(4):
        layer = layer_of(signal, base, tolerance * shrink**attempt)
        if layer is None:
            break
        if bound.excess(errors(signal, layer.out), span) <= 1.0:
            return replace(layer, delta=delta)
    return verbatim(signal)


def _float_layer(signal: Signal, base: npt.NDArray[np.float32], tolerance: float) -> Layer | None:
    finite = signal.reference[signal.finite]
    largest = float(np.max(np.abs(finite))) if finite.size else 0.0
    with np.errstate(over="ignore"):  # float16's spacing near its largest value overflows to inf
        # The rounding to the caller's dtype.
        rounding = float(np.spacing(signal.dtype.type(largest))) / 2.0
    step = 2.0 * (tolerance - rounding) * (1.0 - 2.0**-20)
    if not step > 0.0:
        return None
    gap = np.subtract(signal.reference, base, out=np.zeros(base.size), where=signal.finite)
    if float(np.max(np.abs(gap))) / step >= _MAX_STEPS:
        return None
    steps = np.rint(gap / step).astype(np.int64)
    return Layer(_FLOAT_STEP, step, steps, _float_out(base, steps, step, signal.dtype))


def _int_layer(signal: Signal, base: npt.NDArray[np.float32], tolerance: float) -> Layer | None:
    allowed = int(min(math.floor(tolerance), 2**40))  # outputs miss by whole units only
    width = 2 * allowed + 1
    near = finish(base, signal.dtype)
    if float(np.max(np.abs(signal.reference - near.astype(np.float64)))) >= 2.0**62:
        return None  # differences beyond 63 bits: only 64-bit data this far off, stored verbatim
    gap = (signal.raw.astype(np.uint64) - near.astype(np.uint64)).view(np.int64)
    steps = (gap + allowed) // width  # |gap - steps * width| <= allowed
    return Layer(_INT_STEP, float(width), steps, _int_out(near, steps, width))


def _float_out(
    base: npt.NDArray[np.float32],
    steps: npt.NDArray[np.int64],
    step: float,
    dtype: np.dtype[np.generic],
) -> npt.NDArray[np.generic]:
    # A sample beyond a float16's range becomes inf and fails the check.
    with np.errstate(over="ignore"):
        # In place: a long layer keeps two samples' worth of float64 alive, not four.
        moved = steps.astype(np.float64)
        moved *= step
        moved += base
        return moved.astype(dtype)


def _int_out(
    near: npt.NDArray[np.generic], steps: npt.NDArray[np.int64], width: int
) -> npt.NDArray[np.generic]:
    moved = near.astype(np.uint64) + (steps * width).view(np.uint64)
    return moved.astype(near.dtype)


def verbatim(signal: Signal) -> Layer:
    """The samples stored as they are: the layer that meets every bound."""
    return verbatim_samples(signal.raw)


def verbatim_samples(raw: npt.NDArray[np.generic]) -> Layer:
    """The same for contiguous native-order samples of any dtype, non-finite floats included."""
    return Layer(_VERBATIM, 0.0, raw.view(f"=u{raw.dtype.itemsize}"), raw.copy())


def decode(
    section: bytes, base: npt.NDArray[np.float32] | None, count: int, dtype: np.dtype[np.generic]
) -> npt.NDArray[np.generic]:
    """The samples a layer decodes to; no base means zeros (a frame without container)."""
    kind, coder, width, delta, step = check(section, count, dtype)
    unsigned = _unplane(_decode_bytes(coder, section[_HEAD.size :], count * width), width, count)
    if kind == _VERBATIM:
        if width > dtype.itemsize and (unsigned >> np.uint64(8 * dtype.itemsize)).any():
            raise ValueError("frame is damaged: a verbatim sample is wider than its type")
        return unsigned.astype(f"<u{dtype.itemsize}").view(dtype.newbyteorder("<")).astype(dtype)
    steps = _unzigzag(unsigned)
    del unsigned
    if delta:
        np.cumsum(steps, out=steps)
    if base is None:
        base = np.zeros(count, np.float32)
    if kind == _FLOAT_STEP:
        return _float_out(base, steps, step, dtype)
    return _int_out(finish(base, dtype), steps, int(step))


def check(
    section: bytes, count: int, dtype: np.dtype[np.generic]
) -> tuple[int, int, int, int, float]:
    """The layer's head, refused unless its payload can hold `count` values: cheap, and called
    before anything is inflated or allocated."""
    head = _checked_head(section, dtype)
    coder, width, payload = head[1], head[2], section[_HEAD.size :]
    expected = count * width
    if coder == _ARANS and _stream_size(payload) != expected:
        raise ValueError("frame is damaged: its residual layer has the wrong length")
    if coder == _ZLIB and expected > _ZLIB_MOST_PER_BYTE * len(payload) + 64:
        raise ValueError("frame is damaged: its residual layer has the wrong length")
    return head


def _checked_head(section: bytes, dtype: np.dtype[np.generic]) -> tuple[int, int, int, int, float]:
    if len(section) < _HEAD.size:
        raise ValueError("frame is damaged: its residual layer is cut short")
    kind, coder, width, delta, step = _HEAD.unpack_from(section)
    if kind > _VERBATIM or coder > _ARANS or delta > 1 or width not in (1, 2, 4, 8):
        raise ValueError("frame is damaged: unknown residual layer kind, coder or width")
    if kind == _VERBATIM:
        good = step == 0.0 and not delta
    elif kind == _FLOAT_STEP:
        good = dtype.kind == "f" and math.isfinite(step) and step > 0.0
    else:  # an odd whole number of units, as wide as the encoder ever makes it
        good = dtype.kind != "f" and 1.0 <= step <= _MAX_INT_STEP and step % 2.0 == 1.0
    if not good:
        raise ValueError("frame is damaged: its residual layer's step does not fit its kind")
    return kind, coder, width, delta, step


def _pack(kind: int, step: float, steps: npt.NDArray[np.int64], delta: bool) -> bytes:
    zigzag = (steps.view(np.uint64) << np.uint64(1)) ^ (steps >> 63).view(np.uint64)
    return _pack_unsigned(kind, step, zigzag, delta)


def _unzigzag(values: npt.NDArray[np.uint64]) -> npt.NDArray[np.int64]:
    """Decoded in place: `values` is the decoder's own copy."""
    signs = values & np.uint64(1)
    np.negative(signs, out=signs)  # 0 or all ones, modulo 2**64
    values >>= np.uint64(1)
    values ^= signs
    return values.view(np.int64)


def _pack_unsigned(kind: int, step: float, values: npt.NDArray[np.generic], delta: bool) -> bytes:
    largest = int(values.max()) if values.size else 0
    # Byte-sized values go one per byte: 16-bit lanes were within 10% either way, at twice the cost.
    width = next(w for w in (1, 2, 4, 8) if largest < 1 << (8 * w))
    planes = _plane(values.astype(np.uint64), width)
    coder, payload = _ARANS, bytes(_native.encode_bytes(planes))
    # The stream coder wins on every measured residual except nearly all-zero ones, where DEFLATE's
    # long matches can win and cost little time.
    if len(payload) * _TRY_DEFLATE_FROM_RATIO < len(planes):
        deflated = zlib.compress(planes, 6)
        if len(deflated) < len(payload):
            coder, payload = _ZLIB, deflated
    return _HEAD.pack(kind, coder, width, delta, step) + payload


def _plane(values: npt.NDArray[np.uint64], width: int) -> bytes:
    """One byte per value for width 1; otherwise 16-bit lanes, lane 0 of every value first."""
    if width == 1:
        return values.astype(np.uint8).tobytes()
    # The stream coder models the low and high byte of each lane apart.
    lanes = values.astype("<u8").view(np.uint8).reshape(-1, 8)[:, :width]
    return np.ascontiguousarray(lanes.reshape(values.size, -1, 2).transpose(1, 0, 2)).tobytes()


def _unplane(data: bytes, width: int, count: int) -> npt.NDArray[np.uint64]:
    raw = np.frombuffer(data, dtype=np.uint8)
    if raw.size != count * width:
        raise ValueError("frame is damaged: its residual layer has the wrong length")
    if width == 1:
        return raw.astype(np.uint64)
    lanes = width // 2
    wide = np.zeros((count, 8), dtype=np.uint8)
    wide[:, :width] = raw.reshape(lanes, count, 2).transpose(1, 0, 2).reshape(count, -1)
    return wide.view("<u8").reshape(count).astype(np.uint64, copy=False)


def _decode_bytes(coder: int, payload: bytes, expected: int) -> bytes:
    """Exactly `expected` bytes (`check` has shown the payload can hold them)."""
    if coder == _ARANS:
        return bytes(_native.decode_bytes(payload))
    return inflate_exactly(payload, expected)


def inflate_exactly(payload: bytes, expected: int) -> bytes:
    """A whole zlib stream of exactly `expected` bytes with nothing after it; ValueError otherwise."""
    inflater = zlib.decompressobj()
    try:
        data = inflater.decompress(payload, expected + 1)  # one more shows a longer stream
    except zlib.error as error:
        raise ValueError(f"frame is damaged: {error}") from None
    if len(data) != expected or not inflater.eof or inflater.unused_data:
        raise ValueError("frame is damaged: a zlib section has the wrong length or trailing bytes")
    return data


def _stream_size(payload: bytes) -> int:
    """The byte count a stream-coded payload declares (docs/format.md 4.1), -1 if it cannot."""
    if len(payload) <= 5:
        return len(payload)
    pairs, end = _leb128(payload, 2)
    if pairs < 0 or pairs > _MAX_PAIRS:
        return -1
    size = 2 * pairs + (payload[0] & 1)
    # An adaptive binary model codes a byte in no fewer than 8 * -log2(4095/4096) bits.
    return size if size <= _ARANS_MOST_PER_BYTE * len(payload) + _ARANS_STATE_BYTES else -1


def _leb128(data: bytes, pos: int) -> tuple[int, int]:
    value = 0
    for shift in range(0, 70, 7):
        if pos >= len(data):
            return -1, pos
        byte = data[pos]
        pos += 1
        value |= (byte & 0x7F) << shift
        if byte < 0x80:
            return value, pos
    return -1, pos
