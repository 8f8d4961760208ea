"""open(): a frame file as a stream, read a window at a time or written block by block."""

from __future__ import annotations

import os
from typing import Any, BinaryIO, Literal, overload

from ._stream_reader import FrameReader
from ._stream_writer import FrameWriter


@overload
def open_frame(
    path: str | os.PathLike[str] | BinaryIO, mode: Literal["r"] = "r", **settings: Any
) -> FrameReader: ...
@overload
def open_frame(
    path: str | os.PathLike[str] | BinaryIO, mode: Literal["w"], **settings: Any
) -> FrameWriter: ...
def open_frame(
    path: str | os.PathLike[str] | BinaryIO, mode: str = "r", **settings: Any
) -> FrameReader | FrameWriter:
    """A frame file as a stream: a reader (mode "r") or a writer (mode "w").

    Both are context managers. A writer's file appears under `path` only once close()
    succeeds; leaving its `with` block by an exception discards it.

    Parameters
    ----------
    path : str, os.PathLike or binary file
        The frame file (a reader also takes an open binary file).
    mode : {"r", "w"}, default "r"
        Read a window at a time, or write block by block.
    **settings
        Writers only: ``dtype`` (required) and `FrameWriter`'s keywords (a bound or
        ``lossless=True``, ``value_range``, ``block_size``, ``threads``).

    Returns
    -------
    FrameReader or FrameWriter

    Raises
    ------
    TypeError
        Settings given to a reader, or a writer without ``dtype``.
    ValueError
        Another mode, a writer without a bound, or a file that is not a version-2 frame.

    Examples
    --------
    >>> import numpy as np
    >>> import tessarine_tools as tt
    >>> path = "wave.tsrn"
    >>> with tt.open(path, "w", dtype="int16", lossless=True, block_size=4) as writer:
    ...     writer.write(np.arange(10, dtype=np.int16))
    >>> with tt.open(path) as reader:
    ...     (len(reader), reader.block_count, reader[3:6].tolist())
    (10, 3, [3, 4, 5])
    """
    if mode == "r":
        if settings:
            raise TypeError(f"a reader takes no settings, got {', '.join(sorted(settings))}")
        return FrameReader(path)
    if mode == "w":
        if "dtype" not in settings:
            raise TypeError("a writer needs dtype=")
        return FrameWriter(path, **settings)  # type: ignore[arg-type]
    raise ValueError(f"mode must be 'r' or 'w', got {mode!r}")
