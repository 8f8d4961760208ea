"""Steady-state speed of several builds of the `tessarine` module, side by side.

Each build runs in its own child process (two builds of one module cannot share a process);
the children alternate round after round so that a busy machine slows all builds alike, and
the table gives the median CPU time per call over the rounds. Sizes are the output bytes.

    python bench/builds_speed.py --module before=DIR --module after=DIR2 [--rounds 7]

Signals: every .npy in the data folder (default ../shared/data, else examples/data), plus the
shipped ECG tiled to 10 million samples with a little seeded noise.
"""

from __future__ import annotations

import argparse
import json
import statistics
import subprocess
import sys
from pathlib import Path

from memory_first_call import EXAMPLE, QUIET_NUMPY, REPO, SIGNAL, parse_module

CHILD = r"""
import json, sys, time
sys.path.insert(0, sys.argv[1])
import numpy as np, tessarine
SIGNAL
folder, calls = sys.argv[2], int(sys.argv[3])
signals = {p.stem: np.load(p).astype(np.float32) for p in sorted(__import__("pathlib").Path(folder).glob("*.npy"))}
signals["tiled_10M"] = signal(sys.argv[4], 10_000_000)
def cpu(call, n):
    times = []
    for _ in range(n):
        t = time.process_time(); call(); times.append(time.process_time() - t)
    return min(times)
out = {}
for name, x in signals.items():
    n = calls if x.size < 2_000_000 else 1
    for coder in ("arans", "deflate"):
        options = tessarine.TessrCompressionOptions(coder=coder)
        c = tessarine.compress_signal(x, options)
        out[f"{name}/{coder}"] = {"compress": cpu(lambda: tessarine.compress_signal(x, options), n),
                                  "decompress": cpu(lambda: tessarine.decompress_signal(c), n),
                                  "bytes": len(c)}
print(json.dumps(out))
""".replace("SIGNAL", SIGNAL)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--module",
        action="append",
        required=True,
        type=parse_module,
        help="LABEL=DIR holding a built tessarine module (repeatable)",
    )
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--calls", type=int, default=5, help="calls per round (best is kept)")
    parser.add_argument("--data-dir", type=Path, default=REPO.parent / "shared" / "data")
    args = parser.parse_args()
    folder = args.data_dir if args.data_dir.is_dir() else REPO / "examples" / "data"
    runs: dict[str, list[dict]] = {label: [] for label, _ in args.module}
    for _ in range(args.rounds):
        for label, path in args.module:
            done = subprocess.run(
                [sys.executable, "-c", CHILD, path, str(folder), str(args.calls), str(EXAMPLE)],
                capture_output=True,
                text=True,
                check=True,
                env=QUIET_NUMPY,
            )
            runs[label].append(json.loads(done.stdout))
    first = args.module[0][0]
    print(
        "| signal/coder | call | "
        + " | ".join(f"{label} ms" for label, _ in args.module)
        + f" | ratios to {first} | bytes |"
    )
    print("|---|---|" + "---|" * (len(args.module) + 2))
    for case in runs[first][0]:
        for call in ("compress", "decompress"):
            med = {
                label: 1000 * statistics.median(r[case][call] for r in rounds)
                for label, rounds in runs.items()
            }
            sizes = " / ".join(f"{runs[label][0][case]['bytes']:,}" for label, _ in args.module)
            ratios = " / ".join(f"{med[label] / med[first]:.2f}" for label, _ in args.module[1:])
            print(
                f"| {case} | {call} | "
                + " | ".join(f"{med[label]:.1f}" for label, _ in args.module)
                + f" | {ratios} | {sizes} |"
            )


if __name__ == "__main__":
    main()
