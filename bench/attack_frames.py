"""Attack benchmark: mutated frames and chunks against the decoders, counting what comes out.

Frames of both versions are made from real signals (examples/data and the shared data folder)
at several bounds and dtypes, then mutated: byte flips, truncations, extensions and header or
section fields overwritten with extreme values, with the CRC recomputed (most of the time) so
the mutations reach the fields behind it. Each mutated frame goes through
`tessarine_tools.decompress`; mutated chunks go through the numcodecs codec's `decode`.

Work runs in child processes (two at a time), so a crash is counted and reported with its
reproducer instead of ending the run; a child that stops advancing for --hang seconds is killed
and counted as a hang. Every child runs under an address-space limit (--limit-mb), so a
runaway allocation shows up as MemoryError rather than as a machine out of memory.

Counted per target: refusals (ValueError, TypeError, MemoryError), other exceptions, crashes,
hangs, silent wrong results (accepted, but the decoded length or dtype disagrees with the
header), the worst peak resident size of a child (ru_maxrss) and its growth over the child's
size before its first decode, the slowest decode in wall and in CPU time (wall time on a shared
machine includes waiting for a core), and the most CPU time per MB of input (inputs under 64 KiB
counted as 64 KiB: below that, fixed per-call costs dominate).

    python bench/attack_frames.py                     # 10**6 frames, 10**5 chunks
    python bench/attack_frames.py --frames 20000 --chunks 2000   # a quick look
"""

from __future__ import annotations

import argparse
import multiprocessing as mp
import queue
import random
import resource
import struct
import sys
import time
import traceback
import zlib
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

import tessarine_tools
from tessarine_tools.codec import Tessarine

REPO = Path(__file__).resolve().parent.parent
DATA = [REPO / "examples" / "data", REPO.parent / "shared" / "data"]
BATCH = 4000
FLOOR = 64 * 1024  # bytes: inputs smaller than this are timed as if this long
ALLOWED = (ValueError, TypeError, MemoryError)

U64 = [
    0,
    1,
    2,
    3,
    0x7F,
    0x80,
    0xFF,
    0xFFFF,
    2**31 - 1,
    2**31,
    2**32 - 1,
    2**32,
    2**62,
    2**63,
    2**64 - 1,
]
F64 = [float("inf"), float("-inf"), float("nan"), 0.0, -0.0, -1.0, 1e-320, 1e19, 1e308, 3.0, 4.0]
EXTREMES = [struct.pack("<Q", v) for v in U64] + [struct.pack("<d", v) for v in F64]


# ---------------------------------------------------------------- base frames and chunks


def _signals() -> list[np.ndarray]:
    found = []
    for folder in DATA:
        for path in sorted(folder.glob("*.npy")):
            array = np.load(path)
            if array.ndim == 1 and array.dtype.kind in "iuf":
                found.append(array.astype(np.float64))
    if not found:
        sys.exit("no signals found in " + ", ".join(map(str, DATA)))
    return found


def _as(segment: np.ndarray, dtype: str) -> np.ndarray:
    if dtype[0] == "f":
        return segment.astype(dtype)
    info = np.iinfo(dtype)
    low, high = float(segment.min()), float(segment.max())
    scaled = (
        (segment - low) / ((high - low) or 1.0) * (min(info.max, 60000) - max(info.min, -60000))
    )
    return np.round(scaled + max(info.min, -60000)).astype(dtype)


def base_frames() -> list[bytes]:
    """Frames of both versions from pieces of every signal, several bounds and dtypes."""
    rng = np.random.default_rng(7)
    frames = []
    plans = [  # (dtype, keywords): version 2 when only a bound is given
        ("float32", {"max_error": 1e-3}),
        ("float64", {"rel_error": 1e-4}),
        ("float32", {"psnr": 60.0}),
        ("int16", {"max_error": 2}),
        ("int32", {"max_error": 0.4}),
        ("uint8", {"rel_error": 0.01}),
        ("float16", {"max_error": 0.01}),
        ("float32", {"method": "cdf97", "scale": 9}),
        ("float64", {"method": "db4", "scale": 7}),
        ("float32", {"max_error": 1e-2, "method": "cdf97"}),
        ("int16", {"max_error": 3, "method": "sym4"}),
        ("uint8", {"max_error": 0.4, "method": "cdf53"}),
        ("float64", {"rel_error": 1e-3, "method": "best"}),
    ]
    for signal in _signals():
        for length in (300, 3000):
            start = int(rng.integers(0, max(1, signal.size - length)))
            piece = signal[start : start + length]
            for dtype, keywords in plans:
                samples = _as(piece, dtype)
                if dtype[0] == "f" and "scale" in keywords:  # non-finite samples for the map
                    samples = samples.copy()
                    samples[rng.integers(0, samples.size, 5)] = [np.nan, np.inf, -np.inf, np.nan, 0]
                try:
                    frames.append(tessarine_tools.compress(samples, **keywords))
                except ValueError:
                    pass
    frames.append(tessarine_tools.compress(np.zeros(500), max_error=0.1, method="best"))
    return frames


def base_chunks(frames: list[bytes]) -> list[bytes]:
    """Chunks of one to four lanes, lanes of one kind of frame each."""
    rng = random.Random(11)
    chunks = []
    for _ in range(64):
        lanes = rng.randint(1, 4)
        first = rng.randrange(len(frames))
        chunks.append(_chunk([frames[first]] * lanes))
    return chunks


def _chunk(lanes: list[bytes]) -> bytes:
    return struct.pack(f"<{len(lanes) + 1}I", len(lanes), *map(len, lanes)) + b"".join(lanes)


# ---------------------------------------------------------------- mutations


def _fields(frame: bytes) -> list[int]:
    offsets = [9, 10, 11, 15, 19, 20, 28, 36, 44, 45, 46, 47, 48, 56, 64]
    if len(frame) >= 72 and frame[4] == 1:
        container, residual = struct.unpack_from("<2Q", frame, 48)
        if container + residual < len(frame):
            heads = (72 + container, 72 + container + residual)
            offsets += [heads[0] + k for k in range(16)] + [heads[1] + k for k in range(8)]
    else:  # version 2: the body's own header follows the frame header
        offsets += list(range(72, min(len(frame), 160)))
    return [o for o in offsets if o < len(frame)]


def mutate(frame: bytes, rng: random.Random) -> bytes:
    data = bytearray(frame)
    kind = rng.randrange(5)
    if kind in (0, 4):  # byte flips
        for _ in range(rng.randint(1, 4)):
            data[rng.randrange(9, len(data))] ^= rng.randint(1, 255)
    if kind in (1, 4) and rng.random() < 0.5:  # truncation
        data = data[: rng.randrange(len(data))]
    if kind == 2:  # extension: random bytes, or a copy of its own tail
        extra = (
            rng.randbytes(rng.randint(1, 64)) if rng.random() < 0.5 else data[-rng.randint(1, 64) :]
        )
        data += extra
    if kind in (3, 4):  # fields overwritten with extreme values
        fields = _fields(bytes(data))
        for _ in range(rng.randint(1, 3)):
            if not fields:
                break
            offset, value = rng.choice(fields), rng.choice(EXTREMES)
            width = rng.choice((1, 2, 4, 8))
            data[offset : offset + width] = value[:width]
    if len(data) >= 9 and rng.random() < 0.95:  # reach past the checksum
        data[5:9] = struct.pack("<I", zlib.crc32(bytes(data[9:])))
    return bytes(data)


def mutate_chunk(chunk: bytes, rng: random.Random) -> bytes:
    count = struct.unpack_from("<I", chunk)[0]
    lengths = list(struct.unpack_from(f"<{count}I", chunk, 4))
    offset, lanes = 4 * (count + 1), []
    for length in lengths:
        lanes.append(chunk[offset : offset + length])
        offset += length
    for index in range(len(lanes)):
        if index == 0 or rng.random() < 0.3:
            lanes[index] = mutate(lanes[index], rng)
    data = bytearray(_chunk(lanes))
    if rng.random() < 0.05:  # now and then the lane table itself
        data[rng.randrange(min(len(data), 4 * (count + 1)))] ^= rng.randint(1, 255)
    return bytes(data)


# ---------------------------------------------------------------- checking one input


def declared(frame: bytes) -> tuple[np.dtype, int] | None:
    """What a frame's header, or a bare container's, says the samples are."""
    if frame[:4] == b"TSRF" and len(frame) >= 19:
        try:
            return np.dtype(f"{chr(frame[9])}{frame[10]}"), struct.unpack_from("<Q", frame, 11)[0]
        except TypeError:
            return None
    if len(frame) >= 20:
        return np.dtype(np.float32), int.from_bytes(frame[16:20], "little")
    return None


def _lanes(chunk: bytes) -> list[bytes]:
    count = struct.unpack_from("<I", chunk)[0]
    lengths = struct.unpack_from(f"<{count}I", chunk, 4)
    offset, lanes = 4 * (count + 1), []
    for length in lengths:
        lanes.append(chunk[offset : offset + length])
        offset += length
    return lanes


def check_frame(data: bytes) -> str | None:
    result = tessarine_tools.decompress(data)
    expected = declared(data)
    if expected is None or result.dtype != expected[0] or result.size != expected[1]:
        return f"decoded {result.size} x {result.dtype}, header says {expected}"
    return None


def check_chunk(data: bytes) -> str | None:
    result = Tessarine().decode(data)
    lanes = _lanes(data)  # decode accepted the lane table, so it reads
    wanted = [declared(lane) for lane in lanes]
    if any(w is None for w in wanted):
        return "accepted a lane with no readable header"
    size = sum(w[1] for w in wanted)  # type: ignore[index]
    if result.size != size or (wanted and result.dtype != wanted[0][0]):  # type: ignore[index]
        return f"decoded {result.size} x {result.dtype}, lanes say {wanted}"
    return None


TARGETS = {"frames": (mutate, check_frame), "chunks": (mutate_chunk, check_chunk)}


# ---------------------------------------------------------------- workers


@dataclass
class Tally:
    inputs: int = 0
    accepted: int = 0
    refused: dict[str, int] = field(default_factory=dict)
    other: dict[str, int] = field(default_factory=dict)
    wrong: int = 0
    crashes: int = 0
    hangs: int = 0
    peak_rss_kb: int = 0
    growth_kb: int = 0
    worst_seconds: float = 0.0  # wall time: on a shared machine it includes waiting for a core
    worst_cpu: float = 0.0
    worst_per_mb: float = 0.0
    examples: list[str] = field(default_factory=list)

    def add(self, other: Tally) -> None:
        for name in ("inputs", "accepted", "wrong", "crashes", "hangs"):
            setattr(self, name, getattr(self, name) + getattr(other, name))
        for mine, theirs in ((self.refused, other.refused), (self.other, other.other)):
            for key, value in theirs.items():
                mine[key] = mine.get(key, 0) + value
        for name in ("peak_rss_kb", "growth_kb", "worst_seconds", "worst_cpu", "worst_per_mb"):
            setattr(self, name, max(getattr(self, name), getattr(other, name)))
        self.examples += other.examples[: max(0, 20 - len(self.examples))]


def item(bases: list[bytes], seed: int, index: int, target: str) -> bytes:
    rng = random.Random(seed * 1_000_003 + index * 2 + (target == "chunks"))
    return TARGETS[target][0](bases[rng.randrange(len(bases))], rng)


def work(
    target: str,
    bases: list[bytes],
    seed: int,
    start: int,
    stop: int,
    limit_mb: int,
    position,
    results,
) -> None:  # type: ignore[no-untyped-def]
    limit = limit_mb << 20
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    tally = Tally()
    check = TARGETS[target][1]
    baseline = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for index in range(start, stop):
        position.value = index
        data = item(bases, seed, index, target)
        began, cpu = time.perf_counter(), time.process_time()
        try:
            wrong = check(data)
            tally.accepted += 1
            if wrong:
                tally.wrong += 1
                tally.examples.append(f"wrong #{index}: {wrong}: {data.hex()}")
        except ALLOWED as error:
            name = type(error).__name__
            tally.refused[name] = tally.refused.get(name, 0) + 1
        except Exception as error:  # exactly what this benchmark hunts for
            name = type(error).__name__
            tally.other[name] = tally.other.get(name, 0) + 1
            if len(tally.examples) < 20:
                where = traceback.extract_tb(error.__traceback__)[-1]
                tally.examples.append(
                    f"{name} #{index} ({where.filename}:{where.lineno}: {error}): {data.hex()}"
                )
        seconds, cpu = time.perf_counter() - began, time.process_time() - cpu
        tally.inputs += 1
        tally.worst_seconds = max(tally.worst_seconds, seconds)
        tally.worst_cpu = max(tally.worst_cpu, cpu)
        tally.worst_per_mb = max(tally.worst_per_mb, cpu / (max(len(data), FLOOR) / 1e6))
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    tally.peak_rss_kb, tally.growth_kb = peak, peak - baseline
    results.put((start, stop, tally))


def run(
    target: str, bases: list[bytes], total: int, seed: int, workers: int, limit_mb: int, hang: float
) -> Tally:
    context = mp.get_context("fork")  # children share the base frames without pickling
    results = context.Queue()
    pending = [(s, min(s + BATCH, total)) for s in range(0, total, BATCH)]
    running: dict[int, tuple] = {}
    tally, done, began = Tally(), 0, time.time()
    while pending or running:
        while pending and len(running) < workers:
            start, stop = pending.pop(0)
            position = context.Value("q", start)
            child = context.Process(
                target=work, args=(target, bases, seed, start, stop, limit_mb, position, results)
            )
            child.start()
            running[start] = (child, stop, position, time.time(), start)
        try:
            start, stop, part = results.get(timeout=0.5)
            tally.add(part)
            done += stop - start
            child = running.pop(start)[0]
            child.join()
            print(
                f"\r{target}: {done}/{total} in {time.time() - began:.0f} s",
                end="",
                file=sys.stderr,
                flush=True,
            )
            continue
        except queue.Empty:
            pass
        for start, (child, stop, position, seen, last) in list(running.items()):
            now = position.value
            if now != last:
                running[start] = (child, stop, position, time.time(), now)
            elif time.time() - seen > hang:
                child.kill()
                child.join()
                tally.hangs += 1
                tally.examples.append(f"hang #{now}: {item(bases, seed, now, target).hex()}")
                running.pop(start)
                pending[:0] = [(start, now), (now + 1, stop)]  # the rest, without the hang
                continue
            if not child.is_alive() and child.exitcode != 0 and results.empty():
                child.join()
                tally.crashes += 1
                tally.examples.append(
                    f"crash (exit {child.exitcode}) #{now}: {item(bases, seed, now, target).hex()}"
                )
                running.pop(start)
                pending[:0] = [(start, now), (now + 1, stop)]
    print(file=sys.stderr)
    return tally


def table(rows: list[tuple[str, Tally]]) -> str:
    lines = [
        f"{'target':<8}{'inputs':>10}{'accepted':>10}{'refused':>10}{'other exc':>10}"
        f"{'crashes':>9}{'hangs':>7}{'wrong':>7}{'peak RSS MB':>13}{'growth MB':>11}"
        f"{'wall s':>8}{'CPU s':>8}{'CPU s/MB':>10}"
    ]
    for name, t in rows:
        lines.append(
            f"{name:<8}{t.inputs:>10}{t.accepted:>10}{sum(t.refused.values()):>10}"
            f"{sum(t.other.values()):>10}{t.crashes:>9}{t.hangs:>7}{t.wrong:>7}"
            f"{t.peak_rss_kb / 1024:>13.1f}{t.growth_kb / 1024:>11.1f}"
            f"{t.worst_seconds:>8.3f}{t.worst_cpu:>8.3f}{t.worst_per_mb:>10.3f}"
        )
    for name, t in rows:
        lines.append(f"{name}: refused by type {t.refused}; other exceptions {t.other}")
    return "\n".join(lines)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=1_000_000)
    parser.add_argument("--chunks", type=int, default=100_000)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--limit-mb", type=int, default=2048, help="address space of a child")
    parser.add_argument("--hang", type=float, default=60.0, help="seconds without progress")
    args = parser.parse_args()
    began = time.time()
    frames = base_frames()
    chunks = base_chunks(frames)
    versions = [sum(f[4] == v for f in frames) for v in (1, 2)]
    print(
        f"{len(frames)} base frames (version 1: {versions[0]}, version 2: {versions[1]}), "
        f"{len(chunks)} base chunks, made in {time.time() - began:.1f} s"
    )
    rows = []
    for target, total, bases in (("frames", args.frames, frames), ("chunks", args.chunks, chunks)):
        if total > 0:
            started = time.time()
            rows.append(
                (
                    target,
                    run(target, bases, total, args.seed, args.workers, args.limit_mb, args.hang),
                )
            )
            print(f"{target}: {total} in {time.time() - started:.0f} s")
    print(table(rows))
    for name, t in rows:
        for example in t.examples:
            print(f"{name} {example[:4000]}")
    failed = any(t.crashes or t.hangs or t.wrong or t.other for _, t in rows)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
