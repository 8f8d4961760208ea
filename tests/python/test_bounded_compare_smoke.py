"""bench/bounded_compare.py --quick on the shipped ECG: every part prints its tables, the numbers
agree with the sizes and checks behind them, and broken bounds or bad input change the exit."""

import importlib.util
import json
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
BENCH = ROOT / "bench" / "bounded_compare.py"
SHIPPED = ROOT / "examples" / "data"
PEERS = ("pysz", "zfpy", "pcodec", "soundfile", "zstandard")
HEADINGS = (
    "### Error-bounded, max_error = 0.01 x range",
    "### Error-bounded goals",
    "### Lossless integer codes",
    "### Lossless goals",
    "### Lossless floats",
    "### No expansion",
    "### Memory",
)


def run_bench(*args, env=None):
    return subprocess.run(
        [sys.executable, str(BENCH), "--quick", *map(str, args)],
        capture_output=True,
        text=True,
        timeout=600,
        env=env,
    )


@pytest.fixture(scope="module")
def quick_run(tmp_path_factory):
    missing = [p for p in PEERS if importlib.util.find_spec(p) is None]
    if missing:
        pytest.skip(f"peer packages missing: {', '.join(missing)}")
    saved = tmp_path_factory.mktemp("bounded") / "run.json"
    done = run_bench("--data-dir", SHIPPED, "--memory", "--json", saved)
    assert done.returncode == 0, done.stdout + done.stderr
    return done.stdout, json.loads(saved.read_text())


def test_every_part_prints_its_tables_and_goals(quick_run):
    out, _ = quick_run
    for heading in HEADINGS:
        assert heading in out, heading
    assert out.count(" PASS") + out.count(" MISS") >= 12
    assert "| ecg_mitbih100_mlii_60s |" in out


def test_bounded_records_agree_with_their_checks(quick_run):
    _, saved = quick_run
    assert set(saved["bounded"]) == {"0.01", "0.001", "0.0001", "1e-05"}
    for per_signal in saved["bounded"].values():
        records = per_signal["ecg_mitbih100_mlii_60s"]
        assert set(records) == {"tessarine", "SZ3", "zfp"}
        for record in records.values():
            assert record["ratio"] == pytest.approx(4 * 20_000 / record["bytes"])
            assert record["held"] == (record["max_abs_error"] <= record["bound"])
            assert record["compress_mbps"] > 0 and len(record["decompress_s"]) == 1
        assert records["tessarine"]["held"]


def test_lossless_expansion_and_memory_records(quick_run):
    _, saved = quick_run
    # The shipped ECG scaled back to its converter codes is the only integer signal here.
    codecs = saved["lossless"]["ecg_mitbih100_mlii_60s codes"]
    assert set(codecs) == {"tessarine", "pcodec", "FLAC", "delta+zstd"}
    assert all(record["exact"] for record in codecs.values())
    assert [row["input"] for row in saved["expansion"]] == [
        "int8, uniform",
        "int16, uniform",
        "float32, standard normal",
    ]
    assert all(row["held"] for row in saved["expansion"])
    for step in ("compress", "decompress"):
        assert 0 < saved["memory"][step]["growth_bytes"] < 1 << 32


@pytest.fixture
def tiny_data(tmp_path):
    """A float wave, and a recording whose channel 1 is constant and channel 2 repeats channel 0."""
    np.save(tmp_path / "wave.npy", np.sin(np.arange(3000) / 9.0).astype(np.float32))
    (tmp_path / "multichannel").mkdir()
    ramp = (np.arange(3000) % 700 - 350).astype(np.int16)
    channels = np.stack([ramp, np.full(3000, 5, np.int16), ramp])
    np.save(tmp_path / "multichannel" / "rec.npy", channels)
    return tmp_path


def stand_in(folder, module, source):
    """A module of that name on PYTHONPATH, ahead of the installed one."""
    (folder / module).mkdir(parents=True)
    (folder / module / "__init__.py").write_text(source)
    return {**os.environ, "PYTHONPATH": str(folder)}


def test_constant_and_repeated_channels_are_skipped(tiny_data):
    saved = tiny_data / "r.json"
    done = run_bench("--data-dir", tiny_data, "--only", "lossless", "--json", saved)
    assert done.returncode == 0, done.stderr
    assert "rec[1]: constant, skipped" in done.stdout
    assert "rec[2]: the same samples as rec[0], skipped" in done.stdout
    assert list(json.loads(saved.read_text())["lossless"]) == ["rec[0]"]


# A coder whose output is off by twice the bound it was given, in a container with a header.
OFF_BY_TWICE = """import io, numpy as np
def compress(x, max_error):
    stream = io.BytesIO(); np.save(stream, x + np.float32(2 * max_error))
    return stream.getvalue()
def decompress(blob):
    return np.load(io.BytesIO(blob))
"""


@pytest.mark.parametrize(
    "part, stderr, table_line",
    [
        (
            "bounded",
            "BOUND VIOLATED: tessarine on wave at f=0.01",
            "| tessarine's bound held on every signal |  |  |  |  | 0/4 MISS |",
        ),
        (
            "lossless",
            "NOT LOSSLESS: tessarine on rec[0]",
            "| tessarine exact on every signal | 0/1 MISS |",
        ),
        # int8 + float32 is float32: 80,000 bytes and the .npy header for 20,000 samples.
        ("expansion", "", "| int8, uniform | 20,000 | 0.4 | 20,000 | +60,128 | **NO** | MISS |"),
    ],
)
def test_a_broken_coder_is_loud_and_fails_the_run(tiny_data, part, stderr, table_line):
    env = stand_in(tiny_data / "fake", "tessarine_tools", OFF_BY_TWICE)
    done = run_bench("--data-dir", tiny_data, "--only", part, env=env)
    assert done.returncode == 1, done.stdout + done.stderr
    assert stderr in done.stderr
    assert table_line in done.stdout


def test_missing_peers_are_reported_not_fatal(tiny_data):
    env = stand_in(tiny_data / "blocked", "pysz", "raise ImportError('blocked')\n")
    stand_in(tiny_data / "blocked", "pcodec", "raise ImportError('blocked')\n")
    done = run_bench("--data-dir", tiny_data, env=env)
    assert done.returncode == 0, done.stdout + done.stderr
    assert "- pysz unavailable: ImportError: blocked" in done.stdout
    assert "- pcodec unavailable: ImportError: blocked" in done.stdout
    assert "| ratio >= 1.05x SZ3, median | n/a | n/a | n/a | n/a | n/a |" in done.stdout
    assert "| compress speed >= 1.0x pcodec, median | n/a |" in done.stdout


def test_bad_input_is_refused(tmp_path):
    np.save(tmp_path / "flat2d.npy", np.zeros((2, 8), np.float32))
    done = run_bench("--data-dir", SHIPPED, "--data", tmp_path / "flat2d.npy")
    assert done.returncode == 2
    path = tmp_path / "flat2d.npy"
    assert done.stderr == f"error: {path}: expected a 1-D array, got shape (2, 8)\n"
