"""What a frame or bare container says about itself, read from its fixed header bytes alone.

`info` describes files and stores without reading their payloads, so it cannot use the
library's decoders, which check the whole frame's checksum first. Nothing here is trusted for
decoding: `decompress` checks everything again.
"""

from __future__ import annotations

import struct
from dataclasses import dataclass, field

FIRST_READ = 53  # a version-2 frame's header; a container's (52) fits in it
V1_HEADER = 72
_BOUND = struct.Struct("<B3d")
_BOUND_NAMES = ("max_error", "rel_error", "psnr")
_BODIES = ("predictive", "verbatim", "blocked", "channels")
_METHODS = ("cdf53", "cdf97", "db4", "sym4")
_CUTOFFS = ("low", "medium", "high")
_CONTAINER_METHODS = {b"cf53": "cdf53", b"cf97": "cdf97", b"db04": "db4", b"sym4": "sym4"}


@dataclass(frozen=True)
class LaneHeader:
    kind: str  # "frame v1", "frame v2" or "container"
    dtype: str
    samples: int
    body: str  # how the samples are held: "predictive", "verbatim", "cdf97 scale 11", ...
    bound: dict[str, float] = field(default_factory=dict)
    largest_error: float | None = None  # version-2 frames record it


def needed(prefix: bytes) -> int:
    """How many header bytes this record needs, judged from the first FIRST_READ."""
    return V1_HEADER if prefix[:5] == b"TSRF\x01" else FIRST_READ


def read(header: bytes) -> LaneHeader:
    """The header's fields; ValueError (one line) if the bytes start no known record."""
    magic, version = header[:4], header[4:5]
    if magic == b"TSRN" and len(header) >= 52:
        return _container(header)
    if magic != b"TSRF" or not version:
        raise ValueError(
            f"not a tessarine frame or container (it starts with {bytes(header[:4])!r})"
        )
    if version[0] not in (1, 2):
        raise ValueError(f"frame version {version[0]} is newer than this program")
    if len(header) < needed(header):
        raise ValueError("frame is shorter than its header")
    dtype = _dtype(header[9:11])
    (samples,) = struct.unpack_from("<Q", header, 11)
    bound = _bound(header[19 : 19 + _BOUND.size])
    if version[0] == 1:
        return LaneHeader("frame v1", dtype, samples, _v1_body(header), bound)
    kind = header[44]
    body = _BODIES[kind] if kind < len(_BODIES) else f"body kind {kind}"
    (largest,) = struct.unpack_from("<d", header, 45)
    return LaneHeader("frame v2", dtype, samples, body, bound, largest)


def _dtype(pair: bytes) -> str:
    kind, size = chr(pair[0]), pair[1]
    if kind not in "fiu" or size not in (1, 2, 4, 8) or (kind == "f" and size == 1):
        raise ValueError("frame is damaged: unknown sample type")
    return {"f": "float", "i": "int", "u": "uint"}[kind] + str(8 * size)


def _bound(packed: bytes) -> dict[str, float]:
    flags, *values = _BOUND.unpack(packed)
    return {n: v for i, (n, v) in enumerate(zip(_BOUND_NAMES, values)) if flags >> i & 1}


def _v1_body(header: bytes) -> str:
    method, scale, cutoff, _coder = header[44:48]
    container, residual, _ = struct.unpack_from("<3Q", header, 48)
    if not container:
        return "residual layer only"
    name = _METHODS[method] if method < len(_METHODS) else f"method {method}"
    cut = _CUTOFFS[cutoff] if cutoff < len(_CUTOFFS) else f"{cutoff}"
    return f"{name} scale {scale} cutoff {cut}" + (" + residual layer" if residual else "")


def _container(header: bytes) -> LaneHeader:
    method = _CONTAINER_METHODS.get(bytes(header[8:12]), "unknown method")
    (samples,) = struct.unpack_from("<I", header, 16)
    return LaneHeader("container", "float32", samples, f"{method} scale {header[13]}")
