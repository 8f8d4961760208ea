"""Mutated frames through the chunk codec and the command line: each is refused with ValueError
or TypeError (one line and exit 1 on the command line) or decodes to what its header says."""

import struct
import zlib

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import tessarine_tools
from tessarine_tools.cli import main
from tessarine_tools.codec import Tessarine

FUZZ = settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])


def _frames():
    t = np.arange(1500)
    wave = np.sin(t / 11.0) * 300
    gappy = wave.astype(np.float32)
    gappy[[0, 7, 8, 900]] = [np.nan, np.inf, -np.inf, np.nan]
    c = tessarine_tools.compress
    return [
        c(gappy, method="cdf97", scale=8),  # version 1: container and non-finite map
        c(wave.astype(np.int16), max_error=2, method="db4"),  # version 1: integer residual
        c(wave, rel_error=1e-3, method="best"),  # either version, whichever is smaller
        c(np.round(wave).astype(np.uint8), max_error=0.4, method="cdf53"),  # verbatim layer
        c(np.zeros(700), max_error=0.1, method="best"),  # version 1 without container or layer
        c(gappy, max_error=1e-2),  # version 2
        c(wave.astype(np.int32), max_error=3),  # version 2, integers
    ]


FRAMES = _frames()
EXTREMES = [struct.pack("<Q", v) for v in (0, 1, 0x80, 0xFF, 2**31 - 1, 2**32 - 1, 2**63)] + [
    struct.pack("<d", v) for v in (float("inf"), float("nan"), -1.0, 1e19, 4.0)
]


def _fields(frame):
    """Offsets worth overwriting: the header's fields, and a version-1 frame's section heads."""
    offsets = [9, 10, 11, 19, 20, 44, 45, 46, 47, 48, 56, 64]
    if frame[4] == 1:
        container, residual = struct.unpack_from("<2Q", frame, 48)
        offsets += [72 + container + k for k in (0, 1, 2, 3, 4)] + [72 + container + residual]
    return [o for o in offsets if o < len(frame)]


@st.composite
def mutated(draw):
    data = bytearray(draw(st.sampled_from(FRAMES)))
    for _ in range(draw(st.integers(0, 3))):  # past the magic and version: there only refusals
        data[draw(st.integers(9, len(data) - 1))] ^= draw(st.integers(1, 255))
    for _ in range(draw(st.integers(0, 3))):  # a field set to an extreme: one byte or eight
        offset = draw(st.sampled_from(_fields(data)))
        extreme = draw(st.sampled_from(EXTREMES))
        width = draw(st.sampled_from([1, 8]))
        data[offset : offset + width] = extreme[:width]
    change = draw(st.integers(0, 5))
    if change == 0:
        data = data[: draw(st.integers(0, len(data)))]
    elif change == 1:
        data += draw(st.binary(min_size=1, max_size=16))
    if len(data) >= 9 and draw(st.integers(0, 9)):  # mostly reach past the checksum
        data[5:9] = struct.pack("<I", zlib.crc32(bytes(data[9:])))
    return bytes(data)


def declared(frame):
    """(dtype, sample count) the header declares."""
    kind, size = chr(frame[9]), frame[10]
    return np.dtype(f"{kind}{size}"), struct.unpack_from("<Q", frame, 11)[0]


def chunk(frames):
    return struct.pack(f"<{len(frames) + 1}I", len(frames), *map(len, frames)) + b"".join(frames)


SEVERAL = st.lists(mutated(), min_size=1, max_size=8)  # more mutations for each example


@FUZZ
@given(SEVERAL, st.booleans())
def test_codec_decode_refuses_or_decodes_what_the_lanes_declare(frames, first):
    for frame in frames:
        lanes = [frame, FRAMES[0]] if first else [frame]
        try:
            result = Tessarine().decode(chunk(lanes))
        except (ValueError, TypeError):
            continue
        dtype, count = declared(frame)
        assert result.dtype == dtype and result.size == count * len(lanes)


@pytest.fixture(scope="module")
def folder(tmp_path_factory):
    return tmp_path_factory.mktemp("fuzz")


@FUZZ
@given(frames=SEVERAL)
def test_command_line_info_and_decompress_end_cleanly(folder, frames):
    source, target = folder / "in.tsrn", folder / "out.npy"
    for frame in frames:
        source.write_bytes(frame)
        assert main(["info", str(source)]) in (0, 1)
        status = main(["decompress", str(source), "-o", str(target), "--force"])
        assert status in (0, 1)
        if status == 0:
            dtype, count = declared(frame)
            restored = np.load(target)
            assert restored.dtype == dtype and restored.size == count
