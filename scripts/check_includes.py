#!/usr/bin/env python3
"""Checks the include graph of src/ against the layering of the wavelet engine.

Rules (every quoted include is rooted at src/):
  1. Files in src/vibrel/kernel/ include only kernel/ headers: the kernel sits below every tier.
  2. The tiers (src/vibrel/scalar/, sse/, avx/) are sibling leaves of one shape: a tier's files
     include only kernel/ headers and their own folder, and nothing outside a tier includes
     one. Intrinsics (a tier's vector_ops.hpp) are thus compiled only with that tier's flags,
     and the executors reach the kernels through kernel/ declarations alone.
  3. src/codec/, src/python/ and src/tools_native/ include from src/vibrel/ only the engine's
     public headers.
  4. src/tools_native/ reaches the coders only through codec/ and frame/ (and the frame's
     vocabulary in predictive/): it includes nothing of entropy/.
  5. The native bounded coder stands alone: src/predictive/ includes only predictive/ and
     memory/; src/frame/ adds predictive/ to those, and nothing of codec/, entropy/ or vibrel/.
  6. The C API (src/capi/) wraps codec/ and frame/ (with the frame's vocabulary in
     predictive/); the HDF5 filter (src/hdf5_filter/) uses the C API alone.

Prints each broken rule as `file:line: include "x": reason` and exits 1 if there is any.
With --graph it also prints the edges between rooms (folder to folder, with counts).

Usage: python3 scripts/check_includes.py [--root DIR] [--graph]
"""

import argparse
import collections
import re
import sys
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = {".hpp", ".cpp", ".h", ".cc"}
TIERS = {"vibrel/scalar", "vibrel/sse", "vibrel/avx"}
OUTER_LAYERS = {"codec", "python", "tools_native"}
# Rooms that may include only the listed rooms (besides themselves).
CLOSED_ROOMS = {
    "tools_native": {"codec", "frame", "predictive", "vibrel"},
    "frame": {"predictive", "memory"},
    "predictive": {"memory"},
    "capi": {"codec", "frame", "predictive"},
    "hdf5_filter": {"capi"},
}
PUBLIC_ENGINE_HEADERS = {
    "vibrel/vibrel.hpp",
    "vibrel/factory.hpp",
    "vibrel/executor.hpp",
    "vibrel/dwt.hpp",
    "vibrel/error.hpp",
}


def room_of(path: str) -> str:
    """The folder of a src/-rooted path: 'vibrel/avx' for 'vibrel/avx/x.cpp'."""
    return path.rsplit("/", 1)[0] if "/" in path else ""


def includes_of(file: Path):
    for number, line in enumerate(file.read_text(encoding="utf-8").splitlines(), start=1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1)


def violation(source: str, target: str):
    """Why `source` may not include `target`, or None when it may."""
    source_room = room_of(source)
    target_room = room_of(target)
    if source_room == "vibrel/kernel" and target_room != "vibrel/kernel":
        return "kernel/ includes only kernel/"
    if source_room in TIERS and target_room not in ("vibrel/kernel", source_room):
        return f"{source_room.split('/')[1]}/ includes only kernel/ and its own folder"
    if target_room in TIERS and source_room != target_room:
        return f"only {target_room.split('/')[1]}/ includes its own files"
    top = source.split("/", 1)[0]
    allowed = CLOSED_ROOMS.get(top)
    target_top = target.split("/", 1)[0]
    if allowed is not None and target_top != top and target_top not in allowed:
        rooms = ", ".join(f"{room}/" for room in sorted(allowed))
        return f"{top}/ includes only {rooms} and its own folder"
    if top in OUTER_LAYERS and target.startswith("vibrel/"):
        if target not in PUBLIC_ENGINE_HEADERS:
            return f"{top}/ may use only the engine's public headers"
    return None


def check(src: Path, graph: collections.Counter) -> list:
    problems = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in SOURCE_SUFFIXES or not file.is_file():
            continue
        source = file.relative_to(src).as_posix()
        for number, target in includes_of(file):
            graph[(room_of(source), room_of(target))] += 1
            reason = violation(source, target)
            if reason:
                problems.append(f'{source}:{number}: include "{target}": {reason}')
    return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=Path, default=Path(__file__).resolve().parent.parent)
    parser.add_argument("--graph", action="store_true", help="print the edges between rooms")
    args = parser.parse_args()
    src = args.root / "src"
    if not src.is_dir():
        print(f"no src/ folder under {args.root}", file=sys.stderr)
        return 2
    graph = collections.Counter()
    problems = check(src, graph)
    if args.graph:
        for (source, target), count in sorted(graph.items()):
            if source != target:
                print(f"{source or '.'} -> {target or '.'}  {count}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
