"""A zarr store described from its metadata, its chunks' sizes and, where the chunks use the
tessarine layout, each lane's header: no chunk payload is read, nothing is decoded."""

from __future__ import annotations

import asyncio
import itertools
import struct
from collections import Counter
from collections.abc import Mapping
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from tessarine_tools.cli import lane_header
from tessarine_tools.cli.errors import DataError
from tessarine_tools.cli.store import checked_attributes

_INDEX_START = 4  # a chunk starts with its lane count, then each lane's length (u32 each)
# ... unless its lanes were coded together: then it is one frame of body kind 3 (channels),
# a channel table after the 53-byte header, then each channel's own frame.
_FRAME_2, _FRAME_HEADER, _BODY_KIND, _CHANNELS = b"TSRF\x02", 53, 44, 3


@dataclass
class Channel:
    name: str
    chunks: int = 0
    stored_bytes: int = 0
    bodies: Counter[str] = field(default_factory=Counter)
    bounds: set[str] = field(default_factory=set)
    largest_error: float | None = None

    def add(self, length: int, header: lane_header.LaneHeader) -> None:
        self.chunks += 1
        self.stored_bytes += length
        self.bodies[header.body] += 1
        self.bounds.add(", ".join(f"{n}={v:g}" for n, v in header.bound.items()) or "none")
        if header.largest_error is not None:
            self.largest_error = max(self.largest_error or 0.0, header.largest_error)


@dataclass
class StoreSummary:
    zarr_format: int
    shape: tuple[int, ...]
    dtype: Any
    chunk_shape: tuple[int, ...]
    codecs: list[str]
    attributes: dict[str, Any]
    chunks_stored: int
    chunk_bytes: int
    channels: list[Channel]  # empty unless the chunks use the tessarine layout


def summarise(store: Any, sizes: Mapping[str, int], where: str, path: str = "") -> StoreSummary:
    """`sizes` maps every key of the store to its size in bytes, as its listing gives them;
    `path` names an array inside a group."""
    array = _open(store, where, path)
    attributes = (
        checked_attributes(Path(where), dict(array.attrs), array)
        if array.ndim == 2 and not path
        else {}
    )
    keys = [k for k in _chunk_keys(array, path) if k in sizes]
    summary = StoreSummary(
        array.metadata.zarr_format,
        array.shape,
        array.dtype,
        array.chunks,
        _codec_names(array),
        attributes,
        len(keys),
        sum(sizes[k] for k in keys),
        [],
    )
    if _tessarine_layout(array) and array.ndim <= 2:
        summary.channels = _channels(store, array, keys, sizes, attributes, where)
    return summary


def _open(store: Any, where: str, path: str = "") -> Any:
    import zarr

    try:
        return zarr.open_array(store, path=path, mode="r")
    except Exception as error:  # zarr raises many types for an unreadable store
        raise DataError(f"{where}: not a readable zarr array ({_first_line(error)})") from None


def _first_line(error: Exception) -> str:
    return (str(error).strip().splitlines() or [type(error).__name__])[0]


def _chunk_keys(array: Any, path: str = "") -> list[str]:
    grid = itertools.product(*(range(n) for n in array.cdata_shape))
    prefix = f"{path}/" if path else ""
    return [prefix + array.metadata.encode_chunk_key(coords) for coords in grid]


def _codecs(array: Any) -> list[Any]:
    serializer = getattr(array, "serializer", None)
    return [*array.filters, *([serializer] if serializer is not None else []), *array.compressors]


def _codec_names(array: Any) -> list[str]:
    def name(codec: Any) -> str:
        return str(getattr(codec, "codec_id", None) or codec.to_dict()["name"])

    return [name(c) for c in _codecs(array)]


def _tessarine_layout(array: Any) -> bool:
    """Chunks hold the tessarine layout when tessarine produces the stored bytes, last."""
    from tessarine_tools.codec import Tessarine
    from tessarine_tools.zarr3 import TessarineCodec

    last = (list(array.compressors) or [getattr(array, "serializer", None)])[-1]
    return isinstance(last, (Tessarine, TessarineCodec))


def _channels(
    store: Any,
    array: Any,
    keys: list[str],
    sizes: Mapping[str, int],
    attributes: dict[str, Any],
    where: str,
) -> list[Channel]:
    rows = array.shape[0] if array.ndim == 2 else 1
    names = attributes.get("channel_names") or [f"ch{i}" for i in range(rows)]
    channels = [Channel(n) for n in names]
    lanes_per_chunk = array.chunks[0] if array.ndim == 2 else 1
    coords = itertools.product(*(range(n) for n in array.cdata_shape))
    prefix = f"{array.path}/" if array.path else ""
    first_row = {
        prefix + array.metadata.encode_chunk_key(c): c[0] * lanes_per_chunk
        if array.ndim == 2
        else 0
        for c in coords
    }
    read = _ChunkReader(store, where)
    found = asyncio.run(read.all(keys, sizes))
    for key, lanes in zip(keys, found):
        if len(lanes) != lanes_per_chunk:
            raise DataError(f"{where}: chunk {key} holds {len(lanes)} lanes, not {lanes_per_chunk}")
        for row, (length, header) in enumerate(lanes, start=first_row[key]):
            if row < rows:  # rows past the array's edge are zarr's padding
                channels[row].add(length, header)
    return channels


class _ChunkReader:
    """Reads each chunk's lane index and its lanes' headers with ranged requests."""

    def __init__(self, store: Any, where: str) -> None:
        self.store, self.where = store, where

    async def all(self, keys: list[str], sizes: Mapping[str, int]) -> list[list[Any]]:
        return list(await asyncio.gather(*(self.lanes(k, sizes[k]) for k in keys)))

    async def lanes(self, key: str, size: int) -> list[tuple[int, lane_header.LaneHeader]]:
        # One request covers the usual chunk: one lane, its count, its length and its header.
        head = await self.bytes(key, 0, min(size, 8 + lane_header.FIRST_READ))
        if head[:5] == _FRAME_2 and len(head) > _BODY_KIND and head[_BODY_KIND] == _CHANNELS:
            return await self.joint_lanes(key, size)
        count = struct.unpack_from("<I", head)[0] if len(head) >= 4 else -1
        end = _INDEX_START + 4 * count
        if count < 0 or end > size:
            raise DataError(f"{self.where}: chunk {key} is not in the tessarine layout")
        index = head[_INDEX_START:end] if end <= len(head) else await self.bytes(key, 4, end)
        lengths = struct.unpack(f"<{count}I", index)
        if end + sum(lengths) != size:
            raise DataError(
                f"{self.where}: chunk {key} is damaged: its lanes do not add up to its size"
            )
        lanes, offset = [], end
        for length in lengths:
            lanes.append((length, await self.header(key, head, offset, length)))
            offset += length
        return lanes

    async def joint_lanes(self, key: str, size: int) -> list[tuple[int, lane_header.LaneHeader]]:
        """A chunk whose lanes were coded together: one frame, its channels' frames inside."""
        table = await self.bytes(key, _FRAME_HEADER, min(size, _FRAME_HEADER + 12))
        if len(table) < 12:
            raise DataError(f"{self.where}: chunk {key} is damaged: its channel table is cut short")
        count = struct.unpack_from("<I", table)[0]
        longest = _FRAME_HEADER + 12 + count * (14 + 9 * 8)
        table = await self.bytes(key, _FRAME_HEADER, min(size, longest))
        lengths, at = [], 12
        for _ in range(count):
            if at + 10 > len(table):
                raise DataError(
                    f"{self.where}: chunk {key} is damaged: its channel table is cut short"
                )
            length, terms = struct.unpack_from("<QB", table, at)
            lengths.append(length)
            at += 10 + (4 + 9 * terms if terms else 0)
        offset = _FRAME_HEADER + at
        if offset + sum(lengths) != size:
            raise DataError(
                f"{self.where}: chunk {key} is damaged: its lanes do not add up to its size"
            )
        lanes = []
        for length in lengths:
            lanes.append((length, await self.header(key, b"", offset, length)))
            offset += length
        return lanes

    async def header(self, key: str, head: bytes, offset: int, length: int) -> Any:
        stop = offset + min(length, lane_header.FIRST_READ)
        prefix = head[offset:stop] if stop <= len(head) else await self.bytes(key, offset, stop)
        more = min(length, lane_header.needed(prefix)) - len(prefix)
        if more > 0:
            prefix += await self.bytes(key, stop, stop + more)
        try:
            return lane_header.read(prefix)
        except ValueError as error:
            raise DataError(f"{self.where}: chunk {key}: {error}") from None

    async def bytes(self, key: str, start: int, stop: int) -> bytes:
        from zarr.abc.store import RangeByteRequest
        from zarr.core.buffer import default_buffer_prototype

        found = await self.store.get(key, default_buffer_prototype(), RangeByteRequest(start, stop))
        if found is None:
            raise DataError(f"{self.where}: chunk {key} vanished while being read")
        return bytes(found.to_bytes())
