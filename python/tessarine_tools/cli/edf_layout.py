"""Where everything sits in an EDF or BDF file, read from its header's fixed-width text.

The file is a header of 256 bytes plus 256 per signal, then data records: each record holds,
signal after signal, that signal's samples per record as little-endian two's complement
integers of 2 bytes (EDF) or 3 bytes (BDF). Annotations are signals too, holding text.
"""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

from tessarine_tools.cli.errors import DataError

ANNOTATION_LABELS = ("EDF Annotations", "BDF Annotations")
_SIGNAL_FIELDS = 216  # label 16, transducer 80, unit 8, four limits 8 each, prefilter 80


@dataclass(frozen=True)
class EdfLayout:
    header_bytes: int
    records: int
    width: int  # bytes per sample: 2 for EDF, 3 for BDF
    samples_per_record: tuple[int, ...]  # every signal, annotations included, in file order
    annotation: tuple[bool, ...]

    @property
    def record_bytes(self) -> int:
        return sum(self.samples_per_record) * self.width

    @property
    def file_bytes(self) -> int:
        return self.header_bytes + self.records * self.record_bytes


def read_layout(head: bytes, where: Path | str) -> EdfLayout:
    """The layout a header announces; `head` is at least the whole header, or what there is."""
    signals = _number(head, 252, 4, "number of signals", where)
    if len(head) < 256 * (signals + 1):
        raise DataError(
            f"{where}: header cut short ({len(head)} bytes, its {signals} signals "
            f"need {256 * (signals + 1)})"
        )
    labels = [head[256 + 16 * i : 272 + 16 * i].decode("latin-1").strip() for i in range(signals)]
    counts = tuple(
        _number(
            head,
            256 + signals * _SIGNAL_FIELDS + 8 * i,
            8,
            f"samples per record of signal {i + 1}",
            where,
        )
        for i in range(signals)
    )
    return EdfLayout(
        header_bytes=_number(head, 184, 8, "header size", where),
        records=_number(head, 236, 8, "number of data records", where),
        width=3 if head[:1] == b"\xff" else 2,
        samples_per_record=counts,
        annotation=tuple(label in ANNOTATION_LABELS for label in labels),
    )


def _number(head: bytes, start: int, size: int, name: str, where: Path | str) -> int:
    text = head[start : start + size].decode("latin-1").strip()
    if len(head) < start + size or not text.isdigit():
        raise DataError(f"{where}: damaged header: {name} is {text!r}, not a whole number")
    return int(text)


def check_size(layout: EdfLayout, size: int, where: Path | str) -> None:
    """Refuses a file whose length is not what its header announces (cut short or padded)."""
    if layout.header_bytes != 256 * (len(layout.samples_per_record) + 1):
        raise DataError(
            f"{where}: damaged header: header size {layout.header_bytes} does not "
            f"match its {len(layout.samples_per_record)} signals"
        )
    if size != layout.file_bytes:
        raise DataError(
            f"{where}: {size} bytes, but its header announces {layout.file_bytes} "
            f"({layout.records} records of {layout.record_bytes} bytes)"
        )
