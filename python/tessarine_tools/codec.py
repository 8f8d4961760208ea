"""numcodecs codec: each 1-D lane along a chunk's last axis becomes one frame, or, under a
bound with joint=True (the default), the chunk's lanes become the channels of one frame.

Chunk layouts (little-endian), documented in docs/format.md (sections 8 and 9.2):
    per lane:  u32 lane count L, L x u32 byte length of each lane's frame (or bare container
               with plain=True), the L frames back to back;
    joint:     one multichannel frame ("TSRF", version 2), the lanes as its channels.
Lane sample counts and the dtype live inside the frames themselves, so a chunk decodes
without knowing its array. Each lane keeps its own bound on its own samples.
"""

from __future__ import annotations

import struct
from collections.abc import Iterator
from typing import Any

import numpy as np
from numcodecs.abc import Codec
from numcodecs.compat import ensure_contiguous_ndarray, ensure_ndarray

from tessarine_tools import _native, compress, decompress
from tessarine_tools._settings import FIELD_NAMES, CodecSettings, check_threads

_COUNT = struct.Struct("<I")
_FRAME_2 = b"TSRF\x02"  # a chunk whose lanes were coded together is one multichannel frame


class Tessarine(Codec):  # type: ignore[misc]
    """numcodecs codec ``"tessarine"`` for arrays of sampled signals, time along the last axis.

    Each row along a chunk's last axis becomes one frame; the chunk layout is in
    docs/format.md (section 8). The keywords are read back as attributes
    (``codec.max_error``) and held as one `settings` value.

    Parameters
    ----------
    threads : int, default 1
        Threads that code the blocks of one long row; never stored, the bytes do not depend on it.
    **keywords
        `tessarine_tools.compress`'s settings: either ``method``, ``scale``, ``cutoff``, or
        bounds ``max_error``, ``rel_error``, ``psnr`` (``method`` may join them, "best"
        included), or ``lossless=True``; and ``coder``, ``plain``, ``block_size``.
        ``max_error`` holds for every sample; ``rel_error`` and ``psnr`` use each row's
        range, zarr's padding of edge chunks included.

    Raises
    ------
    TypeError, ValueError
        Unknown keywords or settings that conflict, when the codec is made.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarine_tools.codec import Tessarine
    >>> codec = Tessarine(max_error=0.5)
    >>> chunk = np.array([[1, 2, 3], [7, 8, 9]], dtype=np.int32)
    >>> codec.decode(codec.encode(chunk)).reshape(2, 3).tolist()
    [[1, 2, 3], [7, 8, 9]]
    >>> codec.get_config()
    {'id': 'tessarine', 'max_error': 0.5, 'coder': 'arans', 'plain': False}
    """

    codec_id = "tessarine"

    def __init__(self, threads: int = 1, **keywords: Any) -> None:
        # Blocks of one long lane are coded on `threads` threads; it never changes the bytes,
        # so it stays out of the stored config.
        self._threads = check_threads(threads)
        for name in keywords:
            if name not in FIELD_NAMES:  # as if the names were spelled out
                raise TypeError(f"Tessarine.__init__() got an unexpected keyword argument {name!r}")
        self._settings = CodecSettings(**keywords)
        # Fail at configuration time, not on the first chunk of a long write.
        compress(np.arange(8, dtype=np.float32), **self._settings.keywords())

    @property
    def settings(self) -> CodecSettings:
        return self._settings

    def __getattr__(self, name: str) -> Any:
        # Only reached for names the instance lacks; never touch _settings before it exists.
        if name in FIELD_NAMES:
            return getattr(self._settings, name)
        raise AttributeError(f"{type(self).__name__!r} object has no attribute {name!r}")

    def __setattr__(self, name: str, value: Any) -> None:
        # A changed attribute would be ignored by encode: refuse it rather than mislead.
        if name in FIELD_NAMES:
            raise AttributeError(f"{name} is fixed when the codec is made; make a new codec")
        super().__setattr__(name, value)

    def __repr__(self) -> str:
        listed = ", ".join(f"{name}={getattr(self, name)!r}" for name in sorted(FIELD_NAMES))
        return f"{type(self).__name__}({listed})"

    def get_config(self) -> dict[str, Any]:
        # Only what was set, so configs stay short and from_config sees the same keywords.
        return {"id": self.codec_id, **self._settings.keywords()}

    def encode(self, buf: Any) -> bytes:
        lanes = _lanes(ensure_ndarray(buf))
        keywords = self._settings.keywords()
        if self._joins(lanes):
            # The lanes as the channels of one frame, which is the whole chunk, unless no lane
            # was predicted from another: its channels are then exactly the per-lane frames,
            # which cost a few bytes less laid out per lane.
            joint = compress(lanes, threads=self._threads, **keywords)
            spans = _native.channel_spans(joint)
            if any(terms for _, _, terms in spans):
                return joint
            frames = [joint[offset : offset + size] for offset, size, _ in spans]
        else:
            frames = [compress(lane, threads=self._threads, **keywords) for lane in lanes]
        head = _COUNT.pack(len(frames)) + b"".join(_COUNT.pack(len(f)) for f in frames)
        return head + b"".join(frames)

    def _joins(self, lanes: np.ndarray) -> bool:
        settings = self._settings
        bounded = settings.resolved.bound is not None and settings.method is None
        return settings.joint and bounded and not settings.plain and lanes.shape[0] > 1

    def decode(self, buf: Any, out: Any = None) -> Any:
        chunk = ensure_contiguous_ndarray(buf).view(np.uint8)
        if chunk[:5].tobytes() == _FRAME_2:
            return _joint_lanes(decompress(chunk.tobytes(), threads=self._threads), out)
        frames = lane_frames(buf)
        if out is None:
            parts = [decompress(f, threads=self._threads) for f in frames]
            _check_same_lanes(parts)
            if len(parts) == 1:  # as decoded: a copy would touch every page of a long lane
                return parts[0]
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
            decompress(frame, out=row, threads=self._threads)
        return out


def _joint_lanes(lanes: np.ndarray, out: Any) -> Any:
    """A joint chunk's channels, flat as per-lane chunks decode, or into `out`."""
    if out is None:
        return lanes.reshape(-1)
    target = ensure_contiguous_ndarray(out)
    if target.size != lanes.size or target.dtype != lanes.dtype:
        raise ValueError(
            f"tessarine chunk holds {lanes.size} {lanes.dtype} values, which cannot fill "
            f"{target.size} {target.dtype} values"
        )
    np.copyto(target.reshape(lanes.shape), lanes)
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
