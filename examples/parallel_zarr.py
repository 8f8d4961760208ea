"""Compress a 16-channel recording into a zarr store with dask, read it back, check the bound,
and report throughput for 1 and 2 workers on the threaded scheduler and on a LocalCluster.

    pip install .[zarr] && python examples/parallel_zarr.py [--samples 10500000]

The shipped 60 s ECG is tiled, shifted and scaled into 16 channels. Every chunk is one
(1 x CHUNK) lane coded by the "tessarine" serializer; the native codec releases the
interpreter lock, so threads run chunks in parallel, as separate processes do.
"""

from __future__ import annotations

import argparse
import os
import shutil
import tempfile
import time
from collections.abc import Callable
from pathlib import Path

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


def recording(total: int) -> np.ndarray:
    ecg = np.load(ECG).astype(np.float32)
    per_channel = -(-total // CHANNELS)
    tiled = np.resize(ecg, per_channel)
    return np.stack([np.roll(tiled, 997 * c) * np.float32(1 + 0.05 * c) for c in range(CHANNELS)])


def write_and_read(signal: np.ndarray, store: Path, bound: float) -> tuple[float, float, np.ndarray]:
    """Seconds to write the store, seconds to read it back, and the restored samples."""
    source = da.from_array(signal, chunks=(1, CHUNK))
    started = time.perf_counter()
    da.to_zarr(source, str(store), serializer=TessarineCodec(max_error=bound), compressors=None,
               attributes=ATTRIBUTES, zarr_format=3)
    written = time.perf_counter() - started
    started = time.perf_counter()
    restored = da.from_zarr(str(store)).compute()
    return written, time.perf_counter() - started, restored


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


def threaded(workers: int) -> Callable[[], object]:
    return lambda: dask.config.set(scheduler="threads", num_workers=workers)


def cluster(workers: int) -> Callable[[], object]:
    def start() -> object:
        local = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                             host="127.0.0.1", dashboard_address=None)
        return _Closing(Client(local), local)
    return start


class _Closing:
    """Context manager that makes the client the default scheduler and shuts both down."""

    def __init__(self, client: Client, local: LocalCluster) -> None:
        self.client, self.local = client, local

    def __enter__(self) -> None:
        self.client.__enter__()

    def __exit__(self, *exc: object) -> None:
        self.client.close()
        self.local.close()


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--samples", type=int, default=10_500_000, help="total over 16 channels")
    parser.add_argument("--rel-bound", type=float, default=1e-3, help="max error / range")
    args = parser.parse_args()
    signal = recording(args.samples)
    bound = args.rel_bound * float(np.ptp(signal))
    megabytes = signal.nbytes / 1e6
    print(f"{signal.shape[0]} channels x {signal.shape[1]} samples ({megabytes:.1f} MB float32), "
          f"max error bound {bound:.4g}, load average {os.getloadavg()[0]:.2f}")
    work = Path(tempfile.mkdtemp(prefix="parallel_zarr_"))
    try:
        for name, make in (("threads", threaded), ("LocalCluster", cluster)):
            rates = []
            for workers in (1, 2):
                with make(workers)():  # type: ignore[attr-defined]
                    store = work / f"{name}-{workers}.zarr"
                    written, read, restored = write_and_read(signal, store, bound)
                error = check(signal, restored, store, bound)
                rates.append((megabytes / written, megabytes / read))
                print(f"{name:12} {workers} worker(s): compress {rates[-1][0]:7.1f} MB/s, "
                      f"decompress {rates[-1][1]:7.1f} MB/s, max error {error:.4g}, "
                      f"ratio {signal.nbytes / _stored(store):.2f}")
            print(f"{name:12} speed-up with 2 workers: compress {rates[1][0] / rates[0][0]:.2f}x, "
                  f"decompress {rates[1][1] / rates[0][1]:.2f}x")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def _stored(store: Path) -> int:
    return sum(f.stat().st_size for f in store.rglob("*") if f.is_file())


if __name__ == "__main__":
    main()
