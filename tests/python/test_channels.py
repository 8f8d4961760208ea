"""Channels in one frame: every channel keeps its own bound, derived leads cost almost
nothing, a channel decodes without the channels it does not need, and damage is refused."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra.numpy import arrays

import tessarine_tools as tt


def leads(n=20_000):
    rng = np.random.default_rng(4)
    base = np.cumsum(rng.integers(-4, 5, size=(2, n)), axis=1)
    one, two = base[0], (base[1] + np.roll(base[0], 3) // 2)  # the second sees the first late
    return np.stack([one, two, two - one, -(one + two) // 2, one - two // 2]).astype(np.int16)


@settings(max_examples=60, deadline=None)
@given(
    arrays(
        st.sampled_from([np.int16, np.uint8, np.int32, np.float32]),
        st.tuples(st.integers(1, 4), st.integers(0, 300)),
    ),
    st.sampled_from([0.0, 0.4, 1.0, 3.0, 50.0]),
    st.booleans(),
)
def test_every_channel_keeps_its_bound(x, bound, joint):
    if x.dtype.kind == "f":
        x = np.nan_to_num(x, posinf=0, neginf=0)
    kwargs = {"lossless": True} if bound == 0 else {"max_error": bound}
    y = tt.decompress(tt.compress(x, joint=joint, **kwargs))
    assert y.shape == x.shape and y.dtype == x.dtype
    error = np.abs(y.astype(np.float64) - x.astype(np.float64))
    assert error.max(initial=0) <= (0 if bound == 0 else bound)


def test_derived_channels_cost_almost_nothing():
    x = leads()
    frame = tt.compress(x, lossless=True)
    alone = [len(tt.compress(lane, lossless=True)) for lane in x]
    np.testing.assert_array_equal(tt.decompress(frame), x)
    # Three of five lanes are exact combinations of the first two.
    assert len(frame) < sum(alone[:2]) + 0.01 * sum(alone[2:]) + 200
    assert len(frame) <= len(tt.compress(x, lossless=True, joint=False)) + 200


def test_channels_decode_alone_and_in_any_order():
    x = leads()
    frame = tt.compress(x, max_error=2)
    whole = tt.decompress(frame)
    np.testing.assert_array_equal(tt.decompress(frame, channels=[4, 0]), whole[[4, 0]])
    np.testing.assert_array_equal(
        tt.decompress(frame, channels=[-1], start=5, stop=9), whole[[4], 5:9]
    )
    with pytest.raises(ValueError, match="outside"):
        tt.decompress(frame, channels=[5])


def test_per_channel_bounds_and_channel_axis():
    x = leads().T  # samples x channels
    bounds = [0.4, 1, 2, 4, 8]
    y = tt.decompress(tt.compress(x, max_error=bounds, channel_axis=1))
    error = np.abs(y.astype(int) - x.T.astype(int)).max(axis=1)
    assert np.all(error <= np.floor(bounds))
    with pytest.raises(ValueError, match="5 channels"):
        tt.compress(x, max_error=[1, 2], channel_axis=1)


def test_any_damage_is_refused():
    frame = tt.compress(leads(300), lossless=True)
    for at in range(5, len(frame), 7):
        damaged = bytearray(frame)
        damaged[at] ^= 0x10
        with pytest.raises(ValueError):
            tt.decompress(bytes(damaged))


def test_a_chunk_whose_lanes_share_nothing_keeps_the_per_lane_layout():
    from tessarine_tools.codec import Tessarine

    noise = np.random.default_rng(8).integers(-500, 500, (3, 4000)).astype(np.int16)
    assert Tessarine(lossless=True).encode(noise) == Tessarine(lossless=True, joint=False).encode(
        noise
    )
    derived = np.stack([noise[0], noise[1], noise[1] - noise[0]])
    chunk = Tessarine(lossless=True).encode(derived)
    assert chunk[:4] == b"TSRF" and len(chunk) < 0.7 * len(
        Tessarine(lossless=True, joint=False).encode(derived)
    )
