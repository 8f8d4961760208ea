#!/usr/bin/env python3
"""Channels coded together against each channel alone, and against FLAC with every channel in
one file, on the multichannel recordings of the shared data (int16 ADC codes).

    python bench/multichannel_compare.py [--rounds 3]

Lossless and bounded (max_error = f x range, f = 1e-3 and 1e-4); sizes, ratio joint/per-lane
and joint/FLAC, compress time joint/per-lane (best of the rounds, interleaved). A last row adds
four leads derived from the 2-lead ECG as exact integer combinations, as a 6-lead recording
stores them, and reports what the derived leads cost.
"""

from __future__ import annotations

import argparse
import io
import time
from pathlib import Path

import numpy as np
import soundfile

import tessarine_tools as tt

DATA = Path(__file__).resolve().parents[2] / "shared" / "data" / "multichannel"


def best_time(rounds: int, work) -> tuple[float, object]:
    best, result = float("inf"), None
    for _ in range(rounds):
        started = time.perf_counter()
        result = work()
        best = min(best, time.perf_counter() - started)
    return best, result


def flac_size(x: np.ndarray) -> int | str:
    if x.shape[0] > 8:
        return "n/a"
    buffer = io.BytesIO()
    soundfile.write(buffer, x.T, 8000, format="FLAC", subtype="PCM_16")
    return len(buffer.getvalue())


def row(name: str, x: np.ndarray, label: str, keywords: dict, rounds: int) -> None:
    per_lane_time, per_lane = best_time(rounds, lambda: [tt.compress(c, **keywords) for c in x])
    joint_time, joint = best_time(rounds, lambda: tt.compress(x, **keywords))
    back = tt.decompress(joint)
    bound = keywords.get("max_error", 0)
    assert np.abs(back.astype(np.int64) - x).max() <= bound
    alone = sum(len(f) for f in per_lane)
    flac = flac_size(x) if not bound else "-"
    versus_flac = f"{flac / len(joint):.3f}" if isinstance(flac, int) else "-"
    print(
        f"| {name} | {label} | {x.nbytes / alone:.3f} | {x.nbytes / len(joint):.3f} | "
        f"{alone / len(joint):.3f} | {versus_flac} | {joint_time / per_lane_time:.2f} |"
    )


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    print(
        "| recording | bound | per-lane ratio | joint ratio | joint/per-lane | joint/FLAC | time joint/per-lane |"
    )
    print("|---|---|---|---|---|---|---|")
    for path in sorted(DATA.glob("*.npy")):
        x = np.load(path)
        span = float(x.max()) - float(x.min())
        row(path.stem, x, "lossless", {"lossless": True}, args.rounds)
        for f in (1e-3, 1e-4):
            row(path.stem, x, f"{f:g} x range", {"max_error": f * span}, args.rounds)
    ecg = np.load(DATA / "ecg_mitbih100_2lead_codes.npy").astype(np.int32)
    one, two = ecg
    six = np.stack([one, two, two - one, -(one + two) // 2, one - two // 2, two - one // 2]).astype(
        np.int16
    )
    row("ECG + 4 derived leads", six, "lossless", {"lossless": True}, args.rounds)
    frame = tt.compress(six, lossless=True)
    base = len(tt.compress(six[:2], lossless=True))
    derived = sum(len(tt.compress(c, lossless=True)) for c in six[2:])
    print(
        f"\nderived leads: {len(frame) - base} bytes in the joint frame against {derived} coded alone "
        f"({100 * (len(frame) - base) / derived:.2f}%)"
    )


if __name__ == "__main__":
    main()
