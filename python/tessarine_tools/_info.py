"""inspect: every header field of a container or frame by its meaning."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any

import numpy as np

from . import _native
from ._bounds import Bound
from ._frame import FRAME_2, is_frame, unpack
from ._native import CODERS, CUTOFFS, METHODS


@dataclass(frozen=True)
class ContainerInfo:
    """What `inspect` reads from a frame's or a container's headers, field by field.

    Attributes
    ----------
    kind : str
        "frame" or "container".
    method, scale, cutoff, coder, levels, band_lengths, minimum, maximum, mean, payload_len
        The wavelet container's settings and header; method and coder "none", scale and
        levels 0 and the normalisation NaN where a frame holds no container.
    sample_count, dtype : int, str
        How many samples, of which NumPy dtype.
    total_size : int
        Bytes of the whole frame or container.
    max_error, rel_error, psnr : float or None
        The bound a frame was made under.
    residual_size, nonfinite_size : int
        Bytes of a version-1 frame's residual layer and non-finite map; for a version-2
        frame residual_size is its body's size.
    body, largest_error, blocks, block_size
        Version-2 frames: "predictive", "verbatim" or "blocked", the largest error of any
        sample, and the blocks that decode independently.

    Examples
    --------
    >>> import numpy as np
    >>> import tessarine_tools as tt
    >>> info = tt.inspect(tt.compress(np.zeros(100, np.int16), max_error=1.0))
    >>> (info.kind, info.dtype, info.sample_count, info.max_error)
    ('frame', 'int16', 100, 1.0)
    """

    kind: str  # "frame" or "container"
    method: str
    scale: int
    cutoff: str | None  # recorded by frames only; a bare container does not keep it
    # method, coder "none", scale and levels 0, normalisation NaN: a frame without a container
    coder: str
    sample_count: int
    levels: int
    band_lengths: tuple[int, ...]
    minimum: float
    maximum: float
    mean: float
    payload_len: int
    total_size: int
    dtype: str = "float32"
    max_error: float | None = None
    rel_error: float | None = None
    psnr: float | None = None
    residual_size: int = 0
    nonfinite_size: int = 0
    body: str = ""  # version-2 frames: "predictive" or "verbatim"
    largest_error: float = 0.0  # version-2 frames: the largest error of any sample
    blocks: int = 1  # version-2 frames: independent blocks, each decodable alone
    block_size: int = 0  # version-2 frames: samples per block (the last may hold fewer)

    @property
    def ratio(self) -> float:
        """Size of the samples in their own dtype over the total size: the one ratio that
        compress's command line, info and bench report too."""
        return np.dtype(self.dtype).itemsize * self.sample_count / self.total_size

    def __str__(self) -> str:
        lines = [
            f"tessarine {self.kind}: {self.sample_count} samples of {self.dtype}, "
            f"{self.total_size} bytes, ratio {self.ratio:.2f} against {self.dtype}",
            *self._container_lines(),
        ]
        if self.kind == "frame":
            bounds = [
                f"{n}={v:g}"
                for n, v in (
                    ("max_error", self.max_error),
                    ("rel_error", self.rel_error),
                    ("psnr", self.psnr),
                )
                if v is not None
            ]
            lines.append(
                f"  bound {', '.join(bounds) or 'none'}, "
                + (
                    f"{self.body} body {self.residual_size} bytes, "
                    f"largest error {self.largest_error:g}, "
                    f"{self.blocks} block{'s' if self.blocks != 1 else ''} of {self.block_size} samples"
                    if self.body
                    else f"residual layer {self.residual_size} bytes, "
                    f"non-finite map {self.nonfinite_size} bytes"
                )
            )
        return "\n".join(lines)

    def _container_lines(self) -> list[str]:
        if self.body:
            return ["  no wavelet container: the predictive coder carries the signal"]
        if self.levels == 0:
            return ["  no wavelet container: the residual layer carries the signal"]
        return [
            f"  method {self.method}, scale {self.scale}, "
            f"cutoff {self.cutoff or 'not recorded'}, coder {self.coder}",
            f"  levels {self.levels}, band lengths {', '.join(map(str, self.band_lengths))}",
            f"  range {self.minimum:g} .. {self.maximum:g}, normalised mean {self.mean:g}",
            f"  payload {self.payload_len} bytes",
        ]


def inspect(data: object) -> ContainerInfo:
    """Describe a frame or a bare container from its headers.

    Parameters
    ----------
    data : bytes-like
        What `compress` (or ``tessarine.compress_signal``) returned.

    Returns
    -------
    ContainerInfo
        Every header field by its meaning; ``str()`` of it is a readable summary.

    Raises
    ------
    ValueError
        Bytes that are neither a frame nor a container, or a damaged one.

    Examples
    --------
    >>> import numpy as np
    >>> import tessarine_tools as tt
    >>> info = tt.inspect(tt.compress(np.sin(np.arange(500) / 9.0), psnr=60))
    >>> info.kind, info.dtype, info.psnr
    ('frame', 'float64', 60.0)
    """
    raw = bytes(memoryview(data))  # type: ignore[arg-type]
    if raw[:5] == FRAME_2:
        return _native_frame_info(raw)
    if not is_frame(raw):
        return ContainerInfo("container", cutoff=None, total_size=len(raw), **_header(raw))
    frame = unpack(raw)
    cutoff = CUTOFFS[frame.settings.cutoff] if frame.container else None
    bound = frame.bound or Bound()
    return ContainerInfo(
        "frame",
        cutoff=cutoff,
        total_size=len(raw),
        dtype=str(frame.dtype),
        max_error=bound.max_error,
        rel_error=bound.rel_error,
        psnr=bound.psnr,
        residual_size=len(frame.residual),
        nonfinite_size=len(frame.nonfinite),
        **(_header(frame.container) if frame.container else _no_container(frame.sample_count)),
    )


def _native_frame_info(raw: bytes) -> ContainerInfo:
    fields = _native.frame_fields(raw)
    return ContainerInfo(
        "frame",
        cutoff=None,
        total_size=len(raw),
        dtype=str(np.dtype(fields["dtype"])),
        max_error=fields["max_error"],
        rel_error=fields["rel_error"],
        psnr=fields["psnr"],
        residual_size=int(fields["body_len"]),
        body=str(fields["body"]),
        largest_error=float(fields["largest_error"]),
        blocks=int(fields["blocks"]),
        block_size=int(fields["block_size"]),
        **_no_container(int(fields["sample_count"])),
    )


def _no_container(sample_count: int) -> dict[str, Any]:
    # The residual layer carries the whole signal; there is no wavelet stage to describe.
    nan = float("nan")
    return {
        "method": "none",
        "scale": 0,
        "coder": "none",
        "sample_count": sample_count,
        "levels": 0,
        "band_lengths": (),
        "minimum": nan,
        "maximum": nan,
        "mean": nan,
        "payload_len": 0,
    }


def _header(container: bytes) -> dict[str, Any]:
    h = _native.header(container)
    method = h["method"]
    return {
        "method": _name(METHODS, method),
        "scale": int(h["scale"]),
        "coder": _name(CODERS, h["coder"]),
        "sample_count": int(h["sample_count"]),
        "levels": int(h["levels"]),
        "band_lengths": tuple(int(b) for b in h["band_lengths"]),
        "minimum": float(h["min"]),
        "maximum": float(h["max"]),
        "mean": float(h["mean"]),
        "payload_len": int(h["payload_len"]),
    }


def _name(table: tuple[str, ...], code: object) -> str:
    if not isinstance(code, int):
        return str(code)
    if not 0 <= code < len(table):
        raise ValueError(f"container is damaged: unknown code {code}")
    return table[code]
