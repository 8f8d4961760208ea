"""The library prints nothing: a signalling NaN in the input raises no NumPy warning on any path."""

import warnings

import numpy as np
import pytest

import tessarine_tools as tt


@pytest.mark.parametrize(
    "keywords",
    [
        {"max_error": 0.01},
        {"scale": 9},
        {"method": "cdf97", "max_error": 0.01},
        {"method": "best", "psnr": 50},
        {"lossless": True},
        {"plain": True},
    ],
)
def test_a_signalling_nan_passes_without_warnings(keywords):
    samples = np.sin(np.arange(1000) / 9.0).astype(np.float32)
    samples.view(np.uint32)[5] = 0x7FA00001  # signalling: quiet bit clear, payload set
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        frame = tt.compress(samples, **keywords)
        back = tt.decompress(frame)
        tt.inspect(frame)
    # A bare container (plain) fills non-finite samples in; frames keep them.
    assert np.isnan(back[5]) != ("plain" in keywords)
    assert np.allclose(back[6:], samples[6:], atol=0.05)
