"""The error-bound guarantee of tessarine_tools.compress on real and adversarial signals."""

import os
from fractions import Fraction
from pathlib import Path

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import tessarine_tools as tt

REPO = Path(__file__).resolve().parents[2]
DATA = Path(os.environ.get("TESSARINE_DATA", REPO.parent / "shared" / "data"))
SHIPPED = REPO / "examples" / "data"
RNG = np.random.default_rng(14)


def real_signals():
    files = sorted(DATA.glob("*.npy")) or sorted(SHIPPED.glob("*.npy"))
    return {f.stem: np.load(f)[:60000] for f in files}


def worst_cases():
    t = np.arange(4000)
    spikes = np.zeros(4000, np.float32)
    spikes[::397] = 1e4
    return {
        "steps": np.repeat(RNG.normal(size=40) * 100, 100).astype(np.float32),
        "spikes": spikes,
        "white": RNG.normal(size=4000).astype(np.float32),
        "constant": np.full(300, 7.25, np.float32),
        "huge": (np.sin(t / 9.0) * 1e37).astype(np.float32),
        "tiny": (1.0 + np.sin(t / 9.0) * 1e-6).astype(np.float32),
        "float64": np.sin(t / 7.0) * 3.0 + RNG.normal(size=4000) * 1e-9,
    }


def holds(x, y, max_error=None, rel_error=None, psnr=None):
    x, y = np.asarray(x, np.float64), np.asarray(y, np.float64)
    finite = np.isfinite(x)
    err = np.abs(x[finite] - y[finite])
    span = np.ptp(x[finite]) if finite.any() else 0.0
    ok = max_error is None or err.max(initial=0) <= max_error
    ok &= rel_error is None or err.max(initial=0) <= rel_error * span
    rmse = np.sqrt(np.mean(err**2)) if err.size else 0.0
    return ok and (psnr is None or rmse == 0 or 20 * np.log10(span / rmse) >= psnr)


BOUNDS = [{"rel_error": r} for r in (1e-2, 1e-3, 1e-4, 1e-5)] + [
    {"psnr": p} for p in (40, 60, 80, 100)
]
SIGNALS = {**real_signals(), **worst_cases()}


@pytest.mark.parametrize("bound", BOUNDS, ids=str)
@pytest.mark.parametrize("name", SIGNALS)
def test_every_bound_holds(name, bound):
    x = SIGNALS[name]
    if "rel_error" in bound and name != "constant":
        bound = {"max_error": bound["rel_error"] * float(np.ptp(x))}
    y = tt.decompress(tt.compress(x, **bound))
    assert y.dtype == x.dtype and holds(x, y, **bound)


@pytest.mark.parametrize("n", range(1, 71))
def test_short_signals_meet_every_bound_at_once(n):
    x = RNG.normal(size=n).astype(np.float32) * 50
    bounds = {"max_error": 0.05, "rel_error": 1e-3, "psnr": 70}
    assert holds(x, tt.decompress(tt.compress(x, method="best", **bounds)), **bounds)


@settings(max_examples=40, deadline=None)
@given(
    x=hnp.arrays(np.float32, st.integers(1, 300), elements=st.floats(-1e6, 1e6, width=32)),
    rel=st.sampled_from([1e-1, 1e-2, 1e-4, 1e-6]),
    method=st.sampled_from(["cdf53", "cdf97", "db4", "sym4"]),
)
def test_guarantee_property(x, rel, method):
    bound = rel * float(np.ptp(x)) or rel
    assert holds(x, tt.decompress(tt.compress(x, max_error=bound, method=method)), max_error=bound)


@settings(max_examples=40, deadline=None)
@given(
    x=hnp.arrays(
        st.sampled_from([np.int8, np.uint16, np.int32, np.int64, np.uint64]), st.integers(1, 200)
    ),
    bound=st.sampled_from([0.3, 1.0, 2.5, 1e3, 1e12]),
)
def test_integer_guarantee_property(x, bound):
    y = tt.decompress(tt.compress(x, max_error=bound))
    assert y.dtype == x.dtype and all(
        abs(int(a) - int(b)) <= bound for a, b in zip(x, y, strict=True)
    )


@pytest.mark.parametrize(
    "dtype", [np.int8, np.uint8, np.int16, np.uint16, np.int32, np.int64, np.uint64]
)
def test_integers_below_half_a_unit_are_exact(dtype):
    info = np.iinfo(dtype)
    x = RNG.integers(info.min, info.max, size=5000, dtype=dtype, endpoint=True)
    y = tt.decompress(tt.compress(x, max_error=0.4))
    assert y.dtype == x.dtype and np.array_equal(x, y)


def test_int16_audio_with_a_coarse_bound_stays_within_whole_units():
    x = (np.sin(np.arange(20000) / 5.0) * 20000).astype(np.int16)
    y = tt.decompress(tt.compress(x, max_error=3.7))
    assert np.abs(x.astype(int) - y).max() <= 3


@pytest.mark.parametrize("bound", [{"max_error": 1e-4}, {"psnr": 60}], ids=str)
def test_plain_containers_meet_their_bound_or_are_refused(bound):
    x = SIGNALS["white"]
    if "psnr" in bound:
        assert holds(x, tt.decompress(tt.compress(x, plain=True, **bound)), **bound)
    else:
        with pytest.raises(ValueError, match="residual layer"):
            tt.compress(x, plain=True, **bound)


@pytest.mark.parametrize("bound", [{"max_error": 0.02}, {"psnr": 45}], ids=str)
def test_best_method_is_never_larger_than_the_default(bound):
    x = SIGNALS["white"].cumsum()
    assert len(tt.compress(x, method="best", **bound)) <= len(tt.compress(x, **bound))


@pytest.mark.parametrize("dtype", [np.int64, np.uint64])
def test_integers_at_the_ends_of_their_range_keep_a_coarse_bound(dtype):
    info = np.iinfo(dtype)
    x = np.array(
        [info.min, info.max, info.min + 7, info.max - 7, 0, info.max // 2] * 50, dtype=dtype
    )
    y = tt.decompress(tt.compress(x, max_error=3.7))
    assert y.dtype == x.dtype and np.all(np.maximum(x, y) - np.minimum(x, y) <= 3)


@pytest.mark.parametrize("bound", [{"rel_error": 1e-2}, {"psnr": 80}], ids=str)
def test_smooth_long_signals_cost_no_more_than_their_wavelet_container(bound):
    x = np.sin(np.arange(100000) / 300.0).astype(np.float32)
    blob = tt.compress(x, **bound)
    assert len(blob) <= len(tt.compress(x, method="cdf97", **bound))
    assert holds(x, tt.decompress(blob), **bound)


@pytest.mark.parametrize("method", ["cdf53", "db4"])
def test_a_named_wavelet_is_kept_under_a_bound(method):
    # On noise-like data a frame without container would be smaller; a named wavelet still wins.
    x = np.load(SHIPPED / "ecg_mitbih100_mlii_60s.npy")
    blob = tt.compress(x, max_error=1e-3 * float(np.ptp(x)), method=method)
    assert tt.inspect(blob).method == method
    assert holds(x, tt.decompress(blob), max_error=1e-3 * float(np.ptp(x)))


def test_a_named_wavelet_meets_its_bound_in_exact_arithmetic():
    # The float64 difference rounds this sample's true error (max_error + 1e-20) onto the bound.
    x = np.array([-1e-20, 1.0])
    bound = 5.337595939636231e-05
    y = tt.decompress(tt.compress(x, max_error=bound, method="cdf97"))
    assert all(
        abs(Fraction(float(a)) - Fraction(float(b))) <= Fraction(bound) for a, b in zip(x, y)
    )
