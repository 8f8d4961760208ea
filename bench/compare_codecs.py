"""The codecs under comparison: Tessarine and its peers, each as a list of settings to measure.

Every setting is a `Candidate`: an encoder from float32 samples to a bytes-like container and
the decoder back. A peer whose module cannot be imported is listed in `Peers.unavailable`.
"""

from __future__ import annotations

import importlib
import struct
import zlib
from collections.abc import Callable
from dataclasses import dataclass
from typing import Any

import numpy as np

TESSARINE = "Tessarine"
ZFP = "zfp"
SZ3 = "SZ3"
DIY = "pywt+zlib"
ZLIB = "zlib"
ZSTD = "zstd"
LOSSY_PEERS = (ZFP, SZ3, DIY)
ZLIB_LEVEL = 6
ZSTD_LEVEL = 3
DIY_WAVELET = "bior4.4"
DIY_MAX_LEVELS = 8
INT16_MAX = 32767


@dataclass(frozen=True)
class Sweep:
    methods: tuple[str, ...] = ("cdf97", "cdf53", "db4", "sym4")
    scales: tuple[int, ...] = tuple(range(6, 13))
    cutoffs: tuple[str, ...] = ("low", "medium", "high")
    bound_exponents: tuple[int, ...] = tuple(range(2, 21))  # zfp/SZ3 bound = range * 2**-k
    diy_step_exponents: tuple[int, ...] = tuple(range(0, 13))  # int16 units, step = 2**j
    repeats: int = 5


FULL_SWEEP = Sweep()
QUICK_SWEEP = Sweep(
    scales=(6, 11, 12),
    cutoffs=("low", "high"),
    bound_exponents=(4, 8, 12, 16),
    diy_step_exponents=(0, 4, 8),
    repeats=2,
)


@dataclass(frozen=True)
class Candidate:
    codec: str  # family: Tessarine, zfp, SZ3, ...
    curve: str  # one line of the rate-distortion plot
    setting: str  # the codec's own knob, as its user would write it
    encode: Callable[[np.ndarray], Any]  # samples -> bytes-like container
    decode: Callable[[Any], np.ndarray]
    lossless: bool = False


@dataclass(frozen=True)
class Peers:
    modules: dict[str, Any]  # codec family -> imported module
    unavailable: dict[str, str]  # codec family -> why it cannot run here


# ---------------------------------------------------------------------------- peers


def import_peers() -> Peers:
    wanted = {
        TESSARINE: "tessarine",
        ZFP: "zfpy",
        SZ3: "pysz",
        DIY: "pywt",
        ZSTD: "zstandard",
        "plots": "matplotlib",
    }
    modules: dict[str, Any] = {}
    unavailable: dict[str, str] = {}
    for family, module_name in wanted.items():
        try:
            modules[family] = importlib.import_module(module_name)
        except Exception as error:  # a broken install is as unavailable as a missing one
            unavailable[family] = f"cannot import {module_name} ({type(error).__name__}: {error})"
    return Peers(modules, unavailable)


def value_range(samples: np.ndarray) -> float:
    return float(np.max(samples)) - float(np.min(samples))


# ---------------------------------------------------------------------------- candidates


def tessarine_candidates(tessarine: Any, sweep: Sweep) -> list[Candidate]:
    candidates = []
    for method in sweep.methods:
        for cutoff in sweep.cutoffs:
            for scale in sweep.scales:
                options = tessarine.TessrCompressionOptions(
                    method=method, scale=scale, cutoff=cutoff
                )
                candidates.append(
                    Candidate(
                        codec=TESSARINE,
                        curve=f"{TESSARINE} {method} {cutoff}",
                        setting=f"{method} scale={scale} cutoff={cutoff}",
                        encode=lambda x, options=options: tessarine.compress_signal(x, options),
                        decode=tessarine.decompress_signal,
                    )
                )
    return candidates


def error_bounds(samples: np.ndarray, sweep: Sweep) -> list[tuple[int, float]]:
    """Absolute bounds range * 2**-k, so every signal gets the same relative sweep."""
    span = value_range(samples) or 1.0
    return [(k, span * 2.0**-k) for k in sweep.bound_exponents]


def zfp_candidates(zfpy: Any, samples: np.ndarray, sweep: Sweep) -> list[Candidate]:
    return [
        Candidate(
            codec=ZFP,
            curve=f"{ZFP} fixed accuracy",
            setting=f"tolerance=range*2^-{k} ({bound:.3g})",
            encode=lambda x, bound=bound: zfpy.compress_numpy(x, tolerance=bound),
            decode=zfpy.decompress_numpy,
        )
        for k, bound in error_bounds(samples, sweep)
    ]


def sz3_encoder(pysz: Any, bound: float) -> Callable[[np.ndarray], Any]:
    def encode(samples: np.ndarray) -> Any:
        config = pysz.szConfig()
        config.errorBoundMode = pysz.szErrorBoundMode.ABS
        config.absErrorBound = bound
        config.openmp = False
        compressed, _ratio = pysz.sz.compress(samples, config)
        return compressed

    return encode


def sz3_candidates(pysz: Any, samples: np.ndarray, sweep: Sweep) -> list[Candidate]:
    shape = samples.shape  # SZ3 needs the shape back to decode; the caller has it anyway
    return [
        Candidate(
            codec=SZ3,
            curve=f"{SZ3} abs bound",
            setting=f"abs bound=range*2^-{k} ({bound:.3g})",
            encode=sz3_encoder(pysz, bound),
            decode=lambda blob: pysz.sz.decompress(blob, np.float32, shape)[0],
        )
        for k, bound in error_bounds(samples, sweep)
    ]


# The do-it-yourself container: sample count, levels, mean, step, then zlib(int16 coefficients).
DIY_HEADER = struct.Struct("<IBdd")


def diy_band_lengths(pywt: Any, count: int, levels: int) -> list[int]:
    """Lengths of wavedec's output bands [cA_L, cD_L, ..., cD_1] for `count` samples."""
    filter_length = pywt.Wavelet(DIY_WAVELET).dec_len
    approximations = [count]
    for _ in range(levels):
        approximations.append(pywt.dwt_coeff_len(approximations[-1], filter_length, "symmetric"))
    return [approximations[-1]] + approximations[:0:-1]


def diy_encoder(pywt: Any, step_multiplier: int) -> Callable[[np.ndarray], bytes]:
    def encode(samples: np.ndarray) -> bytes:
        signal = samples.astype(np.float64)
        mean = float(signal.mean())
        levels = min(pywt.dwt_max_level(signal.size, DIY_WAVELET), DIY_MAX_LEVELS)
        coefficients = np.concatenate(pywt.wavedec(signal - mean, DIY_WAVELET, level=levels))
        peak = float(np.max(np.abs(coefficients)))
        # The largest coefficient fills int16 at multiplier 1; coarser steps scale from there.
        step = (peak / INT16_MAX) * step_multiplier if peak > 0 else 1.0
        quantised = np.clip(np.rint(coefficients / step), -INT16_MAX, INT16_MAX)
        payload = zlib.compress(quantised.astype("<i2").tobytes(), ZLIB_LEVEL)
        return DIY_HEADER.pack(signal.size, levels, mean, step) + payload

    return encode


def diy_decoder(pywt: Any) -> Callable[[bytes], np.ndarray]:
    def decode(blob: bytes) -> np.ndarray:
        count, levels, mean, step = DIY_HEADER.unpack_from(blob)
        raw = zlib.decompress(memoryview(blob)[DIY_HEADER.size :])
        flat = np.frombuffer(raw, dtype="<i2").astype(np.float64) * step
        bounds = np.cumsum(diy_band_lengths(pywt, count, levels))[:-1]
        signal = pywt.waverec(np.split(flat, bounds), DIY_WAVELET)[:count] + mean
        return signal.astype(np.float32)

    return decode


def diy_candidates(pywt: Any, sweep: Sweep) -> list[Candidate]:
    return [
        Candidate(
            codec=DIY,
            curve=f"{DIY} {DIY_WAVELET} int16",
            setting=f"step=peak/32767*2^{j}",
            encode=diy_encoder(pywt, 2**j),
            decode=diy_decoder(pywt),
        )
        for j in sweep.diy_step_exponents
    ]


def float32_from_bytes(raw: bytes) -> np.ndarray:
    return np.frombuffer(raw, dtype=np.float32)


def lossless_candidates(zstandard: Any | None) -> list[Candidate]:
    candidates = [
        Candidate(
            codec=ZLIB,
            curve=f"{ZLIB} (lossless)",
            setting=f"level={ZLIB_LEVEL}",
            encode=lambda x: zlib.compress(x, ZLIB_LEVEL),
            decode=lambda blob: float32_from_bytes(zlib.decompress(blob)),
            lossless=True,
        )
    ]
    if zstandard is not None:
        compressor = zstandard.ZstdCompressor(level=ZSTD_LEVEL)
        decompressor = zstandard.ZstdDecompressor()
        candidates.append(
            Candidate(
                codec=ZSTD,
                curve=f"{ZSTD} (lossless)",
                setting=f"level={ZSTD_LEVEL}",
                encode=compressor.compress,
                decode=lambda blob: float32_from_bytes(decompressor.decompress(blob)),
                lossless=True,
            )
        )
    return candidates


def all_candidates(peers: Peers, samples: np.ndarray, sweep: Sweep) -> list[Candidate]:
    modules = peers.modules
    candidates: list[Candidate] = []
    if TESSARINE in modules:
        candidates += tessarine_candidates(modules[TESSARINE], sweep)
    if ZFP in modules:
        candidates += zfp_candidates(modules[ZFP], samples, sweep)
    if SZ3 in modules:
        candidates += sz3_candidates(modules[SZ3], samples, sweep)
    if DIY in modules:
        candidates += diy_candidates(modules[DIY], sweep)
    return candidates + lossless_candidates(modules.get(ZSTD))
