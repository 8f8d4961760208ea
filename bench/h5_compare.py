"""The HDF5 filter against the zarr codec, and against hdf5plugin's SZ3 and zfp filters.

    python bench/h5_compare.py                 # both parts, results on stdout (Markdown)
    python bench/h5_compare.py --channels 4    # a smaller speed run

Speed: a (channels x samples) float32 array in chunks of 1 x 2^20, written then read back
through h5py with the tessarine filter (one chunk at a time, as HDF5 runs filters, and through
tessarine_tools.h5.write/read on 2 threads) and through zarr 3 with the tessarine serializer,
at the same bound, into files on disk; runs alternate between the paths, medians are kept.
Peers: the shipped ECG through each HDF5 filter at three absolute bounds, in one run.
"""

from __future__ import annotations

import argparse
import shutil
import statistics
import tempfile
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any

import h5py
import numpy as np
import zarr

import tessarine_tools.h5 as th5
from tessarine_tools.zarr3 import TessarineCodec

ECG = Path(__file__).resolve().parents[1] / "examples" / "data" / "ecg_mitbih100_mlii_60s.npy"
CHUNK = 1 << 20


def recording(channels: int, samples: int) -> np.ndarray:
    """The ECG repeated, each channel shifted in time and offset: a multichannel recording."""
    ecg = np.load(ECG).astype(np.float32)
    reps = -(-(samples + 997 * channels) // ecg.size)
    tiled = np.tile(ecg, reps)
    return np.stack([tiled[997 * c : 997 * c + samples] + 0.1 * c for c in range(channels)])


def timed(work: Callable[[], Any]) -> tuple[float, Any]:
    start = time.perf_counter()
    result = work()
    return time.perf_counter() - start, result


def timed_cpu(work: Callable[[], Any]) -> tuple[tuple[float, float], Any]:
    """(wall seconds, CPU seconds of every thread of the process) and the result."""
    cpu = time.process_time()
    wall, result = timed(work)
    return (wall, time.process_time() - cpu), result


def h5_run(data: np.ndarray, folder: Path, bound: float) -> tuple[Any, Any, int, np.ndarray]:
    path = folder / "a.h5"
    path.unlink(missing_ok=True)

    def write() -> None:
        with h5py.File(path, "w") as f:
            f.create_dataset("x", data=data, chunks=(1, CHUNK), **th5.filter(max_error=bound))

    def read() -> np.ndarray:
        with h5py.File(path, "r") as f:
            return f["x"][()]

    write_s, _ = timed_cpu(write)
    read_s, back = timed_cpu(read)
    return write_s, read_s, path.stat().st_size, back


def h5_threads_run(
    data: np.ndarray, folder: Path, bound: float
) -> tuple[Any, Any, int, np.ndarray]:
    path = folder / "b.h5"
    path.unlink(missing_ok=True)

    def write() -> None:
        with h5py.File(path, "w") as f:
            dset = f.create_dataset("x", shape=data.shape, dtype=data.dtype, chunks=(1, CHUNK),
                                    **th5.filter(max_error=bound))  # fmt: skip
            th5.write(dset, data, threads=2)

    def read() -> np.ndarray:
        with h5py.File(path, "r") as f:
            return th5.read(f["x"], threads=2)

    write_s, _ = timed_cpu(write)
    read_s, back = timed_cpu(read)
    return write_s, read_s, path.stat().st_size, back


def zarr_run(data: np.ndarray, folder: Path, bound: float) -> tuple[Any, Any, int, np.ndarray]:
    path = folder / "a.zarr"
    shutil.rmtree(path, ignore_errors=True)

    def write() -> None:
        array = zarr.create_array(str(path), shape=data.shape, chunks=(1, CHUNK), dtype=data.dtype,
                                  serializer=TessarineCodec(max_error=bound), compressors=None)  # fmt: skip
        array[...] = data

    def read() -> np.ndarray:
        return zarr.open_array(str(path), mode="r")[...]

    write_s, _ = timed_cpu(write)
    read_s, back = timed_cpu(read)
    size = sum(p.stat().st_size for p in path.rglob("*") if p.is_file())
    return write_s, read_s, size, back


def speed(channels: int, samples: int, bound: float, rounds: int) -> None:
    data = recording(channels, samples)
    mb = data.nbytes / 1e6
    paths = {"h5py + filter": h5_run, "h5py, th5.write/read (2 threads)": h5_threads_run,
             "zarr 3 + codec": zarr_run}  # fmt: skip
    runs: dict[str, list[tuple[Any, Any, int]]] = {name: [] for name in paths}
    with tempfile.TemporaryDirectory(dir=Path.cwd()) as scratch:
        for _ in range(rounds):  # alternated, so load on the machine hits both alike
            for name, run in paths.items():
                write_s, read_s, size, back = run(data, Path(scratch), bound)
                assert np.abs(back - data).max() <= bound
                runs[name].append((write_s, read_s, size))
    print(f"## Speed: {channels} x {samples} float32 ({mb:.0f} MB), chunks 1 x 2^20, "
          f"max_error={bound}, median of {rounds}\n")  # fmt: skip
    print("MB/s of wall time, and in brackets MB per CPU-second of all the process's threads.\n")
    print("| path | write MB/s | read MB/s | ratio |\n|---|---|---|---|")
    for name, rows in runs.items():
        write = [statistics.median(r[0][i] for r in rows) for i in (0, 1)]
        read = [statistics.median(r[1][i] for r in rows) for i in (0, 1)]
        print(f"| {name} | {mb / write[0]:.1f} ({mb / write[1]:.1f}) | "
              f"{mb / read[0]:.1f} ({mb / read[1]:.1f}) | {data.nbytes / rows[0][2]:.3f} |")  # fmt: skip
    print()


def peer_filters(bound: float) -> dict[str, dict[str, Any]]:
    filters = {"tessarine": th5.filter(max_error=bound)}
    try:
        import hdf5plugin
    except ImportError:
        return filters
    filters["SZ3 (hdf5plugin)"] = dict(hdf5plugin.SZ3(absolute=bound))
    filters["zfp (hdf5plugin)"] = dict(hdf5plugin.Zfp(accuracy=bound))
    return filters


def peers(bounds: list[float], repeats: int) -> None:
    ecg = np.load(ECG).astype(np.float32)
    mb = ecg.nbytes / 1e6
    print(f"## Peers: shipped ECG ({ecg.size} float32 samples, one chunk), one run\n")
    print(
        "| bound | filter | ratio | max error | write MB/s | read MB/s |\n|---|---|---|---|---|---|"
    )
    for bound in bounds:
        for name, kwargs in peer_filters(bound).items():
            times_w, times_r = [], []
            # No chunk cache: every read decodes the stored chunk.
            with h5py.File("mem.h5", "w", driver="core", backing_store=False, rdcc_nbytes=0) as f:
                for _ in range(repeats):
                    if "x" in f:
                        del f["x"]
                    w, dset = timed(
                        lambda: f.create_dataset("x", data=ecg, chunks=ecg.shape, **kwargs)
                    )
                    r, back = timed(lambda: dset[()])
                    times_w.append(w)
                    times_r.append(r)
                size = f["x"].id.get_storage_size()
            error = float(np.abs(back.astype(np.float64) - ecg).max())
            print(f"| {bound} | {name} | {ecg.nbytes / size:.2f} | {error:.3g} | "
                  f"{mb / statistics.median(times_w):.1f} | {mb / statistics.median(times_r):.1f} |")  # fmt: skip
    print()


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--channels", type=int, default=16)
    parser.add_argument("--samples", type=int, default=10_000_000)
    parser.add_argument("--bound", type=float, default=0.005)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--skip-speed", action="store_true")
    parser.add_argument("--skip-peers", action="store_true")
    args = parser.parse_args()
    print(f"h5py {h5py.__version__} (HDF5 {h5py.version.hdf5_version}), zarr {zarr.__version__}\n")
    if not args.skip_speed:
        speed(args.channels, args.samples, args.bound, args.rounds)
    if not args.skip_peers:
        peers([0.001, 0.005, 0.02], repeats=20)


if __name__ == "__main__":
    main()
