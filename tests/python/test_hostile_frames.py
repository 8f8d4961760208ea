"""Hostile version-1 frames: refused with ValueError before decoding costs more than their bytes
can honestly hold, and never any other exception."""

import dataclasses
import struct
import tracemalloc
import zlib

import numpy as np
import pytest

import tessarine_tools
from tessarine_tools._frame import Frame, Settings, unpack
from tessarine_tools.codec import Tessarine

HEAD = struct.Struct("<BBBBd")  # residual layer: kind, coder, width, predictor, step
MB = 1 << 20


def frame(dtype, count, residual=b"", nonfinite=b"", container=b""):
    return Frame(
        np.dtype(dtype), count, None, Settings(1, 6, 0, 1), container, residual, nonfinite
    ).pack()


def with_crc(data):
    data = bytearray(data)
    data[5:9] = struct.pack("<I", zlib.crc32(bytes(data[9:])))
    return bytes(data)


def extra_memory(decode):
    """Peak traced bytes beyond the result itself (NumPy reports its buffers to tracemalloc)."""
    tracemalloc.start()
    try:
        result = decode()
        return tracemalloc.get_traced_memory()[1] - result.nbytes
    except ValueError:
        return tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()


def int_frame():
    signal = (np.sin(np.arange(3000) / 7.0) * 900).astype(np.int16)
    return unpack(tessarine_tools.compress(signal, max_error=2, method="cdf97"))


def nan_frame():
    signal = np.sin(np.arange(3000) / 7.0).astype(np.float32)
    signal[[5, 6, 100]] = np.nan
    return unpack(tessarine_tools.compress(signal, method="cdf97", scale=8))


RUNS = bytes([2, 0x80, 0xE1, 0xEB, 0x17, 2])  # two runs: 50 M finite samples, 2 non-finite
BOMB = zlib.compress(bytes(96 * MB), 9)  # ~100 kB inflating to 96 MB


@pytest.mark.parametrize(
    "make",
    [
        lambda: frame("u1", 1000, HEAD.pack(2, 0, 1, 0, 0.0) + BOMB),  # residual far too long
        lambda: frame("f4", 1000, nonfinite=BOMB),  # map far too long
        # The map claims a few runs over 50 M samples: only its non-finite samples cost work.
        lambda: frame(
            "f4", 50_000_002, nonfinite=zlib.compress(RUNS + struct.pack("<2f", np.nan, np.inf))
        ),
    ],
    ids=["residual bomb", "map bomb", "huge runs"],
)
def test_decoding_costs_what_the_bytes_hold(make):
    data = make()
    assert extra_memory(lambda: tessarine_tools.decompress(data)) < 16 * MB


def test_huge_runs_still_put_each_non_finite_sample_in_place():
    out = tessarine_tools.decompress(
        frame("f4", 50_000_002, nonfinite=zlib.compress(RUNS + struct.pack("<2f", np.nan, np.inf)))
    )
    assert out.size == 50_000_002 and np.isnan(out[-2]) and out[-1] == np.inf and out[-3] == 0


def refuse(data):
    with pytest.raises(ValueError, match="damaged"):
        tessarine_tools.decompress(data)


@pytest.mark.parametrize(
    "head",
    [
        (1, 0, 2, 0, float("inf")),
        (1, 0, 2, 0, float("nan")),
        (1, 0, 2, 0, 1e19),  # bad int steps
        (1, 0, 2, 0, 4.0),  # an even bin cannot be centred on its samples
        (0, 0, 2, 0, 0.5),  # a float step for integer samples
        (3, 0, 2, 0, 1.0),
        (255, 0, 2, 0, 1.0),  # unknown kinds
        (1, 0, 2, 2, 1.0),
        (1, 0, 2, 255, 1.0),  # unknown predictors
        (1, 2, 2, 0, 1.0),
        (1, 0, 3, 0, 1.0),  # unknown coder, width
        (2, 0, 2, 1, 0.0),  # verbatim samples have no predictor
    ],
)
def test_residual_layer_fields_out_of_range_are_damage(head):
    f = int_frame()
    payload = zlib.compress(bytes(2 * f.sample_count))
    refuse(dataclasses.replace(f, residual=HEAD.pack(*head) + payload).pack())


def test_residual_payloads_must_decode_to_exactly_the_samples():
    f = int_frame()
    for payload in (
        zlib.compress(bytes(2 * f.sample_count)) + b"junk",  # bytes after the stream
        zlib.compress(bytes(2 * f.sample_count + 2)),  # a sample too many
        zlib.compress(bytes(2 * f.sample_count))[:-3],
    ):  # cut short
        refuse(dataclasses.replace(f, residual=HEAD.pack(1, 0, 2, 0, 5.0) + payload).pack())
    wide = np.full(f.sample_count, 1 << 20, "<u4").tobytes()  # verbatim values beyond int16
    refuse(dataclasses.replace(f, residual=HEAD.pack(2, 0, 4, 0, 0.0) + zlib.compress(wide)).pack())


def test_float_steps_must_be_finite_and_positive():
    f = nan_frame()
    payload = zlib.compress(bytes(f.sample_count))
    for step in (float("nan"), float("inf"), -1.0):
        refuse(dataclasses.replace(f, residual=HEAD.pack(0, 0, 1, 0, step) + payload).pack())


def test_non_finite_maps_hold_only_well_placed_runs():
    f = nan_frame()
    nan, tail = struct.pack("<f", np.nan), bytes([0xD3, 0x16])  # tail: LEB128 of 2899
    assert zlib.decompress(f.nonfinite) == bytes([5, 5, 2, 93, 1]) + tail + nan * 3
    for data in (
        bytes([5, 5, 0, 95, 1]) + tail + nan,  # an empty non-finite run
        bytes([5, 5, 2, 0, 94]) + tail + nan * 96,  # an empty finite run inside
        bytes([5, 5, 2, 93, 1]) + tail + nan * 2 + struct.pack("<f", 1.0),  # finite
        bytes([5, 5, 2, 93, 1, 0xD4, 0x16]) + nan * 3,  # runs beyond the signal
        bytes([0xFF] * 6) + bytes([5, 2, 93, 1]) + tail + nan * 3,
    ):  # run count too long
        refuse(dataclasses.replace(f, nonfinite=zlib.compress(data)).pack())
    refuse(dataclasses.replace(f, nonfinite=f.nonfinite + b"\0").pack())  # junk after the stream
    ints = dataclasses.replace(int_frame(), nonfinite=f.nonfinite)
    refuse(ints.pack())  # integers have no non-finite samples


@pytest.mark.parametrize(
    "offset, value", [(10, 1), (10, 16), (9, ord("c")), (44, 4), (45, 13), (46, 3), (47, 200)]
)
def test_header_fields_out_of_range_are_damage_for_decode_and_inspect(offset, value):
    data = bytearray(nan_frame().pack())
    data[offset] = value
    for read in (tessarine_tools.decompress, tessarine_tools.inspect):
        with pytest.raises(ValueError, match="damaged"):
            read(with_crc(data))


def test_a_container_of_another_length_is_refused_before_it_is_decoded():
    f = nan_frame()
    refuse(dataclasses.replace(f, sample_count=f.sample_count + 1).pack())


def test_decoding_into_a_chunk_costs_no_more_than_the_chunk():
    zeros = frame("f8", 2**31 - 1)  # 72 bytes declaring 16 GiB of zeros
    with pytest.raises(ValueError, match="out must be"):
        tessarine_tools.decompress(zeros, out=np.empty(8))
    assert extra_memory(lambda: _refused_into(zeros)) < MB
    lane = frame("f8", 20_000_000)
    chunk = struct.pack("<II", 1, len(lane)) + lane
    assert extra_memory(lambda: Tessarine().decode(chunk)) < 16 * MB  # no copy of the lane


def _refused_into(data):
    tessarine_tools.decompress(data, out=np.empty(8))
