from typing import Literal, final

import numpy as np
import numpy.typing as npt

@final
class TessrCompressionOptions:
    def __new__(
        cls,
        method: Literal["cdf97", "cdf53", "db4", "sym4"] = "cdf97",
        scale: int = 11,
        cutoff: Literal["low", "medium", "high"] = "low",
        coder: Literal["auto", "deflate", "arans"] | None = None,
    ) -> TessrCompressionOptions: ...

def compress_signal(
    data: npt.NDArray[np.float32] | npt.NDArray[np.float64],
    options: TessrCompressionOptions | None = None,
) -> bytes:
    """Compress a 1-D float32 **or** float64 NumPy array into Tessarine `bytes`.

    float64 input is downcast to float32 before compression (the codec works in
    f32 internally and always reconstructs f32 on decompress).
    """

def decompress_signal(data: bytes) -> npt.NDArray[np.float32]:
    """Decompress a Tessarine bytes object into a 1-D float32 NumPy array."""
