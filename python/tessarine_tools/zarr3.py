"""The codec as a zarr format 3 array-to-bytes serializer, registered as "tessarine"
through zarr's `zarr.codecs` entry point. Chunks use the layout of `tessarine_tools.codec`."""

from __future__ import annotations

import asyncio
from dataclasses import dataclass
from functools import cached_property
from typing import TYPE_CHECKING, Any

import numpy as np
from zarr.abc.codec import ArrayBytesCodec
from zarr.core.common import JSON, parse_named_configuration

from tessarine_tools._settings import CodecSettings
from tessarine_tools.codec import Tessarine

if TYPE_CHECKING:
    from typing import Self

    from zarr.core.array_spec import ArraySpec
    from zarr.core.buffer import Buffer, NDBuffer
    from zarr.core.chunk_grids import ChunkGrid
    from zarr.core.dtype.wrapper import TBaseDType, TBaseScalar, ZDType

NAME = "tessarine"


@dataclass(frozen=True)
class TessarineCodec(ArrayBytesCodec, CodecSettings):
    """zarr format 3 array-to-bytes serializer ``"tessarine"`` for real-valued arrays.

    Time runs along the last axis of each chunk; chunks use the layout of
    `tessarine_tools.codec.Tessarine`, and its fields are the same settings, so it is built
    and configured like the other surfaces.

    Parameters
    ----------
    max_error, rel_error, psnr, method, scale, cutoff, coder, plain, lossless, block_size
        As for `tessarine_tools.compress`; only the ones given are stored in the array's
        metadata (``coder`` and ``plain`` always).
    threads : int, default 1
        Threads that code the blocks of one long row; not stored.

    Raises
    ------
    TypeError, ValueError
        Settings that conflict, when the codec is made; a dtype that is not real, when the
        array is created.

    Examples
    --------
    >>> from tessarine_tools.zarr3 import TessarineCodec
    >>> TessarineCodec(psnr=70).to_dict()
    {'name': 'tessarine', 'configuration': {'psnr': 70, 'coder': 'arans', 'plain': False}}
    """

    is_fixed_size = False
    threads: int = 1  # blocks of a long lane coded in parallel; not stored, bytes never differ

    def __post_init__(self) -> None:
        super().__post_init__()
        _ = self._codec  # refuse bad settings when the array is created, not at first write

    @cached_property
    def _codec(self) -> Tessarine:
        return Tessarine(threads=self.threads, **self.keywords())

    @classmethod
    def from_dict(cls, data: dict[str, JSON]) -> Self:
        _, configuration = parse_named_configuration(data, NAME, require_configuration=False)
        return cls(**(configuration or {}))  # type: ignore[arg-type]

    def to_dict(self) -> dict[str, JSON]:
        return {"name": NAME, "configuration": self.keywords()}

    def validate(
        self,
        *,
        shape: tuple[int, ...],
        dtype: ZDType[TBaseDType, TBaseScalar],
        chunk_grid: ChunkGrid,
    ) -> None:
        native = dtype.to_native_dtype()
        if native.kind not in "iuf":
            raise ValueError(f"the tessarine codec stores real numbers, not {native}")

    async def _decode_single(self, chunk_bytes: Buffer, chunk_spec: ArraySpec) -> NDBuffer:
        out = np.empty(chunk_spec.shape, dtype=chunk_spec.dtype.to_native_dtype())
        await asyncio.to_thread(self._codec.decode, chunk_bytes.as_numpy_array(), out)
        return chunk_spec.prototype.nd_buffer.from_numpy_array(out)

    async def _encode_single(self, chunk_array: NDBuffer, chunk_spec: ArraySpec) -> Buffer:
        samples: Any = chunk_array.as_numpy_array()
        encoded = await asyncio.to_thread(self._codec.encode, samples)
        return chunk_spec.prototype.buffer.from_bytes(encoded)

    def compute_encoded_size(self, input_byte_length: int, chunk_spec: ArraySpec) -> int:
        raise NotImplementedError  # the size depends on the samples
