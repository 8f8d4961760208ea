"""Speed of tessarine_tools._native against the `tessarine` module.

(a) single-thread compress and decompress on each real signal: _native / tessarine, goal <= 1.05;
(b) two threads compressing two different signals against the same work done serially,
    goal <= 0.6 on two cores;
(c) reconstruct against compress + decompress (the bound search's evaluation).

The machine may be shared, so the contenders run alternately, round after round, and every
figure is a median over the rounds. Usage: python bench/native_speed.py [--rounds N]
"""

import argparse
import hashlib
import os
import statistics
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np

import tessarine
from tessarine_tools import _native

ROOT = Path(__file__).resolve().parents[1]
SHIPPED = ROOT / "examples" / "data"
DEFAULT = (1, 11, 0, 2)  # cdf97, scale 11, low cutoff, auto coder: the module's defaults


def data_folder():
    """The shared signals beside the checkout (or a worktree), else the shipped example."""
    for base in (ROOT.parent, ROOT.parent.parent):
        if any((base / "shared" / "data").glob("*.npy")):
            return base / "shared" / "data"
    return SHIPPED


def load_signals():
    folder = data_folder()
    return {path.stem: np.load(path).astype(np.float32) for path in sorted(folder.glob("*.npy"))}


def seconds(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def cpu_seconds(call):
    """CPU time of the calling thread spent in `call`."""
    start = time.thread_time()
    call()
    return time.thread_time() - start


def median_pair(first, second, rounds, clock=seconds):
    """Medians of two callables timed alternately, so load changes hit both alike."""
    a, b = [], []
    for _ in range(rounds):
        a.append(clock(first))
        b.append(clock(second))
    return statistics.median(a), statistics.median(b)


def single_thread(signals, rounds):
    print("(a) single thread, median CPU ms of the calling thread, tessarine then _native")
    print("    (ratio _native / tessarine; goal <= 1.05); wall-clock ratio in brackets")
    print(f"{'signal':24} {'compress':>30} {'decompress':>30}")
    for name, x in signals.items():
        container = tessarine.compress_signal(x)
        pairs = [
            (lambda: tessarine.compress_signal(x), lambda: _native.compress(x, *DEFAULT)),
            (lambda: tessarine.decompress_signal(container), lambda: _native.decompress(container)),
        ]
        cells = []
        for module_call, native_call in pairs:
            mt, nt = median_pair(module_call, native_call, rounds, cpu_seconds)
            mw, nw = median_pair(module_call, native_call, rounds)
            cells.append(f"{mt * 1e3:7.2f} {nt * 1e3:7.2f} {nt / mt:5.3f} [{nw / mw:5.3f}]")
        print(f"{name:24} {cells[0]:>30} {cells[1]:>30}")


def parallel_ratio(work, rounds):
    """Serial and two-thread figures for the items of `work`, each a median over the rounds:
    wall times, and the CPU time of the serial run and of the busier worker. On two free cores
    the wall time of the parallel run is that of its busier worker, so the CPU ratio tells what
    the wall ratio becomes once the machine is not shared. Long-lived workers, as a thread pool
    runs them, keep their memory warm from one call to the next, as the main thread does."""
    walls, cpus = ([], []), ([], [])
    with ThreadPoolExecutor(max_workers=2) as pool:
        [future.result() for future in [pool.submit(cpu_seconds, call) for call in work]]
        for _ in range(rounds):
            start = time.perf_counter()
            cpus[0].append(sum(cpu_seconds(call) for call in work))
            walls[0].append(time.perf_counter() - start)
            start = time.perf_counter()
            futures = [pool.submit(cpu_seconds, call) for call in work]
            cpus[1].append(max(future.result() for future in futures))
            walls[1].append(time.perf_counter() - start)
    wall = [statistics.median(w) for w in walls]
    cpu = [statistics.median(c) for c in cpus]
    return wall[0], wall[1], cpu[1] / cpu[0]


def two_threads(first, second, rounds):
    work = [lambda x=x: _native.compress(x, *DEFAULT) for x in (first, second)]
    serial, both, cpu_ratio = parallel_ratio(work, rounds)
    # What the machine grants two threads right now: hashing releases the lock too.
    block = os.urandom(4 << 20)
    control = parallel_ratio([lambda: hashlib.sha256(block).digest()] * 2, rounds)
    print(
        f"(b) two threads on two signals (goal <= 0.6 on 2 free cores): serial "
        f"{serial * 1e3:.2f} ms, parallel {both * 1e3:.2f} ms, wall ratio {both / serial:.3f}, "
        f"busier worker's CPU / serial CPU {cpu_ratio:.3f}"
    )
    print(
        f"    control sha256: wall ratio {control[1] / control[0]:.3f}, CPU ratio "
        f"{control[2]:.3f}; {os.cpu_count()} cpus, load {os.getloadavg()[0]:.2f}"
    )


def reconstruct_cost(signals, rounds):
    print("(c) reconstruct vs compress + decompress, median ms (ratio)")
    for name, x in signals.items():

        def round_trip():
            _native.decompress(_native.compress(x, *DEFAULT))

        full, direct = median_pair(round_trip, lambda: _native.reconstruct(x, *DEFAULT[:3]), rounds)
        print(f"{name:28} {full * 1e3:7.2f} {direct * 1e3:7.2f} ({direct / full:5.3f})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=15)
    args = parser.parse_args()
    signals = load_signals()
    print(f"load average at start: {os.getloadavg()[0]:.2f}")
    single_thread(signals, args.rounds)
    # Two different signals of equal length, so that neither thread waits for the other: the
    # two longest, the longer cut to the length of the shorter (with only the shipped example,
    # the example and its mirror image).
    by_length = sorted(signals.values(), key=len)
    longest = by_length[-1]
    second = by_length[-2] if len(by_length) > 1 else longest[::-1].copy()
    two_threads(longest[: len(second)], second, args.rounds)
    reconstruct_cost(signals, args.rounds)


if __name__ == "__main__":
    main()
