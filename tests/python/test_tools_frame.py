"""Frames: dtypes, strides, non-finite samples, damage, `out`, inspect and refused input."""

import struct
import zlib

import numpy as np
import pytest

import tessarine
import tessarine_tools as tt

RNG = np.random.default_rng(7)
WAVE = (np.sin(np.arange(3000) / 11.0) * 900).astype(np.float32)


@pytest.mark.parametrize(
    "dtype", ["<f2", ">f4", "<f8", ">f8", "i1", "u1", ">i2", "<u2", "i4", ">u4", "i8", "u8"]
)
def test_every_real_dtype_comes_back_as_itself(dtype):
    x = WAVE.astype(np.float64) + (300 if dtype[-2] == "u" else 0)
    x = np.clip(x, -100, 100).astype(dtype) if dtype.endswith("1") else x.astype(dtype)
    y = tt.decompress(tt.compress(x[::2]))
    assert y.dtype == x.dtype.newbyteorder("=") and y.shape == x[::2].shape
    assert np.allclose(y, x[::2], atol=float(np.ptp(x)) * 0.01 + 1)


def test_non_finite_samples_are_restored_bit_for_bit():
    x = WAVE.astype(np.float64)
    x[[0, 5, 6, 7, 2999]] = [np.nan, np.inf, -np.inf, np.nan, np.nan]
    bits = x.view(np.uint64)
    bits[5] = 0x7FF0000000000ABC  # a NaN with a payload
    y = tt.decompress(tt.compress(x, max_error=0.5))
    assert np.array_equal(y.view(np.uint64)[~np.isfinite(x)], bits[~np.isfinite(x)])
    finite = np.isfinite(x)
    assert np.abs(y[finite] - x[finite]).max() <= 0.5


def test_alternating_gaps_keep_their_positions():
    x = np.arange(1001, dtype=np.float32)
    x[::2] = np.nan
    y = tt.decompress(tt.compress(x, max_error=0.01))
    assert np.array_equal(np.isnan(y), np.isnan(x)) and np.abs(y[1::2] - x[1::2]).max() <= 0.01


@pytest.mark.parametrize(
    "x", [np.full(9, np.nan), np.array([np.inf, -np.inf], np.float32), np.array([np.nan], "f2")]
)
def test_all_non_finite_signals_round_trip(x):
    assert tt.decompress(tt.compress(x, psnr=50)).tobytes() == x.tobytes()


@pytest.mark.parametrize(
    "settings", [{}, {"method": "db4", "scale": 9, "cutoff": "high", "coder": "deflate"}]
)
def test_plain_is_the_module_container(settings):
    names = {"method": "cdf97", "scale": 11, "cutoff": "low", "coder": "arans", **settings}
    x = WAVE.copy()
    x[[3, 50]] = [np.nan, np.inf]  # the module's own sanitising applies to bare containers
    expected = tessarine.compress_signal(x, tessarine.TessrCompressionOptions(**names))
    plain = tt.compress(x[::-1].copy()[::-1], plain=True, **settings)  # a negative-stride view
    assert plain == expected
    assert np.array_equal(tt.decompress(plain), tessarine.decompress_signal(expected))


def test_every_single_bit_flip_after_the_magic_is_refused():
    frame = bytearray(tt.compress(WAVE[:200], rel_error=1e-4))
    for bit in range(32, 8 * len(frame), 7):
        damaged = frame.copy()
        damaged[bit // 8] ^= 1 << bit % 8
        with pytest.raises(ValueError, match="damaged|version"):
            tt.decompress(bytes(damaged))
    with pytest.raises(ValueError, match="damaged"):
        tt.decompress(bytes(frame[:-1]))


def forge(frame, offset, value):
    forged = bytearray(frame)
    forged[offset : offset + len(value)] = value
    forged[5:9] = zlib.crc32(bytes(forged[9:])).to_bytes(4, "little")
    return bytes(forged)


@pytest.mark.parametrize(
    "where, value",
    [
        ("count", (2**40).to_bytes(8, "little")),  # more samples than any section holds
        ("residual", b"\x00\x00"),  # the layer's coder changed: a stream it cannot read
        ("map", b"\xff"),  # inside the non-finite map
    ],
)
def test_frames_resealed_after_forgery_fail_cleanly(where, value):
    x = np.cumsum(RNG.normal(size=4000)).astype(np.float32)
    x[7] = np.nan
    frame = tt.compress(x, rel_error=1e-6)
    container, residual, _ = struct.unpack_from("<3Q", frame, 48)
    offset = {"count": 11, "residual": 72 + container, "map": 72 + container + residual + 3}
    with pytest.raises(ValueError, match="damaged"):
        tt.decompress(forge(frame, offset[where], value))


@pytest.mark.parametrize(
    "dtype, kwargs", [("f4", {}), ("f4", {"plain": True}), ("i2", {"max_error": 0.4})]
)
def test_out_receives_the_samples(dtype, kwargs):
    blob = tt.compress(WAVE.astype(dtype), **kwargs)
    out = np.empty(WAVE.size * 2, dtype)[::2]
    assert tt.decompress(bytearray(blob), out=out) is out
    assert np.array_equal(out, tt.decompress(memoryview(blob)))
    for wrong in (np.empty(WAVE.size - 1, dtype), np.empty(WAVE.size, np.float64)):
        with pytest.raises(ValueError, match="out must be"):
            tt.decompress(blob, out=wrong)


def test_inspect_names_every_field():
    x = WAVE.astype(np.int16)
    info = tt.inspect(tt.compress(x, max_error=0.4))
    assert (info.kind, info.dtype, info.max_error, info.sample_count) == (
        "frame",
        "int16",
        0.4,
        x.size,
    )
    assert info.residual_size > 0 and info.ratio == 2 * x.size / info.total_size  # int16's size
    assert info.body == "predictive" and "max_error=0.4" in str(info)
    wavelet = tt.inspect(tt.compress(x, max_error=0.4, method="cdf97"))
    assert len(wavelet.band_lengths) == wavelet.levels + 1 and wavelet.residual_size > 0
    plain = tt.inspect(tt.compress(WAVE, method="sym4", scale=8, plain=True))
    assert (plain.kind, plain.method, plain.scale, plain.cutoff, plain.coder) == (
        "container",
        "sym4",
        8,
        None,
        "arans",
    )
    walk = np.cumsum(RNG.normal(size=50000)).astype(
        np.float32
    )  # a layer alone beats any wavelet here
    bare = tt.inspect(tt.compress(walk, max_error=1.0))
    assert (bare.method, bare.levels, bare.payload_len) == ("none", 0, 0)
    assert "no wavelet container" in str(bare)
    with pytest.raises(ValueError, match="Magic should be 'TSRN' but it was 'ABCD'"):
        tt.inspect(b"ABCD" + bytes(60))


@pytest.mark.parametrize(
    "data, kwargs, error",
    [
        (WAVE.astype(np.complex64), {}, TypeError),
        (np.array([1.0, "x"], dtype=object), {}, TypeError),
        (np.ones((3, 3)), {}, ValueError),
        (np.float32(1.0), {}, ValueError),
        (np.array([], np.float32), {}, ValueError),
        (np.array([1.0, 1e39]), {}, ValueError),
        (np.array([-3e38, 3e38], np.float32), {}, ValueError),
        (WAVE, {"max_error": -1.0}, ValueError),
        (WAVE, {"rel_error": 0.0}, ValueError),
        (WAVE, {"psnr": float("nan")}, ValueError),
        (WAVE, {"max_error": 10**400}, ValueError),
        (np.float32(1.0), {"max_error": 0.1}, ValueError),
        (np.ones((2, 3, 3)), {"max_error": 0.1}, ValueError),  # 2-D is channels; 3-D is not
        (WAVE.astype(np.complex64), {"max_error": 0.1}, TypeError),
        (WAVE, {"max_error": 0.1, "scale": 9}, ValueError),
        (WAVE, {"psnr": 50, "cutoff": "low"}, ValueError),
        (WAVE, {"method": "best"}, ValueError),
        (WAVE, {"method": "haar"}, ValueError),
        (WAVE, {"scale": 13}, ValueError),
        (WAVE.astype(np.float64), {"plain": True}, ValueError),
    ],
)
def test_bad_input_is_refused(data, kwargs, error):
    with pytest.raises(error):
        tt.compress(data, **kwargs)
