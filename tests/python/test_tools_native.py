"""tessarine_tools._native: the same containers as `tessarine`, any real input array,
the exact round trip without entropy coding, header fields, errors, `out=`, threads, and
type stubs that mypy finds for both modules."""

import os
import subprocess
import sys
import textwrap
import threading
import time
from pathlib import Path

import numpy as np
import pytest

import tessarine
import tessarine_tools
from tessarine_tools import _native

SHIPPED = Path(__file__).resolve().parents[2] / "examples" / "data"
METHODS = {"cdf53": 0, "cdf97": 1, "db4": 2, "sym4": 3}
CUTOFFS = {"low": 0, "medium": 1, "high": 2}
CODERS = {"deflate": 0, "arans": 1, "auto": 2}


@pytest.fixture(scope="module")
def ecg():
    return np.load(SHIPPED / "ecg_mitbih100_mlii_60s.npy")


def module_container(x, method="cdf97", scale=11, cutoff="low", coder="auto"):
    options = tessarine.TessrCompressionOptions(method, scale, cutoff, coder)
    return tessarine.compress_signal(x, options)


def native_container(x, method="cdf97", scale=11, cutoff="low", coder="auto"):
    return _native.compress(x, METHODS[method], scale, CUTOFFS[cutoff], CODERS[coder])


def bits(x):
    return np.asarray(x, np.float32).view(np.uint32)


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
@pytest.mark.parametrize(
    ("method", "coder"),
    [("cdf97", "auto"), ("cdf53", "deflate"), ("db4", "arans"), ("sym4", "auto")],
)
def test_containers_and_decoding_match_the_module(ecg, dtype, method, coder):
    x = (ecg * 1.37).astype(dtype)  # float64 values that float32 must round
    container = native_container(x, method, 10, "medium", coder)
    assert container == module_container(x, method, 10, "medium", coder)
    np.testing.assert_array_equal(
        bits(_native.decompress(container)), bits(tessarine.decompress_signal(container))
    )


@pytest.mark.parametrize(
    "dtype",
    [
        "int8",
        "uint8",
        "int16",
        "uint16",
        "int32",
        "uint32",
        "int64",
        "uint64",
        "float32",
        "float64",
    ],
)
@pytest.mark.parametrize("view", [slice(None), slice(None, None, 3), slice(None, None, -1)])
def test_any_dtype_and_stride_equals_its_contiguous_float32_copy(ecg, dtype, view):
    info = np.iinfo(dtype) if np.dtype(dtype).kind in "iu" else None
    scaled = ecg * 50 if info is None else np.clip(ecg * info.max / 3, info.min, info.max)
    x = scaled.astype(dtype)[view]
    expected = native_container(np.ascontiguousarray(x).astype(np.float32))
    assert native_container(x) == expected


def test_out_of_range_integers_round_like_float32():
    x = np.array([2**63 - 1, 2**53 + 1, 0], np.int64)
    assert native_container(x) == native_container(x.astype(np.float32))


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("scale", range(6, 13))
@pytest.mark.parametrize("cutoff", CUTOFFS)
def test_reconstruct_is_the_round_trip_bit_for_bit(ecg, method, scale, cutoff):
    x = ecg[:3000]
    decoded = _native.decompress(native_container(x, method, scale, cutoff))
    rebuilt = _native.reconstruct(x, METHODS[method], scale, CUTOFFS[cutoff])
    np.testing.assert_array_equal(bits(rebuilt), bits(decoded))


@pytest.mark.parametrize(
    "x",
    [
        np.float32([4.5]),
        np.full(37, -2.0),
        np.arange(7.0),
        np.float32([np.nan, 1, np.inf, -np.inf, 2]),
        np.arange(70, dtype=np.int16)[::-1],
    ],
    ids=["one", "flat", "short", "non-finite", "int16-reversed"],
)
@pytest.mark.parametrize("method", METHODS)
def test_reconstruct_edges_and_header_band_lengths(x, method):
    container = native_container(x, method, 12, "high", "arans")
    rebuilt = _native.reconstruct(x, METHODS[method], 12, CUTOFFS["high"])
    np.testing.assert_array_equal(bits(rebuilt), bits(_native.decompress(container)))
    fields = _native.header(container)
    # The rANS payload decodes to exactly the stored coefficients, two bytes each.
    coefficient_bytes = _native.decode_bytes(container[52:])
    assert 2 * sum(fields["band_lengths"]) == len(coefficient_bytes)
    assert len(fields["band_lengths"]) == fields["levels"] + 1
    assert (fields["method"], fields["sample_count"], fields["payload_len"]) == (
        method,
        len(x),
        len(container) - 52,
    )


def test_header_fields_follow_the_settings(ecg):
    fields = _native.header(native_container(ecg, "db4", 8, "low", "deflate"))
    assert (fields["scale"], fields["coder"]) == (8, "deflate")
    assert fields["min"] == ecg.min() and fields["max"] == ecg.max()


def corrupted(container, at, value):
    damaged = bytearray(container)
    damaged[at] = value
    return bytes(damaged)


@pytest.mark.parametrize("data", [b"", b"TSRN" + bytes(60), "levels", "method"])
def test_header_and_decompress_refuse_what_the_module_refuses(ecg, data):
    container = native_container(ecg[:500])
    data = {
        "levels": corrupted(container, 12, 11),
        "method": corrupted(container, 8, ord("x")),
    }.get(data, data)
    with pytest.raises(ValueError) as expected:
        tessarine.decompress_signal(data)
    for call in (_native.header, _native.decompress):
        with pytest.raises(ValueError) as raised:
            call(data)
        assert str(raised.value) == str(expected.value)


@pytest.mark.parametrize(
    ("call", "error", "message"),
    [
        (
            lambda: _native.compress(np.float32([]), 1, 11, 0, 2),
            ValueError,
            "Unsupported compression configuration 'Can't compress empty data'",
        ),
        (
            lambda: _native.compress(np.zeros((2, 2)), 1, 11, 0, 2),
            ValueError,
            "expected a 1-D array, got 2 dimensions",
        ),
        (
            lambda: _native.compress(np.zeros(3, complex), 1, 11, 0, 2),
            TypeError,
            "expected an array of float32, float64 or integers, got ndarray of dtype complex128",
        ),
        (
            lambda: _native.compress(np.zeros(3, bool), 1, 11, 0, 2),
            TypeError,
            "expected an array of float32, float64 or integers, got ndarray of dtype bool",
        ),
        (
            lambda: _native.compress(np.array([1, "a"], object), 1, 11, 0, 2),
            TypeError,
            "expected a 1-D array of float32, float64 or integers in native byte order, "
            "got ndarray of dtype object",
        ),
        (
            lambda: _native.compress(np.float32([-3e38, 3e38]), 1, 11, 0, 2),
            ValueError,
            "Unsupported compression configuration 'Can't compress data whose range (max - min) "
            "exceeds the largest 32-bit float'",
        ),
        (
            lambda: _native.compress(np.ones(3), 4, 11, 0, 2),
            ValueError,
            "method code must be 0..3, got 4",
        ),
        (
            lambda: _native.compress(np.ones(3), 1, 13, 0, 2),
            ValueError,
            "scale code must be 6..12, got 13",
        ),
        (
            lambda: _native.reconstruct(np.ones(3), 1, 11, -1),
            ValueError,
            "cutoff code must be 0..2, got -1",
        ),
        (
            lambda: _native.compress(np.ones(3), 1, 11, 0, 3),
            ValueError,
            "coder code must be 0..2, got 3",
        ),
        (
            lambda: _native.decode_bytes(b"\xff" * 7),
            ValueError,
            "Inconsistent or oversized length in stream",
        ),
        (lambda: _native.decompress("text"), TypeError, None),
    ],
)
def test_errors(call, error, message):
    with pytest.raises(error) as raised:
        call()
    if message is not None:
        assert str(raised.value) == message


@pytest.mark.parametrize(
    "wrap", [bytes, bytearray, memoryview, lambda b: np.frombuffer(b, np.uint8)]
)
def test_every_bytes_like_is_read(ecg, wrap):
    container = native_container(ecg[:1000])
    np.testing.assert_array_equal(
        _native.decompress(wrap(container)), _native.decompress(container)
    )
    assert _native.header(wrap(container)) == _native.header(container)
    assert _native.decode_bytes(wrap(_native.encode_bytes(wrap(container)))) == container


def test_decompress_into_a_new_array_or_out(ecg):
    container = native_container(ecg)
    decoded = _native.decompress(container)
    assert decoded.dtype == np.float32 and decoded.flags.writeable and decoded.flags.c_contiguous
    out = np.full(ecg.size, np.nan, np.float32)
    assert _native.decompress(container, out=out) is out
    np.testing.assert_array_equal(out, decoded)
    with pytest.raises(
        ValueError, match=f"^out has 3 samples, but the data decodes to {ecg.size}$"
    ):
        _native.decompress(container, out=np.empty(3, np.float32))
    read_only = np.empty(ecg.size, np.float32)
    read_only.flags.writeable = False
    for wrong in (np.empty(ecg.size), read_only, np.empty(2 * ecg.size, np.float32)[::2]):
        with pytest.raises(TypeError, match="^out must be a 1-D C-contiguous writable float32"):
            _native.decompress(container, out=wrong)


def test_two_threads_give_the_serial_results():
    signals = [
        np.load(SHIPPED / "ecg_mitbih100_mlii_60s.npy"),
        np.cumsum(np.random.default_rng(7).normal(size=50_000)).astype(np.float32),
    ]
    serial = [(native_container(x), _native.reconstruct(x, 1, 11, 0)) for x in signals] * 4
    results = [None] * len(serial)

    def work(index):
        x = signals[index % 2]
        results[index] = (native_container(x), _native.reconstruct(x, 1, 11, 0))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(serial))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for (container, rebuilt), (expected, expected_rebuilt) in zip(results, serial):
        assert container == expected
        np.testing.assert_array_equal(bits(rebuilt), bits(expected_rebuilt))


def test_mypy_finds_stubs_for_both_modules(tmp_path):
    snippet = tmp_path / "use.py"
    snippet.write_text(
        textwrap.dedent("""
        import numpy as np
        import tessarine
        from tessarine_tools import _native

        options = tessarine.TessrCompressionOptions("cdf97", 11, "low", None)
        container: bytes = tessarine.compress_signal(np.zeros(8, np.float32), options)
        levels: int = _native.header(container)["levels"]
        decoded = _native.decompress(container, out=np.empty(8, np.float32))
        wrong: str = _native.compress(decoded, 1, 11, 0, 2)
        also_wrong: int = tessarine.decompress_signal(container)
    """)
    )
    # An editable install serves the package from its source folder, which mypy must be told.
    env = dict(os.environ)
    package_root = Path(tessarine_tools.__file__).parents[1]
    if "site-packages" not in package_root.parts:
        env["MYPYPATH"] = str(package_root)
    result = subprocess.run(
        [
            sys.executable,
            "-m",
            "mypy",
            "--strict",
            "--no-incremental",
            "--python-executable",
            sys.executable,
            str(snippet),
        ],
        capture_output=True,
        text=True,
        cwd=tmp_path,
        env=env,
    )
    errors = [line for line in result.stdout.splitlines() if ": error:" in line]
    # Exactly the two deliberate mistakes: anything else means a stub was not found or is wrong.
    assert len(errors) == 2, result.stdout
    assert "use.py:10:" in errors[0] and "use.py:11:" in errors[1]


def test_a_buffer_changed_during_decoding_never_overflows_out():
    # The count at bytes 16..20 flips between 16 and 64 while another thread decodes into a
    # 16-sample `out` that sits in front of a sentinel.
    container = bytearray(_native.compress(np.zeros(64, np.float32), 1, 11, 0, 0))
    counts = [(16).to_bytes(4, "little"), (64).to_bytes(4, "little")]
    memory = np.full(16 + 64, 7.0, np.float32)
    out, sentinel = memory[:16], memory[16:]
    stop = threading.Event()

    def flip():
        while not stop.is_set():
            for count in counts:
                container[16:20] = count

    flipper = threading.Thread(target=flip)
    flipper.start()
    try:
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            try:
                _native.decompress(container, out=out)
            except ValueError:
                pass  # a 64-sample count seen at the start is refused: the right answer
            assert (sentinel == 7.0).all()
    finally:
        stop.set()
        flipper.join()
