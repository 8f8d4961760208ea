"""A frame written block by block, for signals longer than memory.

Blocks are coded as they fill and written under a temporary name beside the target; the
header and block index follow at close(), then the file is renamed into place. Until close()
succeeds nothing exists under the target's name, and a writer left by an exception (Ctrl-C
included) removes what it wrote. A signal that never fills a second block is kept in memory
and stored as a single body, so a stream and `compress` give the same bytes.
"""

from __future__ import annotations

import os
import secrets
import zlib
from pathlib import Path
from typing import BinaryIO

import numpy as np
import numpy.typing as npt

from . import _native
from ._context import Context
from ._settings import CodecSettings, check_threads

_HEADER_SIZE = 53


class FrameWriter(Context):
    """A frame file written block by block, for signals longer than memory.

    Takes 1-D arrays of one dtype through write(); the frame is complete once close() returns,
    and appears under its name only then. Made by ``tessarine_tools.open(path, "w", ...)``.

    Parameters
    ----------
    path : str or os.PathLike
        Where the frame file appears.
    dtype : numpy dtype
        Of every sample written.
    max_error, rel_error : float, optional
        The bound; rel_error needs the signal's range before the first block is coded: give
        value_range as (smallest, largest) of its finite samples; close() refuses a range that
        turned out different.
    value_range : (float, float), optional
        See rel_error.
    lossless : bool, default False
        Every bit back, instead of a bound.
    block_size : int, optional
        Samples per block.
    threads : int, default 1
        Threads that code the blocks.

    Raises
    ------
    ValueError
        No bound, or settings that conflict.

    Examples
    --------
    >>> import numpy as np
    >>> import tessarine_tools as tt
    >>> path = "ramp.tsrn"
    >>> with tt.open(path, "w", dtype="float32", max_error=0.01) as writer:
    ...     for start in range(0, 3000, 1000):
    ...         writer.write(np.arange(start, start + 1000, dtype=np.float32) / 100)
    >>> back = tt.decompress(open(path, "rb").read())
    >>> back.size, bool(np.max(np.abs(back - np.arange(3000) / 100)) <= 0.01)
    (3000, True)
    """

    def __init__(
        self,
        path: str | os.PathLike[str],
        dtype: npt.DTypeLike,
        *,
        max_error: float | None = None,
        rel_error: float | None = None,
        value_range: tuple[float, float] | None = None,
        lossless: bool = False,
        block_size: int | None = None,
        threads: int = 1,
    ) -> None:
        settings = CodecSettings(
            max_error=max_error, rel_error=rel_error, lossless=lossless, block_size=block_size
        )
        self._bound = settings.resolved.bound
        if self._bound is None:
            raise ValueError("a frame stream needs max_error, rel_error or lossless=True")
        self.dtype = _stream_dtype(dtype)
        self.block_size = settings.blocks
        self._threads = check_threads(threads)
        self._declared = _declared_range(rel_error, value_range)
        span = 0.0 if self._declared is None else self._declared[1] - self._declared[0]
        self._limit = _native.error_limit(self._bound.max_error, self._bound.rel_error, span)
        self._target = Path(path)
        self._temporary = self._target.with_name(
            f".{self._target.name}.partial-{os.getpid()}-{secrets.token_hex(4)}"
        )
        self._file: BinaryIO | None = _create(self._temporary)
        self._pending: list[npt.NDArray[np.generic]] = []
        self._pending_count = 0
        self._blocks: list[tuple[int, int, int, int, int, float, int]] = []
        self._crc = 0
        self._written = 0  # block bytes after the header
        self._seen = (np.inf, -np.inf, 0)  # the finite samples' range so far
        self.count = 0

    def write(self, samples: npt.ArrayLike) -> None:
        """Appends samples (1-D, cast safely to the writer's dtype)."""
        if self._file is None:
            raise ValueError("the frame stream is closed")
        array = np.asarray(samples)
        if array.ndim != 1:
            raise ValueError(f"expected a 1-D array, got {array.ndim} dimensions")
        if not np.can_cast(array.dtype, self.dtype, "safe"):
            raise TypeError(f"cannot write {array.dtype} samples into a {self.dtype} stream")
        if array.size == 0:
            return
        piece = np.array(array, dtype=self.dtype, copy=True)  # the caller may reuse its buffer
        self._note_range(piece)
        self._pending.append(piece)
        self._pending_count += piece.size
        self.count += piece.size
        # One sample stays pending until close(), so that a single block is never written early.
        ready = (self._pending_count - 1) // self.block_size
        if ready >= self._threads:
            self._code(ready)

    def close(self) -> None:
        """Writes the rest, the header and the index, then renames the file into place."""
        if self._file is None:
            return
        try:
            self._check_range()
            if not self._blocks and self._pending_count <= self.block_size:
                self._write_single()
            else:
                self._code(-(-self._pending_count // self.block_size))
                self._write_ends()
            self._file.flush()
            os.fsync(self._file.fileno())
            self._file.close()
            self._file = None
            os.replace(self._temporary, self._target)
        except BaseException:
            self.abort()
            raise

    def abort(self) -> None:
        """Discards everything written; nothing appears under the target's name."""
        file, self._file = self._file, None
        try:
            if file is not None:
                file.close()  # may fail again flushing to a full disk: the unlink still runs
        except OSError:
            pass
        finally:
            self._temporary.unlink(missing_ok=True)

    def _leave(self, failed: bool) -> None:
        if failed:
            self.abort()
        else:
            self.close()

    def __del__(self) -> None:
        if getattr(self, "_file", None) is not None:
            self.abort()

    def _take(self, count: int) -> npt.NDArray[np.generic]:
        joined = np.concatenate(self._pending) if len(self._pending) > 1 else self._pending[0]
        taken, rest = joined[:count], joined[count:]
        self._pending = [rest] if rest.size else []
        self._pending_count = rest.size
        return taken

    def _code(self, blocks: int) -> None:
        samples = self._take(min(blocks * self.block_size, self._pending_count))
        first = len(self._blocks) * self.block_size
        coded = _native.encode_blocks(samples, self._limit, self.block_size, self._threads)
        assert self._file is not None
        for k, (data, kind, largest, crc) in enumerate(coded):
            count = min(self.block_size, samples.size - k * self.block_size)
            start = first + k * self.block_size
            self._blocks.append((start, count, self._written, len(data), kind, largest, crc))
            self._file.write(data)
            self._crc = zlib.crc32(data, self._crc)
            self._written += len(data)

    def _write_single(self) -> None:
        samples = self._take(self._pending_count) if self._pending else np.empty(0, self.dtype)
        bound = self._bound
        assert bound is not None and self._file is not None
        frame = _native.compress_frame(
            samples,  # type: ignore[arg-type]  # a real dtype, checked when the writer was made
            bound.max_error,
            bound.rel_error,
            None,
            self.block_size,
            1,
        )
        self._file.seek(0)
        self._file.truncate()
        self._file.write(frame)

    def _write_ends(self) -> None:
        bound = self._bound
        assert bound is not None and self._file is not None
        header, tail = _native.finish_blocked(
            self.dtype.str[1:],
            self.count,
            bound.max_error,
            bound.rel_error,
            self.block_size,
            self._blocks,
            self._crc,
            self._written,
        )
        self._file.write(tail)
        self._file.seek(0)
        self._file.write(header)

    def _note_range(self, piece: npt.NDArray[np.generic]) -> None:
        if self._declared is None:
            return
        low, high, finite = _native.finite_range(piece)
        if finite:
            seen_low, seen_high, seen = self._seen
            self._seen = (min(seen_low, low), max(seen_high, high), seen + finite)

    def _check_range(self) -> None:
        # The blocks were coded against the declared range: any other breaks rel_error's promise.
        if self._declared is None or not self._blocks and self._pending_count <= self.block_size:
            return
        low, high, finite = self._seen
        actual = (float(low), float(high)) if finite else (0.0, 0.0)
        if actual != self._declared:
            raise ValueError(
                f"value_range {self._declared} is not the samples' range {actual}; "
                "the frame was not written"
            )


def _declared_range(
    rel_error: float | None, value_range: tuple[float, float] | None
) -> tuple[float, float] | None:
    if rel_error is None:
        if value_range is not None:
            raise ValueError("value_range is only needed with rel_error")
        return None
    if value_range is None:
        raise ValueError(
            "rel_error in a stream needs value_range=(smallest, largest) of the finite samples"
        )
    low, high = (float(v) for v in value_range)
    if not (np.isfinite(low) and np.isfinite(high) and low <= high):
        raise ValueError(
            f"value_range must be two finite numbers, smallest first, got {value_range}"
        )
    return low, high


def _stream_dtype(dtype: npt.DTypeLike) -> np.dtype[np.generic]:
    kind = np.dtype(dtype)
    if kind.kind not in "fiu" or (kind.kind == "f" and kind.itemsize > 8):
        raise TypeError(f"expected a real dtype (float16/32/64 or integers), got {kind}")
    return kind.newbyteorder("=")


def _create(path: Path) -> BinaryIO:
    # O_EXCL never opens a file someone planted; the mode follows the user's umask.
    descriptor = os.open(path, os.O_CREAT | os.O_EXCL | os.O_RDWR, 0o666)
    file = os.fdopen(descriptor, "w+b")
    file.write(bytes(_HEADER_SIZE))  # the header is written last, over these bytes
    return file
