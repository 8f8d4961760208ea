"""One settings value behind compress, both chunk codecs and the command line: they accept and
refuse alike, and configs written by earlier versions still load."""

import pickle

import numcodecs
import numpy as np
import pytest

from tessarine_tools import compress
from tessarine_tools._settings import CodecSettings
from tessarine_tools.cli.commands import settings_of
from tessarine_tools.cli.parser import build_parser
from tessarine_tools.codec import Tessarine
from tessarine_tools.zarr3 import TessarineCodec

SURFACES = [CodecSettings, Tessarine, TessarineCodec, lambda **k: compress(np.arange(8.0), **k)]


@pytest.mark.parametrize(
    "bad",
    [
        {"max_error": True},
        {"psnr": float("nan")},
        {"coder": 3},
        {"scale": 6.0},
        {"psnr": 60.0, "cutoff": "low"},
        {"method": "best"},
        {"rel_error": "a", "method": "haar"},  # several wrong: the same one is named everywhere
    ],
)
def test_every_surface_refuses_alike(bad):
    refusals = []
    for surface in SURFACES:
        with pytest.raises((TypeError, ValueError)) as refused:
            surface(**bad)
        refusals.append((refused.type, str(refused.value)))
    assert len(set(refusals)) == 1, refusals


@pytest.mark.parametrize(
    "flags, keywords",
    [
        (
            ["--method", "best", "--rel-error", "0.01", "--coder", "auto"],
            {"method": "best", "rel_error": 0.01, "coder": "auto"},
        ),
        (["--scale", "9", "--cutoff", "high"], {"scale": 9, "cutoff": "high"}),
    ],
)
def test_surfaces_hold_the_same_settings(flags, keywords):
    expected = CodecSettings(**keywords)
    args = build_parser().parse_args(["compress", "x.npy", *flags])
    codec = Tessarine(**keywords)
    assert settings_of(args) == codec.settings == expected
    assert codec.get_config() == {"id": "tessarine", **expected.keywords()}
    assert TessarineCodec(**keywords).to_dict()["configuration"] == expected.keywords()
    assert pickle.loads(pickle.dumps(codec)) == codec  # dask ships codecs to its workers


@pytest.mark.parametrize(
    "configuration",
    [
        {"psnr": 60.0, "coder": "arans", "plain": True},
        {"rel_error": 0.001, "method": "best", "coder": "auto", "plain": False},
        {"method": "db4", "scale": 9, "cutoff": "high", "coder": "deflate", "plain": False},
    ],
)
def test_configs_written_before_load_unchanged(configuration):
    stored = {"name": "tessarine", "configuration": configuration}  # as in an older zarr.json
    assert TessarineCodec.from_dict(stored).to_dict() == stored
    config = {"id": "tessarine", **configuration}
    assert numcodecs.get_codec(dict(config)).get_config() == config


def test_codec_settings_cannot_change_after_it_is_made():
    codec = Tessarine(max_error=0.5)
    with pytest.raises(AttributeError):
        codec.max_error = 0.1  # encode would not see it
    assert codec.max_error == 0.5
