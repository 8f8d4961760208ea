"""The command line: round trips, what info and bench report, and every refusal leaves the
folder as it was, with one line on stderr and the documented exit status."""

import errno
import json
import os
import signal

import numpy as np
import pytest
import soundfile

import tessarine_tools
from tessarine_tools.cli import main
from tessarine_tools.cli import store as cli_store

RATE = 8000


def tone(channels, n=6000):
    t = np.arange(n)
    return np.stack([np.sin(t / (9.0 + c)) * (4000 + 900 * c) for c in range(channels)])


@pytest.fixture
def files(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    np.save("mono.npy", tone(1)[0].astype(np.float32))
    soundfile.write("multi.wav", tone(3).T.astype(np.int16), RATE, subtype="PCM_16")
    np.save("cube.npy", np.zeros((2, 2, 8), np.float32))
    np.save("objects.npy", np.array([1, "a"], dtype=object), allow_pickle=True)
    (tmp_path / "broken.wav").write_bytes(b"RIFF....WAVEfmt garbage")
    (tmp_path / "old.tsrn").write_bytes(b"kept")
    return tmp_path


def listing(folder):
    return sorted(p.name for p in folder.iterdir())


def test_mono_npy_round_trip_within_bound(files, capsys):
    assert main(["compress", "mono.npy", "--max-error", "0.05"]) == 0
    assert capsys.readouterr().out.startswith("ratio ")
    assert main(["decompress", "mono.tsrn", "-o", "back.npy"]) == 0
    back, source = np.load("back.npy"), np.load("mono.npy")
    assert back.dtype == source.dtype and np.max(np.abs(back - source)) <= 0.05


@pytest.mark.parametrize("store", ["multi.zarr", "multi.zarr.zip"])
def test_pcm_wav_is_exact_below_half_a_step(files, store, capsys):
    assert main(["compress", "multi.wav", "-o", store, "--max-error", "0.4"]) == 0
    assert main(["decompress", store, "-o", "back.wav"]) == 0
    back, rate = soundfile.read("back.wav", dtype="int16")
    source, _ = soundfile.read("multi.wav", dtype="int16")
    assert rate == RATE and np.array_equal(back, source)
    assert soundfile.info("back.wav").subtype == "PCM_16"
    capsys.readouterr()
    assert main(["info", store, "--json"]) == 0
    report = json.loads(capsys.readouterr().out)
    assert report["sample_rate"] == RATE and report["source_dtype"] == "<i2"
    assert [c["name"] for c in report["channels"]] == ["ch0", "ch1", "ch2"]


def test_raw_round_trip_and_info(files, capsys):
    tone(2).T.astype("<i4").tofile("two.raw")
    assert (
        main(
            [
                "compress",
                "two.raw",
                "--dtype",
                "<i4",
                "--channels",
                "2",
                "-o",
                "two.zarr",
                "--max-error",
                "0.4",
            ]
        )
        == 0
    )
    assert main(["decompress", "two.zarr", "-o", "back.raw"]) == 0
    assert (files / "back.raw").read_bytes() == (files / "two.raw").read_bytes()
    main(["compress", "mono.npy", "--scale", "8"])
    capsys.readouterr()
    assert main(["info", "mono.tsrn"]) == 0
    described = capsys.readouterr().out
    assert described.startswith("mono.tsrn: tessarine frame v1, 6000 samples of float32")
    assert "cdf97 scale 8 cutoff low, bound none" in described


@pytest.mark.parametrize(
    "args, status, message",
    [
        (["compress", "missing.npy"], 1, "missing.npy: no such file"),
        (["compress", "broken.wav"], 1, "broken.wav: not a readable sound file"),
        (["compress", "cube.npy"], 1, "cube.npy: expected a non-empty 1-D or 2-D"),
        (["compress", "objects.npy"], 1, "objects.npy: holds Python objects, not numbers"),
        (["compress", "multi.wav", "-o", "multi.tsrn"], 2, "multi.tsrn: 3 channels need a bound"),
        (
            ["compress", "mono.npy", "--scale", "9", "--psnr", "50"],
            2,
            "give either --scale/--cutoff",
        ),
        (["compress", "mono.npy", "-o", "old.tsrn"], 2, "old.tsrn already exists"),
        (["decompress", "mono.npy", "-o", "x.wav"], 1, "mono.npy: "),
    ],
)
def test_refusals_leave_nothing_behind(files, capsys, args, status, message):
    before = listing(files)
    assert main(args) == status
    err = capsys.readouterr().err
    assert err.startswith(f"tessarine: {message}") and err.count("\n") == 1
    assert listing(files) == before


def interrupt_after_first(items, total, what):
    # Ctrl-C reaches the main thread while it waits for the chunk writers.
    for item in items:
        yield item
        raise KeyboardInterrupt


@pytest.mark.parametrize("output", ["mono.tsrn", "mono.zarr", "mono.zarr.zip"])
@pytest.mark.parametrize(
    "failure, status",
    [
        (OSError(errno.ENOSPC, "No space left on device"), 1),
        (KeyboardInterrupt(), 130),
        (signal.SIGTERM, 143),
        (signal.SIGHUP, 129),
    ],
)
def test_failures_mid_write_leave_no_output(files, capsys, monkeypatch, output, failure, status):
    calls, real = [], tessarine_tools.compress

    def fail_late(*args, **kwargs):  # a store writes its first chunks before the failure
        calls.append(1)
        if len(calls) >= (1 if output.endswith(".tsrn") else 4):
            if isinstance(failure, signal.Signals):
                os.kill(os.getpid(), failure)  # its handler raises at the next bytecode
            else:
                raise failure
        return real(*args, **kwargs)

    monkeypatch.setattr(cli_store, "BLOCK", 1000)
    if not isinstance(failure, KeyboardInterrupt) or output.endswith(".tsrn"):
        monkeypatch.setattr(tessarine_tools, "compress", fail_late)
        monkeypatch.setattr("tessarine_tools.codec.compress", fail_late)
    else:
        monkeypatch.setattr(cli_store, "progress", interrupt_after_first)
    before = listing(files)
    assert main(["compress", "mono.npy", "-o", output]) == status
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and (status != 1 or f"{output}: cannot write" in err)
    assert listing(files) == before


def test_a_planted_temporary_name_is_never_followed(files):
    victim = files / "victim.txt"
    victim.write_text("keep me")
    for pid in range(os.getpid() - 5, os.getpid() + 5):  # the names an attacker could guess
        (files / f".mono.tsrn.partial-{pid}").symlink_to(victim)
    assert main(["compress", "mono.npy", "--max-error", "0.01"]) == 0
    assert victim.read_text() == "keep me"
    assert tessarine_tools.decompress((files / "mono.tsrn").read_bytes()).size > 0


def test_force_replaces_a_store_whole(files):
    assert main(["compress", "multi.wav", "--scale", "8"]) == 0
    assert main(["compress", "multi.wav", "--scale", "12", "--force"]) == 0
    assert listing(files).count("multi.zarr") == 1 and not any(
        n.startswith(".") for n in listing(files)
    )


def test_bench_marks_pareto_rows_and_plots(files, capsys):
    np.save("short.npy", tone(1, 800)[0].astype(np.float32))
    assert main(["bench", "short.npy", "--plot", "rd.png"]) == 0
    rows = capsys.readouterr().out.splitlines()[1:-1]
    assert len(rows) >= 84 and any(r.startswith("*") for r in rows)
    assert (files / "rd.png").stat().st_size > 0


def test_relative_bound_holds_across_padded_edge_chunks(files, monkeypatch):
    monkeypatch.setattr(cli_store, "BLOCK", 1000)  # 2500 samples: the last chunk is padded
    np.save("offset.npy", (1000 + tone(2, 2500) / 400).astype(np.float32))
    assert main(["compress", "offset.npy", "--rel-error", "1e-3"]) == 0
    assert main(["decompress", "offset.zarr", "-o", "back.npy"]) == 0
    source, back = np.load("offset.npy"), np.load("back.npy")
    assert np.max(np.abs(back.astype(float) - source)) <= 1e-3 * np.ptp(source)


def test_missing_optional_packages_give_one_line_and_status_1():
    import subprocess
    import sys

    code = (
        "import sys; sys.modules['numcodecs'] = None\n"
        "from tessarine_tools.cli import main; sys.exit(main(['info', 'x.tsrn']))"
    )
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert run.returncode == 1
    assert run.stderr == (
        "tessarine: the command line needs the package 'numcodecs': "
        'run pip install ".[cli]" in the source folder\n'
    )
