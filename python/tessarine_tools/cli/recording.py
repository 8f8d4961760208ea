"""A recording as the command line moves it around: channels x time plus what to restore."""

from __future__ import annotations

from dataclasses import dataclass, field

import numpy as np

# WAV subtypes soundfile reads losslessly into an integer dtype, with the right shift that
# brings soundfile's full-scale integers back to the file's own sample values.
PCM_SUBTYPES: dict[str, tuple[str, int]] = {
    "PCM_S8": ("int16", 8),
    "PCM_U8": ("int16", 8),
    "PCM_16": ("int16", 0),
    "PCM_24": ("int32", 8),
    "PCM_32": ("int32", 0),
    "FLOAT": ("float32", 0),
    "DOUBLE": ("float64", 0),
}


@dataclass
class Recording:
    samples: np.ndarray  # (channels, time), C-contiguous
    source_ndim: int = 2
    sample_rate: float | None = None
    wav_subtype: str | None = None
    channel_names: list[str] = field(default_factory=list)

    def __post_init__(self) -> None:
        if not self.channel_names:
            self.channel_names = [f"ch{i}" for i in range(self.samples.shape[0])]

    @property
    def channels(self) -> int:
        return int(self.samples.shape[0])

    def attributes(self) -> dict[str, object]:
        return {
            "sample_rate": self.sample_rate,
            "channel_names": self.channel_names,
            "source_dtype": self.samples.dtype.str,
            "source_ndim": self.source_ndim,
            "wav_subtype": self.wav_subtype,
        }

    @classmethod
    def from_attributes(cls, samples: np.ndarray, attributes: dict[str, object]) -> Recording:
        rate = attributes.get("sample_rate")
        names = attributes.get("channel_names")
        return cls(
            samples=samples.astype(str(attributes.get("source_dtype", samples.dtype)), copy=False),
            source_ndim=int(attributes.get("source_ndim", 2)),  # type: ignore[call-overload]
            sample_rate=float(rate) if isinstance(rate, (int, float)) else None,
            wav_subtype=attributes.get("wav_subtype") or None,  # type: ignore[arg-type]
            channel_names=list(names) if isinstance(names, list) else [],
        )

    def shaped(self) -> np.ndarray:
        """The samples in the shape the source had: 1-D for a lone 1-D channel."""
        if self.source_ndim == 1 and self.channels == 1:
            return np.asarray(self.samples[0])
        return self.samples
