"""A recording from a biosignal file (EDF, BDF, WFDB) as the command line moves it around:
each channel's digital codes with what turns them into physical values, and the file's own
header fields and annotations, kept as JSON-ready values so a store can carry them."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any

import numpy as np

BIOSIGNAL_SUFFIXES = (".edf", ".bdf", ".hea")


@dataclass
class Channel:
    label: str
    unit: str
    rate: float  # samples per second
    codes: np.ndarray  # 1-D integer digital codes, as stored in the file
    gain: float  # physical = codes * gain + offset
    offset: float
    fields: dict[str, Any] = field(default_factory=dict)  # the format's own per-channel fields

    def describe(self) -> dict[str, Any]:
        """Everything but the codes, as JSON-ready values."""
        return {
            "label": self.label,
            "unit": self.unit,
            "rate": self.rate,
            "gain": self.gain,
            "offset": self.offset,
            **self.fields,
        }


@dataclass
class Biosignal:
    file_format: str  # "edf", "edf+", "bdf", "bdf+" or "wfdb"
    channels: list[Channel]
    header: dict[str, Any]  # the file's header fields, JSON-ready
    annotations: list[dict[str, Any]]  # JSON-ready, in the file's order
    raw: dict[str, np.ndarray] = field(default_factory=dict)  # bytes restoring the file exactly

    @property
    def is_edf(self) -> bool:
        return self.file_format != "wfdb"


def code_dtype(codes: list[np.ndarray]) -> np.dtype:
    """The narrowest of int16 and int32 that holds every code: EDF codes stay 16-bit."""
    low = min(int(c.min()) for c in codes if c.size) if any(c.size for c in codes) else 0
    high = max(int(c.max()) for c in codes if c.size) if any(c.size for c in codes) else 0
    narrow = np.iinfo(np.int16)
    return np.dtype(np.int16 if narrow.min <= low and high <= narrow.max else np.int32)


def digital_bound(max_error: float, gain: float) -> float:
    """A physical error bound in digital steps: codes are coded, physical values follow."""
    return max_error / abs(gain) if gain else max_error
