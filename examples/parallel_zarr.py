"""Compress a 16-channel recording into a zarr store with dask, read it back, check the bound,
and report throughput for 1 and 2 workers on the threaded scheduler and on a LocalCluster.

    pip install .[zarr] && python examples/parallel_zarr.py [--samples 10500000]

The shipped 60 s ECG is tiled, shifted and scaled into 16 channels. Every chunk is one
(1 x CHUNK) lane coded by the "tessarine" serializer; the native codec releases the
interpreter lock, so threads run chunks in parallel, as separate processes do.
"""

from __future__ import annotations

import argparse
import contextlib
import functools
import os
import shutil
import tempfile
import time
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import dask
import dask.array as da
import numpy as np
import zarr
from distributed import Client, LocalCluster

from tessarine_tools.zarr3 import TessarineCodec

ECG = Path(__file__).resolve().parent / "data" / "ecg_mitbih100_mlii_60s.npy"
CHANNELS = 16
CHUNK = 1 << 17
ATTRIBUTES = {"sample_rate": 360.0, "channel_names": [f"lead{i}" for i in range(CHANNELS)]}


@functools.cache
def ecg() -> np.ndarray:
    return np.load(ECG).astype(np.float32)


def channel_block(channel: int, start: int, stop: int) -> np.ndarray:
    """Samples start..stop of one channel: the ECG tiled, shifted and scaled per channel."""
    source = ecg()
    positions = (np.arange(start, stop) + 997 * channel) % source.size
    return source[positions] * np.float32(1 + 0.05 * channel)


def lazy_recording(per_channel: int) -> da.Array:
    # Each task builds its own block, so no samples travel inside the task graph.
    def block(block_info: dict[Any, Any] | None = None) -> np.ndarray:
        (c, _), (start, stop) = block_info[None]["array-location"]  # type: ignore[index]
        return channel_block(c, start, stop)[np.newaxis]

    starts = range(0, per_channel, CHUNK)
    lengths = tuple(min(CHUNK, per_channel - s) for s in starts)
    return da.map_blocks(block, dtype=np.float32, chunks=((1,) * CHANNELS, lengths))


class Phases:
    """Wall seconds of the write and the read, and the busiest worker process's CPU seconds
    for each. On a machine shared with other jobs, a cluster's CPU figures show how evenly the
    work splits (the speed-up two free cores would give); for threads, CPU seconds above the
    wall seconds show that chunks ran at the same time, outside the interpreter lock."""

    def __init__(self, client: Client | None) -> None:
        self.client = client
        self.cpu = [self._cpu()]
        self.wall = [time.perf_counter()]

    def _cpu(self) -> list[float]:
        if self.client is None:
            return [time.process_time()]  # this process: every thread of the threaded scheduler
        return list(self.client.run(time.process_time).values())

    def mark(self) -> None:
        self.wall.append(time.perf_counter())
        self.cpu.append(self._cpu())

    def seconds(self, phase: int) -> float:
        return self.wall[phase + 1] - self.wall[phase]

    def busiest_cpu(self, phase: int) -> float:
        deltas = [b - a for a, b in zip(self.cpu[phase], self.cpu[phase + 1])]
        return max(deltas, default=float("nan"))


def write_and_read(source: da.Array, store: Path, bound: float, phases: Phases) -> np.ndarray:
    da.to_zarr(source, str(store), serializer=TessarineCodec(max_error=bound), compressors=None,
               attributes=ATTRIBUTES, zarr_format=3)
    phases.mark()
    restored = da.from_zarr(str(store)).compute()
    phases.mark()
    return restored


def check(signal: np.ndarray, restored: np.ndarray, store: Path, bound: float) -> float:
    error = float(np.max(np.abs(restored.astype(np.float64) - signal)))
    opened = zarr.open_array(str(store), mode="r")
    if restored.dtype != signal.dtype or restored.shape != signal.shape:
        raise SystemExit(f"restored {restored.dtype} {restored.shape}, wrote {signal.dtype} {signal.shape}")
    if error > bound:
        raise SystemExit(f"max error {error} above the bound {bound}")
    if dict(opened.attrs) != ATTRIBUTES:
        raise SystemExit(f"attributes changed: {dict(opened.attrs)}")
    return error


def warm_up() -> None:
    TessarineCodec(max_error=1.0)._codec.encode(channel_block(0, 0, 4096))


@contextlib.contextmanager
def threaded(workers: int) -> Iterator[None]:
    with dask.config.set(scheduler="threads", num_workers=workers):
        yield None


@contextlib.contextmanager
def cluster(workers: int) -> Iterator[Client]:
    # Worker processes on loopback; a Client made here becomes dask's default scheduler.
    # distributed starts workers with MALLOC_TRIM_THRESHOLD_ set, which also freezes glibc's
    # mmap threshold: every large codec buffer is then mapped and faulted in afresh (measured:
    # 1.8x the CPU time per chunk). Keep the other thread limits, drop that one.
    environ = dict(dask.config.get("distributed.nanny.pre-spawn-environ", {}))
    environ.pop("MALLOC_TRIM_THRESHOLD_", None)
    with dask.config.set({"distributed.nanny.pre-spawn-environ": environ}):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          host="127.0.0.1", dashboard_address=None) as local, Client(local) as client:
            client.run(warm_up)  # imports and first-call setup are not part of the throughput
            yield client


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--samples", type=int, default=10_500_000, help="total over 16 channels")
    parser.add_argument("--rel-bound", type=float, default=1e-2, help="max error / range")
    args = parser.parse_args()
    per_channel = -(-args.samples // CHANNELS)
    signal = np.stack([channel_block(c, 0, per_channel) for c in range(CHANNELS)])
    warm_up()
    bound = args.rel_bound * float(np.ptp(signal))
    megabytes = signal.nbytes / 1e6
    print(f"{signal.shape[0]} channels x {signal.shape[1]} samples ({megabytes:.1f} MB float32), "
          f"max error bound {bound:.4g}, load average {os.getloadavg()[0]:.2f}")
    work = Path(tempfile.mkdtemp(prefix="parallel_zarr_"))
    try:
        for name, make in (("threads", threaded), ("LocalCluster", cluster)):
            runs = []
            for workers in (1, 2):
                with make(workers) as client:
                    store = work / f"{name}-{workers}.zarr"
                    phases = Phases(client)
                    restored = write_and_read(lazy_recording(per_channel), store, bound, phases)
                error = check(signal, restored, store, bound)
                runs.append(phases)
                print(f"{name:12} {workers} worker(s): compress {megabytes / phases.seconds(0):7.1f} MB/s, "
                      f"decompress {megabytes / phases.seconds(1):7.1f} MB/s, max error {error:.4g}, "
                      f"ratio {signal.nbytes / _stored(store):.2f}")
            one, two = runs
            print(f"{name:12} speed-up with 2 workers: compress {one.seconds(0) / two.seconds(0):.2f}x, "
                  f"decompress {one.seconds(1) / two.seconds(1):.2f}x (wall clock)")
            if name == "threads":
                print(f"{name:12} CPU seconds per wall second with 2 workers: compress "
                      f"{two.busiest_cpu(0) / two.seconds(0):.2f}, "
                      f"decompress {two.busiest_cpu(1) / two.seconds(1):.2f}")
            else:
                print(f"{name:12} busiest worker CPU, 1 against 2 workers: compress "
                      f"{one.busiest_cpu(0) / two.busiest_cpu(0):.2f}x, "
                      f"decompress {one.busiest_cpu(1) / two.busiest_cpu(1):.2f}x")
        print(f"load average after the runs {os.getloadavg()[0]:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def _stored(store: Path) -> int:
    return sum(f.stat().st_size for f in store.rglob("*") if f.is_file())


if __name__ == "__main__":
    main()
