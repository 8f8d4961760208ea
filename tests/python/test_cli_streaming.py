"""The command line streams 1-D signals: the same bytes as one compress call whatever the
thread count, windows of memory rather than the whole file, and .npy back block by block."""

import subprocess
import sys

import numpy as np
import pytest
import soundfile

import tessarine_tools as tt
from tessarine_tools.cli import main

BLOCKS = 3 * (1 << 20) + 77  # a little over three blocks


@pytest.fixture
def long_signal(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    x = np.cumsum(np.random.default_rng(3).normal(size=BLOCKS)).astype(">f4")  # any byte order
    np.save("long.npy", x)
    return x.astype("f4")


@pytest.mark.parametrize(
    "flags, keywords",
    [
        (["--max-error", "0.01"], {"max_error": 0.01}),
        (["--rel-error", "1e-4"], {"rel_error": 1e-4}),
        (["--lossless"], {"lossless": True}),
    ],
)
def test_streamed_frames_equal_one_compress_call(long_signal, flags, keywords):
    for threads in ("1", "3"):
        assert (
            main(["compress", "long.npy", "-o", "s.tsrn", "--force", "--threads", threads, *flags])
            == 0
        )
        with open("s.tsrn", "rb") as file:
            assert file.read() == tt.compress(long_signal, **keywords)
    assert main(["decompress", "s.tsrn", "-o", "back.npy"]) == 0
    back = np.load("back.npy")
    assert back.dtype == np.float32 and back.size == long_signal.size
    if "lossless" in keywords:
        assert back.tobytes() == long_signal.tobytes()


def test_a_mono_wav_streams_with_its_own_codes(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    codes = (np.sin(np.arange(1_200_000) / 40.0) * 9000).astype(np.int16)
    soundfile.write("mono.wav", codes, 8000, subtype="PCM_16")
    assert main(["compress", "mono.wav", "-o", "m.tsrn", "--lossless"]) == 0
    with open("m.tsrn", "rb") as file:
        np.testing.assert_array_equal(tt.decompress(file.read()), codes)


def _peak_rss_kib(samples: int, folder) -> int:
    np.save(folder / "m.npy", np.cumsum(np.ones(samples, "f4")))
    # VmHWM starts afresh at exec; ru_maxrss would include the forked test process.
    script = (
        "import re; from tessarine_tools.cli import main; "
        "status = main(['compress', 'm.npy', '--max-error', '0.01', '--threads', '1']); "
        "print(status, re.search(r'VmHWM:\\s*(\\d+)', open('/proc/self/status').read())[1])"
    )
    out = subprocess.run(
        [sys.executable, "-c", script], capture_output=True, text=True, check=True, cwd=folder
    ).stdout.split()
    assert out[-2] == "0"
    (folder / "m.tsrn").unlink()
    return int(out[-1])


def test_streaming_memory_does_not_grow_with_the_input(tmp_path):
    block = 1 << 20
    small, large = _peak_rss_kib(4 * block + 5, tmp_path), _peak_rss_kib(16 * block + 5, tmp_path)
    # 48 MB more input may cost some pages more (the allocator's), never a copy of it.
    assert (large - small) * 1024 < 12 * block
