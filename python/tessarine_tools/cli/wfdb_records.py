"""WFDB records (a .hea header and its signal files) in and out, through the wfdb package.

A record's annotation files sit beside it as <record>.<annotator>; every sibling file that
wfdb reads as annotations is kept, under its extension.
"""

from __future__ import annotations

from pathlib import Path
from typing import Any

import numpy as np

from tessarine_tools.cli.biosignal import Biosignal, Channel
from tessarine_tools.cli.errors import DataError

_CHANNEL_FIELDS = (
    "fmt",
    "samps_per_frame",
    "adc_gain",
    "baseline",
    "adc_res",
    "adc_zero",
    "block_size",
    "file_name",
)
_ANNOTATION_FIELDS = ("sample", "symbol", "subtype", "chan", "num", "aux_note")


def read_wfdb(path: Path) -> Biosignal:
    import wfdb

    name = str(path.with_suffix(""))
    try:
        record = wfdb.rdrecord(name, physical=False, smooth_frames=False)
    except Exception as error:  # wfdb raises many types for a damaged header or signal file
        raise DataError(f"{path}: not a readable WFDB record ({_one_line(error)})") from None
    channels = [_channel(record, i) for i in range(record.n_sig)]
    header = {
        "record_name": record.record_name,
        "fs": float(record.fs),
        "sig_len": int(record.sig_len),
        "counter_freq": record.counter_freq,
        "base_counter": record.base_counter,
        "comments": list(record.comments or []),
        "base_time": _iso(record.base_time),
        "base_date": _iso(record.base_date),
    }
    return Biosignal("wfdb", channels, header, _annotations(path, record))


def _channel(record: Any, i: int) -> Channel:
    fields = {f: _plain(getattr(record, f)[i]) for f in _CHANNEL_FIELDS}
    adc_gain = fields["adc_gain"] or 200.0  # WFDB's default for an unstated gain
    return Channel(
        label=record.sig_name[i],
        unit=record.units[i],
        rate=float(record.fs) * fields["samps_per_frame"],
        codes=np.asarray(record.e_d_signal[i]),
        gain=1.0 / adc_gain,
        offset=-fields["baseline"] / adc_gain,  # physical = (d - baseline) / gain
        fields=fields,
    )


def _annotations(path: Path, record: Any) -> list[dict[str, Any]]:
    import wfdb

    found = []
    signal_files = set(record.file_name)
    for sibling in sorted(path.parent.glob(f"{path.stem}.*")):
        extension = sibling.name[len(path.stem) + 1 :]
        if extension in ("hea", "dat") or sibling.name in signal_files:
            continue
        try:
            notes = wfdb.rdann(str(path.with_suffix("")), extension)
        except Exception:  # not an annotation file: it is not part of the record
            continue
        found.append(
            {"extension": extension, **{f: _plain(getattr(notes, f)) for f in _ANNOTATION_FIELDS}}
        )
    return found


def _plain(value: Any) -> Any:
    """NumPy scalars and arrays as JSON-ready Python values."""
    if isinstance(value, np.ndarray):
        return value.tolist()
    return value.item() if isinstance(value, np.generic) else value


def _iso(value: Any) -> str | None:
    return None if value is None else value.isoformat()


def _one_line(error: Exception) -> str:
    return " ".join(str(error).split()) or type(error).__name__


def write_wfdb(recording: Biosignal, header_path: Path) -> list[Path]:
    """The record under `header_path`'s name, in its folder; returns every file written."""
    import datetime

    import wfdb

    name, folder = header_path.stem, header_path.parent
    head = recording.header
    files = [_renamed(c.fields["file_name"], head["record_name"], name) for c in recording.channels]
    record = wfdb.Record(
        record_name=name,
        n_sig=len(recording.channels),
        fs=head["fs"],
        sig_len=head["sig_len"],
        counter_freq=head["counter_freq"],
        base_counter=head["base_counter"],
        comments=head["comments"] or None,
        base_time=head["base_time"] and datetime.time.fromisoformat(head["base_time"]),
        base_date=head["base_date"] and datetime.date.fromisoformat(head["base_date"]),
        sig_name=[c.label for c in recording.channels],
        units=[c.unit for c in recording.channels],
        e_d_signal=[c.codes.astype(np.int64) for c in recording.channels],
        file_name=files,
        **{f: [c.fields[f] for c in recording.channels] for f in _CHANNEL_FIELDS[:-1]},
    )
    record.set_d_features(expanded=True)  # checksums and first values of the codes written
    record.wrsamp(expanded=True, write_dir=str(folder))
    for notes in recording.annotations:
        wfdb.wrann(
            name,
            notes["extension"],
            np.asarray(notes["sample"], np.int64),
            symbol=notes["symbol"],
            subtype=np.asarray(notes["subtype"]),
            chan=np.asarray(notes["chan"]),
            num=np.asarray(notes["num"]),
            aux_note=notes["aux_note"],
            write_dir=str(folder),
        )
    written = {folder / f for f in files}
    written |= {folder / f"{name}.{n['extension']}" for n in recording.annotations}
    return [header_path, *sorted(written)]


def _renamed(file_name: str, old: str, new: str) -> str:
    return new + file_name[len(old) :] if file_name.startswith(old) else f"{new}_{file_name}"
