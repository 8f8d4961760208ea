"""Error-bounded compression of 1-D signals of any real dtype, built on the tessarine codec."""

from ._api import compress, decompress
from ._info import ContainerInfo, inspect
from ._open import open_frame as open
from ._stream_reader import FrameReader
from ._stream_writer import FrameWriter

__all__ = [
    "ContainerInfo",
    "FrameReader",
    "FrameWriter",
    "compress",
    "decompress",
    "inspect",
    "open",
]
