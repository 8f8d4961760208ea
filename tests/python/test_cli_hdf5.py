"""HDF5 files on the command line: every numeric dataset gets the filter under the bound,
groups, attributes and other datasets are kept, and info lists filters and ratios."""

import numpy as np
import pytest

h5py = pytest.importorskip("h5py")

from tessarine_tools.cli import main  # noqa: E402


def test_compress_rewrites_numeric_datasets_and_info_lists_them(tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    wave = np.sin(np.arange(20_000) / 30.0).astype(np.float32)
    with h5py.File("in.h5", "w") as f:
        group = f.create_group("rec")
        group.attrs["rate"] = 360
        group.create_dataset("wave", data=wave).attrs["unit"] = "mV"
        f.create_dataset("names", data=np.array([b"a", b"b"]))
    assert main(["compress", "in.h5", "-o", "out.h5", "--max-error", "1e-3"]) == 0
    with h5py.File("out.h5") as f:
        assert f["rec"].attrs["rate"] == 360 and f["rec/wave"].attrs["unit"] == "mV"
        assert np.abs(f["rec/wave"][()] - wave).max() <= 1e-3
        assert list(f["names"][()]) == [b"a", b"b"]
    capsys.readouterr()
    assert main(["info", "out.h5"]) == 0
    assert "rec/wave: 20000 float32, filters tessarine" in capsys.readouterr().out
    assert main(["compress", "in.h5", "-o", "out.tsrn", "--max-error", "1"]) == 2
    assert sorted(p.name for p in tmp_path.iterdir()) == ["in.h5", "out.h5"]
