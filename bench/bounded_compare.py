#!/usr/bin/env python3
"""Goals of the bounded coder: tessarine_tools against SZ3, zfp, pcodec, FLAC and delta+zstd.

    pip install .[bench] soundfile
    python bench/bounded_compare.py [--rounds 5] [--quick] [--only PART] [--memory] [--json PATH]

Parts (each prints Markdown tables and a goal summary with PASS or MISS per goal):
- bounded: every 1-D signal at max_error = f * (max - min), f = 1e-2 .. 1e-5, against SZ3
  (absolute bound, OpenMP off) and zfp (fixed accuracy, tolerance = max_error); every decoded
  signal is checked against the bound.
- lossless: integer ADC codes (each channel of the recordings in <data>/multichannel, and the
  ECG scaled back to its codes) against pcodec, FLAC and delta + zstd-19; exactness checked.
- floats: every 1-D float signal lossless, against pcodec and zstd-19 on the raw bytes (no
  goal; exactness checked).
- expansion: random int8, int16 and float32 samples, which no coder can shrink much: how many
  bytes the container adds.
- memory (with --memory or --only memory): peak resident growth of one compress and one
  decompress of a 10-million-sample signal, each in a fresh process.

Everything runs in this one process on one thread. Codecs take turns: a round runs every codec
on a signal, and the figures are medians over the rounds of the best of a few calls, so a busy
neighbour slows every codec alike. Speeds are MB/s (10^6 bytes) of the uncompressed samples.
The exit status is 1 when tessarine broke a bound or a lossless round trip, 2 for bad input.
"""

from __future__ import annotations

import os

# Before NumPy or any codec starts a thread pool: one thread everywhere.
THREAD_VARIABLES = (
    "OMP_NUM_THREADS",
    "OPENBLAS_NUM_THREADS",
    "MKL_NUM_THREADS",
    "NUMEXPR_NUM_THREADS",
    "RAYON_NUM_THREADS",
    "VECLIB_MAXIMUM_THREADS",
)
os.environ.update({name: "1" for name in THREAD_VARIABLES})

import argparse  # noqa: E402
import json  # noqa: E402
import math  # noqa: E402
import statistics  # noqa: E402
import subprocess  # noqa: E402
import sys  # noqa: E402
import tempfile  # noqa: E402
import time  # noqa: E402
from collections.abc import Callable  # noqa: E402
from importlib import metadata  # noqa: E402
from pathlib import Path  # noqa: E402
from typing import Any  # noqa: E402

import numpy as np  # noqa: E402

from bounded_peers import (  # noqa: E402
    TESSARINE,
    Codec,
    SignalError,
    bounded_codecs,
    float_lossless_codecs,
    float_signals,
    integer_signals,
    lossless_codecs,
    size_of,
)

REPO = Path(__file__).resolve().parents[1]
FRACTIONS = (1e-2, 1e-3, 1e-4, 1e-5)
QUICK_SAMPLES = 20_000
BEST_OF_SAMPLES = 2_000_000  # short signals get more calls per round, up to MAX_CALLS
MAX_CALLS = 5
EXPANSION_SAMPLES, EXPANSION_LIMIT = 1_000_000, 64
TINY_ERROR = 1e-30  # far below any float32 step of a standard normal sample
MEMORY_SAMPLES, MEMORY_FRACTION, MEMORY_SLACK = 10_000_000, 1e-3, 16 << 20
PARTS = ("bounded", "lossless", "floats", "expansion", "memory")
PACKAGES = ("tessarine", "numpy", "pysz", "zfpy", "pcodec", "soundfile", "zstandard")


# ---------------------------------------------------------------------------- measuring


def best_of(call: Callable[[], object], calls: int) -> tuple[float, float]:
    """Fastest (wall, CPU) seconds of `calls` calls: slower calls measure the neighbours."""
    wall = cpu = math.inf
    for _ in range(calls):
        start, start_cpu = time.perf_counter(), time.process_time()
        call()
        wall = min(wall, time.perf_counter() - start)
        cpu = min(cpu, time.process_time() - start_cpu)
    return wall, cpu


def calls_per_round(samples: int, quick: bool) -> int:
    return 1 if quick else max(1, min(MAX_CALLS, math.ceil(BEST_OF_SAMPLES / samples)))


def check(x: np.ndarray, y: Any) -> tuple[float, bool]:
    """Largest absolute error (in float64) and whether the output is x exactly, dtype included."""
    y = np.asarray(y)
    if y.shape != x.shape:
        return math.inf, False
    error = float(np.abs(y.astype(np.float64) - x.astype(np.float64)).max())
    return error, error == 0.0 and y.dtype == x.dtype


def run_codecs(x: np.ndarray, codecs: list[Codec], rounds: int, calls: int) -> dict[str, dict]:
    blobs = {codec.name: codec.encode(x) for codec in codecs}  # untimed: warms lazy setup
    records: dict[str, dict[str, Any]] = {}
    for codec in codecs:
        error, exact = check(x, codec.decode(blobs[codec.name], x))
        size = size_of(blobs[codec.name])
        records[codec.name] = {
            "bytes": size,
            "ratio": x.nbytes / size,
            "max_abs_error": error,
            "exact": exact,
            "compress_s": [],
            "decompress_s": [],
            "compress_cpu_s": [],
            "decompress_cpu_s": [],
        }
    for _ in range(rounds):
        for codec in codecs:
            record, blob = records[codec.name], blobs[codec.name]
            for step, call in (
                ("compress", lambda: codec.encode(x)),
                ("decompress", lambda: codec.decode(blob, x)),
            ):
                wall, cpu = best_of(call, calls)
                record[f"{step}_s"].append(wall)
                record[f"{step}_cpu_s"].append(cpu)
    for record in records.values():
        for step in ("compress", "decompress"):
            record[f"{step}_mbps"] = x.nbytes / 1e6 / statistics.median(record[f"{step}_s"])
            cpu = statistics.median(record[f"{step}_cpu_s"])
            record[f"{step}_cpu_mbps"] = x.nbytes / 1e6 / cpu if cpu > 0 else math.inf
    return records


# ---------------------------------------------------------------------------- reporting


def table(header: list[str], rows: list[list[str]]) -> str:
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    return "\n".join(lines + ["| " + " | ".join(row) + " |" for row in rows])


def fmt(value: float | None) -> str:
    return "n/a" if value is None or not math.isfinite(value) else f"{value:.3g}"


def speeds_cell(records: dict[str, dict], codec: str) -> str:
    if codec not in records:
        return "n/a"
    return f"{records[codec]['compress_mbps']:.0f} / {records[codec]['decompress_mbps']:.0f}"


def over(records: dict[str, dict], peer: str, key: str) -> float | None:
    """tessarine's figure over the peer's; None where the peer did not run."""
    if peer not in records:
        return None
    return records[TESSARINE][key] / records[peer][key]


def median_and_worst(per_signal: dict[str, float | None]) -> tuple[float | None, str, float | None]:
    known = {name: v for name, v in per_signal.items() if v is not None}
    if not known:
        return None, "n/a", None
    worst = min(known, key=known.__getitem__)
    return statistics.median(known.values()), worst, known[worst]


def verdict(value: float | None, goal: float) -> str:
    return "n/a" if value is None else f"{value:.4g} {'PASS' if value >= goal else 'MISS'}"


def loud(message: str) -> None:
    print(f"\n**!!! {message} !!!**\n", flush=True)
    print(f"!!! {message}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------- error-bounded


BOUNDED_RATIOS = {  # name -> (peer, record key)
    "ratio tt/SZ3": ("SZ3", "ratio"),
    "ratio tt/zfp": ("zfp", "ratio"),
    "compress tt/SZ3": ("SZ3", "compress_mbps"),
    "decompress tt/SZ3": ("SZ3", "decompress_mbps"),
    "compress tt/SZ3 (CPU)": ("SZ3", "compress_cpu_mbps"),
    "decompress tt/SZ3 (CPU)": ("SZ3", "decompress_cpu_mbps"),
}
BOUNDED_GOALS = (  # text, ratio name, statistic, goal
    ("ratio >= 1.05x SZ3, median", "ratio tt/SZ3", "median", 1.05),
    ("ratio >= 0.95x SZ3, every signal", "ratio tt/SZ3", "worst", 0.95),
    ("compress speed >= 1.0x SZ3, median", "compress tt/SZ3", "median", 1.0),
    ("decompress speed >= 1.0x SZ3, median", "decompress tt/SZ3", "median", 1.0),
    ("ratio >= 1.5x zfp, every signal", "ratio tt/zfp", "worst", 1.5),
)


def bounded_part(
    signals: dict[str, np.ndarray], args: argparse.Namespace, missing: dict[str, str]
) -> tuple[dict, bool]:
    results: dict[str, dict] = {}
    ratios_by_fraction: dict[float, dict[str, dict[str, float | None]]] = {}
    broken = False
    for fraction in FRACTIONS:
        results[f"{fraction:g}"] = per_signal = {}
        rows = []
        for name, x in signals.items():
            bound = fraction * (float(x.max()) - float(x.min()))
            records = run_codecs(
                x, bounded_codecs(bound, missing), args.rounds, calls_per_round(x.size, args.quick)
            )
            for codec, record in records.items():
                record["bound"], record["held"] = bound, record["max_abs_error"] <= bound
                if not record["held"]:
                    loud(
                        f"BOUND VIOLATED: {codec} on {name} at f={fraction:g}: max error "
                        f"{record['max_abs_error']:.6g} > {bound:.6g}"
                    )
                    broken |= codec == TESSARINE
            per_signal[name] = records
            rows.append(bounded_row(name, x.size, records))
        ratios_by_fraction[fraction] = {
            key: {name: over(records, *where) for name, records in per_signal.items()}
            for key, where in BOUNDED_RATIOS.items()
        }
        print(f"\n### Error-bounded, max_error = {fraction:g} x range\n")
        header = [
            "signal",
            "samples",
            "tt ratio",
            "SZ3 ratio",
            "zfp ratio",
            "tt/SZ3",
            "tt/zfp",
            "tt MB/s c / d",
            "SZ3 MB/s c / d",
            "speed tt/SZ3 c / d",
            "bound held tt / SZ3 / zfp",
        ]
        print(table(header, rows + summary_rows(ratios_by_fraction[fraction])))
    print_bounded_goals(ratios_by_fraction, results)
    return results, broken


def bounded_row(name: str, samples: int, records: dict[str, dict]) -> list[str]:
    def ratio(codec: str) -> str:
        return fmt(records[codec]["ratio"]) if codec in records else "n/a"

    held = " / ".join(
        ("yes" if records[c]["held"] else "**NO**") if c in records else "n/a"
        for c in (TESSARINE, "SZ3", "zfp")
    )
    return [
        name,
        f"{samples:,}",
        ratio(TESSARINE),
        ratio("SZ3"),
        ratio("zfp"),
        fmt(over(records, "SZ3", "ratio")),
        fmt(over(records, "zfp", "ratio")),
        speeds_cell(records, TESSARINE),
        speeds_cell(records, "SZ3"),
        f"{fmt(over(records, 'SZ3', 'compress_mbps'))} / "
        f"{fmt(over(records, 'SZ3', 'decompress_mbps'))}",
        held,
    ]


def summary_rows(ratios: dict[str, dict[str, float | None]]) -> list[list[str]]:
    stats = {key: median_and_worst(ratios[key]) for key in ratios}
    median = [
        "**median**",
        "",
        "",
        "",
        "",
        fmt(stats["ratio tt/SZ3"][0]),
        fmt(stats["ratio tt/zfp"][0]),
        "",
        "",
        f"{fmt(stats['compress tt/SZ3'][0])} / {fmt(stats['decompress tt/SZ3'][0])}",
        "",
    ]
    worst = (
        ["**worst**", "", "", "", ""]
        + [f"{fmt(stats[key][2])} ({stats[key][1]})" for key in ("ratio tt/SZ3", "ratio tt/zfp")]
        + [
            "",
            "",
            " / ".join(
                f"{fmt(stats[key][2])} ({stats[key][1]})"
                for key in ("compress tt/SZ3", "decompress tt/SZ3")
            ),
            "",
        ]
    )
    return [median, worst]


def print_bounded_goals(
    ratios: dict[float, dict[str, dict[str, float | None]]], results: dict[str, dict]
) -> None:
    rows = []
    for text, key, statistic, goal in BOUNDED_GOALS:
        cells = []
        pooled: dict[str, float | None] = {}
        for fraction, by_key in ratios.items():
            cells.append(verdict(pick(by_key[key], statistic), goal))
            pooled.update({f"{name} f={fraction:g}": v for name, v in by_key[key].items()})
        rows.append([text, *cells, verdict(pick(pooled, statistic), goal)])
    held = [r[TESSARINE]["held"] for per_signal in results.values() for r in per_signal.values()]
    rows.append(
        [
            "tessarine's bound held on every signal",
            *[""] * len(ratios),
            f"{sum(held)}/{len(held)} {'PASS' if all(held) else 'MISS'}",
        ]
    )
    print("\n### Error-bounded goals\n")
    print(table(["goal", *[f"f={f:g}" for f in ratios], "all"], rows))
    cpu = {
        key: pick({f"{n} {f}": v for f, by in ratios.items() for n, v in by[key].items()}, "median")
        for key in ("compress tt/SZ3 (CPU)", "decompress tt/SZ3 (CPU)")
    }
    print(
        f"\nThe same speed ratios from CPU time (less sensitive to a busy machine), median "
        f"over all: compress {fmt(cpu['compress tt/SZ3 (CPU)'])}, decompress "
        f"{fmt(cpu['decompress tt/SZ3 (CPU)'])}."
    )


def pick(values: dict[str, float | None], statistic: str) -> float | None:
    median, _, worst = median_and_worst(values)
    return median if statistic == "median" else worst


# ---------------------------------------------------------------------------- lossless


LOSSLESS_PEERS = ("pcodec", "FLAC", "delta+zstd")


def lossless_part(
    signals: dict[str, np.ndarray], args: argparse.Namespace, missing: dict[str, str]
) -> tuple[dict, bool]:
    results, rows, broken = {}, [], False
    versus_best: dict[str, float | None] = {}
    speeds: dict[str, dict[str, float | None]] = {"compress": {}, "decompress": {}}
    for name, x in signals.items():
        records = run_codecs(
            x, lossless_codecs(missing), args.rounds, calls_per_round(x.size, args.quick)
        )
        results[name] = records
        for codec, record in records.items():
            if not record["exact"]:
                loud(f"NOT LOSSLESS: {codec} on {name}: max error {record['max_abs_error']:.6g}")
                broken |= codec == TESSARINE
        peers = [p for p in LOSSLESS_PEERS if p in records]
        best = max(peers, key=lambda p: records[p]["ratio"], default=None)
        versus_best[name] = over(records, best, "ratio") if best else None
        for step in speeds:
            speeds[step][name] = over(records, "pcodec", f"{step}_mbps")
        rows.append(
            [
                name,
                f"{x.size:,}",
                *[
                    fmt(records[c]["ratio"]) if c in records else "n/a"
                    for c in (TESSARINE, *LOSSLESS_PEERS)
                ],
                best or "n/a",
                fmt(versus_best[name]),
                *[speeds_cell(records, c) for c in (TESSARINE, "pcodec")],
                f"{fmt(speeds['compress'][name])} / {fmt(speeds['decompress'][name])}",
                "yes" if records[TESSARINE]["exact"] else "**NO**",
            ]
        )
    stats = {
        "best": median_and_worst(versus_best),
        **{step: median_and_worst(values) for step, values in speeds.items()},
    }
    rows.append(
        [
            "**median**",
            *[""] * 6,
            fmt(stats["best"][0]),
            "",
            "",
            f"{fmt(stats['compress'][0])} / {fmt(stats['decompress'][0])}",
            "",
        ]
    )
    rows.append(
        ["**worst**", *[""] * 6, f"{fmt(stats['best'][2])} ({stats['best'][1]})", "", "", "", ""]
    )
    print("\n### Lossless integer codes\n")
    print(
        table(
            [
                "signal",
                "samples",
                "tt ratio",
                "pcodec",
                "FLAC",
                "delta+zstd",
                "best peer",
                "tt/best",
                "tt MB/s c / d",
                "pcodec MB/s c / d",
                "speed tt/pcodec c / d",
                "tt exact",
            ],
            rows,
        )
    )
    exact = [r[TESSARINE]["exact"] for r in results.values()]
    print("\n### Lossless goals\n")
    print(
        table(
            ["goal", "value"],
            [
                ["ratio >= best peer, median", verdict(stats["best"][0], 1.0)],
                ["ratio >= 0.9x best peer, every signal", verdict(stats["best"][2], 0.9)],
                ["compress speed >= 1.0x pcodec, median", verdict(stats["compress"][0], 1.0)],
                ["decompress speed >= 0.5x pcodec, median", verdict(stats["decompress"][0], 0.5)],
                [
                    "tessarine exact on every signal",
                    f"{sum(exact)}/{len(exact)} {'PASS' if all(exact) else 'MISS'}",
                ],
            ],
        )
    )
    return results, broken


# ---------------------------------------------------------------------------- lossless floats


def lossless_floats_part(
    signals: dict[str, np.ndarray], args: argparse.Namespace, missing: dict[str, str]
) -> tuple[dict, bool]:
    """No goal of its own: where exact float recordings stand against pcodec and zstd-19."""
    results, rows, broken = {}, [], False
    for name, x in signals.items():
        records = run_codecs(
            x, float_lossless_codecs(missing), args.rounds, calls_per_round(x.size, args.quick)
        )
        results[name] = records
        exact = records[TESSARINE]["exact"]
        if not exact:
            loud(f"NOT LOSSLESS: tessarine on {name}")
        broken |= not exact
        rows.append(
            [
                name,
                str(x.dtype),
                *[fmt(records[c]["ratio"]) if c in records else "n/a" for c in FLOAT_CODECS],
                speeds_cell(records, TESSARINE),
                speeds_cell(records, "pcodec"),
                "yes" if exact else "**NO**",
            ]
        )
    print("\n### Lossless floats\n")
    heads = [
        "signal",
        "dtype",
        "tt ratio",
        "pcodec",
        "zstd-19",
        "tt MB/s c / d",
        "pcodec MB/s c / d",
    ]
    print(table([*heads, "tt exact"], rows))
    return results, broken


FLOAT_CODECS = (TESSARINE, "pcodec", "zstd")


# ---------------------------------------------------------------------------- no expansion


def expansion_part(quick: bool) -> tuple[list[dict], bool]:
    import tessarine_tools as tt

    n = QUICK_SAMPLES if quick else EXPANSION_SAMPLES
    rng = np.random.default_rng(0)
    inputs: dict[str, tuple[np.ndarray, float]] = {
        "int8, uniform": (rng.integers(-128, 128, n, dtype=np.int8), 0.4),
        "int16, uniform": (rng.integers(-32768, 32768, n, dtype=np.int16), 0.4),
        "float32, standard normal": (rng.standard_normal(n).astype(np.float32), TINY_ERROR),
    }
    results, rows, broken = [], [], False
    for name, (x, bound) in inputs.items():
        try:
            blob = tt.compress(x, max_error=bound)
            error, _ = check(x, tt.decompress(blob))
            grew, held = len(blob) - x.nbytes, error <= bound
        except Exception as failure:  # a refusal is a result here, not a crash
            loud(f"tessarine failed on {name}: {type(failure).__name__}: {failure}")
            grew, held, error = None, False, math.inf
        broken |= not held
        results.append(
            {
                "input": name,
                "samples": n,
                "raw_bytes": x.nbytes,
                "max_error": bound,
                "growth_bytes": grew,
                "max_abs_error": error,
                "held": held,
            }
        )
        rows.append(
            [
                name,
                f"{n:,}",
                f"{bound:g}",
                f"{x.nbytes:,}",
                "failed" if grew is None else f"{grew:+,}",
                "yes" if held else "**NO**",
                "MISS" if grew is None or grew > EXPANSION_LIMIT else "PASS",
            ]
        )
    print(f"\n### No expansion (goal: compressed - raw <= {EXPANSION_LIMIT} bytes)\n")
    print(
        table(
            [
                "input",
                "samples",
                "max_error",
                "raw bytes",
                "compressed - raw",
                "round trip within bound",
                "goal",
            ],
            rows,
        )
    )
    return results, broken


# ---------------------------------------------------------------------------- memory


# Runs in a fresh process: the input is loaded, the peak is reset where the kernel allows it
# (/proc/self/clear_refs), and the growth of the peak over the resident size just before the
# call is printed. Native allocations are counted, which tracemalloc would not see.
MEMORY_CHILD = r"""
import json, os, resource, sys
import numpy as np, tessarine_tools as tt
step, path, bound = sys.argv[1], sys.argv[2], float(sys.argv[3])
data = np.load(path) if step == "compress" else open(path, "rb").read()
def status(key):
    with open("/proc/self/status") as f:
        return next(int(l.split()[1]) * 1024 for l in f if l.startswith(key))
try:
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    reset = True
except OSError:
    reset = False
before = status("VmRSS:")
out = tt.compress(data, max_error=bound) if step == "compress" else tt.decompress(data)
peak = status("VmHWM:") if reset else resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
size = len(out) if step == "compress" else out.nbytes
print(json.dumps({"before": before, "peak": peak, "reset": reset, "output_bytes": size}))
"""


def tiled_signal(x: np.ndarray, n: int) -> np.ndarray:
    """`x` repeated to n samples, with seeded noise of about a thousandth of its range so that no
    two repeats are alike (a coder could otherwise find the copies)."""
    noise = np.random.default_rng(17).standard_normal(n).astype(np.float32)
    return np.resize(x, n) + noise * np.float32(1e-3 * float(np.ptp(x)))


def memory_part(source: np.ndarray, args: argparse.Namespace) -> tuple[dict, bool]:
    n = QUICK_SAMPLES * 50 if args.quick else MEMORY_SAMPLES
    x = tiled_signal(source, n)
    bound = MEMORY_FRACTION * float(np.ptp(x))
    runs: dict[str, list[dict]] = {"compress": [], "decompress": []}
    with tempfile.TemporaryDirectory() as folder:
        signal, container = Path(folder) / "signal.npy", Path(folder) / "signal.tsr"
        np.save(signal, x)
        import tessarine_tools as tt

        container.write_bytes(tt.compress(x, max_error=bound))
        for _ in range(1 if args.quick else min(args.rounds, 3)):
            for step, path in (("compress", signal), ("decompress", container)):
                done = subprocess.run(
                    [sys.executable, "-c", MEMORY_CHILD, step, str(path), repr(bound)],
                    capture_output=True,
                    text=True,
                    check=True,
                )
                runs[step].append(json.loads(done.stdout))
    mib, rows, results, missed = 1 << 20, [], {}, False
    for step, reference, factor in (("compress", x.nbytes, 2.0), ("decompress", x.nbytes, 1.2)):
        growth = statistics.median(r["peak"] - r["before"] for r in runs[step])
        limit = factor * reference + MEMORY_SLACK
        missed |= growth > limit
        results[step] = {"growth_bytes": growth, "limit_bytes": limit, "runs": runs[step]}
        rows.append(
            [
                step,
                f"{n:,}",
                f"{growth / mib:.1f}",
                f"{growth / x.nbytes:.2f}",
                f"{factor:g} x {reference / mib:.1f} + 16 = {limit / mib:.1f}",
                "PASS" if growth <= limit else "MISS",
                "yes" if all(r["reset"] for r in runs[step]) else "no (lifetime peak)",
            ]
        )
    print(f"\n### Memory (max_error = {MEMORY_FRACTION:g} x range, fresh process per call)\n")
    print(
        table(
            [
                "call",
                "samples",
                "peak growth MiB",
                "growth / input",
                "goal MiB",
                "goal",
                "peak reset",
            ],
            rows,
        )
    )
    return results, False


# ---------------------------------------------------------------------------- main


def machine() -> dict:
    versions = {}
    for package in PACKAGES:
        try:
            versions[package] = metadata.version(package)
        except metadata.PackageNotFoundError:
            versions[package] = "not installed"
    commit = subprocess.run(
        ["git", "-C", str(REPO), "rev-parse", "--short", "HEAD"], capture_output=True, text=True
    ).stdout.strip()
    # The package measured is the installed one, which need not be this checkout's HEAD.
    import tessarine_tools

    folder = Path(tessarine_tools.__file__).parent
    installed = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(folder.stat().st_mtime))
    return {
        "cores": os.cpu_count(),
        "load_start": os.getloadavg(),
        "commit": commit,
        "python": sys.version.split()[0],
        "versions": versions,
        "tessarine_tools": f"{folder} (installed {installed})",
    }


def default_data() -> Path:
    shared = REPO.parent / "shared" / "data"
    return shared if shared.is_dir() else REPO / "examples" / "data"


def parse_args() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--data-dir",
        type=Path,
        default=default_data(),
        help="folder of 1-D .npy signals, integer recordings in multichannel/",
    )
    parser.add_argument(
        "--data",
        type=Path,
        action="append",
        default=[],
        help="another .npy signal or folder of them (repeatable)",
    )
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument(
        "--quick",
        action="store_true",
        help=f"first {QUICK_SAMPLES:,} samples of each signal, 1 round",
    )
    parser.add_argument("--only", choices=PARTS)
    parser.add_argument("--memory", action="store_true", help="also run the memory part")
    parser.add_argument("--json", type=Path, help="save every measurement here")
    args = parser.parse_args()
    if args.rounds < 1:
        parser.error("--rounds must be at least 1")
    if args.quick:
        args.rounds = 1
    return args


def main() -> int:
    args = parse_args()
    parts = [args.only] if args.only else [p for p in PARTS if p != "memory" or args.memory]
    notes: list[str] = []
    try:
        floats = float_signals(args.data_dir, args.data)
        integers = integer_signals(args.data_dir, floats, notes)
    except (SignalError, OSError) as error:
        print(f"error: {error}", file=sys.stderr)
        return 2
    if not floats:
        print(f"error: no .npy signals in {args.data_dir} or --data", file=sys.stderr)
        return 2
    if args.quick:
        floats = {name: x[:QUICK_SAMPLES] for name, x in floats.items()}
        integers = {name: x[:QUICK_SAMPLES] for name, x in integers.items()}
    for name in [n for n, x in floats.items() if x.min() == x.max()]:
        notes.append(f"{name}: constant, no bound to compare at")
        del floats[name]
    about = machine()
    print("## bounded_compare\n")
    print(f"tessarine_tools from {about['tessarine_tools']}; checkout {about['commit']}\n")
    print(
        f"{about['cores']} cores, Python {about['python']}, "
        + ", ".join(f"{k} {v}" for k, v in about["versions"].items())
    )
    print(
        f"rounds {args.rounds}{' (quick)' if args.quick else ''}, load average at start "
        + " / ".join(f"{v:.2f}" for v in about["load_start"])
    )
    results: dict[str, Any] = {"machine": about, "notes": notes}
    missing: dict[str, str] = {}
    broken = False
    started = time.perf_counter()
    for part in parts:
        if part == "bounded":
            results[part], failed = bounded_part(floats, args, missing)
        elif part == "lossless":
            results[part], failed = lossless_part(integers, args, missing)
        elif part == "floats":
            results[part], failed = lossless_floats_part(floats, args, missing)
        elif part == "expansion":
            results[part], failed = expansion_part(args.quick)
        else:
            source = next(iter(floats.values()))
            results[part], failed = memory_part(source, args)
        broken |= failed
    about["load_end"], about["seconds"] = os.getloadavg(), time.perf_counter() - started
    print(
        f"\nLoad average at the end {' / '.join(f'{v:.2f}' for v in about['load_end'])}, "
        f"{about['seconds']:.0f} s."
    )
    for note in notes + [f"{module} unavailable: {why}" for module, why in missing.items()]:
        print(f"- {note}")
    if args.json:
        args.json.write_text(json.dumps(results, indent=1, default=float))
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
