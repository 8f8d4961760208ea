"""Signals through compress_signal and back: length, type and reconstruction quality for every
method and coder, on synthetic, generated and recorded signals; damaged containers."""

import struct
from pathlib import Path

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

from tessarine import TessrCompressionOptions, compress_signal, decompress_signal

METHODS = ("cdf97", "cdf53", "db4", "sym4")
CODERS = ("deflate", "arans")
ECG = Path(__file__).resolve().parents[2] / "examples" / "data" / "ecg_mitbih100_mlii_60s.npy"

# Quality floors with a margin below what the codec reaches at the default options (scale 11,
# cutoff low): about 56 dB and more on the smooth signal, 46 dB and a ratio of 4.3 on the ECG.
SMOOTH_SNR_DB = 50
ECG_SNR_DB = 42
ECG_MIN_RATIO = 4
# Largest error as a fraction of the signal's range. The quantisation step is 2**-scale of the
# range; the inverse transform spreads each coefficient's error over several samples.
SHORT_MAX_ERROR = 0.01
FLAT_RANGE = 1e-5


def max_error_bound(scale):
    return 8 * 2.0**-scale


def snr_db(original, decoded):
    error = original.astype(np.float64) - decoded
    centred = original - original.mean(dtype=np.float64)
    return 10 * np.log10(np.sum(centred**2) / np.sum(error**2))


def round_trip(signal, **options):
    return decompress_signal(compress_signal(signal, TessrCompressionOptions(**options)))


@pytest.fixture(scope="module")
def smooth():
    t = np.arange(6000) / 6000.0
    return (np.sin(2 * np.pi * 5 * t) + 0.4 * np.cos(2 * np.pi * 17 * t)).astype(np.float32)


@pytest.mark.parametrize("coder", CODERS)
@pytest.mark.parametrize("method", METHODS)
def test_smooth_signal_reconstructs_closely(smooth, method, coder):
    decoded = round_trip(smooth, method=method, coder=coder)
    assert decoded.shape == smooth.shape and decoded.dtype == np.float32
    assert snr_db(smooth, decoded) > SMOOTH_SNR_DB


@pytest.mark.parametrize("method", METHODS)
def test_recorded_ecg_keeps_its_shape_and_shrinks(method):
    ecg = np.load(ECG)
    container = compress_signal(ecg, TessrCompressionOptions(method=method))
    decoded = decompress_signal(container)
    assert len(container) * ECG_MIN_RATIO < ecg.nbytes
    assert snr_db(ecg, decoded) > ECG_SNR_DB


@pytest.mark.parametrize("method", METHODS)
def test_finer_scale_gives_smaller_error(smooth, method):
    errors = [
        np.max(np.abs(round_trip(smooth, method=method, scale=s) - smooth)) for s in (6, 9, 12)
    ]
    assert errors[0] > errors[1] > errors[2]


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("length", [1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 33, 63, 80, 81])
def test_short_signals_keep_their_length(method, length):
    signal = np.linspace(-1.0, 2.0, length, dtype=np.float32) ** 2
    decoded = round_trip(signal, method=method)
    assert decoded.shape == (length,)
    assert np.max(np.abs(decoded - signal)) <= SHORT_MAX_ERROR * (np.ptp(signal) or 1.0)


finite_signals = hnp.arrays(
    np.float32,
    st.integers(1, 3000),
    elements=st.floats(-1e6, 1e6, width=32, allow_nan=False, allow_infinity=False),
)
any_signals = hnp.arrays(np.float32, st.integers(1, 600), elements=st.floats(width=32))


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(
    signal=finite_signals,
    method=st.sampled_from(METHODS),
    coder=st.sampled_from(CODERS),
    scale=st.integers(6, 12),
)
def test_generated_signals_round_trip(signal, method, coder, scale):
    options = TessrCompressionOptions(method=method, coder=coder, scale=scale)
    container = compress_signal(signal, options)
    assert compress_signal(signal, options) == container  # deterministic
    decoded = decompress_signal(container)
    assert decoded.shape == signal.shape and decoded.dtype == np.float32
    assert np.all(np.isfinite(decoded))
    wide = signal.astype(np.float64)
    # Signals whose range is at most 1e-5 are stored as flat; denormalising rounds in float32.
    allowed = (
        max_error_bound(scale) * np.ptp(wide)
        + FLAT_RANGE
        + 4 * np.finfo(np.float32).eps * np.max(np.abs(wide))
    )
    assert np.max(np.abs(decoded - wide)) <= allowed


@settings(max_examples=150, deadline=None)
@given(signal=any_signals, method=st.sampled_from(METHODS))
def test_any_float32_values_compress_or_are_refused_cleanly(signal, method):
    try:
        container = compress_signal(signal, TessrCompressionOptions(method=method))
    except ValueError:
        return
    assert decompress_signal(container).shape == signal.shape


@pytest.fixture(scope="module")
def containers(smooth):
    return [
        compress_signal(smooth[:700], TessrCompressionOptions(method=m, coder=c))
        for m in METHODS
        for c in CODERS
    ]


@settings(
    max_examples=300, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture]
)
@given(data=st.data())
def test_damaged_containers_decode_or_raise_value_error(containers, data):
    container = bytearray(data.draw(st.sampled_from(containers)))
    for _ in range(data.draw(st.integers(1, 4))):
        position = data.draw(st.integers(0, len(container) - 1))
        container[position] = data.draw(st.integers(0, 255))
    cut = data.draw(st.integers(0, len(container)))
    damaged = bytes(container[:cut])
    try:
        decoded = decompress_signal(damaged)
    except ValueError:
        return
    (sample_count,) = struct.unpack_from("<I", damaged, 16)
    assert decoded.shape == (sample_count,) and decoded.dtype == np.float32
