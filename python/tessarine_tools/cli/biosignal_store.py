"""A biosignal recording in a zarr group: one channels x time array of digital codes per
sampling rate (and per error bound, when channels of one rate get different bounds), the
recording's header fields, channels and annotations as attributes, and for EDF the header's
and annotation signals' bytes that put the file back together exactly."""

from __future__ import annotations

import functools
import math
from pathlib import Path
from typing import Any

import numpy as np

from tessarine_tools.cli.biosignal import Biosignal, Channel, code_dtype, digital_bound
from tessarine_tools.cli.errors import DataError
from tessarine_tools.cli.store import close_store, open_store, write_array

MARK = "tessarine_biosignal"  # group attribute: its value is the layout's version
_VERSION = 1


def lane_groups(recording: Biosignal, max_error: float | None) -> dict[str, list[int]]:
    """Channel indices by array name: one array per rate, split where digital bounds differ.

    Codes are whole numbers, so a bound of b steps is the same as floor(b), and one below a
    step is exact: channels whose bounds round alike share an array.
    """
    keys: dict[tuple[float, int | None], list[int]] = {}
    for i, channel in enumerate(recording.channels):
        steps = _steps(max_error, channel.gain)
        keys.setdefault((channel.rate, steps), []).append(i)
    rates = [rate for rate, _ in keys]
    names = {}
    for (rate, steps), members in keys.items():
        suffix = "" if rates.count(rate) == 1 else f"_{'exact' if steps is None else steps}"
        names[f"{rate:g}Hz{suffix}"] = members
    return names


def _steps(max_error: float | None, gain: float) -> int | None:
    if max_error is None:
        return None
    steps = math.floor(digital_bound(max_error, gain))
    return steps if steps >= 1 else None


def write_biosignal_store(
    path: Path, recording: Biosignal, settings: dict[str, Any], zipped: bool
) -> None:
    """`settings` are the codec's; a max_error in them is in physical units."""
    import zarr

    from tessarine_tools.zarr3 import TessarineCodec

    max_error = settings.get("max_error")
    groups = lane_groups(recording, max_error)
    store = open_store(path, "w", zipped)
    try:
        root = zarr.open_group(store, mode="w", attributes=_group_attributes(recording, groups))
        for name, members in groups.items():
            channels = [recording.channels[i] for i in members]
            own, steps = channel_settings(settings, channels[0].gain)
            codes = [c.codes for c in channels]
            samples = np.stack(codes).astype(code_dtype(codes))
            write_array(
                functools.partial(root.create_array, name),
                samples,
                TessarineCodec(**own),
                _array_attributes(channels, steps),
            )
        if "edf_annotations" in recording.raw:
            notes = recording.raw["edf_annotations"]
            rows = max(1, min(65536, len(notes)))  # text, mostly padding: zarr's zstd suits it
            root.create_array("edf_annotations", data=notes, chunks=(rows, max(1, notes.shape[1])))
    finally:
        close_store(store)


def channel_settings(settings: dict[str, Any], gain: float) -> tuple[dict[str, Any], int | None]:
    """The codec's settings for codes of this gain, and the bound in whole steps (None: exact)."""
    steps = _steps(settings.get("max_error"), gain)
    return ({**settings, "max_error": steps} if steps else _exact(settings)), steps


def _exact(settings: dict[str, Any]) -> dict[str, Any]:
    # Without a bound (or one below a step) the codes are kept exactly, the point of the format.
    bounded = any(settings.get(b) is not None for b in ("rel_error", "psnr", "method", "scale"))
    if bounded:
        return {k: v for k, v in settings.items() if k != "max_error"}
    kept = {k: v for k, v in settings.items() if k not in ("max_error", "cutoff")}
    return {**kept, "lossless": True}


def _group_attributes(recording: Biosignal, groups: dict[str, list[int]]) -> dict[str, Any]:
    where = {i: (name, row) for name, members in groups.items() for row, i in enumerate(members)}
    channels = [
        {**c.describe(), "array": where[i][0], "row": where[i][1]}
        for i, c in enumerate(recording.channels)
    ]
    attributes = {
        MARK: _VERSION,
        "file_format": recording.file_format,
        "header": recording.header,
        "channels": channels,
        "annotations": recording.annotations,
    }
    if "edf_header" in recording.raw:
        attributes["edf_header"] = recording.raw["edf_header"].tobytes().decode("latin-1")
    return attributes


def _array_attributes(channels: list[Channel], steps: int | None) -> dict[str, Any]:
    return {
        "sample_rate": channels[0].rate,
        "channel_names": [c.label for c in channels],
        "units": [c.unit for c in channels],
        "gains": [c.gain for c in channels],
        "offsets": [c.offset for c in channels],
        "max_error_digital": steps or 0,
    }


def is_biosignal_store(path: Path, zipped: bool) -> bool:
    import zarr

    try:
        store = open_store(path, "r", zipped)
    except Exception:  # not a store at all: the ordinary path says why
        return False
    try:
        return MARK in zarr.open_group(store, mode="r").attrs
    except Exception:
        return False
    finally:
        close_store(store)


def read_biosignal_store(path: Path, zipped: bool) -> Biosignal:
    import zarr

    store = open_store(path, "r", zipped)
    try:
        root: Any = zarr.open_group(store, mode="r")
        attributes: dict[str, Any] = dict(root.attrs)
        try:
            channels = [_restored(path, root, c) for c in attributes["channels"]]
            raw = {}
            if "edf_header" in attributes:
                header = attributes["edf_header"].encode("latin-1")
                raw = {
                    "edf_header": np.frombuffer(header, np.uint8),
                    "edf_annotations": np.asarray(root["edf_annotations"][...]),
                }
            return Biosignal(
                attributes["file_format"],
                channels,
                attributes["header"],
                attributes["annotations"],
                raw,
            )
        except (KeyError, TypeError, IndexError, AttributeError) as error:
            raise DataError(f"{path}: damaged recording attributes ({error!r})") from None
    finally:
        close_store(store)


_DESCRIBED = ("label", "unit", "rate", "gain", "offset", "array", "row")


def _restored(path: Path, root: Any, described: dict[str, Any]) -> Channel:
    try:
        codes = np.asarray(root[described["array"]][described["row"], :])
    except (ValueError, OverflowError) as error:  # the codec's words
        raise DataError(
            f"{path}: a chunk of {described['array']} cannot be decoded ({error})"
        ) from None
    return Channel(
        described["label"],
        described["unit"],
        described["rate"],
        codes,
        described["gain"],
        described["offset"],
        {k: v for k, v in described.items() if k not in _DESCRIBED},
    )
