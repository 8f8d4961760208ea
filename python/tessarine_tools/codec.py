"""numcodecs codec: each 1-D lane along a chunk's last axis becomes one frame.

Chunk layout (little-endian), documented in docs/format.md (section 8):
    u32 lane count L
    L x u32 byte length of each lane's frame (or bare container with plain=True)
    the L frames, back to back
Lane sample counts and the dtype live inside the frames themselves, so a chunk decodes
without knowing its array. Lanes never mix: a (channels, time) chunk keeps every channel apart.
"""

from __future__ import annotations

import struct
from collections.abc import Iterator
from typing import Any

import numpy as np
from numcodecs.abc import Codec
from numcodecs.compat import ensure_contiguous_ndarray, ensure_ndarray

from tessarine_tools import compress, decompress

_COUNT = struct.Struct("<I")
_SETTING_NAMES = ("method", "scale", "cutoff")
_BOUND_NAMES = ("max_error", "rel_error", "psnr")


class Tessarine(Codec):  # type: ignore[misc]
    """Lossy codec for arrays of sampled signals, time along the last axis.

    Takes `compress`'s keywords: either explicit settings (method, scale, cutoff) or bounds
    (max_error, rel_error, psnr; method may be given with bounds, "best" included). max_error
    holds for every sample; rel_error and psnr use each lane's range, edge-chunk padding included.
    """

    codec_id = "tessarine"

    def __init__(
        self,
        *,
        max_error: float | None = None,
        rel_error: float | None = None,
        psnr: float | None = None,
        method: str | None = None,
        scale: int | None = None,
        cutoff: str | None = None,
        coder: str = "arans",
        plain: bool = False,
    ) -> None:
        self.max_error = max_error
        self.rel_error = rel_error
        self.psnr = psnr
        self.method = method
        self.scale = scale
        self.cutoff = cutoff
        self.coder = coder
        self.plain = plain
        # Fail at configuration time, not on the first chunk of a long write.
        compress(np.arange(8, dtype=np.float32), **self._keywords())

    def _keywords(self) -> dict[str, Any]:
        names = (*_BOUND_NAMES, *_SETTING_NAMES)
        given = {name: getattr(self, name) for name in names if getattr(self, name) is not None}
        return {**given, "coder": self.coder, "plain": self.plain}

    def get_config(self) -> dict[str, Any]:
        # Only what was set, so configs stay short and from_config sees the same keywords.
        return {"id": self.codec_id, **self._keywords()}

    def encode(self, buf: Any) -> bytes:
        lanes = _lanes(ensure_ndarray(buf))
        keywords = self._keywords()
        frames = [compress(lane, **keywords) for lane in lanes]
        head = _COUNT.pack(len(frames)) + b"".join(_COUNT.pack(len(f)) for f in frames)
        return head + b"".join(frames)

    def decode(self, buf: Any, out: Any = None) -> Any:
        frames = lane_frames(buf)
        if out is None:
            parts = [decompress(f) for f in frames]
            _check_same_lanes(parts)
            return np.concatenate(parts) if parts else np.empty(0, np.float32)
        # Every element of `out` must come from the chunk: never hand back what it held before.
        shape = np.shape(out)
        target = ensure_contiguous_ndarray(out)
        lane = target.size // max(len(frames), 1)
        if lane * len(frames) != target.size:
            raise ValueError(
                f"tessarine chunk holds {len(frames)} lanes, which cannot fill {target.size} values"
            )
        if len(shape) > 1 and shape[-1] != lane:
            raise ValueError(
                f"tessarine chunk lanes of {lane} samples do not match an out of shape {shape}"
            )
        # decompress refuses a lane whose length differs from its row.
        for row, frame in zip(target.reshape(len(frames), lane), frames):
            decompress(frame, out=row)
        return out


def _check_same_lanes(parts: list[np.ndarray]) -> None:
    if any(p.dtype != parts[0].dtype or p.size != parts[0].size for p in parts[1:]):
        raise ValueError("tessarine chunk is damaged: its lanes differ in length or dtype")


def _lanes(array: np.ndarray) -> np.ndarray:
    """The chunk as rows of its last axis; a 0-d value is one lane of one sample."""
    if array.ndim == 0:
        return array.reshape(1, 1)
    return array.reshape(-1, array.shape[-1]) if array.size else array.reshape(0, 0)


def lane_frames(chunk: Any) -> list[bytes]:
    """The frames of one encoded chunk, in lane order."""
    return [bytes(f) for f in _frames(memoryview(ensure_contiguous_ndarray(chunk)).cast("B"))]


def _frames(data: memoryview) -> Iterator[memoryview]:
    if len(data) < _COUNT.size:
        raise ValueError("tessarine chunk is truncated")
    (count,) = _COUNT.unpack_from(data)
    offset = _COUNT.size * (1 + count)
    if len(data) < offset:
        raise ValueError("tessarine chunk is truncated")
    lengths = struct.unpack_from(f"<{count}I", data, _COUNT.size)
    if offset + sum(lengths) != len(data):
        raise ValueError("tessarine chunk lengths do not match its size")
    for length in lengths:
        yield data[offset : offset + length]
        offset += length
