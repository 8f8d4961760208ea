"""open(): a frame file as a stream, read a window at a time or written block by block."""

from __future__ import annotations

import os
from typing import Any, BinaryIO

from ._stream_reader import FrameReader
from ._stream_writer import FrameWriter


def open_frame(
    path: str | os.PathLike[str] | BinaryIO, mode: str = "r", **settings: Any
) -> FrameReader | FrameWriter:
    """A reader (mode "r") or a writer (mode "w", taking dtype and the bound) of a frame file.

    Both are context managers. A writer's file appears under `path` only once close()
    succeeds; leaving its `with` block by an exception discards it.
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
