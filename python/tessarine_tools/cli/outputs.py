"""Writing a restored recording as .npy, a sound file or raw interleaved samples."""

from __future__ import annotations

from pathlib import Path

import numpy as np

from tessarine_tools.cli.errors import DataError, UsageError
from tessarine_tools.cli.recording import PCM_SUBTYPES, Recording

SOUND_FORMATS = {".wav": "WAV", ".flac": "FLAC", ".aiff": "AIFF", ".aif": "AIFF"}
_SUBTYPE_OF_DTYPE = {"int16": "PCM_16", "int32": "PCM_32", "float32": "FLOAT", "float64": "DOUBLE"}


def check_output_type(path: Path) -> None:
    if path.suffix.lower() not in (".npy", ".raw", ".bin", *SOUND_FORMATS):
        raise UsageError(f"{path}: unknown output type (use .npy, .wav or .raw)")


def write_samples(target: Path, temporary: Path, recording: Recording, rate: float | None) -> None:
    suffix = target.suffix.lower()
    if suffix in SOUND_FORMATS:
        _write_sound(temporary, SOUND_FORMATS[suffix], recording, rate)
        return
    with open(temporary, "wb") as file:
        if suffix == ".npy":
            np.save(file, recording.shaped())
        else:
            file.write(np.ascontiguousarray(recording.samples.T).tobytes())


def check_sound_rate(rate: float, given: bool) -> int:
    """A sample rate a sound file can record: a whole number of 1 to 2**31 - 1 per second."""
    whole = round(rate) if 0.5 <= rate < 2**31 - 0.5 else 0
    if whole < 1:
        where = "--rate" if given else "the recorded sample rate"
        error = UsageError if given else DataError
        raise error(f"{where} {rate:g} is not one a sound file can hold (1 to {2**31 - 1})")
    return int(whole)


def _write_sound(
    temporary: Path, file_format: str, recording: Recording, rate: float | None
) -> None:
    import soundfile

    frames = recording.samples.T
    subtype = recording.wav_subtype or _SUBTYPE_OF_DTYPE.get(str(frames.dtype), "FLOAT")
    dtype, shift = PCM_SUBTYPES[subtype]
    frames = frames.astype(dtype)
    soundfile.write(
        str(temporary),
        frames << shift if shift else frames,
        int(rate or 0),
        subtype=subtype,
        format=file_format,
    )
