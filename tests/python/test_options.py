"""TessrCompressionOptions: name tables, argument conversion, validation order, messages."""

import pickle

import numpy as np
import pytest

from tessarine import TessrCompressionOptions, compress_signal

METHOD_ERROR = "Unknown method {}, expected 'cdf97' or 'cdf53' or 'db4' or 'sym4'"
CUTOFF_ERROR = "Unknown cutoff level {}, expected 'low' or 'medium' or 'high'"
CODER_ERROR = "Unknown coder {}, expected 'auto', 'deflate', 'arans'"
SCALE_ERROR = "Only scaled 6..12 is supported, but it was {}"
OUT_OF_RANGE = "out of range integral type conversion attempted"


@pytest.fixture(scope="module")
def noisy_signal():
    rng = np.random.default_rng(7)
    t = np.arange(4000, dtype=np.float32)
    return (np.sin(t / 40) + 0.05 * rng.standard_normal(t.size)).astype(np.float32)


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"method": "CDF97"}, ValueError, METHOD_ERROR.format('"CDF97"')),
        ({"method": " cdf97"}, ValueError, METHOD_ERROR.format('" cdf97"')),
        ({"method": ""}, ValueError, METHOD_ERROR.format('""')),
        ({"cutoff": "Low"}, ValueError, CUTOFF_ERROR.format('"Low"')),
        ({"coder": "AUTO"}, ValueError, CODER_ERROR.format('"AUTO"')),
        ({"coder": "rans"}, ValueError, CODER_ERROR.format('"rans"')),
        ({"scale": 5}, ValueError, SCALE_ERROR.format(5)),
        ({"scale": 13}, ValueError, SCALE_ERROR.format(13)),
        ({"scale": 0}, ValueError, SCALE_ERROR.format(0)),
        ({"scale": 255}, ValueError, SCALE_ERROR.format(255)),
        ({"scale": 256}, OverflowError, OUT_OF_RANGE),
        ({"scale": -1}, OverflowError, OUT_OF_RANGE),
        ({"scale": 2**62}, OverflowError, OUT_OF_RANGE),
        ({"method": None}, TypeError, "argument 'method': 'None' is not an instance of 'str'"),
        ({"cutoff": None}, TypeError, "argument 'cutoff': 'None' is not an instance of 'str'"),
        (
            {"method": b"cdf97"},
            TypeError,
            "argument 'method': 'bytes' object is not an instance of 'str'",
        ),
        ({"coder": 1}, TypeError, "argument 'coder': 'int' object is not an instance of 'str'"),
        # Validation runs in the order method, cutoff, scale, coder.
        ({"method": "x", "cutoff": "y"}, ValueError, METHOD_ERROR.format('"x"')),
        ({"cutoff": "y", "scale": 3}, ValueError, CUTOFF_ERROR.format('"y"')),
        ({"scale": 13, "coder": "z"}, ValueError, SCALE_ERROR.format(13)),
        # Conversion of every argument comes before any validation.
        (
            {"method": "x", "coder": 5},
            TypeError,
            "argument 'coder': 'int' object is not an instance of 'str'",
        ),
        ({"method": "x", "scale": 300}, OverflowError, OUT_OF_RANGE),
    ],
)
def test_rejected_arguments(kwargs, error, message):
    with pytest.raises(error) as raised:
        TessrCompressionOptions(**kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize(
    "name, quoted",
    [
        ('say "hi"', r'"say \"hi\""'),
        ("back\\slash", r'"back\\slash"'),
        ("a\tb\rc\nd", r'"a\tb\rc\nd"'),
        ("cdf97\x00", r'"cdf97\u{0}"'),
        ("\x1b[0m", r'"\u{1b}[0m"'),
        ("\x7f\x85", r'"\u{7f}\u{85}"'),
        ("zero\u200bwidth", r'"zero\u{200b}width"'),
        ("no\u00a0break", r'"no\u{a0}break"'),
        ("ondelette é Ω 波", '"ondelette é Ω 波"'),
        ("emoji \U0001f600", '"emoji \U0001f600"'),
        ("it's", '"it\'s"'),
    ],
)
def test_rejected_names_are_quoted_as_escaped_literals(name, quoted):
    for keyword, template in (
        ("method", METHOD_ERROR),
        ("cutoff", CUTOFF_ERROR),
        ("coder", CODER_ERROR),
    ):
        with pytest.raises(ValueError) as raised:
            TessrCompressionOptions(**{keyword: name})
        assert str(raised.value) == template.format(quoted)


def test_float_scale_is_a_type_error_naming_the_argument():
    with pytest.raises(TypeError, match=r"^argument 'scale': .*float"):
        TessrCompressionOptions(scale=11.0)


def test_int_too_large_for_c_long_keeps_the_interpreter_message():
    with pytest.raises(OverflowError) as raised:
        TessrCompressionOptions(scale=2**80)
    assert str(raised.value) != OUT_OF_RANGE


def test_unencodable_name_passes_its_error_through_unprefixed():
    with pytest.raises(UnicodeEncodeError):
        TessrCompressionOptions(method="\udc80")


@pytest.mark.parametrize(
    "args, kwargs",
    [
        (("cdf97", 11, "low", None, "extra"), {}),
        ((), {"wavelet": "cdf97"}),
        (("cdf97",), {"method": "cdf97"}),
    ],
)
def test_binding_errors_name_the_class(args, kwargs):
    with pytest.raises(TypeError, match="TessrCompressionOptions"):
        TessrCompressionOptions(*args, **kwargs)


def test_defaults_are_the_same_every_way(noisy_signal):
    expected = compress_signal(noisy_signal)
    assert compress_signal(noisy_signal, None) == expected
    assert compress_signal(noisy_signal, options=None) == expected
    assert compress_signal(noisy_signal, TessrCompressionOptions()) == expected
    assert (
        compress_signal(noisy_signal, TessrCompressionOptions("cdf97", 11, "low", None)) == expected
    )
    explicit = TessrCompressionOptions(method="cdf97", scale=11, cutoff="low", coder="auto")
    assert compress_signal(noisy_signal, explicit) == expected


@pytest.mark.parametrize(
    "method, code", [("cdf53", b"cf53"), ("cdf97", b"cf97"), ("db4", b"db04"), ("sym4", b"sym4")]
)
def test_method_name_reaches_the_header(noisy_signal, method, code):
    container = compress_signal(noisy_signal, TessrCompressionOptions(method=method))
    assert container[8:12] == code


@pytest.mark.parametrize("scale", range(6, 13))
def test_scale_reaches_the_header(noisy_signal, scale):
    assert compress_signal(noisy_signal, TessrCompressionOptions(scale=scale))[13] == scale


@pytest.mark.parametrize("coder, stored", [("deflate", 0), ("arans", 1), ("auto", 1), (None, 1)])
def test_coder_reaches_the_header(noisy_signal, coder, stored):
    assert compress_signal(noisy_signal, TessrCompressionOptions(coder=coder))[14] == stored


def test_index_objects_are_accepted_as_scale(noisy_signal):
    expected = compress_signal(noisy_signal, TessrCompressionOptions(scale=9))
    assert compress_signal(noisy_signal, TessrCompressionOptions(scale=np.uint8(9))) == expected


def test_auto_coder_gives_the_arans_container(noisy_signal):
    auto = compress_signal(noisy_signal, TessrCompressionOptions(coder="auto"))
    assert auto == compress_signal(noisy_signal, TessrCompressionOptions(coder="arans"))


def test_cutoff_reaches_the_codec(noisy_signal):
    containers = {
        cutoff: compress_signal(noisy_signal, TessrCompressionOptions(scale=12, cutoff=cutoff))
        for cutoff in ("low", "medium", "high")
    }
    assert len(set(containers.values())) == 3


def test_options_cannot_be_pickled_into_defaults():
    # The value cannot be read back, so a copy could only come back with default options.
    with pytest.raises(TypeError):
        pickle.dumps(TessrCompressionOptions(method="db4"))
