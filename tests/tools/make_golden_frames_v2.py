"""Writes tests/data/golden_frames_v2/ (version-2 frames with what they decode to) and
tests/data/golden_frame_errors_v2/ (damaged copies with their exact error text). Run by hand
from the repository root on the scalar tier, as the golden outputs were:
TESSARINE_CPU=scalar python tests/tools/make_golden_frames_v2.py

The inputs are built here from the shipped ECG excerpt and from integer arithmetic only (no
NumPy transcendental or random functions, whose last bits vary by version and processor), so
tests/python/test_frames_v2_golden.py can rebuild them and check that compressing them again
gives the same bytes."""

from __future__ import annotations

import hashlib
import math
import struct
import sys
import zlib
from collections.abc import Callable
from pathlib import Path

import numpy as np
from make_frame_errors import write_error_cases

import tessarine_tools

ROOT = Path(__file__).resolve().parents[2]
ECG = ROOT / "examples" / "data" / "ecg_mitbih100_mlii_60s.npy"
FRAMES = ROOT / "tests" / "data" / "golden_frames_v2"
ERRORS = ROOT / "tests" / "data" / "golden_frame_errors_v2"
HEADER = 53


def ecg(n: int) -> np.ndarray:
    return np.load(ECG)[:n]


def codes(n: int) -> np.ndarray:
    """The ECG's 11-bit converter codes (steps of 0.005 mV), exact in int64."""
    return np.round(ecg(n).astype(np.float64) * 200).astype(np.int64)


def noise(n: int, seed: str, span: int) -> np.ndarray:
    """Uniform integers in [-span, span), the same on every machine."""
    raw = np.frombuffer(hashlib.shake_128(seed.encode()).digest(4 * n), dtype="<u4")
    return (raw % (2 * span)).astype(np.int64) - span


def smooth(n: int) -> np.ndarray:
    """The codes through three 16-sample running sums: curved enough for the quadratic
    predictor to win."""
    x = codes(n + 48)
    for _ in range(3):
        x = np.convolve(x, np.ones(16, dtype=np.int64), mode="valid")
    return x[:n]


def resonance(n: int) -> np.ndarray:
    """A second-order integer recursion driven by noise: what an eight-tap linear predictor
    fits and the four block predictors do not."""
    e = noise(n, "resonance", 40)
    x = np.zeros(n, dtype=np.int64)
    for t in range(2, n):
        x[t] = (29 * int(x[t - 1]) - 14 * int(x[t - 2])) // 16 + int(e[t])
    return x


def bursts(n: int) -> np.ndarray:
    """Noise whose size changes every 100 samples: codes of many sizes, so several rANS
    contexts pay."""
    scale = np.repeat(np.array([1, 30, 1000, 1, 1000, 30] * (n // 600 + 1)), 100)[:n]
    return noise(n, "bursts", 4) * scale


def offset_codes(n: int) -> np.ndarray:
    """Codes times an EDF-style gain plus an offset, as float32, with a NaN, an infinity, a -0.0
    and a glitch off the grid."""
    x = (codes(n) * (200 / 4095) + 12.5).astype(np.float32)
    x[[100, 200, 1500, 2500]] = [np.nan, np.inf, -0.0, 0.001]
    return x


def with_gaps(x: np.ndarray) -> np.ndarray:
    y = x.copy()
    y[7::50] = np.nan
    y[20] = np.inf
    y[21] = -np.inf
    return y


I64, U64 = np.iinfo(np.int64), np.iinfo(np.uint64)

# name: (input, compress keywords). The README says what each covers.
CASES: dict[str, tuple[Callable[[], np.ndarray], dict[str, object]]] = {
    "grid_ecg_f32": (lambda: ecg(1000), {"max_error": 1e-3}),
    "grid_quadratic_f64": (lambda: smooth(1000) / 4096.0, {"max_error": 1e-4}),
    "step_psnr_ecg_f32": (lambda: ecg(1000), {"psnr": 60.0}),
    "step_quadratic_f32": (lambda: (smooth(1500) / 8192.0).astype(np.float32), {"max_error": 1e-3}),
    "cubic_ecg_f64": (lambda: ecg(1000).astype(np.float64), {"max_error": 0.005}),
    "linear_ecg_f16": (lambda: ecg(2000).astype(np.float16), {"rel_error": 1e-2}),
    "decimal_ecg_f16": (
        lambda: ecg(1000).astype(np.float16),
        {"lossless": True, "block_size": 4096},
    ),
    "bits_smooth_f16": (
        lambda: (smooth(1000) / 4096.0).astype(np.float16),
        {"lossless": True, "block_size": 4096},
    ),
    "bits_quadratic_f32": (
        lambda: (smooth(600) / 8192.0).astype(np.float32),
        {"lossless": True, "block_size": 4096},
    ),
    "lossless_grid_offset_f32": (
        lambda: offset_codes(3000),
        {"lossless": True, "block_size": 4096},
    ),
    "exact_codes_i16": (lambda: codes(1500).astype(np.int16), {"max_error": 0.4}),
    "binned_codes_i16": (lambda: codes(1500).astype(np.int16), {"max_error": 2.0}),
    "exact_grid_i32": (lambda: (codes(1000) * 6 + 7).astype(np.int32), {"max_error": 0.4}),
    "binned_grid_i32": (lambda: (codes(1000) * 6 + 7).astype(np.int32), {"max_error": 6.0}),
    "exact_u8": (lambda: (codes(1000) // 8 + 128).astype(np.uint8), {"lossless": True}),
    "binned_u8": (lambda: (codes(1000) // 8 + 128).astype(np.uint8), {"max_error": 2.0}),
    "exact_i64_extremes": (
        lambda: np.tile(np.array([I64.min, I64.max, 0, 5, -5], dtype=np.int64), 20),
        {"max_error": 0.4},
    ),
    "binned_i64_escapes": (
        lambda: np.tile(np.array([I64.min, I64.max, 0, 5, -5], dtype=np.int64), 20),
        {"max_error": 1.5},
    ),
    "exact_u64_near_limit": (
        lambda: np.uint64(U64.max - 4095) + (codes(500) + 400).astype(np.uint64),
        {"max_error": 0.4},
    ),
    "lpc_resonance_i16": (lambda: resonance(1500).astype(np.int16), {"lossless": True}),
    "lpc_segments_i16": (lambda: (resonance(9000) + 300).astype(np.int16), {"lossless": True}),
    "contexts_bursts_i16": (lambda: bursts(2400).astype(np.int16), {"lossless": True}),
    "rice_short_i16": (lambda: codes(300).astype(np.int16), {"max_error": 0.4}),
    "constant_zeros_i16": (lambda: np.zeros(1000, np.int16), {"max_error": 0.4}),
    "linear_ramp_u8_two_chunks": (
        lambda: (np.arange(65600) % 256).astype(np.uint8),
        {"max_error": 0.4},
    ),
    "nonfinite_f32": (lambda: with_gaps(ecg(300)), {"max_error": 1e-3}),
    "verbatim_noise_f64": (lambda: noise(200, "verbatim", 2**30) / 3.0, {"max_error": 1e-12}),
    "blocked_f32": (
        lambda: np.concatenate([ecg(1200), (noise(300, "block", 2**20) / 7.0).astype(np.float32)]),
        {"max_error": 1e-6, "block_size": 400},
    ),
    "channels_derived_i16": (
        lambda: np.stack([codes(800), codes(1600)[800:], codes(800) - codes(1600)[800:]]).astype(
            np.int16
        ),
        {"max_error": 0.4},
    ),
    "channels_f32": (lambda: ecg(1200).reshape(2, 600), {"max_error": 1e-3}),
    "empty_f32": (lambda: np.zeros(0, np.float32), {"max_error": 1e-3}),
}


def chunk_summary(body: bytes, count: int, size: int) -> str:
    """Stream mode, then per chunk: layout, quantiser or grid, block predictors, escapes and
    code-coder mode (docs/format.md section 10), to check and document what each case
    reaches."""
    mode, at, parts = body[1], 10, []
    for j in range(math.ceil(count / 65536)):
        n = min(65536, count - 65536 * j)
        layout, at, part = body[at], at + 1, []
        part.append(f"layout {body[at - 1]}")
        if mode == 2:
            part.append("step" if body[at] == 0 else "grid")
            at += 9 if body[at] == 0 else 21
        if mode in (0, 1):
            part.append(f"g {struct.unpack_from('<Q', body, at + 8)[0]}")
            at += 16
        if layout == 0:
            blocks = math.ceil(n / 1024)
            packed = body[at : at + math.ceil(blocks / 4)]
            chosen = sorted({(packed[b // 4] >> (2 * (b % 4))) & 3 for b in range(blocks)})
            part.append("predictors " + "".join(map(str, chosen)))
            at += len(packed)
        at += 17 if layout == 3 else 0
        escapes, code_bytes = struct.unpack_from("<II", body, at)
        part.append(f"escapes {escapes}, coder {body[at + 8] if code_bytes else '-'}")
        at += 8 + code_bytes + escapes * size
        parts.append(", ".join(part))
    return f"mode {mode}: " + "; ".join(parts)


def summary(frame: bytes) -> str:
    kind, size = frame[44], frame[10]
    (count,) = struct.unpack_from("<Q", frame, 11)
    if kind == 0 and count:
        return chunk_summary(frame[HEADER:], count, size)
    return f"body kind {kind}"


# --- damaged frames --------------------------------------------------------------------------


def sealed(data: bytearray) -> bytes:
    struct.pack_into("<I", data, 5, zlib.crc32(data[9:]))
    return bytes(data)


def poked(
    frame: bytes, at: int, fmt: str, value: object, inner: tuple[int, int] | None = None
) -> bytes:
    """One field changed and the frame resealed; with `inner` (start and size of a channel's
    own frame) that frame's CRC first."""
    data = bytearray(frame)
    struct.pack_into(fmt, data, at, value)
    if inner is not None:
        start, size = inner
        struct.pack_into("<I", data, start + 5, zlib.crc32(data[start + 9 : start + size]))
    return sealed(data)


def blocked_poked(frame: bytes, at_from_end: int, fmt: str, value: object) -> bytes:
    """A change to a blocked frame's index or trailer, with the trailer's CRC and the frame's
    resealed so the index checks are what fails."""
    data = bytearray(frame)
    struct.pack_into(fmt, data, len(data) - at_from_end, value)
    k = struct.unpack_from("<Q", data, len(data) - 12)[0]
    index_start = len(data) - 20 - 21 * k
    crc = zlib.crc32(bytes(data[9:HEADER]) + bytes(data[index_start : len(data) - 4]))
    struct.pack_into("<I", data, len(data) - 4, crc)
    return sealed(data)


def channel_poked(frame: bytes, at_in_body: int, fmt: str, value: object) -> bytes:
    return poked(frame, HEADER + at_in_body, fmt, value)


def error_cases(frames: dict[str, bytes]) -> dict[str, bytes]:
    ecg_f32, codes_i16 = frames["grid_ecg_f32"], frames["exact_codes_i16"]
    verbatim, blocked = frames["verbatim_noise_f64"], frames["blocked_f32"]
    channels = frames["channels_derived_i16"]
    bad_crc = bytearray(ecg_f32)
    bad_crc[100] ^= 0x01
    blocks = struct.unpack_from("<Q", blocked, len(blocked) - 12)[0]
    first_entry = 20 + 21 * blocks  # from the end: block 0's index entry
    # channel table: u32 C, u64 m, then per channel u64 size, u8 terms, u8 shift, [i32 o, terms]
    table = 12
    derived = table + 2 * 10  # channels 0 and 1 are coded alone, channel 2 is predicted
    first_channel = HEADER + derived + 10 + 4 + 2 * 9  # its two terms end the table
    first_size = struct.unpack_from("<Q", channels, HEADER + table)[0]
    return {
        "too_short": ecg_f32[: HEADER - 1],
        "version_3": poked(ecg_f32, 4, "<B", 3),
        "checksum": bytes(bad_crc),
        "dtype_kind": poked(ecg_f32, 9, "<c", b"c"),
        "dtype_size": poked(ecg_f32, 10, "<B", 3),
        "bound_flags": poked(ecg_f32, 19, "<B", 8),
        "body_kind_4": poked(ecg_f32, 44, "<B", 4),
        "largest_error_nan": poked(ecg_f32, 45, "<d", math.nan),
        "verbatim_length": sealed(bytearray(verbatim[:-1])),
        "predictive_more_chunks_than_bytes": poked(ecg_f32, 11, "<Q", 2**40),
        "predictive_cut_short": sealed(bytearray(ecg_f32[:-5])),
        "predictive_trailing_bytes": sealed(bytearray(ecg_f32 + b"\x00")),
        "stream_version": poked(ecg_f32, HEADER, "<B", 2),
        "stream_mode_for_dtype": poked(ecg_f32, HEADER + 1, "<B", 0),
        "stream_unknown_mode": poked(ecg_f32, HEADER + 1, "<B", 4),
        "stream_unknown_layout": poked(codes_i16, HEADER + 10, "<B", 5),
        # layout, grid (16), one byte of block predictors, escape count and code bytes (8)
        "code_coder_unknown_mode": poked(codes_i16, HEADER + 36, "<B", 8),
        "block_size_0": blocked_poked(blocked, 20, "<Q", 0),
        "block_count": blocked_poked(blocked, 12, "<Q", blocks + 1),
        "block_kind_2": blocked_poked(blocked, first_entry - 8, "<B", 2),
        "block_largest_error_nan": blocked_poked(blocked, first_entry - 9, "<d", math.nan),
        "block_sizes": blocked_poked(
            blocked,
            first_entry,
            "<Q",
            struct.unpack_from("<Q", blocked, len(blocked) - first_entry)[0] + 1,
        ),
        "block_crc": blocked_poked(blocked, first_entry - 17, "<I", 0),
        "block_index_crc": sealed(bytearray(blocked[:-4] + b"\x00\x00\x00\x00")),
        "channel_count_0": channel_poked(channels, 0, "<I", 0),
        "channel_samples": channel_poked(channels, 4, "<Q", 799),
        "channel_terms_9": channel_poked(channels, derived + 8, "<B", 9),
        "channel_shift_0": channel_poked(channels, derived + 9, "<B", 0),
        "channel_source_ahead": channel_poked(channels, derived + 14, "<I", 2),
        "channel_lag_17": channel_poked(channels, derived + 18, "<b", 17),
        "channel_coefficient": channel_poked(channels, derived + 19, "<i", 2**24 + 1),
        "channel_predicted_float": poked(poked(channels, 9, "<c", b"f"), 10, "<B", 2),
        "channel_frame_type": poked(
            channels, first_channel + 9, "<c", b"u", inner=(first_channel, first_size)
        ),
        "channel_overrun": channel_poked(
            channels, derived, "<Q", struct.unpack_from("<Q", channels, HEADER + derived)[0] + 1
        ),
        "channel_table_cut_short": sealed(bytearray(channels[: HEADER + derived + 8])),
    }


def main() -> int:
    FRAMES.mkdir(exist_ok=True)
    ERRORS.mkdir(exist_ok=True)
    frames = {}
    for name, (make, settings) in CASES.items():
        frame = tessarine_tools.compress(make(), **settings)  # type: ignore[arg-type]
        frames[name] = frame
        decoded = tessarine_tools.decompress(frame)
        (FRAMES / f"{name}.tsrf").write_bytes(frame)
        np.save(FRAMES / f"{name}.npy", decoded)
        print(f"{name}: {len(frame)} bytes, {decoded.dtype} {decoded.shape}, {summary(frame)}")
    return write_error_cases(error_cases(frames), ERRORS)


if __name__ == "__main__":
    sys.exit(main())
