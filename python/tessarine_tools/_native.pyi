from typing import Any, TypedDict

import numpy as np
import numpy.typing as npt
from typing_extensions import Buffer

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
    data: npt.NDArray[np.floating[Any] | np.integer[Any]], method: int, scale: int, cutoff: int, coder: int
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

def compress_frame(
    data: npt.NDArray[np.floating[Any] | np.integer[Any]],
    max_error: float | None = None,
    rel_error: float | None = None,
    psnr: float | None = None,
) -> bytes: ...
def frame_fields(data: Buffer) -> FrameFields: ...
def decode_frame(data: Buffer, out: npt.NDArray[Any]) -> npt.NDArray[Any]: ...
