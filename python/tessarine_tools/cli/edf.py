"""EDF, EDF+, BDF and BDF+ files in and out.

pyedflib reads and checks the file and gives its fields. Writing back does not go through its
writer: that one rounds annotation onsets to 0.1 ms and the start's fraction of a second to
microseconds, and rebuilds the header from parsed fields (a plain EDF's free-text patient and
recording fields are lost). Instead the store keeps the header's bytes and the annotation
signals' bytes, and the file is put together again record by record from the digital codes:
the same header, the same annotations, and the same samples when they were coded exactly.
"""

from __future__ import annotations

from pathlib import Path
from typing import Any

import numpy as np

from tessarine_tools.cli.biosignal import Biosignal, Channel
from tessarine_tools.cli.edf_layout import EdfLayout, check_size, read_layout
from tessarine_tools.cli.errors import DataError

FILE_TYPES = ("edf", "edf+", "bdf", "bdf+")  # pyedflib's filetype numbers, in order


def read_edf(path: Path) -> Biosignal:
    import pyedflib

    raw = path.read_bytes()
    layout = read_layout(raw, path)
    check_size(layout, len(raw), path)  # before pyedflib, which prints its own complaint
    try:
        reader = pyedflib.EdfReader(str(path))
    except OSError as error:
        text = str(error)
        raise DataError(text if text.startswith(str(path)) else f"{path}: {text}") from None
    try:
        channels = [_channel(reader, i) for i in range(reader.signals_in_file)]
        header = _header(reader, layout)
        annotations = [
            {"onset": float(onset), "duration": float(duration), "text": str(text)}
            for onset, duration, text in zip(*reader.readAnnotations())
        ]
        file_format = FILE_TYPES[reader.filetype]
    finally:
        reader.close()
    return Biosignal(
        file_format,
        channels,
        header,
        annotations,
        raw={
            "edf_header": np.frombuffer(raw[: layout.header_bytes], np.uint8),
            "edf_annotations": _annotation_bytes(raw, layout),
        },
    )


def _channel(reader: Any, i: int) -> Channel:
    fields = reader.getSignalHeader(i)
    low, high = fields["digital_min"], fields["digital_max"]
    # physical = (digital - digital_min) * gain + physical_min
    gain = (fields["physical_max"] - fields["physical_min"]) / (high - low) if high != low else 1.0
    return Channel(
        label=fields["label"],
        unit=fields["dimension"],
        rate=float(reader.getSampleFrequency(i)),
        codes=reader.readSignal(i, digital=True),
        gain=gain,
        offset=fields["physical_min"] - low * gain,
        fields={
            "digital_min": int(low),
            "digital_max": int(high),
            "physical_min": float(fields["physical_min"]),
            "physical_max": float(fields["physical_max"]),
            "prefilter": fields["prefilter"],
            "transducer": fields["transducer"],
            "samples_per_record": int(reader.samples_in_datarecord(i)),
        },
    )


def _header(reader: Any, layout: EdfLayout) -> dict[str, Any]:
    fields = dict(reader.getHeader())
    fields["startdate"] = fields["startdate"].isoformat()
    return {
        **fields,
        "patient": _text(reader.patient),
        "recording": _text(reader.recording),
        "record_duration": float(reader.datarecord_duration),
        "records": layout.records,
    }


def _text(value: bytes | str) -> str:
    return value.decode("latin-1").strip() if isinstance(value, bytes) else value.strip()


def _records(raw: bytes, layout: EdfLayout) -> np.ndarray:
    body = np.frombuffer(raw, np.uint8, layout.records * layout.record_bytes, layout.header_bytes)
    return body.reshape(layout.records, layout.record_bytes)


def _columns(layout: EdfLayout) -> list[tuple[int, int]]:
    """Each signal's byte span within a data record."""
    spans, start = [], 0
    for count in layout.samples_per_record:
        spans.append((start, start + count * layout.width))
        start += count * layout.width
    return spans


def _annotation_bytes(raw: bytes, layout: EdfLayout) -> np.ndarray:
    records = _records(raw, layout)
    spans = [s for s, note in zip(_columns(layout), layout.annotation) if note]
    if not spans:
        return np.zeros((layout.records, 0), np.uint8)
    return np.concatenate([records[:, a:b] for a, b in spans], axis=1)


def write_edf(recording: Biosignal, path: Path) -> None:
    """The EDF or BDF file the recording came from, from its stored header and annotations."""
    header = recording.raw["edf_header"].tobytes()
    layout = read_layout(header, path)
    records = np.zeros((layout.records, layout.record_bytes), np.uint8)
    notes = recording.raw["edf_annotations"]
    channels = iter(recording.channels)
    used = 0
    for (a, b), count, note in zip(_columns(layout), layout.samples_per_record, layout.annotation):
        if note:
            records[:, a:b] = notes[:, used : used + b - a]
            used += b - a
        else:
            records[:, a:b] = _sample_bytes(next(channels), layout, count)
    with open(path, "wb") as file:
        file.write(header)
        file.write(records.tobytes())


def _sample_bytes(channel: Channel, layout: EdfLayout, count: int) -> np.ndarray:
    # A bounded decode may step past the digital range by up to its bound; the source was
    # inside it, so clipping only brings samples closer.
    low, high = channel.fields["digital_min"], channel.fields["digital_max"]
    codes = np.clip(channel.codes, min(low, high), max(low, high)).astype("<i4")
    if codes.size != layout.records * count:
        raise DataError(
            f"channel {channel.label!r} holds {codes.size} samples, its header "
            f"announces {layout.records * count}"
        )
    as_bytes = codes.reshape(layout.records, count, 1).view(np.uint8)
    return as_bytes[:, :, : layout.width].reshape(layout.records, count * layout.width)
