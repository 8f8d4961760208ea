"""compress and decompress a block at a time, so memory stays bounded whatever the file's size.

A 1-D .npy or a mono sound file goes into a .tsrn frame through the library's stream writer
(the same bytes as compressing it in one call), and a frame comes back out into .npy the same
way. The summary line is measured block by block against the source.
"""

from __future__ import annotations

from collections.abc import Iterator
from pathlib import Path

import numpy as np

import tessarine_tools
from tessarine_tools._settings import CodecSettings
from tessarine_tools.cli.measure import ErrorTally, ratio
from tessarine_tools.cli.progress import progress
from tessarine_tools.cli.sample_source import SampleSource, open_source


def streams(source: Path, dtype_flag: str | None, settings: CodecSettings) -> bool:
    """Whether this compression can run as a stream: the predictive coder under a per-sample
    bound (a PSNR needs the whole signal's errors first), from a 1-D .npy or mono sound file."""
    bound = settings.resolved.bound
    if dtype_flag is not None or bound is None or bound.psnr is not None:
        return False
    if settings.method is not None or settings.plain:
        return False
    return open_source(source, probe=True) is not None


def compress_stream(source: Path, temporary: Path, settings: CodecSettings, threads: int) -> str:
    samples = open_source(source)
    assert samples is not None
    with samples:
        keywords = _writer_keywords(samples, settings)
        with tessarine_tools.open(
            temporary,
            "w",
            dtype=samples.dtype,
            threads=threads,
            block_size=settings.blocks,
            **keywords,
        ) as writer:
            for piece in progress(
                samples.blocks(settings.blocks * threads),
                samples.block_count(settings.blocks * threads),
                "compress",
            ):
                writer.write(piece)
        peak, psnr = _errors(samples, temporary, settings.blocks)
    stored = temporary.stat().st_size
    return (
        f"ratio {ratio(samples.nbytes, stored):.2f} against {samples.dtype}  "
        f"max error {peak:.4g}  PSNR {psnr:.1f} dB"
    )


def decompress_stream(source: Path, temporary: Path) -> str:
    with tessarine_tools.open(source) as reader:
        with open(temporary, "wb") as file:
            header = {
                "descr": np.lib.format.dtype_to_descr(reader.dtype),
                "fortran_order": False,
                "shape": (len(reader),),
            }
            np.lib.format.write_array_header_2_0(file, header)
            for block in progress(reader, reader.block_count, "decompress"):
                block.tofile(file)
        return f"{len(reader)} {reader.dtype}"


def is_stream_frame(path: Path) -> bool:
    """A version-2 frame file of one channel, which decompresses block by block."""
    with open(path, "rb") as file:
        head = file.read(45)
    return head[:5] == b"TSRF\x02" and len(head) == 45 and head[44] != _CHANNELS


_CHANNELS = 3  # the body kind of a frame of several channels, decoded whole


def _writer_keywords(samples: SampleSource, settings: CodecSettings) -> dict[str, object]:
    if settings.lossless:
        return {"lossless": True}
    keywords: dict[str, object] = {"max_error": settings.max_error}
    if settings.rel_error is not None:
        # A relative bound needs the range of the whole signal: one pass over it first.
        keywords.update(
            rel_error=settings.rel_error, value_range=samples.finite_range(settings.blocks)
        )
    return keywords


def _errors(samples: SampleSource, frame: Path, block: int) -> tuple[float, float]:
    """(max absolute error, PSNR in dB) over the finite samples, a block at a time."""
    tally = ErrorTally()
    with tessarine_tools.open(frame) as reader:
        decoded = iter(reader)
        for original in _rechunked(samples.blocks(block), reader.block_size):
            tally.add(original, next(decoded))
    return tally.result()


def _rechunked(pieces: Iterator[np.ndarray], size: int) -> Iterator[np.ndarray]:
    """The same samples in pieces of `size`, to walk beside a frame's blocks."""
    pending: list[np.ndarray] = []
    held = 0
    for piece in pieces:
        pending.append(piece)
        held += piece.size
        while held >= size:
            joined = np.concatenate(pending)
            yield joined[:size]
            pending, held = [joined[size:]], held - size
    if held:
        yield np.concatenate(pending)
