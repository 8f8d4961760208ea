"""Rules every subcommand shares: one rule for output folders, usage errors in one line and
checked before the work, inputs that announce more than they hold, rates never dropped unsaid."""

from pathlib import Path

import numpy as np
import pytest
import soundfile

from tessarine_tools.cli import bench as cli_bench
from tessarine_tools.cli import main


@pytest.fixture
def folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    signal = (np.sin(np.arange(3000) / 9.0) * 3000).astype(np.int16)
    np.save("mono.npy", signal)
    soundfile.write("two.wav", np.stack([signal, -signal]).T, 8000, subtype="PCM_16")
    assert main(["compress", "mono.npy", "--max-error", "0.4"]) == 0
    return tmp_path


def everything(folder):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))


def fails(argv, capsys, status):
    capsys.readouterr()
    assert main(argv) == status
    err = capsys.readouterr().err
    assert err.startswith("tessarine") and err.count("\n") == 1, err
    return err


OUTPUTS = [
    ["compress", "mono.npy", "-o", "new/deeper/m.tsrn"],
    ["compress", "two.wav", "-o", "new/deeper/t.zarr"],
    ["compress", "two.wav", "-o", "new/deeper/t.zarr.zip"],
    ["decompress", "mono.tsrn", "-o", "new/deeper/m.npy"],
    ["bench", "mono.npy", "--plot", "new/deeper/b.png"],
]


@pytest.mark.parametrize("argv", OUTPUTS)
def test_a_missing_folder_is_an_error_unless_parents_is_given(folder, capsys, argv):
    before = everything(folder)
    err = fails(argv, capsys, 1)
    assert err.endswith("folder new/deeper does not exist (use --parents to create it)\n")
    assert everything(folder) == before
    assert main([*argv, "--parents"]) == 0
    assert Path(argv[-1]).exists()


def test_folders_made_for_an_output_that_fails_are_removed(folder, capsys, monkeypatch):
    def broken(*args, **kwargs):
        raise ValueError("no")

    monkeypatch.setattr("tessarine_tools.compress", broken)
    before = everything(folder)
    fails(["compress", "mono.npy", "-o", "new/deeper/m.tsrn", "--parents"], capsys, 1)
    assert everything(folder) == before


@pytest.mark.parametrize(
    "argv, status, message",
    [
        (
            ["compress", "mono.npy", "--max-error", "abc"],
            2,
            "tessarine compress: argument --max-error: must be a positive number, not abc "
            "(see tessarine compress --help)",
        ),
        (["compress"], 2, "tessarine compress: the following arguments are required: input"),
        (["frobnicate"], 2, "tessarine: argument command: invalid choice: 'frobnicate'"),
        (
            ["compress", "mono.npy", "--psnr", "40", "--lossless"],
            2,
            "tessarine compress: argument --lossless: not allowed with argument --psnr",
        ),
        (
            ["compress", "mono.npy", "--lossless", "--method", "db4"],
            2,
            "tessarine: --lossless keeps every bit: give no --method, --scale or --cutoff",
        ),
        (
            ["bench", "mono.npy", "--plot", "b.txt"],
            2,
            "tessarine: b.txt: a plot is written as one of",
        ),
        (
            ["compress", "mono.npy", "-o", "m.tsrn", "--rate", "100", "--force"],
            2,
            "tessarine: m.tsrn: a .tsrn file holds no sample rate",
        ),
        (
            ["compress", "two.wav", "--rate", "100"],
            2,
            "tessarine: two.wav records 8000 Hz; --rate 100 would replace it",
        ),
        (
            ["decompress", "mono.tsrn", "-o", "m.npy", "--rate", "100"],
            2,
            "tessarine: m.npy: --rate is for sound file outputs",
        ),
    ],
)
def test_usage_errors_are_one_line(folder, capsys, monkeypatch, argv, status, message):
    monkeypatch.setattr(cli_bench, "tessarine_trials", lambda span: pytest.fail("bench ran"))
    before = everything(folder)
    assert fails(argv, capsys, status).startswith(message)
    assert everything(folder) == before


def test_a_wav_cut_short_is_refused(folder, capsys):
    whole = Path("two.wav").read_bytes()
    Path("cut.wav").write_bytes(whole[: len(whole) // 2])
    err = fails(["compress", "cut.wav"], capsys, 1)
    assert err == (
        "tessarine: cut.wav: cut short: its header announces 3000 samples per "
        "channel, the file holds 1494\n"
    )  # (6022 - 44) / 4


@pytest.mark.parametrize("dtype", ["int16", "int8"])  # int8: its range overflows int8 itself
def test_bench_has_bounds_and_lossless_rows_beside_the_grid(folder, capsys, dtype):
    np.save("wide.npy", (np.sin(np.arange(3000) / 9.0) * 120).astype(dtype))
    assert main(["bench", "wide.npy"]) == 0
    names = [line[2:42].strip() for line in capsys.readouterr().out.splitlines()[1:-1]]
    assert "tessarine lossless" in names and "tessarine rel_error=0.001" in names
    assert sum(n.startswith("tessarine max_error=") for n in names) == 7
    assert sum("scale=" in n for n in names) == 84
