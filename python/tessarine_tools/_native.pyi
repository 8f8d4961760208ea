from typing import Any, TypedDict

import numpy as np
import numpy.typing as npt
from typing_extensions import Buffer

# The codec's name tables in code order (a name's index is its code), and the range of scales.
METHODS: tuple[str, ...]
CUTOFFS: tuple[str, ...]
CODERS: tuple[str, ...]
MIN_SCALE: int
MAX_SCALE: int

class HeaderFields(TypedDict):
    method: str
    levels: int
    scale: int
    coder: str
    sample_count: int
    min: float
    max: float
    mean: float
    payload_len: int
    band_lengths: list[int]

def compress(
    data: npt.NDArray[np.floating[Any] | np.integer[Any]],
    method: int,
    scale: int,
    cutoff: int,
    coder: int,
) -> bytes: ...
def decompress(
    data: Buffer, out: npt.NDArray[np.float32] | None = None
) -> npt.NDArray[np.float32]: ...
def reconstruct(
    data: npt.NDArray[np.floating[Any] | np.integer[Any]], method: int, scale: int, cutoff: int
) -> npt.NDArray[np.float32]: ...
def header(data: Buffer) -> HeaderFields: ...
def encode_bytes(data: Buffer) -> bytes: ...
def decode_bytes(data: Buffer) -> bytes: ...

class FrameFields(TypedDict):
    dtype: str
    sample_count: int
    max_error: float | None
    rel_error: float | None
    psnr: float | None
    body: str
    body_len: int
    largest_error: float
    blocks: int
    block_size: int
    channels: int

class FrameHead(TypedDict):
    dtype: str
    sample_count: int
    blocked: bool
    channels: bool

# first, samples, offset (from the body's start), size, kind (0 predictive, 1 verbatim),
# largest error, CRC-32
Block = tuple[int, int, int, int, int, float, int]

def compress_frame(
    data: npt.NDArray[np.floating[Any] | np.integer[Any]],
    max_error: float | None = None,
    rel_error: float | None = None,
    psnr: float | None = None,
    block_size: int = ...,
    threads: int = 1,
) -> bytes: ...
def frame_fields(data: Buffer, whole: bool = True) -> FrameFields: ...
def decode_frame(
    data: Buffer, out: npt.NDArray[Any], start: int = 0, stop: int | None = None, threads: int = 1
) -> npt.NDArray[Any]: ...
def compress_channels(
    data: npt.NDArray[Any],
    dtype: str,
    channels: int,
    max_error: float | list[float] | None,
    rel_error: float | None,
    psnr: float | None,
    block_size: int = ...,
    threads: int = 1,
    joint: bool = True,
) -> bytes: ...
def channel_spans(data: Buffer) -> list[tuple[int, int, int]]: ...
def decode_channels(
    data: Buffer, channels: list[int], out: npt.NDArray[Any], threads: int = 1
) -> npt.NDArray[Any]: ...
def frame_head(head: Buffer) -> FrameHead: ...
def block_tail_size(trailer: Buffer) -> int: ...
def block_layout(head: Buffer, tail: Buffer, body_size: int) -> list[Block]: ...
def decode_block(
    dtype: str,
    block: Block,
    data: Buffer,
    out: npt.NDArray[Any],
    start: int = 0,
    stop: int | None = None,
) -> npt.NDArray[Any]: ...
def encode_blocks(
    data: npt.NDArray[Any], max_error: float, block_size: int, threads: int = 1
) -> list[tuple[bytes, int, float, int]]: ...
def finish_blocked(
    dtype: str,
    count: int,
    max_error: float | None,
    rel_error: float | None,
    block_size: int,
    blocks: list[Block],
    blocks_crc: int,
    blocks_size: int,
) -> tuple[bytes, bytes]: ...
def error_limit(max_error: float | None, rel_error: float | None, span: float) -> float: ...
def finite_range(data: npt.NDArray[Any]) -> tuple[float, float, int]: ...
