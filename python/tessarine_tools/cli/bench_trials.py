"""What bench tries: Tessarine's settings grid, its bounds and lossless mode, and the peers
that are installed, each as (name, family, encode, decode)."""

from __future__ import annotations

import functools
import zlib
from collections.abc import Callable
from typing import Any, NamedTuple

import numpy as np

import tessarine_tools

METHODS = ("cdf97", "cdf53", "db4", "sym4")
CUTOFFS = ("low", "medium", "high")
SCALES = range(6, 13)
RANGE_FRACTIONS = [2.0**-k for k in range(4, 17, 2)]  # absolute bounds as fractions of the range
REL_ERRORS = [1e-2, 1e-3, 1e-4, 1e-5]


class Trial(NamedTuple):
    name: str
    family: str  # one colour in the plot
    encode: Callable[[np.ndarray], Any]
    decode: Callable[[Any, int], np.ndarray]  # gets the encoded object and the sample count


# A coder swept over absolute bounds: the encoder for a bound, and the decoder.
BoundedCoder = tuple[
    Callable[[float], Callable[[np.ndarray], Any]], Callable[[Any, int], np.ndarray]
]


def _tessarine(name: str, family: str, **keywords: Any) -> Trial:
    return Trial(
        name,
        family,
        functools.partial(tessarine_tools.compress, **keywords),
        _tessarine_decode,
    )


def _tessarine_decode(blob: Any, n: int) -> np.ndarray:
    return tessarine_tools.decompress(blob)


def _absolute_bounds(
    span: float,
    label: str,
    family: str,
    coder: BoundedCoder,
) -> list[Trial]:
    """One trial per absolute bound in RANGE_FRACTIONS of the signal's span."""
    encoder, decode = coder
    bounds = [span * b for b in RANGE_FRACTIONS]
    return [Trial(f"{label}={e:.3g}", family, encoder(e), decode) for e in bounds]


def tessarine_trials(span: float) -> list[Trial]:
    grid = [
        _tessarine(
            f"tessarine {m} scale={s} cutoff={c}", "tessarine settings", method=m, scale=s, cutoff=c
        )
        for m in METHODS
        for s in SCALES
        for c in CUTOFFS
    ]
    absolute = _absolute_bounds(
        span,
        "tessarine max_error",
        "tessarine bounds",
        (
            lambda bound: functools.partial(tessarine_tools.compress, max_error=bound),
            _tessarine_decode,
        ),
    )
    relative = [
        _tessarine(f"tessarine rel_error={r:g}", "tessarine bounds", rel_error=r)
        for r in REL_ERRORS
    ]
    return (
        grid + absolute + relative + [_tessarine("tessarine lossless", "lossless", lossless=True)]
    )


def peer_trials(span: float, dtype: np.dtype[Any]) -> list[Trial]:
    trials = [
        Trial(
            "zlib level 9 (lossless)",
            "lossless",
            lambda x: zlib.compress(x.tobytes(), 9),
            lambda blob, n: np.frombuffer(zlib.decompress(blob), dtype),
        )
    ]
    zstandard, pcodec = _optional("zstandard"), _optional("pcodec")
    if zstandard is not None:
        trials.append(
            Trial(
                "zstd level 19 (lossless)",
                "lossless",
                lambda x: zstandard.ZstdCompressor(level=19).compress(x.tobytes()),
                lambda blob, n: np.frombuffer(zstandard.ZstdDecompressor().decompress(blob), dtype),
            )
        )
    if pcodec is not None:
        trials.append(
            Trial(
                "pcodec (lossless)",
                "lossless",
                lambda x: pcodec.standalone.simple_compress(x, pcodec.ChunkConfig()),
                lambda blob, n: pcodec.standalone.simple_decompress(blob),
            )
        )
    for module, label, family, coder in BOUNDED_PEERS:
        peer = _optional(module)
        if peer is not None:
            trials += _absolute_bounds(span, label, family, coder(peer))
    return trials


def _optional(module: str) -> Any:
    try:
        return __import__(module)
    except Exception:  # a peer that fails to import counts as absent
        return None


def _zfp(zfpy: Any) -> BoundedCoder:
    def encoder(tolerance: float) -> Callable[[np.ndarray], Any]:
        return lambda x: zfpy.compress_numpy(x.astype(np.float64), tolerance=tolerance)

    return encoder, lambda blob, n: zfpy.decompress_numpy(blob)


def _sz3(pysz: Any) -> BoundedCoder:
    def encoder(bound: float) -> Callable[[np.ndarray], Any]:
        def encode(x: np.ndarray) -> Any:
            config = pysz.szConfig()
            config.errorBoundMode = pysz.szErrorBoundMode.ABS
            config.absErrorBound = bound
            config.openmp = False
            return pysz.sz.compress(x.astype(np.float64), config)[0]

        return encode

    return encoder, lambda blob, n: pysz.sz.decompress(blob, np.float64, (n,))[0]


# (module, trial label, family, coder): the peers swept over the same absolute bounds.
BOUNDED_PEERS: tuple[tuple[str, str, str, Callable[[Any], BoundedCoder]], ...] = (
    ("zfpy", "zfp tolerance", "zfp", _zfp),
    ("pysz", "sz3 abs", "sz3", _sz3),
)
