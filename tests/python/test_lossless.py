"""lossless=True returns every bit of every sample, for every dtype, and takes no other bound."""

from pathlib import Path

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import tessarine_tools as tt
from tessarine_tools.codec import Tessarine

DTYPES = ["f2", "f4", "f8", "i1", "u1", "i2", "u2", "i4", "u4", "i8", "u8"]


def awkward(dtype):
    """Random bit patterns (NaN payloads, denormals, -0.0 among them) then a smooth stretch."""
    rng = np.random.default_rng(7)
    noise = rng.integers(0, 256, 3000 * dtype.itemsize, dtype=np.uint8).view(dtype)
    smooth = (np.sin(np.arange(3000) / 40.0) * 100).astype(dtype)
    return np.concatenate([noise, smooth])


@pytest.mark.parametrize("dtype", [np.dtype(t) for t in DTYPES])
def test_every_bit_comes_back(dtype):
    for samples in (awkward(dtype), awkward(dtype)[::-3], np.empty(0, dtype)):
        back = tt.decompress(tt.compress(samples, lossless=True))
        assert back.dtype == dtype and back.tobytes() == samples.tobytes()


def test_float_corner_patterns_come_back():
    patterns = np.array(
        [
            0x8000000000000000,
            0x7FF0000000000123,
            0xFFF8000000000001,
            1,
            0x000FFFFFFFFFFFFF,
            0x7FF0000000000000,
        ],
        dtype=np.uint64,
    )
    samples = np.tile(patterns, 50).view(np.float64)
    back = tt.decompress(tt.compress(samples, lossless=True))
    assert back.view(np.uint64).tolist() == samples.view(np.uint64).tolist()


@pytest.mark.parametrize(
    "keywords, message",
    [
        ({"max_error": 0.1}, "lossless=True keeps every bit and takes no max_error"),
        ({"psnr": 60, "scale": 8}, "lossless=True keeps every bit and takes no psnr or scale"),
        ({"method": "best"}, "lossless=True keeps every bit and takes no method"),
        ({"plain": True}, "lossless=True keeps every bit and takes no plain"),
    ],
)
def test_other_settings_are_refused(keywords, message):
    with pytest.raises(ValueError) as refused:
        tt.compress(np.arange(8.0), lossless=True, **keywords)
    assert str(refused.value) == message


def test_only_true_or_false():
    with pytest.raises(TypeError, match="lossless must be True or False, got 1"):
        tt.compress(np.arange(8.0), lossless=1)


def test_codec_config_names_lossless_only_when_set():
    assert Tessarine(lossless=True).get_config() == {
        "id": "tessarine",
        "coder": "arans",
        "plain": False,
        "lossless": True,
    }
    assert "lossless" not in Tessarine(max_error=0.1).get_config()
    chunk = awkward(np.dtype("f4")).reshape(2, -1)
    assert (
        Tessarine(lossless=True).decode(Tessarine(lossless=True).encode(chunk)).tobytes()
        == chunk.tobytes()
    )


def test_floats_take_the_smaller_route_and_blocks_stay_readable_a_window_at_a_time():
    wave = np.sin(np.arange(20000) / 50.0) * 3.7  # float64: byte planes beat the predictive coder
    whole = tt.compress(wave, lossless=True)
    blocked = tt.compress(wave, lossless=True, block_size=5000)  # blocks: predictive only
    assert len(whole) < len(blocked)
    assert tt.decompress(whole).tobytes() == wave.tobytes()
    assert tt.decompress(blocked, start=7000, stop=7003).tobytes() == wave[7000:7003].tobytes()


ECG = np.load(
    Path(__file__).resolve().parents[2] / "examples" / "data" / "ecg_mitbih100_mlii_60s.npy"
)
CODES = np.round(ECG.astype(np.float64) * 200).astype(np.int64)


@pytest.mark.parametrize(
    "physical",
    [
        (CODES / 200).astype(np.float32),  # the shipped ECG itself
        CODES * 0.005,  # float64
        (CODES * (200 / 4095) + 12.5).astype(np.float32),  # an EDF-style gain and offset
    ],
    ids=["f4 codes/200", "f8 codes*0.005", "f4 gain and offset"],
)
def test_floats_that_are_codes_times_a_gain_cost_about_their_codes(physical, tmp_path):
    # A converter's codes times a gain come back bit for bit at about the cost of the codes
    # themselves, not of their float bit patterns (a third of that or less).
    codes_frame = tt.compress(CODES.astype(np.int16), lossless=True)
    frame = tt.compress(physical, lossless=True)
    assert tt.decompress(frame).tobytes() == physical.tobytes()
    assert len(frame) < 1.05 * len(codes_frame) + 100
    path = tmp_path / "streamed.tsrn"
    with tt.open(path, "w", dtype=physical.dtype, lossless=True) as writer:
        writer.write(physical)
    assert path.stat().st_size < 1.05 * len(codes_frame) + 200  # the command line's path


def test_samples_off_the_grid_come_back_bit_for_bit():
    x = (CODES / 200).astype(np.float32)
    x[::500] = np.nan
    x[7], x[9], x[11], x[13] = -0.0, np.inf, 1e-42, 0.0012345
    back = tt.decompress(tt.compress(x, lossless=True))
    assert back.tobytes() == x.tobytes()
    assert np.signbit(back[7])


@settings(max_examples=40, deadline=None)
@given(
    gain=st.floats(1e-6, 1e3),
    offset=st.sampled_from([0.0, 12.5, -1000.25, 3.3e-3]),
    dtype=st.sampled_from([np.float32, np.float64]),
    seed=st.integers(0, 2**16),
)
def test_any_gain_and_offset_come_back_bit_for_bit(gain, offset, dtype, seed):
    codes = np.cumsum(np.random.default_rng(seed).integers(-3, 4, 5000))
    physical = (codes * gain + offset).astype(dtype)
    assert tt.decompress(tt.compress(physical, lossless=True)).tobytes() == physical.tobytes()


def test_decimal_values_cost_about_their_integer_codes():
    # Values written with two decimals and read back as float32 (up to 5000, where float32 still
    # holds every hundredth): their hundredths are the grid indices the coder finds.
    hundredths = np.cumsum(np.random.default_rng(5).integers(-40, 41, 20000)) + 250_000
    decimals = (hundredths / 100).astype(np.float32)
    frame = tt.compress(decimals, lossless=True)
    assert tt.decompress(frame).tobytes() == decimals.tobytes()
    assert len(frame) < 1.05 * len(tt.compress(hundredths.astype(np.int32), lossless=True)) + 100


@pytest.mark.parametrize("gap_share", [1.0, 0.5])
def test_recordings_of_mostly_gaps_do_not_grow(gap_share):
    # NaNs would escape from a grid one by one; mostly-gap recordings keep their bit patterns.
    x = (CODES[:10000] / 200).astype(np.float32)
    x[: int(gap_share * x.size)] = np.nan
    frame = tt.compress(x, lossless=True, block_size=2**20)
    assert tt.decompress(frame).tobytes() == x.tobytes()
    assert len(frame) < x.nbytes / 2


@settings(max_examples=25, deadline=None)
@given(
    dtype=st.sampled_from([np.int8, np.uint8, np.int16, np.uint16, np.int32]),
    n=st.integers(20_000, 70_000),
    scale=st.floats(0.01, 1.0),
    noise=st.floats(0.0, 0.05),
    seed=st.integers(0, 2**16),
)
def test_resonant_recordings_of_any_width_come_back_exactly(dtype, n, scale, noise, seed):
    # Tones in noise, from a few codes to full scale: the linear predictor's segments decode side
    # by side where the sums fit 32 bits and through the exact loop where they do not.
    rng = np.random.default_rng(seed)
    info = np.iinfo(dtype)
    t = np.arange(n)
    tones = (
        np.sin(0.05 * t + rng.uniform(0, 6))
        + 0.4 * np.sin(0.31 * t)
        + noise * rng.standard_normal(n)
    )
    middle = (float(info.max) + float(info.min)) / 2
    half_range = (float(info.max) - float(info.min)) / 2
    x = np.clip(np.round(middle + scale * half_range * tones / 1.6), info.min, info.max).astype(
        dtype
    )
    assert np.array_equal(tt.decompress(tt.compress(x, lossless=True)), x)
