"""Reading a signal: .npy (1-D or channels x time), soundfile formats, raw samples."""

from __future__ import annotations

from pathlib import Path

import numpy as np

from tessarine_tools.cli.errors import DataError, UsageError
from tessarine_tools.cli.recording import PCM_SUBTYPES, Recording
from tessarine_tools.cli.wav_header import announced_frames

SOUND_SUFFIXES = (".wav", ".flac", ".aiff", ".aif")


def read_recording(path: Path, dtype: str | None, channels: int) -> Recording:
    if not path.is_file():
        raise DataError(f"{path}: no such file")
    suffix = path.suffix.lower()
    if dtype is not None:
        return _raw(path, dtype, channels)
    if suffix == ".npy":
        return _npy(path)
    if suffix in SOUND_SUFFIXES:
        return _sound(path)
    raise UsageError(
        f"{path}: unknown input type (use .npy, .wav, .edf, .bdf, .hea, or --dtype for raw samples)"
    )


def _checked(samples: np.ndarray, path: Path) -> np.ndarray:
    if samples.dtype.kind not in "iuf":
        raise DataError(f"{path}: samples must be real numbers, not {samples.dtype}")
    if samples.ndim not in (1, 2) or 0 in samples.shape:
        raise DataError(
            f"{path}: expected a non-empty 1-D or 2-D (channels x time) array, "
            f"got shape {samples.shape}"
        )
    return np.ascontiguousarray(samples.reshape(-1, samples.shape[-1]))


_NPY_MAGIC = b"\x93NUMPY"


def _npy(path: Path) -> Recording:
    try:
        with open(path, "rb") as file:
            if file.read(len(_NPY_MAGIC)) != _NPY_MAGIC:  # np.load would try it as a pickle
                raise DataError(f"{path}: not a .npy file")
        samples = np.load(path, allow_pickle=False)
    except ValueError as error:
        if "allow_pickle" in str(error):
            raise DataError(f"{path}: holds Python objects, not numbers") from None
        raise DataError(f"{path}: not a readable .npy file ({error})") from None
    except OSError as error:
        raise DataError(f"{path}: not a readable .npy file ({error})") from None
    return Recording(_checked(samples, path), source_ndim=samples.ndim)


def _sound(path: Path) -> Recording:
    import soundfile

    try:
        info = soundfile.info(str(path))
        dtype, shift = PCM_SUBTYPES.get(info.subtype, ("float32", 0))
        frames, rate = soundfile.read(str(path), dtype=dtype, always_2d=True)
    except (soundfile.LibsndfileError, RuntimeError, TypeError) as error:
        raise DataError(f"{path}: not a readable sound file ({error})") from None
    announced = announced_frames(path) if path.suffix.lower() == ".wav" else None
    if announced is not None and announced > frames.shape[0]:
        raise DataError(
            f"{path}: cut short: its header announces {announced} samples per "
            f"channel, the file holds {frames.shape[0]}"
        )
    samples = frames.T >> shift if shift else frames.T
    subtype = info.subtype if info.subtype in PCM_SUBTYPES else None
    return Recording(_checked(samples, path), sample_rate=float(rate), wav_subtype=subtype)


def _raw(path: Path, dtype: str, channels: int) -> Recording:
    try:
        kind = np.dtype(dtype)
    except TypeError:
        raise UsageError(f"unknown --dtype {dtype!r}") from None
    samples = np.fromfile(path, dtype=kind)
    if channels < 1 or samples.size % channels:
        raise DataError(f"{path}: {samples.size} samples do not split into {channels} channels")
    frames = samples.reshape(-1, channels).T
    return Recording(_checked(frames, path), source_ndim=1 if channels == 1 else 2)
