"""How many sample frames a WAV file's header announces, to catch a file cut short: the sound
library quietly reads whatever is there."""

from __future__ import annotations

import struct
from pathlib import Path

_UNKNOWN_SIZES = (0, 0xFFFFFFFF)  # streaming writers and RF64 leave the size open


def announced_frames(path: Path) -> int | None:
    """Frames the data chunk's size announces; None when the header does not say."""
    with open(path, "rb") as file:
        riff = file.read(12)
        if len(riff) < 12 or riff[:4] not in (b"RIFF", b"RIFX") or riff[8:12] != b"WAVE":
            return None
        order = "<" if riff[:4] == b"RIFF" else ">"
        block_align = None
        while len(head := file.read(8)) == 8:
            name, size = head[:4], struct.unpack(order + "I", head[4:])[0]
            if name == b"fmt ":
                fmt = file.read(size + (size & 1))
                block_align = (
                    struct.unpack_from(order + "H", fmt, 12)[0] if len(fmt) >= 14 else None
                )
            elif name == b"data":
                if size in _UNKNOWN_SIZES or not block_align:
                    return None
                return int(size // block_align)
            else:
                file.seek(size + (size & 1), 1)  # chunks are padded to an even size
    return None
