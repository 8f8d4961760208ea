"""bench/compare.py on a tiny generated signal with the quick sweep: outputs exist and hold sane
numbers, missing peers are reported rather than fatal, and bad input is refused clearly."""

import csv
import importlib
import math
import os
import re
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

COMPARE = Path(__file__).resolve().parents[2] / "bench" / "compare.py"
SIGNAL = "tiny"
BLOCKED_PEERS = ("zfpy", "pysz", "zstandard", "matplotlib")


def importable(module: str) -> bool:
    # The same test compare.py applies: a module that fails to import counts as missing.
    try:
        importlib.import_module(module)
    except Exception:
        return False
    return True


def tiny_signal() -> np.ndarray:
    t = np.arange(4096)
    noise = np.random.default_rng(7).standard_normal(t.size)
    return (3.0 * np.sin(t / 23.0) + 0.5 * np.sin(t / 3.1) + 0.05 * noise + 1.0).astype(np.float32)


def run_compare(args: list[str], cwd: Path, env_path: Path | None = None):
    env = None
    if env_path is not None:
        env = {
            **os.environ,
            "PYTHONPATH": os.pathsep.join(
                filter(None, [str(env_path), os.environ.get("PYTHONPATH")])
            ),
        }
    return subprocess.run(
        [
            sys.executable,
            str(COMPARE),
            *args,
            "--no-data-dir",
            "--quick",
            "--out",
            str(cwd / "out"),
        ],
        cwd=cwd,
        env=env,
        capture_output=True,
        text=True,
        timeout=600,
    )


def read_rows(out: Path) -> list[dict]:
    with (out / f"{SIGNAL}.csv").open() as stream:
        return list(csv.DictReader(stream))


@pytest.fixture(scope="module")
def quick_run(tmp_path_factory):
    folder = tmp_path_factory.mktemp("compare")
    np.save(folder / f"{SIGNAL}.npy", tiny_signal())
    result = run_compare([str(folder / f"{SIGNAL}.npy")], folder)
    assert result.returncode == 0, result.stdout + result.stderr
    return folder / "out", result.stdout


def test_quick_run_writes_every_output(quick_run):
    out, _ = quick_run
    for name in (f"{SIGNAL}.md", f"{SIGNAL}.csv", "summary.md"):
        assert (out / name).stat().st_size > 0, name
    plots = [out / f"{SIGNAL}_rd.png", out / f"{SIGNAL}_speed.png"]
    has_matplotlib = importable("matplotlib")
    assert [plot.exists() for plot in plots] == [has_matplotlib] * 2
    markdown = (out / f"{SIGNAL}.md").read_text()
    assert "| Tessarine (default) | cdf97 scale=11 cutoff=low |" in markdown
    assert f"| {SIGNAL} |" in (out / "summary.md").read_text()


def test_every_tessarine_setting_compresses(quick_run):
    out, _ = quick_run
    rows = [row for row in read_rows(out) if row["codec"] == "Tessarine"]
    assert {row["setting"].split()[0] for row in rows} == {"cdf97", "cdf53", "db4", "sym4"}
    for row in rows:
        assert float(row["ratio"]) > 1.0, row["setting"]
        assert float(row["compress_mbps"]) > 0 and float(row["decompress_mbps"]) > 0


def test_default_row_matches_a_direct_round_trip(quick_run):
    import tessarine

    out, _ = quick_run
    row = next(r for r in read_rows(out) if r["setting"] == "cdf97 scale=11 cutoff=low")
    samples = tiny_signal().astype(np.float64)
    container = tessarine.compress_signal(tiny_signal())
    error = tessarine.decompress_signal(container).astype(np.float64) - samples
    rmse = math.sqrt(np.mean(error**2))
    assert int(row["compressed_bytes"]) == len(container)
    assert float(row["ratio"]) == pytest.approx(4 * samples.size / len(container))
    assert float(row["max_abs_error"]) == pytest.approx(np.max(np.abs(error)))
    assert float(row["rmse"]) == pytest.approx(rmse)
    assert float(row["psnr"]) == pytest.approx(20 * math.log10(np.ptp(samples) / rmse))
    prd = 100 * math.sqrt(np.sum(error**2) / np.sum(samples**2))
    assert float(row["prd"]) == pytest.approx(prd)


def test_lossless_baselines_are_exact(quick_run):
    out, _ = quick_run
    rows = {row["codec"]: row for row in read_rows(out) if row["lossless"] == "True"}
    assert "zlib" in rows
    if importable("zstandard"):
        assert "zstd" in rows
    for codec, row in rows.items():
        assert float(row["max_abs_error"]) == 0.0, codec
        assert float(row["psnr"]) == math.inf, codec
        assert float(row["bits_per_sample"]) == pytest.approx(32 / float(row["ratio"]))


@pytest.mark.parametrize("codec, module", [("zfp", "zfpy"), ("SZ3", "pysz")])
def test_error_bounded_peers_stay_within_their_bound(quick_run, codec, module):
    if not importable(module):
        pytest.skip(f"{module} is not installed")
    out, _ = quick_run
    rows = [row for row in read_rows(out) if row["codec"] == codec]
    assert rows
    span = float(np.ptp(tiny_signal().astype(np.float64)))
    for row in rows:
        exponent = int(re.search(r"range\*2\^-(\d+)", row["setting"]).group(1))
        assert float(row["max_abs_error"]) <= span * 2.0**-exponent * (1 + 1e-6), row["setting"]


def test_missing_peers_are_reported_not_fatal(tmp_path):
    blockers = tmp_path / "blockers"
    blockers.mkdir()
    for module in BLOCKED_PEERS:
        (blockers / f"{module}.py").write_text("raise ImportError('blocked for this test')\n")
    np.save(tmp_path / f"{SIGNAL}.npy", tiny_signal())
    result = run_compare([str(tmp_path / f"{SIGNAL}.npy")], tmp_path, env_path=blockers)
    assert result.returncode == 0, result.stdout + result.stderr
    for family, module in (("zfp", "zfpy"), ("SZ3", "pysz"), ("zstd", "zstandard")):
        assert f"{family}: unavailable, cannot import {module}" in result.stdout
    assert "- zfp: cannot import zfpy" in (tmp_path / "out" / f"{SIGNAL}.md").read_text()
    codecs = {row["codec"] for row in read_rows(tmp_path / "out")}
    assert codecs == {"Tessarine", "pywt+zlib", "zlib"}
    assert not list((tmp_path / "out").glob("*.png"))


@pytest.mark.parametrize(
    "samples",
    [np.array([3.5], np.float32), np.full(1000, 2.0, np.float32)],
    ids=["one sample", "constant"],
)
def test_signals_without_a_psnr_still_get_results(tmp_path, samples):
    # No range means no PSNR, so there is no equal-PSNR comparison to make: n/a, not a crash.
    np.save(tmp_path / "flat.npy", samples)
    result = run_compare([str(tmp_path / "flat.npy")], tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
    summary = (tmp_path / "out" / "summary.md").read_text()
    assert re.search(r"^\| flat \| [0-9.]+ \| (inf|n/a) \| n/a \| n/a \| n/a \|", summary, re.M)


@pytest.mark.parametrize(
    "samples, extra_args, message",
    [
        (np.zeros((2, 3), np.float32), [], "{path}: expected a 1-D array, got shape (2, 3)"),
        (np.zeros(0, np.float32), [], "{path}: the signal is empty"),
        (
            np.array([1.0, np.nan], np.float32),
            [],
            "{path}: NaN or infinite samples (or values beyond float32)",
        ),
        (np.ones(8, np.complex64), [], "{path}: expected real numbers, got dtype complex64"),
        (np.ones(8, np.float32), ["--signals", "nope"], "no signal named nope (found: bad)"),
    ],
)
def test_bad_input_is_refused_with_a_clear_message(tmp_path, samples, extra_args, message):
    path = tmp_path / "bad.npy"
    np.save(path, samples)
    result = run_compare([str(path), *extra_args], tmp_path)
    assert result.returncode == 2
    assert result.stderr == "error: " + message.format(path=path) + "\n"
    assert not (tmp_path / "out").exists()


def test_load_note_tells_an_idle_machine_from_a_shared_one():
    sys.path.insert(0, str(COMPARE.parent))
    try:
        from compare_report import load_note
    finally:
        sys.path.remove(str(COMPARE.parent))
    assert "nothing else was busy" in load_note("0.95", "1.10")
    assert "other processes shared" in load_note("0.40", "3.76")
    assert "other processes shared" in load_note("2.00", "1.00")
    assert load_note("unknown", "1.0").startswith("unknown")
