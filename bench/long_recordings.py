#!/usr/bin/env python3
"""Goals for long recordings: blocks on two threads, windows that read only their blocks, and
the command line streaming files larger than memory.

    python bench/long_recordings.py [--only threads|window|stream] [--stream-gb 1 2 4]

- threads: a 10-million-sample float32 signal (the shipped recordings, repeated) at
  max_error = 1e-3 x range. Compress and decompress on 1 and 2 threads, interleaved, best of
  3 each; the ratio against the same signal coded as one block.
- window: a 100-million-sample frame in a file. A 10,000-sample window read through
  tessarine_tools.open (bytes read counted) against decoding a 10,000-sample frame plus one
  block (2^20 samples) from memory.
- stream: `tessarine compress` of float32 .npy files of the sizes given (made here, deleted
  after): peak RSS of the command, and whether its output equals compress() in memory (done
  for inputs that fit comfortably).
"""

from __future__ import annotations

import os

# Before NumPy starts its thread pool: its idle workers would compete with ours.
os.environ.update({name: "1" for name in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS")})

import argparse  # noqa: E402
import io  # noqa: E402
import subprocess  # noqa: E402
import sys  # noqa: E402
import tempfile  # noqa: E402
import time  # noqa: E402
from collections.abc import Callable  # noqa: E402
from pathlib import Path  # noqa: E402

import numpy as np  # noqa: E402

import tessarine_tools as tt  # noqa: E402

REPO = Path(__file__).resolve().parents[1]
DATA = REPO.parent / "shared" / "data"
BLOCK = 1 << 20


def recording(samples: int) -> np.ndarray:
    """The shipped 1-D recordings (or the repository's example ECG) repeated to `samples`."""
    paths = sorted(DATA.glob("*.npy")) or sorted((REPO / "examples").glob("*.npy"))
    parts = [np.load(p).astype(np.float32).ravel() for p in paths]
    parts = [(p - p.min()) / max(float(p.max() - p.min()), 1e-30) for p in parts]  # one scale
    joined = np.concatenate(parts)
    return np.resize(joined, samples).astype(np.float32)


def best_of(calls: int, work: Callable[[], object]) -> float:
    times = []
    for _ in range(calls):
        started = time.perf_counter()
        work()
        times.append(time.perf_counter() - started)
    return min(times)


def threads_part() -> None:
    x = recording(10_000_000)
    bound = 1e-3 * float(x.max() - x.min())
    one_block = tt.compress(x, max_error=bound, block_size=len(x))
    frame = tt.compress(x, max_error=bound)
    assert tt.compress(x, max_error=bound, threads=2) == frame
    timings: dict[tuple[str, int], list[float]] = {}
    for _ in range(3):  # interleaved rounds: a busy neighbour slows both alike
        for threads in (1, 2):
            c = best_of(1, lambda: tt.compress(x, max_error=bound, threads=threads))
            d = best_of(1, lambda: tt.decompress(frame, threads=threads))
            timings.setdefault(("c", threads), []).append(c)
            timings.setdefault(("d", threads), []).append(d)
    best = {key: min(values) for key, values in timings.items()}
    print("### Two threads, 10M float32 samples, max_error = 1e-3 x range\n")
    print("| | 1 thread s | 2 threads s | 2/1 | goal <= 0.55 |")
    print("|---|---|---|---|---|")
    for part, name in (("c", "compress"), ("d", "decompress")):
        ratio = best[(part, 2)] / best[(part, 1)]
        print(
            f"| {name} | {best[(part, 1)]:.3f} | {best[(part, 2)]:.3f} | {ratio:.3f} | "
            f"{'PASS' if ratio <= 0.55 else 'MISS'} |"
        )
    loss = len(frame) / len(one_block) - 1
    print(
        f"\nsize: {len(frame):,} bytes in {tt.inspect(frame).blocks} blocks, {len(one_block):,} "
        f"as one block: {100 * loss:+.3f}% (goal <= +0.5%: {'PASS' if loss <= 0.005 else 'MISS'})\n"
    )


class CountingFile(io.FileIO):
    read_bytes = 0

    def read(self, size: int = -1) -> bytes:  # type: ignore[override]
        data = super().read(size)
        self.read_bytes += len(data)
        return data


def window_part() -> None:
    x = recording(100_000_000)
    bound = 1e-3 * float(x.max() - x.min())
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "long.tsrn"
        path.write_bytes(tt.compress(x, max_error=bound, threads=2))
        size = path.stat().st_size
        starts = np.random.default_rng(0).integers(0, len(x) - 10_000, 5)
        small = tt.compress(x[:10_000], max_error=bound)
        block = tt.compress(x[:BLOCK], max_error=bound)
        baseline = best_of(5, lambda: (tt.decompress(small), tt.decompress(block)))
        times, read = [], []
        for start in starts:
            with CountingFile(path) as file:
                started = time.perf_counter()
                with tt.open(file) as reader:
                    window = reader[int(start) : int(start) + 10_000]
                times.append(time.perf_counter() - started)
                read.append(file.read_bytes)
            decoded = tt.decompress(
                tt.compress(x[int(start) // BLOCK * BLOCK :][: 2 * BLOCK], max_error=bound)
            )
            assert np.array_equal(window, decoded[int(start) % BLOCK :][:10_000])
    ratio = min(times) / baseline
    print("### A 10,000-sample window of a 100M-sample frame\n")
    print(
        f"frame {size:,} bytes; window {1000 * min(times):.2f} ms (best of 5 offsets, file "
        f"opened each time), reading {max(read):,} bytes at most ({100 * max(read) / size:.2f}% "
        f"of the file); 10,000-sample frame + one block from memory {1000 * baseline:.2f} ms"
    )
    print(f"window / baseline = {ratio:.2f} (goal <= 2: {'PASS' if ratio <= 2 else 'MISS'})\n")


def stream_part(sizes_gb: list[float]) -> None:
    print("### Streaming command line, float32 .npy, max_error = 1e-3\n")
    print("| input GB | peak RSS MB | seconds | output MB | same bytes as compress() |")
    print("|---|---|---|---|---|")
    for gb in sizes_gb:
        with tempfile.TemporaryDirectory(dir=REPO / "build") as folder:
            source = Path(folder) / "in.npy"
            samples = int(gb * 1e9) // 4
            _write_npy(source, samples)
            target = Path(folder) / "out.tsrn"
            started = time.perf_counter()
            peak = _peak_rss_mb(["compress", str(source), "-o", str(target), "--max-error", "1e-3"])
            seconds = time.perf_counter() - started
            same = "not checked"
            if gb <= 1:
                data = np.load(source, mmap_mode="r")
                same = "yes" if target.read_bytes() == tt.compress(data, max_error=1e-3) else "NO"
            print(
                f"| {gb:g} | {peak:.0f} | {seconds:.1f} | {target.stat().st_size / 1e6:.1f} | {same} |"
            )
    print()


def _write_npy(path: Path, samples: int) -> None:
    piece = recording(BLOCK * 4)
    out = np.lib.format.open_memmap(path, mode="w+", dtype=np.float32, shape=(samples,))
    for start in range(0, samples, piece.size):
        part = out[start : start + piece.size]
        part[:] = piece[: part.size]
    out.flush()
    del out


def _peak_rss_mb(arguments: list[str]) -> float:
    """The command's own peak: VmHWM starts afresh at exec, where the children's ru_maxrss
    would count this process's pages from before the exec."""
    script = (
        "import re, sys; from tessarine_tools.cli import main; status = main(sys.argv[1:]); "
        "print(re.search(r'VmHWM:\\s*(\\d+)', open('/proc/self/status').read())[1]); "
        "sys.exit(status)"
    )
    done = subprocess.run(
        [sys.executable, "-c", script, *arguments], check=True, capture_output=True, text=True
    )
    return int(done.stdout.split()[-1]) / 1024


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", choices=("threads", "window", "stream"))
    parser.add_argument("--stream-gb", type=float, nargs="+", default=[1, 2, 4])
    args = parser.parse_args()
    print(
        f"## long_recordings ({os.cpu_count()} cores, tessarine_tools from "
        f"{Path(tt.__file__).parent})\n"
    )
    if args.only in (None, "threads"):
        threads_part()
    if args.only in (None, "window"):
        window_part()
    if args.only in (None, "stream"):
        stream_part(args.stream_gb)


if __name__ == "__main__":
    main()
