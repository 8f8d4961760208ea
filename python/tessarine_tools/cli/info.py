"""info: a .tsrn file or a zarr store described from headers, metadata and sizes alone."""

from __future__ import annotations

import argparse
import json
import math
import os
import zipfile
from pathlib import Path
from typing import Any

import numpy as np

import tessarine_tools
from tessarine_tools.cli import hdf5_files, lane_header
from tessarine_tools.cli.errors import DataError
from tessarine_tools.cli.measure import ratio
from tessarine_tools.cli.store import close_store, kind_of, open_store
from tessarine_tools.cli.store_summary import Channel, StoreSummary, summarise


def info(args: argparse.Namespace) -> str:
    source = Path(args.input)
    if not source.exists():
        raise DataError(f"{source}: no such file")
    if hdf5_files.is_hdf5(source):
        return hdf5_files.info(source)
    if source.is_dir() or kind_of(source) != "tsrn":
        report = _store_report(source)
    else:
        report = _file_report(source)
    return _json(report) if args.json else _text(report)


def _file_report(path: Path) -> dict[str, Any]:
    size = path.stat().st_size
    with open(path, "rb") as file:
        head = file.read(lane_header.FIRST_READ)
        head += file.read(max(0, lane_header.needed(head) - len(head)))
    try:
        header = lane_header.read(head)
    except ValueError as error:
        raise DataError(f"{path}: {error}") from None
    itemsize = np.dtype(header.dtype).itemsize
    return {
        "path": str(path),
        "kind": header.kind,
        "dtype": header.dtype,
        "samples": header.samples,
        "stored_bytes": size,
        "ratio": ratio(header.samples * itemsize, size),
        "body": header.body,
        "bound": header.bound,
        "largest_error": header.largest_error,
        **_blocks(path, header.body),
    }


def _blocks(path: Path, body: str) -> dict[str, Any]:
    """Block count and size from a blocked frame's index (its trailer and entries only)."""
    if body != "blocked":
        return {}
    try:
        with tessarine_tools.open(path) as reader:
            return {"blocks": reader.block_count, "block_size": reader.block_size}
    except ValueError as error:
        raise DataError(f"{path}: {error}") from None


def _store_report(path: Path) -> dict[str, Any]:
    zipped = kind_of(path) == "zip" and path.is_file()
    sizes = _zip_sizes(path) if zipped else _folder_sizes(path)
    store = open_store(path, "r", zipped)
    try:
        members = _group_arrays(store)
        if members is None:
            summary = summarise(store, sizes, str(path))
        else:
            reports = [
                _store_fields(
                    path, summarise(store, sizes, str(path), name), _member_bytes(sizes, name)
                )
                | {"array": name}
                for name in members
            ]
    finally:
        close_store(store)
    stored = path.stat().st_size if zipped else sum(sizes.values())
    if members is not None:
        return {"path": str(path), "group": True, "stored_bytes": stored, "arrays": reports}
    return _store_fields(path, summary, stored)


def _group_arrays(store: Any) -> list[str] | None:
    """The arrays of a group at the store's root (a recording with several sampling rates);
    None when the root is an array."""
    import zarr

    try:
        group = zarr.open_group(store, mode="r")
        names = sorted(name for name, _ in group.arrays())
    except Exception:  # the root is an array, or unreadable: the array path reports which
        return None
    return names or None  # nothing to describe: the array path says what the store is not


def _member_bytes(sizes: dict[str, int], name: str) -> int:
    return sum(size for key, size in sizes.items() if key.startswith(f"{name}/"))


def _folder_sizes(path: Path) -> dict[str, int]:
    sizes = {}
    for folder, _, names in os.walk(path):
        for name in names:
            file = Path(folder) / name
            sizes[file.relative_to(path).as_posix()] = file.stat().st_size
    return sizes


def _zip_sizes(path: Path) -> dict[str, int]:
    try:
        with zipfile.ZipFile(path) as archive:  # reads the central directory only
            return {i.filename: i.file_size for i in archive.infolist()}
    except zipfile.BadZipFile as error:
        raise DataError(f"{path}: not a readable zarr store ({error})") from None


def _store_fields(path: Path, s: StoreSummary, stored: int) -> dict[str, Any]:
    itemsize = np.dtype(s.dtype).itemsize
    return {
        "path": str(path),
        "zarr_format": s.zarr_format,
        "shape": list(s.shape),
        "dtype": str(s.dtype),
        "chunk_shape": list(s.chunk_shape),
        "codecs": s.codecs,
        **s.attributes,
        "chunks_stored": s.chunks_stored,
        "chunk_bytes": s.chunk_bytes,
        "stored_bytes": stored,
        "ratio": ratio(math.prod(s.shape) * itemsize, stored),
        "channels": [_channel_fields(c, s.shape[-1] * itemsize) for c in s.channels],
    }


def _channel_fields(c: Channel, input_bytes: int) -> dict[str, Any]:
    return {
        "name": c.name,
        "chunks": c.chunks,
        "stored_bytes": c.stored_bytes,
        "ratio": ratio(input_bytes, c.stored_bytes),
        "bodies": dict(c.bodies),
        "bounds": sorted(c.bounds),
        "largest_error": c.largest_error,
    }


def _json(report: dict[str, Any]) -> str:
    # Strict JSON: no NaN or Infinity, which many parsers refuse; null stands for "none".
    def clean(value: Any) -> Any:
        if isinstance(value, float) and not math.isfinite(value):
            return None
        if isinstance(value, dict):
            return {k: clean(v) for k, v in value.items()}
        return [clean(v) for v in value] if isinstance(value, list) else value

    return json.dumps(clean(report), indent=2, allow_nan=False)


def _number(value: float | None) -> str:
    return "none" if value is None or not math.isfinite(value) else f"{value:.2f}"


def _text(r: dict[str, Any]) -> str:
    if r.get("group"):
        lines = [
            f"{r['path']}: zarr group of {len(r['arrays'])} arrays, "
            f"{r['stored_bytes']} bytes stored"
        ]
        for member in r["arrays"]:
            text = _text({**member, "path": f"{r['path']}/{member['array']}"})
            lines.extend("  " + line for line in text.splitlines())
        return "\n".join(lines)
    if "kind" in r:
        bound = ", ".join(f"{n}={v:g}" for n, v in r["bound"].items()) or "none"
        largest = "" if r["largest_error"] is None else f", largest error {r['largest_error']:g}"
        blocks = f" ({r['blocks']} of {r['block_size']} samples)" if "blocks" in r else ""
        return (
            f"{r['path']}: tessarine {r['kind']}, {r['samples']} samples of {r['dtype']}, "
            f"{r['stored_bytes']} bytes, ratio {_number(r['ratio'])} against {r['dtype']}\n"
            f"  {r['body']}{blocks}, bound {bound}{largest}"
        )
    shape = " x ".join(map(str, r["shape"]))
    rate = r.get("sample_rate")
    lines = [
        f"{r['path']}: zarr format {r['zarr_format']} array, {shape} {r['dtype']} "
        f"in chunks of {' x '.join(map(str, r['chunk_shape']))}, codecs "
        f"{' + '.join(r['codecs'])}" + (f", rate {rate:g} Hz" if rate else ""),
        f"  {r['chunks_stored']} chunks, {r['stored_bytes']} bytes stored, ratio "
        f"{_number(r['ratio'])} against {r['dtype']}",
    ]
    for c in r["channels"]:
        bodies = ", ".join(f"{k} {v}" for k, v in c["bodies"].items())
        largest = "" if c["largest_error"] is None else f"; largest error {c['largest_error']:g}"
        lines.append(
            f"  {c['name']}: {c['chunks']} chunks, {c['stored_bytes']} bytes, ratio "
            f"{_number(c['ratio'])}; {bodies}; bound {' | '.join(c['bounds'])}{largest}"
        )
    return "\n".join(lines)
