"""The frame: a container wrapped with what it cannot carry, under a CRC-32.

Layout (little-endian): magic "TSRF", version, CRC-32 of every byte after the CRC field, input dtype
(kind, item size), sample count, the bound asked for, the settings used, the three section
lengths, then the container (empty when the residual layer carries the whole signal), the
residual layer and the non-finite map.
"""

from __future__ import annotations

import struct
import zlib
from dataclasses import dataclass

import numpy as np

from . import _bounds
from ._bounds import Bound
from ._native import CODERS, CUTOFFS, MAX_SCALE, METHODS, MIN_SCALE

MAGIC = b"TSRF"
VERSION = 1
FRAME_2 = MAGIC + bytes([2])  # made and read natively: the bounded predictive coder
_PREFIX = struct.Struct("<4sBI")
_BODY = struct.Struct(f"<cBQ{_bounds.SIZE}sBBBB3Q")
HEADER_SIZE = _PREFIX.size + _BODY.size
SCALES = range(MIN_SCALE, MAX_SCALE + 1)
MAX_SAMPLES = 2147483647  # the container's own limit, kept for frames without one


@dataclass(frozen=True)
class Settings:
    method: int
    scale: int
    cutoff: int
    coder: int


@dataclass(frozen=True)
class Frame:
    dtype: np.dtype[np.generic]
    sample_count: int
    bound: Bound | None
    settings: Settings
    container: bytes
    residual: bytes = b""
    nonfinite: bytes = b""

    def pack(self) -> bytes:
        s = self.settings
        bound = (self.bound or Bound()).pack()
        kind = self.dtype.kind.encode()
        sizes = (len(self.container), len(self.residual), len(self.nonfinite))
        head = (
            kind,
            self.dtype.itemsize,
            self.sample_count,
            bound,
            s.method,
            s.scale,
            s.cutoff,
            s.coder,
        )
        body = _BODY.pack(*head, *sizes)
        body += self.container + self.residual + self.nonfinite
        return _PREFIX.pack(MAGIC, VERSION, zlib.crc32(body)) + body


def is_frame(data: bytes) -> bool:
    return data[:4] == MAGIC


def unpack(data: bytes) -> Frame:
    if len(data) < HEADER_SIZE:
        raise ValueError("frame is damaged: it is shorter than its header")
    _, version, crc = _PREFIX.unpack_from(data)
    if version != VERSION:
        raise ValueError(f"unsupported frame version {version}")
    body = memoryview(data)[_PREFIX.size :]
    if zlib.crc32(body) != crc:
        raise ValueError("frame is damaged: checksum mismatch")
    kind, size, count, bound, method, scale, cutoff, coder, *sizes = _BODY.unpack_from(body)
    if sum(sizes) != len(body) - _BODY.size:
        raise ValueError("frame is damaged: section lengths do not match its size")
    start = HEADER_SIZE
    sections = []
    for length in sizes:
        sections.append(bytes(data[start : start + length]))
        start += length
    if size not in _SIZES.get(kind, ()):
        raise ValueError("frame is damaged: unknown sample type")
    if count > MAX_SAMPLES:
        raise ValueError("frame is damaged: impossible sample count")
    settings = Settings(method, scale, cutoff, coder)
    if not _known(settings):
        raise ValueError("frame is damaged: unknown method, scale, cutoff or coder")
    dtype = np.dtype(f"{kind.decode()}{size}")
    return Frame(dtype, count, Bound.unpack(bound), settings, *sections)


_SIZES = {b"f": (2, 4, 8), b"i": (1, 2, 4, 8), b"u": (1, 2, 4, 8)}


def _known(s: Settings) -> bool:
    return (
        s.method < len(METHODS)
        and s.scale in SCALES
        and s.cutoff < len(CUTOFFS)
        and (s.coder < len(CODERS))
    )
