"""Blocked frames: threads never change the bytes, windows equal slices of the whole, and
stream files are written whole or not at all and read a window at a time."""

from __future__ import annotations

import io
import os
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra.numpy import arrays

import tessarine_tools as tt

BLOCK = 1000


def walk(count: int, dtype: str = "f4") -> np.ndarray:
    steps = np.random.default_rng(count).normal(size=count)
    return np.cumsum(steps).astype(dtype)


signals = st.one_of(
    arrays(np.float32, st.integers(0, 3000), elements=st.floats(-1e3, 1e3, width=32)),
    arrays(np.int16, st.integers(0, 3000)),
)


@settings(max_examples=60, deadline=None)
@given(
    signals,
    st.integers(1, 700),
    st.integers(1, 4),
    st.integers(-3500, 3500),
    st.integers(-3500, 3500),
)
def test_threads_never_change_bytes_and_windows_equal_slices(x, block, threads, a, b):
    frame = tt.compress(x, max_error=0.5, block_size=block)
    assert tt.compress(x, max_error=0.5, block_size=block, threads=threads) == frame
    whole = tt.decompress(frame)
    window = tt.decompress(frame, start=a, stop=b, threads=threads)
    np.testing.assert_array_equal(window, whole[a:b])


@settings(max_examples=25, deadline=None)
@given(
    st.integers(65_000, 300_000),
    st.sampled_from([None, 70_000, 150_001]),
    st.integers(1, 3),
    st.floats(0, 1),
    st.integers(0, 200_000),
)
def test_windows_and_threads_over_many_chunks_equal_slices(count, block, threads, at, length):
    # Chunks of 65,536 samples are decoded apart: windows and threads cut inside them.
    x = walk(count)
    frame = tt.compress(x, max_error=0.01, **({} if block is None else {"block_size": block}))
    whole = tt.decompress(frame)
    np.testing.assert_array_equal(tt.decompress(frame, threads=threads), whole)
    start = int(at * count)
    window = tt.decompress(frame, start=start, stop=start + length, threads=threads)
    np.testing.assert_array_equal(window, whole[start : start + length])


def test_one_block_costs_nothing_against_the_single_body():
    x = walk(5000)
    single = tt.compress(x, max_error=0.01, block_size=5000)
    assert single == tt.compress(x, max_error=0.01)
    blocked = tt.compress(x, max_error=0.01, block_size=1000)
    assert tt.inspect(blocked).blocks == 5 and tt.inspect(single).blocks == 1


def test_relative_bounds_refer_to_the_whole_signal():
    x = np.concatenate([walk(3000), 1000 + walk(3000) * 0.01])
    error = 1e-3 * float(x.max() - x.min())
    for bound in ({"rel_error": 1e-3}, {"psnr": 60.0}):
        y = tt.decompress(tt.compress(x, block_size=BLOCK, **bound))
        if "rel_error" in bound:
            assert np.abs(y.astype(np.float64) - x).max() <= error
        else:
            rmse = np.sqrt(np.mean((y.astype(np.float64) - x) ** 2))
            assert 20 * np.log10(float(x.max() - x.min()) / rmse) >= 60.0


@pytest.mark.parametrize("count", [0, 1, BLOCK, BLOCK + 1, 7 * BLOCK + 3])
@pytest.mark.parametrize("threads", [1, 3])
def test_a_stream_writes_what_compress_gives(tmp_path, count, threads):
    x = walk(count)
    path = tmp_path / "s.tsrn"
    with tt.open(path, "w", dtype="f4", max_error=0.01, block_size=BLOCK, threads=threads) as w:
        for piece in np.array_split(x, 5):
            w.write(piece)
    assert path.read_bytes() == tt.compress(x, max_error=0.01, block_size=BLOCK)
    with tt.open(path) as r:
        assert len(r) == count
        whole = tt.decompress(path.read_bytes())
        np.testing.assert_array_equal(r[:], whole)
        np.testing.assert_array_equal(np.concatenate(list(r)) if count else r[:], whole)
        np.testing.assert_array_equal(r[count // 3 : -5 : 2], whole[count // 3 : -5 : 2])


def test_a_stream_with_rel_error_needs_the_range_and_checks_it(tmp_path):
    x = walk(3 * BLOCK)
    low, high = float(x.min()), float(x.max())
    path = tmp_path / "r.tsrn"
    with pytest.raises(ValueError, match="value_range"):
        tt.open(path, "w", dtype="f4", rel_error=1e-3)
    with tt.open(
        path, "w", dtype="f4", rel_error=1e-3, value_range=(low, high), block_size=BLOCK
    ) as w:
        w.write(x)
    assert path.read_bytes() == tt.compress(x, rel_error=1e-3, block_size=BLOCK)
    wrong = tmp_path / "wrong.tsrn"
    with pytest.raises(ValueError, match="not the samples' range"):
        with tt.open(
            wrong, "w", dtype="f4", rel_error=1e-3, value_range=(low - 1, high), block_size=BLOCK
        ) as w:
            w.write(x)
    assert os.listdir(tmp_path) == ["r.tsrn"]


def test_an_interrupted_writer_leaves_nothing(tmp_path):
    path = tmp_path / "s.tsrn"
    with pytest.raises(KeyboardInterrupt):
        with tt.open(path, "w", dtype="f4", max_error=0.01, block_size=BLOCK) as w:
            w.write(walk(5 * BLOCK))
            raise KeyboardInterrupt
    assert os.listdir(tmp_path) == []
    script = textwrap.dedent(f"""
        import numpy as np, sys, tessarine_tools as tt
        with tt.open({str(path)!r}, "w", dtype="f4", max_error=0.01, block_size=1000) as w:
            w.write(np.zeros(5000, "f4"))
            print("ready", flush=True)
            sys.stdin.readline()
    """)
    child = subprocess.Popen(
        [sys.executable, "-c", script], stdin=subprocess.PIPE, stdout=subprocess.PIPE
    )
    assert child.stdout is not None and child.stdout.readline() == b"ready\n"
    child.send_signal(signal.SIGINT)
    child.wait(timeout=30)
    assert os.listdir(tmp_path) == []


class CountingFile(io.FileIO):
    read_bytes = 0

    def read(self, size: int = -1) -> bytes:  # type: ignore[override]
        data = super().read(size)
        self.read_bytes += len(data)
        return data


def test_a_window_reads_only_its_blocks(tmp_path):
    x = walk(50 * BLOCK)
    path = tmp_path / "s.tsrn"
    path.write_bytes(tt.compress(x, max_error=0.01, block_size=BLOCK))
    with CountingFile(path) as file, tt.open(file) as r:
        opened = file.read_bytes
        window = r[20_500:21_500]
        blocks = tt.inspect(path.read_bytes()).residual_size / 50
        assert file.read_bytes - opened < 3 * blocks
        assert opened < 53 + 50 * 21 + 20 + 100
    np.testing.assert_array_equal(window, tt.decompress(path.read_bytes())[20_500:21_500])


def test_damage_names_itself_and_spares_other_windows(tmp_path):
    frame = tt.compress(walk(4 * BLOCK), max_error=0.01, block_size=BLOCK)
    path = tmp_path / "s.tsrn"
    for cut in np.linspace(1, len(frame) - 1, 20).astype(int):
        path.write_bytes(frame[:cut])
        with pytest.raises(ValueError, match="damaged|version-2"):
            with tt.open(path) as r:
                r[:]
    damaged = bytearray(frame)
    damaged[53 + len(frame) // 2 - 53] ^= 0x40  # inside a middle block
    path.write_bytes(bytes(damaged))
    with tt.open(path) as r:
        broken = [i for i in range(4) if _fails(lambda i=i: r[i * BLOCK : (i + 1) * BLOCK])]
    assert len(broken) == 1
    with pytest.raises(ValueError, match="checksum"):
        tt.decompress(bytes(damaged))


def _fails(read) -> bool:
    try:
        read()
    except ValueError as error:
        assert "block" in str(error)
        return True
    return False


@pytest.fixture
def full_disk(tmp_path):
    mount = tmp_path / "full"
    mount.mkdir()
    if (
        os.geteuid() != 0
        or subprocess.run(
            ["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(mount)], capture_output=True
        ).returncode
    ):
        pytest.skip("a small tmpfs cannot be mounted here (needs root)")
    yield mount
    subprocess.run(["umount", str(mount)], check=False)


def test_a_full_disk_raises_and_leaves_nothing(full_disk):
    noise = np.random.default_rng(1).normal(size=100 * BLOCK).astype("f4")
    with pytest.raises(OSError):  # while blocks are written
        with tt.open(full_disk / "s.tsrn", "w", dtype="f4", max_error=1e-6, block_size=BLOCK) as w:
            w.write(noise)
    assert os.listdir(full_disk) == []
    stat = os.statvfs(full_disk)
    (full_disk / "filler").write_bytes(bytes(stat.f_bavail * stat.f_frsize - 4096))
    writer = tt.open(full_disk / "s.tsrn", "w", dtype="f4", max_error=1e-6)
    writer.write(noise[:5000])  # one block: held until close
    with pytest.raises(OSError):
        writer.close()
    assert os.listdir(full_disk) == ["filler"]
