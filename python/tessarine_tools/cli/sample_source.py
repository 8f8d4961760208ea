"""A 1-D signal in a file, read a block at a time: a .npy through its header and plain reads
(a memory map would keep every page it touched resident), or a mono sound file through the
sound library's block reads."""

from __future__ import annotations

from collections.abc import Iterator
from pathlib import Path

import numpy as np

from tessarine_tools import _native
from tessarine_tools.cli.errors import DataError
from tessarine_tools.cli.recording import PCM_SUBTYPES
from tessarine_tools.cli.wav_header import announced_frames

_SOUND_SUFFIXES = (".wav", ".flac", ".aiff", ".aif")


class SampleSource:
    def __init__(self, dtype: np.dtype[np.generic], count: int) -> None:
        self.dtype = dtype.newbyteorder("=")
        self.count = count

    @property
    def nbytes(self) -> int:
        return self.count * self.dtype.itemsize

    def block_count(self, size: int) -> int:
        return -(-self.count // size)

    def blocks(self, size: int) -> Iterator[np.ndarray]:
        raise NotImplementedError

    def finite_range(self, size: int) -> tuple[float, float]:
        """(smallest, largest) finite sample, as the library measures them; (0, 0) if none."""
        low, high, finite = np.inf, -np.inf, 0
        for piece in self.blocks(size):
            piece_low, piece_high, piece_finite = _native.finite_range(piece)
            if piece_finite:
                low, high, finite = (
                    min(low, piece_low),
                    max(high, piece_high),
                    finite + piece_finite,
                )
        return (float(low), float(high)) if finite else (0.0, 0.0)

    def close(self) -> None:
        pass

    def __enter__(self) -> SampleSource:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()


class NpySource(SampleSource):
    def __init__(self, path: Path, dtype: np.dtype[np.generic], count: int, offset: int) -> None:
        super().__init__(dtype, count)
        self._path, self._stored, self._offset = path, dtype, offset

    def blocks(self, size: int) -> Iterator[np.ndarray]:
        with open(self._path, "rb") as file:
            file.seek(self._offset)
            for start in range(0, self.count, size):
                wanted = min(size, self.count - start)
                piece = np.fromfile(file, dtype=self._stored, count=wanted)
                if piece.size != wanted:
                    raise DataError(
                        f"{self._path}: cut short: {start + piece.size} of {self.count} samples"
                    )
                yield piece.astype(self.dtype, copy=False)


class SoundSource(SampleSource):
    def __init__(self, path: Path, dtype: np.dtype[np.generic], count: int, shift: int) -> None:
        super().__init__(dtype, count)
        self._path, self._shift = path, shift

    def blocks(self, size: int) -> Iterator[np.ndarray]:
        import soundfile

        for piece in soundfile.blocks(str(self._path), blocksize=size, dtype=self.dtype.name):
            yield piece >> self._shift if self._shift else piece


def open_source(path: Path, probe: bool = False) -> SampleSource | None:
    """The file as a 1-D source; None when it is not one (several channels, another type),
    which the whole-file path then reads or refuses."""
    suffix = path.suffix.lower()
    if not path.is_file():
        return None
    if suffix == ".npy":
        return _npy(path)
    if suffix in _SOUND_SUFFIXES:
        return _sound(path)
    return None


def _npy(path: Path) -> SampleSource | None:
    try:
        with open(path, "rb") as file:
            version = np.lib.format.read_magic(file)
            readers = {
                (1, 0): np.lib.format.read_array_header_1_0,
                (2, 0): np.lib.format.read_array_header_2_0,
            }
            if version not in readers:
                return None
            shape, _, dtype = readers[version](file)
            offset = file.tell()
    except (ValueError, OSError):
        return None  # the whole-file reader names what is wrong
    if len(shape) != 1 or shape[0] == 0 or dtype.kind not in "iuf" or dtype.itemsize > 8:
        return None
    return NpySource(path, dtype, int(shape[0]), offset)


def _sound(path: Path) -> SampleSource | None:
    import soundfile

    try:
        info = soundfile.info(str(path))
    except (soundfile.LibsndfileError, RuntimeError, TypeError):
        return None
    if info.channels != 1 or info.frames <= 0:
        return None
    announced = announced_frames(path) if path.suffix.lower() == ".wav" else None
    if announced is not None and announced > info.frames:
        return None  # the whole-file reader reports the cut
    dtype, shift = PCM_SUBTYPES.get(info.subtype, ("float32", 0))
    return SoundSource(path, np.dtype(dtype), int(info.frames), shift)
