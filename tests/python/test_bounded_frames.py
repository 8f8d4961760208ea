"""Bounded frames from the native predictive coder: every dtype and bound kind, checked in
exact arithmetic; lossless integers and non-finite samples bit for bit; no expansion."""

import os
import subprocess
import sys
from fractions import Fraction
from pathlib import Path

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import tessarine_tools as tt

DTYPES = [
    "float16",
    "float32",
    "float64",
    "int8",
    "uint8",
    "int16",
    "uint16",
    "int32",
    "uint32",
    "int64",
    "uint64",
]


def exact(value):
    return Fraction(int(value)) if isinstance(value, np.integer) else Fraction(float(value))


def finite_pairs(x, y):
    keep = np.isfinite(x) if x.dtype.kind == "f" else np.ones(x.size, bool)
    return [(exact(a), exact(b)) for a, b in zip(x[keep], y[keep])]


def span(pairs):
    return max(a for a, _ in pairs) - min(a for a, _ in pairs) if pairs else Fraction(0)


signals = st.sampled_from(DTYPES).flatmap(
    lambda d: hnp.arrays(d, st.integers(0, 100), elements=hnp.from_dtype(np.dtype(d)))
)


@settings(max_examples=300, deadline=None)
@given(signals, st.sampled_from(["max_error", "rel_error", "psnr"]), st.floats(1e-6, 10.0))
def test_every_bound_holds_exactly(x, kind, amount):
    value = {"max_error": amount, "rel_error": amount / 100, "psnr": 20 + amount * 10}[kind]
    y = tt.decompress(tt.compress(x, **{kind: value}))
    assert y.dtype == x.dtype and y.shape == x.shape
    if x.dtype.kind == "f":  # non-finite samples come back bit for bit
        lost = ~np.isfinite(x)
        assert x[lost].tobytes() == y[lost].tobytes()
    pairs = finite_pairs(x, y)
    if kind == "max_error":
        assert all(abs(a - b) <= Fraction(value) for a, b in pairs)
    elif kind == "rel_error":
        assert all(abs(a - b) <= Fraction(value) * span(pairs) for a, b in pairs)
    elif pairs:
        mse = sum((a - b) ** 2 for a, b in pairs) / len(pairs)
        assert mse * Fraction(10 ** (value / 10)) <= span(pairs) ** 2 * Fraction(1 + 1e-9)


@pytest.mark.parametrize("dtype", DTYPES[3:])
def test_integers_come_back_exactly_below_half_a_step(dtype):
    info = np.iinfo(dtype)
    rng = np.random.default_rng(1)
    x = np.concatenate(
        [
            [info.min, info.max, info.max - 1, info.min + 1, 0],
            rng.integers(info.min, info.max, 2000, dtype=dtype, endpoint=True),
        ]
    )
    x = x.astype(dtype)
    assert np.array_equal(tt.decompress(tt.compress(x, max_error=0.49)), x)


@pytest.mark.parametrize("dtype", ["float16", "float32", "float64"])
def test_non_finite_and_extreme_floats_keep_their_bits(dtype):
    info = np.finfo(dtype)
    bits = np.array([0x7FC00001, 0x7F800001], np.uint32).view(np.float32)  # quiet, signalling
    x = np.array(
        [
            np.nan,
            np.inf,
            -np.inf,
            info.max,
            -info.max,
            info.tiny,
            info.smallest_subnormal,
            -0.0,
            0.0,
            1.0,
        ],
        dtype,
    )
    if dtype == "float32":
        x = np.concatenate([x, bits])
    y = tt.decompress(tt.compress(x, max_error=1e-3))
    lost = ~np.isfinite(x)
    assert x[lost].tobytes() == y[lost].tobytes()
    assert np.all(np.abs(y[~lost].astype(np.float64) - x[~lost].astype(np.float64)) <= 1e-3)


@pytest.mark.parametrize("dtype", ["int8", "int16", "float32"])
def test_incompressible_input_costs_at_most_64_bytes_more(dtype):
    rng = np.random.default_rng(2)
    raw = rng.integers(0, 256, 1 << 16, dtype=np.uint8)
    x = raw.view(dtype)
    frame = tt.compress(x, max_error=1e-300 if dtype == "float32" else 0.4)
    assert len(frame) <= x.nbytes + 64
    assert tt.decompress(frame).tobytes() == x.tobytes()


def test_strided_and_byte_swapped_inputs_equal_their_contiguous_copies():
    x = np.sin(np.arange(3000) / 20) * 1000
    frame = tt.compress(np.ascontiguousarray(x[::3]), max_error=0.1)
    assert tt.compress(x[::3], max_error=0.1) == frame
    assert tt.compress(x[::3].astype(">f8"), max_error=0.1) == frame


def test_out_receives_the_samples_and_wrong_outs_are_refused():
    x = np.arange(1000, dtype=np.int32) * 7
    frame = tt.compress(x, max_error=3)
    out = np.empty(1000, np.int32)
    assert tt.decompress(frame, out=out) is out
    assert np.array_equal(out, tt.decompress(frame))
    for wrong in (np.empty(999, np.int32), np.empty(1000, np.int64), np.empty((2, 500), np.int32)):
        with pytest.raises(ValueError):
            tt.decompress(frame, out=wrong)


def test_damaged_frames_raise_value_error():
    frame = bytearray(tt.compress(np.sin(np.arange(5000) / 9.0), max_error=1e-3))
    rng = np.random.default_rng(3)
    for _ in range(300):
        damaged = bytearray(frame)
        damaged[rng.integers(0, len(frame))] ^= 1 << int(rng.integers(0, 8))
        with pytest.raises(ValueError):
            tt.decompress(bytes(damaged))
    for cut in (0, 4, 5, 52, len(frame) - 1):
        with pytest.raises(ValueError):
            tt.decompress(bytes(frame[:cut]))


def test_empty_signals_make_frames():
    for dtype in ("float32", "uint64"):
        y = tt.decompress(tt.compress(np.empty(0, dtype), rel_error=1e-3))
        assert y.dtype == dtype and y.size == 0


def test_every_instruction_set_tier_makes_and_reads_the_same_bits():
    code = (
        "import sys, numpy as np, tessarine_tools as tt\n"
        "x = np.load(sys.argv[1])\n"
        "frames = [tt.compress(x, max_error=e) for e in (1e-2, 1e-4)] + [tt.compress(x, psnr=50)]\n"
        "sys.stdout.buffer.write(b''.join(f + tt.decompress(f).tobytes() for f in frames))\n"
    )
    shipped = Path(__file__).resolve().parents[2] / "examples" / "data"
    signal = str(next(shipped.glob("*.npy")))
    outputs = {
        tier: subprocess.run(
            [sys.executable, "-c", code, signal],
            capture_output=True,
            check=True,
            env={**os.environ, "TESSARINE_CPU": tier},
        ).stdout
        for tier in ("scalar", "sse4.2", "avx2")
    }
    assert outputs["scalar"] == outputs["sse4.2"] == outputs["avx2"]


def test_reversed_inputs_equal_their_contiguous_copies():
    x = np.random.default_rng(4).integers(-32768, 32768, 3000).astype(np.int16)
    for kwargs in ({"max_error": 0.4}, {"rel_error": 1e-2}):  # a verbatim body; a range pass
        assert tt.compress(x[::-1], **kwargs) == tt.compress(x[::-1].copy(), **kwargs)
