"""Codecs and signals for bounded_compare.py.

A codec is an encoder from samples to a bytes-like container and the decoder back; the decoder
gets the original samples as well, for the dtype and length that some containers do not store.
A peer whose module cannot be imported is reported by name and left out.
"""

from __future__ import annotations

import importlib
import io
from collections.abc import Callable
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import numpy as np

TESSARINE = "tessarine"
LOSSLESS_MAX_ERROR = 0.4  # under half a step: integer input comes back exactly
FLAC_RATE = 48_000  # FLAC needs a rate; it does not change the coding
ZSTD_LEVEL = 19
ECG_GAIN, ECG_OFFSET = 200.0, 1024.0  # the recording's code = mV * gain + offset


@dataclass(frozen=True)
class Codec:
    name: str
    encode: Callable[[np.ndarray], Any]
    decode: Callable[[Any, np.ndarray], np.ndarray]


def size_of(blob: Any) -> int:
    return memoryview(blob).nbytes


def import_optional(module: str, missing: dict[str, str]) -> Any:
    try:
        return importlib.import_module(module)
    except Exception as error:  # a broken install counts as missing, not as a crash
        missing[module] = f"{type(error).__name__}: {error}"
        return None


# ---------------------------------------------------------------------------- error-bounded


def bounded_codecs(bound: float, missing: dict[str, str]) -> list[Codec]:
    import tessarine_tools as tt

    codecs = [
        Codec(TESSARINE, lambda x: tt.compress(x, max_error=bound), lambda b, _: tt.decompress(b))
    ]
    pysz = import_optional("pysz", missing)
    if pysz is not None:
        config = pysz.szConfig()
        config.errorBoundMode = pysz.szErrorBoundMode.ABS
        config.absErrorBound = bound
        config.openmp = False
        codecs.append(
            Codec(
                "SZ3",
                lambda x: pysz.sz.compress(x, config)[0],
                lambda b, x: pysz.sz.decompress(b, x.dtype, x.shape)[0],
            )
        )
    zfpy = import_optional("zfpy", missing)
    if zfpy is not None:
        codecs.append(
            Codec(
                "zfp",
                lambda x: zfpy.compress_numpy(x, tolerance=bound),
                lambda b, _: zfpy.decompress_numpy(b),
            )
        )
    return codecs


# ---------------------------------------------------------------------------- lossless integers


def pcodec_codec(missing: dict[str, str]) -> list[Codec]:
    """pcodec (standalone, default config), or nothing when it is not installed."""
    if import_optional("pcodec", missing) is None:
        return []
    from pcodec import ChunkConfig, standalone

    config = ChunkConfig()
    return [
        Codec(
            "pcodec",
            lambda x: standalone.simple_compress(x, config),
            lambda b, _: standalone.simple_decompress(b),
        )
    ]


def zstd_codec(missing: dict[str, str], name: str, delta: bool) -> list[Codec]:
    """zstd-19 on the raw bytes, or on the differences (`delta`); nothing when not installed."""
    zstandard = import_optional("zstandard", missing)
    if zstandard is None:
        return []
    compressor = zstandard.ZstdCompressor(level=ZSTD_LEVEL)
    decompressor = zstandard.ZstdDecompressor()

    def encode(x: np.ndarray) -> bytes:
        return compressor.compress((np.diff(x, prepend=x.dtype.type(0)) if delta else x).tobytes())

    def decode(blob: bytes, x: np.ndarray) -> np.ndarray:
        values = np.frombuffer(decompressor.decompress(blob), dtype=x.dtype)
        return np.cumsum(values, dtype=x.dtype) if delta else values

    return [Codec(name, encode, decode)]


def float_lossless_codecs(missing: dict[str, str]) -> list[Codec]:
    """Lossless floats: tessarine, pcodec and zstd-19 on the raw bytes."""
    import tessarine_tools as tt

    tessarine = Codec(
        TESSARINE, lambda x: tt.compress(x, lossless=True), lambda b, _: tt.decompress(b)
    )
    return [tessarine, *pcodec_codec(missing), *zstd_codec(missing, "zstd", delta=False)]


def lossless_codecs(missing: dict[str, str]) -> list[Codec]:
    import tessarine_tools as tt

    codecs = [
        Codec(
            TESSARINE,
            lambda x: tt.compress(x, max_error=LOSSLESS_MAX_ERROR),
            lambda b, _: tt.decompress(b),
        ),
        *pcodec_codec(missing),
    ]
    soundfile = import_optional("soundfile", missing)
    if soundfile is not None:
        codecs.append(Codec("FLAC", flac_encoder(soundfile), flac_decoder(soundfile)))
    return [*codecs, *zstd_codec(missing, "delta+zstd", delta=True)]


def flac_encoder(soundfile: Any) -> Callable[[np.ndarray], bytes]:
    def encode(x: np.ndarray) -> bytes:
        stream = io.BytesIO()
        soundfile.write(stream, x, FLAC_RATE, format="FLAC", subtype="PCM_16")
        return stream.getvalue()

    return encode


def flac_decoder(soundfile: Any) -> Callable[[Any, np.ndarray], np.ndarray]:
    def decode(blob: bytes, _: np.ndarray) -> np.ndarray:
        return soundfile.read(io.BytesIO(blob), dtype="int16")[0]

    return decode


# ---------------------------------------------------------------------------- signals


class SignalError(ValueError):
    """A signal file the benchmark cannot use, with the reason."""


def load_float(path: Path) -> np.ndarray:
    x = np.load(path)
    if x.ndim != 1:
        raise SignalError(f"{path}: expected a 1-D array, got shape {x.shape}")
    if x.size < 2 or not np.issubdtype(x.dtype, np.number) or np.iscomplexobj(x):
        raise SignalError(f"{path}: expected at least 2 real samples, got {x.size} of {x.dtype}")
    x = x.astype(np.float32)
    if not np.isfinite(x).all():
        raise SignalError(f"{path}: NaN or infinite samples (or values beyond float32)")
    return x


def float_signals(folder: Path | None, extra: list[Path]) -> dict[str, np.ndarray]:
    paths = sorted(folder.glob("*.npy")) if folder is not None else []
    for item in extra:
        paths += sorted(item.glob("*.npy")) if item.is_dir() else [item]
    return {path.stem: load_float(path) for path in paths}


def integer_signals(
    folder: Path | None, floats: dict[str, np.ndarray], notes: list[str]
) -> dict[str, np.ndarray]:
    """Each channel of the recordings in `folder`/multichannel, and the ECG back as its codes.
    Constant channels are skipped (nothing to compare), and so is a repeat of a channel."""
    found: dict[str, np.ndarray] = {}
    for path in sorted(folder.glob("multichannel/*.npy")) if folder is not None else []:
        channels = np.load(path)
        if channels.ndim != 2 or not np.issubdtype(channels.dtype, np.integer):
            shape = f"{channels.dtype} {channels.shape}"
            raise SignalError(f"{path}: expected integer (channels, samples), got {shape}")
        for index, channel in enumerate(channels):
            add_integer(found, f"{path.stem}[{index}]", np.ascontiguousarray(channel), notes)
    for name, x in floats.items():
        if name.startswith("ecg_mitbih100"):
            scaled = x.astype(np.float64) * ECG_GAIN + ECG_OFFSET
            codes = np.rint(scaled)
            if np.abs(scaled - codes).max() > 1e-3:
                notes.append(f"{name}: not whole codes after scaling, left out")
                continue
            add_integer(found, f"{name} codes", codes.astype(np.int16), notes)
    return found


def add_integer(found: dict[str, np.ndarray], name: str, x: np.ndarray, notes: list[str]) -> None:
    if x.min() == x.max():
        notes.append(f"{name}: constant, skipped")
        return
    twin = next((other for other, y in found.items() if np.array_equal(x, y)), None)
    if twin is not None:
        notes.append(f"{name}: the same samples as {twin}, skipped")
        return
    found[name] = x
