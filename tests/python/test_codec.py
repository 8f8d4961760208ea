"""numcodecs codec: configs round-trip, lanes stay apart, bounds hold per lane, out is filled."""

import subprocess
import sys

import numcodecs
import numpy as np
import pytest

import tessarine
import tessarine_tools
from tessarine_tools.codec import Tessarine, lane_frames

RNG = np.random.default_rng(15)


def signal(shape, dtype):
    t = np.arange(shape[-1])
    wave = np.sin(t / 17.0) * 900 + RNG.normal(0, 20, shape)
    return wave.astype(dtype)


def test_peers_import_together():
    # numcodecs parses zfpy's version at import: a mismatched pin breaks zarr for everyone.
    code = "import zarr, numcodecs, zfpy, pysz, dask.array, distributed"
    subprocess.run([sys.executable, "-c", code], check=True, timeout=120)


@pytest.mark.parametrize(
    "config",
    [
        {"id": "tessarine"},
        {"id": "tessarine", "method": "db4", "scale": 9, "cutoff": "high", "coder": "deflate"},
        {"id": "tessarine", "max_error": 0.5, "method": "best"},
        {"id": "tessarine", "psnr": 70.0, "plain": True},
    ],
)
def test_config_round_trips_through_registry(config):
    codec = numcodecs.get_codec(config)
    assert isinstance(codec, Tessarine)
    assert numcodecs.get_codec(codec.get_config()) == codec
    assert {k: v for k, v in codec.get_config().items() if k in config} == config


@pytest.mark.parametrize(
    "bad", [{"max_error": -1.0}, {"psnr": 60.0, "scale": 9}, {"method": "haar"}]
)
def test_bad_configs_are_refused_when_built(bad):
    with pytest.raises(ValueError):
        Tessarine(**bad)


@pytest.mark.parametrize("dtype", ["float32", "float64", "int16", "uint16"])
@pytest.mark.parametrize("shape", [(500,), (3, 700), (2, 2, 90)])
@pytest.mark.parametrize("joint", [True, False])
def test_lanes_meet_their_own_relative_bound(dtype, shape, joint):
    data = signal(shape, dtype)
    data[0] *= 0 if data.dtype.kind == "u" else -1  # lanes of very different ranges
    codec = Tessarine(rel_error=1e-3, joint=joint)
    encoded = codec.encode(data)
    lanes = int(np.prod(shape[:-1]))
    if encoded[:4] == b"TSRF":  # one frame, the lanes its channels, some predicted
        assert joint and tessarine_tools.inspect(encoded).body == "channels"
    else:  # each lane its own frame: nothing was predicted, or joint=False
        assert len(lane_frames(encoded)) == lanes
    out = np.empty_like(data)
    assert codec.decode(encoded, out=out) is out
    flat = codec.decode(encoded)
    assert flat.dtype == data.dtype and np.array_equal(flat, out.ravel())
    lanes, restored = data.reshape(-1, shape[-1]).astype(float), out.reshape(-1, shape[-1])
    for lane, back in zip(lanes, restored):
        assert np.max(np.abs(back - lane)) <= 1e-3 * np.ptp(lane)


def test_integer_lanes_come_back_exactly_below_half_a_step():
    data = signal((4, 1000), "int16")
    codec = Tessarine(max_error=0.4)
    assert np.array_equal(codec.decode(codec.encode(data)).reshape(data.shape), data)


def test_plain_lanes_are_bare_containers():
    data = signal((2, 300), "float32")
    frames = lane_frames(Tessarine(plain=True, scale=10).encode(data))
    options = tessarine.TessrCompressionOptions(scale=10, coder="arans")
    assert frames == [tessarine.compress_signal(lane, options) for lane in data]


@pytest.mark.parametrize("cut", [0, 3, 9, -1])
def test_damaged_chunks_raise(cut):
    encoded = Tessarine().encode(signal((2, 100), "float32"))
    with pytest.raises(ValueError):
        Tessarine().decode(encoded[:cut] if cut else b"")


@pytest.mark.parametrize(("lanes", "out_shape"), [(0, (2, 3)), (1, (2, 3)), (2, (3, 2)), (2, (5,))])
def test_chunks_that_cannot_fill_out_are_refused(lanes, out_shape):
    # Zero lanes would leave `out` as it was; one 6-sample lane must not be spread over 2 rows.
    chunk = (
        Tessarine().encode(signal((lanes, 6 // max(lanes, 1)), "float32")) if lanes else b"\0" * 4
    )
    out = np.full(out_shape, 7.0, np.float32)
    with pytest.raises(ValueError):
        Tessarine().decode(chunk, out=out)


def test_lanes_of_different_lengths_are_not_joined():
    short, long_ = (Tessarine().encode(signal((1, n), "float32")) for n in (4, 5))
    frames = lane_frames(short) + lane_frames(long_)
    chunk = np.uint32(2).tobytes() + b"".join(np.uint32(len(f)).tobytes() for f in frames)
    with pytest.raises(ValueError):
        Tessarine().decode(chunk + b"".join(frames))
