"""A frame file read a window at a time: only the header, the block index and the blocks a
window needs are read, each block's checksum checked before the chunks of it that the window
holds are decoded."""

from __future__ import annotations

import os
from collections.abc import Iterator
from typing import BinaryIO, cast, overload

import numpy as np
import numpy.typing as npt

from . import _native
from ._api import decompress, window_of
from ._context import Context
from ._frame import FRAME_2

_HEADER_SIZE = 53
_TRAILER_SIZE = 20
Block = tuple[int, int, int, int, int, float, int]  # first, samples, offset, size, kind, ..., crc


class FrameReader(Context):
    """A version-2 frame file read a window at a time: len(), reader[a:b], read() and
    iteration over its blocks; only the blocks a window needs are read and checked.

    Made by ``tessarine_tools.open(path)``.

    Parameters
    ----------
    source : str, os.PathLike or binary file
        The frame file.

    Raises
    ------
    ValueError
        A file that is not a version-2 frame (read it whole with `decompress`), or damaged.

    Examples
    --------
    >>> import numpy as np
    >>> import tessarine_tools as tt
    >>> path = "codes.tsrn"
    >>> with open(path, "wb") as file:
    ...     _ = file.write(tt.compress(np.arange(100, dtype=np.int32), lossless=True, block_size=16))
    >>> with tt.open(path) as reader:
    ...     (reader.dtype.name, reader.block_count, reader[-3:].tolist())
    ('int32', 7, [97, 98, 99])
    """

    def __init__(self, source: str | os.PathLike[str] | BinaryIO) -> None:
        self._owned = not hasattr(source, "read")
        opened = open(source, "rb") if self._owned else source  # type: ignore[arg-type]
        self._file: BinaryIO = cast(BinaryIO, opened)
        try:
            self._size = self._file.seek(0, os.SEEK_END)
            head = self._read(0, _HEADER_SIZE)
            if head[:5] != FRAME_2:
                raise ValueError(
                    "not a version-2 frame: read it whole with tessarine_tools.decompress"
                )
            fields = _native.frame_head(head)
            if fields["channels"]:
                raise ValueError(
                    "a frame of several channels: read it with tessarine_tools.decompress"
                )
            self.dtype = np.dtype(fields["dtype"])
            self._count = int(fields["sample_count"])
            self._blocks = self._index(head) if fields["blocked"] else None
        except BaseException:
            self.close()
            raise

    @property
    def block_count(self) -> int:
        return 1 if self._blocks is None else len(self._blocks)

    @property
    def block_size(self) -> int:
        return self._count if self._blocks is None else self._blocks[0][1]

    def __len__(self) -> int:
        return self._count

    @overload
    def __getitem__(self, key: int) -> np.generic: ...
    @overload
    def __getitem__(self, key: slice) -> npt.NDArray[np.generic]: ...
    def __getitem__(self, key: int | slice) -> np.generic | npt.NDArray[np.generic]:
        if isinstance(key, slice):
            low, high = window_of(key.start, key.stop, self._count)
            window = self.read(low, high)
            return window if key.step in (None, 1) else window[:: key.step]
        index = int(key) + (self._count if int(key) < 0 else 0)
        if not 0 <= index < self._count:
            raise IndexError(f"sample {key} is outside a frame of {self._count}")
        return self.read(index, index + 1)[0]  # type: ignore[no-any-return]

    def read(self, start: int | None = None, stop: int | None = None) -> npt.NDArray[np.generic]:
        """Samples [start, stop), as a slice takes them."""
        low, high = window_of(start, stop, self._count)
        if self._blocks is None:
            return decompress(self._read(0, self._size), start=low, stop=high)
        out = np.empty(high - low, self.dtype)
        for block in self._blocks:
            first, samples = block[0], block[1]
            if first < high and first + samples > low:
                part_low, part_high = max(low, first), min(high, first + samples)
                data = self._read(_HEADER_SIZE + block[2], block[3])
                _native.decode_block(
                    self.dtype.str[1:],
                    block,
                    data,
                    out[part_low - low : part_high - low],
                    part_low - first,
                    part_high - first,
                )
        return out

    def __iter__(self) -> Iterator[npt.NDArray[np.generic]]:
        """Each block's samples in order."""
        if self._blocks is None:
            yield self.read()
            return
        for block in self._blocks:
            yield self._decode(block)

    def close(self) -> None:
        if self._owned:
            self._file.close()

    def _leave(self, failed: bool) -> None:
        self.close()

    def _index(self, head: bytes) -> list[Block]:
        body_size = self._size - _HEADER_SIZE
        if body_size < _TRAILER_SIZE:
            raise ValueError("frame is damaged: its block index is cut short")
        tail_size = _native.block_tail_size(self._read(self._size - _TRAILER_SIZE, _TRAILER_SIZE))
        if tail_size > body_size:
            raise ValueError("frame is damaged: its block index is cut short")
        tail = self._read(self._size - tail_size, tail_size)
        return [tuple(b) for b in _native.block_layout(head, tail, body_size)]  # type: ignore[misc]

    def _decode(self, block: Block) -> npt.NDArray[np.generic]:
        data = self._read(_HEADER_SIZE + block[2], block[3])
        return _native.decode_block(self.dtype.str[1:], block, data, np.empty(block[1], self.dtype))

    def _read(self, offset: int, size: int) -> bytes:
        self._file.seek(offset)
        data = self._file.read(size)
        if len(data) != size:
            raise ValueError("frame is damaged: the file ends early")
        return data
