"""compress_signal and decompress_signal: which objects they take, which they refuse and how."""

import gc

import numpy as np
import pytest

from tessarine import TessrCompressionOptions, compress_signal, decompress_signal

NOT_A_SIGNAL = "expected a 1-D float32 or float64 NumPy array"
NOT_CONTIGUOUS = "The given array is not contiguous or is misaligned."
EMPTY = "Unsupported compression configuration 'Can't compress empty data'"


def wave(n=1000, dtype=np.float32):
    return np.sin(np.arange(n) / 13.0).astype(dtype)


def misaligned(dtype):
    itemsize = np.dtype(dtype).itemsize
    buffer = np.zeros(10 * itemsize + 1, dtype=np.uint8)
    return np.frombuffer(buffer.data, dtype=dtype, count=10, offset=1)


@pytest.mark.parametrize(
    "data",
    [
        np.zeros((4, 4), np.float32),
        np.zeros((1, 8), np.float64),
        np.arange(8, dtype=np.int32),
        np.arange(8, dtype=np.int64),
        np.zeros(8, np.float16),
        np.zeros(8, np.complex64),
        np.zeros(8, np.longdouble),
        np.zeros(8, ">f4" if np.little_endian else "<f4"),  # float32, but not native order
        np.array(1.0, np.float32),
        np.float32(1.0),
        [1.0, 2.0, 3.0],
        b"\x00\x00\x80\x3f",
        None,
    ],
    ids=lambda data: f"{type(data).__name__}-{getattr(data, 'dtype', '')}-{np.ndim(data)}d",
)
def test_refuses_anything_but_a_1d_float_array(data):
    with pytest.raises(ValueError) as raised:
        compress_signal(data)
    assert str(raised.value) == NOT_A_SIGNAL


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
@pytest.mark.parametrize(
    "make",
    [lambda d: np.arange(10, dtype=d)[::2], lambda d: np.arange(10, dtype=d)[::-1], misaligned],
    ids=["every-second", "reversed", "misaligned"],
)
def test_refuses_strided_or_misaligned_arrays(make, dtype):
    with pytest.raises(TypeError) as raised:
        compress_signal(make(dtype))
    assert str(raised.value) == NOT_CONTIGUOUS


@pytest.mark.parametrize(
    "data",
    [
        np.zeros(0, np.float32),
        np.zeros(0, np.float64),
        np.arange(10.0)[5:5:2],
        np.zeros((3, 4), np.float32)[:, 0][:0],
    ],
)
def test_empty_arrays_reach_the_codec_and_are_refused(data):
    with pytest.raises(ValueError) as raised:
        compress_signal(data)
    assert str(raised.value) == EMPTY


@pytest.mark.parametrize("data", [None, [1.0], np.zeros((2, 2)), np.zeros(10, np.float32)])
def test_options_are_checked_before_data(data):
    with pytest.raises(TypeError) as raised:
        compress_signal(data, 5)
    assert str(raised.value) == (
        "argument 'options': 'int' object is not an instance of 'TessrCompressionOptions'"
    )


def test_options_given_by_keyword():
    signal = wave()
    options = TessrCompressionOptions(method="db4")
    assert compress_signal(data=signal, options=options) == compress_signal(signal, options)


def test_read_only_and_subclassed_arrays_are_accepted():
    signal = wave()
    expected = compress_signal(signal)
    read_only = signal.copy()
    read_only.flags.writeable = False
    assert compress_signal(read_only) == expected
    assert compress_signal(np.ma.masked_array(signal)) == expected


def test_float32_input_is_left_untouched():
    signal = wave()
    signal[3] = np.nan
    copy = signal.copy()
    compress_signal(signal)
    np.testing.assert_array_equal(signal, copy)


def test_float64_input_gives_the_container_of_its_float32_rounding():
    # Not exactly representable in float32, beyond its range, and NaN.
    signal = wave(dtype=np.float64) * (1 + 1e-12)
    signal[[10, 20, 30]] = [1e300, -1e300, np.nan]
    with np.errstate(over="ignore"):
        rounded = signal.astype(np.float32)
    assert compress_signal(signal) == compress_signal(rounded)


@pytest.mark.parametrize(
    "data, message",
    [
        (bytearray(b"TSRN"), "argument 'data': 'bytearray' object is not an instance of 'bytes'"),
        (memoryview(b"TSRN"), "argument 'data': 'memoryview' object is not an instance of 'bytes'"),
        ("TSRN", "argument 'data': 'str' object is not an instance of 'bytes'"),
        (
            np.zeros(60, np.uint8),
            "argument 'data': 'numpy.ndarray' object is not an instance of 'bytes'",
        ),
        (None, "argument 'data': 'None' is not an instance of 'bytes'"),
    ],
)
def test_decompress_takes_only_bytes(data, message):
    with pytest.raises(TypeError) as raised:
        decompress_signal(data)
    assert str(raised.value) == message


@pytest.mark.parametrize(
    "call",
    [
        lambda: compress_signal(),
        lambda: compress_signal(wave(), None, None),
        lambda: compress_signal(wave(), option=None),
        lambda: decompress_signal(),
        lambda: decompress_signal(b"", b""),
        lambda: decompress_signal(container=b""),
    ],
)
def test_binding_errors_name_the_function(call):
    with pytest.raises(TypeError, match="compress_signal"):
        call()


def test_bytes_subclasses_are_accepted():
    class Container(bytes):
        pass

    signal = wave()
    container = compress_signal(signal)
    np.testing.assert_array_equal(
        decompress_signal(Container(container)), decompress_signal(container)
    )


@pytest.mark.parametrize(
    "data, message",
    [
        (b"", "Header is invalid"),
        (b"TSRN" * 12, "Header is invalid"),
        # Header bytes are shown verbatim, NUL characters included.
        (bytes(52), "Magic should be 'TSRN' but it was '\x00\x00\x00\x00'"),
    ],
)
def test_codec_errors_become_value_errors_with_the_whole_text(data, message):
    with pytest.raises(ValueError) as raised:
        decompress_signal(data)
    assert str(raised.value) == message


def test_result_owns_its_samples_and_outlives_the_container():
    signal = wave(5000)
    container = compress_signal(signal)
    decoded = decompress_signal(bytes(container))
    expected = decoded.copy()
    del container
    gc.collect()
    assert decoded.dtype == np.float32 and decoded.ndim == 1 and decoded.shape == (5000,)
    assert decoded.flags.c_contiguous and decoded.flags.writeable and decoded.flags.aligned
    assert decoded.strides == (4,)
    decoded[0] = 123.0  # writeable without touching anything else
    np.testing.assert_array_equal(decoded[1:], expected[1:])
